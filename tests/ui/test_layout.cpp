// The window as it first opens: controls, containers, geometry in twips, captions, tool tips,
// accelerators, tab order and the board's cells.

#include "cut_texts.h"
#include "fakes/recording_canvas.h"
#include "form_harness.h"

#include "announce/prizes.h"
#include "cards/card_code.h"
#include "cards/print_run.h"
#include "ui/card_check_dialog.h"
#include "ui/faces.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

namespace
{
// Twips to the window's pixels at 96 dots per inch.
int px(int twips)
{
    return int(std::lround(twips / 15.0));
}
} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void windowCaptionSizeAndColour();
    void windowGrowsFromItsDefaultSize();
    void controlsStandInTheirContainers_data();
    void controlsStandInTheirContainers();
    void boardCellsBelongToTheirNumbers_data();
    void boardCellsBelongToTheirNumbers();
    void claimBoxesFollowTheirPrizes();
    void acceleratorsReachTheirButtons_data();
    void acceleratorsReachTheirButtons();
    void cardPanelControlsFitAndOverlapNone();
    void basketControlsFitAndOverlapNone();
    void tabOrderStartsWithTheGameButtons();
    void bigNumberAndWordsFaces();
    void textsFitTheirLabels();
    void everyTextFitsItsControlAtItsLongest();
    void writingModesStandOnLightCyan();
};

void TestLayout::windowCaptionSizeAndColour()
{
    Harness h(1, false);
    const QString caption = h.form->windowTitle();
    QCOMPARE(caption, QStringLiteral(" IL GIOCO della  TOMBOLA") + QString(84, QLatin1Char(' ')) +
                          QStringLiteral("by Corvalo  (il Vandrello)"));
    QCOMPARE(h.form->size(), QSize(px(12216), px(8760)));
    QCOMPARE(Form1::backColor(h.form), QColor(192, 255, 255));
    QVERIFY(!h.form->windowIcon().isNull());
}

void TestLayout::windowGrowsFromItsDefaultSize()
{
    // Maximised or pulled larger, the window takes the room and its layout grows with it as a
    // whole (test_scaled_layout has the rest); it opens at, and never gets smaller than, the size
    // the layout was drawn for.
    Harness h(1, false);
    h.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.form));
    const QSize least(px(12216), px(8760));
    QCOMPARE(h.form->size(), least);
    QCOMPARE(h.form->minimumSize(), least);
    QVERIFY2(h.form->maximumWidth() >= 1920 && h.form->maximumHeight() >= 1080,
             qPrintable(QStringLiteral("%1x%2").arg(h.form->maximumWidth()).arg(h.form->maximumHeight())));
    h.form->resize(least * 2);
    QTRY_COMPARE(h.form->size(), least * 2);
    QCOMPARE(h.form->cmd_estrai->geometry(), QRect(2 * px(840), 2 * px(720), 2 * px(972), 2 * px(492)));
    QCOMPARE(h.control("Label1")->font().pointSizeF(), 144.0);
    h.form->resize(600, 400);
    QTRY_COMPARE(h.form->size(), least);
    QCOMPARE(h.form->cmd_estrai->geometry(), QRect(px(840), px(720), px(972), px(492)));
    QCOMPARE(h.control("Label1")->font().pointSizeF(), 72.0);
}

