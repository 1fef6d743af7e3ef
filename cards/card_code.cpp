#include "cards/card_code.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace
{

constexpr int dataSymbols = 6; // five of the series, one of the place
constexpr int codeSymbols = dataSymbols + 1;
// A full series's places 1..6 are the symbols A..F (10..15): codes printed before full series
// existed, with 1..6, keep their meaning. The check below is over symbol values, so its guarantees
// hold for either range.
constexpr int fullSeriesPlaceOffset = 9;

// The check is a linear sum over GF(32), the field of 5-bit values modulo the irreducible
// x^5 + x^2 + 1, whose generator a = x (2) has order 31. Symbol i of 7 (the check is the 7th) is
// weighted a^(7 - i), and the sum of the seven weighted symbols is 0:
// - one wrong symbol adds w * e with w != 0 and e != 0: never 0 in a field;
// - two symbols swapped add (w1 + w2) * (s1 + s2), nonzero when they differ, since the seven
//   weights a^6 ... a^0 are distinct. So every swap is caught, neighbours or not.
int gfMul(int a, int b)
{
    int product = 0;
    for (int bit = 0; bit < 5; ++bit) {
        if (b & (1 << bit)) product ^= a << bit;
    }
    for (int bit = 8; bit >= 5; --bit) {
        if (product & (1 << bit)) product ^= 0x25 << (bit - 5);
    }
    return product;
}

int gfPower(int exponent)
{
    int p = 1;
    for (int i = 0; i < exponent; ++i)
        p = gfMul(p, 2);
    return p;
}

// The check symbol of the six data symbols.
int checkValue(const std::array<int, codeSymbols> &symbols)
{
    int sum = 0;
    for (int i = 0; i < dataSymbols; ++i)
        sum ^= gfMul(gfPower(codeSymbols - 1 - i), symbols[std::size_t(i)]);
    return sum;
}

// The value of a typed symbol, -1 outside the alphabet.
int symbolValue(QChar ch)
{
    const char c = ch.toUpper().toLatin1();
    if (c == 'O') return 0;
    if (c == 'I' || c == 'L') return 1;
    if (c == 0) return -1;
    for (int v = 0; v < 32; ++v) {
        if (codeAlphabet[v] == c) return v;
    }
    return -1;
}

} // namespace

quint32 seriesFromUnit(double r)
{
    const double scaled = std::floor(r * double(seriesCount));
    if (!(scaled >= 0)) return 0;
    return quint32(std::min(scaled, double(seriesCount - 1)));
}

void mescola_serie(Lista90 &N_estratti, quint64 serie)
{
    SeriesGenerator generator(serie);
    genera_tombola(N_estratti, generator);
}

CardSet fullSeries(quint64 serie)
{
    SeriesGenerator generator(serie);
    return dealFullSeries([&generator] { return generator.nextUnit(); });
}

Cartella carta_da_codice(quint64 serie, int posto, CardDealer dealer)
{
    if (posto < 1 || posto > cardsPerSet) throw std::out_of_range("posto fuori da 1..6");
    if (dealer == CardDealer::FullSeries) return fullSeries(serie)[std::size_t(posto - 1)];
    Lista90 mucchio;
    mescola_serie(mucchio, serie);
    Cartella cartella;
    for (int k = 1; k <= posto; ++k) {
        std::int16_t numero = std::int16_t(k);
        genera_cartella(cartella, numero, mucchio);
        shift_cartella(mucchio);
    }
    ordina_colonna(cartella);
    return cartella;
}

