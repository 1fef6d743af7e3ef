// A random evening through the real window: random clicks, keys, pasted text, gestures, speed
// changes, panels, new games and a close at a random moment, with sound and printer faults
// injected, both from the top level and nested inside the pumps of a running draw or repeat.
// After every event the game state and the board must agree.
//
// TOMBOLA_EVENING_EVENTS sets the number of events to reach (default 100000), TOMBOLA_EVENING_MS
// a time bound (default 150 s), TOMBOLA_EVENING_SEED replays one seed.

#include "announce/prizes.h"
#include "announce/speech.h"
#include "fakes/recording_canvas.h"
#include "form_harness.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <random>

namespace
{

struct Evening {
    Harness h;
    std::mt19937 dice;
    QString fault;
    long events = 0;
    long byHand = 0, takenBack = 0, watchChecks = 0;
    int depth = 0;
    int budget;
    QList<Cartella> cards; // tonight's cards, in the order they were printed
    qsizetype playing = 0; // how many of them play this game
    std::optional<PrizeDesk::Sighting> lastSeen;

    Evening(std::uint32_t seed, int events_) : h(seed), dice(seed * 2654435761u), budget(events_)
    {
        QObject::connect(&h.game(), &Game::numberDrawn, [this](int, int ordinal) {
            byHand += h.game().isBasketMode() ? 1 : 0;
            if (ordinal == 1) playing = h.caller->printRun.cardsInPlay().size();
            checkWatch();
        });
        QObject::connect(&h.game(), &Game::numberTakenBack, [this] {
            ++takenBack;
            checkWatch();
        });
        QObject::connect(&h.game(), &Game::newGameStarted, [this] { checkWatch(); });
        QObject::connect(&h.caller->prizes, &PrizeDesk::changed, [this] { checkStop(); });
    }

    // After every number the watch holds, for each card printed tonight, what the card check finds
    // for the same code and draw order; a winner on show holds the prize in play.
    void checkWatch()
    {
        if (!fault.isEmpty()) return;
        PrizeDesk &desk = h.caller->prizes;
        const QList<CardCode> &codes = h.caller->printRun.cardsInPlay().codes();
        const WinnerWatch &watch = desk.watch();
        const QList<int> order = h.game().drawnNumbers();
        const bool sameCount = watch.followed() == order.size();
        // The cards printed once a game's first number is out play from the next game.
        if (order.isEmpty()) playing = codes.size();
        if (watch.size() != playing || !sameCount) {
            fault = QStringLiteral("the watch follows %1 cards and %2 numbers, not %3 and %4")
                        .arg(watch.size())
                        .arg(watch.followed())
                        .arg(playing)
                        .arg(order.size());
            return;
        }
        for (qsizetype i = 0; i < codes.size(); ++i)
            if (i == cards.size()) cards << carta_da_codice(codes[i].series, codes[i].place, codes[i].dealer);
        for (qsizetype i = 0; i < playing; ++i) {
            const CardResult expected = evaluateCard(cards[i], order);
            const WinnerWatch::Watched &w = watch.card(i);
            ++watchChecks;
            if (w.code != codes[i] || w.best != expected.best || w.moments != expected.moments) {
                fault = QStringLiteral("the watch has card %1 at %2, the card check at %3 after %4 numbers")
                            .arg(formatCardCode(codes[i]))
                            .arg(int(w.best))
                            .arg(int(expected.best))
                            .arg(order.size());
                return;
            }
        }
        const std::optional<PrizeDesk::Sighting> seen = desk.sighting();
        if (seen) {
            const PrizeLadder &ladder = desk.ladder();
            for (const CardCode &c : seen->codes) {
                const CardResult r = evaluateCard(cards[codes.indexOf(c)], order);
                const bool inPlay = seen->shares ? ladder.wonAt(seen->prize) == seen->draw
                                                 : seen->prize == ladder.playingFor();
                if (!inPlay || heldFrom(r.moments)[std::size_t(seen->prize)] != seen->draw)
                    fault = QStringLiteral("a winner on show, %1, without the prize in play")
                                .arg(formatCardCode(c));
            }
        }
    }

