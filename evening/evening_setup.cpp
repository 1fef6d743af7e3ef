#include "evening/evening_setup.h"

#include "cards/card_code.h"

#include <QJsonDocument>
#include <QJsonObject>

QString EveningSetup::toText() const
{
    QJsonObject o;
    o[QLatin1String("token")] = QString::fromLatin1(phonesToken);
    o[QLatin1String("telefoni")] = phonesOn;
    o[QLatin1String("porta")] = int(phonesPort);
    o[QLatin1String("cartelleTelefono")] = cardsPerPhone;
    o[QLatin1String("ritmo")] = pace;
    o[QLatin1String("schermo")] = audienceOpen;
    o[QLatin1String("schermoIntero")] = audienceFullScreen;
    o[QLatin1String("inAttesa")] = waiting;
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

std::optional<EveningSetup> EveningSetup::fromText(const QString &text)
{
    QJsonParseError failure;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &failure);
    if (failure.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue token = o.value(QLatin1String("token")), on = o.value(QLatin1String("telefoni")),
                     cards = o.value(QLatin1String("cartelleTelefono")),
                     pace = o.value(QLatin1String("ritmo")), open = o.value(QLatin1String("schermo")),
                     full = o.value(QLatin1String("schermoIntero")),
                     waiting = o.value(QLatin1String("inAttesa")), port = o.value(QLatin1String("porta"));
    if (!token.isString() || !on.isBool() || !cards.isDouble() || !pace.isDouble() || !open.isBool() ||
        !full.isBool() || !waiting.isString() || !port.isDouble() || o.size() != 8)
        return std::nullopt;
    const int portNumber = port.toInt(-1);
    if (portNumber < 0 || portNumber > 65535) return std::nullopt;
    EveningSetup s;
    s.phonesToken = token.toString().toLatin1();
    if (!s.phonesToken.isEmpty()) {
        if (s.phonesToken.size() != 26) return std::nullopt;
        for (const char c : std::as_const(s.phonesToken))
            if (!QByteArrayView(codeAlphabet).contains(c)) return std::nullopt;
    }
    s.phonesOn = on.toBool();
    s.phonesPort = quint16(portNumber);
    s.cardsPerPhone = cards.toInt(-1);
    s.pace = pace.toInt(-1);
    s.audienceOpen = open.toBool();
    s.audienceFullScreen = full.toBool();
    s.waiting = waiting.toString();
    if (s.cardsPerPhone < 0 || s.cardsPerPhone > 6 || s.pace < 100 || s.pace > 7000 || s.waiting.size() > 500)
        return std::nullopt;
    return s;
}
