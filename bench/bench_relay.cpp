// The evening through the NATS cluster of scripts/with-nats.sh to many phones far away: phones
// simulated by libnats connections in child processes, spread over the three servers, follow a
// 90-number game at the fastest pace (a number every 100 ms). Prints whether every phone got every
// number once and in order, the delay from each draw to the last phone that had it (median and 99th
// percentile over the numbers) and to the first (what the program and one server take), the
// program's extra CPU per number (the same game without the relay subtracted). Server 0 is killed
// in the middle of the game: its phones reconnect to another and read what they missed from the
// cluster (the bucket and the stream, remote/cluster_evening.h), as the page does; printed: how
// long until the last of them had caught up. With a delay for the video, the times are taken from
// the delayed publish, and how far the publish and the phones are from the delay is printed too.
// Prints figures, asserts nothing.
//   bash scripts/with-nats.sh build/bench/bench_relay [phones] [children] [delay seconds]

#include "bench_support.h"
#include "fakes/evening_harness.h"
#include "phones/phone_service.h"
#include "remote/nats_relay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <mutex>
#include <nats/nats.h>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr int kNumbers = 90;
constexpr int kPaceMs = 100;

qint64 nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// ---- a child: `count` phones ----

struct Phone {
    natsConnection *nc = nullptr;
    natsSubscription *numbers = nullptr;
    natsSubscription *states = nullptr;
    natsSubscription *answers = nullptr;
    std::mutex mutex;
    std::vector<qint64> at = std::vector<qint64>(kNumbers + 1, 0); // when number k came
    int next = 1;                                                  // the ordinal expected next
    bool wrong = false;                                            // a number twice, or out of order
    std::atomic<bool> lost{false};
    qint64 restored = 0; // when the whole state came after a reconnection
    QByteArray subject;
    QByteArray inbox;
    QByteArray name;
    QByteArray evening;
    int asked = 0;
    qint64 programAskedAt = 0;                // when the program was last asked for its whole state
    quint64 last = 0;                         // the evening's sequence number of the last message taken
    bool catching = false;                    // the cluster is being read: live messages wait in `kept`
    std::vector<QByteArray> kept;             //
    QByteArray askSubject, askReply, askData; // the cluster's last question, asked again if unanswered
    qint64 askedAt = 0;
    quint64 stored = 0;           // the highest "flusso" taken
    std::vector<QByteArray> read; // what the stream gave in this catch-up, not taken yet
    int gapsInARow = 0;           // catch-ups in a row that found a number the stream lacks
};

// A direct get of the catch-up; `p->mutex` held.
void askCluster(Phone *p, const QByteArray &subject, const QByteArray &reply, const QByteArray &data)
{
    p->askSubject = subject;
    p->askReply = reply;
    p->askData = data;
    p->askedAt = nowNs();
    natsConnection_PublishRequest(p->nc, subject.constData(), reply.constData(), data.constData(),
                                  int(data.size()));
}

quint64 sequenceOf(const QByteArray &data)
{
    const qsizetype at = data.indexOf("\"s\":");
    if (at < 0) return 0;
    qsizetype end = at + 4;
    while (end < data.size() && data[end] >= '0' && data[end] <= '9')
        ++end;
    return data.mid(at + 4, end - at - 4).toULongLong();
}

void ask(Phone *p);