    // Whenever new cards go on show, a random draw that runs stops before its next number.
    void checkStop()
    {
        PrizeDesk &desk = h.caller->prizes;
        const std::optional<PrizeDesk::Sighting> seen = desk.sighting();
        const bool fresh =
            seen && (!lastSeen || lastSeen->prize != seen->prize ||
                     std::any_of(seen->codes.cbegin(), seen->codes.cend(),
                                 [&](const CardCode &c) { return !lastSeen->codes.contains(c); }));
        if (fault.isEmpty() && fresh && !desk.announceAtOnce() && !h.game().isBasketMode() &&
            h.game().isDrawing() && !h.state().sospeso)
            fault = QStringLiteral("the draw goes on past a winner on show");
        lastSeen = seen;
    }

    int roll(int n) { return int(dice() % unsigned(n)); }

    QString randomText()
    {
        static const QString alphabet = QStringLiteral("0123456789./-+ \tabcxyzAZ\n\r:;,\u00e8\u20ac");
        QString t;
        const int n = roll(3) == 0 ? roll(200) : roll(5);
        for (int i = 0; i < n; ++i)
            t += alphabet[roll(int(alphabet.size()))];
        return t;
    }

    QLineEdit *randomBox()
    {
        const int k = roll(17);
        if (k < 14) return h.form->Text1[k];
        if (k == 16) return h.form->txt_panariello;
        return k == 14 ? h.form->txt_ultimi : h.form->Txt_num_cartelle;
    }

    void injectFaults()
    {
        switch (roll(40)) {
        case 0: {
            // A number without its whole clip is said composed; without one of those too, not at all.
            const int k = 1 + roll(90);
            h.sound.missing = {wholeNumberKey(std::int16_t(k))};
            if (roll(2) == 0) h.sound.missing << chiavi_numero(std::int16_t(k)).last();
            break;
        }
        case 1:
            h.sound.missing = {QStringLiteral("apri"), QStringLiteral("applausi"),
                               QStringLiteral("num_estratti")};
            break;
        case 2:
            h.sound.missing.clear();
            break;
        case 3:
            h.printer.make = nullptr; // no printer
            break;
        case 4: {
            const int failAt = roll(12);
            const bool failEnd = roll(2) == 0;
            h.printer.make = [failAt, failEnd] {
                auto c = std::make_unique<RecordingCanvas>();
                c->failNewPageAt = failAt;
                c->failEndDoc = failEnd;
                return c;
            };
            break;
        }
        default:
            break;
        }
    }

