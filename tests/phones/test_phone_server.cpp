// The phones' server against what a phone, or anyone on the network, can send: only the evening's
// token opens anything, only the page's files are served, and a malformed, oversized, flooding or
// silent connection is closed alone while every other phone goes on receiving. The messages a phone
// may send are read strictly. GUI-less, on 127.0.0.1.

#include "phone_client.h"
#include "phones/phone_server.h"

#include <QFile>
#include <QJsonArray>
#include <QTest>

namespace
{
const QByteArray kToken = "ABCDEFGHJKMNPQRSTVWXYZ2345";

PhoneState stateWith(QList<int> drawn)
{
    PhoneState s;
    s.drawn = std::move(drawn);
    s.words = QStringLiteral("X");
    s.prize = QStringLiteral("ambo");
    s.playingFor = QStringLiteral("Si gioca per: AMBO");
    return s;
}

struct Server {
    QList<phone_protocol::Request> asked;
    PhoneServer::Thread thread;
    quint16 port = 0;
    explicit Server(PhoneServer::Limits limits = {})
        : thread(kToken, limits,
                 [this](quint64 client, const QString &, const QString &, const phone_protocol::Request &r) {
                     asked << r;
                     Q_UNUSED(client);
                 })
    {
        port = thread.listen(0);
        thread.publish(stateWith({}));
    }
    // Waits until the server counts `n` connections.
    // The server counts `n` connections, and still does a quarter of a second later, within `ms`: a
    // connection the kernel holds for the server to accept counts only once accepted, so a count
    // seen once may rise again while the server takes the rest (and fall once they are closed).
    bool connectionsBecome(int n, int ms = 5000)
    {
        QElapsedTimer clock, steady;
        clock.start();
        while (clock.elapsed() < ms) {
            if (thread.connectionCount() != n)
                steady.invalidate();
            else if (!steady.isValid())
                steady.start();
            else if (steady.elapsed() >= 250)
                return true;
            QTest::qWait(10);
        }
        return false;
    }
};

QByteArray get(const QByteArray &path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}
} // namespace

