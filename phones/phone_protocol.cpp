#include "phones/phone_protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace phone_protocol
{

namespace
{
QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonArray numbers(const QList<int> &list)
{
    QJsonArray out;
    for (const int n : list)
        out.append(n);
    return out;
}

// The same state but for the numbers and what follows from the last one.
bool sameBesidesNumbers(PhoneState a, PhoneState b)
{
    a.drawn = b.drawn;
    a.words = b.words;
    a.meaning = b.meaning;
    return a == b;
}

bool prefixOf(const QList<int> &shorter, const QList<int> &longer)
{
    if (longer.size() != shorter.size() + 1) return false;
    for (qsizetype i = 0; i < shorter.size(); ++i)
        if (shorter[i] != longer[i]) return false;
    return true;
}

bool codeText(const QJsonValue &v, QString *out)
{
    if (!v.isString()) return false;
    *out = v.toString();
    return !out->isEmpty() && out->size() <= kMostCodeLength;
}
} // namespace

QByteArray wholeState(const PhoneState &s)
{
    QJsonObject o;
    o[QLatin1String("t")] = QStringLiteral("stato");
    o[QLatin1String("tombola")] = s.game;
    o[QLatin1String("estratti")] = numbers(s.drawn);
    o[QLatin1String("parole")] = s.words;
    o[QLatin1String("smorfia")] = s.meaning;
    o[QLatin1String("pausa")] = s.paused;
    o[QLatin1String("verifica")] = s.checking;
    o[QLatin1String("premio")] = s.prize;
    o[QLatin1String("premioParola")] = s.prizeWord;
    o[QLatin1String("premioNome")] = s.prizeName;
    o[QLatin1String("premioRiga")] = s.prizeRow;
    o[QLatin1String("gioco")] = s.playingFor;
    o[QLatin1String("vinti")] = QJsonArray::fromStringList(s.wins);
    o[QLatin1String("ignorate")] = QJsonArray::fromStringList(s.passedOver);
    o[QLatin1String("cartelleTelefono")] = s.cardsPerPhone;
    o[QLatin1String("sigillo")] = s.seal;
    o[QLatin1String("sigilli")] = QJsonArray::fromStringList(s.seals);
    return compact(o);
}

QByteArray delta(const PhoneState &before, const PhoneState &after)
{
    if (!sameBesidesNumbers(before, after)) return {};
    QJsonObject o;
    if (prefixOf(before.drawn, after.drawn)) {
        o[QLatin1String("t")] = QStringLiteral("numero");
        o[QLatin1String("n")] = after.drawn.last();
        o[QLatin1String("k")] = int(after.drawn.size());
    } else if (prefixOf(after.drawn, before.drawn)) {
        o[QLatin1String("t")] = QStringLiteral("tolto");
        o[QLatin1String("n")] = before.drawn.last();
        o[QLatin1String("k")] = int(before.drawn.size());
    } else {
        return {};
    }
    o[QLatin1String("parole")] = after.words;
    o[QLatin1String("smorfia")] = after.meaning;
    return compact(o);
}

QByteArray repeated(int number, const QString &words, const QString &meaning)
{
    QJsonObject o;
    o[QLatin1String("t")] = QStringLiteral("ripetuto");
    o[QLatin1String("n")] = number;
    o[QLatin1String("parole")] = words;
    o[QLatin1String("smorfia")] = meaning;
    return compact(o);
}

QByteArray error(const QString &text)
{
    QJsonObject o;
    o[QLatin1String("t")] = QStringLiteral("errore");
    o[QLatin1String("testo")] = text;
    return compact(o);
}

bool isPhoneName(const QString &s)
{
    if (s.size() < 8 || s.size() > 32) return false;
    for (const QChar c : s)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) return false;
    return true;
}

Request parse(const QString &message)
{
    Request r;
    if (message.size() > kMostMessageBytes) return r;
    QJsonParseError failure;
    const QJsonDocument doc = QJsonDocument::fromJson(message.toUtf8(), &failure);
    if (failure.error != QJsonParseError::NoError || !doc.isObject()) return r;
    const QJsonObject o = doc.object();
    const QString t = o.value(QLatin1String("t")).toString();
    // Exactly the keys of its kind: nothing else is read, so nothing else is accepted.
    auto keys = [&o](std::initializer_list<const char *> allowed) {
        if (o.size() != qsizetype(allowed.size())) return false;
        for (const char *k : allowed)
            if (!o.contains(QLatin1String(k))) return false;
        return true;
    };
    if (t == QLatin1String("ciao") && keys({"t", "telefono"})) {
        const QString phone = o.value(QLatin1String("telefono")).toString();
        if (!isPhoneName(phone)) return r;
        r.phone = phone;
        r.kind = Request::Hello;
    } else if (t == QLatin1String("stato") && keys({"t"})) {
        r.kind = Request::State;
    } else if (t == QLatin1String("dammi") && keys({"t"})) {
        r.kind = Request::Deal;
    } else if (t == QLatin1String("chiama") && keys({"t", "codice"})) {
        QString code;
        if (!codeText(o.value(QLatin1String("codice")), &code)) return r;
        r.codes << code;
        r.kind = Request::Call;
    } else if (t == QLatin1String("cartelle") && keys({"t", "codici"})) {
        const QJsonValue list = o.value(QLatin1String("codici"));
        if (!list.isArray() || list.toArray().size() > kMostCodes) return r;
        // All of them or none: a refused message leaves nothing behind.
        QStringList codes;
        for (const QJsonValue &v : list.toArray()) {
            QString code;
            if (!codeText(v, &code)) return r;
            codes << code;
        }
        r.codes = codes;
        r.kind = Request::Cards;
    }
    return r;
}

} // namespace phone_protocol
