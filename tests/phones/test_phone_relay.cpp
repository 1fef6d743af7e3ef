// The phones on the program's side: every phone gets each number once and in order, a phone that
// joins late gets the game as it stands, a player's codes are read as the card check reads them and
// only cards in play are taken, a call from a phone goes to the prize desk under the desk's rules,
// and cards dealt to phones are in play, limited per phone, and kept as runs of their own. The game
// on its fake window, the server on 127.0.0.1.

#include "evening/verbale.h"
#include "fakes/card_rows.h"
#include "fakes/evening_harness.h"
#include "phone_client.h"
#include "phones/phone_relay.h"

#include <QJsonArray>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <atomic>

namespace
{
struct PhonesHarness : EveningHarness {
    std::unique_ptr<PhoneRelay> relay;

    explicit PhonesHarness(const QString &path = {}) : EveningHarness(path, 11)
    {
        // An evening left open on the file is carried on, as the program does when told Si.
        if (const auto left = evening->unfinished())
            evening->resume(*left);
        else
            evening->begin();
        relay = std::make_unique<PhoneRelay>(game, desk, printRun, *evening);
        relay->limits().askBurst = 20;
    }
    bool open(TestPhone &phone) { return phone.open(relay->port(), relay->token()); }
};

QList<int> numbersOf(const QJsonValue &array)
{
    QList<int> out;
    for (const QJsonValue &v : array.toArray())
        out << v.toInt();
    return out;
}

// The numbers a phone was told were drawn, from its whole states and its single numbers.
QList<int> followed(const TestPhone &phone)
{
    QList<int> seen;
    for (const QJsonObject &m : phone.got) {
        const QString t = m.value(QLatin1String("t")).toString();
        if (t == QLatin1String("stato")) seen = numbersOf(m.value(QLatin1String("estratti")));
        if (t == QLatin1String("numero")) {
            if (m.value(QLatin1String("k")).toInt() != seen.size() + 1) return {-1};
            seen << m.value(QLatin1String("n")).toInt();
        }
    }
    return seen;
}

// A WebSocket text frame as a client must send it: masked, here with a key of zeros.
QByteArray maskedFrame(const QByteArray &payload)
{
    return QByteArray("\x81", 1) + char(0x80 | payload.size()) + QByteArray(4, '\0') + payload;
}

// What anyone on the hall's network can throw at the phones' server, round after round from a
// thread of its own until `stop`: connections opened and dropped, malformed and oversized requests,
// wrong tokens, and a socket that floods frames; one more socket holds a phone that never reads.
void attack(quint16 port, const QByteArray &token, const std::atomic<bool> &stop, std::atomic<int> &rounds)
{
    const QByteArray upgrade =
        "GET /" + token +
        "/ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    auto connected = [port] {
        auto s = std::make_unique<QTcpSocket>();
        s->connectToHost(QStringLiteral("127.0.0.1"), port);
        s->waitForConnected(1000);
        return s;
    };
    const auto silent = connected();
    silent->setReadBufferSize(1024);
    silent->write(upgrade);
    silent->waitForBytesWritten(1000);
    while (!stop) {
        std::vector<std::unique_ptr<QTcpSocket>> many;
        for (int i = 0; i < 40; ++i) {
            many.push_back(connected());
            if (i % 2) many.back()->write("GET /" + token.left(i % 26));
            many.back()->flush();
        }
        many.clear();
        for (const QByteArray &bad :
             {QByteArray("GARBAGE\r\n\r\n"), "GET /" + token + "/ HTTP/1.1\r\nX: " + QByteArray(40000, 'a'),
              QByteArray("GET /WRONGTOKENWRONGTOKENWRONG/ HTTP/1.1\r\n\r\n")}) {
            const auto s = connected();
            s->write(bad);
            s->waitForBytesWritten(1000);
            s->waitForDisconnected(1000);
        }
        const auto flood = connected();
        flood->write(upgrade);
        // Frames only once it is a phone's: the server reads nothing sent ahead of the upgrade.
        flood->waitForReadyRead(1000);
        for (int i = 0; i < 300 && flood->state() == QAbstractSocket::ConnectedState; ++i)
            flood->write(maskedFrame(R"({"t":"stato"})"));
        flood->waitForDisconnected(2000);
        ++rounds;
    }
}
} // namespace

