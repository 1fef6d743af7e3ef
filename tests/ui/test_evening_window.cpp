// The evening in the caller's window: cards printed whenever the draw is stopped, with a progress
// bar and a stop; the mark of an evening not kept; the evening closed from the prizes' list and its
// verbale laid out as a PDF that holds the evening.

#include "cards/pdf_text.h"
#include "claims/card_check.h"
#include "evening/evening_record.h"
#include "fakes/card_rows.h"
#include "fakes/recording_canvas.h"
#include "form_harness.h"
#include "phones/phone_relay.h"
#include "ui/audience_controller.h"
#include "ui/audience_screen.h"
#include "ui/cards_dialog.h"
#include "ui/committee_dialogs.h"
#include "ui/evening_ui.h"
#include "ui/prize_panel.h"
#include "ui/prize_plan_dialog.h"
#include "ui/verbale_dialog.h"

#include <QCheckBox>
#include <QDoubleSpinBox>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

namespace
{
// The words of a PDF as one text, or why it could not be read.
QString pdfWords(const QByteArray &pdf, const QString &folder)
{
    QFile file(folder + QStringLiteral("/read.pdf"));
    if (!file.open(QIODevice::WriteOnly)) return QStringLiteral("(cannot write)");
    file.write(pdf);
    file.close();
    const PdfText text = readPdfText(file.fileName());
    if (!text.error.isEmpty()) return text.error;
    QStringList words;
    for (const PdfWord &w : text.words)
        words << w.text;
    return words.join(QLatin1Char(' '));
}

// Runs `act` on the dialog of type D once it is up, inside the loop that shows it.
template <typename D> void whenUp(const std::function<void(D &)> &act)
{
    QTimer::singleShot(0, [act] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<D *>(w); d && d->isVisible()) return act(*d);
        qFatal("the dialog did not come up");
    });
}
} // namespace

class TestEveningWindow : public QObject
{
    Q_OBJECT

private slots:
    void cardsAtAnyTimeWhileTheDrawIsStopped();
    void anEveningNotKeptShowsItsMark();
    void theEveningClosesAndItsVerbaleHoldsIt();
    void aPrizePlanShowsWhatEachPrizeIsWorth();
    void aResumedEveningComesBackAsTheCallerSetItUp();
    void aSecondEnterPrintsNoSecondRun();
    void theCommitteeVoidsCardsAndSignsForThePrizes();
};

void TestEveningWindow::cardsAtAnyTimeWhileTheDrawIsStopped()
{
    Harness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    h.drawAndPause({10, 20, 30});
    // In a pause, with the card panel long gone: 30 cards, then a big run stopped after its first.
    QVERIFY(!h.control("fra_cartelle")->isVisible());
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    whenUp<CardsDialog>([](CardsDialog &d) {
        d.countBox()->setValue(30);
        d.print(false);
        QVERIFY(d.resultLabel()->text().startsWith(QStringLiteral("Stampate 30 cartelle, serie ")));
        d.countBox()->setValue(PrintRun::kMostCards);
        QTimer::singleShot(0, &d, &CardsDialog::stop);
        d.print(false);
        d.close();
    });
    QList<bool> stopped;
    QObject::connect(&h.caller->printRun, &PrintRun::runPrinted,
                     [&](const PrintedRun &run) { stopped << run.stopped; });
    QTest::keyClick(h.form, Qt::Key_F7);
    // The stop came at the first card of the second run: that one is printed and plays.
    const CardsInPlay &inPlay = h.caller->printRun.cardsInPlay();
    QCOMPARE(inPlay.size(), 31);
    QCOMPARE(inPlay.at(30).number, 31);
    QCOMPARE(stopped, QList<bool>({false, true}));
    // The game is as it was; the window says what was printed, without a box.
    QCOMPARE(h.drawn(), QStringList({"10", "20", "30"}));
    QCOMPARE(h.dialogs.shown.size(), 0);
    QTRY_VERIFY(h.control<QLabel>("lbl_stampa")->isVisible());
    QTRY_COMPARE(h.text("lbl_stampa"),
                 QStringLiteral("Stampata 1 cartella, serie ") + formatCardCode(inPlay.at(30).code).left(5));

    // During a draw it is refused, with a word of why.
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    bool tried = false;
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p != FakeClock::Point::Wait || tried) return;
        tried = true;
        QTest::keyClick(h.form, Qt::Key_F7);
        h.stopQuietly();
    };
    h.click("cmd_sospendi");
    h.clock.onPump = nullptr;
    QVERIFY(tried);
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text, QStringLiteral("Per stampare le cartelle PRIMA premere Pausa"));
}

