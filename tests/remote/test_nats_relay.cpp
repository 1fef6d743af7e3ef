// The evening through a real NATS cluster (scripts/with-nats.sh, never a stand-in): phones far away
// follow a game number by number and a late one has the whole state at once; a phone's call reaches
// the prize desk and its requests are limited; a phone's credentials cannot publish the state, and the
// answers about a phone's cards, which any phone may receive, are sealed for that phone alone; a
// server killed mid-game loses no number for a phone that reconnects to another; the program started
// with its server down goes on and publishes the state when the server is back; wrong credentials
// are told in Italian; tls:// with a private CA. The game on its fake window.

#include "fakes/card_rows.h"
#include "fakes/evening_harness.h"
#include "nats_phone.h"
#include "phones/phone_service.h"
#include "phones/qr_code.h"
#include "remote/nats_relay.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

namespace
{
struct RelayHarness : EveningHarness {
    NatsCluster cluster;
    std::unique_ptr<PhoneService> service;
    std::unique_ptr<NatsRelay> relay;
    QString id = NatsRelay::newEveningId();

    RelayHarness() : EveningHarness({}, 17)
    {
        evening->begin();
        service = std::make_unique<PhoneService>(game, desk, printRun, *evening);
        relay = std::make_unique<NatsRelay>(*service);
    }
    NatsSettings settings(const QStringList &servers) const
    {
        NatsSettings s;
        s.servers = servers;
        s.user = cluster.callerUser;
        s.password = cluster.callerPassword;
        return s;
    }
    bool phone(NatsPhone &p, const QStringList &urls)
    {
        return p.open(urls, cluster.phoneUser, cluster.phonePassword, id);
    }
};

// Pumps `phone` until `done` holds or 10 s pass, the program's events running meanwhile.
template <typename F> bool until(NatsPhone &phone, F done, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        phone.pump();
        if (done()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}
} // namespace

class TestNatsRelay : public QObject
{
    Q_OBJECT

private slots:
    void init() { TOMBOLA_REQUIRE_CLUSTER(); }
    void cleanup() { QVERIFY(NatsCluster().makeWhole()); }

    void phonesFollowAndALateOneCatchesUp()
    {
        RelayHarness h;
        QSignalSpy link(h.relay.get(), &NatsRelay::linkChanged);
        h.relay->start(h.settings({h.cluster.urls[1]}), h.id);
        QVERIFY(h.relay->isStarted());
        QTRY_VERIFY_WITH_TIMEOUT(h.relay->isReaching(), 10000);
        QVERIFY(h.relay->problem().isEmpty());
        // Followed from another server of the cluster.
        NatsPhone early;
        QVERIFY(h.phone(early, {h.cluster.urls[0]}));
        QVERIFY(early.ask({{"t", "stato"}}));
        QVERIFY(early.waitFor(QStringLiteral("stato")) >= 0);
        h.drawAndPause({10, 20, 30, 40});
        QVERIFY(until(early, [&] { return early.seen == QList<int>{10, 20, 30, 40}; }));
        QCOMPARE(early.gaps, 0);
        int singles = 0;
        for (const QJsonObject &m : std::as_const(early.got))
            singles += m.value(QLatin1String("t")).toString() == QLatin1String("numero") ? 1 : 0;
        QCOMPARE(singles, 4);

        // A phone that joins now has the game as it stands with its first answer.
        NatsPhone late;
        QVERIFY(h.phone(late, {h.cluster.urls[2]}));
        QVERIFY(late.ask({{"t", "stato"}}));
        const int at = late.waitFor(QStringLiteral("stato"));
        QVERIFY(at >= 0);
        QCOMPARE(late.seen, (QList<int>{10, 20, 30, 40}));
        QCOMPARE(late.got[at].value(QLatin1String("parole")).toString(), QStringLiteral("QUARANTA"));
        QVERIFY(late.got[at].value(QLatin1String("pausa")).toBool());

        // A new game goes out whole.
        h.click(Control::cmd_nuovo);
        QVERIFY(until(late, [&] {
            return !late.got.isEmpty() && late.got.last().value(QLatin1String("tombola")).toInt() == 2 &&
                   late.seen.isEmpty();
        }));
        h.relay->stop();
        QCOMPARE(h.relay->link(), NatsRelay::Link::Off);
    }

