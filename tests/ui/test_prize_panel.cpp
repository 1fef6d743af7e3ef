// The ladder of prizes in the caller's window: its place once the card panel has gone, the line of
// a watched winner with its two buttons, the list of the evening (F6), the card check and the
// room's screen told of the prizes.
//
// TOMBOLA_SHOTS=DIR also saves pictures of the window and of the list there, to look at.

#include "claims/draw_words.h"
#include "fakes/card_rows.h"
#include "form_harness.h"
#include "game/draw_seal.h"
#include "ui/audience_controller.h"
#include "ui/audience_screen.h"
#include "ui/card_check_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace
{

// The window on screen with the keyboard, as for a caller at the keys (accelerators, F6).
bool showActive(Harness &h)
{
    h.form->show();
    h.form->activateWindow();
    return QTest::qWaitForWindowActive(h.form);
}

void shoot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("TOMBOLA_SHOTS");
    if (!dir.isEmpty()) w->grab().save(dir + QLatin1Char('/') + name);
}

// The panel's widgets, which must stand clear of every control of the window.
QList<QWidget *> panelWidgets(PrizePanel &p)
{
    return {p.playingLabel(),  p.listButton(),   p.sightingLabel(),
            p.confirmButton(), p.ignoreButton(), p.winsLabel()};
}

} // namespace

class TestPrizePanel : public QObject
{
    Q_OBJECT

private slots:
    void theLadderTakesTheCardPanelsPlaceAndCoversNothing();
    void aWatchedWinnerIsConfirmedOrIgnoredFromTheWindow();
    void theListOfTheEveningOpensWithF6();
    void aCardOfTonightCheckedByItsCodeMovesTheLadder();
    void theRoomSeesTheLadderAndTheConfirmedWinners();
    void theRoomSeesTheSealBeforeTheFirstNumber();
};

void TestPrizePanel::theLadderTakesTheCardPanelsPlaceAndCoversNothing()
{
    Harness h;
    PrizePanel &panel = h.caller->prizePanel;
    h.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.form));
    for (QWidget *w : panelWidgets(panel))
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));

    h.drawAndPause({7});
    QVERIFY(!h.form->fra_cartelle->isVisible());
    QVERIFY(panel.playingLabel()->isVisible());
    QCOMPARE(panel.playingLabel()->text(), QStringLiteral("Si gioca per: AMBO"));
    QVERIFY(panel.listButton()->isVisible());
    QVERIFY(panel.winsLabel()->isVisible());
    QVERIFY(panel.winsLabel()->text().contains(QLatin1String("nessuno")));
    QVERIFY(!panel.sightingLabel()->isVisible());

    // Clear of every control of the window, the contact line included, and inside the window.
    const QList<QWidget *> ours = panelWidgets(panel);
    for (QWidget *w : ours) {
        QVERIFY2(h.form->rect().contains(w->geometry()), qPrintable(w->objectName()));
        for (QWidget *other : h.form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            // Hidden controls count too (they show in some moments), but not the card panel, gone for good.
            if (ours.contains(other) || other->isWindow() || other == h.form->fra_cartelle) continue;
            QVERIFY2(!w->geometry().intersects(other->geometry()),
                     qPrintable(w->objectName() + QLatin1String(" over ") + other->objectName()));
        }
    }

    // The longest texts fit: the prize in play and the line of a winner with three codes.
    QLabel *playing = panel.playingLabel();
    for (const QString &text :
         {QStringLiteral("Si gioca per: QUATERNO"), QStringLiteral("Si gioca per: CINQUINA"),
          QStringLiteral("Premi tutti vinti")})
        QVERIFY2(QFontMetrics(playing->font()).horizontalAdvance(text) <= playing->contentsRect().width(),
                 qPrintable(text));
    QLabel *seen = panel.sightingLabel();
    const QString code = QStringLiteral("WWWWW\u2011F\u00a0W");
    seen->setText(QStringLiteral("Vincita: QUATERNO alla 88ª estrazione\ncartelle ") + code + ", " + code +
                  QStringLiteral(" e altre 28"));
    QVERIFY(seen->heightForWidth(seen->width()) > 0);
    QVERIFY2(seen->heightForWidth(seen->width()) <= seen->height() + 2,
             qPrintable(QString::number(seen->heightForWidth(seen->width()))));
}