class TestPhoneRelay : public QObject
{
    Q_OBJECT

private slots:
    void theBankCannotBeDrained();
    void phonesFollowTheGame()
    {
        PhonesHarness h;
        QVERIFY(!h.relay->isOn());
        QVERIFY(h.relay->address().isEmpty());
        QVERIFY(h.relay->switchOn());
        QVERIFY(h.relay->address().contains(QString::fromLatin1(h.relay->token()).toLower()));
        QVERIFY(h.relay->qrCode().size >= 21);
        TestPhone early;
        QVERIFY(h.open(early));
        QCOMPARE(early.waitFor(QStringLiteral("stato")), 0);
        h.drawAndPause({10, 20, 30, 40});
        QTRY_COMPARE(followed(early), (QList<int>{10, 20, 30, 40}));
        // Each number came once, as itself.
        int singles = 0;
        for (const QJsonObject &m : std::as_const(early.got))
            singles += m.value(QLatin1String("t")).toString() == QLatin1String("numero") ? 1 : 0;
        QCOMPARE(singles, 4);
        QTRY_VERIFY(early.got.last().value(QLatin1String("pausa")).toBool());

        // The repeat in the pause: each number it says again reaches the phones, with its words,
        // the same number twice as twice.
        for (const char *count : {"2", "1"}) {
            h.click(Control::cmd_ripeti);
            h.typeInRepeatBox(QString::fromLatin1(count));
            h.enterInRepeatBox();
        }
        const auto repeated = [&early] {
            QList<int> out;
            for (const QJsonObject &m : std::as_const(early.got))
                if (m.value(QLatin1String("t")).toString() == QLatin1String("ripetuto"))
                    out << m.value(QLatin1String("n")).toInt();
            return out;
        };
        QTRY_COMPARE(repeated(), (QList<int>{30, 40, 40}));
        QCOMPARE(early.got.last().value(QLatin1String("parole")).toString(), QStringLiteral("QUARANTA"));

        // A phone that comes back mid-game sees the same game.
        TestPhone late;
        QVERIFY(h.open(late));
        const int first = late.waitFor(QStringLiteral("stato"));
        QVERIFY(first >= 0);
        QCOMPARE(numbersOf(late.got[first].value(QLatin1String("estratti"))), (QList<int>{10, 20, 30, 40}));
        QCOMPARE(late.got[first].value(QLatin1String("parole")).toString(), QStringLiteral("QUARANTA"));
        QCOMPARE(late.got[first].value(QLatin1String("premio")).toString(), QStringLiteral("ambo"));
        // The page names the prize and counts what a card misses from these alone.
        QCOMPARE(late.got[first].value(QLatin1String("premioParola")).toString(), QStringLiteral("AMBO"));
        QCOMPARE(late.got[first].value(QLatin1String("premioNome")).toString(), QStringLiteral("l'AMBO"));
        QCOMPARE(late.got[first].value(QLatin1String("premioRiga")).toInt(), 2);

        h.click(Control::cmd_nuovo);
        QTRY_VERIFY(late.got.last().value(QLatin1String("estratti")).toArray().isEmpty() &&
                    late.got.last().value(QLatin1String("tombola")).toInt() == 2);
        h.relay->switchOff();
        QVERIFY(late.waitClosed());
        QVERIFY(early.waitClosed());
    }

    // The draw goes on while the phones' server is attacked from the network: every number is drawn
    // and every well-behaved phone follows, the server's thread taking the blows.
    void theGameGoesOnUnderAttack()
    {
        PhonesHarness h;
        QVERIFY(h.relay->switchOn());
        TestPhone good;
        QVERIFY(h.open(good));
        QCOMPARE(good.waitFor(QStringLiteral("stato")), 0);
        std::atomic<bool> stop{false};
        std::atomic<int> rounds{0};
        std::unique_ptr<QThread> attacker(QThread::create(
            [&, port = h.relay->port(), token = h.relay->token()] { attack(port, token, stop, rounds); }));
        attacker->start();
        // Stopped on the way out whatever the test found, so a failure does not hang.
        const auto stopped = qScopeGuard([&] {
            stop = true;
            attacker->wait();
        });
        // A number at a time, through at least two whole rounds of the attack.
        QList<int> order;
        while (order.size() < 30 || (rounds < 2 && order.size() < 90)) {
            order << int(order.size() * 37) % 90 + 1;
            h.drawAndPause({order.last()});
            QTest::qWait(50);
        }
        QVERIFY(rounds >= 2);
        QCOMPARE(h.game.drawnNumbers(), order);
        QTRY_COMPARE(followed(good), order);
        QVERIFY(!good.closed);
        TestPhone after;
        QVERIFY(h.open(after));
        QVERIFY(after.waitFor(QStringLiteral("stato")) >= 0);
    }

