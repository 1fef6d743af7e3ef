#include "phone_crowd.h"

#include "bench_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

namespace
{
struct Phone {
    enum Stage { Connecting, Upgrading, Open, Closed };
    int fd = -1;
    quint64 index = 0; // in the crowd, for epoll
    Stage stage = Connecting;
    QByteArray in;
    bool hasState = false;
    bool broken = false;
    QList<int> seen;
    std::vector<qint64> learnt; // learnt[k - 1]: when it first knew the k-th number
};

void heard(Phone &p, const QByteArray &message, qint64 when)
{
    const QJsonObject m = QJsonDocument::fromJson(message).object();
    const QString t = m.value(QLatin1String("t")).toString();
    if (t == QLatin1String("stato")) {
        QList<int> all;
        for (const QJsonValue &v : m.value(QLatin1String("estratti")).toArray())
            all << v.toInt();
        // The game goes on from what the phone already has: the same numbers first.
        if (all.size() < p.seen.size() || all.mid(0, p.seen.size()) != p.seen) p.broken = true;
        for (qsizetype k = p.seen.size(); k < all.size(); ++k)
            p.learnt.push_back(when);
        p.seen = all;
        p.hasState = true;
    } else if (t == QLatin1String("numero")) {
        if (m.value(QLatin1String("k")).toInt() != p.seen.size() + 1) {
            p.broken = true;
            return;
        }
        p.seen << m.value(QLatin1String("n")).toInt();
        p.learnt.push_back(when);
    } else if (t == QLatin1String("tolto")) {
        p.broken = true;
    }
}

double at(std::vector<double> v, double q)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))];
}

class Crowd
{
public:
    Crowd(quint16 port, const QByteArray &token) : m_epoll(epoll_create1(0))
    {
        m_address.sin_family = AF_INET;
        m_address.sin_port = htons(port);
        m_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_upgrade = "GET /" + token +
                    "/ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    }
    ~Crowd()
    {
        for (const auto &p : phones)
            if (p->fd >= 0) ::close(p->fd);
        ::close(m_epoll);
    }

    void open()
    {
        auto p = std::make_unique<Phone>();
        p->index = phones.size();
        p->fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (p->fd < 0 || (::connect(p->fd, reinterpret_cast<sockaddr *>(&m_address), sizeof m_address) != 0 &&
                          errno != EINPROGRESS)) {
            p->stage = Phone::Closed;
            p->broken = true;
        } else {
            epoll_event e{};
            e.events = EPOLLIN | EPOLLOUT;
            e.data.u64 = p->index;
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, p->fd, &e);
        }
        phones.push_back(std::move(p));
    }

    // Waits up to `ms` for what the sockets (and `input`, when not -1) have; false when `input` ended.
    bool turn(int ms, int input = -1, QByteArray *read = nullptr)
    {
        epoll_event events[256];
        const int n = epoll_wait(m_epoll, events, 256, ms);
        bool open = true;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == kInput) {
                char buf[8192];
                const ssize_t got = ::read(input, buf, sizeof buf);
                if (got <= 0)
                    open = false;
                else
                    read->append(buf, got);
                continue;
            }
            serve(*phones[std::size_t(events[i].data.u64)], events[i].events);
        }
        return open;
    }

    void watch(int input)
    {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.u64 = kInput;
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, input, &e);
    }

    int withState() const
    {
        return int(std::count_if(phones.begin(), phones.end(), [](const auto &p) { return p->hasState; }));
    }

    std::vector<std::unique_ptr<Phone>> phones;

