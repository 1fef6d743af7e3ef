#include "remote/cluster_evening.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <nats/nats.h>
#include <optional>

namespace
{
constexpr int64_t kNsPerSecond = 1000000000;
constexpr int kAckWaitMs = 2000;
// A number the stream has not acknowledged this long after it was sent is sent again (stored once
// by its id; the phones drop the second copy): a leader elected after a server's death has it a
// second later at most.
constexpr int kResendAfterMs = 1000;
// A number is given up after a minute of tries: the cluster has been away too long, and the next
// whole state covers it.
constexpr int kMostResends = 60;
constexpr int kMostTries = 10;

quint64 sequenceOfId(natsMsg *msg)
{
    const char *id = nullptr;
    if (natsMsgHeader_Get(msg, "Nats-Msg-Id", &id) != NATS_OK || !id) return 0;
    const QByteArray text(id);
    return text.mid(text.lastIndexOf('.') + 1).toULongLong();
}

// Creates the stream `config` or, when it exists, brings its limits up to date. A cluster that has
// just started elects its leaders first: tried again for a few seconds.
natsStatus ensureStream(jsCtx *js, jsStreamConfig *config, jsErrCode *error)
{
    natsStatus s = NATS_ERR;
    for (int tries = 0; tries < 20; ++tries) {
        jsStreamInfo *info = nullptr;
        s = js_AddStream(&info, js, config, nullptr, error);
        if (s != NATS_OK && *error == JSStreamNameExistErr)
            s = js_UpdateStream(&info, js, config, nullptr, error);
        if (info) jsStreamInfo_Destroy(info);
        if (s == NATS_OK || *error == JSInsufficientResourcesErr || s == NATS_NOT_PERMITTED) return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return s;
}
} // namespace

ClusterEvening::ClusterEvening(natsConnection *connection, const QByteArray &evening)
    : m_connection(connection), m_evening(evening)
{
}

ClusterEvening::~ClusterEvening()
{
    stop();
    if (m_kv) kvStore_Destroy(m_kv);
    if (m_js) jsCtx_Destroy(m_js);
}

void ClusterEvening::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_items.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool ClusterEvening::prepare(quint64 *lastSequence, QString *why)
{
    *lastSequence = 0;
    jsOptions options;
    jsOptions_Init(&options);
    options.Wait = kAckWaitMs;
    options.PublishAsync.AckHandler = onAck;
    options.PublishAsync.AckHandlerClosure = this;
    options.PublishAsync.MaxPending = 1000;
    if (natsConnection_JetStream(&m_js, m_connection, &options) != NATS_OK) return false;
    // Three copies where three servers can hold them; one on a server alone.
    natsStatus s = NATS_ERR;
    for (int replicas : {3, 1}) {
        jsErrCode error = jsErrCode(0);
        // The bucket made as the stream libnats reads as a bucket (one value per key, the newest),
        // so that an existing one gets its limits again.
        jsStreamConfig bucket;
        jsStreamConfig_Init(&bucket);
        const QByteArray bucketStream = QByteArray("KV_") + kBucket;
        const QByteArray bucketSubjects = QByteArray("$KV.") + kBucket + ".>";
        const char *bucketSubject = bucketSubjects.constData();
        bucket.Name = bucketStream.constData();
        bucket.Subjects = &bucketSubject;
        bucket.SubjectsLen = 1;
        bucket.MaxMsgsPerSubject = 1;
        bucket.MaxBytes = kBucketBytes;
        bucket.MaxAge = kKeepSeconds * kNsPerSecond;
        bucket.MaxMsgSize = kMostMessageBytes;
        bucket.Replicas = replicas;
        bucket.Discard = js_DiscardNew;
        bucket.AllowRollup = true;
        bucket.DenyDelete = true;
        bucket.AllowDirect = true;
        bucket.Duplicates = 2 * 60 * kNsPerSecond;
        s = ensureStream(m_js, &bucket, &error);
        if (s == NATS_OK) s = js_KeyValue(&m_kv, m_js, kBucket);
        if (s != NATS_OK) {
            if (error == JSInsufficientResourcesErr || error == JSStreamReplicasNotSupportedErr) continue;
            break;
        }
        jsStreamConfig numbers;
        jsStreamConfig_Init(&numbers);
        const char *subject = "tombola.*.numero";
        numbers.Name = kStream;
        numbers.Subjects = &subject;
        numbers.SubjectsLen = 1;
        numbers.MaxAge = kKeepSeconds * kNsPerSecond;
        numbers.MaxBytes = kStreamBytes;
        numbers.MaxMsgSize = kMostMessageBytes;
        numbers.Replicas = replicas;
        numbers.Discard = js_DiscardOld;
        numbers.AllowDirect = true;
        numbers.Duplicates = 2 * 60 * kNsPerSecond;
        error = jsErrCode(0);
        s = ensureStream(m_js, &numbers, &error);
        if (s == NATS_OK || (error != JSInsufficientResourcesErr && error != JSStreamReplicasNotSupportedErr))
            break;
    }
    if (s != NATS_OK) {
        if (why)
            *why = s == NATS_NOT_PERMITTED
                       ? QStringLiteral("Il server NATS non permette al banco di conservare la serata "
                                        "(JetStream): i telefoni che si collegano più tardi la chiedono al "
                                        "programma.")
                       : QStringLiteral("Il server NATS non conserva la serata (JetStream non risponde): i "
                                        "telefoni che si collegano più tardi la chiedono al programma.");
        if (m_kv) kvStore_Destroy(m_kv);
        m_kv = nullptr;
        jsCtx_Destroy(m_js);
        m_js = nullptr;
        return false;
    }
    // Where the evening stood: its sequence number and the stream's last number of it.
    kvEntry *entry = nullptr;
    if (kvStore_Get(&entry, m_kv, m_evening.constData()) == NATS_OK) {
        const QJsonObject state =
            QJsonDocument::fromJson(
                QByteArray(static_cast<const char *>(kvEntry_Value(entry)), kvEntry_ValueLen(entry)))
                .object();
        *lastSequence = quint64(state.value(QLatin1String("s")).toDouble());
        kvEntry_Destroy(entry);
    }
    natsMsg *last = nullptr;
    const QByteArray numberSubject = "tombola." + m_evening + ".numero";
    jsErrCode error = jsErrCode(0);
    if (js_GetLastMsg(&last, m_js, kStream, numberSubject.constData(), nullptr, &error) == NATS_OK) {
        m_lastNumberInStream = natsMsg_GetSequence(last);
        const QJsonObject m =
            QJsonDocument::fromJson(QByteArray(natsMsg_GetData(last), natsMsg_GetDataLength(last))).object();
        *lastSequence = std::max(*lastSequence, quint64(m.value(QLatin1String("s")).toDouble()));
        natsMsg_Destroy(last);
    }
    return true;
}

void ClusterEvening::run()
{
    m_thread = std::thread(&ClusterEvening::loop, this);
}

void ClusterEvening::publish(const QByteArray &leaf, const QByteArray &data, quint64 sequence)
{
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back({leaf, data, sequence});
    }
    m_wake.notify_one();
}

