#include "claims/prize_desk.h"

#include "claims/draw_words.h"

#include "game/game.h"

#include <algorithm>

namespace
{

// Whether every number of `numbers` stands in one row of the card of `code`.
bool inOneRow(const CardCode &code, const QList<int> &numbers)
{
    const Cartella card = carta_da_codice(code.series, code.place, code.dealer);
    for (int r = 1; r <= Cartella::righe; ++r) {
        int found = 0;
        for (int c = 1; c <= Cartella::colonne; ++c)
            found += numbers.contains(valore(card.cella(r, c))) ? 1 : 0;
        if (found == numbers.size()) return true;
    }
    return false;
}

} // namespace

// The cards in play as the ladder asks about them, for one claimant.
struct PrizeDesk::Cards {
    static PrizeLadder::Cards forClaimant(const PrizeDesk &desk, const Claimant &who)
    {
        PrizeLadder::Cards cards;
        cards.firstCompletion = [&desk](Prize p) { return desk.firstCompletion(p); };
        cards.passedOver = [&desk, who](Prize p) { return who.card && desk.passedOver(p, *who.card); };
        cards.match = [who](const PrizeWin &win) {
            const Claimant &listed = win.who;
            if (who.card) {
                if (listed.card)
                    return *listed.card == *who.card ? PrizeLadder::Match::Same : PrizeLadder::Match::Other;
                // The numbers of a claim in one row of this card: the same player, now known.
                return inOneRow(*who.card, listed.numbers) ? PrizeLadder::Match::Replaces
                                                           : PrizeLadder::Match::Other;
            }
            if (listed.card)
                return inOneRow(*listed.card, who.numbers) ? PrizeLadder::Match::Same
                                                           : PrizeLadder::Match::Other;
            return listed.numbers == who.numbers ? PrizeLadder::Match::Same : PrizeLadder::Match::Other;
        };
        return cards;
    }
};

PrizeDesk::PrizeDesk(Game &game, CardsInPlay &inPlay, QObject *parent)
    : QObject(parent), m_game(game), m_inPlay(inPlay)
{
    game.setResumeCheck([this] { return answerBeforeResume(); });
    game.setGameOverCheck([this] { return m_ladder.playingFor() == Prize::None; });
    // Each card is built from its code as it is printed, not at the next number.
    inPlay.setOnAdded([this](const CardInPlay &) { syncCards(); });
    connect(&game, &Game::numberDrawn, this, &PrizeDesk::numberDrawn);
    connect(&game, &Game::newGameStarted, this, [this] {
        // The first draw of the evening starts with a reset too: a game counts once a number is out.
        if (m_watch.followed() == 0 && m_ladder.wins().isEmpty()) {
            syncCards();
            return;
        }
        ++m_gameNumber;
        emit optionsChanged();
        m_ladder.reset();
        m_watch.follow({});
        syncCards();
        m_passed.clear();
        m_phoneCalls.clear();
        m_sighting.reset();
        log(0, QStringLiteral("Nuova tombola: si gioca per l'AMBO"));
        emit changed();
    });
    connect(&game, &Game::numberTakenBack, this, [this](int number) {
        const QList<int> order = m_game.drawnNumbers();
        const QList<PrizeWin> wins = m_ladder.wins();
        const QList<Pass> passes = m_passed;
        m_ladder.takeBack(int(order.size()));
        m_watch.follow(order);
        // A pass stands while the number that showed the card stands.
        m_passed.removeIf([&](const Pass &pass) { return pass.draw > order.size(); });
        settle(wins, passes);
        if (m_ladder.wins().size() != wins.size())
            log(int(order.size()),
                QStringLiteral("Tolto il %1: annullate le vincite che lo usavano").arg(number));
        look(false);
        emit changed();
    });
}

void PrizeDesk::syncCards(bool firstNumber)
{
    // Once a number is out, the cards printed since wait for the next game.
    const QList<int> drawn = m_game.drawnNumbers();
    if (!firstNumber && !drawn.isEmpty()) return;
    for (qsizetype k = m_watch.size(); k < m_inPlay.size(); ++k)
        m_watch.addCard(m_inPlay.at(k).code, m_inPlay.at(k).card, drawn);
}

bool PrizeDesk::playsThisGame(const CardCode &code) const
{
    for (qsizetype i = 0; i < m_watch.size(); ++i)
        if (m_watch.card(i).code == code) return true;
    // Before the first number every card printed so far plays.
    return m_watch.followed() == 0 && m_inPlay.contains(code);
}

void PrizeDesk::numberDrawn(int, int ordinal)
{
    if (ordinal == 1) syncCards(true);
    m_watch.follow(m_game.drawnNumbers());
    look(true);
    emit changed();
}

