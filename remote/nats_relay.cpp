#include "remote/nats_relay.h"
#include "remote/cluster_evening.h"
#include "remote/reply_seal.h"

#include "phones/phone_service.h"
#include "phones/phone_token.h"
#include "phones/qr_code.h"

#include <QFile>
#include <QMetaObject>
#include <QUrl>
#include <QUrlQuery>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <nats/nats.h>

namespace
{
constexpr int kConnectTimeoutMs = 2000;
constexpr int kRetryMs = 1000;
constexpr int kCloseWaitMs = 5000;

QString lastError(natsStatus status)
{
    const char *text = nats_GetLastError(nullptr);
    return QString::fromUtf8(text && *text ? text : natsStatus_GetText(status));
}

// `message` (a JSON object as phone_protocol writes it) with the evening's sequence number and,
// for a whole state, the video's delay the page tells its reader.
QByteArray stamped(const QByteArray &message, quint64 sequence, std::optional<int> delaySeconds)
{
    if (!message.endsWith('}')) return message;
    QByteArray out = message.chopped(1);
    out += ",\"s\":" + QByteArray::number(sequence);
    if (delaySeconds) out += ",\"ritardo\":" + QByteArray::number(*delaySeconds);
    return out + '}';
}

// What the caller is told, in Italian, of a connection that failed with `status`.
QString failure(natsStatus status, const QString &detail)
{
    switch (status) {
    case NATS_CONNECTION_AUTH_FAILED:
        return QStringLiteral("Il server NATS ha rifiutato le credenziali del banco: controlla utente e "
                              "password, o il file delle credenziali.");
    case NATS_SSL_ERROR:
        return QStringLiteral("Il collegamento sicuro (TLS) con il server NATS non è riuscito: il "
                              "certificato del server non è riconosciuto (%1). Riprovo da solo.")
            .arg(detail);
    case NATS_NOT_PERMITTED:
        return QStringLiteral("Il server NATS non permette a queste credenziali di pubblicare la serata: "
                              "controlla i permessi dell'utente del banco.");
    default:
        return QStringLiteral("Il server NATS non risponde: la serata non arriva ai telefoni lontani. "
                              "Riprovo da solo.");
    }
}
} // namespace

// What the callbacks of one connection share with the relay. libnats holds a plain pointer to it
// (the callbacks' closure), so it lives until the connection's last callback has run.
struct NatsRelay::Bridge {
    std::mutex mutex;
    std::condition_variable closedWait;
    NatsRelay *relay = nullptr; // null once the relay has let this connection go
    bool cancelled = false;
    bool closed = false;
    natsConnection *connection = nullptr;
    natsSubscription *requests = nullptr;
    std::unique_ptr<ClusterEvening> cluster; // what goes far away goes through it, in order

    // `f` runs in the relay's thread, if the relay still wants this connection's news then.
    void post(std::function<void(NatsRelay &)> f)
    {
        std::lock_guard lock(mutex);
        if (!relay) return;
        NatsRelay *r = relay;
        QMetaObject::invokeMethod(
            r,
            [r, self = this, f = std::move(f)] {
                if (r->m_bridge.get() == self) f(*r);
            },
            Qt::QueuedConnection);
    }

    // The callbacks libnats calls in its threads, and the threads that connect and close.
    static void onRequest(natsConnection *, natsSubscription *, natsMsg *msg, void *closure)
    {
        auto *bridge = static_cast<Bridge *>(closure);
        const char *phone = nullptr;
        if (natsMsgHeader_Get(msg, "Telefono", &phone) != NATS_OK) phone = nullptr;
        QString name = phone ? QString::fromUtf8(phone).left(64) : QString();
        const char *keyHeader = nullptr;
        if (natsMsgHeader_Get(msg, "Chiave", &keyHeader) != NATS_OK) keyHeader = nullptr;
        std::optional<QByteArray> key = reply_seal::keyFromHeader(QByteArray(keyHeader ? keyHeader : ""));
        const char *reply = natsMsg_GetReply(msg);
        QByteArray replyTo(reply ? reply : "");
        // A request is small; a bigger one is read no further than the protocol allows.
        const int length =
            std::min<int>(natsMsg_GetDataLength(msg), int(phone_protocol::kMostMessageBytes) + 1);
        QByteArray data(natsMsg_GetData(msg), length);
        natsMsg_Destroy(msg);
        bridge->post([name = std::move(name), replyTo = std::move(replyTo), data = std::move(data),
                      key = std::move(key)](NatsRelay &r) { r.handleRequest(name, replyTo, data, key); });
    }

