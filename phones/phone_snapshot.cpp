#include "phones/phone_snapshot.h"

#include "announce/prizes.h"
#include "announce/smorfia.h"
#include "announce/words.h"
#include "claims/prize_desk.h"
#include "game/game.h"

PhoneState phoneSnapshot(const Game &game, const PrizeDesk &desk, int cardsPerPhone)
{
    PhoneState s;
    s.game = desk.gameNumber();
    s.drawn = game.drawnNumbers();
    if (!s.drawn.isEmpty()) {
        const int last = s.drawn.last();
        s.words = applica_maiuscole(parola_del_numero(last), QStringLiteral(">"));
        // La smorfia goes to the phones while the caller shows it in the window.
        if (!game.display().meaning.isEmpty()) s.meaning = meaningOf(last);
    }
    s.paused = game.isPaused();
    if (const auto seen = desk.sighting(); seen && !desk.announceAtOnce())
        s.checking = QStringLiteral("Vincita da verificare: ") + prizeWord(seen->prize);
    const Prize open = desk.ladder().playingFor();
    if (open != Prize::None) {
        s.prize = QLatin1String(prizeInfo(open).word);
        s.prizeWord = prizeWord(open);
        s.prizeName = prizeWithArticle(open);
        // Ambo to cinquina: as many on one row as the claim panel has boxes; the rest, the card.
        s.prizeRow = prizeInfo(open).boxes;
    }
    s.playingFor = desk.playingForText();
    s.wins = desk.winLines();
    for (const CardCode &code : desk.passedOverNow())
        s.passedOver << formatCardCode(code);
    s.cardsPerPhone = cardsPerPhone;
    return s;
}
