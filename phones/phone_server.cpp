#include "phones/phone_server.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QWebSocket>

// What every connection shares with the server that counts them; it outlives both. Not in the
// anonymous namespace: the server, declared in the header, holds it.
struct PhoneConnectionCounts {
    int open = 0;
    QHash<QHostAddress, int> perAddress;
};

namespace
{
using Counts = PhoneConnectionCounts;

// Lives as a child of its socket, so whoever ends the socket ends the count too. While the
// connection speaks HTTP it may send `requestBytes` in all and live `httpLifeMs`.
class Ticket : public QObject
{
public:
    Ticket(QTcpSocket *socket, std::shared_ptr<Counts> counts, const PhoneServer::Limits &limits)
        : QObject(socket), m_counts(std::move(counts)), m_address(socket->peerAddress()),
          m_budget(limits.requestBytes)
    {
        setObjectName(name());
        ++m_counts->open;
        ++m_counts->perAddress[m_address];
        m_life.setSingleShot(true);
        m_life.callOnTimeout(socket, &QAbstractSocket::abort);
        m_life.start(limits.httpLifeMs);
        // Before the HTTP server's own: it sees each new byte once. Becoming a phone's connection
        // ends this (the server disconnects the socket's signals).
        connect(socket, &QIODevice::readyRead, this, [this, socket] {
            m_budget -= socket->bytesAvailable();
            if (m_budget < 0)
                QMetaObject::invokeMethod(socket, &QAbstractSocket::abort, Qt::QueuedConnection);
        });
    }
    ~Ticket() override
    {
        --m_counts->open;
        if (--m_counts->perAddress[m_address] <= 0) m_counts->perAddress.remove(m_address);
    }
    void becamePhone() { m_life.stop(); }
    // Found by name: a class without its own meta-object cannot be told apart by findChild.
    static QString name() { return QStringLiteral("phones-ticket"); }
    static Ticket *of(QTcpSocket *socket)
    {
        return static_cast<Ticket *>(socket->findChild<QObject *>(name(), Qt::FindDirectChildrenOnly));
    }

private:
    std::shared_ptr<Counts> m_counts;
    QHostAddress m_address;
    qint64 m_budget;
    QTimer m_life;
};

} // namespace

// Accepts a connection only within the limits; each socket reads at most a request's worth ahead.
class GuardedTcpServer : public QTcpServer
{
public:
    GuardedTcpServer(const PhoneServer::Limits &limits, QObject *parent)
        : QTcpServer(parent), m_limits(limits), m_counts(std::make_shared<Counts>())
    {
    }
    int open() const { return m_counts->open; }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (m_counts->open >= m_limits.connections ||
            m_counts->perAddress.value(socket->peerAddress()) >= m_limits.perAddress) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        socket->setReadBufferSize(8192);
        new Ticket(socket, m_counts, m_limits);
        addPendingConnection(socket);
    }

private:
    PhoneServer::Limits m_limits;
    std::shared_ptr<Counts> m_counts;
};

// The HTTP side: the page's files under the token, and the upgrade of "<token>/ws".
class PageServer : public QAbstractHttpServer
{
public:
    explicit PageServer(PhoneServer &owner) : m_owner(owner) {}

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        QString rest;
        if (request.method() != QHttpServerRequest::Method::Get ||
            !m_owner.tokenPath(request.url().path(), &rest))
            return false;
        if (rest == QLatin1String("ws")) {
            // Returned true for an upgrade, the WebSocket server takes the socket next.
            if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) != 0) return false;
            if (Ticket *ticket = Ticket::of(socket)) ticket->becamePhone();
            return true;
        }
        QHttpServerResponder responder = makeResponder(request, socket);
        if (rest == QLatin1String("-")) {
            // The token alone: the page is one level down, so its own files are found beside it.
            responder.write(
                {{"Location", request.url().path().toUtf8() + '/'}, {"Cache-Control", "no-store"}},
                QHttpServerResponder::StatusCode::Found);
            return true;
        }
        const auto file = PhoneServer::files().constFind(rest);
        if (file == PhoneServer::files().cend()) return false;
        responder.write(
            file->bytes,
            {{"Content-Type", file->type},
             {"Cache-Control", "no-store"},
             {"X-Content-Type-Options", "nosniff"},
             {"Referrer-Policy", "no-referrer"},
             {"Content-Security-Policy",
              "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
              "img-src 'self' data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"}},
            QHttpServerResponder::StatusCode::Ok);
        return true;
    }

    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        // Nothing of the evening, and no second try on this connection.
        makeResponder(request, socket)
            .write({{"Connection", "close"}}, QHttpServerResponder::StatusCode::NotFound);
        socket->disconnectFromHost();
    }

private:
    PhoneServer &m_owner;
};

struct PhoneServer::Client {
    quint64 id = 0;
    QString phone;
    std::unique_ptr<QWebSocket> socket;
    QElapsedTimer heard;
    RateLimit messages;
    RateLimit asks;
};

