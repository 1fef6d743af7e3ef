#pragma once
// Serial codes of printed cards: each set of six cards comes from a series number, which fixes its
// shuffle through a generator written out here, so the code under a card rebuilds that card on any
// machine. Also the prizes a card holds against a draw order. QtCore only.

#include "announce/prizes.h"
#include "cards/dealer.h"
#include "cards/full_series.h"
#include "game/number_pool.h"
#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>

// SplitMix64 (Steele, Lea, Flood 2014), as published: the state advances by the golden-ratio
// constant and each output is the state passed through the variant-13 finalizer. Same outputs on
// every compiler and library, unlike the engines and distributions of <random>.
class SeriesGenerator
{
public:
    explicit SeriesGenerator(quint64 seed) : m_state(seed) {}
    quint64 next64()
    {
        m_state += 0x9E3779B97F4A7C15ULL;
        quint64 z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 53 bits over 2^53: exact, 0 <= r < 1.
    double nextUnit() { return double(next64() >> 11) * 0x1.0p-53; }
    // As a generator of the dealer's shuffle: the seed is the series, and a reseed from the clock
    // would make the card impossible to rebuild, so it does nothing.
    double next() { return nextUnit(); }
    void reseed() {}

private:
    quint64 m_state;
};

// Series numbers have 25 bits: five symbols of the code.
constexpr int seriesBits = 25;
constexpr quint32 seriesCount = quint32(1) << seriesBits;
constexpr int cardsPerSet = 6;

// The series of a new set from a uniform 0 <= r < 1: floor(r * 2^25), kept in range.
quint32 seriesFromUnit(double r);

// The series of a new set from the program's generator: reseeded from the clock, then one value.
template <class Generator> quint32 newSeries(Generator &random)
{
    random.reseed();
    return seriesFromUnit(random.next());
}

// Fills all 90 entries with the shuffle of genera_tombola driven by SeriesGenerator(serie).
void mescola_serie(Lista90 &N_estratti, quint64 serie);

// The full series of `serie`: dealFullSeries driven by SeriesGenerator(serie).
CardSet fullSeries(quint64 serie);

// The card at `posto` (1..6) of the set of `serie`, as the print run deals and prints it. Classic:
// the series shuffle, the dealer's greedy pass for cards 1..posto, columns sorted; full series: that
// card of fullSeries(serie). Throws std::out_of_range for a place outside 1..6.
Cartella carta_da_codice(quint64 serie, int posto, CardDealer dealer = CardDealer::Classic);

// A card's code: the series, the place of the card in its set and the dealer of the set.
struct CardCode {
    quint32 series = 0; // below seriesCount
    int place = 0;      // 1..6
    CardDealer dealer = CardDealer::Classic;
    bool operator==(const CardCode &) const = default;
};

// The 32 symbols of a code, without I, L, O and U.
inline constexpr char codeAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";

// "SSSSS-P C": the series in five symbols, most significant first, the place, the check symbol.
// The place symbol tells the dealer too: 1..6 for the classic one, as codes always were, A..F for a
// full series. Throws std::out_of_range for a series or place out of range.
QString formatCardCode(const CardCode &code);

enum class CodeError {
    None,
    WrongForm,     // not seven symbols of the alphabet once blanks and hyphens are dropped
    PlaceOutOfSet, // the place symbol is neither 1..6 nor A..F
    WrongCheck,    // the check symbol does not match: some symbol is mistyped
};

struct CodeReading {
    CodeError error = CodeError::WrongForm;
    CardCode code; // meaningful only when error is None
};

// The code the program's texts give as an example, "7KQ3M-4 Y" in form: a real card's, built here so
// that typed in it is read and its check symbol holds.
QString exampleCardCode();

// Reads a typed code. Case is ignored; blanks and hyphens are ignored wherever they are, so
// "7KQ3M-4 Y", "7kq3m4y" and "7KQ 3M4-Y" read alike; O reads as 0, I and L as 1.
CodeReading parseCardCode(const QString &text);

// The draw at which a prize first held on a card: 1-based ordinal in the draw order and the number
// drawn; ordinal 0 when it never did.
struct PrizeMoment {
    int ordinal = 0;
    int number = 0;
    bool operator==(const PrizeMoment &) const = default;
};

struct CardResult {
    std::array<int, Cartella::righe> outPerRow{};
    // Cells whose number is out, [row - 1][column - 1].
    std::array<std::array<bool, Cartella::colonne>, Cartella::righe> marked{};
    Prize best = Prize::None;
    // Indexed by Prize; the entry of Prize::None stays empty.
    std::array<PrizeMoment, 6> moments{};
    const PrizeMoment &moment(Prize p) const { return moments.at(std::size_t(p)); }
};

// The card against the numbers drawn, in draw order. Ambo to cinquina are 2 to 5 numbers out on one
// row; tombola is every number of a non-empty card out. Numbers drawn again or not on the card
// count for nothing.
CardResult evaluateCard(const Cartella &card, const QList<int> &drawOrder);
