#pragma once
// The answers to a far phone's requests travel to its reply subject, which the phones' shared
// credentials let any phone read. So each request carries, in its header "Chiave", a key of 32 random
// bytes (64 hex digits) made for it alone, and the answer goes sealed with it: XORed with the
// keystream SHA-256(key ‖ 0), SHA-256(key ‖ 1), … (the block's number in four bytes, big-endian).
// The request itself reaches the program only (no phone may read the requests' subject), and a key
// is used once, so another phone reading the answer learns nothing of it. The page unseals it the
// same way (phones/page/vendor/nats_link.js).

#include <QByteArray>
#include <optional>

namespace reply_seal
{
constexpr qsizetype kKeyBytes = 32;

// The key a request's header carries, or nothing when it is not 64 hex digits.
std::optional<QByteArray> keyFromHeader(const QByteArray &header);

// `data` sealed with `key`; sealing again unseals.
QByteArray seal(const QByteArray &key, const QByteArray &data);
} // namespace reply_seal