const QHash<QString, PhoneServer::File> &PhoneServer::files()
{
    static const QHash<QString, File> table = [] {
        QHash<QString, File> t;
        auto load = [&t](const QString &name, const char *resource, const char *type) {
            QFile f{QString::fromLatin1(resource)};
            if (f.open(QIODevice::ReadOnly)) t.insert(name, File{f.readAll(), QByteArray(type)});
        };
        load(QString(), ":/phones/index.html", "text/html; charset=utf-8");
        load(QStringLiteral("app.js"), ":/phones/app.js", "text/javascript; charset=utf-8");
        load(QStringLiteral("style.css"), ":/phones/style.css", "text/css; charset=utf-8");
        return t;
    }();
    return table;
}

PhoneServer::PhoneServer(const QByteArray &token, const Limits &limits, RequestHandler onRequest)
    : m_token(token.toUpper()), m_limits(limits), m_onRequest(std::move(onRequest)), m_pings(this)
{
    m_pings.callOnTimeout(this, &PhoneServer::pingAll);
}

PhoneServer::~PhoneServer()
{
    stop();
}

bool PhoneServer::tokenPath(const QString &path, QString *rest) const
{
    // "/<token>" or "/<token>/<rest>"; the token compared in full whatever the path holds.
    const qsizetype slash = path.indexOf(QLatin1Char('/'), 1);
    // Read in either case: the QR code carries it in capitals, a typed address may not.
    const QByteArray given = path.mid(1, slash < 0 ? -1 : slash - 1).toUpper().toUtf8();
    if (!path.startsWith(QLatin1Char('/')) || given.size() != m_token.size()) return false;
    unsigned char differ = 0;
    for (qsizetype i = 0; i < given.size(); ++i)
        differ |= static_cast<unsigned char>(given[i] ^ m_token.at(i));
    if (differ != 0) return false;
    *rest = slash < 0 ? QStringLiteral("-") : path.mid(slash + 1);
    return true;
}

quint16 PhoneServer::listen(quint16 port)
{
    stop();
    m_http = std::make_unique<PageServer>(*this);
    connect(m_http.get(), &QAbstractHttpServer::newWebSocketConnection, this, &PhoneServer::phoneConnected);
    m_tcp = new GuardedTcpServer(m_limits, m_http.get());
    if (!m_tcp->listen(QHostAddress::Any, port) && !m_tcp->listen(QHostAddress::Any, 0)) {
        m_http.reset();
        m_tcp = nullptr;
        return 0;
    }
    m_http->bind(m_tcp);
    m_pings.start(m_limits.pingMs);
    return m_tcp->serverPort();
}

void PhoneServer::stop()
{
    m_pings.stop();
    const bool had = !m_clients.empty();
    for (auto &[id, client] : m_clients) {
        client->socket->disconnect(this);
        client->socket->abort();
    }
    m_clients.clear();
    // The port, and with it every socket still speaking HTTP.
    m_tcp = nullptr;
    m_http.reset();
    if (had) emit phoneCountChanged(0);
}

int PhoneServer::connectionCount() const
{
    return m_tcp ? m_tcp->open() : 0;
}

void PhoneServer::phoneConnected()
{
    while (m_http && m_http->hasPendingWebSocketConnections()) {
        auto client = std::make_unique<Client>();
        client->id = m_nextId++;
        client->socket = m_http->nextPendingWebSocketConnection();
        QWebSocket *ws = client->socket.get();
        ws->setMaxAllowedIncomingFrameSize(phone_protocol::kMostMessageBytes);
        ws->setMaxAllowedIncomingMessageSize(phone_protocol::kMostMessageBytes);
        client->heard.start();
        const quint64 id = client->id;
        connect(ws, &QWebSocket::textMessageReceived, this,
                [this, id](const QString &m) { received(id, m); });
        connect(ws, &QWebSocket::binaryMessageReceived, this, [this, id] { drop(id); });
        // Queued: a socket may go while the phones are being walked through.
        connect(
            ws, &QWebSocket::disconnected, this, [this, id] { drop(id); }, Qt::QueuedConnection);
        connect(ws, &QWebSocket::pong, this, [this, id] {
            if (auto c = m_clients.find(id); c != m_clients.end()) c->second->heard.restart();
        });
        Client &added = *m_clients.emplace(id, std::move(client)).first->second;
        if (m_state) {
            if (m_wholeState.isEmpty())
                m_wholeState = QString::fromUtf8(phone_protocol::wholeState(*m_state));
            sendTo(added, m_wholeState);
        }
        emit phoneCountChanged(phoneCount());
    }
}

