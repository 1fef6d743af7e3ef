#include "announce/speech.h"

#include "announce/announce_log.h"

Q_LOGGING_CATEGORY(lcAnnounce, "tombola.announce", QtInfoMsg)

void Module1::suona_risorsa(SoundPort &sound, const QString &nome, const QString &tipo)
{
    sound.play(nome, tipo);
}

void playIfPresent(SoundPort &sound, const QString &key)
{
    try {
        Module1::suona_risorsa(sound, key, QStringLiteral("wav"));
    } catch (const std::exception &e) {
        qCWarning(lcAnnounce) << "the clip" << key << "was not played:" << e.what();
    }
}

QString wholeNumberKey(std::int16_t numero)
{
    return QStringLiteral("numero") + QString::number(numero);
}

QStringList chiavi_numero(std::int16_t numero)
{
    if (numero < 20) return {QStringLiteral("va") + QString::number(numero)};
    const int t = (numero / 10) * 10;
    const int u = numero - t;
    QStringList chiavi{QStringLiteral("vale") + QString::number(t)};
    if (u != 0) chiavi << QStringLiteral("va") + QString::number(u);
    return chiavi;
}

void pronuncia_numero(std::int16_t numero, SoundPort &sound, const std::function<void()> &pump)
{
    // Composed, a ten before "uno", "otto" or "tre" is said wrong ("venti uno"): the whole word is
    // played whenever there is a clip for it. A play throws ClipMissing before any sound.
    const QStringList chiavi = chiavi_numero(numero);
    try {
        Module1::suona_risorsa(sound, wholeNumberKey(numero), QStringLiteral("wav"));
    } catch (const ClipMissing &) {
        // Most numbers have no clip of their own: said in parts, as expected.
        qCDebug(lcAnnounce) << "no clip" << wholeNumberKey(numero) << ", said in parts";
        for (const QString &chiave : chiavi)
            Module1::suona_risorsa(sound, chiave, QStringLiteral("wav"));
    }
    if (chiavi.size() == 2 && pump) pump();
}