// One message of the evening, in the order the phone takes them; `p->mutex` held.
void take(Phone *p, const QByteArray &data, qint64 t)
{
    const bool whole = data.contains("\"t\":\"stato\"");
    if (const quint64 s = sequenceOf(data)) {
        // Already taken (live and read back, or a state again): once only.
        if (s < p->last || (s == p->last && !whole)) return;
        p->last = s;
        const qsizetype at = data.indexOf("\"flusso\":");
        if (at >= 0) {
            qsizetype end = at + 9;
            while (end < data.size() && data[end] >= '0' && data[end] <= '9')
                ++end;
            p->stored = std::max(p->stored, data.mid(at + 9, end - at - 9).toULongLong());
        }
    }
    // A number alone, or the whole state when something else changed with it.
    int k = 0;
    if (data.contains("\"t\":\"numero\"")) {
        const qsizetype k0 = data.indexOf("\"k\":");
        k = data.mid(k0 + 4, 3).split(',').first().toInt();
    } else if (whole) {
        const qsizetype a = data.indexOf("\"estratti\":["), b = data.indexOf(']', a);
        if (a < 0 || b < 0) return;
        const QByteArray list = data.mid(a + 12, b - a - 12);
        k = list.isEmpty() ? 0 : int(list.count(',')) + 1;
        if (k == p->next - 1) return; // the same numbers again
        // Ahead of the phone: the numbers it lacked are known from now.
        if (k >= p->next && k <= kNumbers) {
            for (; p->next <= k; ++p->next)
                p->at[p->next] = t;
            return;
        }
    }
    if (k == 0) return;
    // One skipped: not shown, and the program asked for the whole state, as the page does (at most
    // once a second, as the program allows).
    if (k > p->next && k <= kNumbers) {
        if (nowNs() - p->programAskedAt > 1000000000) ask(p);
        return;
    }
    if (k != p->next) {
        p->wrong = true; // a number twice
        return;
    }
    p->at[k] = t;
    ++p->next;
}

// What the page does on reconnecting: the last state from the bucket, then the numbers after it
// from the stream, by direct gets answered on the phone's inbox (onAnswer); `p->mutex` held.
void catchUp(Phone *p)
{
    p->catching = true;
    askCluster(p, "$JS.API.DIRECT.GET.KV_tombola.$KV.tombola." + p->evening, p->inbox + ".kv", {});
}

void askNumberAfter(Phone *p, quint64 streamSequence)
{
    const QByteArray ask = "{\"seq\":" + QByteArray::number(streamSequence + 1) + ",\"next_by_subj\":\"" +
                           p->subject + "numero\"}";
    askCluster(p, "$JS.API.DIRECT.GET.TOMBOLA_NUMERI", p->inbox + ".n", ask);
}

void onNumber(natsConnection *, natsSubscription *, natsMsg *msg, void *closure)
{
    const qint64 t = nowNs();
    auto *p = static_cast<Phone *>(closure);
    const QByteArray data(natsMsg_GetData(msg), natsMsg_GetDataLength(msg));
    natsMsg_Destroy(msg);
    std::lock_guard lock(p->mutex);
    if (p->catching) {
        // The one after the last taken: nothing was missed, whatever the cluster has yet to answer
        // (as the page does; a stream electing a leader answers nothing for seconds).
        if (p->last > 0 && p->kept.empty() && sequenceOf(data) == p->last + 1) {
            take(p, data, t);
            p->catching = false;
            if (p->lost && !p->restored) p->restored = t;
            return;
        }
        p->kept.push_back(data);
        return;
    }
    // One missed (the server went before the phone noticed): read back first.
    if (p->last && sequenceOf(data) > p->last + 1) {
        p->kept.push_back(data);
        catchUp(p);
        return;
    }
    take(p, data, t);
}

void ask(Phone *p)
{
    const QByteArray data = R"({"t":"stato"})";
    natsMsg *msg = nullptr;
    const QByteArray reply = p->inbox + '.' + QByteArray::number(++p->asked);
    if (natsMsg_Create(&msg, (p->subject + "chiamate").constData(), reply.constData(), data.constData(),
                       int(data.size())) != NATS_OK)
        return;
    natsMsgHeader_Set(msg, "Telefono", p->name.constData());
    natsConnection_PublishMsg(p->nc, msg);
    natsMsg_Destroy(msg);
    p->programAskedAt = nowNs();
}

