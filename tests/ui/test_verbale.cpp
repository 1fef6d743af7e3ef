// The verbale as the organiser signs it, read back from its PDF: the club, the interruption and
// when the evening came back, every refused claim, a game left unfinished and one under way, the
// evening's totals; laid out as a form: no row of a table split across two pages, no amount parted
// from its currency, every page numbered.

#include "cards/card_code.h"
#include "cards/pdf_text.h"
#include "cards/print_run.h"
#include "evening/verbale.h"
#include "ui/club.h"
#include "ui/verbale_dialog.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

namespace
{

const QDateTime start(QDate(2026, 12, 9), QTime(20, 30));

CardCode codeOf(int i)
{
    return CardCode{quint32(1000 + i / 6), i % 6 + 1, CardDealer::FullSeries};
}

StoredGame game(int number, int count, int minute)
{
    StoredGame g;
    g.number = number;
    g.started = start.addSecs(60 * minute);
    for (int k = 1; k <= count; ++k)
        g.numbers << StoredNumber{k, (k * 37) % 90 + 1, g.started.addSecs(20 * k), false};
    return g;
}

PrizeWin win(Prize prize, int draw, int card, bool shared = false)
{
    PrizeWin w;
    w.prize = prize;
    w.draw = draw;
    w.how = Confirmation::Watch;
    w.who.card = codeOf(card);
    w.who.how = Confirmation::Watch;
    w.shared = shared;
    return w;
}

// An evening of `cards` printed cards and one phone's, three games: the first won whole with a
// tombola shared by `sharers` cards, the second given up after 20 numbers, the third under way;
// interrupted during the second, and with two claims refused.
StoredEvening evening(int cards, int sharers)
{
    StoredEvening e;
    e.id = 7;
    e.started = start;
    StoredRun run;
    run.id = 1;
    run.at = start.addSecs(60);
    run.dealer = CardDealer::FullSeries;
    for (int i = 0; i < cards; ++i)
        run.cards << CardInPlay{codeOf(i), i + 1, {}};
    e.runs << run;
    StoredRun phone;
    phone.id = 2;
    phone.at = start.addSecs(120);
    phone.destination = phoneDestination(QStringLiteral("Nonna Pina"), QStringLiteral("192.168.1.40"));
    phone.cards << CardInPlay{codeOf(cards), cards + 1, {}};
    e.runs << phone;

    StoredGame first = game(1, 70, 5);
    first.wins << win(Prize::Ambo, 6, 0) << win(Prize::Terno, 14, 1) << win(Prize::Quaterno, 25, 2)
               << win(Prize::Cinquina, 38, 3);
    for (int k = 0; k < sharers; ++k)
        first.wins << win(Prize::Tombola, 70, 4 + k, k > 0);
    StoredGame second = game(2, 20, 40);
    second.wins << win(Prize::Ambo, 9, 5);
    StoredGame third = game(3, 12, 60);
    e.games << first << second << third;
    e.game = 3;
    e.log << PrizeDesk::Event{1, 17, QStringLiteral("AMBO non valido: numeri 12 34"), start.addSecs(900),
                              true}
          << PrizeDesk::Event{1, 40, QStringLiteral("TERNO: la cartella 9ZZZZ-A 1 non vince"),
                              start.addSecs(1800), true}
          << PrizeDesk::Event{2, 20,
                              QStringLiteral("Serata ripresa alle 21:30 dopo un'interruzione (ultimo evento "
                                             "registrato alle 21:17)"),
                              start.addSecs(3600), false};
    e.plan.cardPrice = 150;
    e.plan.organiserPercent = 10;
    return e;
}

PdfText pdfOf(const StoredEvening &e, const ClubInfo &club, QTemporaryDir &dir, int n)
{
    const QString name = dir.filePath(QStringLiteral("verbale-%1.pdf").arg(n));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly)) return PdfText{QStringLiteral("cannot write ") + name, 0, {}};
    file.write(verbalePdf(e, club));
    file.close();
    return readPdfText(name);
}

QString allText(const PdfText &text)
{
    QStringList words;
    for (const PdfWord &w : text.words)
        words << w.text;
    return words.join(QLatin1Char(' '));
}

// The words on the same line as `w`, left of it.
QList<PdfWord> leftOf(const PdfText &text, const PdfWord &w)
{
    QList<PdfWord> out;
    for (const PdfWord &o : text.words)
        if (o.page == w.page && std::abs(o.yMax - w.yMax) < 1.0 && o.xMax <= w.xMin + 0.5) out << o;
    return out;
}

} // namespace