QString formatCardCode(const CardCode &code)
{
    if (code.series >= seriesCount) throw std::out_of_range("serie fuori dai 25 bit");
    if (code.place < 1 || code.place > cardsPerSet) throw std::out_of_range("posto fuori da 1..6");
    std::array<int, codeSymbols> symbols{};
    for (int i = 0; i < 5; ++i)
        symbols[std::size_t(i)] = int((code.series >> (5 * (4 - i))) & 31);
    symbols[5] = code.place + (code.dealer == CardDealer::FullSeries ? fullSeriesPlaceOffset : 0);
    symbols[6] = checkValue(symbols);

    QString out;
    for (int i = 0; i < codeSymbols; ++i) {
        if (i == 5) out += QLatin1Char('-');
        if (i == 6) out += QLatin1Char(' ');
        out += QLatin1Char(codeAlphabet[symbols[std::size_t(i)]]);
    }
    return out;
}

QString exampleCardCode()
{
    // The series 7KQ3M: 7, K, Q, 3 and M are the symbols 7, 19, 23, 3 and 20.
    constexpr quint32 series = ((((7u * 32 + 19) * 32 + 23) * 32 + 3) * 32) + 20;
    return formatCardCode(CardCode{series, 4, CardDealer::Classic});
}

CodeReading parseCardCode(const QString &text)
{
    CodeReading reading;
    std::array<int, codeSymbols> symbols{};
    int n = 0;
    for (const QChar ch : text) {
        if (ch.isSpace() || ch == QLatin1Char('-')) continue;
        const int v = symbolValue(ch);
        if (v < 0 || n == codeSymbols) return reading;
        symbols[std::size_t(n++)] = v;
    }
    if (n != codeSymbols) return reading;
    const int place = symbols[5] > fullSeriesPlaceOffset ? symbols[5] - fullSeriesPlaceOffset : symbols[5];
    if (place < 1 || place > cardsPerSet) {
        reading.error = CodeError::PlaceOutOfSet;
        return reading;
    }
    if (checkValue(symbols) != symbols[6]) {
        reading.error = CodeError::WrongCheck;
        return reading;
    }
    for (int i = 0; i < 5; ++i)
        reading.code.series = (reading.code.series << 5) | quint32(symbols[std::size_t(i)]);
    reading.code.place = place;
    reading.code.dealer = symbols[5] > fullSeriesPlaceOffset ? CardDealer::FullSeries : CardDealer::Classic;
    reading.error = CodeError::None;
    return reading;
}

CardResult evaluateCard(const Cartella &card, const QList<int> &drawOrder)
{
    CardResult result;
    // Each cell's number read once, not once for every number drawn.
    std::array<std::array<int, Cartella::colonne>, Cartella::righe> values{};
    int onCard = 0;
    for (int r = 1; r <= Cartella::righe; ++r) {
        for (int c = 1; c <= Cartella::colonne; ++c) {
            const int v = valore(card.cella(r, c));
            values[std::size_t(r - 1)][std::size_t(c - 1)] = v;
            onCard += v > 0 ? 1 : 0;
        }
    }

    int bestRow = 0;
    int out = 0;
    for (int k = 0; k < drawOrder.size(); ++k) {
        const int number = drawOrder[k];
        if (number < 1) continue;
        for (int r = 1; r <= Cartella::righe; ++r) {
            for (int c = 1; c <= Cartella::colonne; ++c) {
                bool &mark = result.marked[std::size_t(r - 1)][std::size_t(c - 1)];
                if (mark || values[std::size_t(r - 1)][std::size_t(c - 1)] != number) continue;
                mark = true;
                ++out;
                const PrizeMoment now{int(k + 1), number};
                const int inRow = ++result.outPerRow[std::size_t(r - 1)];
                if (inRow > bestRow && inRow >= 2 && inRow <= 5) result.moments[std::size_t(inRow - 1)] = now;
                bestRow = std::max(bestRow, inRow);
                if (out == onCard) result.moments[std::size_t(Prize::Tombola)] = now;
            }
        }
    }

    if (onCard > 0 && out == onCard)
        result.best = Prize::Tombola;
    else if (bestRow >= 2)
        result.best = Prize(std::min(bestRow, 5) - 1);
    return result;
}