// The end of a catch-up (nothing more in the stream, or the program's whole state): what the
// stream gave and what came live meanwhile, in the evening's order (a number stored late, sent again
// once a new leader was elected, sits after later ones), as the page does: taken up to a number
// that does not follow the last one, whose one between the stream has not stored yet; the rest
// waits and the stream is read on in a second (five times, then taken as it is). `p->mutex` held.
void settle(Phone *p, qint64 t)
{
    std::vector<QByteArray> pool = std::exchange(p->read, {});
    for (QByteArray &live : std::exchange(p->kept, {}))
        pool.push_back(std::move(live));
    std::stable_sort(pool.begin(), pool.end(),
                     [](const QByteArray &a, const QByteArray &b) { return sequenceOf(a) < sequenceOf(b); });
    std::size_t at = 0;
    for (; at < pool.size(); ++at) {
        const quint64 k = sequenceOf(pool[at]);
        const bool whole = pool[at].contains("\"t\":\"stato\"");
        if (!whole && p->last > 0 && k > p->last + 1 && p->gapsInARow < 5) break;
        take(p, pool[at], t);
    }
    if (at < pool.size()) {
        ++p->gapsInARow;
        p->kept.assign(pool.begin() + std::ptrdiff_t(at), pool.end());
        p->askedAt = nowNs() - 2000000000;
        return;
    }
    p->gapsInARow = 0;
    p->catching = false;
    if (p->lost && !p->restored) p->restored = t;
}

void onAnswer(natsConnection *, natsSubscription *, natsMsg *msg, void *closure)
{
    const qint64 t = nowNs();
    auto *p = static_cast<Phone *>(closure);
    const QByteArray subject(natsMsg_GetSubject(msg));
    const QByteArray data(natsMsg_GetData(msg), natsMsg_GetDataLength(msg));
    const char *status = nullptr;
    const QByteArray code = natsMsgHeader_Get(msg, "Status", &status) == NATS_OK && status ? status : "";
    const bool none = code == "404";
    const char *sequence = nullptr;
    const quint64 streamSequence = natsMsgHeader_Get(msg, "Nats-Sequence", &sequence) == NATS_OK && sequence
                                       ? std::strtoull(sequence, nullptr, 10)
                                       : 0;
    natsMsg_Destroy(msg);
    std::lock_guard lock(p->mutex);
    // Not answered (no leader yet, 503): asked again in a second.
    if (!code.isEmpty() && !none && (subject.endsWith(".kv") || subject.endsWith(".n"))) {
        p->askedAt = nowNs() - 2000000000; // in a second
        return;
    }
    if (subject.endsWith(".kv")) {
        if (!none) take(p, data, t);
        askNumberAfter(p, p->stored);
        return;
    }
    if (subject.endsWith(".n")) {
        if (!none) {
            p->read.push_back(data);
            askNumberAfter(p, streamSequence);
            return;
        }
        settle(p, t);
        return;
    }
    // The program's answer, as the page has it after reconnecting: its whole state ends a catch-up
    // that waits on the stream.
    const bool whole = data.contains("\"t\":\"stato\"");
    if (whole && p->catching) {
        p->kept.push_back(data);
        settle(p, t);
    } else if (whole) {
        take(p, data, t);
    } else if (p->lost && !p->restored && nowNs() - p->programAskedAt > 1000000000) {
        ask(p); // "too many requests": again
    }
}

void onDisconnected(natsConnection *, void *closure)
{
    static_cast<Phone *>(closure)->lost = true;
}

void onReconnected(natsConnection *, void *closure)
{
    auto *p = static_cast<Phone *>(closure);
    std::lock_guard lock(p->mutex);
    // As the page does: the cluster read, and the program asked for the whole state.
    catchUp(p);
    ask(p);
}

