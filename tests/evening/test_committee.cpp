// What the evening keeps for the committee that signs it: each game's seal shown before its first
// number and its secret revealed only at its end, a recorded game that the secret reproduces, the
// seal and the secret kept across a restart, and unsold cards declared void that never win and are
// not paid for. GUI-less, on a real store in a private folder.

#include "evening/card_selection.h"
#include "evening/verbale.h"
#include "fakes/card_rows.h"
#include "fakes/evening_harness.h"
#include "game/draw_seal.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace
{

QStringList logTexts(const PrizeDesk &desk)
{
    QStringList out;
    for (const PrizeDesk::Event &e : desk.events())
        out << e.text;
    return out;
}

// The first capture of `pattern` in the lines of `texts`, empty when none holds it.
QString found(const QStringList &texts, const QString &pattern)
{
    const QRegularExpression re(pattern);
    for (const QString &t : texts)
        if (const auto m = re.match(t); m.hasMatch()) return m.captured(1);
    return {};
}

} // namespace

class TestCommittee : public QObject
{
    Q_OBJECT

private slots:
    void theSealShownIsTheHashOfTheSecretRevealed();
    void theSecretReproducesARecordedGame();
    void aResumedEveningKeepsSealAndSecret();
    void voidedCardsNeverWinAndAreNotPaidFor();
    void unsoldCardsAreNamedStrictly_data();
    void unsoldCardsAreNamedStrictly();
};

void TestCommittee::theSealShownIsTheHashOfTheSecretRevealed()
{
    // The seal is in the list of the evening before the first number, the secret in the record but
    // in nothing shown until the game is over; then the secret revealed hashes to the seal shown.
    QTemporaryDir dir;
    EveningHarness h(dir.filePath(QStringLiteral("serate.sqlite")));
    h.game.setSecretSource(seal::newSecret);
    h.evening->begin();
    h.print(6);
    QString sealAtFirstNumber;
    bool secretKeptFirst = false;
    QObject::connect(&h.game, &Game::numberChosen, [&](int, int ordinal, bool) {
        if (ordinal != 1) return;
        sealAtFirstNumber =
            found(logTexts(h.desk), QStringLiteral("Sigillo dell'estrazione: ([0-9a-f ]{19})"));
        // On disk before the number is shown.
        const auto kept = h.store.load(h.evening->evening().id, nullptr);
        secretKeptFirst = kept && kept->findSeal(1) && kept->findSeal(1)->secret.size() == 32 &&
                          !kept->findSeal(1)->isRevealed();
    });
    h.drawCountAndPause(20);
    QVERIFY(!sealAtFirstNumber.isEmpty());
    QVERIFY(secretKeptFirst);
    const StoredSeal *kept = h.evening->evening().findSeal(1);
    QVERIFY(kept);
    // A copy: the record's list of seals grows, and moves, as the evening goes on.
    const QByteArray firstSecret = kept->secret;
    const QString secretHex = seal::secretText(firstSecret);
    // Nothing shown so far holds the secret: not the log, not the verbale of the evening under way.
    QVERIFY(!logTexts(h.desk).join(QLatin1Char('\n')).contains(secretHex));
    QVERIFY(!verbaleHtml(h.evening->evening()).contains(secretHex));
    QVERIFY(verbaleHtml(h.evening->evening()).contains(sealAtFirstNumber));

    h.game.newGame();
    const QString revealed =
        found(logTexts(h.desk), QStringLiteral("Tombola n. 1, segreto dell'estrazione: ([0-9a-f]{64})"));
    QCOMPARE(revealed, secretHex);
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromHex(revealed.toLatin1()), QCryptographicHash::Sha256);
    QCOMPARE(QString(sealAtFirstNumber).remove(QLatin1Char(' ')), QString::fromLatin1(hash.toHex().left(16)));
    QVERIFY(h.evening->evening().findSeal(1)->isRevealed());
    QVERIFY(verbaleHtml(h.evening->evening()).contains(secretHex));
    // The second game is sealed afresh, its secret still unshown.
    h.drawCountAndPause(3);
    const StoredSeal *second = h.evening->evening().findSeal(2);
    QVERIFY(second && second->secret != firstSecret && !second->isRevealed());
    QVERIFY(!logTexts(h.desk).join(QLatin1Char('\n')).contains(seal::secretText(second->secret)));
    // Closing the evening reveals the game under way.
    const qint64 id = h.evening->evening().id;
    h.evening->close();
    const auto closed = h.store.load(id, nullptr);
    QVERIFY(closed && closed->findSeal(2) && closed->findSeal(2)->isRevealed());
}

