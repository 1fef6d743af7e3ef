#pragma once
// The prizes, in one place: their order on the ladder, their words (the word is also the key of the
// prize's clip), their gender for articles and agreement, and for the four prizes of the claim
// panel the caption and tool tip of their button and their run of claim boxes, whose length is also
// the number of confirmed numbers that completes the prize.

#include <QString>
#include <array>

// In rising order. The claim panel counts its prizes from 0 (`premio_scelto`): claimPrize(). The
// tombolino, a second tombola after the first, is played when the evening's prize plan says so.
enum class Prize { None, Ambo, Terno, Quaterno, Cinquina, Tombola, Tombolino };

struct PrizeInfo {
    Prize prize;
    const char *word; // lower case, the clip's key
    bool feminine;    // la cinquina, la tombola
    // The claim panel's button and boxes; none for the tombola.
    const char *caption;
    const char *toolTip;
    int boxes;
    int firstBox;
};

inline constexpr std::array<PrizeInfo, 6> prizeTable{{
    {Prize::Ambo, "ambo", false, "&Ambo", "clicca qui per controllare l'ambo", 2, 0},
    {Prize::Terno, "terno", false, "&Terno", "clicca qui per controllare il terno", 3, 2},
    {Prize::Quaterno, "quaterno", false, "&Quaterno", "clicca qui per controllare la quaterna", 4, 5},
    {Prize::Cinquina, "cinquina", true, "&Cinquina", "clicca qui per controllare la cinquina", 5, 9},
    {Prize::Tombola, "tombola", true, "", "", 0, 14},
    {Prize::Tombolino, "tombolino", false, "", "", 0, 14},
}};

// The prizes of the ladder, in the order they are played for (the tombolino, when played, after).
inline constexpr std::array<Prize, 5> ladderOrder{Prize::Ambo, Prize::Terno, Prize::Quaterno, Prize::Cinquina,
                                                  Prize::Tombola};

// `prize` must not be None.
constexpr const PrizeInfo &prizeInfo(Prize prize)
{
    return prizeTable[std::size_t(prize) - 1];
}

// The claim panel: four prizes (index 0 ambo .. 3 cinquina) and fourteen boxes.
inline constexpr int claimPrizes = 4;
inline constexpr int claimBoxes = 14;

// The prize of the claim panel's index 0..3; None outside.
constexpr Prize claimPrize(int index)
{
    return index >= 0 && index < claimPrizes ? Prize(index + 1) : Prize::None;
}
constexpr const PrizeInfo &claimPrizeInfo(int index)
{
    return prizeInfo(claimPrize(index));
}

// The claim panel's index of the prize whose run holds box `box` (0..13).
constexpr int prizeOfBox(int box)
{
    for (int p = claimPrizes - 1; p >= 0; --p)
        if (box >= claimPrizeInfo(p).firstBox) return p;
    return 0;
}

// "AMBO", ..., "TOMBOLA"; empty for None.
QString prizeWord(Prize prize);
// "l'AMBO", "il TERNO", "la TOMBOLA".
QString prizeWithArticle(Prize prize);
// A participle or adjective agreeing with the prize: "vinto" for the ambo, "vinta" for the cinquina.
QString agreeing(Prize prize, const QString &masculine);
// The verdict of a complete claim: "AMBO VALIDO", "CINQUINA VALIDA".
QString validVerdict(Prize prize);
