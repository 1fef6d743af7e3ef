#include "phones/phone_relay.h"

#include "cards/print_run.h"
#include "claims/card_check.h"
#include "claims/prize_desk.h"
#include "evening/evening_record.h"
#include "game/game.h"
#include "phones/phone_snapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QRandomGenerator>

namespace
{
// 26 symbols of the card codes' 32: 130 random bits, nothing to escape in a URL, and in capitals
// the whole address fits the QR code's compact alphanumeric mode.
QByteArray newToken()
{
    QByteArray token;
    for (int i = 0; i < 26; ++i)
        token += codeAlphabet[QRandomGenerator::system()->generate() & 31];
    return token;
}

QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonObject cardObject(const CardInPlay &card, const QString &note)
{
    QJsonArray rows;
    for (int r = 1; r <= Cartella::righe; ++r) {
        QJsonArray row;
        for (int c = 1; c <= Cartella::colonne; ++c)
            row.append(valore(card.card.cella(r, c)));
        rows.append(row);
    }
    QJsonObject o;
    o[QLatin1String("codice")] = formatCardCode(card.code);
    o[QLatin1String("numero")] = card.number;
    o[QLatin1String("righe")] = rows;
    o[QLatin1String("nota")] = note;
    return o;
}

QByteArray cardsMessage(const QJsonArray &cards, const QStringList &errors)
{
    QJsonObject o;
    o[QLatin1String("t")] = QStringLiteral("cartelle");
    o[QLatin1String("cartelle")] = cards;
    o[QLatin1String("errori")] = QJsonArray::fromStringList(errors);
    return compact(o);
}

const CardInPlay *findCard(const CardsInPlay &inPlay, const CardCode &code)
{
    for (qsizetype i = 0; i < inPlay.size(); ++i)
        if (inPlay.at(i).code == code) return &inPlay.at(i);
    return nullptr;
}

// "Vince il TERNO alla 12ª estrazione."
QString asSentence(QString text)
{
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text + QLatin1Char('.');
}
} // namespace

PhoneRelay::PhoneRelay(Game &game, PrizeDesk &desk, PrintRun &printRun, EveningRecord &record,
                       QObject *parent)
    : QObject(parent), m_game(game), m_desk(desk), m_printRun(printRun), m_record(record), m_token(newToken())
{
    m_soon.setSingleShot(true);
    m_soon.setInterval(0);
    m_soon.callOnTimeout(this, &PhoneRelay::publish);
    auto soon = [this] {
        if (isOn() && !m_soon.isActive()) m_soon.start();
    };
    // A number goes out at once; everything else is read once after it settles.
    connect(&game, &Game::numberDrawn, this, &PhoneRelay::publish);
    connect(&game, &Game::numberTakenBack, this, &PhoneRelay::publish);
    connect(&game, &Game::newGameStarted, this, soon);
    connect(&game, &Game::stopped, this, soon);
    connect(&game, &Game::resumed, this, soon);
    connect(&game, &Game::updated, this, soon);
    connect(&desk, &PrizeDesk::changed, this, soon);
    connect(&record, &EveningRecord::started, this, soon);
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
        m_token, m_limits, [this](quint64 client, const QString &phone, const phone_protocol::Request &r) {
            // In the server's thread: the answer is worked out in the program's.
            QMetaObject::invokeMethod(
                this, [this, client, phone, r] { answer(client, phone, r); }, Qt::QueuedConnection);
        });
    const quint16 port = server->listen(kPort);
    if (port == 0) {
        if (why) *why = QStringLiteral("Impossibile aprire una porta di rete per i telefoni.");
        return false;
    }
    connect(server.get(), &PhoneServer::Thread::phoneCountChanged, this, &PhoneRelay::phoneCountChanged);
    m_server = std::move(server);
    m_port = port;
    m_host = localHost();
    m_published = phoneSnapshot(m_game, m_desk, m_cardsPerPhone);
    m_server->publish(m_published);
    emit switched(true);
    return true;
}

void PhoneRelay::switchOff()
{
    if (!isOn()) return;
    m_soon.stop();
    m_server.reset();
    m_port = 0;
    emit switched(false);
    emit phoneCountChanged(0);
}

void PhoneRelay::setCardsPerPhone(int count)
{
    m_cardsPerPhone = std::clamp(count, 0, kMostCardsPerPhone);
    publish();
}

