// The number in words under the big number, in the four writing modes, and the clips that speak
// each number.

#include "form_harness.h"

#include "announce/module1.h"

#include <QRadioButton>
#include <QTest>

namespace
{

QString face(Harness &h)
{
    return h.control("Label6")->font().family();
}
} // namespace

class TestWords : public QObject
{
    Q_OBJECT

private slots:
    void wordsInEachMode_data();
    void wordsInEachMode();
    void theTableSpellsEveryNumber();
    void escludiEmptiesAtOnceAndLaterDrawsLeaveItEmpty();
    void switchingModeInAPauseDoesNotRedraw();
    void failingCorsivoDrawWarnsOnceAndWritesLowerCase();
    void clipsOfANumber_data();
    void clipsOfANumber();
    void aPumpFollowsOnlyAUnitClip();
};

void TestWords::wordsInEachMode_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("family");
    QTest::newRow("17 Maiuscolo") << "Opt_maiuscolo" << 17 << "DISCIASETTE"
                                  << "arial";
    QTest::newRow("71 Minuscolo") << "Opt_minuscolo" << 71 << "settantauno"
                                  << "arial";
    QTest::newRow("44 Minuscolo") << "Opt_minuscolo" << 44 << "quarantaquattro"
                                  << "arial";
    QTest::newRow("73 Corsivo") << "Opt_script" << 73 << "settantatre"
                                << "script Mt Bold";
    QTest::newRow("45 Maiuscolo") << "Opt_maiuscolo" << 45 << "QUARANTACINQUE"
                                  << "arial";
    QTest::newRow("90 Corsivo") << "Opt_script" << 90 << "novanta"
                                << "script Mt Bold";
}

void TestWords::wordsInEachMode()
{
    QFETCH(QString, mode);
    QFETCH(int, number);
    QFETCH(QString, caption);
    QFETCH(QString, family);
    Harness h;
    // Before the first draw the words label wears the script face.
    QCOMPARE(face(h), QStringLiteral("script Mt Bold"));
    QCOMPARE(h.text("Label6"), QString());
    h.control<QRadioButton>(mode)->click();
    h.drawAndPause({number});
    QCOMPARE(h.text("Label6"), caption);
    QCOMPARE(face(h), family);
    QCOMPARE(h.dialogs.shown.size(), 0);
}

void TestWords::theTableSpellsEveryNumber()
{
    Harness h;
    const GameState &s = h.state();
    // A few entries by hand, the irregular ones among them.
    QCOMPARE(s.numeri_in_lettere(1), QStringLiteral("uno"));
    QCOMPARE(s.numeri_in_lettere(17), QStringLiteral("disciasette"));
    QCOMPARE(s.numeri_in_lettere(21), QStringLiteral("ventuno"));
    QCOMPARE(s.numeri_in_lettere(28), QStringLiteral("ventotto"));
    QCOMPARE(s.numeri_in_lettere(71), QStringLiteral("settantauno"));
    QCOMPARE(s.numeri_in_lettere(81), QStringLiteral("ottantuno"));
    QCOMPARE(s.numeri_in_lettere(90), QStringLiteral("novanta"));
    // Every compound word begins with its ten's word, less the final vowel before uno/otto.
    const QStringList tens{"venti",    "trenta",   "quaranta", "cinquanta",
                           "sessanta", "settanta", "ottanta",  "novanta"};
    for (int n = 21; n <= 89; ++n) {
        if (n % 10 == 0) continue;
        const QString ten = tens[n / 10 - 2];
        QVERIFY2(s.numeri_in_lettere(n).startsWith(ten.left(ten.size() - 1)), qPrintable(QString::number(n)));
        QVERIFY(s.numeri_in_lettere(n) == s.numeri_in_lettere(n).toLower());
    }
}

