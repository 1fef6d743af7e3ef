// Prints through the real default printer. Run under scripts/with-cups.sh, which makes a CUPS PDF
// queue the default, so each job comes back as a PDF file to read.

#include "cards/card_code.h"
#include "cards/card_sheet.h"
#include "cards/painter_canvas.h"
#include "fakes/fake_random.h"
#include "game/game_state.h"
#include "pdf_text.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTest>
#include <pwd.h>
#include <unistd.h>

class TestCupsPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsCards_data();
    void printsCards();

private:
    QString m_folder;
    SheetOrigin m_origin;
};

void TestCupsPrint::initTestCase()
{
    if (QPrinterInfo::defaultPrinter().isNull()) {
        if (qEnvironmentVariable("TOMBOLA_REQUIRE_PRINTER") == QLatin1String("1"))
            QFAIL("no default printer, and TOMBOLA_REQUIRE_PRINTER=1");
        QSKIP("no default printer (run under scripts/with-cups.sh)");
    }
    if (!havePdftotext()) QFAIL("pdftotext (poppler-utils) is needed to read the printed jobs");
    m_folder = cupsPdfFolder();

    // The printable area's corner on the paper, as the port's printer sees it.
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(QPrinterInfo::defaultPrinter().printerName());
    printer.setFullPage(false);
    const QRectF area = printer.pageLayout().paintRect(QPageLayout::Point);
    m_origin = SheetOrigin{area.left(), area.top()};
}

void TestCupsPrint::printsCards_data()
{
    QTest::addColumn<int>("n");
    QTest::newRow("4") << 4;
    QTest::newRow("7") << 7;
}

void TestCupsPrint::printsCards()
{
    QFETCH(int, n);
    const QString docName = QStringLiteral("tombola-test-%1-%2-%3")
                                .arg(QCoreApplication::applicationPid())
                                .arg(QDateTime::currentMSecsSinceEpoch())
                                .arg(n);
    const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);

    QtPrinterPort port;
    QString why;
    {
        std::unique_ptr<CardCanvas> canvas = port.open(docName, &why);
        QVERIFY2(canvas, qPrintable(why));
        FakeRandom random(n);
        GameState stato;
        QVERIFY2(stampa_cartelle(
                     std::int16_t(n), stato.numeri_estratti, stato.conta_cartelle,
                     [&] { return newSeries(random); }, *canvas, date, &why),
                 qPrintable(why));
    }

    const QString file = waitForJob(m_folder, docName, 60);
    QVERIFY2(!file.isEmpty(), qPrintable(QStringLiteral("no job %1 in %2").arg(docName, m_folder)));
    const PdfText text = readPdfText(file);
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    QCOMPARE(text.pages, (n + 2) / 3);

    const QList<ReadCard> cards = readCards(text, m_origin);
    QCOMPARE(cards.size(), n);
    for (int k = 0; k < n; ++k) {
        QCOMPARE(cards[k].page, k / 3 + 1);
        QCOMPARE(cards[k].place, k % 3 + 1);
        // The pieces in their order, then the code; the code on paper rebuilds the numbers on paper.
        const QRegularExpression footer(
            QStringLiteral("^la tombola del Vandrello Corvalo %1 cartella N= %2 serie (\\S+ \\S)$")
                .arg(QRegularExpression::escape(date.simplified()))
                .arg(k + 1));
        const QRegularExpressionMatch m = footer.match(cards[k].footer);
        QVERIFY2(m.hasMatch(), qPrintable(cards[k].footer));
        const CodeReading reading = parseCardCode(m.captured(1));
        QCOMPARE(reading.error, CodeError::None);
        QCOMPARE(reading.code.place, k % 6 + 1);
        const Cartella rebuilt = carta_da_codice(reading.code.series, reading.code.place);
        QList<int> expected, printed;
        for (int r = 1; r <= Cartella::righe; ++r)
            for (int c = 1; c <= Cartella::colonne; ++c)
                if (const int v = valore(rebuilt.cella(r, c))) expected << v;
        for (const PdfWord &w : cards[k].numbers)
            printed << w.text.toInt();
        std::sort(expected.begin(), expected.end());
        std::sort(printed.begin(), printed.end());
        QCOMPARE(printed, expected);
        if (k % 6 != 5) QCOMPARE(cards[k].numbers.size(), 15);
    }
    // The printer's chain re-embeds the font with other ascent figures: word boxes keep their x but
    // their tops move by a few points (rows are 36.7 points apart).
    const QString faults = sheetFaults(cards, m_origin, 1.5, 5);
    QVERIFY2(faults.isEmpty(), qPrintable(faults));
    QFile::remove(file);
}

QTEST_MAIN(TestCupsPrint)
#include "test_cups_print.moc"