    void aPhoneCallsAndIsLimited()
    {
        RelayHarness h;
        h.print(4);
        h.relay->limits().askBurst = 6;
        // Hardly any refill: a busy machine that takes seconds over the steps below must not give
        // the phone its calls back before the burst is tried.
        h.relay->limits().asksPerSecond = 0.001;
        h.relay->start(h.settings(h.cluster.urls), h.id);
        QTRY_VERIFY_WITH_TIMEOUT(h.relay->isReaching(), 10000);
        NatsPhone phone;
        QVERIFY(h.phone(phone, {h.cluster.urls[2]}));
        const CardInPlay mine = h.printRun.cardsInPlay().at(0);
        QVERIFY(phone.ask({{"t", "cartelle"}, {"codici", QJsonArray{formatCardCode(mine.code)}}}));
        int at = phone.waitFor(QStringLiteral("cartelle"));
        QVERIFY(at >= 0);
        QCOMPARE(phone.got[at].value(QLatin1String("cartelle")).toArray().size(), qsizetype(1));

        // The ambo on the card's first row: the phone's call goes to the prize desk.
        h.drawAndPause(cardRow(mine.card, 1).mid(0, 2) + QList<int>{offCard(mine.card)});
        QSignalSpy called(h.service.get(), &PhoneService::called);
        QVERIFY(phone.ask({{"t", "chiama"}, {"codice", formatCardCode(mine.code)}}));
        at = phone.waitFor(QStringLiteral("esito"));
        QVERIFY2(at >= 0, "no answer to the call");
        // It waits for the caller's Conferma, as a winner of the watch does.
        QVERIFY(!phone.got[at].value(QLatin1String("vinto")).toBool());
        h.desk.confirm();
        QCOMPARE(h.desk.ladder().wins().size(), qsizetype(1));
        QCOMPARE(h.desk.ladder().wins()[0].how, Confirmation::Phone);
        QCOMPARE(called.size(), 1);

        // Beyond its burst a phone is told to wait, and the desk is not asked.
        const qsizetype before = phone.got.size();
        for (int i = 0; i < 10; ++i)
            QVERIFY(phone.ask({{"t", "chiama"}, {"codice", formatCardCode(mine.code)}}));
        QVERIFY(until(phone, [&] { return phone.got.size() >= before + 10; }));
        int busy = 0;
        for (qsizetype i = before; i < phone.got.size(); ++i)
            busy += phone.got[i].value(QLatin1String("testo")).toString().startsWith(QStringLiteral("Troppe"))
                        ? 1
                        : 0;
        QVERIFY2(busy >= 5, qPrintable(QString::number(busy)));
        QVERIFY(called.size() <= 6);
        // Anything else is refused, not acted on.
        QVERIFY(phone.ask({{"t", "estrai"}}));
        QVERIFY(phone.waitFor(QStringLiteral("errore"), phone.got.size()) >= 0);
    }

