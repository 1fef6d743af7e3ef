#include "announce/words.h"

#include <array>
#include <stdexcept>

namespace
{
// Entries 17 and 71 are spelled as the caller's board has always shown them.
constexpr std::array<const char *, 90> kParole = {
    "uno",
    "due",
    "tre",
    "quattro",
    "cinque",
    "sei",
    "sette",
    "otto",
    "nove",
    "dieci",
    "undici",
    "dodici",
    "tredici",
    "quattordici",
    "quindici",
    "sedici",
    "disciasette",
    "diciotto",
    "diciannove",
    "venti",
    "ventuno",
    "ventidue",
    "ventitre",
    "ventiquattro",
    "venticinque",
    "ventisei",
    "ventisette",
    "ventotto",
    "ventinove",
    "trenta",
    "trentuno",
    "trentadue",
    "trentatre",
    "trentaquattro",
    "trentacinque",
    "trentasei",
    "trentasette",
    "trentotto",
    "trentanove",
    "quaranta",
    "quarantuno",
    "quarantadue",
    "quarantatre",
    "quarantaquattro",
    "quarantacinque",
    "quarantasei",
    "quarantasette",
    "quarantotto",
    "quarantanove",
    "cinquanta",
    "cinquantuno",
    "cinquantadue",
    "cinquantatre",
    "cinquantaquattro",
    "cinquantacinque",
    "cinquantasei",
    "cinquantasette",
    "cinquantotto",
    "cinquantanove",
    "sessanta",
    "sessantuno",
    "sessantadue",
    "sessantatre",
    "sessantaquattro",
    "sessantacinque",
    "sessantasei",
    "sessantasette",
    "sessantotto",
    "sessantanove",
    "settanta",
    "settantauno",
    "settantadue",
    "settantatre",
    "settantaquattro",
    "settantacinque",
    "settantasei",
    "settantasette",
    "settantotto",
    "settantanove",
    "ottanta",
    "ottantuno",
    "ottantadue",
    "ottantatre",
    "ottantaquattro",
    "ottantacinque",
    "ottantasei",
    "ottantasette",
    "ottantotto",
    "ottantanove",
    "novanta",
};
} // namespace

QString parola_del_numero(int n)
{
    if (n < 1 || n > 90) throw std::out_of_range("numero fuori da 1..90");
    return QString::fromLatin1(kParole[std::size_t(n - 1)]);
}

QString applica_maiuscole(const QString &parola, const QString &direttiva)
{
    if (direttiva == QLatin1String(">")) return parola.toUpper();
    if (direttiva == QLatin1String("<")) return parola.toLower();
    return parola;
}

QString numberWithArticle(int n)
{
    const bool vowel = n == 1 || n == 8 || n == 11 || (n >= 80 && n <= 89);
    return (vowel ? QStringLiteral("l'") : QStringLiteral("il ")) + QString::number(n);
}
