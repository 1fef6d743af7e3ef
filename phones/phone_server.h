#pragma once
// The phones' server: the page and its WebSocket on one port, both spoken by the server itself on
// Qt Network's TCP sockets (phone_wire.h reads and writes what travels). It lives in a thread of its
// own (PhoneServer::Thread), so that sending a number to hundreds of phones never holds up the draw:
// the program hands it the state, it sends each phone what changed, the message made and framed
// once for all of them; what a phone asks goes back to the program through `onRequest`, called in
// the server's thread.
//
// Nobody gets in without the evening's token, the first part of every path; only the page's own
// files are served. Connections, the bytes of a request, messages and their rate are limited; an
// HTTP connection lives at most `httpLifeMs` and gets no answer after a refusal; a phone that stops
// answering the pings is closed; a malformed request or frame (an unmasked one among them) closes
// that connection and nothing else. A connection is one phone, with one name.

#include "phones/phone_feed.h"
#include "phones/phone_limits.h"
#include "phones/phone_protocol.h"
#include "phones/rate_limit.h"

#include <QAtomicInt>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

class QTcpServer;
class QThread;

class PhoneServer : public QObject
{
    Q_OBJECT

public:
    using Limits = PhoneLimits;
    // A request of a phone: `client` to answer with send(), `phone` the name it gave itself,
    // `address` the address it connects from.
    using RequestHandler = std::function<void(quint64 client, const QString &phone, const QString &address,
                                              const phone_protocol::Request &request)>;

    // The page's files, from the program's resources: "" (the page), "app.js", "style.css", and
    // "voce/NUMERO1.wav" to "voce/NUMERO90.wav", the clips the program says the numbers with.
    PhoneServer(const QByteArray &token, const Limits &limits, RequestHandler onRequest);
    ~PhoneServer() override;

    // Listens on every address at `port`, or another free one if that is taken; 0 when none.
    quint16 listen(quint16 port);
    // Every connection and the port closed.
    void stop();
    // The state every phone shows: to each phone what changed (a number), or all of it.
    void publish(const PhoneState &state);
    // A message to one phone, if it is still there.
    void send(quint64 client, const QByteArray &message);
    // A message to every phone, framed once.
    void broadcast(const QByteArray &message);

    int phoneCount() const { return m_phones; }
    int connectionCount() const;

    // The server in a thread of its own, driven from the program's thread. Every call returns
    // once the server has done it, except publish() and send(), which are queued.
    class Thread;

    // What the page is made of, name to (bytes, type); loaded once from the resources.
    struct File {
        QByteArray bytes;
        QByteArray type;
    };
    static const QHash<QString, File> &files();
    // Whether `path` is "/<token>/<rest>" with the evening's token; `rest` then holds the rest.
    bool tokenPath(const QString &path, QString *rest) const;

signals:
    void phoneCountChanged(int phones);

private:
    struct Connection;
    class Listener;
    void accepted(qintptr descriptor);
    void readFrom(quint64 id);
    // What a connection still speaking HTTP sent; false when it was closed.
    bool readHttp(Connection &c);
    void answerHttp(Connection &c, const QByteArray &status, const QByteArray &type, const QByteArray &body,
                    const QByteArray &extra = {});
    // The request was refused: the answer, and nothing more read on this connection.
    void refuse(Connection &c);
    void readFrames(Connection &c);
    void received(Connection &c, const QByteArray &text);
    // Closes the connection with `code` and forgets it.
    void close(quint64 id, quint16 code);
    void drop(quint64 id);
    void pingAll();
    void writeTo(Connection &c, const QByteArray &bytes);
    QByteArray wholeStateFrame();

    QByteArray m_token;
    Limits m_limits;
    RequestHandler m_onRequest;
    QTcpServer *m_tcp = nullptr;
    std::map<quint64, std::unique_ptr<Connection>> m_connections;
    QHash<QHostAddress, int> m_perAddress;
    // Calls and card requests, of each address and of all.
    QHash<QHostAddress, RateLimit> m_asksFrom;
    RateLimit m_allAsks;
    int m_phones = 0;
    quint64 m_nextId = 1;
    PhoneFeed m_feed;
    QByteArray m_wholeFrame; // the feed's whole state, framed, made when first needed
    QTimer m_pings;
};

class PhoneServer::Thread : public QObject
{
    Q_OBJECT

public:
    Thread(const QByteArray &token, const Limits &limits, RequestHandler onRequest);
    // Stops the server and the thread.
    ~Thread() override;
    quint16 listen(quint16 port);
    void publish(const PhoneState &state);
    void send(quint64 client, const QByteArray &message);
    void broadcast(const QByteArray &message);
    int phoneCount() const { return m_phones.loadRelaxed(); }
    // Open TCP connections, the page's and the phones'; asked of the server's thread.
    int connectionCount() const;

signals:
    // In the program's thread.
    void phoneCountChanged(int phones);

private:
    std::unique_ptr<QThread> m_thread;
    PhoneServer *m_server = nullptr; // lives in m_thread
    QAtomicInt m_phones;
};
