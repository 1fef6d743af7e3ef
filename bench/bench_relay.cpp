// The evening through the NATS cluster of scripts/with-nats.sh to many phones far away: phones
// simulated by libnats connections in child processes, spread over the three servers, follow a
// 90-number game at the fastest pace (a number every 100 ms). Prints whether every phone got every
// number once and in order, the delay from each draw to the last phone that had it (median and 99th
// percentile over the numbers) and to the first (what the program and one server take), the
// program's extra CPU per number (the same game without the relay subtracted), and the seconds
// until every phone of a server killed after the game has the whole state again through another
// server. Prints figures, asserts nothing.
//   bash scripts/with-nats.sh build/bench/bench_relay [phones] [children]

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
#include <cstdio>
#include <iostream>
#include <mutex>
#include <nats/nats.h>
#include <string>
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
    int asked = 0;
};

void onNumber(natsConnection *, natsSubscription *, natsMsg *msg, void *closure)
{
    const qint64 t = nowNs();
    auto *p = static_cast<Phone *>(closure);
    const QByteArray data(natsMsg_GetData(msg), natsMsg_GetDataLength(msg));
    natsMsg_Destroy(msg);
    // A number alone, or the whole state when something else changed with it (the pause).
    int k = 0;
    if (data.contains("\"t\":\"numero\"")) {
        const qsizetype k0 = data.indexOf("\"k\":");
        k = data.mid(k0 + 4, 3).split(',').first().toInt();
    } else if (data.contains("\"t\":\"stato\"")) {
        const qsizetype a = data.indexOf("\"estratti\":["), b = data.indexOf(']', a);
        if (a < 0 || b < 0) return;
        const QByteArray list = data.mid(a + 12, b - a - 12);
        k = list.isEmpty() ? 0 : int(list.count(',')) + 1;
        std::lock_guard lock(p->mutex);
        if (k == p->next - 1) return; // the same numbers again
    }
    if (k == 0) return;
    std::lock_guard lock(p->mutex);
    if (k != p->next || k > kNumbers) {
        // After a reconnection the numbers go on from the state; before, any gap is a loss.
        if (!p->lost) p->wrong = true;
        return;
    }
    p->at[k] = t;
    ++p->next;
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
}

void onAnswer(natsConnection *, natsSubscription *, natsMsg *msg, void *closure)
{
    const qint64 t = nowNs();
    auto *p = static_cast<Phone *>(closure);
    const bool whole =
        QByteArray(natsMsg_GetData(msg), natsMsg_GetDataLength(msg)).contains("\"t\":\"stato\"");
    natsMsg_Destroy(msg);
    std::lock_guard lock(p->mutex);
    if (whole && p->lost && !p->restored) p->restored = t;
    if (!whole && p->lost && !p->restored) ask(p); // "too many requests": again
}

void onDisconnected(natsConnection *, void *closure)
{
    static_cast<Phone *>(closure)->lost = true;
}

void onReconnected(natsConnection *, void *closure)
{
    auto *p = static_cast<Phone *>(closure);
    std::lock_guard lock(p->mutex);
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
    std::vector<qint64> drawnAt = std::vector<qint64>(kNumbers + 1, 0); // when number k was drawn
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
double playGame(Program &p)
{
    QList<int> order;
    for (int n = 1; n <= kNumbers; ++n)
        order << n;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    p.random.replay(picksFor(order));
    qsizetype paced = 0;
    p.clock.onPump = [&p, &paced](FakeClock::Point point) {
        if (point != FakeClock::Point::Wait || p.drawn().size() == paced) return;
        paced = p.drawn().size();
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

    const double cpu = playGame(p);
    const std::vector<qint64> &drawn = p.drawnAt;
    waitMs(1000);
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
    std::vector<double> delays, firstDelays;
    int missing = 0;
    for (int k = 1; k <= kNumbers; ++k) {
        if (first[k] > 0) firstDelays.push_back(double(first[k] - drawn[k]) / 1e6);
        if (last[k] < 0)
            ++missing;
        else
            delays.push_back(double(last[k] - drawn[k]) / 1e6);
    }
    std::printf("every number once and in order: %d of %d phones; numbers some phone missed: %d\n", whole,
                phones, missing);
    std::printf("draw to the last phone: median %.1f ms, 99th percentile %.1f ms, worst %.1f ms\n",
                percentile(delays, 0.5), percentile(delays, 0.99), percentile(delays, 1.0));
    std::printf("draw to the first phone: median %.1f ms, 99th percentile %.1f ms\n",
                percentile(firstDelays, 0.5), percentile(firstDelays, 0.99));
    // The same game without the relay: what the extra CPU is measured against.
    double baseline = 0;
    {
        Program quiet;
        baseline = playGame(quiet);
    }
    std::printf("program's CPU per number: %.3f ms with the relay, %.3f ms without: %.3f ms extra\n",
                cpu * 1000 / kNumbers, baseline * 1000 / kNumbers, (cpu - baseline) * 1000 / kNumbers);

    // One server killed: its phones reconnect to another and ask the whole state.
    QFile pidFile(qEnvironmentVariable("TOMBOLA_NATS_PID_FILES").split(QLatin1Char(',')).value(0));
    pidFile.open(QIODevice::ReadOnly);
    const qint64 pid = pidFile.readAll().trimmed().toLongLong();
    const qint64 killed = nowNs();
    QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-KILL"), QString::number(pid)});
    int lost = 0, restored = 0;
    qint64 latest = 0;
    t.restart();
    while (t.elapsed() < 60000) {
        waitMs(250);
        lost = restored = 0;
        latest = 0;
        for (int c = 0; c < childCount; ++c) {
            const QList<QByteArray> f = askAll(children, "ripresi", c).split(' ');
            lost += f.value(1).toInt();
            restored += f.value(2).toInt();
            latest = std::max(latest, f.value(3).toLongLong());
        }
        if (lost > 0 && restored == lost) break;
    }
    std::printf("one server killed: %d phones lost it, %d had the whole state again, the last after %.2f s\n",
                lost, restored, double(latest - killed) / 1e9);
    for (auto &c : children) {
        c->write("fine\n");
        c->waitForFinished(20000);
    }
    p.relay->stop();
    return 0;
}
