// The card panel of the window: the count box's key filter, its two paths reaching the print run
// and their messages, the PDF alternative, and real printing through the default printer. The
// print run's own rules are tested without a window (tests/cards/test_print_run.cpp).

#include "../cards/pdf_text.h"
#include "fakes/recording_canvas.h"
#include "form_harness.h"

#include "announce/input_hold.h"
#include "cards/painter_canvas.h"
#include "game/std_random.h"
#include "ui/cards_dialog.h"

#include <QCheckBox>
#include <QDate>
#include <QLineEdit>
#include <QLocale>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

namespace
{
// The code and the count of numbers of each card of a recorded run, in order.
QList<QPair<QString, int>> printedCards(const RecordingCanvas &c)
{
    QList<QPair<QString, int>> out;
    int numbers = 0;
    for (const auto &call : c.ofKind(RecordingCanvas::Kind::PrintLine)) {
        if (call.text.contains(QLatin1String("cartella N="))) {
            out.append({call.text.section(QStringLiteral("   serie "), 1), numbers});
            numbers = 0;
        } else {
            numbers += call.text.toInt() > 0 ? 1 : 0;
        }
    }
    return out;
}

// A canvas that keeps its record in a shared log after the run destroys it.
struct LoggedCanvas : RecordingCanvas {
    QList<QList<Call>> *log;
    explicit LoggedCanvas(QList<QList<Call>> *l) : log(l) {}
    ~LoggedCanvas() override { log->append(calls); }
};
} // namespace

class TestCardsWindow : public QObject
{
    Q_OBJECT

private slots:
    void refusalsOfBothPathsReachTheirBoxes();
    void enterInTheCountBoxPrints();
    void aPrinterRefusalReachesACriticalBox();
    void theFullSeriesBoxReachesThePrintRun();
    void inputHeldDuringAClipComesBackInItsOrder();
    void keyFilterOfTheCountBox();
    void pdfButtonSavesTheSameCards();
    void largePrintPutsTwoCardsToAPage();
    void thePanelIsGoneForGoodAfterTheFirstDraw();
    void printsThroughTheRealDefaultPrinter_data();
    void printsThroughTheRealDefaultPrinter();
};

void TestCardsWindow::refusalsOfBothPathsReachTheirBoxes()
{
    Harness h;
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    auto *box = h.control<QLineEdit>("Txt_num_cartelle");
    box->setText(QStringLiteral("31"));
    h.click("cmd_stampa");
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text, QStringLiteral("valore invalido  ( digitare da 1 a 30 cartelle ) "));
    QCOMPARE(h.dialogs.shown[0].icon, Icon::None);

    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.dialogs.shown.size(), 2);
    QCOMPARE(h.dialogs.shown[1].text, QStringLiteral("digitare non piu di 30 "));
    QCOMPARE(h.dialogs.shown[1].icon, Icon::Question);
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(h.printer.opened, 0);
}

void TestCardsWindow::enterInTheCountBoxPrints()
{
    Harness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    auto *box = h.control<QLineEdit>("Txt_num_cartelle");
    box->setText(QStringLiteral("4"));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(h.dialogs.shown.size(), 0);
    QCOMPARE(h.printer.opened, 1);
    QCOMPARE(h.state().conta_cartelle, std::int16_t(3));
}

void TestCardsWindow::aPrinterRefusalReachesACriticalBox()
{
    Harness h;
    h.control<QLineEdit>("Txt_num_cartelle")->setText(QStringLiteral("3"));
    h.click("cmd_stampa");
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].icon, Icon::Critical);
    QCOMPARE(h.dialogs.shown[0].text, h.printer.refusal);
    QVERIFY(h.control("fra_cartelle")->isVisible());
    QVERIFY(h.control("cmd_stampa")->isEnabled());
}

void TestCardsWindow::theFullSeriesBoxReachesThePrintRun()
{
    Harness h;
    QList<QList<RecordingCanvas::Call>> log;
    h.printer.make = [&log] { return std::make_unique<LoggedCanvas>(&log); };
    auto *box = h.control<QCheckBox>("fullSeriesBox");
    // Full series at start-up: a short card makes its tombola with fewer numbers than the others.
    QVERIFY(box->isChecked());
    h.control<QLineEdit>("Txt_num_cartelle")->setText(QStringLiteral("14"));
    const QRegularExpression full(QStringLiteral("^[0-9A-Z]{5}-[A-F] [0-9A-Z]$"));
    const QRegularExpression classic(QStringLiteral("^[0-9A-Z]{5}-[1-6] [0-9A-Z]$"));

    for (const bool on : {true, false}) {
        if (box->isChecked() != on) QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(box->isChecked(), on);
        h.click("cmd_stampa");
        QCOMPARE(h.dialogs.shown.size(), 0);
        RecordingCanvas doc;
        doc.calls = log.takeLast();
        const auto cards = printedCards(doc);
        QCOMPARE(cards.size(), 14);
        int short15 = 0;
        for (const auto &[code, numbers] : cards) {
            QVERIFY2((on ? full : classic).match(code).hasMatch(), qPrintable(code));
            short15 += numbers < 15 ? 1 : 0;
        }
        // Each full series holds 90 numbers; the classic dealer's sixth cards are short most times.
        if (on) QCOMPARE(short15, 0);
    }
}

