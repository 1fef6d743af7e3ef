#include "phones/phone_service.h"

#include "announce/smorfia.h"
#include "announce/words.h"
#include "cards/print_run.h"
#include "claims/card_check.h"
#include "claims/prize_desk.h"
#include "evening/evening_record.h"
#include "evening/seal_lines.h"
#include "game/game.h"
#include "phones/phone_snapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
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

PhoneService::PhoneService(Game &game, PrizeDesk &desk, PrintRun &printRun, EveningRecord &record,
                           QObject *parent)
    : QObject(parent), m_game(game), m_desk(desk), m_printRun(printRun), m_record(record)
{
    m_soon.setSingleShot(true);
    m_soon.setInterval(0);
    m_soon.callOnTimeout(this, &PhoneService::changed);
    auto soon = [this] {
        if (!m_soon.isActive()) m_soon.start();
    };
    // A number goes out at once; everything else is read once after it settles.
    connect(&game, &Game::numberDrawn, this, &PhoneService::changed);
    connect(&game, &Game::numberTakenBack, this, &PhoneService::changed);
    connect(&game, &Game::newGameStarted, this, soon);
    connect(&game, &Game::stopped, this, soon);
    connect(&game, &Game::resumed, this, soon);
    connect(&game, &Game::updated, this, soon);
    connect(&desk, &PrizeDesk::changed, this, soon);
    connect(&record, &EveningRecord::started, this, soon);
    connect(&game, &Game::repeatShowing, this, [this](int number) {
        // Its words and meaning as the window shows them while it is said.
        const QString meaning = m_game.display().meaning.isEmpty() ? QString() : meaningOf(number);
        emit repeated(phone_protocol::repeated(
            number, applica_maiuscole(parola_del_numero(number), QStringLiteral(">")), meaning));
    });
}

PhoneState PhoneService::state() const
{
    PhoneState s = phoneSnapshot(m_game, m_desk, m_cardsPerPhone);
    // The draw's seal, and the secrets of the games over, as the evening's record keeps them.
    s.seal = m_game.seal();
    s.seals = revealedSeals(m_record.evening());
    return s;
}

void PhoneService::setCardsPerPhone(int count)
{
    m_cardsPerPhone = std::clamp(count, 0, kMostCardsPerPhone);
    emit changed();
}

QByteArray PhoneService::answer(const QString &phone, const QString &address,
                                const phone_protocol::Request &request)
{
    switch (request.kind) {
    case phone_protocol::Request::Cards:
        return cardsAnswer(request.codes);
    case phone_protocol::Request::Call:
        return callAnswer(request.codes.value(0));
    case phone_protocol::Request::Deal:
        return dealAnswer(phone, address);
    default:
        return {};
    }
}

QByteArray PhoneService::cardsAnswer(const QStringList &typed) const
{
    const CardsInPlay &inPlay = m_printRun.cardsInPlay();
    QJsonArray cards;
    QStringList errors;
    for (const QString &text : typed) {
        // The card check's own reading: case, blanks and hyphens do not matter, O is 0.
        CardCheckResult check;
        QString why;
        if (!checkCard(text, {}, &inPlay, nullptr, &check, &why)) {
            errors << text.trimmed() + QStringLiteral(": ") + why;
            continue;
        }
        const CardInPlay *card = findCard(inPlay, check.code);
        if (!card) {
            errors << formatCardCode(check.code) + (inPlay.isVoid(check.code)
                                                        ? QStringLiteral(": cartella invenduta, annullata.")
                                                        : QStringLiteral(": cartella non in gioco stasera."));
            continue;
        }
        cards.append(cardObject(*card, m_desk.playsThisGame(card->code)
                                           ? QString()
                                           : QStringLiteral("gioca dalla prossima tombola")));
    }
    return cardsMessage(cards, errors);
}

QByteArray PhoneService::callAnswer(const QString &typed)
{
    QJsonObject o;
    o[QLatin1String("t")] = QStringLiteral("esito");
    o[QLatin1String("vinto")] = false;
    const CodeReading reading = parseCardCode(typed);
    const CardsInPlay &inPlay = m_printRun.cardsInPlay();
    if (reading.error != CodeError::None || !inPlay.contains(reading.code)) {
        o[QLatin1String("codice")] = typed;
        o[QLatin1String("testo")] = reading.error == CodeError::None && inPlay.isVoid(reading.code)
                                        ? QStringLiteral("Questa cartella è stata annullata: era invenduta.")
                                        : QStringLiteral("Questa cartella non è in gioco stasera.");
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

QByteArray PhoneService::dealAnswer(const QString &phone, const QString &address)
{
    if (m_cardsPerPhone == 0)
        return phone_protocol::error(QStringLiteral("Stasera il banco non dà cartelle ai telefoni."));
    if (phone.isEmpty()) return phone_protocol::error(QStringLiteral("Ricarica la pagina e riprova."));
    // What the evening's record says this phone has had, by its name and by its address (a page
    // that makes itself a new name is still the same phone), across a close of the program too.
    int byName = 0, byAddress = 0;
    for (const StoredRun &run : m_record.evening().runs) {
        const PhoneHolder holder = phoneOf(run.destination);
        if (holder.phone.isEmpty()) continue;
        if (holder.phone == phone) byName += int(run.cards.size());
        if (!address.isEmpty() && holder.address == address) byAddress += int(run.cards.size());
    }
    if (std::max(byName, byAddress) >= m_cardsPerPhone)
        return phone_protocol::error(
            m_cardsPerPhone == 1
                ? QStringLiteral("Questo telefono ha già la sua cartella.")
                : QStringLiteral("Questo telefono ha già %1 cartelle: è il massimo.").arg(m_cardsPerPhone));
    const CardDealer dealer = m_record.evening().fullSeries ? CardDealer::FullSeries : CardDealer::Classic;
    const std::optional<CardInPlay> card = m_printRun.dealToPhone(phone, address, dealer);
    if (!card) return phone_protocol::error(QStringLiteral("Il banco sta stampando: riprova tra poco."));
    const bool plays = m_desk.playsThisGame(card->code);
    return cardsMessage(
        {cardObject(*card, plays ? QString() : QStringLiteral("gioca dalla prossima tombola"))}, {});
}