bool ClusterEvening::wanted()
{
    std::lock_guard lock(m_mutex);
    return !m_stopping;
}

void ClusterEvening::loop()
{
    // Late numbers are looked for every quarter of a second, however fast the messages come: a game
    // at its fastest never leaves the queue empty that long, and the stream must have them all
    // before the game is over, not after.
    constexpr auto kLookEvery = std::chrono::milliseconds(250);
    auto nextLook = std::chrono::steady_clock::now() + kLookEvery;
    for (;;) {
        std::optional<Item> item;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, nextLook, [this] { return m_stopping || !m_items.empty(); });
            if (m_stopping) return;
            if (!m_items.empty()) {
                item = std::move(m_items.front());
                m_items.pop_front();
            }
        }
        if (item) send(*item);
        if (const auto now = std::chrono::steady_clock::now(); now >= nextLook) {
            resendLate();
            nextLook = now + kLookEvery;
        }
    }
}

void ClusterEvening::onAck(jsCtx *, natsMsg *msg, jsPubAck *ack, jsPubAckErr *error, void *closure)
{
    auto *self = static_cast<ClusterEvening *>(closure);
    const quint64 sequence = sequenceOfId(msg);
    natsMsg_Destroy(msg);
    std::lock_guard lock(self->m_mutex);
    const auto it = self->m_pending.find(sequence);
    if (ack) {
        self->m_lastNumberInStream = std::max<quint64>(self->m_lastNumberInStream, ack->Sequence);
        self->m_answering = true;
        if (it != self->m_pending.end()) self->m_pending.erase(it);
    } else if (error && it != self->m_pending.end()) {
        it->second.sent = {}; // again at the next turn
    }
}