    void step()
    {
        if (!fault.isEmpty() || budget <= 0 || h.game().isClosed()) return;
        --budget;
        ++events;
        ++depth;
        injectFaults();
        Form1 &f = *h.form;
        switch (roll(34)) {
        case 0:
        case 1:
            h.clickIfEnabled("cmd_estrai");
            break;
        case 2:
        case 3:
            h.clickIfEnabled("cmd_sospendi");
            break;
        case 4:
            h.clickIfEnabled("cmd_nuovo");
            break;
        case 5:
            h.clickIfEnabled("cmd_verifica");
            break;
        case 6:
            h.clickIfEnabled("cmd_ripeti");
            break;
        case 7:
            h.clickIfEnabled(QStringLiteral("cmd_ambo_%1").arg(roll(4)));
            break;
        case 8:
        case 9: {
            QLineEdit *box = randomBox();
            if (box->isVisible()) {
                box->setFocus(Qt::MouseFocusReason);
                const int keys[] = {Qt::Key_Return,       Qt::Key_Backspace, Qt::Key_Tab,
                                    Qt::Key_0 + roll(10), Qt::Key_Period,    Qt::Key_Slash,
                                    Qt::Key_A + roll(26), Qt::Key_Space};
                QTest::keyClick(box, Qt::Key(keys[roll(8)]));
            }
            break;
        }
        case 10: {
            QLineEdit *box = randomBox();
            if (box->isVisible()) {
                box->setFocus(Qt::MouseFocusReason);
                QTest::keyClicks(box, QString::number(roll(100)));
                if (roll(2)) QTest::keyClick(box, Qt::Key_Return);
            }
            break;
        }
        case 11: { // a paste, which no key filter sees
            QLineEdit *box = randomBox();
            if (box->isVisible() && !box->isReadOnly()) {
                box->insert(randomText());
                emit box->textEdited(box->text());
            }
            break;
        }
        case 12:
            f.HScroll1->setValue(100 + roll(6901));
            break;
        case 13: {
            const Qt::MouseButtons b[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton,
                                          Qt::LeftButton | Qt::RightButton};
            h.gesture(b[roll(4)], roll(3) ? roll(7) : roll(200));
            break;
        }
        case 14: {
            QRadioButton *modes[] = {f.Opt_escludi, f.Opt_maiuscolo, f.Opt_minuscolo, f.Opt_script};
            modes[roll(4)]->click();
            break;
        }
        case 15:
            if (f.Txt_num_cartelle->isVisible()) {
                f.Txt_num_cartelle->setText(QString::number(roll(35)));
                h.clickIfEnabled("cmd_stampa");
            }
            break;
        case 16: {
            QEvent e(roll(2) ? QEvent::WindowActivate : QEvent::WindowDeactivate);
            QApplication::sendEvent(&f, &e);
            break;
        }
        case 17:
            h.clock.t += roll(5000) / 1000.0;
            break;
        case 18:
            if (roll(60) == 0) f.close();
            break;
        case 19: {
            QLineEdit *box = randomBox();
            if (box->isVisible()) box->setFocus(roll(2) ? Qt::TabFocusReason : Qt::ActiveWindowFocusReason);
            break;
        }
        case 20:
        case 21:
            claim();
            break;
        case 22: // the switch between the random draw and the basket
            if (roll(3) == 0) QTest::mouseClick(f.chk_panariello, Qt::LeftButton);
            break;
        case 23:
        case 24: // a number out of the bag, typed: mostly one still in it
            if (f.txt_panariello->isVisible()) {
                f.txt_panariello->setFocus(Qt::MouseFocusReason);
                const QList<int> left = h.pool();
                const int n = roll(4) && !left.isEmpty() ? left[roll(int(left.size()))] : roll(95);
                QTest::keyClicks(f.txt_panariello, QString::number(n));
                QTest::keyClick(f.txt_panariello, Qt::Key_Return);
            }
            break;
        case 25: // or clicked on the board
            QTest::mouseClick(f.LBL_TAB[std::size_t(roll(90))], Qt::LeftButton);
            break;
        case 27: // the caller's answer to a winner from the watch
            h.clickIfEnabled(roll(2) ? "cmd_conferma" : "cmd_ignora");
            break;
        case 28:
            if (roll(10) == 0) h.caller->prizes.setAnnounceAtOnce(!h.caller->prizes.announceAtOnce());
            break;
        case 26: // the take-back, by its key or its button
            if (roll(2))
                QTest::keyClick(roll(2) ? static_cast<QWidget *>(f.txt_panariello) : &f, Qt::Key_Z,
                                Qt::ControlModifier);
            else
                h.clickIfEnabled("cmd_togli");
            break;
        default:
            break; // a pump with nothing new
        }
        --depth;
        check();
    }

