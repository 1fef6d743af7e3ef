#include "announce/prizes.h"

QString prizeWord(Prize prize)
{
    if (prize == Prize::None) return QString();
    return QString::fromLatin1(prizeInfo(prize).word).toUpper();
}

QString prizeWithArticle(Prize prize)
{
    if (prize == Prize::None) return QString();
    const QString word = prizeWord(prize);
    if (prizeInfo(prize).feminine) return QStringLiteral("la ") + word;
    // Before a vowel the article is elided: l'AMBO.
    return (word.startsWith(QLatin1Char('A')) ? QStringLiteral("l'") : QStringLiteral("il ")) + word;
}

QString agreeing(Prize prize, const QString &masculine)
{
    const bool feminine = prize != Prize::None && prizeInfo(prize).feminine;
    return feminine && masculine.endsWith(QLatin1Char('o')) ? masculine.chopped(1) + QLatin1Char('a')
                                                            : masculine;
}

QString validVerdict(Prize prize)
{
    return prizeWord(prize) +
           (prizeInfo(prize).feminine ? QStringLiteral(" VALIDA") : QStringLiteral(" VALIDO"));
}
