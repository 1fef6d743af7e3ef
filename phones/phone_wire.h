#pragma once
// What travels on a phone's TCP connection, read and written by the phones' server itself: the HTTP
// request head of the page's files and of the WebSocket upgrade, and the WebSocket frames after it
// (RFC 6455, the server's side). Read strictly: anything a browser would not send is refused. Qt
// Core only: the server, the tests and the fuzz target share it.

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

namespace phone_wire
{

// The head of an HTTP request, up to its blank line.
struct HttpHead {
    QByteArray method;
    QByteArray target;
    QHash<QByteArray, QByteArray> headers; // names in small letters, values trimmed
    // A header's value, or empty.
    QByteArray header(const char *name) const { return headers.value(QByteArray(name)); }
    // A body follows the head (phones only ask, so it is refused and never read).
    bool announcesBody() const;
    // Whether the comma-separated header `name` holds `token`, case ignored.
    bool headerHas(const char *name, const char *token) const;
};

enum class Read {
    More,  // not all of it is here yet
    Taken, // one taken from the front of the buffer
    Bad    // not what a browser sends: the connection must be closed
};

// Takes the head of one request from the front of `buffer`.
Read takeHead(QByteArray &buffer, HttpHead *head);

// The Sec-WebSocket-Accept value for a client's Sec-WebSocket-Key; empty when the key is not 16
// bytes in base64.
QByteArray acceptKey(const QByteArray &clientKey);
// The server's answer to a valid upgrade.
QByteArray upgradeAnswer(const QByteArray &clientKey);

enum class Opcode : quint8 { Continuation = 0, Text = 1, Binary = 2, Close = 8, Ping = 9, Pong = 10 };

// One whole frame as the server sends it: final, unmasked.
QByteArray frame(Opcode opcode, QByteArrayView payload);

struct Frame {
    bool final = true;
    Opcode opcode = Opcode::Text;
    QByteArray payload; // unmasked
};
// Takes one frame of a client from the front of `buffer`. Bad: not masked (a client must mask every
// frame), reserved bits set, an unknown opcode, a control frame fragmented or over 125 bytes, or a
// payload over `mostPayload`.
Read takeFrame(QByteArray &buffer, qsizetype mostPayload, Frame *frame);

// Close codes the server sends.
inline constexpr quint16 kCloseNormal = 1000;
inline constexpr quint16 kCloseProtocolError = 1002;
inline constexpr quint16 kCloseUnsupported = 1003;
inline constexpr quint16 kCloseBadData = 1007;
inline constexpr quint16 kClosePolicy = 1008;
inline constexpr quint16 kCloseTooBig = 1009;
QByteArray closeFrame(quint16 code);

} // namespace phone_wire