    static void onDisconnected(natsConnection *, void *closure)
    {
        static_cast<Bridge *>(closure)->post(
            [](NatsRelay &r) { r.handleLink(NatsRelay::Link::Lost, failure(NATS_NO_SERVER, {})); });
    }

    static void onReconnected(natsConnection *, void *closure)
    {
        static_cast<Bridge *>(closure)->post([](NatsRelay &r) { r.handleLink(NatsRelay::Link::Up, {}); });
    }

    static void onClosed(natsConnection *, void *closure)
    {
        auto *bridge = static_cast<Bridge *>(closure);
        std::lock_guard lock(bridge->mutex);
        bridge->closed = true;
        bridge->closedWait.notify_all();
    }

    static void onError(natsConnection *, natsSubscription *, natsStatus status, void *closure)
    {
        // A publish the server's permissions refuse: the connection stays, the evening does not arrive.
        if (status != NATS_NOT_PERMITTED) return;
        static_cast<Bridge *>(closure)->post(
            [](NatsRelay &r) { r.handleLink(NatsRelay::Link::Refused, failure(NATS_NOT_PERMITTED, {})); });
    }

    static natsOptions *options(const NatsSettings &s, Bridge *bridge, natsStatus *status)
    {
        natsOptions *o = nullptr;
        *status = natsOptions_Create(&o);
        if (*status != NATS_OK) return nullptr;
        QList<QByteArray> urls;
        bool secure = false;
        for (const QString &url : s.servers) {
            urls << url.trimmed().toUtf8();
            secure = secure || url.trimmed().startsWith(QLatin1String("tls://"), Qt::CaseInsensitive);
        }
        std::vector<const char *> list;
        for (const QByteArray &u : urls)
            list.push_back(u.constData());
        natsStatus st = natsOptions_SetServers(o, list.data(), int(list.size()));
        if (st == NATS_OK) st = natsOptions_SetName(o, "tombola");
        if (st == NATS_OK && !s.user.isEmpty())
            st = natsOptions_SetUserInfo(o, s.user.toUtf8().constData(), s.password.toUtf8().constData());
        else if (st == NATS_OK && !s.credentialsFile.isEmpty())
            st = natsOptions_SetUserCredentialsFromFiles(o, QFile::encodeName(s.credentialsFile).constData(),
                                                         nullptr);
        if (st == NATS_OK && secure) {
            st = natsOptions_SetSecure(o, true);
            QString ca = s.caFile;
            if (ca.isEmpty() && QFile::exists(QStringLiteral("/etc/ssl/certs/ca-certificates.crt")))
                ca = QStringLiteral("/etc/ssl/certs/ca-certificates.crt");
            if (st == NATS_OK && !ca.isEmpty())
                st = natsOptions_LoadCATrustedCertificates(o, QFile::encodeName(ca).constData());
        }
        if (st == NATS_OK) st = natsOptions_SetTimeout(o, kConnectTimeoutMs);
        if (st == NATS_OK) st = natsOptions_SetAllowReconnect(o, true);
        if (st == NATS_OK) st = natsOptions_SetMaxReconnect(o, -1);
        if (st == NATS_OK) st = natsOptions_SetReconnectWait(o, 500);
        // A server gone without closing the socket is noticed within about ten seconds.
        if (st == NATS_OK) st = natsOptions_SetPingInterval(o, 5000);
        if (st == NATS_OK) st = natsOptions_SetMaxPingsOut(o, 2);
        if (st == NATS_OK) st = natsOptions_SetDisconnectedCB(o, onDisconnected, bridge);
        if (st == NATS_OK) st = natsOptions_SetReconnectedCB(o, onReconnected, bridge);
        if (st == NATS_OK) st = natsOptions_SetClosedCB(o, onClosed, bridge);
        if (st == NATS_OK) st = natsOptions_SetErrorHandler(o, onError, bridge);
        if (st != NATS_OK) {
            natsOptions_Destroy(o);
            *status = st;
            return nullptr;
        }
        return o;
    }

