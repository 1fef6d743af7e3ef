#pragma once
// The sealed draw: a game drawn at random takes its numbers from a generator keyed by a secret of 32
// bytes fixed at its first number; the seal (the first 16 hex digits of the secret's SHA-256) is
// shown before that number and the secret revealed at the game's end, so anyone can check that the
// numbers follow from it.
//
// The generator, for the i-th number of the game (i from 1) with n numbers left: for j = 0, 1, ...
// h = HMAC-SHA-256(key = secret, message = i and j as two 32-bit big-endian words); w = the first
// 8 bytes of h as a 64-bit big-endian integer; the first w below 2^64 - (2^64 mod n) picks the
// (w mod n + 1)-th smallest of the numbers left.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace seal
{
constexpr int kSecretBytes = 32;

// 32 bytes from the system's generator.
QByteArray newSecret();
// "3f2a 9c01 77de 0b45": the first 16 hex digits of SHA-256(secret), in groups of four.
QString sealOf(const QByteArray &secret);
// The secret as 64 lower-case hex digits, and read back (spaces ignored); nothing unless 32 bytes.
QString secretText(const QByteArray &secret);
std::optional<QByteArray> parseSecret(const QString &text);

// The position, 1 to `left`, among the numbers left (ascending) of the `ordinal`-th number.
int pick(const QByteArray &secret, int ordinal, int left);
// A whole game of 90 numbers in draw order: each ordinal of `byHand` takes its number from the
// basket (outside the seal), every other one from the generator. Empty when `byHand` holds a
// number twice or out of 1..90.
QList<int> drawOrder(const QByteArray &secret, const QMap<int, int> &byHand = {});
} // namespace seal