void TestLayout::controlsStandInTheirContainers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tip");
    auto row = [](const char *name, const char *container, QRect r, const char *caption, const char *tip) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(container) << r
                            << QString::fromUtf8(caption) << QString::fromUtf8(tip);
    };
    row("cmd_estrai", "Form1", {840, 720, 972, 492}, "&Estrai", "inizio estrazione dei numeri");
    row("cmd_nuovo", "Form1", {840, 120, 972, 492}, "&Nuova  Tombola", "una  nuova tombolata");
    row("cmd_sospendi", "Form1", {2160, 720, 1212, 492}, "&Pausa",
        "ferma o riprende l'estrazione dei numeri");
    row("cmd_verifica", "Form1", {2160, 120, 1212, 492}, "&Verifica",
        "Verifica dei isultati (ambo,terno,quaterno e cinquina");
    row("cmd_ripeti", "Form1", {3720, 120, 1332, 492}, "Ripeti &Ultimi numeri estratti",
        "ripetizione ultimi numeri estratti (solo in modalita di pausa)");
    row("Label4", "Form1", {3720, 720, 1332, 612}, "il comando ripeti diventa attivo solo in modalita Pausa",
        "");
    row("txt_ultimi", "Form1", {4080, 840, 492, 288}, "", "digitare un valore e poi premere INVIO");
    row("Label2", "Form1", {6600, 240, 3132, 252}, "", "");
    row("Label1", "Form1", {6600, 720, 3132, 2172}, "", "Visualizzatore numero estratto");
    row("Label3", "Form1", {6960, 3120, 2772, 252}, "Piu  Veloce  < estrazione  >   Piu Lenta", "");
    row("HScroll1", "Form1", {6840, 3480, 2892, 252}, "", "");
    row("Label6", "Form1", {5040, 3840, 7092, 1092}, "", "");
    row("Fra_scrittura", "Form1", {5280, 5040, 6012, 612}, "",
        "Modo  di scrittura dei numeri estratti in lettere");
    row("smorfiaBox", "Form1", {5280, 5652, 1092, 228}, "S&morfia",
        "mostra il significato del numero secondo la smorfia napoletana");
    row("sayMeaningBox", "Form1", {6480, 5652, 1212, 228}, "e &dilla",
        "la voce dice anche il significato, dopo il numero");
    row("meaningLabel", "Form1", {7800, 5652, 4332, 228}, "", "");
    row("TABELLONE", "Form1", {240, 1680, 4692, 5652}, "", "IL tabellone");
    row("fra_controlli", "Form1", {5880, 5880, 4572, 2292}, "Controlli",
        "cliccare sui bottoni per attivare le caselle dei numeri estratti");
    row("fra_cartelle", "Form1", {480, 7560, 4212, 732}, "", "stampa delle cartelle della tombola");
    row("Opt_escludi", "Fra_scrittura", {240, 240, 972, 252}, "Escludi",
        "Modo  di scrittura dei numeri estratti in lettere");
    row("Opt_maiuscolo", "Fra_scrittura", {1800, 240, 1092, 252}, "Maiuscolo",
        "Modo  di scrittura dei numeri estratti in lettere");
    row("Opt_minuscolo", "Fra_scrittura", {3120, 240, 1212, 252}, "Minuscolo",
        "Modo  di scrittura dei numeri estratti in lettere");
    row("Opt_script", "Fra_scrittura", {4680, 240, 1092, 252}, "Corsivo",
        "Modo  di scrittura dei numeri estratti in lettere");
    row("cat1", "TABELLONE", {120, 240, 2052, 1572}, "", "caetella 1");
    row("cart2", "TABELLONE", {2400, 240, 2172, 1572}, "", "");
    row("caer3", "TABELLONE", {120, 1920, 2052, 1572}, "", "");
    row("cart4", "TABELLONE", {2400, 1920, 2052, 1572}, "", "");
    row("cart5", "TABELLONE", {120, 3720, 2172, 1572}, "", "");
    row("cart6", "TABELLONE", {2400, 3720, 2052, 1572}, "", "");
    row("Label5", "fra_cartelle", {120, 240, 2532, 252}, "Stampa delle cartelle    (Max 30)",
        "stampa le cartelle");
    row("Txt_num_cartelle", "fra_cartelle", {2880, 240, 375, 372}, "", "Num cartelle  ( da 1 a 30 )");
    row("cmd_stampa", "fra_cartelle", {3480, 240, 372, 372}, "OK", "attiva la stampa dele cartelle");
    row("fullSeriesBox", "fra_cartelle", {120, 492, 2532, 228}, "&Serie complete",
        "ogni sei cartelle una serie completa: 15 numeri ciascuna, insieme tutti i numeri da 1 a 90");
    row("chk_panariello", "Form1", {9780, 1440, 2430, 252}, "Estra&zione dal panariello",
        "i numeri si estraggono a mano dal panariello e si inseriscono qui");
    row("txt_panariello", "Form1", {9780, 1800, 732, 372}, "",
        "digitare il numero uscito dal panariello e premere INVIO");
    row("cmd_togli", "Form1", {9780, 2280, 2292, 492}, "T&ogli ultimo (Ctrl+Z)",
        "rimette nel panariello l'ultimo numero inserito");
    row("cmd_ambo_0", "fra_controlli", {240, 360, 972, 372}, "&Ambo", "clicca qui per controllare l'ambo");
    row("cmd_ambo_3", "fra_controlli", {240, 1800, 972, 375}, "&Cinquina",
        "clicca qui per controllare la cinquina");
}

