#pragma once
// The phones of bench_phones: `count` WebSocket clients of the phones' server in this process, on
// plain non-blocking sockets and one epoll, so that a crowd of two thousand costs its process little
// more than the reads themselves and the delay measured is the program's, not the crowd's. Each
// keeps when it first knew each number and whether what it was told ever broke the game's order (a
// number twice, one skipped, a whole state that is not the game so far).
//
// Prints "ready <phones with the state>" once every phone has the whole state, then reads on its
// input "drawn <ordinal> <number> <ns>" for each number drawn and "end" after the game, and prints
// "phones <count> <failed> <numbers> <last p50> <last p99> <last max> <any p50> <any p99>" (ms from
// the draw, CLOCK_MONOTONIC in both processes).

#include <QByteArray>
#include <QtGlobal>

// CLOCK_MONOTONIC in nanoseconds: one clock for every process of the machine.
qint64 monotonicNs();

int runPhoneCrowd(quint16 port, const QByteArray &token, int count);
