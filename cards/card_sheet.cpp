#include "cards/card_sheet.h"

#include "cards/card_code.h"

namespace
{

void moveToUnits(CardCanvas &c, float x, float y)
{
    c.moveTo(x * unita, y * unita);
}

void lineUnits(CardCanvas &c, float x1, float y1, float x2, float y2)
{
    c.line(x1 * unita, y1 * unita, x2 * unita, y2 * unita);
}

// Empties in the pool the numbers `cartella` holds.
void takeFromPool(Lista90 &numeri_estratti, const Cartella &cartella)
{
    for (int i = 1; i <= Lista90::size(); ++i) {
        QString &voce = numeri_estratti(i);
        for (int r = 1; r <= Cartella::righe && !voce.isEmpty(); ++r) {
            for (int c = 1; c <= Cartella::colonne; ++c) {
                if (cartella.cella(r, c) == voce) {
                    voce.clear();
                    break;
                }
            }
        }
    }
}

// The canvas's own reason when it has one, else `text`.
void fail(QString *why, const CardCanvas &canvas, const QString &text)
{
    if (why) *why = canvas.failure().isEmpty() ? text : canvas.failure();
}

} // namespace

void stampa_cartella(float &alto, std::int16_t &numero_cartella, Cartella &cartella, CardCanvas &c,
                     QString date, const QString &codice)
{
    c.setFontSize(20);
    c.setPenWidth(8);
    ordina_colonna(cartella);

    for (int r = 1; r <= Cartella::righe; ++r) {
        for (int col = 1; col <= Cartella::colonne; ++col) {
            const QString testo = cartella.cella(r, col).trimmed();
            if (testo.isEmpty()) continue;
            moveToUnits(c, 2.5f * static_cast<float>(col) + 2.5f, alto + 2.0f * static_cast<float>(r));
            c.printLine(testo);
        }
    }

    const float alto_riquadro = alto + 1.7f;
    const float basso_riquadro = alto + 7.6f;
    c.rectangle(4.0f * unita, alto_riquadro * unita, 27.0f * unita, basso_riquadro * unita);
    c.setPenWidth(2);

    for (int col = 1; col <= Cartella::colonne - 1; ++col) {
        const float x = 2.5f * static_cast<float>(col) + 4.1f;
        lineUnits(c, x, alto_riquadro, x, basso_riquadro);
    }
    for (int r = 1; r <= Cartella::righe; ++r) {
        const float y = alto + 2.0f * static_cast<float>(r) - 0.3f;
        lineUnits(c, 4.0f, y, 27.0f, y);
        for (int col = 1; col <= Cartella::colonne; ++col)
            cartella.cella(r, col).clear();
    }

    moveToUnits(c, 10.0f, alto + 8.0f);
    c.setFontSize(8);
    QString piede = QStringLiteral("la tombola del Vandrello Corvalo") + QStringLiteral("          ") + date +
                    QStringLiteral("     cartella N=") + QStringLiteral(" ") +
                    QString::number(numero_cartella) + QStringLiteral(" ");
    if (!codice.isEmpty()) piede += QStringLiteral("   serie ") + codice;
    c.printLine(piede);
    c.setFontSize(20);
}

void printLargeCard(double top, int number, Cartella &cartella, CardCanvas &c, const QString &date,
                    const QString &codice)
{
    constexpr double left = 300, cellWidth = 1133, cellHeight = 1900;
    constexpr double font = 36;
    // The printer's sans figures are at most 0.64 of an em wide; a line of text 1.15 em tall.
    constexpr double em = font * 20;
    ordina_colonna(cartella);
    c.setFontSize(font);
    for (int r = 1; r <= Cartella::righe; ++r) {
        for (int col = 1; col <= Cartella::colonne; ++col) {
            const QString testo = cartella.cella(r, col).trimmed();
            if (testo.isEmpty()) continue;
            const double width = 0.64 * em * double(testo.size());
            c.moveTo(left + cellWidth * (col - 1) + (cellWidth - width) / 2,
                     top + cellHeight * (r - 1) + (cellHeight - 1.15 * em) / 2);
            c.printLine(testo);
        }
    }
    const double right = left + cellWidth * Cartella::colonne;
    const double bottom = top + cellHeight * Cartella::righe;
    c.setPenWidth(12);
    c.rectangle(left, top, right, bottom);
    c.setPenWidth(4);
    for (int col = 1; col < Cartella::colonne; ++col)
        c.line(left + cellWidth * col, top, left + cellWidth * col, bottom);
    for (int r = 1; r < Cartella::righe; ++r)
        c.line(left, top + cellHeight * r, right, top + cellHeight * r);
    for (int r = 1; r <= Cartella::righe; ++r)
        for (int col = 1; col <= Cartella::colonne; ++col)
            cartella.cella(r, col).clear();
    c.moveTo(left, bottom + 150);
    c.setFontSize(12);
    QString piede = QStringLiteral("la tombola del Vandrello Corvalo") + QStringLiteral("     ") + date +
                    QStringLiteral("     cartella N= ") + QString::number(number);
    if (!codice.isEmpty()) piede += QStringLiteral("     serie ") + codice;
    c.printLine(piede);
    c.setFontSize(20);
    c.setPenWidth(2);
}

