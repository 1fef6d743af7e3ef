// Feeds any bytes to the reading of what travels on a phone's connection, as the server reads it:
// first as the head of an HTTP request, then as WebSocket frames. Whatever is taken must leave the
// buffer shorter (no loop without end), a head must hold what was promised (a request line of three
// parts, names in small letters), and a frame written back by the server's own framing, masked as
// a client must, must read back to the same frame.

#include "phones/phone_wire.h"

#include <cstdlib>

namespace
{
void check(bool ok)
{
    if (!ok) std::abort();
}

QByteArray masked(const QByteArray &serverFrame)
{
    // The server's frame is unmasked; a client's carries a mask bit and four bytes of mask.
    qsizetype at = 2;
    const auto len = quint8(serverFrame.at(1));
    if (len == 126) at = 4;
    if (len == 127) at = 10;
    QByteArray out = serverFrame.left(at);
    out[1] = char(quint8(out[1]) | 0x80);
    const char mask[4] = {'\x5a', '\x01', '\x7f', '\x33'};
    out += QByteArray(mask, 4);
    for (qsizetype i = at; i < serverFrame.size(); ++i)
        out += char(serverFrame[i] ^ mask[(i - at) & 3]);
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray buffer(reinterpret_cast<const char *>(data), qsizetype(size));
    for (;;) {
        const qsizetype before = buffer.size();
        phone_wire::HttpHead head;
        const phone_wire::Read read = phone_wire::takeHead(buffer, &head);
        if (read != phone_wire::Read::Taken) break;
        check(buffer.size() < before);
        check(!head.method.isEmpty() && head.target.startsWith('/'));
        for (auto it = head.headers.cbegin(); it != head.headers.cend(); ++it)
            check(it.key() == it.key().toLower() && !it.key().isEmpty());
        phone_wire::acceptKey(head.header("sec-websocket-key"));
    }
    QByteArray frames(reinterpret_cast<const char *>(data), qsizetype(size));
    for (;;) {
        const qsizetype before = frames.size();
        phone_wire::Frame frame;
        const phone_wire::Read read = phone_wire::takeFrame(frames, 4096, &frame);
        if (read != phone_wire::Read::Taken) break;
        check(frames.size() < before);
        check(frame.payload.size() <= 4096);
        if (frame.final) {
            QByteArray again = masked(phone_wire::frame(frame.opcode, frame.payload));
            phone_wire::Frame back;
            check(phone_wire::takeFrame(again, 4096, &back) == phone_wire::Read::Taken);
            check(again.isEmpty() && back.opcode == frame.opcode && back.payload == frame.payload &&
                  back.final);
        }
    }
    return 0;
}