    void cardsCallsAndDeals()
    {
        PhonesHarness h;
        h.print(6);
        QVERIFY(h.relay->switchOn());
        TestPhone phone;
        QVERIFY(h.open(phone));
        phone.say({{"t", "ciao"}, {"telefono", "PHONE12345"}});

        // Typed as a player would: small letters, no blanks or hyphen, O for 0.
        const CardInPlay mine = h.printRun.cardsInPlay().at(0);
        QString typed = formatCardCode(mine.code).toLower().remove(QLatin1Char(' ')).remove(QLatin1Char('-'));
        typed.replace(QLatin1Char('0'), QLatin1Char('o'));
        CardCode stranger{12345, 1, CardDealer::Classic};
        while (h.printRun.cardsInPlay().contains(stranger))
            ++stranger.series;
        phone.say({{"t", "cartelle"}, {"codici", QJsonArray{typed, formatCardCode(stranger), "XYZ"}}});
        int at = phone.waitFor(QStringLiteral("cartelle"));
        QVERIFY(at >= 0);
        const QJsonArray cards = phone.got[at].value(QLatin1String("cartelle")).toArray();
        QCOMPARE(cards.size(), qsizetype(1));
        QCOMPARE(cards[0][QLatin1String("codice")].toString(), formatCardCode(mine.code));
        QCOMPARE(cards[0][QLatin1String("numero")].toInt(), mine.number);
        QCOMPARE(numbersOf(cards[0][QLatin1String("righe")].toArray()[0]).size(),
                 qsizetype(Cartella::colonne));
        QCOMPARE(numbersOf(cards[0][QLatin1String("righe")].toArray()[1])[0], valore(mine.card.cella(2, 1)));
        const QJsonArray errors = phone.got[at].value(QLatin1String("errori")).toArray();
        QCOMPARE(errors.size(), qsizetype(2));
        QVERIFY(errors[0].toString().contains(QStringLiteral("non in gioco")));

        // Its ambo: the watch sees it and the room is told a win is being checked; the player calls.
        h.drawAndPause(cardRow(mine.card, 1).mid(0, 2) + QList<int>{offCard(mine.card)});
        QTRY_VERIFY(
            phone.got.last().value(QLatin1String("verifica")).toString().contains(QStringLiteral("AMBO")));
        phone.say({{"t", "chiama"}, {"codice", formatCardCode(mine.code)}});
        at = phone.waitFor(QStringLiteral("esito"));
        QVERIFY(at >= 0);
        // The call waits for the caller, as the watch's winner does; the caller's answer gives it.
        QVERIFY(!phone.got[at].value(QLatin1String("vinto")).toBool());
        QVERIFY(phone.got[at].value(QLatin1String("testo")).toString().contains(QStringLiteral("conferma")));
        QVERIFY(h.desk.ladder().wins().isEmpty() && h.desk.sighting());
        h.desk.confirm();
        QCOMPARE(h.desk.ladder().wins().size(), qsizetype(1));
        QCOMPARE(h.desk.ladder().wins()[0].prize, Prize::Ambo);
        QCOMPARE(h.desk.ladder().wins()[0].how, Confirmation::Phone);
        bool logged = false;
        for (const PrizeDesk::Event &e : h.desk.events())
            logged = logged || e.text.startsWith(QStringLiteral("Chiamata dal telefono"));
        QVERIFY(logged);
        // Called again, it is the same winner, once.
        phone.say({{"t", "chiama"}, {"codice", formatCardCode(mine.code)}});
        QVERIFY(phone.waitFor(QStringLiteral("esito"), at + 1) > at);
        QCOMPARE(h.desk.ladder().wins().size(), qsizetype(1));
        // A card that holds nothing wins nothing, and the refusal is in the evening's log.
        const CardInPlay other = h.printRun.cardsInPlay().at(1);
        const QList<int> out = h.game.drawnNumbers();
        int onRow = 0;
        for (const int n : cardRow(other.card, 1) + cardRow(other.card, 2) + cardRow(other.card, 3))
            onRow += out.contains(n) ? 1 : 0;
        if (onRow < 2) {
            const qsizetype before = phone.got.size();
            phone.say({{"t", "chiama"}, {"codice", formatCardCode(other.code)}});
            at = phone.waitFor(QStringLiteral("esito"), before);
            QVERIFY(!phone.got[at].value(QLatin1String("vinto")).toBool());
            QVERIFY(h.desk.events().last().refused);
        }

        // Cards for phones: none until the caller allows them, then up to the limit.
        const qsizetype printed = h.printRun.cardsInPlay().size();
        qsizetype before = phone.got.size();
        phone.say({{"t", "dammi"}});
        QVERIFY(phone.waitFor(QStringLiteral("errore"), before) >= 0);
        h.relay->setCardsPerPhone(2);
        QTRY_COMPARE(phone.got.last().value(QLatin1String("cartelleTelefono")).toInt(), 2);
        for (int i = 0; i < 2; ++i) {
            before = phone.got.size();
            phone.say({{"t", "dammi"}});
            at = phone.waitFor(QStringLiteral("cartelle"), before);
            QVERIFY(at >= 0);
            const QJsonObject dealt = phone.got[at].value(QLatin1String("cartelle")).toArray()[0].toObject();
            QCOMPARE(dealt[QLatin1String("numero")].toInt(), int(printed) + 1 + i);
            // Numbers are out: it plays from the next game.
            QVERIFY(!dealt[QLatin1String("nota")].toString().isEmpty());
        }
        before = phone.got.size();
        phone.say({{"t", "dammi"}});
        QVERIFY(phone.waitFor(QStringLiteral("errore"), before) >= 0);
        QCOMPARE(h.printRun.cardsInPlay().size(), printed + 2);
        int toPhone = 0;
        for (const StoredRun &run : h.evening->evening().runs)
            toPhone +=
                phoneOf(run.destination).phone == QLatin1String("PHONE12345") ? int(run.cards.size()) : 0;
        QCOMPARE(toPhone, 2);
        const QString verbale = verbaleHtml(h.evening->evening());
        QVERIFY(verbale.contains(QStringLiteral("data al telefono PHONE12345")));
        QVERIFY(verbale.contains(QStringLiteral("chiamata dal telefono")));
    }
};

