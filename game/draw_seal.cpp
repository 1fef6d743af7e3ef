#include "game/draw_seal.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QtEndian>
#include <array>
#include <cstdint>

namespace seal
{

QByteArray newSecret()
{
    std::array<quint32, kSecretBytes / 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char *>(words.data()), kSecretBytes);
}

QString sealOf(const QByteArray &secret)
{
    const QString hex =
        QString::fromLatin1(QCryptographicHash::hash(secret, QCryptographicHash::Sha256).toHex().left(16));
    return hex.mid(0, 4) + QLatin1Char(' ') + hex.mid(4, 4) + QLatin1Char(' ') + hex.mid(8, 4) +
           QLatin1Char(' ') + hex.mid(12, 4);
}

QString secretText(const QByteArray &secret)
{
    return QString::fromLatin1(secret.toHex());
}

std::optional<QByteArray> parseSecret(const QString &text)
{
    QString hex = text;
    hex.remove(QLatin1Char(' '));
    if (hex.size() != 2 * kSecretBytes) return std::nullopt;
    for (const QChar c : hex)
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c)) return std::nullopt;
    return QByteArray::fromHex(hex.toLatin1());
}

int pick(const QByteArray &secret, int ordinal, int left)
{
    if (left < 1) return 1;
    const std::uint64_t n = std::uint64_t(left);
    // 2^64 - (2^64 mod n), computed without 2^64: below it every remainder is equally likely.
    const std::uint64_t limit = 0 - ((0 - n) % n);
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, secret);
    for (quint32 j = 0;; ++j) {
        std::array<uchar, 8> message{};
        qToBigEndian(quint32(ordinal), message.data());
        qToBigEndian(j, message.data() + 4);
        mac.reset();
        mac.addData(reinterpret_cast<const char *>(message.data()), qsizetype(message.size()));
        const QByteArray h = mac.result();
        const std::uint64_t w = qFromBigEndian<quint64>(h.constData());
        if (limit == 0 || w < limit) return int(w % n) + 1;
    }
}

QList<int> drawOrder(const QByteArray &secret, const QMap<int, int> &byHand)
{
    QList<int> left;
    for (int n = 1; n <= 90; ++n)
        left << n;
    QList<int> out;
    for (int i = 1; i <= 90; ++i) {
        int k = 0;
        if (byHand.contains(i)) {
            k = int(left.indexOf(byHand.value(i)));
            if (k < 0) return {};
        } else {
            k = pick(secret, i, int(left.size())) - 1;
        }
        out << left.takeAt(k);
    }
    return out;
}

} // namespace seal
