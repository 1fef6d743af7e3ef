// The writing options of the real window: a click on an option button reaches the game, and the
// face it sets reaches the real label. The writing rules are tested without a window (tests/game).

#include "form_harness.h"

#include <QRadioButton>
#include <QTest>

class TestWords : public QObject
{
    Q_OBJECT

private slots:
    void writingOptionsReachTheRealLabel();
};

void TestWords::writingOptionsReachTheRealLabel()
{
    Harness h;
    h.control<QRadioButton>("Opt_script")->click();
    h.drawAndPause({73});
    QCOMPARE(h.text("Label6"), QStringLiteral("settantatre"));
    QCOMPARE(h.control("Label6")->font().family(), QStringLiteral("script Mt Bold"));
    h.control<QRadioButton>("Opt_escludi")->click();
    QCOMPARE(h.text("Label6"), QString());
    h.drawAndPause({74});
    QCOMPARE(h.text("Label6"), QString());
    QCOMPARE(h.control("Label6")->font().family(), QStringLiteral("arial"));
}

QTEST_MAIN(TestWords)
#include "test_words.moc"