void ClusterEvening::sendNumber(quint64 sequence, const QByteArray &data)
{
    const QByteArray subject = "tombola." + m_evening + ".numero";
    // Stored once however often it is sent: the stream knows the id for two minutes.
    const QByteArray id = m_evening + '.' + QByteArray::number(sequence);
    natsMsg *msg = nullptr;
    if (natsMsg_Create(&msg, subject.constData(), nullptr, data.constData(), int(data.size())) != NATS_OK)
        return;
    natsMsgHeader_Set(msg, "Nats-Msg-Id", id.constData());
    {
        std::lock_guard lock(m_mutex);
        Pending &p = m_pending[sequence];
        p.data = data;
        p.sent = std::chrono::steady_clock::now();
        ++p.tries;
    }
    // On success libnats owns the message; else it is still ours.
    if (js_PublishMsgAsync(m_js, &msg, nullptr) != NATS_OK) natsMsg_Destroy(msg);
}

void ClusterEvening::resendLate()
{
    std::vector<std::pair<quint64, QByteArray>> late;
    bool answering = false;
    {
        std::lock_guard lock(m_mutex);
        answering = std::exchange(m_answering, false);
        const auto due = std::chrono::steady_clock::now() - std::chrono::milliseconds(kResendAfterMs);
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->second.sent > due) {
                ++it;
            } else if (it->second.tries >= kMostResends) {
                it = m_pending.erase(it);
            } else {
                late.emplace_back(it->first, it->second.data);
                ++it;
            }
        }
    }
    // While the stream answers nothing (no leader, no majority), only the oldest is tried: each try
    // reaches every phone live again too. Once one is acknowledged, the rest follow at once.
    if (!answering && late.size() > 1) late.resize(1);
    for (const auto &[sequence, data] : late)
        sendNumber(sequence, data);
}

void ClusterEvening::send(const Item &item)
{
    const QByteArray subject = "tombola." + m_evening + '.' + item.leaf;
    if (item.leaf == "numero" && m_js) {
        // Where the stream stood: a phone that missed what follows reads from there, not from
        // the last whole state (which a game without pauses does not renew).
        quint64 stored = 0;
        {
            std::lock_guard lock(m_mutex);
            stored = m_lastNumberInStream;
        }
        QByteArray data = item.data;
        if (data.endsWith('}')) data = data.chopped(1) + ",\"flusso\":" + QByteArray::number(stored) + '}';
        sendNumber(item.sequence, data);
        return;
    }
    if (item.leaf == "stato" && m_kv) {
        // Kept first, then told: a phone that has seen it live finds it in the bucket too.
        QByteArray data = item.data;
        quint64 stored = 0;
        {
            std::lock_guard lock(m_mutex);
            stored = m_lastNumberInStream;
        }
        if (data.endsWith('}')) data = data.chopped(1) + ",\"flusso\":" + QByteArray::number(stored) + '}';
        for (int tries = 0; tries < kMostTries && wanted(); ++tries) {
            uint64_t revision = 0;
            if (kvStore_Put(&revision, m_kv, m_evening.constData(), data.constData(), int(data.size())) ==
                NATS_OK)
                break;
        }
        natsConnection_Publish(m_connection, subject.constData(), data.constData(), int(data.size()));
        return;
    }
    natsConnection_Publish(m_connection, subject.constData(), item.data.constData(), int(item.data.size()));
}
