#include "remote/reply_seal.h"

#include <QCryptographicHash>
#include <QtEndian>

namespace reply_seal
{
std::optional<QByteArray> keyFromHeader(const QByteArray &header)
{
    if (header.size() != 2 * kKeyBytes) return std::nullopt;
    for (const char c : header)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return std::nullopt;
    return QByteArray::fromHex(header);
}

QByteArray seal(const QByteArray &key, const QByteArray &data)
{
    QByteArray out = data;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (qsizetype at = 0, block = 0; at < out.size(); ++block) {
        char counter[4];
        qToBigEndian(quint32(block), counter);
        hash.reset();
        hash.addData(key);
        hash.addData(QByteArrayView(counter, 4));
        const QByteArray stream = hash.result();
        for (qsizetype i = 0; i < stream.size() && at < out.size(); ++i, ++at)
            out[at] = char(out[at] ^ stream[i]);
    }
    return out;
}
} // namespace reply_seal