    // Closes what the bridge holds and waits, a bounded time, for the connection's last callback.
    static void closeBridge(const std::shared_ptr<Bridge> &bridge, natsConnection *connection,
                            natsSubscription *requests, std::shared_ptr<ClusterEvening> cluster)
    {
        if (cluster) cluster->stop(); // its thread publishes on the connection: stopped first
        if (requests) {
            natsSubscription_Unsubscribe(requests);
            natsSubscription_Destroy(requests);
        }
        if (!connection) return;
        natsConnection_Close(connection);
        natsConnection_Destroy(connection);
        {
            std::unique_lock lock(bridge->mutex);
            bridge->closedWait.wait_for(lock, std::chrono::milliseconds(kCloseWaitMs),
                                        [&] { return bridge->closed; });
        }
        cluster.reset(); // its acknowledgements come no more
    }

    // In a thread of its own: connects, subscribes to the requests and hands the connection over, or
    // tries again every second until the credentials are refused or the relay gives up.
    static void connectLoop(std::shared_ptr<Bridge> bridge, NatsSettings settings, QByteArray evening)
    {
        const QByteArray requestSubject = "tombola." + evening + ".chiamate";
        bool told = false;
        for (;;) {
            {
                std::lock_guard lock(bridge->mutex);
                if (bridge->cancelled) return;
            }
            natsStatus status = NATS_OK;
            natsOptions *o = options(settings, bridge.get(), &status);
            natsConnection *connection = nullptr;
            if (o) {
                status = natsConnection_Connect(&connection, o);
                natsOptions_Destroy(o);
            }
            if (status == NATS_OK) {
                natsSubscription *requests = nullptr;
                status = natsConnection_Subscribe(&requests, connection, requestSubject.constData(),
                                                  onRequest, bridge.get());
                if (status == NATS_OK) status = natsConnection_FlushTimeout(connection, kConnectTimeoutMs);
                auto cluster = std::make_unique<ClusterEvening>(connection, evening);
                quint64 lastSequence = 0;
                QString unheld;
                if (status == NATS_OK) {
                    cluster->prepare(&lastSequence, &unheld);
                    cluster->run();
                }
                bool keep = false;
                if (status == NATS_OK) {
                    std::lock_guard lock(bridge->mutex);
                    if (!bridge->cancelled) {
                        bridge->connection = connection;
                        bridge->requests = requests;
                        bridge->cluster = std::move(cluster);
                        keep = true;
                    }
                }
                if (keep) {
                    bridge->post(
                        [lastSequence, unheld](NatsRelay &r) { r.handleConnected(lastSequence, unheld); });
                    return;
                }
                closeBridge(bridge, connection, requests, std::move(cluster));
                if (status == NATS_OK) return; // given up meanwhile
                bridge->post(
                    [status](NatsRelay &r) { r.handleLink(NatsRelay::Link::Refused, failure(status, {})); });
                return;
            }
            const QString detail = lastError(status);
            if (status == NATS_CONNECTION_AUTH_FAILED || !o) {
                bridge->post([status, detail](NatsRelay &r) {
                    r.handleLink(
                        NatsRelay::Link::Refused,
                        status == NATS_CONNECTION_AUTH_FAILED
                            ? failure(status, detail)
                            : QStringLiteral("Impostazioni del server NATS non valide: %1").arg(detail));
                });
                return;
            }
            if (!told || status == NATS_SSL_ERROR) {
                bridge->post([status, detail](NatsRelay &r) {
                    r.handleLink(NatsRelay::Link::Lost, failure(status, detail));
                });
                told = true;
            }
            std::unique_lock lock(bridge->mutex);
            bridge->closedWait.wait_for(lock, std::chrono::milliseconds(kRetryMs),
                                        [&] { return bridge->cancelled; });
        }
    }
};

NatsRelay::NatsRelay(PhoneService &service, QObject *parent) : QObject(parent), m_service(service)
{
    connect(&service, &PhoneService::changed, this, [this] { publishState(false); });
    connect(&service, &PhoneService::repeated, this, [this](const QByteArray &message) {
        if (m_bridge && m_feed.told()) m_delay.push({QStringLiteral("numero"), message, m_feed.state()});
    });
    connect(&m_delay, &FarDelay::released, this, &NatsRelay::publishFar);
    connect(&m_delay, &FarDelay::holdingChanged, this, &NatsRelay::farHoldingChanged);
}

