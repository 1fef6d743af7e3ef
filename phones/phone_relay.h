#pragma once
// The players' phones on the local network: switches the phones' server on and off, tells it the
// evening's state as it changes, and hands what phones ask to the phone service (phone_service.h),
// which a NATS relay may share. Knows no widget: the window shows the switch, the address and the
// QR code.

#include "phones/phone_server.h"
#include "phones/phone_service.h"
#include "phones/qr_code.h"

#include <QObject>
#include <memory>

class PhoneRelay : public QObject
{
    Q_OBJECT

public:
    // The port asked for first; another free one when it is taken.
    static constexpr quint16 kPort = 8090;
    // The most cards the caller may let one phone have.
    static constexpr int kMostCardsPerPhone = PhoneService::kMostCardsPerPhone;

    // With a phone service of its own, or one it shares with other carriers of the evening.
    PhoneRelay(Game &game, PrizeDesk &desk, PrintRun &printRun, EveningRecord &record,
               QObject *parent = nullptr);
    explicit PhoneRelay(PhoneService &service, QObject *parent = nullptr);
    ~PhoneRelay() override;

    // Off at start-up. On: the server listens and the address is known; false with `why` when no
    // port could be had. Off: every connection and the port are closed.
    bool switchOn(QString *why = nullptr);
    void switchOff();
    bool isOn() const { return m_server != nullptr; }

    // "http://192.168.1.20:8090/<token>/": the page, with the evening's token; empty while off.
    QString address() const;
    // The same address, for a phone's camera.
    QrCode qrCode() const;
    quint16 port() const { return m_port; }
    QByteArray token() const { return m_token; }
    // An evening taken up again keeps its address, so that every phone's page reconnects by itself:
    // its token, and the port it had, asked for first at the next switchOn(). Only while off.
    void reuseAddress(const QByteArray &token, quint16 port);
    int phoneCount() const;

    // How many cards a phone may ask for; 0 (as at start-up) deals none.
    void setCardsPerPhone(int count);
    int cardsPerPhone() const { return m_service.cardsPerPhone(); }
    PhoneService &service() { return m_service; }

    // Before switching on; for tests and benchmarks that open many connections from one address.
    PhoneLimits &limits() { return m_limits; }

    // The host to show in the address: this machine's address on the local network.
    static QString localHost();

signals:
    void switched(bool on);
    void phoneCountChanged(int phones);
    // A phone called a card: what the desk said, for the caller's window.
    void called(const QString &line);

private:
    PhoneRelay(std::unique_ptr<PhoneService> own, PhoneService *shared, QObject *parent);
    void publish();
    void answer(quint64 client, const QString &phone, const QString &address,
                const phone_protocol::Request &request);

    std::unique_ptr<PhoneService> m_own;
    PhoneService &m_service;
    QByteArray m_token;
    PhoneLimits m_limits;
    std::unique_ptr<PhoneServer::Thread> m_server;
    quint16 m_port = 0;
    quint16 m_firstPort = kPort;
    QString m_host;
};