int child(const QStringList &urls, int first, int count, const QString &evening)
{
    // One delivery thread: the two subjects' messages are read in the order they came.
    nats_SetMessageDeliveryPoolSize(1);
    const QByteArray user = qgetenv("TOMBOLA_NATS_PHONE_USER"),
                     password = qgetenv("TOMBOLA_NATS_PHONE_PASSWORD");
    std::vector<std::unique_ptr<Phone>> phones;
    for (int i = 0; i < count; ++i) {
        auto p = std::make_unique<Phone>();
        p->subject = QStringLiteral("tombola.%1.").arg(evening).toUtf8();
        p->evening = evening.toUtf8();
        p->inbox = "_INBOX.bench" + QByteArray::number(first + i);
        p->name = "BENCH" + QByteArray::number(first + i).rightJustified(5, '0');
        // Its own server first, then the others.
        const int home = (first + i) % int(urls.size());
        QList<QByteArray> bytes;
        for (int k = 0; k < urls.size(); ++k)
            bytes << urls[(home + k) % urls.size()].toUtf8();
        std::vector<const char *> list;
        for (const QByteArray &b : bytes)
            list.push_back(b.constData());
        natsOptions *o = nullptr;
        natsOptions_Create(&o);
        natsOptions_SetServers(o, list.data(), int(list.size()));
        natsOptions_SetNoRandomize(o, true);
        natsOptions_SetUserInfo(o, user.constData(), password.constData());
        natsOptions_UseGlobalMessageDelivery(o, true);
        natsOptions_SetMaxReconnect(o, -1);
        natsOptions_SetReconnectWait(o, 100);
        natsOptions_SetReconnectJitter(o, 100, 0);
        natsOptions_SetTimeout(o, 5000);
        natsOptions_SetDisconnectedCB(o, onDisconnected, p.get());
        natsOptions_SetReconnectedCB(o, onReconnected, p.get());
        natsStatus s = natsConnection_Connect(&p->nc, o);
        natsOptions_Destroy(o);
        if (s == NATS_OK)
            s = natsConnection_Subscribe(&p->numbers, p->nc, (p->subject + "numero").constData(), onNumber,
                                         p.get());
        if (s == NATS_OK)
            s = natsConnection_Subscribe(&p->states, p->nc, (p->subject + "stato").constData(), onNumber,
                                         p.get());
        if (s == NATS_OK)
            s = natsConnection_Subscribe(&p->answers, p->nc, (p->inbox + ".*").constData(), onAnswer,
                                         p.get());
        if (s == NATS_OK) s = natsConnection_FlushTimeout(p->nc, 10000);
        if (s != NATS_OK) {
            std::printf("errore %s\n", natsStatus_GetText(s));
            std::fflush(stdout);
            return 1;
        }
        phones.push_back(std::move(p));
    }
    // Every quarter of a second, a catch-up question unanswered for 3 s is asked again (sooner would
    // pile questions on servers that are slow to answer).
    std::atomic<bool> done{false};
    std::thread ticker([&phones, &done] {
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const qint64 now = nowNs();
            for (auto &p : phones) {
                std::lock_guard lock(p->mutex);
                if (p->catching && now - p->askedAt > 3000000000)
                    askCluster(p.get(), p->askSubject, p->askReply, p->askData);
                // The program's answer lost (sent before the servers knew this phone's new
                // subscription): asked again, as the page does when no answer comes.
                if (p->catching && p->lost && now - p->programAskedAt > 2000000000) ask(p.get());
            }
        }
    });
    // As the page does on opening: the cluster read first, so that a number that comes live before
    // the servers have passed on this phone's interest is read back, not missed for good.
    for (auto &p : phones) {
        std::lock_guard lock(p->mutex);
        catchUp(p.get());
    }
    for (const qint64 until = nowNs() + 30000000000; nowNs() < until;) {
        const bool all = std::all_of(phones.begin(), phones.end(), [](const std::unique_ptr<Phone> &p) {
            std::lock_guard lock(p->mutex);
            return !p->catching;
        });
        if (all) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf("pronti\n");
    std::fflush(stdout);
    // The parent's questions, one a line.
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "numeri") {
            // How many had all in order; per number the time the last of these phones had it, then
            // the time the first had it.
            int whole = 0;
            QByteArray out = "numeri";
            std::vector<qint64> last(kNumbers + 1, 0), earliest(kNumbers + 1, 0);
            for (auto &p : phones) {
                std::lock_guard lock(p->mutex);
                if (!p->wrong && p->next == kNumbers + 1) ++whole;
                for (int k = 1; k <= kNumbers; ++k) {
                    last[k] = p->at[k] == 0 || last[k] == -1 ? -1 : std::max(last[k], p->at[k]);
                    if (p->at[k] != 0)
                        earliest[k] = earliest[k] == 0 ? p->at[k] : std::min(earliest[k], p->at[k]);
                }
            }
            out += ' ' + QByteArray::number(whole);
            for (int k = 1; k <= kNumbers; ++k)
                out += ' ' + QByteArray::number(last[k]);
            for (int k = 1; k <= kNumbers; ++k)
                out += ' ' + QByteArray::number(earliest[k]);
            std::printf("%s\n", out.constData());
        } else if (line == "ripresi") {
            int lost = 0, restored = 0;
            qint64 latest = 0;
            for (auto &p : phones) {
                std::lock_guard lock(p->mutex);
                if (!p->lost) continue;
                ++lost;
                if (p->restored) {
                    ++restored;
                    latest = std::max(latest, p->restored);
                }
            }
            std::printf("ripresi %d %d %lld\n", lost, restored, static_cast<long long>(latest));
        } else if (line == "fine") {
            break;
        }
        std::fflush(stdout);
    }
    done = true;
    ticker.join();
    for (auto &p : phones) {
        natsSubscription_Destroy(p->numbers);
        natsSubscription_Destroy(p->states);
        natsSubscription_Destroy(p->answers);
        natsConnection_Destroy(p->nc);
    }
    return 0;
}