bool PrizeDesk::passedOver(Prize prize, const CardCode &code) const
{
    return std::any_of(m_passed.cbegin(), m_passed.cend(),
                       [&](const Pass &pass) { return pass.prize == prize && pass.code == code; });
}

bool PrizeDesk::playsFor(Prize prize, const WinnerWatch::Watched &w) const
{
    const Prize held = prize == Prize::Tombolino ? Prize::Tombola : prize;
    if (w.best < held || passedOver(prize, w.code)) return false;
    // The tombolino is for the cards that did not win the tombola.
    if (prize != Prize::Tombolino) return true;
    const PrizeLadder::Cards cards = Cards::forClaimant(*this, Claimant{w.code, {}, Confirmation::Watch});
    return std::none_of(m_ladder.wins().cbegin(), m_ladder.wins().cend(), [&](const PrizeWin &win) {
        return win.prize == Prize::Tombola && cards.match(win) != PrizeLadder::Match::Other;
    });
}

int PrizeDesk::firstCompletion(Prize prize) const
{
    int first = 0;
    for (qsizetype i = 0; i < m_watch.size(); ++i) {
        const WinnerWatch::Watched &w = m_watch.card(i);
        if (!playsFor(prize, w)) continue;
        const int at = heldFrom(w.moments)[std::size_t(prize)];
        if (at > 0 && (first == 0 || at < first)) first = at;
    }
    return first;
}

QList<CardCode> PrizeDesk::holdersAt(Prize prize, int draw) const
{
    QList<CardCode> codes;
    for (qsizetype i = 0; i < m_watch.size(); ++i) {
        const WinnerWatch::Watched &w = m_watch.card(i);
        if (!playsFor(prize, w)) continue;
        if (heldFrom(w.moments)[std::size_t(prize)] == draw) codes << w.code;
    }
    return codes;
}

std::optional<PrizeDesk::Sighting> PrizeDesk::findSighting() const
{
    for (const Prize p : m_ladder.steps()) {
        const int won = m_ladder.wonAt(p);
        if (won == 0) {
            const int first = firstCompletion(p);
            if (first == 0) return std::nullopt;
            return Sighting{p, first, holdersAt(p, first), false};
        }
        // Won already: more cards that completed it on the same number share it, unless they are
        // among its winners (a claim of numbers in one of their rows is their player's).
        QList<CardCode> sharers;
        for (const CardCode &code : holdersAt(p, won)) {
            const PrizeLadder::Cards cards =
                Cards::forClaimant(*this, Claimant{code, {}, Confirmation::Watch});
            const bool listed =
                std::any_of(m_ladder.wins().cbegin(), m_ladder.wins().cend(), [&](const PrizeWin &w) {
                    return w.prize == p && cards.match(w) != PrizeLadder::Match::Other;
                });
            if (!listed) sharers << code;
        }
        if (!sharers.isEmpty()) return Sighting{p, won, sharers, true};
    }
    return std::nullopt;
}

void PrizeDesk::log(int draw, const QString &text, bool refused)
{
    m_events << Event{m_gameNumber, draw, text, QDateTime::currentDateTime(), refused};
    emit logged(m_events.last());
}

void PrizeDesk::settle(const QList<PrizeWin> &wins, const QList<Pass> &passes)
{
    if (wins != m_ladder.wins() || passes != m_passed)
        emit prizesChanged(m_gameNumber, m_ladder.wins(), m_passed);
}

void PrizeDesk::restore(const State &state)
{
    m_plan = state.plan;
    m_ladder.setTombolino(state.plan.tombolino);
    m_gameNumber = state.gameNumber;
    m_announceAtOnce = state.announceAtOnce;
    m_ladder.restore(state.wins);
    m_passed = state.passes;
    m_events = state.events;
    m_watch.follow(m_game.drawnNumbers());
    m_sighting = findSighting();
    emit changed();
}

void PrizeDesk::newEvening()
{
    m_gameNumber = 1;
    m_ladder.reset();
    m_watch = WinnerWatch();
    m_passed.clear();
    m_events.clear();
    m_sighting.reset();
    emit changed();
}

PrizeDesk::State PrizeDesk::state() const
{
    return State{m_gameNumber, m_announceAtOnce, m_ladder.wins(), m_passed, m_events, m_plan};
}