    // A claim typed into the boxes of a prize: drawn numbers, some repeated, some of an earlier
    // game, some not drawn, and boxes left more than once.
    void claim()
    {
        const int prize = roll(4);
        if (!f().fra_controlli->isVisible()) h.clickIfEnabled(QStringLiteral("cmd_verifica"));
        QPushButton *button = f().cmd_ambo[std::size_t(prize)];
        if (!button->isVisible() || !button->isEnabled()) return;
        if (roll(3)) h.clickIfEnabled(QStringLiteral("cmd_ambo_%1").arg(prize));
        const PrizeInfo &p = claimPrizeInfo(prize);
        const QStringList drawn = h.drawn();
        for (int k = 0; k < p.boxes + roll(2); ++k) {
            QLineEdit *box = f().Text1[std::size_t(p.firstBox + roll(p.boxes))];
            if (!box->isVisible()) return;
            box->setFocus(Qt::MouseFocusReason);
            QString number;
            switch (roll(4)) {
            case 0:
                number = QString::number(1 + roll(90)); // any, drawn or not, or of an earlier game
                break;
            case 1:
                number = box->text(); // the same again
                break;
            default:
                if (!drawn.isEmpty()) number = drawn[roll(int(drawn.size()))];
            }
            box->selectAll();
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClicks(box, number);
            QTest::keyClick(box, roll(2) ? Qt::Key_Return : Qt::Key_Tab);
            if (!fault.isEmpty() || h.game().isClosed()) return;
        }
    }

    Form1 &f() { return *h.form; }

    // A fanfare plays only for a claim whose boxes hold as many different drawn numbers as the
    // prize has boxes: the prize's own boxes, or those of a higher prize whose claim won this one
    // (a card completed the higher one first).
    void checkFanfare(const QString &key)
    {
        for (int prize = 0; prize < 4; ++prize) {
            const PrizeInfo &p = claimPrizeInfo(prize);
            if (key != QLatin1String(p.word)) continue;
            const QStringList drawn = h.drawn();
            QSet<QString> held;
            for (int claimed = prize; claimed < 4 && held.size() < p.boxes; ++claimed) {
                const PrizeInfo &q = claimPrizeInfo(claimed);
                held.clear();
                for (int k = 0; k < q.boxes; ++k) {
                    const QString t = f().Text1[std::size_t(q.firstBox + k)]->text();
                    if (drawn.contains(t)) held.insert(t);
                }
            }
            if (held.size() < p.boxes && fault.isEmpty())
                fault = QStringLiteral("the %1 fanfare for a claim of %2 different drawn numbers")
                            .arg(key)
                            .arg(held.size());
            // And only for a prize the ladder gave it.
            if (fault.isEmpty() && h.caller->prizes.ladder().wonAt(Prize(prize + 1)) == 0)
                fault = QStringLiteral("the %1 fanfare for a prize nobody won").arg(key);
        }
    }

    void check()
    {
        if (fault.isEmpty()) fault = h.invariantFault();
        if (fault.isEmpty()) {
            const QString line = h.text(QStringLiteral("Label2"));
            const int d = 90 - h.state().quanti_da_estrarre;
            // The counter line counts the numbers drawn, or is blank after a new game.
            if (line.startsWith(QLatin1String("Numeri estratti")) && h.game().isDrawing() &&
                !line.contains(QStringLiteral("Numeri estratti    %1 ").arg(d)) && d > 0)
                fault = QStringLiteral("counter line '%1' with %2 drawn").arg(line).arg(d);
        }
    }