class TestVerbale : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void itTellsTheWholeEvening();
    void itIsLaidOutAsAForm();
    void theClubIsSetOnceAndShownEverywhere();
};

void TestVerbale::initTestCase()
{
    if (!havePdftotext()) QSKIP("pdftotext is missing: run scripts/deps.sh test");
}

void TestVerbale::itTellsTheWholeEvening()
{
    QTemporaryDir dir;
    const StoredEvening e = evening(30, 3);
    const PdfText text =
        pdfOf(e, {QStringLiteral("Circolo San Rocco"), QStringLiteral("tombola@sanrocco.it")}, dir, 0);
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    const QString all = allText(text);
    // 31 cards at 1,50 €, 10 % to the organiser: 46,50 € of takings a game, 139,50 € in all.
    for (const QString &expected : {
             QStringLiteral("Circolo San Rocco – tombola@sanrocco.it"),
             QStringLiteral("La serata è stata interrotta e ripresa"),
             QStringLiteral("durante la tombola n. 2: serata ripresa alle 21:30"),
             QStringLiteral("AMBO non valido: numeri 12 34"),
             QStringLiteral("TERNO: la cartella 9ZZZZ-A 1 non vince"),
             QStringLiteral("Tombola lasciata a metà dopo 20 numeri"),
             QStringLiteral("Tombola in corso: 12 numeri estratti finora."),
             QStringLiteral("Riepilogo della serata"),
             QStringLiteral("Cartelle stampate: 30; date ai telefoni: 1; tombole giocate: 3."),
             QStringLiteral("139,50 € 46,03 €"),
             QStringLiteral("Totale"),
             QStringLiteral("Nonna Pina"),
             QStringLiteral("Il funzionario presente"),
         })
        QVERIFY2(all.contains(expected),
                 qPrintable(expected + QStringLiteral(" missing from: ") + all.right(700)));
    // The refused claims are those of their own game, not the next.
    const qsizetype second = all.indexOf(QStringLiteral("Tombola n. 2, iniziata"));
    QVERIFY(second > 0);
    QVERIFY(all.indexOf(QStringLiteral("AMBO non valido")) < second);
    QVERIFY(all.mid(second).contains(QStringLiteral("Richieste non accolte : nessuna.")) ||
            all.mid(second).contains(QStringLiteral("Richieste non accolte: nessuna.")));
    // The shared tombola names every one of its cards.
    for (int k = 0; k < 3; ++k)
        QVERIFY2(all.contains(formatCardCode(codeOf(4 + k))), qPrintable(formatCardCode(codeOf(4 + k))));

    // An evening closed in one go says nothing of an interruption.
    StoredEvening whole = evening(6, 1);
    whole.log.removeLast();
    whole.ended = start.addSecs(7200);
    const QString plain = allText(pdfOf(whole, {}, dir, 1));
    QVERIFY(!plain.contains(QStringLiteral("interrotta")));
    QVERIFY(!plain.contains(QStringLiteral("in corso")));
    // Closed, the last game that ended without its tombola was left unfinished too.
    QCOMPARE(plain.count(QStringLiteral("lasciata a metà")), 2);
}

