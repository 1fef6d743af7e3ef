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
    QString eveningId() const { return m_eveningId; }
    const NatsSettings &settings() const { return m_settings; }
    // "tombola.<sera>.<leaf>"
    QString subject(const QString &leaf) const;
    Limits &limits() { return m_limits; }

    // The phones' link: the page's address with, after '#', what the page needs to reach the
    // server (never sent to a web server); empty while there is no page address or no evening.
    QString phoneLink() const;
    QrCode qrCode() const;

    // A new evening id: 16 letters and digits, 80 random bits.
    static QString newEveningId();

signals:
    void linkChanged(NatsRelay::Link link);

private:
    struct Bridge;
    void setLink(Link link, const QString &problem);
    // What the connection's callbacks report, in this object's thread.
    void handleConnected();
    void handleLink(Link link, const QString &problem);
    // `key`: the one the request carried for its answer (remote/reply_seal.h).
    void handleRequest(const QString &phone, const QByteArray &replyTo, const QByteArray &data,
                       const std::optional<QByteArray> &key);
    void publishState(bool whole);
    void send(const QString &subject, const QByteArray &data);

    PhoneService &m_service;
    NatsSettings m_settings;
    QString m_eveningId;
    Link m_link = Link::Off;
    QString m_problem;
    std::shared_ptr<Bridge> m_bridge;
    // The threads that connect and close, joined when the relay goes (each is bounded in time).
    std::vector<std::thread> m_threads;
    PhoneFeed m_feed;
    Limits m_limits;
    QHash<QString, RateLimit> m_asks;
    QHash<QString, RateLimit> m_states;
    RateLimit m_allAsks;
    RateLimit m_allStates;
};
