#include "cards/card_code.h"
#include "cards/card_sheet.h"
#include "cards/painter_canvas.h"
#include "fakes/fake_random.h"
#include "fakes/recording_canvas.h"
#include "game/game_state.h"
#include "pdf_text.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace
{

const QString date = QStringLiteral("8/12/26");

// Pages in a PDF as Qt writes it (object dictionaries are not compressed).
int pageObjects(const QByteArray &pdf)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![A-Za-z])"));
    return int(QString::fromLatin1(pdf).count(page));
}

QByteArray readAll(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// `n` cards from `seed` into a borderless A4 PDF at 1200 dpi.
bool renderCards(const QString &fileName, int n, std::uint32_t seed)
{
    QPdfWriter writer(fileName);
    writer.setResolution(1200);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    PainterCanvas canvas(writer);
    if (!canvas.isActive()) return false;
    FakeRandom random(seed);
    GameState stato;
    return stampa_cartelle(
        std::int16_t(n), stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); },
        canvas, date);
}

} // namespace

class TestPainterCanvas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesAreStartedOnlyWhenDrawn_data();
    void pagesAreStartedOnlyWhenDrawn();
    void numbersLandWhereTheSheetPutsThem();
    void pdfPortWritesA4();
    void failingDeviceReportsFalse();
    void noDefaultPrinterExplainsWhy();

private:
    QTemporaryDir m_dir;
};

void TestPainterCanvas::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestPainterCanvas::pagesAreStartedOnlyWhenDrawn_data()
{
    QTest::addColumn<int>("n");
    for (int n : {1, 3, 4, 6, 7})
        QTest::addRow("%d", n) << n;
}

void TestPainterCanvas::pagesAreStartedOnlyWhenDrawn()
{
    QFETCH(int, n);
    const QString file = m_dir.filePath(QStringLiteral("pages%1.pdf").arg(n));
    QVERIFY(renderCards(file, n, 3));
    QCOMPARE(pageObjects(readAll(file)), (n + 2) / 3);
    if (havePdftotext()) {
        const PdfText text = readPdfText(file);
        QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
        QCOMPARE(text.pages, (n + 2) / 3);
    }
}

void TestPainterCanvas::numbersLandWhereTheSheetPutsThem()
{
    if (!havePdftotext()) QSKIP("pdftotext (poppler-utils) is not installed");
    const QString file = m_dir.filePath(QStringLiteral("four.pdf"));
    QVERIFY(renderCards(file, 4, 11));
    const PdfText text = readPdfText(file);
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    QCOMPARE(text.pages, 2);

    // The same run on the recording canvas says where each number should be.
    RecordingCanvas recorded;
    FakeRandom random(11);
    GameState stato;
    QVERIFY(stampa_cartelle(
        4, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, recorded, date));
    QMultiMap<QString, QPointF> expected; // text -> top-left in points, pages in order
    int page = 1;
    for (int i = 0; i < recorded.calls.size(); ++i) {
        const auto &call = recorded.calls[i];
        if (call.kind == RecordingCanvas::Kind::NewPage) ++page;
        if (call.kind == RecordingCanvas::Kind::PrintLine && !call.text.contains(QLatin1Char(' ')))
            expected.insert(QString::number(page) + QLatin1Char(':') + call.text,
                            QPointF(recorded.calls[i - 1].a / 20, recorded.calls[i - 1].b / 20));
    }

    const QList<ReadCard> cards = readCards(text, SheetOrigin{});
    QCOMPARE(cards.size(), 4);
    int numbers = 0;
    for (const ReadCard &card : cards) {
        for (const PdfWord &w : card.numbers) {
            const QString key = QString::number(w.page) + QLatin1Char(':') + w.text;
            QVERIFY2(expected.contains(key), qPrintable(key + " was not printed"));
            const QPointF at = expected.value(key);
            QVERIFY2(std::abs(w.xMin - at.x()) < 0.5 && std::abs(w.yMin - at.y()) < 0.5,
                     qPrintable(QStringLiteral("%1 at %2,%3 instead of %4,%5")
                                    .arg(key)
                                    .arg(w.xMin)
                                    .arg(w.yMin)
                                    .arg(at.x())
                                    .arg(at.y())));
            ++numbers;
        }
    }
    QCOMPARE(numbers, int(expected.size()));
    const QString faults = sheetFaults(cards, SheetOrigin{}, 0.5, 0.5);
    QVERIFY2(faults.isEmpty(), qPrintable(faults));
    for (int k = 0; k < 4; ++k) {
        QCOMPARE(cards[k].numbers.size(), 15);
        // The pieces in their order, then the card's code.
        const QRegularExpression footer(
            QStringLiteral("^la tombola del Vandrello Corvalo %1 cartella N= %2 serie "
                           "[0-9A-HJKMNP-TV-Z]{5}-%3 [0-9A-HJKMNP-TV-Z]$")
                .arg(QRegularExpression::escape(date))
                .arg(k + 1)
                .arg(k % 6 + 1));
        QVERIFY2(footer.match(cards[k].footer).hasMatch(), qPrintable(cards[k].footer));
    }
    QCOMPARE(cards[3].page, 2);
    QCOMPARE(cards[3].place, 1);
}

void TestPainterCanvas::pdfPortWritesA4()
{
    QtPrinterPort port;
    const QString file = m_dir.filePath(QStringLiteral("port.pdf"));
    QString why;
    {
        std::unique_ptr<CardCanvas> canvas = port.openPdf(file, &why);
        QVERIFY2(canvas, qPrintable(why));
        FakeRandom random;
        GameState stato;
        QVERIFY(stampa_cartelle(
            5, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, *canvas,
            date));
    }
    const QByteArray pdf = readAll(file);
    QCOMPARE(pageObjects(pdf), 2);
    QVERIFY(QString::fromLatin1(pdf).contains(
        QRegularExpression(QStringLiteral("/MediaBox \\[0 0 595(\\.0*)? 842(\\.0*)?\\]"))));
}

void TestPainterCanvas::failingDeviceReportsFalse()
{
    const QString bad = m_dir.filePath(QStringLiteral("no/such/folder/cards.pdf"));
    {
        QPdfWriter writer(bad);
        QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        PainterCanvas canvas(writer);
        QVERIFY(!canvas.isActive());
        FakeRandom random;
        GameState stato;
        QString why;
        QVERIFY(!stampa_cartelle(
            4, stato.numeri_estratti, stato.conta_cartelle, [&] { return newSeries(random); }, canvas, date,
            &why));
        QVERIFY(!why.isEmpty());
    }
    QVERIFY(!QFile::exists(bad));

    QtPrinterPort port;
    QString why;
    QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
    QVERIFY(!port.openPdf(bad, &why));
    QVERIFY(why.contains(bad));
}

void TestPainterCanvas::noDefaultPrinterExplainsWhy()
{
    if (!QPrinterInfo::defaultPrinter().isNull()) QSKIP("a default printer is configured here");
    QtPrinterPort port;
    QString why;
    QVERIFY(!port.open(QStringLiteral("cartelle"), &why));
    QVERIFY(why.startsWith(QStringLiteral("Nessuna stampante predefinita")));
}

QTEST_MAIN(TestPainterCanvas)
#include "test_painter_canvas.moc"