void TestPrizePanel::aWatchedWinnerIsConfirmedOrIgnoredFromTheWindow()
{
    Harness h;
    PrizePanel &panel = h.caller->prizePanel;
    const CardCode code{24680, 2, CardDealer::Classic};
    const Cartella card = printedCard(h.caller->printRun, code);
    QVERIFY(showActive(h));
    const QList<int> r2 = cardRow(card, 2);
    h.drawAndPause({offCard(card), r2[0]});
    h.sound.played.clear();
    h.drawAndPause({r2[1]});

    QVERIFY(panel.sightingLabel()->isVisible());
    QCOMPARE(panel.sightingLabel()
                 ->text()
                 .replace(QChar(0xA0), QLatin1Char(' '))
                 .replace(QChar(0x2011), QLatin1Char('-')),
             QStringLiteral("Vincita: AMBO alla 3ª estrazione\ncartella ") + formatCardCode(code));
    QVERIFY(panel.confirmButton()->isVisible());
    QVERIFY(panel.ignoreButton()->isVisible());
    QVERIFY(!h.sound.played.contains(QStringLiteral("applausi")));
    QVERIFY(!h.sound.played.contains(QStringLiteral("ambo")));
    shoot(h.form, QStringLiteral("window-winner.png"));

    // Alt+F is "Conferma".
    QTest::keyClick(h.form, Qt::Key_F, Qt::AltModifier);
    QTRY_COMPARE(h.caller->prizes.ladder().playingFor(), Prize::Terno);
    QCOMPARE(panel.playingLabel()->text(), QStringLiteral("Si gioca per: TERNO"));
    QVERIFY(panel.winsLabel()->text().contains(QStringLiteral("AMBO alla 3ª")));
    QVERIFY(panel.winsLabel()->text().contains(QLatin1String("confermata")));
    QVERIFY(!panel.sightingLabel()->isVisible());
    QVERIFY(!panel.confirmButton()->isVisible());

    h.drawAndPause({r2[2]});
    QVERIFY(panel.sightingLabel()->text().contains(QStringLiteral("TERNO alla 4ª")));
    h.click(QStringLiteral("cmd_ignora"));
    QVERIFY(!panel.sightingLabel()->isVisible());
    QCOMPARE(h.caller->prizes.ladder().playingFor(), Prize::Terno);
    shoot(h.form, QStringLiteral("window-ladder.png"));
    QVERIFY(h.invariantFault().isEmpty());
}

void TestPrizePanel::theListOfTheEveningOpensWithF6()
{
    Harness h;
    PrizePanel &panel = h.caller->prizePanel;
    const CardCode code{13579, 6, CardDealer::FullSeries};
    const Cartella card = printedCard(h.caller->printRun, code);
    QVERIFY(showActive(h));
    h.drawAndPause(cardRow(card, 1).mid(0, 2));
    h.click(QStringLiteral("cmd_conferma"));

    QTest::keyClick(h.form, Qt::Key_F6);
    PrizeListDialog *list = panel.listDialog();
    QVERIFY(list);
    QVERIFY(list->isVisible());
    QStringList lines;
    for (int k = 0; k < list->events()->count(); ++k)
        lines << list->events()->item(k)->text();
    QVERIFY2(lines.size() == 2, qPrintable(lines.join(QLatin1Char('|'))));
    QVERIFY2(lines[0].startsWith(QStringLiteral("tombola 1, 2ª estrazione: Vincita trovata: AMBO")),
             qPrintable(lines[0]));
    QVERIFY2(
        lines[1].contains(QStringLiteral("AMBO vinto alla 2ª estrazione: cartella ") + formatCardCode(code)),
        qPrintable(lines[1]));
    QVERIFY(lines[1].contains(QLatin1String("confermata")));
    shoot(list, QStringLiteral("prize-list.png"));

    // The option of announcing at once is the desk's, off until ticked.
    QVERIFY(!list->announceBox()->isChecked());
    list->announceBox()->click();
    QVERIFY(h.caller->prizes.announceAtOnce());
    // The list follows the evening while open; F6 again brings the same one up.
    h.game().newGame();
    QCOMPARE(list->events()->count(), 3);
    QTest::keyClick(h.form, Qt::Key_F6);
    QCOMPARE(panel.listDialog(), list);
    list->close();
    QTRY_VERIFY(!panel.listDialog());
}