void NatsRelay::setDelaySeconds(int seconds)
{
    m_delay.setSeconds(seconds);
    if (m_settings.delaySeconds == m_delay.seconds()) return;
    m_settings.delaySeconds = m_delay.seconds();
    if (m_bridge && m_feed.told())
        m_delay.push({QStringLiteral("stato"), m_feed.wholeMessage(), m_feed.state()});
}

NatsRelay::~NatsRelay()
{
    stop();
    for (std::thread &t : m_threads)
        t.join();
}

QString NatsRelay::newEveningId()
{
    return QString::fromLatin1(randomToken(16)).toLower();
}

QString NatsRelay::subject(const QString &leaf) const
{
    return QStringLiteral("tombola.%1.%2").arg(m_eveningId, leaf);
}

void NatsRelay::start(const NatsSettings &settings, const QString &eveningId)
{
    stop();
    m_settings = settings;
    m_eveningId = eveningId;
    m_feed.reset();
    m_delay.clear();
    m_delay.setSeconds(settings.delaySeconds);
    m_farAny = false;
    m_asks.clear();
    m_states.clear();
    auto bridge = std::make_shared<Bridge>();
    bridge->relay = this;
    m_bridge = bridge;
    setLink(Link::Connecting, QStringLiteral("Collegamento al server NATS in corso…"));
    m_threads.emplace_back(Bridge::connectLoop, bridge, settings, eveningId.toUtf8());
}

void NatsRelay::stop()
{
    if (!m_bridge) return;
    natsConnection *connection = nullptr;
    natsSubscription *requests = nullptr;
    std::shared_ptr<ClusterEvening> cluster;
    {
        std::lock_guard lock(m_bridge->mutex);
        m_bridge->relay = nullptr;
        m_bridge->cancelled = true;
        connection = std::exchange(m_bridge->connection, nullptr);
        requests = std::exchange(m_bridge->requests, nullptr);
        cluster = std::move(m_bridge->cluster);
        m_bridge->closedWait.notify_all();
    }
    // Closing flushes and joins libnats' threads: not in the game's thread.
    if (connection)
        m_threads.emplace_back(Bridge::closeBridge, m_bridge, connection, requests, std::move(cluster));
    m_bridge.reset();
    m_delay.clear();
    setLink(Link::Off, {});
}

void NatsRelay::setLink(Link link, const QString &problem)
{
    if (link == m_link && problem == m_problem) return;
    m_link = link;
    m_problem = problem;
    emit linkChanged(link);
}

void NatsRelay::handleConnected(quint64 lastSequence, const QString &unheld)
{
    // Numbers go on from where the cluster has the evening (a program started again).
    m_eveningSequence = std::max(m_eveningSequence, lastSequence);
    m_unheld = unheld;
    setLink(Link::Up, {});
    // What far phones may see already goes at once; the room's news since, after the delay.
    if (m_farAny) publishFarWhole();
    publishState(!m_farAny);
}

void NatsRelay::handleLink(Link link, const QString &problem)
{
    // A refusal of the permissions stands until the caller changes them.
    if (m_link == Link::Refused && link == Link::Lost) return;
    setLink(link, problem);
    // Back: whoever missed something while the server was away has the whole state again.
    if (link == Link::Up && m_farAny) publishFarWhole();
}

void NatsRelay::send(const QString &subj, const QByteArray &data)
{
    natsConnection *connection = m_bridge ? m_bridge->connection : nullptr;
    if (!connection) return;
    // While the server is away libnats keeps what is published and sends it on reconnecting.
    natsConnection_Publish(connection, subj.toUtf8().constData(), data.constData(), int(data.size()));
}

void NatsRelay::publishState(bool whole)
{
    if (!m_bridge) return;
    const PhoneState now = m_service.state();
    const PhoneFeed::Step step = m_feed.next(now, whole);
    if (step.message.isEmpty()) return;
    m_delay.push({step.whole ? QStringLiteral("stato") : QStringLiteral("numero"), step.message, now});
}

