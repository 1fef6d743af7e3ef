// The phones' server with a hall full of phones and with phones that read late: each message goes
// to the kernel at once when it can and waits in the server's buffer when it cannot, and either way
// every phone gets every state and number once and in order; a phone that stops reading is let go
// without holding the others; the limit of connections is the hall's, two thousand, and no more.
// GUI-less, on 127.0.0.1.

#include "phone_client.h"
#include "phones/phone_feed.h"
#include "phones/phone_server.h"

#include <QJsonArray>
#include <QScopeGuard>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
const QByteArray kToken = "ABCDEFGHJKMNPQRSTVWXYZ2345";

// Step `i` of a game made to fill buffers: an odd step draws number i, an even one changes the
// evening's game to i and carries some 20 kB of wins, so it goes whole.
PhoneState stepState(int steps)
{
    PhoneState s;
    s.prize = QStringLiteral("ambo");
    for (int i = 1; i <= steps; ++i) {
        if (i % 2) {
            s.drawn << i;
        } else {
            s.game = i;
            s.wins = QStringList(40, QString(500, QLatin1Char('a' + (i / 2) % 26)));
        }
    }
    return s;
}

// Whether `messages` (after the first, the state on connecting) are steps 1 to `steps`, each once
// and in order; `why` says where they are not.
bool stepsInOrder(const QList<QJsonObject> &messages, int steps, QString *why)
{
    if (messages.size() != steps + 1) {
        *why = QStringLiteral("%1 messages for %2 steps").arg(messages.size()).arg(steps);
        return false;
    }
    for (int i = 1; i <= steps; ++i) {
        const QJsonObject &m = messages[i];
        const QString t = m.value(QLatin1String("t")).toString();
        const bool ok = i % 2
                            ? t == QLatin1String("numero") && m.value(QLatin1String("n")).toInt() == i &&
                                  m.value(QLatin1String("k")).toInt() == (i + 1) / 2
                            : t == QLatin1String("stato") && m.value(QLatin1String("tombola")).toInt() == i &&
                                  m.value(QLatin1String("estratti")).toArray().size() == i / 2;
        if (!ok) {
            *why =
                QStringLiteral("step %1 came as %2").arg(i).arg(QString::fromUtf8(QJsonDocument(m).toJson()));
            return false;
        }
    }
    return true;
}

// The text frames a server sent, taken from the front of `bytes` (the upgrade's answer already
// gone); a frame not all here stays.
QList<QJsonObject> takeServerTexts(QByteArray &bytes)
{
    QList<QJsonObject> out;
    qsizetype at = 0;
    while (bytes.size() - at >= 2) {
        const auto b0 = quint8(bytes.at(at));
        quint64 length = quint8(bytes.at(at + 1)) & 0x7f;
        qsizetype head = 2;
        if (length == 126) {
            if (bytes.size() - at < 4) break;
            length = (quint64(quint8(bytes.at(at + 2))) << 8) | quint8(bytes.at(at + 3));
            head = 4;
        } else if (length == 127) {
            if (bytes.size() - at < 10) break;
            length = 0;
            for (int i = 0; i < 8; ++i)
                length = (length << 8) | quint8(bytes.at(at + 2 + i));
            head = 10;
        }
        if (bytes.size() - at < head + qsizetype(length)) break;
        if ((b0 & 0x0f) == 1)
            out << QJsonDocument::fromJson(bytes.mid(at + head, qsizetype(length))).object();
        at += head + qsizetype(length);
    }
    bytes.remove(0, at);
    return out;
}

// A plain blocking TCP connection to the server, its receive buffer `receiveBuffer` bytes when not
// 0 (set before connecting, so that the window it offers stays that small); -1 when it failed.
int connectTo(quint16 port, int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0 && receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// A phone that reads only once told: until then its kernel holds 4 kB and Qt 1 kB of what came.
struct LatePhone {
    QTcpSocket socket;
    QByteArray in;
    QList<QJsonObject> got;
    bool open(quint16 port)
    {
        const int fd = connectTo(port, 4096);
        if (fd < 0 || !socket.setSocketDescriptor(fd)) return false;
        socket.setReadBufferSize(1024);
        socket.write("GET /" + kToken +
                     "/ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        QElapsedTimer clock;
        clock.start();
        while (!in.contains("\r\n\r\n") && clock.elapsed() < 5000 && socket.waitForReadyRead(100))
            in += socket.readAll();
        if (!in.startsWith("HTTP/1.1 101")) return false;
        in.remove(0, in.indexOf("\r\n\r\n") + 4);
        return true;
    }
    // Reads what came, and from now on all that comes.
    void read()
    {
        socket.setReadBufferSize(0);
        in += socket.readAll();
        got += takeServerTexts(in);
    }
};

struct Server {
    PhoneServer::Thread thread;
    quint16 port = 0;
    explicit Server(const PhoneServer::Limits &limits) : thread(kToken, limits, {})
    {
        port = thread.listen(0);
        thread.publish(stepState(0));
    }
    bool connectionsBecome(int n, int ms = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (thread.connectionCount() != n && clock.elapsed() < ms)
            QTest::qWait(10);
        return thread.connectionCount() == n;
    }
};

// Whether the other side closed `fd` within `ms`.
bool closedByServer(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT) <= 0;
}
} // namespace

