#include "phones/phone_wire.h"

#include <QCryptographicHash>
#include <QList>

namespace phone_wire
{

namespace
{
// A token of RFC 7230: the characters a method or a header's name is made of.
bool isToken(QByteArrayView text)
{
    if (text.isEmpty()) return false;
    for (const char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
        if (!ok) return false;
    }
    return true;
}

bool isVisible(QByteArrayView text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x21 || c == 0x7f) return false;
    return true;
}
} // namespace

bool HttpHead::announcesBody() const
{
    return headers.contains("transfer-encoding") ||
           (headers.contains("content-length") && header("content-length") != "0");
}

bool HttpHead::headerHas(const char *name, const char *token) const
{
    for (const QByteArray &part : header(name).split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0) return true;
    return false;
}

Read takeHead(QByteArray &buffer, HttpHead *head)
{
    // Browsers may send an empty line between requests; nothing else comes before a request line.
    while (buffer.startsWith("\r\n"))
        buffer.remove(0, 2);
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        // A lone line feed where a line must end with CR LF is not a browser's.
        const qsizetype lf = buffer.indexOf('\n');
        if (lf >= 0 && (lf == 0 || buffer.at(lf - 1) != '\r')) return Read::Bad;
        return Read::More;
    }
    QList<QByteArray> lines = buffer.left(end).split('\n');
    buffer.remove(0, end + 4);
    // Every line but the last still ends with its CR (the split was on LF): nothing else may.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i + 1 < lines.size()) {
            if (!lines[i].endsWith('\r')) return Read::Bad;
            lines[i].chop(1);
        }
        if (lines[i].contains('\r')) return Read::Bad;
    }
    HttpHead h;
    const QList<QByteArray> first = lines.value(0).split(' ');
    if (first.size() != 3 || !isToken(first[0]) || !first[1].startsWith('/') || !isVisible(first[1]) ||
        (first[2] != "HTTP/1.1" && first[2] != "HTTP/1.0"))
        return Read::Bad;
    h.method = first[0];
    h.target = first[1];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(QByteArrayView(line).first(colon))) return Read::Bad;
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        // A repeated header joins its values, as RFC 7230 allows for lists.
        if (h.headers.contains(name))
            h.headers[name] += ", " + value;
        else
            h.headers.insert(name, value);
    }
    *head = std::move(h);
    return Read::Taken;
}

QByteArray acceptKey(const QByteArray &clientKey)
{
    const auto decoded = QByteArray::fromBase64Encoding(clientKey, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 16) return {};
    return QCryptographicHash::hash(clientKey + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                    QCryptographicHash::Sha1)
        .toBase64();
}

QByteArray upgradeAnswer(const QByteArray &clientKey)
{
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           acceptKey(clientKey) + "\r\n\r\n";
}

QByteArray frame(Opcode opcode, QByteArrayView payload)
{
    QByteArray out;
    const qsizetype n = payload.size();
    out.reserve(n + 10);
    out += char(0x80 | quint8(opcode));
    if (n < 126) {
        out += char(n);
    } else if (n < 65536) {
        out += char(126);
        out += char((n >> 8) & 0xff);
        out += char(n & 0xff);
    } else {
        out += char(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            out += char((quint64(n) >> shift) & 0xff);
    }
    out += payload;
    return out;
}

QByteArray closeFrame(quint16 code)
{
    const char body[2] = {char(code >> 8), char(code & 0xff)};
    return frame(Opcode::Close, QByteArrayView(body, 2));
}

Read takeFrame(QByteArray &buffer, qsizetype mostPayload, Frame *out)
{
    if (buffer.size() < 2) return Read::More;
    const auto b0 = static_cast<quint8>(buffer.at(0));
    const auto b1 = static_cast<quint8>(buffer.at(1));
    const bool final = b0 & 0x80;
    const quint8 op = b0 & 0x0f;
    // No extension is agreed: the reserved bits stay clear. A client masks every frame.
    if ((b0 & 0x70) != 0 || !(b1 & 0x80)) return Read::Bad;
    const bool control = op >= 8;
    if (op != 0 && op != 1 && op != 2 && op != 8 && op != 9 && op != 10) return Read::Bad;
    quint64 length = b1 & 0x7f;
    qsizetype at = 2;
    if (length == 126) {
        if (buffer.size() < 4) return Read::More;
        length = (quint64(quint8(buffer.at(2))) << 8) | quint8(buffer.at(3));
        if (length < 126) return Read::Bad; // not the shortest form
        at = 4;
    } else if (length == 127) {
        if (buffer.size() < 10) return Read::More;
        length = 0;
        for (int i = 0; i < 8; ++i)
            length = (length << 8) | quint8(buffer.at(2 + i));
        if (length < 65536 || (length >> 63)) return Read::Bad;
        at = 10;
    }
    if (control && (!final || length > 125)) return Read::Bad;
    if (length > quint64(mostPayload)) return Read::Bad;
    if (buffer.size() < at + 4 + qsizetype(length)) return Read::More;
    const char *mask = buffer.constData() + at;
    QByteArray payload = buffer.mid(at + 4, qsizetype(length));
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = char(payload[i] ^ mask[i & 3]);
    buffer.remove(0, at + 4 + qsizetype(length));
    out->final = final;
    out->opcode = Opcode(op);
    out->payload = std::move(payload);
    return Read::Taken;
}

} // namespace phone_wire
