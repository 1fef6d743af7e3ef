#pragma once
// A phone as the tests see one: a WebSocket on the page's address that keeps every message it got,
// and a raw HTTP exchange on a plain TCP socket for what a browser would never send.

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

struct TestPhone {
    QWebSocket socket;
    QList<QJsonObject> got;
    bool closed = false;

    TestPhone()
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, &socket,
                         [this](const QString &m) { got << QJsonDocument::fromJson(m.toUtf8()).object(); });
        QObject::connect(&socket, &QWebSocket::disconnected, &socket, [this] { closed = true; });
    }
    // Connected to "ws://127.0.0.1:<port>/<token>/ws" within 5 s.
    bool open(quint16 port, const QByteArray &token)
    {
        socket.open(
            QUrl(QStringLiteral("ws://127.0.0.1:%1/%2/ws").arg(port).arg(QString::fromLatin1(token))));
        QSignalSpy connected(&socket, &QWebSocket::connected);
        return connected.wait(5000) || socket.state() == QAbstractSocket::ConnectedState;
    }
    void say(const QJsonObject &o) { socket.sendTextMessage(QString::fromUtf8(QJsonDocument(o).toJson())); }
    // Waits up to `ms` for a message of type `t` after the first `from` ones; its index, or -1.
    int waitFor(const QString &t, qsizetype from = 0, int ms = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            for (qsizetype i = from; i < got.size(); ++i)
                if (got[i].value(QLatin1String("t")).toString() == t) return int(i);
            if (clock.elapsed() > ms || closed) return -1;
            QTest::qWait(5);
        }
    }
    bool waitClosed(int ms = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!closed && clock.elapsed() < ms)
            QTest::qWait(5);
        return closed;
    }
};

// A phone's connection on a plain TCP socket, upgraded to a WebSocket by hand, for frames no browser
// would send. `frame()` makes a client's text frame, masked unless told otherwise.
struct RawPhone {
    QTcpSocket socket;
    QByteArray got;
    bool open(quint16 port, const QByteArray &token)
    {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!socket.waitForConnected(5000)) return false;
        socket.write("GET /" + token +
                     "/ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        QElapsedTimer clock;
        clock.start();
        while (!got.contains("\r\n\r\n") && clock.elapsed() < 5000 && socket.waitForReadyRead(100))
            got += socket.readAll();
        got += socket.readAll();
        return got.startsWith("HTTP/1.1 101");
    }
    static QByteArray frame(const QByteArray &payload, bool masked = true)
    {
        QByteArray out("\x81", 1);
        out += char((masked ? 0x80 : 0) | payload.size());
        if (!masked) return out + payload;
        const char mask[4] = {0x12, 0x34, 0x56, 0x78};
        out += QByteArray(mask, 4);
        for (qsizetype i = 0; i < payload.size(); ++i)
            out += char(payload[i] ^ mask[i & 3]);
        return out;
    }
    void send(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    // Reads until the server closes the connection, within `ms`.
    bool waitClosed(int ms = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < ms) {
            socket.waitForReadyRead(50);
            got += socket.readAll();
        }
        return socket.state() != QAbstractSocket::ConnectedState;
    }
};

// Sends `bytes` on a fresh connection and reads until the server closes it or `ms` pass.
struct RawExchange {
    QByteArray answer;
    bool closedByServer = false;
};
inline RawExchange rawHttp(quint16 port, const QByteArray &bytes, int ms = 3000)
{
    RawExchange out;
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(3000)) return out;
    s.write(bytes);
    s.flush();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        s.waitForReadyRead(50);
        out.answer += s.readAll();
        if (s.state() != QAbstractSocket::ConnectedState) {
            out.closedByServer = true;
            break;
        }
    }
    out.answer += s.readAll();
    return out;
}