class TestPhoneCrowd : public QObject
{
    Q_OBJECT

private slots:
    // What the carriers send for a new state: nothing for the same, a number alone, else whole.
    void theFeedSendsOnlyWhatChanged()
    {
        PhoneFeed feed;
        QVERIFY(!feed.told());
        PhoneState s = stepState(1);
        const PhoneFeed::Step first = feed.next(s);
        QVERIFY(first.whole);
        QCOMPARE(first.message, phone_protocol::wholeState(s));
        QVERIFY(feed.next(s).message.isEmpty());
        s.drawn << 3;
        const PhoneFeed::Step number = feed.next(s);
        QVERIFY(!number.whole);
        const QJsonObject drawn = QJsonDocument::fromJson(number.message).object();
        QCOMPARE(drawn.value(QLatin1String("n")).toInt(), 3);
        QCOMPARE(drawn.value(QLatin1String("k")).toInt(), 2);
        s.paused = true;
        QVERIFY(feed.next(s).whole);
        // Asked whole (phones that may have missed something), it is whole even unchanged.
        const PhoneFeed::Step again = feed.next(s, true);
        QVERIFY(again.whole);
        QCOMPARE(again.message, phone_protocol::wholeState(s));
        QCOMPARE(feed.wholeMessage(), again.message);
        feed.reset();
        QVERIFY(!feed.told());
        QVERIFY(feed.next(s).whole);
    }

    // One phone reads as the messages come, one reads only after some megabytes were published (they
    // waited in the server's own buffer, behind what the kernel held) and one never reads: that one
    // is let go, the other two get every message once and in order.
    void lateReadersKeepTheOrderAndTheSilentOneGoes()
    {
        PhoneServer::Limits limits;
        limits.mostQueuedBytes = 1024 * 1024;
        Server server(limits);
        TestPhone good;
        QVERIFY(good.open(server.port, kToken));
        LatePhone late, silent;
        QVERIFY(late.open(server.port));
        QVERIFY(silent.open(server.port));
        QTRY_COMPARE(server.thread.phoneCount(), 3);
        QVERIFY(good.waitFor(QStringLiteral("stato")) == 0);

        int steps = 0;
        // Each step once the reading phone, which shares this thread with the publisher, has it.
        auto publish = [&] {
            ++steps;
            server.thread.publish(stepState(steps));
            QElapsedTimer read;
            read.start();
            while (good.got.size() <= steps && !good.closed && read.elapsed() < 5000)
                QTest::qWait(1);
        };
        // About 0.6 MB that the late phone does not read: far more than its socket holds, less than
        // the server lets wait.
        while (steps < 60)
            publish();
        QCOMPARE(server.thread.phoneCount(), 3);
        // The late phone reads from now on; the silent one is let go once 1 MB waits for it.
        while (server.thread.phoneCount() == 3 && steps < 400) {
            publish();
            late.read();
        }
        QCOMPARE(server.thread.phoneCount(), 2);
        for (int i = 0; i < 20; ++i) {
            publish();
            late.read();
        }
        QTRY_COMPARE_WITH_TIMEOUT((late.read(), late.got.size()), qsizetype(steps + 1), 10000);
        QString why;
        QVERIFY2(stepsInOrder(late.got, steps, &why), qPrintable(why));
        QTRY_COMPARE_WITH_TIMEOUT(good.got.size(), qsizetype(steps + 1), 10000);
        QVERIFY2(stepsInOrder(good.got, steps, &why), qPrintable(why));
        QVERIFY(!good.closed);
    }

    // Two thousand connections at once (one address allowed them all here), the next one turned
    // away, and a place given up taken again: the page is served on it.
    void twoThousandConnectionsAndNoMore()
    {
        const PhoneServer::Limits defaults;
        QCOMPARE(defaults.connections, 2000);
        // Both ends of every connection are in this process.
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        const rlim_t needed = 2 * rlim_t(defaults.connections) + 200;
        if (files.rlim_max < needed) QSKIP("this process may not open 4,200 files (ulimit -Hn)");
        if (files.rlim_cur < needed) {
            files.rlim_cur = needed;
            QVERIFY(setrlimit(RLIMIT_NOFILE, &files) == 0);
        }
        PhoneServer::Limits limits = defaults;
        limits.perAddress = defaults.connections + 10;
        Server server(limits);
        std::vector<int> open;
        const auto closeAll = qScopeGuard([&open] {
            for (const int fd : open)
                ::close(fd);
        });
        // In small batches, within the server's listen queue.
        while (int(open.size()) < defaults.connections) {
            for (int i = 0; i < 25 && int(open.size()) < defaults.connections; ++i) {
                open.push_back(connectTo(server.port));
                QVERIFY(open.back() >= 0);
            }
            QVERIFY2(server.connectionsBecome(int(open.size())), qPrintable(QString::number(open.size())));
        }
        const int extra = connectTo(server.port);
        QVERIFY(extra >= 0);
        QVERIFY(closedByServer(extra, 5000));
        ::close(extra);
        QCOMPARE(server.thread.connectionCount(), defaults.connections);
        // None of the two thousand was closed to make room.
        for (const int fd : open)
            QVERIFY(!closedByServer(fd, 0));
        ::close(open.back());
        open.pop_back();
        QVERIFY(server.connectionsBecome(defaults.connections - 1));
        QVERIFY(rawHttp(server.port, "GET /" + kToken + "/ HTTP/1.1\r\nHost: x\r\n\r\n")
                    .answer.startsWith("HTTP/1.1 200"));
    }
};

QTEST_GUILESS_MAIN(TestPhoneCrowd)
#include "test_phone_crowd.moc"
