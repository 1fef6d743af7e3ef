// La smorfia on a fake window: the table, the meaning under the words and on the audience display,
// during the draw and the repeat, spoken on request, and nothing of it while the box is off.

#include "announce/smorfia.h"
#include "fakes/game_harness.h"

#include <QSet>
#include <QTest>

class TestSmorfia : public QObject
{
    Q_OBJECT

private slots:
    void everyNumberHasItsOwnMeaning();
    void theMeaningFollowsEachDrawnNumber();
    void withTheBoxOffNothingShowsOrSounds();
    void theMeaningIsSaidBeforeThePause();
    void aMissingMeaningClipIsSkippedQuietly();
    void theRepeatShowsAndSaysTheMeanings();
};

void TestSmorfia::everyNumberHasItsOwnMeaning()
{
    QSet<QString> seen;
    for (int n = 1; n <= 90; ++n) {
        const QString m = meaningOf(n);
        QVERIFY2(!m.isEmpty(), qPrintable(QString::number(n)));
        // Written as the window writes: lower case, plain letters, no accented ones.
        QCOMPARE(m, m.toLower());
        for (const QChar c : m)
            QVERIFY2(c.unicode() >= 32 && c.unicode() < 127, qPrintable(m));
        QVERIFY2(!seen.contains(m), qPrintable(m + QStringLiteral(" twice")));
        seen.insert(m);
    }
    QCOMPARE(meaningOf(0), QString());
    QCOMPARE(meaningOf(91), QString());
    QCOMPARE(meaningOf(90), QStringLiteral("la paura"));
}

void TestSmorfia::theMeaningFollowsEachDrawnNumber()
{
    GameHarness h;
    h.view.setChecked(Control::smorfiaBox, true);
    QStringList label, display, words;
    QObject::connect(&h.game, &Game::numberDrawn, [&](int, int) {
        label << h.caption(Control::meaningLabel);
        display << h.game.display().meaning;
        words << h.game.display().words;
    });
    h.drawAndPause({27, 90, 1});
    const QStringList expected{meaningOf(27), meaningOf(90), meaningOf(1)};
    QCOMPARE(label, expected);
    QCOMPARE(display, expected);
    QCOMPARE(words, QStringList({"VENTISETTE", "NOVANTA", "UNO"}));
    // The meaning stays with its number through the pause; a new game clears it.
    QCOMPARE(h.game.display().meaning, meaningOf(1));
    h.click(Control::cmd_nuovo);
    QCOMPARE(h.caption(Control::meaningLabel), QString());
    QCOMPARE(h.game.display().meaning, QString());
}

void TestSmorfia::withTheBoxOffNothingShowsOrSounds()
{
    GameHarness h;
    // "e dilla" alone says nothing: the meaning is said only when it is shown.
    h.view.setChecked(Control::sayMeaningBox, true);
    QStringList meanings;
    h.clock.onPump = [&](FakeClock::Point) {
        meanings << h.caption(Control::meaningLabel) << h.game.display().meaning;
    };
    h.random.replay(picksFor({27, 90}));
    int drawn = 0;
    QObject::connect(&h.game, &Game::numberDrawn, [&](int, int) {
        if (++drawn == 2) h.click(Control::cmd_sospendi);
    });
    h.click(Control::cmd_estrai);
    QCOMPARE(h.drawn(), QStringList({"27", "90"}));
    QVERIFY(!meanings.isEmpty());
    for (const QString &m : meanings)
        QCOMPARE(m, QString());
    QCOMPARE(h.sound.played.filter(QStringLiteral("smorfia")), QStringList());
}

void TestSmorfia::theMeaningIsSaidBeforeThePause()
{
    GameHarness h;
    h.view.setChecked(Control::smorfiaBox, true);
    h.view.setChecked(Control::sayMeaningBox, true);
    h.sound.secondsPerClip = 1.0;
    QList<double> drawnAt;
    QObject::connect(&h.game, &Game::numberDrawn, [&](int, int) { drawnAt << h.clock.t; });
    h.sound.played.clear();
    h.drawAndPause({27, 5});
    QCOMPARE(h.sound.played, QStringList({"numero27", "smorfia27", "numero5", "smorfia5"}));
    // Two clips for 27 (the number whole, its meaning), then the whole pause of 3 s (the speed at
    // start-up).
    QCOMPARE(drawnAt.size(), 2);
    QVERIFY2(drawnAt[1] - drawnAt[0] >= 2.0 + 3.0, qPrintable(QString::number(drawnAt[1] - drawnAt[0])));
    QVERIFY2(drawnAt[1] - drawnAt[0] < 2.0 + 3.0 + 0.01,
             qPrintable(QString::number(drawnAt[1] - drawnAt[0])));
}

void TestSmorfia::aMissingMeaningClipIsSkippedQuietly()
{
    GameHarness h;
    h.view.setChecked(Control::smorfiaBox, true);
    h.view.setChecked(Control::sayMeaningBox, true);
    h.sound.missing.insert(QStringLiteral("smorfia27"));
    h.sound.played.clear();
    h.drawAndPause({27, 5});
    QCOMPARE(h.drawn(), QStringList({"27", "5"}));
    QCOMPARE(h.sound.played, QStringList({"numero27", "numero5", "smorfia5"}));
    QCOMPARE(h.dialogs.shown.size(), 0);
}

void TestSmorfia::theRepeatShowsAndSaysTheMeanings()
{
    GameHarness h;
    h.view.setChecked(Control::smorfiaBox, true);
    h.view.setChecked(Control::sayMeaningBox, true);
    h.drawAndPause({17, 4, 88});
    h.click(Control::cmd_ripeti);
    // The repeat box opens: the words and their meaning leave the window.
    QCOMPARE(h.caption(Control::meaningLabel), QString());
    QCOMPARE(h.game.display().meaning, QString());
    QStringList label, display;
    QObject::connect(&h.game, &Game::repeatShowing, [&](int) {
        label << h.caption(Control::meaningLabel);
        display << h.game.display().meaning;
    });
    h.sound.played.clear();
    h.typeInRepeatBox("2");
    h.enterInRepeatBox();
    QCOMPARE(label, QStringList({meaningOf(4), meaningOf(88)}));
    QCOMPARE(display, label);
    QCOMPARE(h.sound.played, QStringList({"num_estratti", "numero4", "smorfia4", "numero88", "smorfia88"}));
    QCOMPARE(h.caption(Control::meaningLabel), QString());
    QCOMPARE(h.game.display().meaning, QString());
}

QTEST_GUILESS_MAIN(TestSmorfia)
#include "test_smorfia.moc"