// ---- the program ----

struct Program : EveningHarness {
    std::unique_ptr<PhoneService> service;
    std::unique_ptr<NatsRelay> relay;
    std::vector<qint64> drawnAt = std::vector<qint64>(kNumbers + 1, 0);     // when number k was drawn
    std::vector<qint64> publishedAt = std::vector<qint64>(kNumbers + 1, 0); // let out to far phones
    Program() : EveningHarness({}, 23)
    {
        // Told before the phones' service, so the time is taken before anything is published.
        QObject::connect(&game, &Game::numberDrawn, [this] {
            const qsizetype k = drawn().size();
            if (k > 0 && k <= kNumbers) drawnAt[size_t(k)] = nowNs();
        });
        evening->begin();
        service = std::make_unique<PhoneService>(game, desk, printRun, *evening);
        relay = std::make_unique<NatsRelay>(*service);
        // Connected after the relay's own slot: the message is on its way when this runs.
        QObject::connect(&relay->farDelay(), &FarDelay::released, [this](const FarDelay::Message &m) {
            const qsizetype k = m.state.drawn.size();
            if (k > 0 && k <= kNumbers && publishedAt[size_t(k)] == 0) publishedAt[size_t(k)] = nowNs();
        });
    }
};

// Sleeps in the event loop: the program's thread wakes only for its events, as in the real program.
// (processEvents with a time limit returns at once when nothing is pending: a loop of it spins a
// whole core, which starved the servers and the phones and was counted as the program's CPU.)
void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// A game of 90 numbers, drawn as the caller's draw runs at its fastest: a number, then kPaceMs of
// the program's event loop, never a pause (a pause after each number would send every phone the
// whole state with each number, which a real game does not). The CPU seconds it took the process.
// `atNumber`, when given, runs once after that number has been drawn.
double playGame(Program &p, int atNumber = 0, const std::function<void()> &then = {})
{
    QList<int> order;
    for (int n = 1; n <= kNumbers; ++n)
        order << n;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    p.random.replay(picksFor(order));
    qsizetype paced = 0;
    p.clock.onPump = [&p, &paced, atNumber, then](FakeClock::Point point) {
        if (point != FakeClock::Point::Wait || p.drawn().size() == paced) return;
        paced = p.drawn().size();
        if (paced == atNumber && then) then();
        waitMs(kPaceMs);
    };
    const double cpu0 = cpuSeconds();
    p.click(Control::cmd_estrai);
    const double cpu = cpuSeconds() - cpu0;
    p.clock.onPump = nullptr;
    if (p.drawn().size() != kNumbers) std::fprintf(stderr, "bench_relay: the game stopped early\n");
    return cpu;
}