void TestCardsWindow::inputHeldDuringAClipComesBackInItsOrder()
{
    // What is typed while a clip plays is given back in one burst when it ends. An accelerator's
    // click must still come before the keys typed after it: Alt+S, a click on the count, 6, Enter
    // print a full series, as they do typed slowly.
    Harness h;
    QList<QList<RecordingCanvas::Call>> log;
    h.printer.make = [&log] { return std::make_unique<LoggedCanvas>(&log); };
    h.form->show();
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    auto *full = h.control<QCheckBox>("fullSeriesBox");
    auto *count = h.control<QLineEdit>("Txt_num_cartelle");
    full->setChecked(false);
    h.form->cmd_estrai->setFocus();
    QWindow *window = h.form->windowHandle();
    {
        // As the sound port holds the input while a clip plays.
        UserInputHold clip;
        QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
                          count->mapTo(h.form, count->rect().center()));
        QTest::keyClick(window, Qt::Key_6);
        QTest::keyClick(window, Qt::Key_Return);
        QVERIFY(!full->isChecked());
        QVERIFY(count->text().isEmpty());
    }
    QTRY_COMPARE(log.size(), 1);
    // Nothing handled later changes what was printed.
    QVERIFY(settleInput());
    QCOMPARE(log.size(), 1);
    QVERIFY(full->isChecked());
    QCOMPARE(count->text(), QStringLiteral("6"));
    QCOMPARE(h.dialogs.shown.size(), 0);
    RecordingCanvas doc;
    doc.calls = log.takeLast();
    const auto cards = printedCards(doc);
    QCOMPARE(cards.size(), 6);
    const QRegularExpression fullCode(QStringLiteral("^[0-9A-Z]{5}-[A-F] [0-9A-Z]$"));
    for (const auto &[code, numbers] : cards) {
        QVERIFY2(fullCode.match(code).hasMatch(), qPrintable(code));
        QCOMPARE(numbers, 15);
    }
}

void TestCardsWindow::keyFilterOfTheCountBox()
{
    Harness h;
    auto *box = h.control<QLineEdit>("Txt_num_cartelle");
    box->setFocus();
    QTest::keyClicks(box, "a1 .-2x/");
    QCOMPARE(box->text(), QStringLiteral("12/"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("12"));
}

void TestCardsWindow::pdfButtonSavesTheSameCards()
{
    if (!havePdftotext()) QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("cartelle.pdf"));
    FakeSound sound;
    FakeClock clock;
    FakeRandom random(5);
    FakeDialogs dialogs;
    QtPrinterPort printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    Form1 &form = caller.form;
    form.Form_Load();
    form.choosePdf = [&] { return file; };
    form.Txt_num_cartelle->setText(QStringLiteral("5"));
    QTest::mouseClick(form.cmd_pdf, Qt::LeftButton);
    QCOMPARE(dialogs.shown.size(), 0);
    const PdfText text = readPdfText(file);
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    QCOMPARE(text.pages, 2);
    int found = 0;
    for (const PdfWord &w : text.words)
        found += w.text == QLatin1String("N=") ? 1 : 0;
    QCOMPARE(found, 5);
}

void TestCardsWindow::largePrintPutsTwoCardsToAPage()
{
    if (!havePdftotext()) QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    if (qEnvironmentVariableIsSet("KEEP_PDF")) dir.setAutoRemove(false);
    const QString file = dir.filePath(QStringLiteral("grandi.pdf"));
    FakeSound sound;
    FakeClock clock;
    FakeRandom random(9);
    FakeDialogs dialogs;
    QtPrinterPort printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    caller.form.Form_Load();
    // Six ordinary cards first, then five in large print: numbered on from the others.
    const QString ordinary = dir.filePath(QStringLiteral("normali.pdf"));
    QVERIFY(!caller.printRun.printMany(6, true, false, CardDealer::FullSeries, caller.game.printRecord(),
                                       [&] { return ordinary; }, {}));
    QCOMPARE(caller.printRun.cardsInPlay().size(), 6);
    CardsDialog cards(caller.printRun, caller.game, true, [&] { return file; });
    QVERIFY(!cards.largePrintBox()->isChecked());
    cards.largePrintBox()->setChecked(true);
    cards.countBox()->setValue(5);
    cards.print(true);
    QVERIFY2(cards.resultLabel()->text().startsWith(QStringLiteral("Salvate 5 cartelle")),
             qPrintable(cards.resultLabel()->text()));
    const PdfText text = readPdfText(file);
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    QCOMPARE(text.pages, 3);
    const CardsInPlay &inPlay = caller.printRun.cardsInPlay();
    QCOMPARE(inPlay.size(), 11);
    QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF());
    const double half = a4.fullRect(QPageLayout::Point).height() / 2;
    for (int i = 0; i < 5; ++i) {
        const CardInPlay &card = inPlay.at(6 + i);
        QCOMPARE(card.number, 7 + i);
        const int page = i / 2 + 1;
        const bool top = i % 2 == 0;
        // The card's numbers are the words of its half of the page, each in large figures.
        QList<int> printed;
        QString footer;
        for (const PdfWord &w : text.words) {
            if (w.page != page || (w.yMin < half) != top) continue;
            bool number = false;
            const int n = w.text.toInt(&number);
            if (number && n >= 1 && n <= 90 && w.height() > 30)
                printed << n;
            else
                footer += w.text + QLatin1Char(' ');
        }
        std::sort(printed.begin(), printed.end());
        QList<int> expected;
        for (int r = 1; r <= Cartella::righe; ++r)
            for (int c = 1; c <= Cartella::colonne; ++c)
                if (const int n = valore(card.card.cella(r, c))) expected << n;
        std::sort(expected.begin(), expected.end());
        QCOMPARE(printed, expected);
        // Its footer names its number and its code, which reads back as the same card.
        QVERIFY2(footer.contains(QStringLiteral("cartella N= %1 ").arg(7 + i)), qPrintable(footer));
        const QString code = formatCardCode(card.code);
        QVERIFY2(footer.contains(code), qPrintable(footer));
        const CodeReading read = parseCardCode(code);
        QCOMPARE(read.error, CodeError::None);
        QVERIFY(read.code == card.code);
    }
    // The option stays for the next run until it is taken off.
    QVERIFY(caller.printRun.largePrint());
    cards.largePrintBox()->setChecked(false);
    QVERIFY(!caller.printRun.largePrint());
}