void TestCommittee::theSecretReproducesARecordedGame()
{
    // A game drawn partly at random and partly from the basket, read back from the file: the draw
    // order of the revealed secret, with the basket's numbers in their places, is the record's.
    QTemporaryDir dir;
    EveningHarness h(dir.filePath(QStringLiteral("serate.sqlite")));
    h.game.setSecretSource(seal::newSecret);
    h.evening->begin();
    h.drawCountAndPause(6);
    QVERIFY(h.game.setBasketMode(true));
    int hand = 90;
    while (h.game.drawnNumbers().contains(hand))
        --hand;
    QVERIFY(h.game.enterNumber(hand));
    QVERIFY(h.game.setBasketMode(false));
    h.drawCountAndPause(20);
    h.game.newGame();
    const auto e = h.store.load(h.evening->evening().id, nullptr);
    QVERIFY(e);
    const StoredGame *g = e->findGame(1);
    QVERIFY(g && g->numbers.size() == 27);
    QMap<int, int> byHand;
    for (const StoredNumber &n : g->numbers)
        if (n.byHand) byHand.insert(n.ordinal, n.number);
    QCOMPARE(byHand, (QMap<int, int>{{7, hand}}));
    QVERIFY(e->findSeal(1) && e->findSeal(1)->isRevealed());
    QCOMPARE(seal::drawOrder(e->findSeal(1)->secret, byHand).mid(0, 27), g->drawn());
    // The verbale marks the hand number as outside the seal.
    QVERIFY(verbaleHtml(*e).contains(QStringLiteral("(panariello)")));
}

void TestCommittee::aResumedEveningKeepsSealAndSecret()
{
    // The program is gone mid-game: the evening comes back with the game's seal and its secret,
    // still unrevealed, and the draw goes on from it rather than from a new one.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    QByteArray secret;
    QString shown;
    {
        EveningHarness h(path);
        h.game.setSecretSource(seal::newSecret);
        h.evening->begin();
        // No card: no winner stops the draw before its count.
        h.drawCountAndPause(8);
        secret = h.evening->evening().findSeal(1)->secret;
        shown = h.game.seal();
    }
    EveningHarness h(path, 42);
    int asked = 0;
    h.game.setSecretSource([&asked] {
        ++asked;
        return QByteArray(seal::kSecretBytes, 'x');
    });
    const auto left = h.evening->unfinished();
    QVERIFY(left);
    QVERIFY(left->findSeal(1) && left->findSeal(1)->secret == secret && !left->findSeal(1)->isRevealed());
    h.evening->resume(*left);
    QCOMPARE(h.game.seal(), shown);
    QVERIFY(!logTexts(h.desk).join(QLatin1Char('\n')).contains(seal::secretText(secret)));
    h.drawCountAndPause(4);
    QCOMPARE(asked, 0);
    QCOMPARE(h.game.drawnNumbers(), seal::drawOrder(secret).mid(0, 12));
    QCOMPARE(h.store.load(left->id, nullptr)->findSeal(1)->secret, secret);
}