void PrizeDesk::look(bool afterNumber)
{
    const std::optional<Sighting> before = m_sighting;
    const bool wasOver = m_ladder.playingFor() == Prize::None;
    m_sighting = findSighting();
    if (m_sighting && m_sighting != before)
        log(m_watch.followed(), QStringLiteral("Vincita trovata: ") + sightingText());
    if (m_announceAtOnce && m_sighting) {
        // Confirmed at once, with whatever follows from it (a card sharing, a higher prize); the
        // draw waits for the room to read the banner, then goes on.
        std::optional<Sighting> done;
        while (m_sighting && m_sighting != done) {
            done = m_sighting;
            confirmAs(Confirmation::WatchAlone);
            m_sighting = findSighting();
        }
        if (afterNumber) m_game.holdBeforeNextNumber(kBannerSeconds);
    }
    // Cards that hold a prize and wait for the caller: a running draw stops before its next number,
    // as in a hall, and never draws on while they wait.
    if (m_sighting) m_game.stopForWinner();
    // The tombola ends the game: the draw stops; a resume draws the rest for those who play on.
    if (!wasOver && m_ladder.playingFor() == Prize::None) m_game.stopForWinner();
}

Award PrizeDesk::awardCard(const CardCode &code, Prize best, const PrizeMoments &at, Confirmation how)
{
    const Claimant who{code, {}, how};
    // A card with its tombola plays for the tombolino too, when it is played.
    const Prize claimed = best == Prize::Tombola && m_ladder.tombolino() ? Prize::Tombolino : best;
    return m_ladder.award(claimed, at, who, Cards::forClaimant(*this, who));
}

void PrizeDesk::confirm()
{
    confirmAs(Confirmation::Watch);
    look(false);
    emit changed();
}

void PrizeDesk::confirmAs(Confirmation how)
{
    if (!m_sighting) return;
    const Sighting seen = *m_sighting;
    const QList<PrizeWin> wins = m_ladder.wins();
    Prize top = Prize::None;
    for (const CardCode &code : seen.codes) {
        for (qsizetype i = 0; i < m_watch.size(); ++i) {
            const WinnerWatch::Watched &w = m_watch.card(i);
            if (w.code != code) continue;
            // A card its player called from a phone is confirmed as that call.
            const Award award = awardCard(code, w.best, heldFrom(w.moments),
                                          m_phoneCalls.contains(code) ? Confirmation::Phone : how);
            if (award.isWin()) top = std::max(top, award.prize);
        }
    }
    const QString who = cardList(seen.codes);
    log(m_watch.followed(), prizeWord(seen.prize) + QLatin1Char(' ') +
                                agreeing(seen.prize, QStringLiteral("vinto")) + QStringLiteral(" alla ") +
                                nth(seen.draw) + QStringLiteral(" estrazione: ") + who +
                                QStringLiteral(" (") + confirmationWords(how) + QLatin1Char(')'));
    // The evening's record keeps the win before the room hears of it.
    settle(wins, m_passed);
    emit changed();
    if (top != Prize::None) emit prizeWon(prizeWord(top) + QStringLiteral("! ") + who + amountEach(top));
}

void PrizeDesk::ignore()
{
    if (!m_sighting) return;
    const QList<Pass> passes = m_passed;
    for (const CardCode &code : std::as_const(m_sighting->codes))
        m_passed << Pass{m_sighting->prize, code, m_sighting->draw};
    settle(m_ladder.wins(), passes);
    log(m_watch.followed(), QStringLiteral("Ignorata: ") + sightingText());
    look(false);
    emit changed();
}

void PrizeDesk::cardsVoided()
{
    if (!m_game.drawnNumbers().isEmpty()) return;
    m_watch = WinnerWatch();
    syncCards();
    m_sighting.reset();
    emit changed();
}

void PrizeDesk::note(const QString &text)
{
    log(int(m_game.drawnNumbers().size()), text);
    emit changed();
}

bool PrizeDesk::answerBeforeResume()
{
    if (!m_sighting) return true;
    const QString text = QStringLiteral("Una vincita aspetta la verifica: %1.\n\n"
                                        "Confermarla prima di riprendere l'estrazione?")
                             .arg(sightingText());
    const int answer = m_game.ports().dialogs.choose(
        text, QStringLiteral("Vincita da verificare"),
        {QStringLiteral("Con&ferma"), QStringLiteral("I&gnora"), QStringLiteral("&Resta in pausa")}, 0, 2);
    if (m_game.isClosed() || !m_sighting) return !m_game.isClosed();
    const bool wasOver = m_ladder.playingFor() == Prize::None;
    if (answer == 0)
        confirm();
    else if (answer == 1)
        ignore();
    // Another winner found meanwhile (a higher prize, more cards): the draw stays stopped for it. The
    // tombola ends the game: a resume after it draws the rest.
    const bool ended = !wasOver && m_ladder.playingFor() == Prize::None;
    return answer != 2 && !m_sighting && !ended;
}

void PrizeDesk::setAnnounceAtOnce(bool on)
{
    if (on == m_announceAtOnce) return;
    m_announceAtOnce = on;
    emit optionsChanged();
    if (on) {
        look(false);
        emit changed();
    }
}