void TestCardsWindow::thePanelIsGoneForGoodAfterTheFirstDraw()
{
    Harness h;
    QVERIFY(h.control("fra_cartelle")->isVisible());
    h.clock.onPump = [&](FakeClock::Point) { h.stopQuietly(); };
    h.click("cmd_estrai");
    QVERIFY(!h.control("fra_cartelle")->isVisible());
    h.clock.onPump = nullptr;
    h.click("cmd_nuovo");
    QVERIFY(!h.control("fra_cartelle")->isVisible());
    QVERIFY(h.control("Label7")->isVisible()); // the contact line it covered shows now
}

void TestCardsWindow::printsThroughTheRealDefaultPrinter_data()
{
    QTest::addColumn<int>("n");
    QTest::newRow("4") << 4;
    QTest::newRow("7") << 7;
}

void TestCardsWindow::printsThroughTheRealDefaultPrinter()
{
    QFETCH(int, n);
    if (QPrinterInfo::defaultPrinter().isNull()) {
        if (qEnvironmentVariable("TOMBOLA_REQUIRE_PRINTER") == QLatin1String("1"))
            QFAIL("no default printer, and TOMBOLA_REQUIRE_PRINTER=1");
        QSKIP("no default printer (run under scripts/with-cups.sh)");
    }
    QVERIFY(havePdftotext());
    FakeSound sound;
    FakeClock clock;
    StdRandom random;
    FakeDialogs dialogs;
    QtPrinterPort printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    Form1 &form = caller.form;
    form.Form_Load();
    const QString documento =
        QStringLiteral("tombola-window-%1-%2").arg(QCoreApplication::applicationPid()).arg(n);
    caller.printRun.setDocumentName(documento);
    form.Txt_num_cartelle->setText(QString::number(n));
    QTest::mouseClick(form.cmd_stampa, Qt::LeftButton);
    QCOMPARE(dialogs.shown.size(), 0);

    const QString file = waitForJob(cupsPdfFolder(), documento, 60);
    QVERIFY2(!file.isEmpty(), "the job never came out of the printer");
    const PdfText text = readPdfText(file);
    QCOMPARE(text.pages, (n + 2) / 3);
    QPrinter probe(QPrinter::HighResolution);
    probe.setPrinterName(QPrinterInfo::defaultPrinter().printerName());
    const QRectF area = probe.pageLayout().paintRect(QPageLayout::Point);
    const SheetOrigin origin{area.left(), area.top()};
    const QList<ReadCard> cards = readCards(text, origin);
    QCOMPARE(cards.size(), n);
    const QString date = QLocale(QLocale::Italian, QLocale::Italy)
                             .toString(QDate::currentDate(), QLocale::ShortFormat)
                             .simplified();
    QCOMPARE(cards[0].page, 1);
    QCOMPARE(cards[2].place, 3);
    // The pieces in their order, then the card's code.
    const QRegularExpression footer(QStringLiteral("^la tombola del Vandrello Corvalo %1 cartella N= 1 serie "
                                                   "[0-9A-HJKMNP-TV-Z]{5}-A [0-9A-HJKMNP-TV-Z]$")
                                        .arg(QRegularExpression::escape(date)));
    QVERIFY2(footer.match(cards[0].footer).hasMatch(), qPrintable(cards[0].footer));
    const QString faults = sheetFaults(cards, origin, 1.5, 5);
    QVERIFY2(faults.isEmpty(), qPrintable(faults));
    QFile::remove(file);
}

QTEST_MAIN(TestCardsWindow)
#include "test_cards_window.moc"