    void aPhoneCannotPublishTheEveningNorReadAnothersCards()
    {
        RelayHarness h;
        h.print(2);
        h.relay->start(h.settings({h.cluster.urls[0]}), h.id);
        QTRY_VERIFY_WITH_TIMEOUT(h.relay->isReaching(), 10000);
        h.drawAndPause({5});
        NatsPhone liar, victim;
        QVERIFY(h.phone(liar, {h.cluster.urls[1]}));
        QVERIFY(h.phone(victim, {h.cluster.urls[2]}));
        // A whole state of 90 numbers, a number, and a "draw" on subjects of the evening: the
        // server refuses each (the library reports the violation), nobody receives them.
        const QByteArray fake = R"({"t":"stato","tombola":1,"estratti":[1,2,3]})";
        const QByteArray number = R"({"t":"numero","n":7,"k":2,"parole":"SETTE","smorfia":""})";
        for (const QByteArray &subject : {liar.subject("stato"), liar.subject("numero"),
                                          liar.subject("estrai"), QByteArray("tombola.altra.stato")}) {
            liar.publish(subject, subject.endsWith("numero") ? number : fake);
            const char *text = nullptr;
            QTRY_VERIFY(natsConnection_GetLastError(liar.connection(), &text) == NATS_NOT_PERMITTED);
            QVERIFY(QByteArray(text).contains("Permissions Violation"));
        }
        // Nor may it read the other phones' requests.
        natsSubscription *spy = nullptr;
        natsConnection_SubscribeSync(&spy, liar.connection(), liar.subject("chiamate").constData());
        natsConnection_FlushTimeout(liar.connection(), 2000);
        QVERIFY(victim.ask({{"t", "stato"}}));
        QVERIFY(victim.waitFor(QStringLiteral("stato")) >= 0);
        natsMsg *msg = nullptr;
        QCOMPARE(natsSubscription_NextMsg(&msg, spy, 300), NATS_TIMEOUT);
        natsSubscription_Destroy(spy);
        QTest::qWait(300);
        victim.pump();
        QCOMPARE(victim.seen, QList<int>{5});
        QCOMPARE(h.game.drawnNumbers(), QList<int>{5});

        // The answers go to reply subjects any phone may read: the liar reads them all, and what it
        // reads of the victim's card is sealed with a key only the victim and the program had.
        const CardInPlay card = h.printRun.cardsInPlay().at(1);
        natsConnection_SubscribeSync(&spy, liar.connection(), "_INBOX.>");
        natsConnection_FlushTimeout(liar.connection(), 2000);
        const QString code = formatCardCode(card.code);
        QVERIFY(victim.ask({{"t", "cartelle"}, {"codici", QJsonArray{code}}}));
        const int at = victim.waitFor(QStringLiteral("cartelle"));
        QVERIFY(at >= 0);
        QCOMPARE(victim.got[at].value(QLatin1String("cartelle")).toArray().size(), qsizetype(1));
        QCOMPARE(natsSubscription_NextMsg(&msg, spy, 2000), NATS_OK);
        const QByteArray read(natsMsg_GetData(msg), natsMsg_GetDataLength(msg));
        natsMsg_Destroy(msg);
        natsSubscription_Destroy(spy);
        QVERIFY(!read.contains("cartelle") && !read.contains(code.toUtf8()));
        QVERIFY(QJsonDocument::fromJson(read).isNull());
        // A request without a key is told to reload the page, in the clear, and nothing of the card.
        NatsPhone old;
        old.sealed = false;
        QVERIFY(h.phone(old, {h.cluster.urls[0]}));
        QVERIFY(old.ask({{"t", "cartelle"}, {"codici", QJsonArray{code}}}));
        const int refused = old.waitFor(QStringLiteral("errore"));
        QVERIFY(refused >= 0);
        QVERIFY(
            old.got[refused].value(QLatin1String("testo")).toString().contains(QStringLiteral("ricaricala")));
        QVERIFY(old.waitFor(QStringLiteral("cartelle"), 0, 500) < 0);
    }

    void aServerKilledMidGameLosesNoNumber()
    {
        RelayHarness h;
        const NatsCluster &c = h.cluster;
        h.relay->start(h.settings({c.urls[2], c.urls[1]}), h.id);
        QTRY_VERIFY_WITH_TIMEOUT(h.relay->isReaching(), 10000);
        NatsPhone phone;
        QVERIFY(h.phone(phone, {c.urls[0], c.urls[1]}));
        QVERIFY(phone.ask({{"t", "stato"}}));
        QVERIFY(phone.waitFor(QStringLiteral("stato")) >= 0);
        h.drawAndPause({1, 2, 3});
        QVERIFY(until(phone, [&] { return phone.seen == QList<int>{1, 2, 3}; }));
        // The phone's server dies; numbers go on meanwhile.
        QVERIFY(c.kill(0));
        h.drawAndPause({4, 5, 6});
        QVERIFY(until(
            phone, [&] { return phone.seen == QList<int>{1, 2, 3, 4, 5, 6}; }, 15000));
        h.drawAndPause({7});
        QVERIFY(until(phone, [&] { return phone.seen == QList<int>{1, 2, 3, 4, 5, 6, 7}; }));
        QVERIFY(h.relay->isReaching());
        QVERIFY(c.restart(0));
    }

