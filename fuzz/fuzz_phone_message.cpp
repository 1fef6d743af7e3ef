// Feeds any text to what the phones' server does with a phone's message: the strict reading of the
// request, then each card code in it read as the relay reads it. A request read as valid must hold
// what its kind promises (a name of ASCII letters and digits, at most kMostCodes codes of at most
// kMostCodeLength characters), must read the same once written back, and a code read as valid must be written
// and read back to the same card.

#include "cards/card_code.h"
#include "phones/phone_protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

namespace
{
using phone_protocol::Request;

void check(bool ok)
{
    if (!ok) std::abort();
}

// The request as a phone would have written it.
QString written(const Request &r)
{
    QJsonObject o;
    switch (r.kind) {
    case Request::Hello:
        o[QLatin1String("t")] = QStringLiteral("ciao");
        o[QLatin1String("telefono")] = r.phone;
        break;
    case Request::State:
        o[QLatin1String("t")] = QStringLiteral("stato");
        break;
    case Request::Deal:
        o[QLatin1String("t")] = QStringLiteral("dammi");
        break;
    case Request::Call:
        o[QLatin1String("t")] = QStringLiteral("chiama");
        o[QLatin1String("codice")] = r.codes.value(0);
        break;
    case Request::Cards:
        o[QLatin1String("t")] = QStringLiteral("cartelle");
        o[QLatin1String("codici")] = QJsonArray::fromStringList(r.codes);
        break;
    case Request::Invalid:
        break;
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const QString message = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const Request r = phone_protocol::parse(message);
    if (message.size() > phone_protocol::kMostMessageBytes) check(r.kind == Request::Invalid);
    switch (r.kind) {
    case Request::Invalid:
        check(r.codes.isEmpty() && r.phone.isEmpty());
        return 0;
    case Request::Hello:
        check(r.phone.size() >= 8 && r.phone.size() <= 32 && r.codes.isEmpty());
        for (const QChar c : r.phone)
            check((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'));
        break;
    case Request::State:
    case Request::Deal:
        check(r.codes.isEmpty() && r.phone.isEmpty());
        break;
    case Request::Call:
        check(r.codes.size() == 1);
        break;
    case Request::Cards:
        check(r.codes.size() <= phone_protocol::kMostCodes);
        break;
    }
    const Request again = phone_protocol::parse(written(r));
    check(again.kind == r.kind && again.phone == r.phone && again.codes == r.codes);
    for (const QString &code : r.codes) {
        check(!code.isEmpty() && code.size() <= phone_protocol::kMostCodeLength);
        const CodeReading reading = parseCardCode(code);
        if (reading.error != CodeError::None) continue;
        check(reading.code.place >= 1 && reading.code.place <= cardsPerSet &&
              reading.code.series < seriesCount);
        const CodeReading back = parseCardCode(formatCardCode(reading.code));
        check(back.error == CodeError::None && back.code == reading.code);
        // The card the relay would show the phone.
        (void)carta_da_codice(reading.code.series, reading.code.place, reading.code.dealer);
    }
    return 0;
}