void TestPrizePanel::aCardOfTonightCheckedByItsCodeMovesTheLadder()
{
    Harness h;
    const CardCode code{8642, 3, CardDealer::Classic};
    const Cartella card = printedCard(h.caller->printRun, code);
    h.drawAndPause(cardRow(card, 3).mid(0, 3));

    auto check = [&h, &code] {
        CardCheckDialog dialog(h.game().drawnNumbers(), h.sound, &h.caller->printRun.cardsInPlay(), h.form,
                               &h.caller->prizes);
        dialog.findChild<QLineEdit *>(QStringLiteral("txt_codice"))->setText(formatCardCode(code));
        h.sound.played.clear();
        dialog.check();
        return dialog.findChild<QLabel *>(QStringLiteral("lbl_vincita"))->text();
    };
    // Its terno, with the ambo under it, is the card's: the terno's fanfare.
    QCOMPARE(check(), QStringLiteral("Vince il TERNO alla 3ª estrazione."));
    QCOMPARE(h.sound.played, QStringList({"terno", "applausi"}));
    QCOMPARE(h.caller->prizes.ladder().wonAt(Prize::Ambo), 2);
    // Checked again: nothing more, and no sound.
    QCOMPARE(check(), QStringLiteral("Il TERNO è già assegnato a questa cartella."));
    QCOMPARE(h.sound.played, QStringList());
    QCOMPARE(h.caller->prizePanel.playingLabel()->text(), QStringLiteral("Si gioca per: QUATERNO"));

    // The rest of the card: the tombola, with the quaterno and cinquina still open under it.
    QList<int> rest;
    for (int r = 1; r <= 3; ++r)
        for (const int n : cardRow(card, r))
            if (!h.game().drawnNumbers().contains(n)) rest << n;
    h.drawAndPause(rest);
    const int last = int(h.game().drawnNumbers().size());
    QCOMPARE(check(), QStringLiteral("Vince la TOMBOLA alla %1ª estrazione.").arg(last));
    QCOMPARE(h.sound.played, QStringList({"tombola", "applausi"}));
    QCOMPARE(h.caller->prizes.ladder().playingFor(), Prize::None);
    QVERIFY(h.caller->prizes.ladder().wonAt(Prize::Cinquina) > 0);
    QCOMPARE(check(), QStringLiteral("La TOMBOLA è già assegnata a questa cartella."));
    QCOMPARE(h.sound.played, QStringList());
    QCOMPARE(h.caller->prizePanel.playingLabel()->text(), QStringLiteral("Premi tutti vinti"));
}

void TestPrizePanel::theRoomSeesTheLadderAndTheConfirmedWinners()
{
    Harness h;
    AudienceController room(*h.form, h.game());
    showPrizesOnAudienceScreen(h.caller->prizes, room);
    const CardCode code{97531, 1, CardDealer::Classic};
    const Cartella card = printedCard(h.caller->printRun, code);
    h.drawAndPause(cardRow(card, 1).mid(0, 2));
    h.click(QStringLiteral("cmd_conferma"));

    // Opened after the win: it still shows the ladder and the banner.
    room.open();
    QVERIFY(room.screen());
    const QString who = formatCardCode(code);
    QCOMPARE(room.screen()->banner(), QStringLiteral("AMBO! cartella ") + who);
    // The room's lines never break a card's code.
    QCOMPARE(room.screen()->prizeLadder(),
             QStringList({"Si gioca per: TERNO", "AMBO alla 2ª: " + unbroken(who)}));
    // Watched winners announced at once: the ladder moves without the caller.
    h.caller->prizes.setAnnounceAtOnce(true);
    h.drawAndPause({cardRow(card, 1)[2]});
    QCOMPARE(room.screen()->prizeLadder().first(), QStringLiteral("Si gioca per: QUATERNO"));
    QCOMPARE(room.screen()->banner(), QStringLiteral("TERNO! cartella ") + who);
    room.close();
}

void TestPrizePanel::theRoomSeesTheSealBeforeTheFirstNumber()
{
    // The seal is under the ladder on the room's screen when the first number is chosen, and goes
    // with the new game's reset: a seal never stands over a game it does not belong to.
    Harness h;
    const QByteArray secret(seal::kSecretBytes, char(0x33));
    h.game().setSecretSource([secret] { return secret; });
    AudienceController room(*h.form, h.game());
    showPrizesOnAudienceScreen(h.caller->prizes, room);
    room.open();
    QVERIFY(room.screen());
    const QString line = QStringLiteral("Sigillo: ") + unbroken(seal::sealOf(secret));
    QVERIFY(!room.screen()->prizeLadder().contains(line));
    QStringList atFirst;
    QObject::connect(&h.game(), &Game::numberChosen, room.screen(), [&](int, int ordinal, bool) {
        if (ordinal == 1) atFirst = room.screen()->prizeLadder();
    });
    // One number, whichever the secret gives (the sealed draw takes no steering).
    h.drawAndPause({1});
    QVERIFY2(atFirst.contains(line), qPrintable(atFirst.join(QLatin1Char('|'))));
    QVERIFY(room.screen()->prizeLadder().contains(line));
    h.game().newGame();
    QVERIFY(!room.screen()->prizeLadder().join(QLatin1Char('|')).contains(QStringLiteral("Sigillo")));
    room.close();
}

QTEST_MAIN(TestPrizePanel)
#include "test_prize_panel.moc"