    void run()
    {
        // Focus moves between the boxes, and so the claim checks, need the window active.
        h.form->activateWindow();
        if (!QTest::qWaitForWindowActive(h.form)) fault = QStringLiteral("the window never became active");
        // Cards printed before the games, for the watch to follow.
        h.printer.make = [] { return std::make_unique<RecordingCanvas>(); };
        f().Txt_num_cartelle->setText(QString::number(1 + roll(30)));
        h.click("cmd_stampa");
        if (h.caller->printRun.cardsInPlay().size() == 0)
            fault = QStringLiteral("no card printed before the games");
        h.clock.onPump = [this](FakeClock::Point) {
            if (depth < 3 && roll(3) == 0)
                step();
            else
                check();
            if (budget <= 0 || !fault.isEmpty()) h.stopQuietly();
        };
        h.dialogs.onMessage = [this](const FakeDialogs::Shown &) { check(); };
        h.sound.onPlay = [this](const QString &key) { checkFanfare(key); };
        h.dialogs.answer = [this](const QString &) { return roll(3) != 0; };
        while (budget > 0 && fault.isEmpty() && !h.game().isClosed())
            step();
        h.clock.onPump = nullptr;
        if (fault.isEmpty() && h.game().isDrawing())
            fault = QStringLiteral("a draw is still running after the evening");
        // The window still answers: a new game and a draw work, unless it was closed.
        if (fault.isEmpty() && !h.game().isClosed()) {
            h.sound.missing.clear();
            h.dialogs.answer = nullptr;
            if (f().chk_panariello->isChecked()) QTest::mouseClick(f().chk_panariello, Qt::LeftButton);
            h.click("cmd_nuovo");
            h.click("cmd_estrai");
            // Each stop for a winner is resumed, as a caller would.
            for (int k = 0; k < 100 && h.drawn().size() < 90 && f().cmd_sospendi->text() == "&Riprendi"; ++k)
                h.click("cmd_sospendi");
            if (h.drawn().size() != 90)
                fault = QStringLiteral("a last game drew %1 numbers").arg(h.drawn().size());
            check();
        }
    }
};

} // namespace

class TestRandomEvening : public QObject
{
    Q_OBJECT

private slots:
    void randomEveningsKeepTheGameWhole();
};

void TestRandomEvening::randomEveningsKeepTheGameWhole()
{
    const long target = qEnvironmentVariableIsSet("TOMBOLA_EVENING_EVENTS")
                            ? qEnvironmentVariableIntValue("TOMBOLA_EVENING_EVENTS")
                            : 100000;
    const int limitMs = qEnvironmentVariableIsSet("TOMBOLA_EVENING_MS")
                            ? qEnvironmentVariableIntValue("TOMBOLA_EVENING_MS")
                            : 150000;
    const bool replay = qEnvironmentVariableIsSet("TOMBOLA_EVENING_SEED");
    QElapsedTimer timer;
    timer.start();
    long events = 0, byHand = 0, takenBack = 0, watchChecks = 0, prizesWon = 0, messages = 0, clips = 0,
         closes = 0, prints = 0, fanfares = 0;
    int seeds = 0;
    std::uint32_t seed = replay ? std::uint32_t(qEnvironmentVariableIntValue("TOMBOLA_EVENING_SEED")) : 1;
    while (events < target && timer.elapsed() < limitMs) {
        Evening evening(seed, 1500);
        evening.run();
        events += evening.events;
        byHand += evening.byHand;
        takenBack += evening.takenBack;
        watchChecks += evening.watchChecks;
        prizesWon += evening.h.caller->prizes.ladder().wins().size();
        messages += evening.h.dialogs.shown.size();
        clips += evening.h.sound.played.size();
        fanfares += evening.h.sound.played.count(QStringLiteral("applausi"));
        prints += evening.h.printer.opened;
        closes += evening.h.game().isClosed() ? 1 : 0;
        ++seeds;
        if (!evening.fault.isEmpty())
            QFAIL(qPrintable(QStringLiteral("seed %1 (replay with TOMBOLA_EVENING_SEED=%1): %2")
                                 .arg(seed)
                                 .arg(evening.fault)));
        if (replay) break;
        ++seed;
    }
    qInfo(
        "random evening: %ld events over %d seeds in %lld ms; %ld message boxes, %ld clips, %ld print runs, "
        "%ld closed mid-evening, %ld fanfares checked; %ld numbers from the basket, %ld taken back; %ld "
        "cards "
        "checked against the watch, %ld prizes on the ladders at the end",
        events, seeds, timer.elapsed(), messages, clips, prints, closes, fanfares, byHand, takenBack,
        watchChecks, prizesWon);
    QVERIFY(replay || events >= std::min(target, 5000L));
}

QTEST_MAIN(TestRandomEvening)
#include "test_random_evening.moc"