double percentile(std::vector<double> v, double q)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

QByteArray askAll(std::vector<std::unique_ptr<QProcess>> &children, const QByteArray &question, int child)
{
    QProcess &c = *children[child];
    c.write(question + '\n');
    while (!c.canReadLine())
        if (!c.waitForReadyRead(30000)) return {};
    return c.readLine().trimmed();
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QStringList urls =
        qEnvironmentVariable("TOMBOLA_NATS_URLS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (args.value(1) == QLatin1String("--phones"))
        return child(urls, args.value(2).toInt(), args.value(3).toInt(), args.value(4));
    if (urls.size() != 3) {
        std::fprintf(stderr, "bench_relay: run it under scripts/with-nats.sh\n");
        return 2;
    }
    const int phones = args.size() > 1 ? args[1].toInt() : 2000;
    const int childCount = args.size() > 2 ? args[2].toInt() : 20;
    const int delaySeconds = args.size() > 3 ? args[3].toInt() : 0;

    // A game first, so that what is done once per process is not counted in either figure.
    {
        Program warm;
        playGame(warm);
    }

    Program p;
    const QString evening = NatsRelay::newEveningId();
    NatsSettings s;
    s.servers = {urls[1], urls[2]};
    s.user = qEnvironmentVariable("TOMBOLA_NATS_CALLER_USER");
    s.password = qEnvironmentVariable("TOMBOLA_NATS_CALLER_PASSWORD");
    s.delaySeconds = delaySeconds;
    p.relay->start(s, evening);
    QElapsedTimer t;
    t.start();
    while (!p.relay->isReaching() && t.elapsed() < 20000)
        waitMs(20);

    std::vector<std::unique_ptr<QProcess>> children;
    t.restart();
    for (int c = 0; c < childCount; ++c) {
        const int first = c * phones / childCount, count = (c + 1) * phones / childCount - first;
        auto proc = std::make_unique<QProcess>();
        proc->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc->start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--phones"), QString::number(first), QString::number(count), evening});
        children.push_back(std::move(proc));
    }
    for (auto &c : children) {
        while (!c->canReadLine())
            c->waitForReadyRead(60000);
        const QByteArray line = c->readLine().trimmed();
        if (line != "pronti") {
            std::fprintf(stderr, "bench_relay: a child said %s\n", line.constData());
            return 1;
        }
    }
    std::printf("%d phones in %d processes connected in %.1f s\n", phones, childCount, t.elapsed() / 1000.0);

    // Server 0 killed in the middle of the game: a third of the phones lose it.
    QFile pidFile(qEnvironmentVariable("TOMBOLA_NATS_PID_FILES").split(QLatin1Char(',')).value(0));
    pidFile.open(QIODevice::ReadOnly);
    const qint64 pid = pidFile.readAll().trimmed().toLongLong();
    qint64 killed = 0;
    const double cpu = playGame(p, kNumbers / 2, [&] {
        killed = nowNs();
        QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-KILL"), QString::number(pid)});
    });
    const std::vector<qint64> &drawn = p.drawnAt;
    const std::vector<qint64> &published = p.publishedAt;
    waitMs(delaySeconds * 1000 + 1500);
    int lost = 0, restored = 0;
    qint64 latest = 0;
    t.restart();
    while (t.elapsed() < 60000) {
        lost = restored = 0;
        latest = 0;
        for (int c = 0; c < childCount; ++c) {
            const QList<QByteArray> f = askAll(children, "ripresi", c).split(' ');
            lost += f.value(1).toInt();
            restored += f.value(2).toInt();
            latest = std::max(latest, f.value(3).toLongLong());
        }
        if (lost > 0 && restored == lost) break;
        waitMs(250);
    }
    int whole = 0;
    std::vector<qint64> last(kNumbers + 1, 0), first(kNumbers + 1, 0);
    for (int c = 0; c < childCount; ++c) {
        const QList<QByteArray> f = askAll(children, "numeri", c).split(' ');
        whole += f.value(1).toInt();
        for (int k = 1; k <= kNumbers; ++k) {
            const qint64 v = f.value(k + 1).toLongLong();
            last[k] = v <= 0 || last[k] < 0 ? -1 : std::max(last[k], v);
            const qint64 w = f.value(k + 1 + kNumbers).toLongLong();
            if (w > 0) first[k] = first[k] == 0 ? w : std::min(first[k], w);
        }
    }
    // From the (delayed) publish; the numbers published while the killed server's phones were
    // away are counted apart (they reach those phones by the catch-up, told below).
    std::vector<double> delays, steadyDelays, firstDelays, publishLate, phoneLate;
    int missing = 0;
    for (int k = 1; k <= kNumbers; ++k) {
        if (published[k] == 0) {
            ++missing;
            continue;
        }
        publishLate.push_back(double(published[k] - drawn[k]) / 1e6 - delaySeconds * 1000.0);
        if (first[k] > 0) firstDelays.push_back(double(first[k] - published[k]) / 1e6);
        if (last[k] < 0) {
            ++missing;
            continue;
        }
        delays.push_back(double(last[k] - published[k]) / 1e6);
        phoneLate.push_back(double(last[k] - drawn[k]) / 1e6 - delaySeconds * 1000.0);
        if (published[k] < killed || published[k] > latest) steadyDelays.push_back(delays.back());
    }
    std::printf("every number once and in order: %d of %d phones; numbers some phone missed: %d\n", whole,
                phones, missing);
    std::printf(
        "publish to the last phone, the numbers outside the outage (%zu): median %.1f ms, 99th percentile "
        "%.1f ms, worst %.1f ms\n",
        steadyDelays.size(), percentile(steadyDelays, 0.5), percentile(steadyDelays, 0.99),
        percentile(steadyDelays, 1.0));
    std::printf(
        "publish to the last phone, all numbers: median %.1f ms, 99th percentile %.1f ms, worst %.1f ms\n",
        percentile(delays, 0.5), percentile(delays, 0.99), percentile(delays, 1.0));
    std::printf("publish to the first phone: median %.1f ms, 99th percentile %.1f ms\n",
                percentile(firstDelays, 0.5), percentile(firstDelays, 0.99));
    if (delaySeconds > 0) {
        std::printf(
            "delay %d s: the publish after the room's draw, minus the delay: median %.1f ms, worst %.1f ms\n",
            delaySeconds, percentile(publishLate, 0.5), percentile(publishLate, 1.0));
        std::printf(
            "delay %d s: the last phone after the room's draw, minus the delay (outside the outage: see "
            "above): median %.1f ms, 99th percentile %.1f ms\n",
            delaySeconds, percentile(phoneLate, 0.5), percentile(phoneLate, 0.99));
    }
    std::printf(
        "server 0 killed at the %dth number: %d phones lost it, %d caught up from the cluster, the last "
        "%.2f s after the kill\n",
        kNumbers / 2, lost, restored, latest > 0 ? double(latest - killed) / 1e9 : -1.0);
    // The same game without the relay: what the extra CPU is measured against.
    double baseline = 0;
    {
        Program quiet;
        baseline = playGame(quiet);
    }
    std::printf("program's CPU per number: %.3f ms with the relay, %.3f ms without: %.3f ms extra\n",
                cpu * 1000 / kNumbers, baseline * 1000 / kNumbers, (cpu - baseline) * 1000 / kNumbers);
    for (auto &c : children) {
        c->write("fine\n");
        c->waitForFinished(20000);
    }
    p.relay->stop();
    return 0;
}