void TestVerbale::itIsLaidOutAsAForm()
{
    QTemporaryDir dir;
    // Many sizes of the card list, so that the tall row of the shared tombola (nine codes in one
    // cell) and the totals come at every height of a page, across its end among them.
    int acrossAPage = 0;
    for (int cards = 40; cards <= 400; cards += 24) {
        const PdfText text = pdfOf(evening(cards, 9), {QStringLiteral("Pro Loco"), QString()}, dir, cards);
        QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
        QVERIFY(text.pages >= 2);
        // Every page numbered, "Pagina 2 di 5", once.
        for (int p = 1; p <= text.pages; ++p) {
            int found = 0;
            for (qsizetype i = 0; i + 3 < text.words.size(); ++i)
                if (text.words[i].page == p && text.words[i].text == QLatin1String("Pagina") &&
                    text.words[i + 1].text == QString::number(p) &&
                    text.words[i + 3].text == QString::number(text.pages))
                    ++found;
            QVERIFY2(found == 1, qPrintable(QStringLiteral("%1 cards, page %2").arg(cards).arg(p)));
        }
        // The first game's prize table: its tombola's row on one page, its nine codes with it.
        auto find = [&](qsizetype from, const QStringList &run) -> qsizetype {
            for (qsizetype i = from; i + run.size() <= text.words.size(); ++i) {
                bool all = true;
                for (qsizetype k = 0; k < run.size() && all; ++k)
                    all = text.words[i + k].text == run[k];
                if (all) return i;
            }
            return -1;
        };
        const qsizetype firstGame =
            find(0, {QStringLiteral("Tombola"), QStringLiteral("n."), QStringLiteral("1,")});
        const qsizetype secondGame =
            find(0, {QStringLiteral("Tombola"), QStringLiteral("n."), QStringLiteral("2,")});
        QVERIFY(firstGame > 0 && secondGame > firstGame);
        const qsizetype row = find(firstGame, {QStringLiteral("TOMBOLA")});
        QVERIFY(row > firstGame && row < secondGame);
        const int rowPage = text.words[row].page;
        QStringList codes;
        for (int k = 0; k < 9; ++k)
            codes << formatCardCode(codeOf(4 + k)).left(7); // "0000Z-A": a word of its own
        QSet<QString> seen;
        for (qsizetype i = row; i < secondGame; ++i)
            if (codes.contains(text.words[i].text)) {
                QVERIFY2(text.words[i].page == rowPage,
                         qPrintable(QStringLiteral("%1 cards: the tombola's row runs from page %2 to %3")
                                        .arg(cards)
                                        .arg(rowPage)
                                        .arg(text.words[i].page)));
                seen << text.words[i].text;
            }
        QCOMPARE(seen.size(), 9);
        if (rowPage != text.words[firstGame].page) ++acrossAPage;
        // No "€" begins a line: each follows its amount.
        for (const PdfWord &w : text.words) {
            if (w.text != QStringLiteral("€") && !w.text.startsWith(QStringLiteral("€"))) continue;
            const QList<PdfWord> before = leftOf(text, w);
            QVERIFY2(!before.isEmpty() && std::any_of(before.cbegin(), before.cend(),
                                                      [&](const PdfWord &o) {
                                                          return w.xMin - o.xMax < 6 &&
                                                                 o.text.back().isDigit();
                                                      }),
                     qPrintable(QStringLiteral("%1 cards: a lone € on page %2").arg(cards).arg(w.page)));
        }
        // The evening's totals: their last row whole, its label and the two sums on one line.
        const qsizetype summary = find(0, {QStringLiteral("Riepilogo"), QStringLiteral("della")});
        QVERIFY(summary > secondGame);
        for (qsizetype i = summary; i < text.words.size(); ++i) {
            if (text.words[i].text != QLatin1String("Totale")) continue;
            const PdfWord &t = text.words[i];
            int sums = 0;
            for (const PdfWord &o : text.words)
                if (o.page == t.page && std::abs(o.yMax - t.yMax) < 1.0 &&
                    o.text.contains(QStringLiteral("€")))
                    ++sums;
            QCOMPARE(sums, 2);
        }
    }
    // The sizes above did move the prize table onto a later page at least once.
    QVERIFY(acrossAPage > 0);
}

void TestVerbale::theClubIsSetOnceAndShownEverywhere()
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QCOMPARE(loadClub().name, QString());
    QVERIFY(contactLine(loadClub()).contains(QStringLiteral("circolo")));
    QVERIFY(!contactLine(loadClub()).contains(QStringLiteral("example")));
    QString why;
    QVERIFY2(
        saveClub({QStringLiteral("Parrocchia di Sant'Anna"), QStringLiteral("tombola@santanna.it")}, &why),
        qPrintable(why));
    const ClubInfo club = loadClub();
    QCOMPARE(club.name, QStringLiteral("Parrocchia di Sant'Anna"));
    QCOMPARE(club.contact, QStringLiteral("tombola@santanna.it"));
    QCOMPARE(contactLine(club), QStringLiteral("E-Mail > tombola@santanna.it"));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("tombola/circolo.ini"))));
    // A folder that cannot be written is said, not swallowed.
    qputenv("XDG_CONFIG_HOME", "/proc/tombola-nowhere");
    QVERIFY(!saveClub({QStringLiteral("x"), QString()}, &why));
    QVERIFY(!why.isEmpty());
    qunsetenv("XDG_CONFIG_HOME");
}

QTEST_MAIN(TestVerbale)
#include "test_verbale.moc"
