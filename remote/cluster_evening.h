#pragma once
// The evening held by the NATS cluster, so that a phone that opens or reconnects has it whether or
// not the program is connected: the last whole state in the JetStream key-value bucket kBucket
// (key: the evening's id) and the numbers in the stream kStream (subjects tombola.*.numero), both
// replicated on three servers when the cluster has them. Every message carries the evening's
// sequence number "s"; a whole state also carries "flusso", the stream's sequence of the last number
// stored before it, so that a phone reads the numbers after it from there (the phone's side is
// phones/page/vendor/nats_link.js). The program's user creates both with their limits; the phones'
// user may only read them (scripts/nats-users.conf).
//
// One object per connection, in a thread of its own: publish() returns at once, and the messages go
// out in the order given, each number waiting for the stream's acknowledgement before the next (a
// lost acknowledgement is retried under the same Nats-Msg-Id, which the stream stores once). libnats
// only; no Qt event loop.

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

typedef struct __natsConnection natsConnection;
typedef struct __jsCtx jsCtx;
typedef struct __kvStore kvStore;

class ClusterEvening
{
public:
    static constexpr const char *kBucket = "tombola";
    static constexpr const char *kStream = "TOMBOLA_NUMERI";
    // How long and how much the cluster keeps: an evening and a night, ample for many evenings.
    static constexpr qint64 kKeepSeconds = 36 * 3600;
    static constexpr qint64 kStreamBytes = 64 << 20;
    static constexpr qint64 kBucketBytes = 16 << 20;
    static constexpr int kMostMessageBytes = 8192;

    ClusterEvening(natsConnection *connection, const QByteArray &evening);
    ~ClusterEvening(); // stops the thread; what was not sent is dropped
    ClusterEvening(const ClusterEvening &) = delete;
    ClusterEvening &operator=(const ClusterEvening &) = delete;

    // Before the thread starts, in the connecting thread: the bucket and the stream made (or their
    // limits brought up to date) and the last sequence number the bucket holds for this evening (0:
    // none). False, with why in Italian, when the cluster has no JetStream or refuses: the messages
    // then go out as plain NATS messages only.
    bool prepare(quint64 *lastSequence, QString *why);
    // Starts the thread.
    void run();
    // `leaf` "stato" or "numero"; `data` already numbered with `sequence`.
    void publish(const QByteArray &leaf, const QByteArray &data, quint64 sequence);

private:
    struct Item {
        QByteArray leaf;
        QByteArray data;
        quint64 sequence;
    };
    void loop();
    void send(const Item &item);
    bool wanted();

    natsConnection *m_connection;
    QByteArray m_evening;
    jsCtx *m_js = nullptr;
    kvStore *m_kv = nullptr;
    quint64 m_lastNumberInStream = 0; // "flusso"
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Item> m_items;
    bool m_stopping = false;
    std::thread m_thread;
};
