#pragma once
// The evening for relatives far away, through a NATS server the club runs: the program connects out
// (no port is opened at home), publishes the evening's state and each number on the evening's own
// subjects, and answers on one subject the requests of phones, as the phones on the local network
// are answered (the same phone service, the same messages, phone_protocol.h):
//   tombola.<sera>.stato     {"t":"stato",...}: on connecting and reconnecting, after any change
//                            that is not a number
//   tombola.<sera>.numero    {"t":"numero"|"tolto"|"ripetuto",...}: each number drawn, taken back
//                            or said again by the repeat
//   tombola.<sera>.chiamate  a phone's request ({"t":"stato"}, "cartelle", "chiama", "dammi"), with
//                            its name in the header "Telefono" and a key for the answer in "Chiave";
//                            the answer goes to its reply subject sealed (remote/reply_seal.h)
// A phone that joins late or reconnects asks {"t":"stato"} and has the whole state at once. Requests
// are limited per phone and for all phones together.
//
// libnats calls back on threads of its own: every callback is handed to this object's thread as a
// queued call. Connecting runs in a thread of its own too, with bounded timeouts, and tries again
// until it connects or the credentials are refused: the game's thread never waits on the network.

#include "phones/rate_limit.h"
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "phones/phone_feed.h"
#include "phones/phone_limits.h"
#include "phones/phone_protocol.h"
#include "remote/far_delay.h"

class PhoneService;
struct QrCode;

// Where the evening goes and who may read it. The caller's credentials stay on the caller's machine;
// the phones' ones go in the link.
struct NatsSettings {
    QStringList servers;     // "nats://host:4222", "tls://host:4222"; one or more of a cluster
    QString user;            // the program's user and password, or
    QString password;        //
    QString credentialsFile; // a NATS credentials file (JWT and seed)
    QString caFile;          // for tls://: the CA of the server's certificate; empty: the system's
    QString webSocket;       // what phones reach: "wss://host:443" or "ws://host:8080"
    QString phoneUser;       // the phones' read-only credentials, carried by the link
    QString phonePassword;   //
    QString pageAddress;     // where the club publishes the page: "https://club.example.org/tombola/"
    int delaySeconds = 0;    // "La diretta video è indietro di": 0 to FarDelay::kMostSeconds
    bool isComplete() const { return !servers.isEmpty(); }
};

class NatsRelay : public QObject
{
    Q_OBJECT

public:
    enum class Link {
        Off,        // not started
        Connecting, // the first connection is being tried
        Up,         // the evening reaches the server
        Lost,       // the server cannot be reached: tried again on its own
        Refused,    // the credentials or permissions were refused: the caller must change them
    };
    using Limits = PhoneLimits;

    explicit NatsRelay(PhoneService &service, QObject *parent = nullptr);
    ~NatsRelay() override;

    // Connects (in the background) and publishes the evening `eveningId` (letters and digits).
    // Stops any earlier connection first.
    void start(const NatsSettings &settings, const QString &eveningId);
    void stop();
    bool isStarted() const { return m_link != Link::Off; }

    Link link() const { return m_link; }
    // Whether the evening reaches the server now.
    bool isReaching() const { return m_link == Link::Up; }
    // Why it does not, in Italian; empty while it does or while off.
    QString problem() const { return m_problem; }
    // Why the cluster does not keep the evening for phones that come later (no JetStream, refused);
    // empty while it does or while not connected.
    QString unheld() const { return m_unheld; }
    QString eveningId() const { return m_eveningId; }
    const NatsSettings &settings() const { return m_settings; }
    // "tombola.<sera>.<leaf>"
    QString subject(const QString &leaf) const;
    Limits &limits() { return m_limits; }
    // The video's delay, changed while connected: what is held keeps its time, and the far phones
    // learn the new delay with the next whole state, sent now (through the delay).
    void setDelaySeconds(int seconds);
    // What is held back for the video's delay (settings().delaySeconds).
    const FarDelay &farDelay() const { return m_delay; }
    // The evening's sequence number of the last message published far away: each message carries
    // it as "s" (1, 2, 3, ... in the order published), so that a phone takes each once and in order.
    quint64 eveningSequence() const { return m_eveningSequence; }

    // The phones' link: the page's address with, after '#', what the page needs to reach the
    // server (never sent to a web server); empty while there is no page address or no evening.
    QString phoneLink() const;
    QrCode qrCode() const;

    // A new evening id: 16 letters and digits, 80 random bits.
    static QString newEveningId();

signals:
    void linkChanged(NatsRelay::Link link);
    // Something the room has is still held back from far phones, or no longer is.
    void farHoldingChanged(bool holding);

private:
    struct Bridge;
    void setLink(Link link, const QString &problem);
    // What the connection's callbacks report, in this object's thread.
    // `lastSequence`: the cluster's for this evening; `unheld`: why the cluster does not keep it.
    void handleConnected(quint64 lastSequence, const QString &unheld);
    void handleLink(Link link, const QString &problem);
    // `key`: the one the request carried for its answer (remote/reply_seal.h).
    void handleRequest(const QString &phone, const QByteArray &replyTo, const QByteArray &data,
                       const std::optional<QByteArray> &key);
    void publishState(bool whole);
    void send(const QString &subject, const QByteArray &data);
    // A message whose delay has passed: numbered and published.
    void publishFar(const FarDelay::Message &message);
    // The whole state far phones may see now, numbered with the last sequence number.
    QByteArray farWholeState() const;
    void publishFarWhole();

    PhoneService &m_service;
    NatsSettings m_settings;
    QString m_eveningId;
    Link m_link = Link::Off;
    QString m_problem;
    std::shared_ptr<Bridge> m_bridge;
    // The threads that connect and close, joined when the relay goes (each is bounded in time).
    std::vector<std::thread> m_threads;
    PhoneFeed m_feed; // the room's state as last handed to the delay
    FarDelay m_delay;
    PhoneState m_farState; // the state as far phones have it, once the delay let it out
    bool m_farAny = false;
    quint64 m_eveningSequence = 0;
    QString m_unheld;
    Limits m_limits;
    QHash<QString, RateLimit> m_asks;
    QHash<QString, RateLimit> m_states;
    RateLimit m_allAsks;
    RateLimit m_allStates;
};