void PhoneRelay::publish()
{
    if (!m_server) return;
    PhoneState now = phoneSnapshot(m_game, m_desk, m_cardsPerPhone);
    if (now == m_published) return;
    m_published = std::move(now);
    m_server->publish(m_published);
}

void PhoneRelay::answer(quint64 client, const QString &phone, const phone_protocol::Request &request)
{
    if (!m_server) return;
    QByteArray reply;
    switch (request.kind) {
    case phone_protocol::Request::Cards:
        reply = cardsAnswer(request.codes);
        break;
    case phone_protocol::Request::Call:
        reply = callAnswer(request.codes.value(0));
        break;
    case phone_protocol::Request::Deal:
        reply = dealAnswer(phone);
        break;
    default:
        return;
    }
    // A call may have closed the evening's window meanwhile.
    if (m_server) m_server->send(client, reply);
}

QByteArray PhoneRelay::cardsAnswer(const QStringList &typed) const
{
    const CardsInPlay &inPlay = m_printRun.cardsInPlay();
    QJsonArray cards;
    QStringList errors;
    for (const QString &text : typed) {
        // The card check's own reading: case, blanks and hyphens do not matter, O is 0.
        const CardCheckResult check = checkCard(text, {}, &inPlay, nullptr);
        if (!check.error.isEmpty()) {
            errors << text.trimmed() + QStringLiteral(": ") + check.error;
            continue;
        }
        const CardInPlay *card = findCard(inPlay, check.code);
        if (!card) {
            errors << formatCardCode(check.code) + QStringLiteral(": cartella non in gioco stasera.");
            continue;
        }
        cards.append(cardObject(*card, m_desk.playsThisGame(card->code)
                                           ? QString()
                                           : QStringLiteral("gioca dalla prossima tombola")));
    }
    return cardsMessage(cards, errors);
}

QByteArray PhoneRelay::callAnswer(const QString &typed)
{
    QJsonObject o;
    o[QLatin1String("t")] = QStringLiteral("esito");
    o[QLatin1String("vinto")] = false;
    const CodeReading reading = parseCardCode(typed);
    const CardsInPlay &inPlay = m_printRun.cardsInPlay();
    if (reading.error != CodeError::None || !inPlay.contains(reading.code)) {
        o[QLatin1String("codice")] = typed;
        o[QLatin1String("testo")] = QStringLiteral("Questa cartella non è in gioco stasera.");
        return compact(o);
    }
    const QString code = formatCardCode(reading.code);
    o[QLatin1String("codice")] = code;
    if (!m_desk.playsThisGame(reading.code)) {
        o[QLatin1String("testo")] = QStringLiteral("Questa cartella gioca dalla prossima tombola.");
        return compact(o);
    }
    const Award award = m_desk.claimFromPhone(reading.code);
    const QString said = asSentence(m_desk.sentence(award, true));
    o[QLatin1String("testo")] = said;
    o[QLatin1String("vinto")] = award.isWin();
    emit called(QStringLiteral("Chiamata dal telefono, cartella ") + code + QStringLiteral(": ") + said);
    return compact(o);
}

QByteArray PhoneRelay::dealAnswer(const QString &phone)
{
    if (m_cardsPerPhone == 0)
        return phone_protocol::error(QStringLiteral("Stasera il banco non dà cartelle ai telefoni."));
    if (phone.isEmpty()) return phone_protocol::error(QStringLiteral("Ricarica la pagina e riprova."));
    // What the evening's record says this phone has had, across a close of the program too.
    const QString destination = phoneDestination(phone);
    int had = 0;
    for (const StoredRun &run : m_record.evening().runs)
        if (run.destination == destination) had += int(run.cards.size());
    if (had >= m_cardsPerPhone)
        return phone_protocol::error(
            m_cardsPerPhone == 1
                ? QStringLiteral("Questo telefono ha già la sua cartella.")
                : QStringLiteral("Questo telefono ha già %1 cartelle: è il massimo.").arg(m_cardsPerPhone));
    const CardDealer dealer = m_record.evening().fullSeries ? CardDealer::FullSeries : CardDealer::Classic;
    const std::optional<CardInPlay> card = m_printRun.dealToPhone(phone, dealer);
    if (!card) return phone_protocol::error(QStringLiteral("Il banco sta stampando: riprova tra poco."));
    const bool plays = m_desk.playsThisGame(card->code);
    return cardsMessage(
        {cardObject(*card, plays ? QString() : QStringLiteral("gioca dalla prossima tombola"))}, {});
}