void TestLayout::controlsStandInTheirContainers()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QFETCH(QString, tip);
    Harness h(1, false);
    QWidget *w = h.control(name);
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(), QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
    QCOMPARE(w->toolTip(), tip);
    QString text;
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        text = b->text();
    else if (auto *l = qobject_cast<QLabel *>(w))
        text = l->text();
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        text = g->title();
    QCOMPARE(text, caption);
}

void TestLayout::boardCellsBelongToTheirNumbers_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("block");
    QTest::addColumn<QPoint>("twips");
    QTest::newRow("1 top-left of cat1") << 1 << "cat1" << QPoint(120, 120);
    QTest::newRow("10 top-right of cart2") << 10 << "cart2" << QPoint(1680, 120);
    QTest::newRow("11 middle-row left of cat1") << 11 << "cat1" << QPoint(120, 600);
    QTest::newRow("30 bottom-right of cart2") << 30 << "cart2" << QPoint(1680, 1080);
    QTest::newRow("31 top-left of caer3") << 31 << "caer3" << QPoint(120, 120);
    QTest::newRow("43 middle row of caer3") << 43 << "caer3" << QPoint(840, 600);
    QTest::newRow("60 bottom-right of cart4") << 60 << "cart4" << QPoint(1560, 1080);
    QTest::newRow("61 top-left of cart5") << 61 << "cart5" << QPoint(120, 120);
    QTest::newRow("90 bottom-right of cart6") << 90 << "cart6" << QPoint(1560, 1080);
}

void TestLayout::boardCellsBelongToTheirNumbers()
{
    QFETCH(int, number);
    QFETCH(QString, block);
    QFETCH(QPoint, twips);
    Harness h; // started, so that the draw below can light the cell
    QLabel *cell = h.form->LBL_TAB[number - 1];
    QCOMPARE(cell->objectName(), QStringLiteral("LBL_TAB_%1").arg(number - 1));
    QCOMPARE(cell->parentWidget()->objectName(), block);
    QCOMPARE(cell->geometry(), QRect(px(twips.x()), px(twips.y()), px(372), px(324)));
    QCOMPARE(cell->font().family(), QStringLiteral("MS Sans Serif"));
    QVERIFY(cell->font().bold());
    QCOMPARE(cell->font().pointSize(), 12);

    h.random.replay(picksFor({number}));
    h.clock.onPump = [&](FakeClock::Point) { h.stopQuietly(); };
    h.click("cmd_estrai");
    QCOMPARE(cell->text(), QString::number(number));
    QCOMPARE(Form1::backColor(cell), QColor(192, 255, 255));
}

void TestLayout::claimBoxesFollowTheirPrizes()
{
    Harness h(1, false);
    const int firstBox[4] = {0, 2, 5, 9};
    const int boxes[4] = {2, 3, 4, 5};
    const int rowTop[4] = {360, 840, 1320, 1800};
    for (int p = 0; p < 4; ++p) {
        for (int k = 0; k < boxes[p]; ++k) {
            QLineEdit *box = h.control<QLineEdit>(QStringLiteral("Text1_%1").arg(firstBox[p] + k));
            QCOMPARE(box, h.form->Text1[firstBox[p] + k]);
            QCOMPARE(box->parentWidget()->objectName(), QStringLiteral("fra_controlli"));
            QCOMPARE(box->geometry(), QRect(px(1320 + 600 * k), px(rowTop[p]), px(492), px(372)));
            QCOMPARE(box->maxLength(), 2);
        }
    }
    QCOMPARE(Form1::backColor(h.form->Text1[0]), QColor(255, 255, 255));
}