void PhoneServer::drop(quint64 id)
{
    const auto c = m_clients.find(id);
    if (c == m_clients.end()) return;
    QWebSocket *ws = c->second->socket.release();
    m_clients.erase(c);
    ws->disconnect(this);
    ws->abort();
    // Possibly inside one of its own signals.
    ws->deleteLater();
    emit phoneCountChanged(phoneCount());
}

void PhoneServer::received(quint64 id, const QString &message)
{
    const auto found = m_clients.find(id);
    if (found == m_clients.end()) return;
    Client &c = *found->second;
    c.heard.restart();
    using phone_protocol::Request;
    const Request r = c.messages.take(m_limits.messagesPerSecond, m_limits.messageBurst)
                          ? phone_protocol::parse(message)
                          : Request{};
    switch (r.kind) {
    case Request::Invalid:
        drop(id);
        return;
    case Request::Hello:
        c.phone = r.phone;
        return;
    case Request::State:
        if (m_state) {
            if (m_wholeState.isEmpty())
                m_wholeState = QString::fromUtf8(phone_protocol::wholeState(*m_state));
            sendTo(c, m_wholeState);
        }
        return;
    case Request::Cards:
    case Request::Call:
    case Request::Deal:
        break;
    }
    if (!c.asks.take(m_limits.asksPerSecond, m_limits.askBurst) ||
        !m_allAsks.take(m_limits.allAsksPerSecond, m_limits.allAsksPerSecond)) {
        sendTo(c, QString::fromUtf8(phone_protocol::error(
                      QStringLiteral("Troppe richieste: riprova tra qualche secondo."))));
        return;
    }
    if (m_onRequest) m_onRequest(id, c.phone, r);
}

void PhoneServer::sendTo(Client &client, const QString &text)
{
    // A phone that reads nothing is let go before its queue grows without end; it catches up
    // whole when it comes back.
    if (client.socket->bytesToWrite() > m_limits.mostQueuedBytes) {
        QMetaObject::invokeMethod(
            this, [this, id = client.id] { drop(id); }, Qt::QueuedConnection);
        return;
    }
    client.socket->sendTextMessage(text);
}

void PhoneServer::publish(const PhoneState &state)
{
    if (m_state && *m_state == state) return;
    const QByteArray change = m_state ? phone_protocol::delta(*m_state, state) : QByteArray();
    m_state = state;
    m_wholeState.clear();
    if (m_clients.empty()) return;
    QString text;
    if (change.isEmpty()) {
        m_wholeState = QString::fromUtf8(phone_protocol::wholeState(state));
        text = m_wholeState;
    } else {
        text = QString::fromUtf8(change);
    }
    for (auto &[id, client] : m_clients)
        sendTo(*client, text);
}

void PhoneServer::send(quint64 id, const QByteArray &message)
{
    if (const auto c = m_clients.find(id); c != m_clients.end())
        sendTo(*c->second, QString::fromUtf8(message));
}

void PhoneServer::pingAll()
{
    QList<quint64> silent;
    for (auto &[id, client] : m_clients) {
        if (client->heard.elapsed() > m_limits.idleMs)
            silent << id;
        else
            client->socket->ping();
    }
    for (const quint64 id : std::as_const(silent))
        drop(id);
}

// ---------------------------------------------------------------------------------------------

PhoneServer::Thread::Thread(const QByteArray &token, const Limits &limits, RequestHandler onRequest)
    : m_thread(std::make_unique<QThread>())
{
    m_thread->setObjectName(QStringLiteral("telefoni"));
    m_server = new PhoneServer(token, limits, std::move(onRequest));
    m_server->moveToThread(m_thread.get());
    connect(
        m_server, &PhoneServer::phoneCountChanged, this, [this](int n) { m_phones.storeRelaxed(n); },
        Qt::DirectConnection);
    connect(m_server, &PhoneServer::phoneCountChanged, this, &Thread::phoneCountChanged,
            Qt::QueuedConnection);
    m_thread->start();
}

PhoneServer::Thread::~Thread()
{
    QMetaObject::invokeMethod(
        m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

quint16 PhoneServer::Thread::listen(quint16 port)
{
    quint16 got = 0;
    QMetaObject::invokeMethod(
        m_server, [this, port, &got] { got = m_server->listen(port); }, Qt::BlockingQueuedConnection);
    return got;
}

int PhoneServer::Thread::connectionCount() const
{
    int n = 0;
    QMetaObject::invokeMethod(
        m_server, [this, &n] { n = m_server->connectionCount(); }, Qt::BlockingQueuedConnection);
    return n;
}

void PhoneServer::Thread::publish(const PhoneState &state)
{
    PhoneServer *server = m_server;
    QMetaObject::invokeMethod(
        server, [server, state] { server->publish(state); }, Qt::QueuedConnection);
}

void PhoneServer::Thread::send(quint64 client, const QByteArray &message)
{
    PhoneServer *server = m_server;
    QMetaObject::invokeMethod(
        server, [server, client, message] { server->send(client, message); }, Qt::QueuedConnection);
}
