#pragma once
// The four prizes of the claim panel: their word (also the key of their clip), the caption and tool
// tip of their button, and their run of claim boxes, whose length is also the number of confirmed
// numbers that completes the prize.

#include <array>

struct PrizeInfo {
    const char *word;
    const char *caption;
    const char *toolTip;
    int boxes;
    int firstBox;
};

inline constexpr std::array<PrizeInfo, 4> prizes{{
    {"ambo", "&Ambo", "clicca qui per controllare l'ambo", 2, 0},
    {"terno", "&Terno", "clicca qui per controllare il terno", 3, 2},
    {"quaterno", "&Quaterno", "clicca qui per controllare la quaterna", 4, 5},
    {"cinquina", "&Cinquina", "clicca qui per controllare la cinquina", 5, 9},
}};

// The boxes of all prizes together.
inline constexpr int claimBoxes = 14;

// The prize whose run holds box `box` (0..13).
constexpr int prizeOfBox(int box)
{
    for (int p = int(prizes.size()) - 1; p >= 0; --p)
        if (box >= prizes[std::size_t(p)].firstBox) return p;
    return 0;
}