void TestLayout::acceleratorsReachTheirButtons_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<QString>("button");
    QTest::newRow("Alt+E") << 'E' << "cmd_estrai";
    QTest::newRow("Alt+N") << 'N' << "cmd_nuovo";
    QTest::newRow("Alt+P") << 'P' << "cmd_sospendi";
    QTest::newRow("Alt+V") << 'V' << "cmd_verifica";
    QTest::newRow("Alt+U") << 'U' << "cmd_ripeti";
    QTest::newRow("Alt+A") << 'A' << "cmd_ambo_0";
    QTest::newRow("Alt+T") << 'T' << "cmd_ambo_1";
    QTest::newRow("Alt+Q") << 'Q' << "cmd_ambo_2";
    QTest::newRow("Alt+C") << 'C' << "cmd_ambo_3";
    QTest::newRow("Alt+S") << 'S' << "fullSeriesBox";
    QTest::newRow("Alt+M") << 'M' << "smorfiaBox";
    QTest::newRow("Alt+D") << 'D' << "sayMeaningBox";
    QTest::newRow("Alt+Z") << 'Z' << "chk_panariello";
    QTest::newRow("Alt+O") << 'O' << "cmd_togli";
    QTest::newRow("Alt+F") << 'F' << "cmd_conferma";
    QTest::newRow("Alt+G") << 'G' << "cmd_ignora";
}

void TestLayout::acceleratorsReachTheirButtons()
{
    QFETCH(char, letter);
    QFETCH(QString, button);
    Harness h;
    auto *b = h.control<QAbstractButton>(button);
    // Every button enabled and visible, so only the accelerator decides which one is pressed.
    h.control("fra_controlli")->show();
    b->show();
    b->setEnabled(true);
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    int clicks = 0;
    QObject::connect(b, &QAbstractButton::clicked, [&] { ++clicks; });
    h.clock.onPump = [&](FakeClock::Point) { h.stopQuietly(); };
    QTest::keyClick(h.form, Qt::Key(Qt::Key_A + (letter - 'A')), Qt::AltModifier);
    // At once, not after an animated press: keys typed next come after the click.
    QCOMPARE(clicks, 1);
}

void TestLayout::cardPanelControlsFitAndOverlapNone()
{
    Harness h(1, false);
    QWidget *panel = h.control("fra_cartelle");
    const QList<QWidget *> controls = panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 5);
    for (QWidget *w : controls) {
        QVERIFY2(panel->rect().contains(w->geometry()), qPrintable(w->objectName()));
        for (QWidget *other : controls) {
            if (other != w && w->geometry().intersects(other->geometry()))
                QFAIL(qPrintable(w->objectName() + " overlaps " + other->objectName()));
        }
    }
}

void TestLayout::basketControlsFitAndOverlapNone()
{
    // Added in the room right of the big number: no control of the window may move or be covered.
    Harness h(1, false);
    const QList<QWidget *> controls = h.form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (const char *name : {"chk_panariello", "txt_panariello", "cmd_togli"}) {
        QWidget *w = h.control(QLatin1String(name));
        QVERIFY2(h.form->rect().contains(w->geometry()), name);
        QVERIFY2(w->sizeHint().width() <= w->width() || qobject_cast<QLineEdit *>(w),
                 qPrintable(QStringLiteral("%1 %2 %3").arg(name).arg(w->sizeHint().width()).arg(w->width())));
        for (QWidget *other : controls)
            if (other != w && w->geometry().intersects(other->geometry()))
                QFAIL(qPrintable(w->objectName() + " overlaps " + other->objectName()));
    }
}

void TestLayout::tabOrderStartsWithTheGameButtons()
{
    Harness h(1, false);
    QCOMPARE(h.form->cmd_estrai->nextInFocusChain(), h.control("cmd_sospendi"));
    QCOMPARE(h.control("cmd_sospendi")->nextInFocusChain(), h.control("cmd_nuovo"));
    QCOMPARE(h.control("cmd_nuovo")->nextInFocusChain(), h.control("HScroll1"));
}

void TestLayout::bigNumberAndWordsFaces()
{
    Harness h(1, false);
    const QFont big = h.control("Label1")->font();
    QCOMPARE(big.family(), QStringLiteral("Arial Narrow"));
    QCOMPARE(big.pointSize(), 72);
    QVERIFY(big.bold());
    QCOMPARE(h.control<QLabel>("Label1")->frameShape(), QFrame::Box);
    QCOMPARE(h.control("Label6")->font().pointSize(), 36);
    QCOMPARE(h.control<QScrollBar>("HScroll1")->value(), 100); // until start-up sets it
}