void NatsRelay::publishFar(const FarDelay::Message &message)
{
    m_farState = message.state;
    m_farAny = true;
    // Not connected: the whole state goes when the connection comes.
    if (!m_bridge || !m_bridge->connection) return;
    ++m_eveningSequence;
    const bool whole = message.leaf == QLatin1String("stato");
    m_bridge->cluster->publish(message.leaf.toUtf8(),
                               stamped(message.data, m_eveningSequence,
                                       whole ? std::optional<int>(m_delay.seconds()) : std::nullopt),
                               m_eveningSequence);
}

void NatsRelay::publishFarWhole()
{
    if (!m_bridge || !m_bridge->cluster) return;
    // A new number for it: the bucket's state is always the newest, and a phone that has all
    // before it takes it again without harm.
    ++m_eveningSequence;
    m_bridge->cluster->publish("stato", farWholeState(), m_eveningSequence);
}

QByteArray NatsRelay::farWholeState() const
{
    return stamped(phone_protocol::wholeState(m_farAny ? m_farState : m_service.state()), m_eveningSequence,
                   m_delay.seconds());
}

void NatsRelay::handleRequest(const QString &phone, const QByteArray &replyTo, const QByteArray &data,
                              const std::optional<QByteArray> &key)
{
    if (replyTo.isEmpty() || !m_bridge) return;
    const phone_protocol::Request request = phone_protocol::parse(QString::fromUtf8(data));
    const QString name = phone_protocol::isPhoneName(phone) ? phone : QString();
    // A flood of made-up names cannot grow the tables without end.
    if (m_asks.size() > 20000) m_asks.clear();
    if (m_states.size() > 20000) m_states.clear();
    const QString busy = QStringLiteral("Troppe richieste: riprova tra qualche secondo.");
    QByteArray answer;
    switch (request.kind) {
    case phone_protocol::Request::State:
        if (!m_states[name].take(m_limits.statesPerSecond, m_limits.stateBurst) ||
            !m_allStates.take(m_limits.allStatesPerSecond, m_limits.allStateBurst))
            answer = phone_protocol::error(busy);
        else if (m_farAny || m_delay.seconds() == 0)
            answer = farWholeState();
        break;
    case phone_protocol::Request::Cards:
    case phone_protocol::Request::Call:
    case phone_protocol::Request::Deal:
        // What a phone is told of its own cards goes sealed, or not at all.
        if (!key)
            answer =
                phone_protocol::error(QStringLiteral("Pagina vecchia: ricaricala per giocare da lontano."));
        else if (!m_asks[name].take(m_limits.asksPerSecond, m_limits.askBurst) ||
                 !m_allAsks.take(m_limits.allAsksPerSecond, m_limits.allAskBurst))
            answer = phone_protocol::error(busy);
        else
            answer = m_service.answer(name, {}, request);
        break;
    default:
        answer = phone_protocol::error(QStringLiteral("Richiesta non valida."));
    }
    // A call may have stopped the relay meanwhile (a modal box of the desk).
    if (!answer.isEmpty()) send(QString::fromUtf8(replyTo), key ? reply_seal::seal(*key, answer) : answer);
}

QString NatsRelay::phoneLink() const
{
    if (m_settings.pageAddress.isEmpty() || m_eveningId.isEmpty() || m_settings.webSocket.isEmpty())
        return {};
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("nats"), QString::fromUtf8(QUrl::toPercentEncoding(m_settings.webSocket)));
    q.addQueryItem(QStringLiteral("sera"), m_eveningId);
    if (!m_settings.phoneUser.isEmpty()) {
        q.addQueryItem(QStringLiteral("utente"),
                       QString::fromUtf8(QUrl::toPercentEncoding(m_settings.phoneUser)));
        q.addQueryItem(QStringLiteral("parola"),
                       QString::fromUtf8(QUrl::toPercentEncoding(m_settings.phonePassword)));
    }
    QString page = m_settings.pageAddress.trimmed();
    const qsizetype hash = page.indexOf(QLatin1Char('#'));
    if (hash >= 0) page.truncate(hash);
    return page + QLatin1Char('#') + q.toString(QUrl::FullyEncoded);
}

QrCode NatsRelay::qrCode() const
{
    return encodeQr(phoneLink().toUtf8());
}