void TestWords::escludiEmptiesAtOnceAndLaterDrawsLeaveItEmpty()
{
    Harness h;
    h.drawAndPause({5});
    QCOMPARE(h.text("Label6"), QStringLiteral("CINQUE"));
    h.control<QRadioButton>("Opt_escludi")->click();
    QCOMPARE(h.text("Label6"), QString());
    h.drawAndPause({6});
    QCOMPARE(h.text("Label6"), QString());
    QCOMPARE(face(h), QStringLiteral("arial"));
    h.control<QRadioButton>("Opt_minuscolo")->click();
    QCOMPARE(h.text("Label6"), QString());
    h.drawAndPause({7});
    QCOMPARE(h.text("Label6"), QStringLiteral("sette"));
}

void TestWords::switchingModeInAPauseDoesNotRedraw()
{
    Harness h;
    h.drawAndPause({33});
    QCOMPARE(h.text("Label6"), QStringLiteral("TRENTATRE"));
    h.control<QRadioButton>("Opt_minuscolo")->click();
    QCOMPARE(h.text("Label6"), QStringLiteral("TRENTATRE"));
    h.drawAndPause({34});
    QCOMPARE(h.text("Label6"), QStringLiteral("trentaquattro"));
}

void TestWords::failingCorsivoDrawWarnsOnceAndWritesLowerCase()
{
    // Any failing step of a draw shows the script-face warning once, turns the mode to
    // Minuscolo, and the draw goes on: later draws use "arial" and warn no more.
    Harness h;
    h.control<QRadioButton>("Opt_script")->click();
    h.sound.missing.insert(QStringLiteral("va8"));
    h.drawAndPause({8});
    QCOMPARE(h.dialogs.shown.size(), 1);
    QVERIFY(h.control<QRadioButton>("Opt_minuscolo")->isChecked());
    QVERIFY(!h.control<QRadioButton>("Opt_script")->isChecked());
    QCOMPARE(h.text("Label6"), QStringLiteral("otto"));
    h.sound.missing.clear();
    h.drawAndPause({9, 10});
    QCOMPARE(h.dialogs.shown.size(), 1);
    QCOMPARE(h.text("Label6"), QStringLiteral("dieci"));
    QCOMPARE(face(h), QStringLiteral("arial"));
}

void TestWords::clipsOfANumber_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QStringList>("clips");
    QTest::newRow("1") << 1 << QStringList{"va1"};
    QTest::newRow("7") << 7 << QStringList{"va7"};
    QTest::newRow("10") << 10 << QStringList{"va10"};
    QTest::newRow("19") << 19 << QStringList{"va19"};
    QTest::newRow("20") << 20 << QStringList{"vale20"};
    QTest::newRow("21") << 21 << QStringList{"vale20", "va1"};
    QTest::newRow("45") << 45 << QStringList{"vale40", "va5"};
    QTest::newRow("88") << 88 << QStringList{"vale80", "va8"};
    QTest::newRow("90") << 90 << QStringList{"vale90"};
}

void TestWords::clipsOfANumber()
{
    QFETCH(int, number);
    QFETCH(QStringList, clips);
    Harness h;
    h.sound.played.clear();
    h.form->pronuncia_numero(std::int16_t(number));
    QCOMPARE(h.sound.played, clips);
}

void TestWords::aPumpFollowsOnlyAUnitClip()
{
    Harness h;
    for (int n = 1; n <= 90; ++n) {
        h.sound.played.clear();
        const int pumps = h.clock.pumps;
        h.form->pronuncia_numero(std::int16_t(n));
        // Every key the program builds names a clip it carries.
        for (const QString &key : h.sound.played)
            QVERIFY(FakeSound::known(key));
        const bool twoClips = n > 20 && n % 10 != 0;
        QCOMPARE(h.sound.played.size(), twoClips ? 2 : 1);
        QCOMPARE(h.clock.pumps - pumps, twoClips ? 1 : 0);
    }
}

QTEST_MAIN(TestWords)
#include "test_words.moc"
