#include "phones/phone_relay.h"

#include "phones/phone_token.h"

#include <QNetworkInterface>

PhoneRelay::PhoneRelay(Game &game, PrizeDesk &desk, PrintRun &printRun, EveningRecord &record,
                       QObject *parent)
    : PhoneRelay(std::make_unique<PhoneService>(game, desk, printRun, record), nullptr, parent)
{
}

PhoneRelay::PhoneRelay(PhoneService &service, QObject *parent) : PhoneRelay(nullptr, &service, parent) {}

PhoneRelay::PhoneRelay(std::unique_ptr<PhoneService> own, PhoneService *shared, QObject *parent)
    : QObject(parent), m_own(std::move(own)), m_service(shared ? *shared : *m_own), m_token(randomToken(26))
{
    connect(&m_service, &PhoneService::changed, this, &PhoneRelay::publish);
    connect(&m_service, &PhoneService::called, this, &PhoneRelay::called);
    connect(&m_service, &PhoneService::repeated, this, [this](const QByteArray &message) {
        if (m_server) m_server->broadcast(message);
    });
}

PhoneRelay::~PhoneRelay() = default;

QString PhoneRelay::localHost()
{
    QString any;
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces()) {
        const auto flags = i.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &e : i.addressEntries()) {
            const QHostAddress ip = e.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.isLoopback() || ip.isLinkLocal())
                continue;
            const quint32 v = ip.toIPv4Address();
            // A home or hall network first: 192.168/16, 10/8, 172.16/12.
            if ((v >> 16) == 0xC0A8 || (v >> 24) == 10 || (v >> 20) == 0xAC1) return ip.toString();
            if (any.isEmpty()) any = ip.toString();
        }
    }
    return any.isEmpty() ? QStringLiteral("127.0.0.1") : any;
}

QString PhoneRelay::address() const
{
    if (!isOn()) return {};
    return QStringLiteral("http://%1:%2/%3/")
        .arg(m_host)
        .arg(m_port)
        .arg(QString::fromLatin1(m_token).toLower());
}

QrCode PhoneRelay::qrCode() const
{
    // The server reads the token in either case; capitals make a smaller code.
    return encodeQr(address().toUpper().toUtf8());
}

int PhoneRelay::phoneCount() const
{
    return m_server ? m_server->phoneCount() : 0;
}

bool PhoneRelay::switchOn(QString *why)
{
    if (isOn()) return true;
    auto server = std::make_unique<PhoneServer::Thread>(
        m_token, m_limits,
        [this](quint64 client, const QString &phone, const QString &address,
               const phone_protocol::Request &r) {
            // In the server's thread: the answer is worked out in the program's.
            QMetaObject::invokeMethod(
                this, [this, client, phone, address, r] { answer(client, phone, address, r); },
                Qt::QueuedConnection);
        });
    const quint16 port = server->listen(m_firstPort);
    if (port == 0) {
        if (why) *why = QStringLiteral("Impossibile aprire una porta di rete per i telefoni.");
        return false;
    }
    connect(server.get(), &PhoneServer::Thread::phoneCountChanged, this, &PhoneRelay::phoneCountChanged);
    m_server = std::move(server);
    m_port = port;
    m_host = localHost();
    m_server->publish(m_service.state());
    emit switched(true);
    return true;
}

void PhoneRelay::reuseAddress(const QByteArray &token, quint16 port)
{
    if (isOn()) return;
    if (token.size() == m_token.size()) m_token = token;
    if (port != 0) m_firstPort = port;
}

void PhoneRelay::switchOff()
{
    if (!isOn()) return;
    m_server.reset();
    m_port = 0;
    emit switched(false);
    emit phoneCountChanged(0);
}

void PhoneRelay::setCardsPerPhone(int count)
{
    m_service.setCardsPerPhone(count);
}

void PhoneRelay::publish()
{
    // The server compares it with what its phones have (phone_feed.h) and sends what changed.
    if (m_server) m_server->publish(m_service.state());
}

void PhoneRelay::answer(quint64 client, const QString &phone, const QString &address,
                        const phone_protocol::Request &request)
{
    if (!m_server) return;
    const QByteArray reply = m_service.answer(phone, address, request);
    // A call may have closed the evening's window meanwhile.
    if (!reply.isEmpty() && m_server) m_server->send(client, reply);
}
