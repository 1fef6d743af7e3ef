#pragma once
// A phone far away, as the page is one: libnats against the private cluster of
// scripts/with-nats.sh, following tombola.<sera>.stato and .numero, asking on .chiamate with its
// name in the header "Telefono". Everything it receives is read in the test's thread by pump(),
// so a test waits with QTRY_* while the program's event loop runs and answers.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <ctime>
#include <nats/nats.h>
#include <utility>

#include "remote/reply_seal.h"

// The cluster of scripts/with-nats.sh, from its environment.
struct NatsCluster {
    QStringList urls = qEnvironmentVariable("TOMBOLA_NATS_URLS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    QStringList confs =
        qEnvironmentVariable("TOMBOLA_NATS_CONFS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    QStringList pidFiles =
        qEnvironmentVariable("TOMBOLA_NATS_PID_FILES").split(QLatin1Char(','), Qt::SkipEmptyParts);
    QString callerUser = qEnvironmentVariable("TOMBOLA_NATS_CALLER_USER");
    QString callerPassword = qEnvironmentVariable("TOMBOLA_NATS_CALLER_PASSWORD");
    QString phoneUser = qEnvironmentVariable("TOMBOLA_NATS_PHONE_USER");
    QString phonePassword = qEnvironmentVariable("TOMBOLA_NATS_PHONE_PASSWORD");
    QString tlsUrl = qEnvironmentVariable("TOMBOLA_NATS_TLS_URL");
    QString ca = qEnvironmentVariable("TOMBOLA_NATS_CA");
    bool isThere() const { return urls.size() == 3 && confs.size() == 3 && pidFiles.size() == 3; }

    qint64 pid(int i) const
    {
        QFile f(pidFiles.value(i));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
    }
    // Server i killed at once, as a machine that dies; true once its port is closed.
    bool kill(int i) const
    {
        const qint64 p = pid(i);
        if (p <= 0 ||
            QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-KILL"), QString::number(p)}) != 0)
            return false;
        for (int tries = 0; tries < 100 && QProcess::execute(QStringLiteral("kill"),
                                                             {QStringLiteral("-0"), QString::number(p)}) == 0;
             ++tries)
            QThread::msleep(50);
        QFile::remove(pidFiles.value(i));
        return true;
    }
    // Whether server i runs: its pid file names a live process.
    bool running(int i) const
    {
        const qint64 p = pid(i);
        return p > 0 &&
               QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-0"), QString::number(p)}) == 0;
    }
    // Server i's client port takes connections, within `ms`.
    bool waitUp(int i, int ms = 30000) const
    {
        const QUrl url(urls.value(i));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QTcpSocket probe;
            probe.connectToHost(url.host(), quint16(url.port()));
            if (probe.waitForConnected(1000)) return true;
            QThread::msleep(100);
        }
        return false;
    }
    // Server i started again from its configuration (with-nats.sh stops it by its pid file); true
    // once it takes connections and its pid file names it, so that it can be killed again.
    bool restart(int i) const
    {
        QFile::remove(pidFiles.value(i));
        QProcess server;
        server.setProgram(QStringLiteral("nats-server"));
        server.setArguments({QStringLiteral("-c"), confs.value(i)});
        server.setStandardOutputFile(QProcess::nullDevice());
        server.setStandardErrorFile(QProcess::nullDevice());
        qint64 started = 0;
        if (!server.startDetached(&started)) return false;
        if (!waitUp(i)) return false;
        QElapsedTimer clock;
        clock.start();
        while (pid(i) != started && clock.elapsed() < 30000)
            QThread::msleep(50);
        return pid(i) == started;
    }
    // Every server that is not running started again: a test that failed with a server killed
    // leaves the cluster whole for the next one.
    bool makeWhole() const
    {
        for (int i = 0; i < 3; ++i)
            if (!running(i) && !restart(i)) return false;
        return true;
    }
};

// In a test's init(): without a cluster the test is skipped, or fails when TOMBOLA_REQUIRE_NATS=1.
#define TOMBOLA_REQUIRE_CLUSTER()                                                                            \
    do {                                                                                                     \
        if (!NatsCluster().isThere()) {                                                                      \
            if (qEnvironmentVariableIntValue("TOMBOLA_REQUIRE_NATS"))                                        \
                QFAIL("no NATS cluster: run under scripts/with-nats.sh");                                    \
            QSKIP("no NATS cluster: run under scripts/with-nats.sh");                                        \
        }                                                                                                    \
    } while (false)

class NatsPhone
{
public:
    QList<QJsonObject> got; // every message, in the order pump() read them
    QList<int> seen;        // the game's numbers as this phone knows them
    int gaps = 0;           // numbers that did not follow the one before (the state was asked)
    QString name = QStringLiteral("PHONE12345");
    // As the page does with a cluster that keeps the evening: every message read once, by the
    // evening's sequence number "s" (a number at or below the last one is dropped).
    bool bySequence = false;
    quint64 lastSequence = 0;
    QList<qint64> numberAt; // when each "numero" was taken, on the monotonic clock in ms
    bool sealed = true;     // sends a key with each request and unseals the answers, as the page does

    ~NatsPhone() { close(); }

    // Gone, as a phone that lost its network: what comes meanwhile never reaches it.
    void close()
    {
        for (natsSubscription **s : {&m_state, &m_numbers, &m_inbox})
            if (*s) natsSubscription_Destroy(std::exchange(*s, nullptr));
        if (m_js) jsCtx_Destroy(std::exchange(m_js, nullptr));
        if (m_nc) natsConnection_Destroy(std::exchange(m_nc, nullptr));
    }

    // What the page does on opening and reconnecting: the last state from the bucket, then the
    // numbers after it from the stream, each read as if it had come live, in the evening's order. False when
    // the cluster does not answer (a missing state is not a failure: nothing was published yet).
    bool catchUp()
    {
        if (!m_js && natsConnection_JetStream(&m_js, m_nc, nullptr) != NATS_OK) return false;
        jsDirectGetMsgOptions get;
        jsDirectGetMsgOptions_Init(&get);
        const QByteArray key = "$KV.tombola." + m_evening.toUtf8();
        get.LastBySubject = key.constData();
        natsMsg *msg = nullptr;
        natsStatus s = js_DirectGetMsg(&msg, m_js, "KV_tombola", nullptr, &get);
        if (s == NATS_OK) {
            const QJsonObject m =
                QJsonDocument::fromJson(QByteArray(natsMsg_GetData(msg), natsMsg_GetDataLength(msg)))
                    .object();
            natsMsg_Destroy(msg);
            take(m);
        } else if (s != NATS_NOT_FOUND) {
            return false;
        }
        const quint64 from = m_stored;
        const QByteArray numbers = subject("numero");
        QList<QJsonObject> read;
        for (quint64 seq = from + 1;;) {
            jsDirectGetMsgOptions_Init(&get);
            get.Sequence = seq;
            get.NextBySubject = numbers.constData();
            s = js_DirectGetMsg(&msg, m_js, "TOMBOLA_NUMERI", nullptr, &get);
            if (s == NATS_NOT_FOUND) break;
            if (s != NATS_OK) return false;
            seq = natsMsg_GetSequence(msg) + 1;
            read << QJsonDocument::fromJson(QByteArray(natsMsg_GetData(msg), natsMsg_GetDataLength(msg)))
                        .object();
            natsMsg_Destroy(msg);
        }
        // In the evening's order, as the page takes them: a number stored late (sent again once a
        // new leader was elected) sits in the stream after later ones.
        std::stable_sort(read.begin(), read.end(), [](const QJsonObject &a, const QJsonObject &b) {
            return a.value(QLatin1String("s")).toDouble() < b.value(QLatin1String("s")).toDouble();
        });
        for (const QJsonObject &m : std::as_const(read))
            take(m);
        return true;
    }

    // Connects to `urls` (in that order) as `user`; false with the library's status otherwise.
    bool open(const QStringList &urls, const QString &user, const QString &password, const QString &evening,
              natsStatus *status = nullptr)
    {
        m_evening = evening;
        natsOptions *o = nullptr;
        natsOptions_Create(&o);
        QList<QByteArray> bytes;
        std::vector<const char *> list;
        for (const QString &u : urls)
            bytes << u.toUtf8();
        for (const QByteArray &b : bytes)
            list.push_back(b.constData());
        natsOptions_SetServers(o, list.data(), int(list.size()));
        natsOptions_SetNoRandomize(o, true);
        natsOptions_SetUserInfo(o, user.toUtf8().constData(), password.toUtf8().constData());
        natsOptions_SetMaxReconnect(o, -1);
        natsOptions_SetReconnectWait(o, 200);
        natsOptions_SetTimeout(o, 2000);
        natsOptions_SetReconnectedCB(o, onReconnected, this);
        natsStatus s = natsConnection_Connect(&m_nc, o);
        natsOptions_Destroy(o);
        if (status) *status = s;
        if (s != NATS_OK) return false;
        m_inboxName = "_INBOX.tombola" + QByteArray::number(quintptr(this), 16) + QByteArray::number(qrand());
        s = natsConnection_SubscribeSync(&m_state, m_nc, subject("stato").constData());
        if (s == NATS_OK) s = natsConnection_SubscribeSync(&m_numbers, m_nc, subject("numero").constData());
        if (s == NATS_OK) s = natsConnection_SubscribeSync(&m_inbox, m_nc, (m_inboxName + ".*").constData());
        if (s == NATS_OK) s = natsConnection_FlushTimeout(m_nc, 2000);
        if (status) *status = s;
        return s == NATS_OK;
    }

    QByteArray subject(const char *leaf) const
    {
        return QStringLiteral("tombola.%1.").arg(m_evening).toUtf8() + leaf;
    }

    // A request on the evening's requests subject; the answer comes through pump().
    bool ask(const QJsonObject &message)
    {
        // A request that only reads is asked again by waitFor() while no answer comes: the first
        // one may leave before the cluster's other servers know this phone's reply subject.
        const QString t = message.value(QLatin1String("t")).toString();
        m_lastRead = t == QLatin1String("stato") || t == QLatin1String("cartelle") ? message : QJsonObject();
        m_sinceAsked.start();
        natsMsg *msg = nullptr;
        const QByteArray data = QJsonDocument(message).toJson(QJsonDocument::Compact);
        // A reply subject of its own for each request, as the page's client makes: the server lets the
        // program answer each request once.
        const QByteArray reply = m_inboxName + '.' + QByteArray::number(++m_asked);
        if (natsMsg_Create(&msg, subject("chiamate").constData(), reply.constData(), data.constData(),
                           int(data.size())) != NATS_OK)
            return false;
        natsMsgHeader_Set(msg, "Telefono", name.toUtf8().constData());
        // A key of its own for each answer, as the page makes.
        QByteArray key(reply_seal::kKeyBytes, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(key.data()), key.size() / 4);
        if (sealed) natsMsgHeader_Set(msg, "Chiave", key.toHex().constData());
        m_keys.insert(reply, key);
        const natsStatus s = natsConnection_PublishMsg(m_nc, msg);
        natsMsg_Destroy(msg);
        return s == NATS_OK;
    }
    // Anything, anywhere: what a phone's credentials may not do.
    natsStatus publish(const QByteArray &subj, const QByteArray &data)
    {
        natsStatus s = natsConnection_Publish(m_nc, subj.constData(), data.constData(), int(data.size()));
        if (s == NATS_OK) s = natsConnection_FlushTimeout(m_nc, 2000);
        return s;
    }
    natsConnection *connection() const { return m_nc; }

    // Reads what arrived; a number that does not follow, or a reconnection, asks the whole state. A
    // request that only reads and has had no answer for 1.5 s is asked again: the first may leave
    // before the cluster's other servers know this phone's reply subject.
    void pump()
    {
        if (m_reconnected.fetchAndStoreRelaxed(0)) ask({{"t", "stato"}});
        if (!m_lastRead.isEmpty() && m_sinceAsked.elapsed() > 1500) ask(m_lastRead);
        for (natsSubscription *s : {m_state, m_inbox, m_numbers}) {
            natsMsg *msg = nullptr;
            while (s && natsSubscription_NextMsg(&msg, s, 0) == NATS_OK) {
                QByteArray data(natsMsg_GetData(msg), natsMsg_GetDataLength(msg));
                if (s == m_inbox) m_lastRead = QJsonObject();
                if (s == m_inbox && sealed)
                    data = reply_seal::seal(m_keys.take(natsMsg_GetSubject(msg)), data);
                const QJsonObject m = QJsonDocument::fromJson(data).object();
                natsMsg_Destroy(msg);
                take(m);
            }
        }
    }
    // The index of the first message of type `t` from `from` on, pumping until it comes; -1.
    int waitFor(const QString &t, qsizetype from = 0, int ms = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        do {
            pump();
            for (qsizetype i = from; i < got.size(); ++i)
                if (got[i].value(QLatin1String("t")).toString() == t) return int(i);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        } while (clock.elapsed() < ms);
        return -1;
    }

private:
    static void onReconnected(natsConnection *, void *closure)
    {
        static_cast<NatsPhone *>(closure)->m_reconnected.storeRelaxed(1);
    }
    static int qrand() { return int(QRandomGenerator::global()->bounded(1 << 30)); }
    void take(const QJsonObject &m)
    {
        if (bySequence && m.contains(QLatin1String("s"))) {
            const quint64 seq = quint64(m.value(QLatin1String("s")).toDouble());
            const bool whole = m.value(QLatin1String("t")).toString() == QLatin1String("stato");
            if (seq < lastSequence || (seq == lastSequence && !whole)) return;
            lastSequence = seq;
        }
        m_stored = std::max(m_stored, quint64(m.value(QLatin1String("flusso")).toDouble()));
        if (m.value(QLatin1String("t")).toString() == QLatin1String("numero")) {
            timespec ts{};
            clock_gettime(CLOCK_MONOTONIC, &ts);
            numberAt << qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
        }
        got << m;
        read(m);
    }
    void read(const QJsonObject &m)
    {
        const QString t = m.value(QLatin1String("t")).toString();
        if (t == QLatin1String("stato")) {
            QList<int> all;
            for (const QJsonValue &v : m.value(QLatin1String("estratti")).toArray())
                all << v.toInt();
            seen = all;
        } else if (t == QLatin1String("numero")) {
            const int k = m.value(QLatin1String("k")).toInt();
            if (k == seen.size() + 1) {
                seen << m.value(QLatin1String("n")).toInt();
            } else if (k > seen.size() + 1) {
                ++gaps;
                ask({{"t", "stato"}});
            }
        }
    }

    natsConnection *m_nc = nullptr;
    jsCtx *m_js = nullptr;
    quint64 m_stored = 0; // the highest "flusso" taken: the stream holds nothing older that it lacks
    natsSubscription *m_state = nullptr;
    natsSubscription *m_numbers = nullptr;
    natsSubscription *m_inbox = nullptr;
    QByteArray m_inboxName;
    QHash<QByteArray, QByteArray> m_keys; // by reply subject
    QJsonObject m_lastRead;               // the last request that only reads, unanswered, or none
    QElapsedTimer m_sinceAsked;
    int m_asked = 0;
    QString m_evening;
    QAtomicInt m_reconnected;
};