void TestCommittee::voidedCardsNeverWinAndAreNotPaidFor()
{
    // Unsold cards declared void before the first number: the draw fills them first, and still no
    // prize goes to them; the pot counts only the cards left; a restart keeps them out.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("serate.sqlite"));
    QList<CardCode> voided;
    {
        EveningHarness h(path);
        h.evening->begin();
        PrizePlan plan;
        plan.cardPrice = 200;
        h.desk.setPlan(plan);
        h.print(12);
        const CardsInPlay &inPlay = h.printRun.cardsInPlay();
        QString why;
        QVERIFY(!h.evening->voidCards(QStringLiteral("da 20 a 30"), &why));
        QVERIFY2(why.contains(QStringLiteral("nessuna cartella")), qPrintable(why));
        const CardInPlay third = inPlay.at(2), seventh = inPlay.at(6);
        voided = {inPlay.at(2).code, inPlay.at(3).code, inPlay.at(4).code, seventh.code};
        QVERIFY2(h.evening->voidCards(QStringLiteral("da 3 a 5, ") + formatCardCode(seventh.code), &why),
                 qPrintable(why));
        QCOMPARE(inPlay.size(), 8);
        QCOMPARE(h.desk.watch().size(), 8);
        QCOMPARE(h.desk.payout().takings, 8 * 200);
        for (const CardCode &c : voided) {
            QVERIFY(inPlay.isVoid(c));
            QVERIFY(!h.desk.playsThisGame(c));
        }
        // The draw completes the voided cards' rows first, then every number.
        QList<int> order = cardRow(third.card, 1) + cardRow(third.card, 2) + cardRow(third.card, 3);
        for (const int n : cardRow(seventh.card, 1) + cardRow(seventh.card, 2) + cardRow(seventh.card, 3))
            if (!order.contains(n)) order << n;
        for (int n = 1; n <= 90; ++n)
            if (!order.contains(n)) order << n;
        h.drawAndPause(order.mid(0, 1));
        QVERIFY(!h.evening->voidCards(QStringLiteral("8"), &why));
        for (int k = 1; k < 90; ++k) {
            h.drawAndPause(order.mid(k, 1));
            while (h.desk.sighting())
                h.desk.confirm();
        }
        QVERIFY(!h.desk.ladder().wins().isEmpty());
        for (const PrizeWin &w : h.desk.ladder().wins())
            QVERIFY2(w.who.card && !voided.contains(*w.who.card), qPrintable(w.name()));
        QVERIFY(h.desk.ladder().playingFor() == Prize::None);
        // The verbale lists them, and counts the takings without them.
        const QString html = verbaleHtml(h.evening->evening());
        QVERIFY2(html.contains(QStringLiteral("Cartelle invendute annullate")), qPrintable(html));
        QVERIFY2(html.contains(QStringLiteral("Cartelle in gioco in questa tombola: 8; incasso 16,00")),
                 qPrintable(html));
    }
    EveningHarness h(path, 5);
    const auto left = h.evening->unfinished();
    QVERIFY(left);
    QCOMPARE(left->voided.size(), 1);
    QCOMPARE(left->voided[0].cards, (QList<int>{3, 4, 5, 7}));
    h.evening->resume(*left);
    QCOMPARE(h.printRun.cardsInPlay().size(), 8);
    for (const CardCode &c : voided)
        QVERIFY(h.printRun.cardsInPlay().isVoid(c));
    // The numbering goes on after them.
    QCOMPARE(h.printRun.cardsInPlay().nextNumber(), 13);
}

void TestCommittee::unsoldCardsAreNamedStrictly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("cards"); // empty: refused
    QTest::newRow("a range, less a card void already") << "da 3 a 5" << QList<int>{3, 5};
    QTest::newRow("a range in capitals, past the last card") << "Da 9 A 900" << QList<int>{9, 10};
    QTest::newRow("a range the wrong way round") << "da 5 a 3" << QList<int>{};
    QTest::newRow("a whole run, counted from 1") << "stampa 2" << QList<int>{7, 8, 9, 10};
    QTest::newRow("a run that is not") << "stampa 3" << QList<int>{};
    QTest::newRow("numbers and a code, apart by commas and semicolons")
        << "1; 2, CODE6" << QList<int>{1, 2, 6};
    QTest::newRow("one item names nothing") << "1, da 20 a 30" << QList<int>{};
    QTest::newRow("a card already void") << "4" << QList<int>{};
    QTest::newRow("nothing") << " , " << QList<int>{};
}

void TestCommittee::unsoldCardsAreNamedStrictly()
{
    // Two runs: cards 1-6 and 7-10; card 4 declared void already.
    QFETCH(QString, text);
    QFETCH(QList<int>, cards);
    StoredEvening e;
    for (int run = 0; run < 2; ++run) {
        StoredRun r;
        for (int n = run == 0 ? 1 : 7; n <= (run == 0 ? 6 : 10); ++n)
            r.cards << CardInPlay{CardCode{quint32(1000 + n), 1, CardDealer::Classic}, n, {}};
        e.runs << r;
    }
    e.voided << StoredVoid{QDateTime::currentDateTime(), 1, QStringLiteral("4"), {4}};
    text.replace(QStringLiteral("CODE6"), formatCardCode(e.runs[0].cards[5].code));
    QString why;
    const auto got = selectCards(e, text, &why);
    if (cards.isEmpty()) {
        QVERIFY2(!got, qPrintable(text));
        QVERIFY(!why.isEmpty());
    } else {
        QVERIFY2(got, qPrintable(why));
        QCOMPARE(*got, cards);
    }
}

QTEST_GUILESS_MAIN(TestCommittee)
#include "test_committee.moc"