void TestEveningWindow::anEveningNotKeptShowsItsMark()
{
    Harness h;
    EveningStore store;
    QString notice;
    store.open(QStringLiteral("/dev/null/tombola/serate.sqlite"), &notice);
    EveningRecord record(store, h.game(), h.caller->printRun, h.caller->prizes);
    installEvening(*h.caller, record, h.printer);
    startEvening(*h.caller, record, notice);
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.dialogs.shown[0].text, notice);
    auto *mark = h.control<QLabel>("lbl_serata");
    QVERIFY(mark->isVisibleTo(h.form));
    QVERIFY(mark->toolTip().contains(QStringLiteral("/dev/null/tombola")));
    // The evening goes on in memory.
    h.drawAndPause({1, 2});
    QCOMPARE(record.evening().games.first().drawn(), QList<int>({1, 2}));
}

void TestEveningWindow::theEveningClosesAndItsVerbaleHoldsIt()
{
    Harness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    QTemporaryDir dir;
    EveningStore store;
    QString notice;
    store.open(dir.filePath(QStringLiteral("serate.sqlite")), &notice);
    EveningRecord record(store, h.game(), h.caller->printRun, h.caller->prizes);
    installEvening(*h.caller, record, h.printer);
    startEvening(*h.caller, record, notice);
    QVERIFY(!h.control<QLabel>("lbl_serata")->isVisibleTo(h.form));
    h.caller->printRun.printMany(6, false, false, CardDealer::Classic, h.game().printRecord(), {}, {});
    const CardCode first = h.caller->printRun.cardsInPlay().at(0).code;
    const Cartella card = h.caller->printRun.cardsInPlay().at(0).card;
    QList<int> row;
    for (int c = 1; c <= 9; ++c)
        if (const int n = valore(card.cella(1, c))) row << n;
    h.drawAndPause(row.mid(0, 2));
    h.click("cmd_conferma");

    // Closed from the list of the evening: asked first, then the verbale is offered (No here).
    int answers = 0;
    h.dialogs.answer = [&](const QString &) { return ++answers == 1; };
    h.caller->prizePanel.openList();
    QTRY_VERIFY(h.caller->prizePanel.listDialog());
    h.caller->prizePanel.listDialog()->findChild<QPushButton *>(QStringLiteral("cmd_chiudi_serata"))->click();
    QCOMPARE(h.dialogs.asked.size(), 2);
    QCOMPARE(h.caller->printRun.cardsInPlay().size(), 0);
    QCOMPARE(h.caller->prizes.gameNumber(), 1);
    QVERIFY(h.caller->prizes.ladder().wins().isEmpty());
    QCOMPARE(store.evenings().size(), 2);
    QVERIFY(store.evenings().last().ended.isValid());

    // The verbale of the evening closed: a PDF with its cards, its numbers and its prize.
    VerbaleDialog verbale(
        record, h.printer, [](const QString &name) { return name; }, h.form);
    QCOMPARE(verbale.evenings()->count(), 2);
    verbale.evenings()->setCurrentRow(1);
    verbale.save();
    QCOMPARE(h.printer.documents.size(), 1);
    QVERIFY(h.printer.documents[0].first.startsWith(QStringLiteral("verbale-tombola-")));
    QVERIFY(h.printer.documents[0].second.startsWith("%PDF"));
    if (!havePdftotext()) QSKIP("pdftotext is missing: run scripts/deps.sh test");
    QFile file(dir.filePath(QStringLiteral("verbale.pdf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(h.printer.documents[0].second);
    file.close();
    const PdfText text = readPdfText(file.fileName());
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    QStringList words;
    for (const PdfWord &w : text.words)
        words << w.text;
    const QString all = words.join(QLatin1Char(' '));
    for (const QString &expected :
         {QStringLiteral("Verbale della tombola"), QStringLiteral("Luogo:"), QStringLiteral("Tombola n. 1"),
          formatCardCode(first), QStringLiteral("AMBO"), QStringLiteral("funzionario presente")})
        QVERIFY2(all.contains(expected),
                 qPrintable(expected + QStringLiteral(" missing from: ") + all.left(400)));
}

void TestEveningWindow::aPrizePlanShowsWhatEachPrizeIsWorth()
{
    // 12 cards at 1,50 € with the usual split and a tombolino: 18,00 € of takings, 10 % to the
    // organiser, 16,20 € for the prizes, the ambo's 10 % of it shared by its winners.
    Harness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    AudienceController room(*h.form, h.game());
    showPrizesOnAudienceScreen(h.caller->prizes, room);
    h.caller->printRun.printMany(12, false, false, CardDealer::Classic, h.game().printRecord(), {}, {});
    h.caller->prizePanel.openList();
    QTRY_VERIFY(h.caller->prizePanel.listDialog());
    whenUp<PrizePlanDialog>([](PrizePlanDialog &d) {
        d.findChild<QDoubleSpinBox *>(QStringLiteral("spn_prezzo"))->setValue(1.5);
        d.findChild<QSpinBox *>(QStringLiteral("spn_organizzatore"))->setValue(10);
        d.findChild<QCheckBox *>(QStringLiteral("chk_tombolino"))->setChecked(true);
        // A share for the tombolino makes 110 %: the plan cannot be taken until the tombola gives it up.
        d.findChild<QSpinBox *>(QStringLiteral("spn_quota_tombolino"))->setValue(10);
        QVERIFY(!d.okButton()->isEnabled());
        d.findChild<QSpinBox *>(QStringLiteral("spn_quota_tombola"))->setValue(20);
        QVERIFY(d.okButton()->isEnabled());
        QVERIFY(d.summary()->text().contains(QStringLiteral("montepremi 16,20 €")));
        d.okButton()->click();
    });
    h.caller->prizePanel.listDialog()->findChild<QPushButton *>(QStringLiteral("cmd_montepremi"))->click();
    QVERIFY(h.caller->prizes.plan().tombolino);
    QCOMPARE(h.caller->prizes.prizeValue(Prize::Ambo), qint64(162));
    QCOMPARE(h.caller->prizes.prizeValue(Prize::Tombola), qint64(324));
    h.caller->prizePanel.listDialog()->close();

    // The first number: the line says what the ambo is worth, here and in the room.
    const Cartella card = h.caller->printRun.cardsInPlay().at(0).card;
    QList<int> row;
    for (int c = 1; c <= 9; ++c)
        if (const int n = valore(card.cella(1, c))) row << n;
    h.drawAndPause(row.mid(0, 1));
    QCOMPARE(h.caller->prizePanel.playingLabel()->text(), QStringLiteral("Si gioca per l'AMBO: 1,62 €"));
    room.open();
    QCOMPARE(room.screen()->prizeLadder().first(), QStringLiteral("Si gioca per l'AMBO: 1,62 €"));
    h.drawAndPause(row.mid(1, 1));
    const int winners = int(h.caller->prizes.sighting()->codes.size());
    h.click("cmd_conferma");
    const QList<qint64> parts = split(162, winners);
    QVERIFY(room.screen()->banner().endsWith(winners == 1 ? QStringLiteral(": 1,62 €")
                                                          : euro(parts.last()) + QStringLiteral(" a testa")));
    QVERIFY(h.caller->prizes.winLines().first().contains(euro(parts.first())));
}

void TestEveningWindow::theCommitteeVoidsCardsAndSignsForThePrizes()
{
    // From the list of the evening: unsold cards declared void before the first number (refused
    // after it), a prize marked handed over to a name, the form "Consegna dei premi" with a line
    // per prize to sign, and the verbale's first page with the place, organiser and official.
    Harness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    QTemporaryDir dir;
    EveningStore store;
    QString notice;
    store.open(dir.filePath(QStringLiteral("serate.sqlite")), &notice);
    EveningRecord record(store, h.game(), h.caller->printRun, h.caller->prizes);
    installEvening(*h.caller, record, h.printer);
    startEvening(*h.caller, record, notice);
    PrizePlan plan;
    plan.cardPrice = 250;
    h.caller->prizes.setPlan(plan);
    h.caller->printRun.printMany(6, false, false, CardDealer::Classic, h.game().printRecord(), {}, {});
    const CardsInPlay &inPlay = h.caller->printRun.cardsInPlay();
    const CardCode voided = inPlay.at(5).code;
    const CardCode winner = inPlay.at(0).code;

    h.caller->prizePanel.openList();
    QTRY_VERIFY(h.caller->prizePanel.listDialog());
    QString said;
    whenUp<VoidCardsDialog>([&said](VoidCardsDialog &d) {
        d.cardsEdit()->setText(QStringLiteral("da 5 a 6"));
        d.voidButton()->click();
        said = d.resultLabel()->text();
        d.close();
    });
    h.caller->prizePanel.listDialog()->findChild<QPushButton *>(QStringLiteral("cmd_invendute"))->click();
    QCOMPARE(said, QStringLiteral("2 cartelle annullate."));
    QCOMPARE(inPlay.size(), 4);
    QCOMPARE(h.caller->prizes.payout().takings, 4 * 250);
    CardCheckResult check;
    QVERIFY(checkCard(formatCardCode(voided), {}, &inPlay, &h.caller->prizes, &check, nullptr));
    QVERIFY2(check.notice.contains(QStringLiteral("annullata")), qPrintable(check.notice));

    h.caller->prizePanel.listDialog()->close();
    const Cartella card = inPlay.at(0).card;
    h.drawAndPause(cardRow(card, 1).mid(0, 2));
    QCOMPARE(h.drawn().size(), 2);
    h.click("cmd_conferma");
    QCOMPARE(h.caller->prizes.ladder().wins().size(), 1);
    VoidCardsDialog late(record, h.game(), h.form);
    QVERIFY(!late.voidButton()->isEnabled());

    QList<QPair<QString, QByteArray>> &saved = h.printer.documents;
    DeliveriesDialog deliveries(
        record, h.printer, [](const QString &name) { return name; }, h.form);
    QCOMPARE(deliveries.table()->rowCount(), 1);
    QCOMPARE(deliveries.table()->item(0, 2)->text(), formatCardCode(winner));
    deliveries.table()->selectRow(0);
    deliveries.recipientEdit()->setText(QStringLiteral("Maria Rossi"));
    deliveries.deliverChosen();
    QCOMPARE(record.evening().deliveries.size(), 1);
    QCOMPARE(record.evening().deliveries[0].to, QStringLiteral("Maria Rossi"));
    QCOMPARE(deliveries.table()->item(0, 4)->text(), QStringLiteral("Maria Rossi"));
    QCOMPARE(store.load(record.evening().id, nullptr)->deliveries, record.evening().deliveries);
    deliveries.saveForm();
    QCOMPARE(saved.size(), 1);
    QVERIFY(saved[0].first.startsWith(QStringLiteral("consegna-premi-")));

    VerbaleDialog verbale(
        record, h.printer, [](const QString &name) { return name; }, h.form);
    verbale.findChild<QLineEdit *>(QStringLiteral("txt_luogo"))->setText(QStringLiteral("Sala Aurora"));
    verbale.findChild<QLineEdit *>(QStringLiteral("txt_organizzatore"))->setText(QStringLiteral("Pro Loco"));
    verbale.findChild<QLineEdit *>(QStringLiteral("txt_delegato"))->setText(QStringLiteral("Dott. Bianchi"));
    verbale.save();
    QCOMPARE(saved.size(), 2);
    if (!havePdftotext()) QSKIP("pdftotext is missing: run scripts/deps.sh test");
    const QString form = pdfWords(saved[0].second, dir.path());
    const QString amount = euro(h.caller->prizes.payout().prize[std::size_t(Prize::Ambo)]);
    for (const QString &expected :
         {QStringLiteral("Consegna dei premi"), QStringLiteral("AMBO"), formatCardCode(winner), amount,
          QStringLiteral("Maria Rossi"), QStringLiteral("Firma")})
        QVERIFY2(form.contains(expected), qPrintable(expected + QStringLiteral(" missing from: ") + form));
    const QString minutes = pdfWords(saved[1].second, dir.path());
    for (const QString &expected :
         {QStringLiteral("Luogo: Sala Aurora"), QStringLiteral("Organizzatore: Pro Loco"),
          QStringLiteral("Dott. Bianchi"), QStringLiteral("Registro delle cartelle"),
          QStringLiteral("Cartelle invendute annullate"), formatCardCode(voided),
          QStringLiteral("Maria Rossi")})
        QVERIFY2(minutes.contains(expected),
                 qPrintable(expected + QStringLiteral(" missing from: ") + minutes.left(1500)));
}

QTEST_MAIN(TestEveningWindow)
#include "test_evening_window.moc"

void TestEveningWindow::aResumedEveningComesBackAsTheCallerSetItUp()
{
    // Killed and resumed, the program came back with the phones' server off and a new token (every
    // phone lost for good), the pace at 3 s and the room's screen closed; the question counted the
    // cards printed during the game as playing it and did not name the winner waiting.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("serate.sqlite"));
    QByteArray token;
    quint16 port = 0;
    {
        Harness h;
        h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
        EveningStore store;
        QString notice;
        store.open(file, &notice);
        EveningRecord record(store, h.game(), h.caller->printRun, h.caller->prizes);
        AudienceController audience(*h.form, h.game());
        PhoneRelay phones(h.game(), h.caller->prizes, h.caller->printRun, record);
        installEvening(*h.caller, record, h.printer);
        keepSetup(*h.caller, record, audience, phones);
        startEvening(*h.caller, record, notice);
        h.caller->printRun.printMany(12, false, false, CardDealer::FullSeries, h.game().printRecord(), {},
                                     {});
        const Cartella card = h.caller->printRun.cardsInPlay().at(0).card;
        QList<int> row;
        for (int c = 1; c <= 9; ++c)
            if (const int n = valore(card.cella(1, c))) row << n;
        QVERIFY(phones.switchOn());
        phones.setCardsPerPhone(3);
        token = phones.token();
        port = phones.port();
        h.form->HScroll1->setValue(400);
        audience.open();
        QTRY_COMPARE(record.evening().setup.audienceOpen, true);
        // A winner waits, and 6 cards printed during the game play from the next.
        h.drawAndPause(row.mid(0, 2));
        QVERIFY(h.caller->prizes.sighting());
        h.caller->printRun.printMany(6, false, false, CardDealer::FullSeries, h.game().printRecord(), {}, {});
    }
    Harness h;
    EveningStore store;
    QString notice;
    store.open(file, &notice);
    EveningRecord record(store, h.game(), h.caller->printRun, h.caller->prizes);
    AudienceController audience(*h.form, h.game());
    PhoneRelay phones(h.game(), h.caller->prizes, h.caller->printRun, record);
    QVERIFY(phones.token() != token);
    installEvening(*h.caller, record, h.printer);
    keepSetup(*h.caller, record, audience, phones);
    QString asked;
    h.dialogs.answer = [&](const QString &text) {
        asked = text;
        // Nothing of the window takes input while it is asked.
        return !h.form->isEnabled();
    };
    startEvening(*h.caller, record, notice);
    QVERIFY2(asked.contains(QStringLiteral("12 cartelle in gioco (altre 6 giocano dalla prossima tombola)")),
             qPrintable(asked));
    QVERIFY2(asked.contains(QStringLiteral("Vincita da verificare: AMBO alla 2ª estrazione: cartella ")),
             qPrintable(asked));
    QVERIFY(h.form->isEnabled());
    QCOMPARE(h.game().drawnNumbers().size(), 2);
    QCOMPARE(phones.token(), token);
    QVERIFY(phones.isOn());
    QCOMPARE(phones.port(), port);
    QCOMPARE(phones.cardsPerPhone(), 3);
    QCOMPARE(h.form->HScroll1->value(), 400);
    QVERIFY(audience.isOpen());
}

void TestEveningWindow::aSecondEnterPrintsNoSecondRun()
{
    // After a run the print button stayed the default: a second Enter printed the run again (12
    // cards instead of 6), and the header still named the first run's next number.
    Harness h;
    h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    QString header;
    whenUp<CardsDialog>([&header](CardsDialog &d) {
        QLineEdit *typed = d.countBox()->findChild<QLineEdit *>();
        d.countBox()->setFocus();
        typed->selectAll();
        QTest::keyClicks(typed, QStringLiteral("6"));
        QTest::keyClick(typed, Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        for (QLabel *l : d.findChildren<QLabel *>())
            if (l->text().contains(QStringLiteral("prossima"))) header = l->text();
        // A count typed again prints again.
        typed->selectAll();
        QTest::keyClicks(typed, QStringLiteral("3"));
        QTest::keyClick(typed, Qt::Key_Return);
        d.close();
    });
    QTest::keyClick(h.form, Qt::Key_F7);
    QCOMPARE(h.caller->printRun.cardsInPlay().size(), 9);
    QVERIFY2(header.contains(QStringLiteral("prossima: 7")), qPrintable(header));
}