Award PrizeDesk::claimFromPanel(int prizeIndex, const QStringList &numbers)
{
    const QList<int> order = m_game.drawnNumbers();
    QList<int> ordinals, values;
    for (const QString &text : numbers) {
        const qsizetype at = order.indexOf(text.toInt());
        if (at >= 0) ordinals << int(at + 1);
        values << text.toInt();
    }
    std::sort(ordinals.begin(), ordinals.end());
    std::sort(values.begin(), values.end());
    // The k-th number to come out completed the prize of k numbers.
    PrizeMoments at{};
    for (qsizetype k = 1; k < ordinals.size() && k <= 4; ++k)
        at[std::size_t(k)] = ordinals[k];
    const Claimant who{std::nullopt, values, Confirmation::Claim};
    const Prize claimed = ordinals.size() == numbers.size() ? claimPrize(prizeIndex) : Prize::None;
    const QList<PrizeWin> wins = m_ladder.wins();
    const Award award = m_ladder.award(claimed, at, who, Cards::forClaimant(*this, who));
    settle(wins, m_passed);
    log(int(order.size()),
        QStringLiteral("Richiesta, ") + who.name() + QStringLiteral(": ") + sentence(award, false),
        !award.isWin() && award.kind != Award::AlreadyCounted);
    look(false);
    emit changed();
    return award;
}

Award PrizeDesk::claimByCard(const CardCode &code, const CardResult &result)
{
    if (!m_inPlay.contains(code) || !playsThisGame(code)) return Award{};
    const QList<PrizeWin> wins = m_ladder.wins();
    const Award award = awardCard(code, result.best, heldFrom(result.moments), Confirmation::CardCode);
    settle(wins, m_passed);
    const QString who = formatCardCode(code);
    log(int(m_game.drawnNumbers().size()),
        QStringLiteral("Controllo della cartella ") + who + QStringLiteral(": ") + sentence(award, true),
        result.best != Prize::None && !award.isWin() && award.kind != Award::AlreadyCounted);
    // The evening's record keeps the win before the room hears of it.
    emit changed();
    if (award.isWin())
        emit prizeWon(prizeWord(award.prize) + QStringLiteral("! cartella ") + who + amountEach(award.prize));
    look(false);
    emit changed();
    return award;
}

QList<CardCode> PrizeDesk::passedOverNow() const
{
    QList<CardCode> codes;
    const Prize open = m_ladder.playingFor();
    for (const Pass &pass : m_passed)
        if (pass.prize == open && !codes.contains(pass.code)) codes << pass.code;
    return codes;
}

Award PrizeDesk::claimFromPhone(const CardCode &code)
{
    if (!m_inPlay.contains(code) || !playsThisGame(code)) return Award{};
    const WinnerWatch::Watched *watched = nullptr;
    for (qsizetype i = 0; i < m_watch.size(); ++i)
        if (m_watch.card(i).code == code) watched = &m_watch.card(i);
    if (!watched) return Award{};
    // What the call would do, tried on a copy of the ladder: a win waits for the caller like the
    // watch's winners, whose line stays on show.
    if (!m_announceAtOnce) {
        PrizeLadder trial = m_ladder;
        const Claimant who{code, {}, Confirmation::Phone};
        const Prize best =
            watched->best == Prize::Tombola && m_ladder.tombolino() ? Prize::Tombolino : watched->best;
        Award would = trial.award(best, heldFrom(watched->moments), who, Cards::forClaimant(*this, who));
        if (would.isWin() && m_sighting) {
            would.kind = Award::Waiting;
            if (!m_phoneCalls.contains(code)) m_phoneCalls << code;
            log(int(m_game.drawnNumbers().size()), QStringLiteral("Chiamata dal telefono, cartella ") +
                                                       formatCardCode(code) + QStringLiteral(": ") +
                                                       sentence(would, true));
            m_game.stopForWinner();
            emit changed();
            return would;
        }
    }
    const QList<PrizeWin> wins = m_ladder.wins();
    const Award award = awardCard(code, watched->best, heldFrom(watched->moments), Confirmation::Phone);
    settle(wins, m_passed);
    const QString who = formatCardCode(code);
    log(int(m_game.drawnNumbers().size()),
        QStringLiteral("Chiamata dal telefono, cartella ") + who + QStringLiteral(": ") +
            sentence(award, true),
        !award.isWin() && award.kind != Award::AlreadyCounted);
    // The evening's record keeps the win before the room hears of it.
    emit changed();
    if (award.isWin()) {
        emit prizeWon(prizeWord(award.prize) + QStringLiteral("! cartella ") + who + amountEach(award.prize));
        m_game.stopForWinner();
    }
    look(false);
    emit changed();
    return award;
}