private:
    static constexpr quint64 kInput = ~quint64(0);

    void closePhone(Phone &p)
    {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, p.fd, nullptr);
        ::close(p.fd);
        p.fd = -1;
        p.stage = Phone::Closed;
    }

    void serve(Phone &p, quint32 events)
    {
        if (p.stage == Phone::Connecting && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0 || ::send(p.fd, m_upgrade.constData(), size_t(m_upgrade.size()), MSG_NOSIGNAL) !=
                                  m_upgrade.size()) {
                p.broken = true;
                return closePhone(p);
            }
            p.stage = Phone::Upgrading;
            epoll_event e{};
            e.events = EPOLLIN;
            e.data.u64 = p.index;
            epoll_ctl(m_epoll, EPOLL_CTL_MOD, p.fd, &e);
        }
        if (!(events & (EPOLLIN | EPOLLHUP | EPOLLERR)) || p.stage == Phone::Closed) return;
        const qint64 when = monotonicNs();
        char buf[16384];
        for (;;) {
            const ssize_t got = ::read(p.fd, buf, sizeof buf);
            if (got > 0) {
                p.in.append(buf, got);
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                frames(p, when);
                return closePhone(p);
            }
            break;
        }
        frames(p, when);
    }

    // The server's frames: final and unmasked; pings answered with a masked pong.
    void frames(Phone &p, qint64 when)
    {
        if (p.stage == Phone::Upgrading) {
            const qsizetype end = p.in.indexOf("\r\n\r\n");
            if (end < 0) return;
            if (!p.in.startsWith("HTTP/1.1 101")) {
                p.broken = true;
                return;
            }
            p.in.remove(0, end + 4);
            p.stage = Phone::Open;
        }
        qsizetype at = 0;
        while (p.in.size() - at >= 2) {
            const auto b0 = quint8(p.in.at(at));
            quint64 length = quint8(p.in.at(at + 1)) & 0x7f;
            qsizetype head = 2;
            if (length == 126) {
                if (p.in.size() - at < 4) break;
                length = (quint64(quint8(p.in.at(at + 2))) << 8) | quint8(p.in.at(at + 3));
                head = 4;
            } else if (length == 127) {
                if (p.in.size() - at < 10) break;
                length = 0;
                for (int i = 0; i < 8; ++i)
                    length = (length << 8) | quint8(p.in.at(at + 2 + i));
                head = 10;
            }
            if (p.in.size() - at < head + qsizetype(length)) break;
            const QByteArray payload = p.in.mid(at + head, qsizetype(length));
            at += head + qsizetype(length);
            switch (b0 & 0x0f) {
            case 1:
                heard(p, payload, when);
                break;
            case 9: {
                QByteArray pong("\x8a", 1);
                pong += char(0x80 | payload.size());
                pong += QByteArray(4, '\0') + payload; // a mask of zeros leaves the payload as it is
                ::send(p.fd, pong.constData(), size_t(pong.size()), MSG_NOSIGNAL);
                break;
            }
            default:
                break;
            }
        }
        p.in.remove(0, at);
    }

    int m_epoll;
    sockaddr_in m_address{};
    QByteArray m_upgrade;
};
} // namespace

int runPhoneCrowd(quint16 port, const QByteArray &token, int count)
{
    Crowd crowd(port, token);
    // In batches, as the server's listen queue would drop a burst of hundreds.
    for (int i = 0; i < count; ++i) {
        crowd.open();
        if ((i + 1) % 50 == 0 || i + 1 == count) {
            const qint64 until = monotonicNs() + 20 * qint64(1000000000);
            while (crowd.withState() < i + 1 && monotonicNs() < until)
                crowd.turn(50);
        }
    }
    std::printf("ready %d\n", crowd.withState());
    std::fflush(stdout);

    // The program writes "drawn <ordinal> <number> <ns>" for each number, then "end" after the game.
    std::vector<std::pair<int, qint64>> drawn;
    QByteArray input;
    crowd.watch(STDIN_FILENO);
    for (bool ended = false; !ended;) {
        ended = !crowd.turn(100, STDIN_FILENO, &input);
        for (qsizetype nl; (nl = input.indexOf('\n')) >= 0; input.remove(0, nl + 1)) {
            const QList<QByteArray> w = input.left(nl).split(' ');
            if (w.value(0) == "end") ended = true;
            if (w.value(0) == "drawn" && w.size() == 4) drawn.emplace_back(w[2].toInt(), w[3].toLongLong());
        }
    }
    // The last messages may still be on their way: a few seconds for every phone to have them all.
    const qsizetype all = qsizetype(drawn.size());
    const qint64 grace = monotonicNs() + 5 * qint64(1000000000);
    while (monotonicNs() < grace &&
           !std::all_of(crowd.phones.begin(), crowd.phones.end(),
                        [&](const auto &p) { return p->broken || p->seen.size() >= all; }))
        crowd.turn(50);

    int failures = 0;
    std::vector<double> lastMs;    // per number: the draw to the last phone that had it
    std::vector<double> arrivalMs; // every phone, every number
    std::vector<qint64> last(std::size_t(all), 0);
    for (const auto &p : crowd.phones) {
        bool ok = !p->broken && p->seen.size() == all;
        for (qsizetype k = 0; ok && k < all; ++k)
            ok = p->seen[k] == drawn[std::size_t(k)].first;
        if (!ok) ++failures;
        for (std::size_t k = 0; k < p->learnt.size() && k < std::size_t(all); ++k) {
            last[k] = std::max(last[k], p->learnt[k]);
            arrivalMs.push_back(double(p->learnt[k] - drawn[k].second) * 1e-6);
        }
    }
    for (std::size_t k = 0; k < std::size_t(all); ++k)
        lastMs.push_back(double(last[k] - drawn[k].second) * 1e-6);
    std::printf("phones %d %d %lld %.3f %.3f %.3f %.3f %.3f\n", count, failures, qlonglong(all),
                median(lastMs), at(lastMs, 0.99), at(lastMs, 1.0), median(arrivalMs), at(arrivalMs, 0.99));
    std::fflush(stdout);
    return 0;
}
