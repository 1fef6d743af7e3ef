#include "phones/phone_server.h"

#include "phones/phone_wire.h"

#include <QFile>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/socket.h>
#endif

using phone_wire::Opcode;
using phone_wire::Read;

// One TCP connection: HTTP while it asks for the page's files, then, once upgraded, a phone.
struct PhoneServer::Connection {
    quint64 id = 0;
    QTcpSocket *socket = nullptr; // owned; deleted later, it may be inside one of its signals
    QHostAddress address;
    QByteArray in;
    qint64 httpBytes = 0; // read while speaking HTTP
    bool phone = false;
    bool closing = false; // refused or closed: what else it sends is not read
    QString name;         // the name the phone gave itself, once
    QByteArray message;   // a text message arriving in fragments
    bool inMessage = false;
    QTimer life;
    QElapsedTimer heard;
    RateLimit messages;
    RateLimit asks;
};

// Counts each connection at once, before a byte is read, and turns away those over the limits.
class PhoneServer::Listener : public QTcpServer
{
public:
    Listener(PhoneServer &owner) : QTcpServer(&owner), m_owner(owner) {}

protected:
    void incomingConnection(qintptr descriptor) override { m_owner.accepted(descriptor); }

private:
    PhoneServer &m_owner;
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
        // The numbers as the room hears them, from the program's own clips.
        for (int n = 1; n <= 90; ++n)
            load(QStringLiteral("voce/NUMERO%1.wav").arg(n),
                 qPrintable(QStringLiteral(":/clips/NUMERO%1.wav").arg(n)), "audio/wav");
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

namespace
{
// Each connection is a file: the process may open one for every connection the limits allow, and
// some to spare (the usual soft limit is 1,024). Qt polls its sockets, nothing here selects them.
void allowOpenFiles(int connections)
{
#ifdef Q_OS_UNIX
    rlimit files{};
    const rlim_t wanted = rlim_t(connections) + 512;
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= wanted) return;
    files.rlim_cur = std::min(wanted, files.rlim_max);
    setrlimit(RLIMIT_NOFILE, &files);
#else
    Q_UNUSED(connections);
#endif
}
} // namespace

quint16 PhoneServer::listen(quint16 port)
{
    stop();
    allowOpenFiles(m_limits.connections);
    m_tcp = new Listener(*this);
    // A hall's phones all come back at once when the program starts again: the kernel holds them
    // until they are taken (Qt's own queue of 50 would have the rest try again a second later).
    m_tcp->setListenBacklogSize(std::min(m_limits.connections, 4096));
    if (!m_tcp->listen(QHostAddress::Any, port) && !m_tcp->listen(QHostAddress::Any, 0)) {
        delete m_tcp;
        m_tcp = nullptr;
        return 0;
    }
    m_pings.start(m_limits.pingMs);
    return m_tcp->serverPort();
}

void PhoneServer::stop()
{
    m_pings.stop();
    const bool had = m_phones > 0;
    while (!m_connections.empty())
        drop(m_connections.begin()->first);
    delete m_tcp;
    m_tcp = nullptr;
    if (had) emit phoneCountChanged(0);
}

int PhoneServer::connectionCount() const
{
    return int(m_connections.size());
}

void PhoneServer::accepted(qintptr descriptor)
{
    auto *socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress from = socket->peerAddress();
    if (int(m_connections.size()) >= m_limits.connections ||
        m_perAddress.value(from) >= m_limits.perAddress) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Qt reads no more than this ahead of us: a connection cannot fill the memory. And the kernel
    // holds little of what waits for a phone (Linux's own would grow to megabytes): the rest waits
    // in Qt's buffer, where it is counted against `mostQueuedBytes`.
    socket->setReadBufferSize(8192);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, m_limits.kernelSendBytes);
    auto c = std::make_unique<Connection>();
    c->id = m_nextId++;
    c->socket = socket;
    c->address = from;
    const quint64 id = c->id;
    ++m_perAddress[from];
    c->life.setSingleShot(true);
    c->life.callOnTimeout(this, [this, id] { drop(id); });
    c->life.start(m_limits.httpLifeMs);
    connect(socket, &QIODevice::readyRead, this, [this, id] { readFrom(id); });
    // Queued: a socket may go while the phones are being walked through.
    connect(
        socket, &QAbstractSocket::disconnected, this, [this, id] { drop(id); }, Qt::QueuedConnection);
    m_connections.emplace(id, std::move(c));
}

void PhoneServer::drop(quint64 id)
{
    const auto found = m_connections.find(id);
    if (found == m_connections.end()) return;
    std::unique_ptr<Connection> c = std::move(found->second);
    m_connections.erase(found);
    if (--m_perAddress[c->address] <= 0) {
        m_perAddress.remove(c->address);
        m_asksFrom.remove(c->address);
    }
    c->socket->disconnect(this);
    c->socket->abort();
    c->socket->deleteLater();
    if (c->phone) {
        --m_phones;
        emit phoneCountChanged(m_phones);
    }
}

