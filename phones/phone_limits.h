#pragma once
// What phones may do, whichever way they reach the program: the server on the local network
// (phone_server.h) and the NATS relay far away (remote/nats_relay.h) read their limits from this one
// set of values, each the ones that concern it.

#include <QtGlobal>

struct PhoneLimits {
    // The local network's server: its connections and what one of them may send.
    int connections = 2000;          // open TCP connections, the page's and the phones'
    int perAddress = 50;             // of them from one address
    qint64 requestBytes = 16384;     // what one HTTP connection may send before it is a phone
    int httpLifeMs = 30000;          // an HTTP connection that has not become a phone's
    int idleMs = 60000;              // a phone not heard of (pongs count) for this long is closed
    int pingMs = 20000;              // how often phones are pinged
    double messagesPerSecond = 4;    // a phone's messages; beyond the burst, it is closed
    double messageBurst = 16;        //
    qint64 mostQueuedBytes = 262144; // waiting for a phone that does not read: it is let go
    int kernelSendBytes = 65536;     // the kernel's send buffer of a connection, before that
    // Calls and card requests: of one phone (on the local network of one address too), beyond the
    // burst refused; and of all phones together.
    double asksPerSecond = 0.5;
    double askBurst = 4;
    double allAsksPerSecond = 50;
    double allAskBurst = 100;
    // Requests of the whole state far away, of one phone and of all (on the local network they are
    // messages like the others).
    double statesPerSecond = 1;
    double stateBurst = 5;
    double allStatesPerSecond = 2000;
    double allStateBurst = 5000;
};
