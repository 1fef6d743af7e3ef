#include "claims/typed_number.h"

#include <QByteArray>
#include <cmath>
#include <limits>

double valore_numerico(const QString &testo)
{
    QByteArray numero;
    bool segnoLetto = false;
    bool puntoLetto = false;
    bool cifreLette = false;
    for (const QChar c : testo) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t' || u == u'\n') continue;
        if (!segnoLetto && !cifreLette && !puntoLetto && (u == u'+' || u == u'-')) {
            segnoLetto = true;
            numero.append(static_cast<char>(u));
            continue;
        }
        segnoLetto = true; // a sign may only stand first
        if (u >= u'0' && u <= u'9') {
            cifreLette = true;
            numero.append(static_cast<char>(u));
        } else if (u == u'.' && !puntoLetto) {
            puntoLetto = true;
            numero.append('.');
        } else {
            break;
        }
    }
    if (!cifreLette) return 0.0;
    bool ok = false;
    const double v = numero.toDouble(&ok);
    if (ok) return v;
    // Only an overflow can fail here: the text is a well-formed decimal number.
    const double inf = std::numeric_limits<double>::infinity();
    return numero.startsWith('-') ? -inf : inf;
}

std::optional<int> claimBoxNumber(const QString &text)
{
    int points = 0;
    bool digits = false;
    for (const QChar c : text) {
        if (c == u'.')
            ++points;
        else if (c >= u'0' && c <= u'9')
            digits = true;
        else
            return std::nullopt;
    }
    if (!digits || points > 1) return std::nullopt;
    const double value = valore_numerico(text);
    // A run of digits too long for an int is no number of the game either.
    if (value != std::floor(value) || value > std::numeric_limits<int>::max()) return std::nullopt;
    return int(value);
}

std::optional<std::int16_t> intero_16(double valore)
{
    if (!std::isfinite(valore)) return std::nullopt;
    const double r = std::nearbyint(valore); // the default rounding mode sends halves to even
    if (r < std::numeric_limits<std::int16_t>::min() || r > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}