void TestLayout::textsFitTheirLabels()
{
    // Liberation Sans is wider than the face the layout was drawn for: the speed caption must still
    // end with "Piu Lenta", and the longest words in capitals must not lose their ends.
    Harness h;
    auto fits = [](QLabel *l) {
        return QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->contentsRect().width();
    };
    auto *speed = h.control<QLabel>("Label3");
    QVERIFY2(fits(speed), qPrintable(QString::number(speed->font().pointSize())));
    auto *words = h.control<QLabel>("Label6");
    for (int n : {54, 44, 64, 74, 77, 1}) {
        h.random.replay(picksFor({n}, h.pool()));
        h.clock.onPump = [&](FakeClock::Point) { h.stopQuietly(); };
        h.click(h.form->cmd_estrai->isEnabled() ? "cmd_estrai" : "cmd_sospendi");
        h.clock.onPump = nullptr;
        QCOMPARE(h.text("Label1"), QString::number(n));
        QVERIFY2(fits(words),
                 qPrintable(words->text() + QStringLiteral(" at %1 pt").arg(words->font().pointSize())));
        // And no smaller than it need be: sizes go down from 36 in steps of two.
        QCOMPARE(words->font().pointSize() % 2, 0);
        QFont larger = words->font();
        larger.setPointSize(larger.pointSize() + 2);
        QVERIFY2(words->font().pointSize() == 36 ||
                     QFontMetrics(larger).horizontalAdvance(words->text()) >
                         words->contentsRect().width() - 2 * words->margin() - 4,
                 qPrintable(words->text() + QStringLiteral(" at %1 pt").arg(words->font().pointSize())));
    }
    // A short word keeps the full size.
    QCOMPARE(words->text(), QStringLiteral("UNO"));
    QCOMPARE(words->font().pointSize(), 36);
}

void TestLayout::everyTextFitsItsControlAtItsLongest()
{
    // A verdict, a count or a title cut at the edge of its control misleads: every text is shown
    // whole at its longest, after the 90th number, with each verdict of the claim panel, after a
    // run of a thousand cards and more, and in the card check of a full series after 90 numbers.
    // Measured in the faces the program asks for, as it runs.
    installFaceSubstitutes();
    Harness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    h.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.form));
    QStringList cut = cutTexts(h.form);
    h.click("cmd_estrai");
    QCOMPARE(h.text("Label1"), QStringLiteral("Fine"));
    cut += cutTexts(h.form);
    h.click("cmd_verifica");
    QStringList verdicts{QStringLiteral("PRIMA UN'ALTRA")};
    for (const Prize p : ladderOrder) {
        verdicts << validVerdict(p);
        verdicts << QStringLiteral("GIÀ ") + agreeing(p, QStringLiteral("vinto")).toUpper();
    }
    for (const QString &v : std::as_const(verdicts)) {
        h.form->setCaption(Control::lbl_esito, v);
        h.form->setVisible(Control::lbl_esito, true);
        cut += cutTexts(h.control("fra_controlli"));
    }
    const auto notice =
        h.caller->printRun.printMany(PrintRun::kMostCards, false, false, CardDealer::FullSeries,
                                     h.game().printRecord(), {}, [](int) { return true; });
    QVERIFY(!notice);
    QTRY_VERIFY(h.control("lbl_stampa")->isVisible());
    QVERIFY(h.text("lbl_stampa").contains(QStringLiteral("1200 cartelle")));
    cut += cutTexts(h.form);

    QList<int> drawn;
    for (int n = 90; n >= 1; --n)
        drawn << n;
    CardCheckDialog check(drawn, h.sound, nullptr, h.form);
    check.show();
    QVERIFY(QTest::qWaitForWindowExposed(&check));
    check.findChild<QLineEdit *>(QStringLiteral("txt_codice"))
        ->setText(formatCardCode(CardCode{seriesCount - 1, 4, CardDealer::FullSeries}));
    check.check();
    QApplication::processEvents();
    QVERIFY(check.findChild<QLabel *>(QStringLiteral("lbl_cartella"))->text().contains(QStringLiteral("90")));
    cut += cutTexts(&check);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("\n"))));
}

void TestLayout::writingModesStandOnLightCyan()
{
    Harness h;
    h.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.form));
    for (const char *name : {"Opt_escludi", "Opt_maiuscolo", "Opt_minuscolo", "Opt_script"}) {
        QWidget *option = h.control(QLatin1String(name));
        const QImage image = option->grab().toImage();
        // The right end of the option, beyond its caption: background only.
        const QColor at = image.pixelColor(image.width() - 3, image.height() / 2);
        QCOMPARE(at, QColor(192, 255, 255));
    }
}

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
