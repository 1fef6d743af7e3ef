// The reading of typed numbers shared by the claim check, the repeat and the card count.

#include "claims/typed_number.h"

#include <QTest>
#include <cmath>

class TestTypedNumber : public QObject
{
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void roundsHalvesToEven_data();
    void roundsHalvesToEven();
    void refusesWhatDoesNotFitSixteenBits();
    void readsInTheCLocaleWhateverTheUser();
};

void TestTypedNumber::reads_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("plain") << "42" << 42.0;
    QTest::newRow("blank inside") << "1 2" << 12.0;
    QTest::newRow("tab and line feed") << "\t3\n4" << 34.0;
    QTest::newRow("minus") << "-3" << -3.0;
    QTest::newRow("blank after sign") << " - 3" << -3.0;
    QTest::newRow("plus") << "+7" << 7.0;
    QTest::newRow("trailing point") << "7." << 7.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("slash alone") << "/" << 0.0;
    QTest::newRow("stops at slash") << "3/4" << 3.0;
    QTest::newRow("slash first") << "/5" << 0.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("digits then letters") << "12ab" << 12.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("two signs") << "--3" << 0.0;
    QTest::newRow("sign after digits stops") << "5-3" << 5.0;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow("carriage return is not skipped") << "\r5" << 0.0;
}

void TestTypedNumber::reads()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(valore_numerico(text), value);
}

void TestTypedNumber::roundsHalvesToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("3.5") << 3.5 << 4;
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("2.6") << 2.6 << 3;
    QTest::newRow("32767") << 32767.0 << 32767;
    QTest::newRow("-32768") << -32768.0 << -32768;
}

void TestTypedNumber::roundsHalvesToEven()
{
    QFETCH(double, value);
    QFETCH(int, rounded);
    const auto got = intero_16(value);
    QVERIFY(got.has_value());
    QCOMPARE(int(*got), rounded);
}

void TestTypedNumber::refusesWhatDoesNotFitSixteenBits()
{
    QVERIFY(!intero_16(32768.0).has_value());
    QVERIFY(!intero_16(32767.5).has_value()); // rounds to 32768
    QVERIFY(!intero_16(-32769.0).has_value());
    QVERIFY(!intero_16(valore_numerico(QString(400, QLatin1Char('9')))).has_value());
    QVERIFY(std::isinf(valore_numerico(QString(400, QLatin1Char('9')))));
    QVERIFY(!intero_16(std::nan("")).has_value());
}

void TestTypedNumber::readsInTheCLocaleWhateverTheUser()
{
    // An Italian desktop writes decimals with a comma; typed numbers still use the point.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    QCOMPARE(valore_numerico(QStringLiteral("2.5")), 2.5);
    QCOMPARE(valore_numerico(QStringLiteral("2,5")), 2.0);
    QLocale::setDefault(QLocale::c());
}

QTEST_MAIN(TestTypedNumber)
#include "test_typed_number.moc"