    void theServerDownAtStartThenBack()
    {
        RelayHarness h;
        const NatsCluster &c = h.cluster;
        QVERIFY(c.kill(2));
        h.relay->start(h.settings({c.urls[2]}), h.id);
        // The game goes on; the relay says why the evening does not arrive.
        QTRY_COMPARE_WITH_TIMEOUT(h.relay->link(), NatsRelay::Link::Lost, 10000);
        QVERIFY(h.relay->problem().contains(QStringLiteral("non risponde")));
        h.drawAndPause({11, 22});
        QCOMPARE(h.game.drawnNumbers(), (QList<int>{11, 22}));
        NatsPhone phone;
        QVERIFY(h.phone(phone, {c.urls[1]}));
        QVERIFY(c.restart(2));
        QTRY_VERIFY_WITH_TIMEOUT(h.relay->isReaching(), 15000);
        // Published whole as soon as it is back, without being asked.
        QVERIFY(until(phone, [&] { return phone.seen == QList<int>{11, 22}; }));
        // Lost mid-game (the whole cluster: the relay would go on through another server of it),
        // and back again.
        for (int i = 0; i < 3; ++i)
            QVERIFY(c.kill(i));
        QTRY_COMPARE_WITH_TIMEOUT(h.relay->link(), NatsRelay::Link::Lost, 10000);
        h.drawAndPause({33});
        for (int i = 0; i < 3; ++i)
            QVERIFY(c.restart(i));
        QTRY_VERIFY_WITH_TIMEOUT(h.relay->isReaching(), 20000);
        QVERIFY(until(
            phone,
            [&] {
                return phone.seen == QList<int>{11, 22, 33};
            },
            20000));
    }

    void wrongCredentialsAreToldInItalian()
    {
        RelayHarness h;
        NatsSettings s = h.settings({h.cluster.urls[0]});
        s.password = QStringLiteral("sbagliata");
        h.relay->start(s, h.id);
        QTRY_COMPARE_WITH_TIMEOUT(h.relay->link(), NatsRelay::Link::Refused, 10000);
        QVERIFY2(h.relay->problem().contains(QStringLiteral("rifiutato le credenziali")),
                 qPrintable(h.relay->problem()));
        // The phones' credentials cannot publish the evening: told as a refusal too.
        s.user = h.cluster.phoneUser;
        s.password = h.cluster.phonePassword;
        h.relay->start(s, h.id);
        QTRY_COMPARE_WITH_TIMEOUT(h.relay->link(), NatsRelay::Link::Refused, 10000);
        QVERIFY2(h.relay->problem().contains(QStringLiteral("permessi")), qPrintable(h.relay->problem()));
    }

    void tlsWithThePrivateCa()
    {
        RelayHarness h;
        NatsSettings s = h.settings({h.cluster.tlsUrl});
        // Without the club's CA the certificate is not recognised.
        h.relay->start(s, h.id);
        QTRY_COMPARE_WITH_TIMEOUT(h.relay->link(), NatsRelay::Link::Lost, 10000);
        QVERIFY2(h.relay->problem().contains(QStringLiteral("TLS")), qPrintable(h.relay->problem()));
        s.caFile = h.cluster.ca;
        h.relay->start(s, h.id);
        QTRY_VERIFY_WITH_TIMEOUT(h.relay->isReaching(), 10000);
    }

    void theLinkCarriesWhatAPhoneNeeds()
    {
        RelayHarness h;
        NatsSettings s = h.settings({h.cluster.urls[0]});
        s.webSocket = QStringLiteral("wss://nats.example.org:443");
        s.phoneUser = QStringLiteral("telefono");
        s.phonePassword = QStringLiteral("a&b=c");
        s.pageAddress = QStringLiteral("https://club.example.org/tombola/");
        h.relay->start(s, h.id);
        const QUrl link(h.relay->phoneLink());
        QCOMPARE(link.adjusted(QUrl::RemoveFragment).toString(), s.pageAddress);
        const QUrlQuery fragment(link.fragment(QUrl::FullyEncoded));
        QCOMPARE(fragment.queryItemValue(QStringLiteral("nats"), QUrl::FullyDecoded), s.webSocket);
        QCOMPARE(fragment.queryItemValue(QStringLiteral("sera")), h.id);
        QCOMPARE(fragment.queryItemValue(QStringLiteral("parola"), QUrl::FullyDecoded), s.phonePassword);
        // The caller's own credentials never leave the machine.
        QVERIFY(!h.relay->phoneLink().contains(h.cluster.callerPassword));
        QVERIFY(h.relay->qrCode().size >= 21);
    }
};

QTEST_GUILESS_MAIN(TestNatsRelay)
#include "test_nats_relay.moc"