void TestPhoneRelay::theBankCannotBeDrained()
{
    // A page that renamed itself at will took cards without limit: a second "ciao" on the same
    // connection, or fresh connections with fresh names from the same address.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("serate.sqlite"));
    // What the bank answers a phone's "dammi": "cartella", the refusal's text, or "chiusa".
    auto deal = [](TestPhone &phone) -> QString {
        const qsizetype before = phone.got.size();
        phone.say({{"t", "dammi"}});
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000) {
            for (qsizetype i = before; i < phone.got.size(); ++i) {
                const QString t = phone.got[i].value(QLatin1String("t")).toString();
                if (t == QLatin1String("cartelle")) return QStringLiteral("cartella");
                if (t == QLatin1String("errore"))
                    return phone.got[i].value(QLatin1String("testo")).toString();
            }
            if (phone.closed) return QStringLiteral("chiusa");
            QTest::qWait(5);
        }
        return {};
    };
    {
        PhonesHarness h(file);
        QVERIFY(h.relay->switchOn());
        h.relay->setCardsPerPhone(2);
        const qsizetype printed = h.printRun.cardsInPlay().size();
        TestPhone phone;
        QVERIFY(h.open(phone));
        phone.say({{"t", "ciao"}, {"telefono", "phoneAAAA0001"}});
        QCOMPARE(deal(phone), QStringLiteral("cartella"));
        QCOMPARE(deal(phone), QStringLiteral("cartella"));
        QVERIFY(deal(phone).contains(QStringLiteral("massimo")));
        // The same name again is the same phone; another name closes the connection.
        phone.say({{"t", "ciao"}, {"telefono", "phoneAAAA0001"}});
        QVERIFY(deal(phone).contains(QStringLiteral("massimo")));
        phone.say({{"t", "ciao"}, {"telefono", "phoneBBBB0002"}});
        QVERIFY(phone.waitClosed());
        // Fresh connections from the same address, each with names of its own, get nothing more.
        for (int i = 0; i < 15; ++i) {
            TestPhone other;
            QVERIFY(h.open(other));
            other.say(
                {{"t", "ciao"}, {"telefono", QStringLiteral("phoneNEW%1X").arg(i, 5, 10, QLatin1Char('0'))}});
            const QString answer = deal(other);
            QVERIFY2(answer.contains(QStringLiteral("massimo")), qPrintable(answer));
        }
        QCOMPARE(h.printRun.cardsInPlay().size(), printed + 2);
    }
    // Started again on the same evening: the phone's two cards are still counted.
    PhonesHarness again(file);
    QVERIFY(again.relay->switchOn());
    again.relay->setCardsPerPhone(2);
    const qsizetype printed = again.printRun.cardsInPlay().size();
    TestPhone back;
    QVERIFY(again.open(back));
    back.say({{"t", "ciao"}, {"telefono", "phoneZZZZ0009"}});
    QVERIFY(deal(back).contains(QStringLiteral("massimo")));
    QCOMPARE(again.printRun.cardsInPlay().size(), printed);
}

QTEST_GUILESS_MAIN(TestPhoneRelay)
#include "test_phone_relay.moc"