class TestPhoneServer : public QObject
{
    Q_OBJECT

private slots:
    void messagesAreReadStrictly_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("kind");
        using R = phone_protocol::Request;
        QTest::newRow("hello") << R"({"t":"ciao","telefono":"AB12CD34EF"})" << int(R::Hello);
        QTest::newRow("state") << R"({"t":"stato"})" << int(R::State);
        QTest::newRow("deal") << R"({"t":"dammi"})" << int(R::Deal);
        QTest::newRow("call") << R"({"t":"chiama","codice":"7kq3m4x"})" << int(R::Call);
        QTest::newRow("cards") << R"({"t":"cartelle","codici":["7KQ3M-4 X","00R38-2 0"]})" << int(R::Cards);
        QTest::newRow("extra key") << R"({"t":"stato","x":1})" << int(R::Invalid);
        QTest::newRow("unknown kind") << R"({"t":"estrai"})" << int(R::Invalid);
        QTest::newRow("not an object") << R"(["stato"])" << int(R::Invalid);
        QTest::newRow("not json") << R"({"t":"stato")" << int(R::Invalid);
        QTest::newRow("short phone name") << R"({"t":"ciao","telefono":"AB1"})" << int(R::Invalid);
        QTest::newRow("phone name with a slash")
            << R"({"t":"ciao","telefono":"AB12CD34/F"})" << int(R::Invalid);
        QTest::newRow("phone name with other digits")
            << QStringLiteral(R"({"t":"ciao","telefono":"AB12CD34\u0663\u0663"})") << int(R::Invalid);
        QTest::newRow("one code not a text")
            << R"({"t":"cartelle","codici":["7KQ3M-4 X",12]})" << int(R::Invalid);
        QTest::newRow("code not a text") << R"({"t":"chiama","codice":12})" << int(R::Invalid);
        QTest::newRow("empty code") << R"({"t":"chiama","codice":""})" << int(R::Invalid);
        QTest::newRow("long code") << R"({"t":"chiama","codice":"0123456789012345678901234"})"
                                   << int(R::Invalid);
        QTest::newRow("codes not a list") << R"({"t":"cartelle","codici":"7KQ3M-4 X"})" << int(R::Invalid);
        QString many = QStringLiteral(R"({"t":"cartelle","codici":[)");
        for (int i = 0; i < 13; ++i)
            many += QStringLiteral(R"("7KQ3M-4 X",)");
        many.chop(1);
        QTest::newRow("thirteen codes") << many + QStringLiteral("]}") << int(R::Invalid);
    }
    void messagesAreReadStrictly()
    {
        QFETCH(QString, message);
        QFETCH(int, kind);
        const phone_protocol::Request r = phone_protocol::parse(message);
        QCOMPARE(int(r.kind), kind);
        // A refused message leaves nothing half-read behind.
        if (kind == int(phone_protocol::Request::Invalid)) QVERIFY(r.codes.isEmpty() && r.phone.isEmpty());
    }

    // A number drawn or taken back goes as itself; anything else that changed goes whole.
    void onlyANumberTravelsAlone()
    {
        const PhoneState three = stateWith({4, 8, 15});
        PhoneState four = stateWith({4, 8, 15, 16});
        const auto drawn = QJsonDocument::fromJson(phone_protocol::delta(three, four)).object();
        QCOMPARE(drawn.value(QLatin1String("t")).toString(), QStringLiteral("numero"));
        QCOMPARE(drawn.value(QLatin1String("n")).toInt(), 16);
        QCOMPARE(drawn.value(QLatin1String("k")).toInt(), 4);
        const auto back = QJsonDocument::fromJson(phone_protocol::delta(four, three)).object();
        QCOMPARE(back.value(QLatin1String("t")).toString(), QStringLiteral("tolto"));
        QCOMPARE(back.value(QLatin1String("n")).toInt(), 16);
        four.paused = true;
        QVERIFY(phone_protocol::delta(three, four).isEmpty());
        QVERIFY(phone_protocol::delta(three, stateWith({4, 8, 16})).isEmpty());
        QVERIFY(phone_protocol::delta(three, stateWith({4, 8, 15, 16, 23})).isEmpty());
    }

    void onlyTheTokenOpensThePage()
    {
        Server server;
        QVERIFY(server.port != 0);
        const RawExchange page = rawHttp(server.port, get("/" + kToken + "/"));
        QVERIFY(page.answer.startsWith("HTTP/1.1 200"));
        QVERIFY(page.answer.contains("<html lang=\"it\">"));
        // The QR code's capitals and a typed address's small letters are the same token.
        QVERIFY(
            rawHttp(server.port, get("/" + kToken.toLower() + "/app.js")).answer.startsWith("HTTP/1.1 200"));
        // Nothing of the page comes from elsewhere; its voice comes from here.
        QVERIFY(
            page.answer.contains("Content-Security-Policy: default-src 'none'; script-src 'self'; style-src "
                                 "'self'; connect-src 'self'; img-src 'self' data:; media-src 'self'; "));
        // The voice: the program's own clip of each number, under the token.
        QFile clip(QStringLiteral(":/clips/NUMERO42.wav"));
        QVERIFY(clip.open(QIODevice::ReadOnly));
        const RawExchange voice = rawHttp(server.port, get("/" + kToken + "/voce/NUMERO42.wav"));
        QVERIFY(voice.answer.startsWith("HTTP/1.1 200"));
        QVERIFY(voice.answer.contains("\r\nContent-Type: audio/wav\r\n"));
        QVERIFY(voice.answer.endsWith("\r\n\r\n" + clip.readAll()));
        const RawExchange bare = rawHttp(server.port, get("/" + kToken));
        QVERIFY(bare.answer.startsWith("HTTP/1.1 302"));
        QVERIFY(bare.answer.contains("Location: /" + kToken + "/"));
        for (const QByteArray &path :
             {QByteArray("/"), QByteArray("/app.js"), "/" + kToken.left(25) + "/", "/" + kToken + "X/",
              "/" + kToken + "/../" + kToken + "/", "/" + kToken + "/index.html",
              "/" + kToken + "/%2e%2e/etc/passwd", "/" + kToken + "/ws", QByteArray("/voce/NUMERO42.wav"),
              "/" + kToken + "/voce/NUMERO0.wav", "/" + kToken + "/voce/NUMERO91.wav",
              "/" + kToken + "/voce/AMBO.wav", "/" + kToken + "/voce/", "/" + kToken + "/NUMERO42.wav"}) {
            const RawExchange denied = rawHttp(server.port, get(path));
            QVERIFY2(denied.answer.startsWith("HTTP/1.1 404"), path.constData());
            QVERIFY2(!denied.answer.contains("<html"), path.constData());
            QVERIFY2(denied.closedByServer, path.constData());
        }
        const RawExchange post = rawHttp(server.port, "POST /" + kToken +
                                                          "/ HTTP/1.1\r\nHost: x\r\n"
                                                          "Content-Length: 2\r\n\r\n{}");
        QVERIFY(post.answer.startsWith("HTTP/1.1 404"));
        // A WebSocket without the token is refused too.
        TestPhone stranger;
        stranger.socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/wrong/ws").arg(server.port)));
        QVERIFY(stranger.waitClosed());
        QVERIFY(stranger.got.isEmpty());
        QVERIFY(server.connectionsBecome(0));
    }

    // Each bad connection is closed, and the phone that behaves sees every state that followed.
    void badConnectionsCloseAlone()
    {
        PhoneServer::Limits limits;
        limits.requestBytes = 4096;
        Server server(limits);
        TestPhone good;
        QVERIFY(good.open(server.port, kToken));
        QVERIFY(good.waitFor(QStringLiteral("stato")) == 0);

        QVERIFY(rawHttp(server.port, "GARBAGE\r\n\r\n").closedByServer);
        QVERIFY(rawHttp(server.port, "GET /" + kToken + "/ HTTP/1.1\r\nX: " + QByteArray(64 * 1024, 'a'))
                    .closedByServer);
        QVERIFY(rawHttp(server.port, QByteArray(100 * 1024, '\n')).closedByServer);
        QVERIFY(rawHttp(server.port, "GET /" + kToken + "/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                         QByteArray(32 * 1024, 'f'))
                    .closedByServer);

        auto misbehave = [&](const std::function<void(TestPhone &)> &act, const char *what) {
            TestPhone bad;
            QVERIFY2(bad.open(server.port, kToken), what);
            act(bad);
            QVERIFY2(bad.waitClosed(), what);
        };
        misbehave([](TestPhone &p) { p.socket.sendBinaryMessage("{}"); }, "binary");
        misbehave([](TestPhone &p) { p.socket.sendTextMessage(QStringLiteral("{nope")); }, "not json");
        misbehave([](TestPhone &p) { p.socket.sendTextMessage(QStringLiteral(R"({"t":"estrai"})")); },
                  "draw");
        misbehave([](TestPhone &p) { p.socket.sendTextMessage(QString(5000, QLatin1Char('a'))); }, "too big");
        misbehave(
            [](TestPhone &p) {
                for (int i = 0; i < 200; ++i)
                    p.socket.sendTextMessage(QStringLiteral(R"({"t":"stato"})"));
            },
            "flood");

        // Calls and card requests beyond their rate are refused, not passed on.
        TestPhone eager;
        QVERIFY(eager.open(server.port, kToken));
        for (int i = 0; i < 8; ++i)
            eager.say({{"t", "chiama"}, {"codice", "7KQ3M-4 X"}});
        QVERIFY(eager.waitFor(QStringLiteral("errore")) > 0);
        QTRY_COMPARE(server.asked.size(), qsizetype(limits.askBurst));

        const QList<int> order{12, 5, 77};
        QList<int> drawn;
        for (const int n : order) {
            drawn << n;
            server.thread.publish(stateWith(drawn));
        }
        QTRY_COMPARE(good.got.size(), qsizetype(4));
        for (qsizetype k = 1; k <= 3; ++k) {
            QCOMPARE(good.got[k].value(QLatin1String("t")).toString(), QStringLiteral("numero"));
            QCOMPARE(good.got[k].value(QLatin1String("n")).toInt(), order[k - 1]);
        }
        QVERIFY(!good.closed);
    }

    void connectionsAreLimited()
    {
        PhoneServer::Limits limits;
        limits.perAddress = 5;
        Server server(limits);
        std::vector<std::unique_ptr<TestPhone>> phones;
        for (int i = 0; i < 5; ++i) {
            phones.push_back(std::make_unique<TestPhone>());
            QVERIFY(phones.back()->open(server.port, kToken));
        }
        QTRY_COMPARE(server.thread.phoneCount(), 5);
        TestPhone sixth;
        sixth.socket.open(QUrl(
            QStringLiteral("ws://127.0.0.1:%1/%2/ws").arg(server.port).arg(QString::fromLatin1(kToken))));
        QVERIFY(sixth.waitClosed());
        phones.clear();
        QVERIFY(server.connectionsBecome(0));

        // Hundreds opened and dropped, some half-way through a request: none is left counted.
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < 300; ++i) {
            auto s = std::make_unique<QTcpSocket>();
            s->connectToHost(QStringLiteral("127.0.0.1"), server.port);
            if (i % 3 == 0) s->write("GET /" + kToken);
            sockets.push_back(std::move(s));
            if (sockets.size() == 4) {
                for (auto &t : sockets)
                    t->waitForConnected(1000), t->flush(), t->abort();
                sockets.clear();
            }
        }
        sockets.clear();
        QVERIFY(server.connectionsBecome(0, 60000));
        QVERIFY(rawHttp(server.port, get("/" + kToken + "/")).answer.startsWith("HTTP/1.1 200"));
    }

    // A phone that never reads is let go once its queue is full; the others get everything.
    void aPhoneThatNeverReadsIsLetGo()
    {
        PhoneServer::Limits limits;
        limits.mostQueuedBytes = 64 * 1024;
        Server server(limits);
        TestPhone good;
        QVERIFY(good.open(server.port, kToken));
        QTcpSocket silent;
        silent.setReadBufferSize(1024);
        silent.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        silent.connectToHost(QStringLiteral("127.0.0.1"), server.port);
        QVERIFY(silent.waitForConnected(3000));
        silent.write("GET /" + kToken +
                     "/ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        silent.flush();
        QTRY_COMPARE(server.thread.phoneCount(), 2);
        PhoneState big = stateWith({});
        for (int i = 0; i < 40; ++i)
            big.wins << QString(500, QLatin1Char('w'));
        // Each state once the reading phone, which shares this thread with the publisher, has read
        // the one before: under a slow build it would otherwise fall behind too.
        for (int g = 1; g <= 400; ++g) {
            big.game = g;
            server.thread.publish(big);
            QElapsedTimer read;
            read.start();
            while (good.got.size() <= g && !good.closed && read.elapsed() < 5000)
                QTest::qWait(1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.thread.phoneCount(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(good.got.size(), qsizetype(401), 10000);
        QCOMPARE(good.got.last().value(QLatin1String("tombola")).toInt(), 400);
    }

    // Two slips a browser never makes, each once let through: a frame the client did not mask (the
    // WebSocket standard has the server close the connection), and a request sent right behind one
    // that was refused; and a phone may not change its name on its connection.
    void whatNoBrowserSendsIsRefused()
    {
        Server server;
        RawPhone raw;
        QVERIFY(raw.open(server.port, kToken));
        QTRY_COMPARE(server.thread.phoneCount(), 1);
        raw.send(RawPhone::frame(R"({"t":"stato"})"));
        QVERIFY(!raw.waitClosed(500)); // masked: answered, and open
        QVERIFY(raw.got.count("\"t\":\"stato\"") >= 2);
        raw.send(RawPhone::frame(R"({"t":"stato"})", false));
        QVERIFY(raw.waitClosed());
        QTRY_COMPARE(server.thread.phoneCount(), 0);

        const RawExchange twice =
            rawHttp(server.port, get("/" + kToken + "/nothing") + get("/" + kToken + "/"));
        QVERIFY(twice.answer.startsWith("HTTP/1.1 404"));
        QCOMPARE(twice.answer.count("HTTP/1.1"), 1);
        QVERIFY(twice.closedByServer);
        // A request the server answers may be followed by another on the same connection.
        const RawExchange kept =
            rawHttp(server.port, get("/" + kToken + "/app.js") + get("/" + kToken + "/"), 1000);
        QCOMPARE(kept.answer.count("HTTP/1.1 200"), 2);

        TestPhone phone;
        QVERIFY(phone.open(server.port, kToken));
        phone.say({{"t", "ciao"}, {"telefono", "phoneAAAA0001"}});
        phone.say({{"t", "ciao"}, {"telefono", "phoneAAAA0001"}});
        const qsizetype before = phone.got.size();
        phone.say({{"t", "stato"}});
        QVERIFY(phone.waitFor(QStringLiteral("stato"), before) >= 0);
        phone.say({{"t", "ciao"}, {"telefono", "phoneBBBB0002"}});
        QVERIFY(phone.waitClosed());
    }

    void switchedOffClosesEverything()
    {
        auto server = std::make_unique<Server>();
        const quint16 port = server->port;
        TestPhone phone;
        QVERIFY(phone.open(port, kToken));
        QTcpSocket idle;
        idle.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(idle.waitForConnected(3000));
        QVERIFY(server->connectionsBecome(2));
        server.reset();
        QVERIFY(phone.waitClosed());
        QTRY_VERIFY(idle.state() != QAbstractSocket::ConnectedState);
        QTcpSocket late;
        late.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(!late.waitForConnected(1000) || !late.waitForReadyRead(500));
    }
};

QTEST_GUILESS_MAIN(TestPhoneServer)
#include "test_phone_server.moc"
