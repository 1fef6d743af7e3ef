#pragma once
// The evening held by the NATS cluster, so that a phone that opens or reconnects has it whether or
// not the program is connected: the last whole state in the JetStream key-value bucket kBucket
// (key: the evening's id) and the numbers in the stream kStream (subjects tombola.*.numero), both
// replicated on three servers when the cluster has them. Every message carries the evening's
// sequence number "s" and, with the JetStream, "flusso": the stream's sequence of the last number
// stored before it, so that a phone reads the numbers after its last message from there (the phone's side is
// phones/page/vendor/nats_link.js). The program's user creates both with their limits; the phones'
// user may only read them (scripts/nats-users.conf).
//
// One object per connection, in a thread of its own: publish() returns at once, and the messages go
// out in the order given. A number goes live at once, without waiting for the stream: its
// acknowledgement comes later, and one that does not come within a second is sent again under the
// same Nats-Msg-Id, which the stream stores once (phones drop the second copy by its sequence
// number). A whole state is written to the bucket before it goes live. libnats only; no Qt event
// loop.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

typedef struct __natsConnection natsConnection;
typedef struct __jsCtx jsCtx;
typedef struct __kvStore kvStore;
typedef struct __natsMsg natsMsg;
typedef struct jsPubAck jsPubAck;
typedef struct jsPubAckErr jsPubAckErr;

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
    // Call stop() and close the connection first: acknowledgements may come until it is closed.
    ~ClusterEvening();
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
    // Stops the thread; what was not sent is dropped.
    void stop();

private:
    struct Item {
        QByteArray leaf;
        QByteArray data;
        quint64 sequence;
    };
    struct Pending {
        QByteArray data;
        std::chrono::steady_clock::time_point sent;
        int tries = 0;
    };
    void loop();
    void send(const Item &item);
    bool wanted();
    // Sends number `sequence` to the stream, not waiting; `m_mutex` not held.
    void sendNumber(quint64 sequence, const QByteArray &data);
    // The numbers whose acknowledgement is late, sent again.
    void resendLate();
    static void onAck(jsCtx *js, natsMsg *msg, jsPubAck *ack, jsPubAckErr *error, void *closure);

    natsConnection *m_connection;
    QByteArray m_evening;
    jsCtx *m_js = nullptr;
    kvStore *m_kv = nullptr;
    std::mutex m_mutex;
    quint64 m_lastNumberInStream = 0;     // "flusso": acknowledged by the stream
    std::map<quint64, Pending> m_pending; // numbers sent, not yet acknowledged, by sequence
    bool m_answering = true;              // the stream acknowledged a number since the last look
    std::condition_variable m_wake;
    std::deque<Item> m_items;
    bool m_stopping = false;
    std::thread m_thread;
};