void PhoneServer::close(quint64 id, quint16 code)
{
    const auto found = m_connections.find(id);
    if (found == m_connections.end()) return;
    Connection &c = *found->second;
    if (c.phone && !c.closing) {
        // The close frame goes out before the connection ends.
        c.socket->write(phone_wire::closeFrame(code));
        c.socket->flush();
    }
    drop(id);
}

void PhoneServer::readFrom(quint64 id)
{
    const auto found = m_connections.find(id);
    if (found == m_connections.end()) return;
    Connection &c = *found->second;
    const QByteArray got = c.socket->readAll();
    if (c.closing) return;
    if (!c.phone) {
        c.httpBytes += got.size();
        if (c.httpBytes > m_limits.requestBytes) return drop(id);
        c.in += got;
        if (!readHttp(c)) return;
        // Upgraded: what came behind the request is its first frames.
        if (!c.phone) return;
    } else {
        c.in += got;
    }
    readFrames(c);
}

bool PhoneServer::readHttp(Connection &c)
{
    while (!c.phone && !c.closing) {
        phone_wire::HttpHead head;
        const Read read = phone_wire::takeHead(c.in, &head);
        if (read == Read::More) return true;
        if (read == Read::Bad) {
            drop(c.id);
            return false;
        }
        // The path as sent: only the page's files, by their exact names, are under the token.
        const QByteArray path = head.target.split('?').value(0);
        QString rest;
        if (head.method != "GET" || head.announcesBody() || !tokenPath(QString::fromLatin1(path), &rest)) {
            refuse(c);
            return true;
        }
        if (rest == QLatin1String("ws")) {
            const QByteArray key = head.header("sec-websocket-key");
            if (!head.headerHas("upgrade", "websocket") || !head.headerHas("connection", "upgrade") ||
                head.header("sec-websocket-version") != "13" || phone_wire::acceptKey(key).isEmpty()) {
                refuse(c);
                return true;
            }
            c.life.stop();
            c.phone = true;
            c.heard.start();
            ++m_phones;
            writeTo(c, phone_wire::upgradeAnswer(key));
            if (m_feed.told()) writeTo(c, wholeStateFrame());
            emit phoneCountChanged(m_phones);
            return true;
        }
        if (rest == QLatin1String("-")) {
            // The token alone: the page is one level down, so its own files are found beside it.
            answerHttp(c, "302 Found", {}, {}, "Location: " + path + "/\r\n");
            continue;
        }
        const auto file = files().constFind(rest);
        if (file == files().cend()) {
            refuse(c);
            return true;
        }
        answerHttp(c, "200 OK", file->type, file->bytes,
                   "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n"
                   "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; "
                   "connect-src 'self'; img-src 'self' data:; media-src 'self'; base-uri 'none'; "
                   "form-action 'none'; "
                   "frame-ancestors 'none'\r\n");
    }
    return true;
}

void PhoneServer::answerHttp(Connection &c, const QByteArray &status, const QByteArray &type,
                             const QByteArray &body, const QByteArray &extra)
{
    QByteArray out = "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                     "\r\nCache-Control: no-store\r\n";
    if (!type.isEmpty()) out += "Content-Type: " + type + "\r\n";
    out += extra + "\r\n" + body;
    writeTo(c, out);
}

void PhoneServer::refuse(Connection &c)
{
    // Nothing of the evening, and no second try on this connection.
    answerHttp(c, "404 Not Found", {}, {}, "Connection: close\r\n");
    c.closing = true;
    c.in.clear();
    c.socket->disconnectFromHost();
}

void PhoneServer::readFrames(Connection &c)
{
    const quint64 id = c.id;
    for (;;) {
        phone_wire::Frame frame;
        const Read read = phone_wire::takeFrame(c.in, phone_protocol::kMostMessageBytes, &frame);
        if (read == Read::More) return;
        if (read == Read::Bad) return close(id, phone_wire::kCloseProtocolError);
        c.heard.restart();
        switch (frame.opcode) {
        case Opcode::Ping:
            writeTo(c, phone_wire::frame(Opcode::Pong, frame.payload));
            break;
        case Opcode::Pong:
            break;
        case Opcode::Close:
            return close(id, phone_wire::kCloseNormal);
        case Opcode::Binary:
            return close(id, phone_wire::kCloseUnsupported);
        case Opcode::Text:
        case Opcode::Continuation: {
            // A continuation with no message begun, or a new message inside one, is out of order.
            if ((frame.opcode == Opcode::Text) == c.inMessage)
                return close(id, phone_wire::kCloseProtocolError);
            c.message += frame.payload;
            if (c.message.size() > phone_protocol::kMostMessageBytes)
                return close(id, phone_wire::kCloseTooBig);
            c.inMessage = !frame.final;
            if (c.inMessage) break;
            const QByteArray text = std::exchange(c.message, {});
            received(c, text);
            // The message may have closed the connection.
            if (m_connections.find(id) == m_connections.end()) return;
            break;
        }
        }
    }
}