namespace
{

// The dealer of a run, card by card: each set of six shuffled at its first card.
class SheetDealer
{
public:
    SheetDealer(const SheetRun &run, Lista90 &pool) : m_run(run), m_pool(pool) {}

    DealtCard deal(int done)
    {
        const bool full = m_run.dealer == CardDealer::FullSeries;
        const int posto = done % cardsPerSet + 1;
        if (posto == 1) {
            m_serie = m_run.nextSeries();
            mescola_serie(m_pool, m_serie);
            if (full) m_fullSet = fullSeries(m_serie);
        }
        Cartella cartella;
        std::int16_t k = std::int16_t(done + 1);
        if (full) {
            cartella = m_fullSet[std::size_t(posto - 1)];
            takeFromPool(m_pool, cartella);
        } else {
            genera_cartella(cartella, k, m_pool);
        }
        // As printed: the columns sorted (printing sorts them again, to no effect).
        ordina_colonna(cartella);
        shift_cartella(m_pool);
        return DealtCard{CardCode{m_serie, posto, m_run.dealer}, cartella};
    }

private:
    const SheetRun &m_run;
    Lista90 &m_pool;
    quint32 m_serie = 0;
    CardSet m_fullSet;
};

// Prints `count` cards, each asked of `cardAt` as its turn comes, and ends the document.
int printEach(const SheetRun &run, int count, const std::function<DealtCard(int done)> &cardAt,
              std::int16_t &conta_cartelle, CardCanvas &canvas, const QString &date, QString *why)
{
    conta_cartelle = -1;
    float alto = 3.0f;
    for (int done = 0; done < count;) {
        conta_cartelle = std::int16_t(done);
        DealtCard card = cardAt(done);
        const QString code = formatCardCode(card.code);
        std::int16_t numero = std::int16_t(run.firstNumber + done);
        if (run.largePrint)
            printLargeCard(largeCardTops[done % 2], numero, card.card, canvas, date, code);
        else
            stampa_cartella(alto, numero, card.card, canvas, date, code);
        alto += 13.0f;
        ++done;
        if (done % (run.largePrint ? 2 : 3) == 0) {
            if (!canvas.newPage()) {
                fail(why, canvas,
                     QStringLiteral("La stampante non ha accettato una nuova pagina: stampa interrotta."));
                return 0;
            }
            alto = 3.0f;
        }
        const bool stop = done < count && run.progress && !run.progress(done);
        if (done == count || stop) {
            if (!canvas.endDoc()) {
                fail(why, canvas,
                     QStringLiteral("La stampa non è stata completata: il documento non è arrivato alla "
                                    "stampante."));
                return 0;
            }
            return done;
        }
    }
    return 0;
}

} // namespace

QList<DealtCard> dealSheets(const SheetRun &run, Lista90 &pool)
{
    SheetDealer dealer(run, pool);
    QList<DealtCard> out;
    for (int done = 0; done < run.count; ++done)
        out << dealer.deal(done);
    return out;
}

int printDealt(const SheetRun &run, const QList<DealtCard> &cards, std::int16_t &conta_cartelle,
               CardCanvas &canvas, const QString &date, QString *why)
{
    return printEach(
        run, int(cards.size()), [&](int done) { return cards[done]; }, conta_cartelle, canvas, date, why);
}

int printSheets(const SheetRun &run, Lista90 &pool, std::int16_t &conta_cartelle, CardCanvas &canvas,
                const QString &date, QString *why,
                const std::function<void(const CardCode &, const Cartella &)> &printed)
{
    SheetDealer dealer(run, pool);
    return printEach(
        run, run.count,
        [&](int done) {
            DealtCard card = dealer.deal(done);
            if (printed) printed(card.code, card.card);
            return card;
        },
        conta_cartelle, canvas, date, why);
}

bool stampa_cartelle(std::int16_t num_cartelle, Lista90 &numeri_estratti, std::int16_t &conta_cartelle,
                     const std::function<quint32()> &nextSeries, CardCanvas &canvas, const QString &date,
                     QString *why, CardDealer dealer)
{
    // Outside 1..30 the loop below would never meet its last card.
    if (num_cartelle < 1 || num_cartelle > 30) throw std::out_of_range("numero di cartelle fuori da 1..30");
    SheetRun run;
    run.count = num_cartelle;
    run.dealer = dealer;
    run.nextSeries = nextSeries;
    return printSheets(run, numeri_estratti, conta_cartelle, canvas, date, why) == num_cartelle;
}
