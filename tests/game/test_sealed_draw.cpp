// The sealed draw in the game: every random number follows from the game's secret, fixed once per
// game before its first random number; the basket's numbers stand outside it; a resumed game goes
// on from the secret it was given. GUI-less, on the fake window.

#include "fakes/game_harness.h"
#include "game/draw_seal.h"

#include <QSignalSpy>
#include <QTest>

namespace
{

// Secrets 0x01.., 0x02.., ... in turn, counting how many were asked for.
struct Secrets {
    int asked = 0;
    std::function<QByteArray()> source()
    {
        return [this] { return QByteArray(seal::kSecretBytes, char(++asked)); };
    }
};

} // namespace

class TestSealedDraw : public QObject
{
    Q_OBJECT

private slots:
    void eachGameFollowsItsOwnSecret();
    void basketNumbersStandOutsideTheSeal();
    void aResumedGameGoesOnFromItsSecret();
    void thePickIsUniformOverTheNumbersLeft();
    void secretsAreReadStrictly();
};

void TestSealedDraw::eachGameFollowsItsOwnSecret()
{
    // The seal comes before the first number, once per game; all 90 numbers follow from the
    // secret, and the new game's reset starts a new secret rather than going on with the old.
    GameHarness h;
    Secrets secrets;
    h.game.setSecretSource(secrets.source());
    QStringList order;
    QObject::connect(&h.game, &Game::sealed,
                     [&](const QByteArray &s) { order << "seal " + seal::sealOf(s); });
    QObject::connect(&h.game, &Game::numberChosen, [&](int n, int, bool) { order << QString::number(n); });
    QVERIFY(h.game.seal().isEmpty());
    h.drawCountAndPause(10);
    const QByteArray first(seal::kSecretBytes, char(1));
    QCOMPARE(secrets.asked, 1);
    QCOMPARE(h.game.seal(), seal::sealOf(first));
    QCOMPARE(order.value(0), "seal " + seal::sealOf(first));
    const QList<int> expected = seal::drawOrder(first);
    QCOMPARE(h.game.drawnNumbers(), expected.mid(0, 10));
    // Resumed from the pause to the end: still the same secret, no second seal.
    h.drawCountAndPause(80);
    QCOMPARE(h.game.drawnNumbers(), expected);
    QCOMPARE(secrets.asked, 1);
    QCOMPARE(order.count(QStringLiteral("seal ") + seal::sealOf(first)), 1);

    h.game.newGame();
    QVERIFY(h.game.seal().isEmpty());
    h.drawCountAndPause(5);
    QCOMPARE(secrets.asked, 2);
    QCOMPARE(h.game.drawnNumbers(), seal::drawOrder(QByteArray(seal::kSecretBytes, char(2))).mid(0, 5));
    QVERIFY(h.game.drawnNumbers() != expected.mid(0, 5));
}

void TestSealedDraw::basketNumbersStandOutsideTheSeal()
{
    // A game begun from the basket is sealed at its first random number; the hand numbers keep their
    // places and the generator picks among the numbers they left.
    GameHarness h;
    Secrets secrets;
    h.game.setSecretSource(secrets.source());
    QVERIFY(h.game.setBasketMode(true));
    QVERIFY(h.game.enterNumber(45));
    QVERIFY(h.game.enterNumber(12));
    QCOMPARE(secrets.asked, 0);
    QVERIFY(h.game.setBasketMode(false));
    h.drawCountAndPause(3);
    QCOMPARE(secrets.asked, 1);
    const QByteArray s(seal::kSecretBytes, char(1));
    QList<int> random = seal::drawOrder(s, {{1, 45}, {2, 12}}).mid(2, 3);
    QVERIFY(h.game.setBasketMode(true));
    int hand = 1;
    while (h.game.drawnNumbers().contains(hand) || random.contains(hand))
        ++hand;
    QVERIFY(h.game.enterNumber(hand));
    QVERIFY(h.game.setBasketMode(false));
    h.drawCountAndPause(4);
    QCOMPARE(secrets.asked, 1);
    QCOMPARE(h.game.drawnNumbers(), seal::drawOrder(s, {{1, 45}, {2, 12}, {6, hand}}).mid(0, 10));
    // A number by hand twice is no game.
    QVERIFY(seal::drawOrder(s, {{1, 45}, {2, 45}}).isEmpty());
}

void TestSealedDraw::aResumedGameGoesOnFromItsSecret()
{
    // After a restart the game under way is given back its secret: the numbers go on as if nothing
    // had happened, and no new secret is fixed (the source would give another one).
    const QByteArray s(seal::kSecretBytes, char(0x5a));
    QList<int> drawn;
    {
        GameHarness h;
        h.game.setSecretSource([s] { return s; });
        h.drawCountAndPause(7);
        drawn = h.game.drawnNumbers();
    }
    GameHarness h(3);
    Secrets secrets;
    h.game.setSecretSource(secrets.source());
    h.game.resume(drawn, false, true, s);
    QCOMPARE(h.game.seal(), seal::sealOf(s));
    QSignalSpy sealed(&h.game, &Game::sealed);
    h.drawCountAndPause(5);
    QCOMPARE(secrets.asked, 0);
    QCOMPARE(sealed.count(), 0);
    QCOMPARE(h.game.drawnNumbers(), seal::drawOrder(s).mid(0, 12));
    QCOMPARE(h.invariantFault(), QString());
}

void TestSealedDraw::thePickIsUniformOverTheNumbersLeft()
{
    // Over many secrets each position among n comes out about as often: no position is skipped
    // (an off-by-one) and none favoured (a bias), at each size the draw passes through.
    for (const int n : {1, 2, 7, 64, 89, 90}) {
        QList<int> counts(n + 1, 0);
        const int rounds = 200 * n;
        for (int k = 0; k < rounds; ++k) {
            QByteArray secret(seal::kSecretBytes, 0);
            secret[0] = char(k & 0xff);
            secret[1] = char((k >> 8) & 0xff);
            secret[2] = char(n);
            const int p = seal::pick(secret, 1 + k % 90, n);
            QVERIFY2(p >= 1 && p <= n, qPrintable(QStringLiteral("%1 of %2").arg(p).arg(n)));
            ++counts[p];
        }
        // Chi-square with n - 1 degrees of freedom, far above its 99.9th percentile for these n.
        double chi = 0;
        for (int p = 1; p <= n; ++p)
            chi += (counts[p] - 200.0) * (counts[p] - 200.0) / 200.0;
        QVERIFY2(chi < 2.0 * n + 30, qPrintable(QStringLiteral("n=%1 chi=%2").arg(n).arg(chi)));
    }
}

void TestSealedDraw::secretsAreReadStrictly()
{
    const QByteArray s = seal::newSecret();
    QCOMPARE(s.size(), seal::kSecretBytes);
    QVERIFY(seal::newSecret() != s);
    QCOMPARE(seal::parseSecret(seal::secretText(s)), s);
    QCOMPARE(seal::parseSecret(seal::secretText(s).toUpper().insert(8, QLatin1Char(' '))), s);
    QVERIFY(!seal::parseSecret(seal::secretText(s).left(62)));
    QVERIFY(!seal::parseSecret(seal::secretText(s).replace(0, 1, QStringLiteral("g"))));
    const QString shown = seal::sealOf(s);
    QCOMPARE(shown.size(), 19);
    QCOMPARE(shown.count(QLatin1Char(' ')), 3);
}

QTEST_GUILESS_MAIN(TestSealedDraw)
#include "test_sealed_draw.moc"