void PhoneServer::received(Connection &c, const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    if (utf8.hasError()) return close(c.id, phone_wire::kCloseBadData);
    using phone_protocol::Request;
    const Request r = c.messages.take(m_limits.messagesPerSecond, m_limits.messageBurst)
                          ? phone_protocol::parse(text)
                          : Request{};
    switch (r.kind) {
    case Request::Invalid:
        return close(c.id, phone_wire::kClosePolicy);
    case Request::Hello:
        // One phone, one name: a page that changes it is not a player's.
        if (!c.name.isEmpty() && c.name != r.phone) return close(c.id, phone_wire::kClosePolicy);
        c.name = r.phone;
        return;
    case Request::State:
        if (m_feed.told()) writeTo(c, wholeStateFrame());
        return;
    case Request::Cards:
    case Request::Call:
    case Request::Deal:
        break;
    }
    // Limited per phone, per address (phones may come and go) and for all.
    RateLimit &fromAddress = m_asksFrom[c.address];
    if (!c.asks.take(m_limits.asksPerSecond, m_limits.askBurst) ||
        !fromAddress.take(m_limits.asksPerSecond, m_limits.askBurst) ||
        !m_allAsks.take(m_limits.allAsksPerSecond, m_limits.allAskBurst)) {
        writeTo(c, phone_wire::frame(Opcode::Text, phone_protocol::error(QStringLiteral(
                                                       "Troppe richieste: riprova tra qualche secondo."))));
        return;
    }
    if (m_onRequest) m_onRequest(c.id, c.name, c.address.toString(), r);
}

void PhoneServer::writeTo(Connection &c, const QByteArray &bytes)
{
    if (c.closing) return;
    // A phone that reads nothing is let go before its queue grows without end; it catches up
    // whole when it comes back.
    if (c.socket->bytesToWrite() > m_limits.mostQueuedBytes) {
        QMetaObject::invokeMethod(
            this, [this, id = c.id] { drop(id); }, Qt::QueuedConnection);
        return;
    }
#ifdef Q_OS_UNIX
    // Nothing waits in Qt's buffer, so everything sent before is with the kernel: these bytes go
    // straight behind it, one system call and nothing else. Only what the kernel does not take now
    // waits in Qt's buffer (and its write notifier), in order; an error is Qt's to find there too.
    if (c.socket->bytesToWrite() == 0) {
        const ssize_t sent = ::send(int(c.socket->socketDescriptor()), bytes.constData(),
                                    size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent == bytes.size()) return;
        if (sent > 0) {
            c.socket->write(bytes.constData() + sent, bytes.size() - sent);
            return;
        }
    }
#endif
    c.socket->write(bytes);
}

QByteArray PhoneServer::wholeStateFrame()
{
    if (m_wholeFrame.isEmpty() && m_feed.told())
        m_wholeFrame = phone_wire::frame(Opcode::Text, m_feed.wholeMessage());
    return m_wholeFrame;
}

void PhoneServer::publish(const PhoneState &state)
{
    const PhoneFeed::Step step = m_feed.next(state);
    if (step.message.isEmpty()) return;
    m_wholeFrame.clear();
    if (m_phones == 0) return;
    // Made and framed once; the same bytes go to every phone.
    const QByteArray bytes = step.whole ? wholeStateFrame() : phone_wire::frame(Opcode::Text, step.message);
    for (auto &[id, c] : m_connections)
        if (c->phone) writeTo(*c, bytes);
}

void PhoneServer::send(quint64 id, const QByteArray &message)
{
    if (const auto c = m_connections.find(id); c != m_connections.end() && c->second->phone)
        writeTo(*c->second, phone_wire::frame(Opcode::Text, message));
}

void PhoneServer::broadcast(const QByteArray &message)
{
    const QByteArray bytes = phone_wire::frame(Opcode::Text, message);
    for (auto &[id, c] : m_connections)
        if (c->phone) writeTo(*c, bytes);
}

void PhoneServer::pingAll()
{
    static const QByteArray ping = phone_wire::frame(Opcode::Ping, {});
    QList<quint64> silent;
    for (auto &[id, c] : m_connections) {
        if (!c->phone) continue;
        if (c->heard.elapsed() > m_limits.idleMs)
            silent << id;
        else
            writeTo(*c, ping);
    }
    for (const quint64 id : std::as_const(silent))
        drop(id);
}
