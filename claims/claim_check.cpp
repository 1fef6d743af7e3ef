#include "claims/claim_check.h"

#include "announce/fanfare.h"
#include "claims/prize_desk.h"
#include "claims/typed_number.h"
#include "game/game.h"

#include <QSet>
#include <QStringList>

namespace
{

// The number a counted box stands for ("05" is 5); 0 for a box that counts for nothing.
int countedNumber(const QString &counted)
{
    return claimBoxNumber(counted).value_or(0);
}

} // namespace

ClaimCheck::ClaimCheck(Game &game, QObject *parent) : QObject(parent), m_game(game)
{
    // A verdict stands until the next claim, the next draw or a new game.
    connect(&game, &Game::numberDrawn, this, [this] { setVerdict(QString()); });
    connect(&game, &Game::newGameStarted, this, [this] {
        m_claimOpen = false;
        m_complete = false;
        m_counted.fill(QString());
        setVerdict(QString());
    });
    connect(&game, &Game::numberTakenBack, this, [this](int number) { numberTakenBack(number); });
}

void ClaimCheck::numberTakenBack(int number)
{
    // A box counted with the number counts no longer and waits to be checked again; the claim
    // is complete only while all of its numbers are drawn.
    bool inThisClaim = false;
    for (int k = 0; k < claimBoxes; ++k) {
        if (countedNumber(m_counted[std::size_t(k)]) != number) continue;
        m_counted[std::size_t(k)].clear();
        if (!inClaim(k)) continue;
        inThisClaim = true;
        m_game.view().setBackColor(ControlId(Control::Text1, k), Palette::lightYellow);
    }
    if (!inThisClaim) return;
    m_game.setClaimCount(m_game.state().premio_scelto, countedInClaim());
    m_complete = false;
    setVerdict(QString());
}

void ClaimCheck::setVerdict(const QString &text)
{
    if (text == m_verdict) return;
    m_verdict = text;
    GameView &view = m_game.view();
    view.setCaption(Control::lbl_esito, text);
    view.setVisible(Control::lbl_esito, !text.isEmpty());
}

bool ClaimCheck::inClaim(int box) const
{
    if (!m_claimOpen) return false;
    const PrizeInfo &premio = claimPrizeInfo(m_game.state().premio_scelto);
    return box >= premio.firstBox && box < premio.firstBox + premio.boxes;
}

int ClaimCheck::countedInClaim() const
{
    QSet<int> numbers;
    for (int k = 0; k < claimBoxes; ++k)
        if (inClaim(k) && !m_counted[std::size_t(k)].isEmpty())
            numbers.insert(countedNumber(m_counted[std::size_t(k)]));
    return int(numbers.size());
}

void ClaimCheck::panelToggled()
{
    GameView &view = m_game.view();
    view.setVisible(Control::fra_controlli, !view.isVisible(Control::fra_controlli));
}

void ClaimCheck::prizePicked(int index)
{
    GameView &view = m_game.view();
    for (int k = 0; k < claimBoxes; ++k) {
        view.setLocked(ControlId(Control::Text1, k), true);
        view.setBackColor(ControlId(Control::Text1, k), Palette::white);
    }
    m_game.choosePrize(index);
    // A new claim: its boxes empty and its count from 0; the other prizes keep theirs.
    m_claimOpen = true;
    m_complete = false;
    m_game.setClaimCount(index, 0);
    setVerdict(QString());
    const PrizeInfo &premio = claimPrizeInfo(index);
    for (int k = 0; k < premio.boxes; ++k) {
        const ControlId box(Control::Text1, premio.firstBox + k);
        m_counted[std::size_t(premio.firstBox + k)].clear();
        view.setCaption(box, QString());
        view.setLocked(box, false);
        view.setBackColor(box, Palette::lightYellow);
    }
    view.setFocus(ControlId(Control::Text1, premio.firstBox), GameView::Focus::MoveOn);
}

void ClaimCheck::keyPressed(int index, std::int16_t &key)
{
    GameView &view = m_game.view();
    DialogPort &dialogs = m_game.ports().dialogs;
    const ControlId box(Control::Text1, index);
    if (view.isLocked(box))
        dialogs.message(QStringLiteral("Per attivare il controllo PRIMA clicca sul bottone ") +
                            QLatin1String(claimPrizeInfo(prizeOfBox(index)).word),
                        QString(), Icon::None);
    if (key == 8 || claimBoxTakes(char16_t(key))) return;
    if (key == 13) {
        if (!view.caption(box).isEmpty()) {
            // The last box has no next one: its number is checked where it stands.
            if (index < claimBoxes - 1)
                view.setFocus(ControlId(Control::Text1, index + 1), GameView::Focus::MoveOn);
            else
                boxLeft(index);
        } else {
            dialogs.message(QStringLiteral("digitare un numero gia' estratto"), QString(), Icon::Question);
            view.setFocus(box, GameView::Focus::PutBack);
        }
        return;
    }
    key = 0;
}

void ClaimCheck::boxEdited(int index)
{
    if (!inClaim(index)) return;
    m_game.view().setBackColor(ControlId(Control::Text1, index), Palette::lightYellow);
    // What the box shows is no longer what was counted: until it is left, it counts for nothing.
    QString &counted = m_counted[std::size_t(index)];
    if (counted.isEmpty() || counted == m_game.view().caption(ControlId(Control::Text1, index))) return;
    counted.clear();
    if (!m_complete) m_game.setClaimCount(m_game.state().premio_scelto, countedInClaim());
}

void ClaimCheck::boxLeft(int index)
{
    // Only the boxes of the claim count: a locked box of another prize adds nothing.
    if (!inClaim(index)) return;
    GameView &view = m_game.view();
    const GameState &stato = m_game.state();
    const ControlId box(Control::Text1, index);
    const QString testo = view.caption(box);
    QString &counted = m_counted[std::size_t(index)];
    // Left again with the same text: already counted, nothing new to say.
    if (!testo.isEmpty() && testo == counted) return;
    if (!counted.isEmpty()) {
        // A changed text no longer counts with its old number.
        counted.clear();
        if (!m_complete) m_game.setClaimCount(stato.premio_scelto, countedInClaim());
    }
    if (testo.isEmpty()) return;
    if (valore_numerico(testo) > 90) {
        view.setCaption(box, QString());
        view.setFocus(box, GameView::Focus::PutBack);
        return;
    }
    // Numbers, not texts, are compared: "05" and "5." are the drawn 5; a fraction is no number.
    const int numero = claimBoxNumber(testo).value_or(0);
    const int d = stato.drawnCount();
    bool drawn = false;
    for (int j = 1; j <= d && numero > 0 && !drawn; ++j)
        drawn = stato.numeri_estratti(j).toInt() == numero;
    emit numberChecked(stato.premio_scelto, index, testo, drawn);
    // A number refused: the box turns red, says why, and keeps the focus.
    auto refuse = [&](const QString &why) {
        view.setBackColor(box, Palette::lightRed);
        m_game.ports().dialogs.message(QStringLiteral(" il numero  ") + testo + why, QString(),
                                       Icon::Information);
        view.setFocus(box, GameView::Focus::PutBack);
    };
    if (!drawn) return refuse(QStringLiteral("   NON  e' stato ancora  estratto "));
    for (int k = 0; k < claimBoxes; ++k)
        if (k != index && inClaim(k) && countedNumber(m_counted[std::size_t(k)]) == numero)
            return refuse(QStringLiteral("   è già nella richiesta "));
    counted = testo;
    view.setBackColor(box, Palette::lightGreen);
    if (m_complete) return;
    const int premio = stato.premio_scelto;
    const bool completes = countedInClaim() == claimPrizeInfo(premio).boxes;
    // The claim is complete and wins `won`: the verdict says so, before the fanfare plays.
    const auto celebrate = [&](Prize won) {
        m_complete = true;
        const QString verdetto = validVerdict(won);
        setVerdict(verdetto);
        m_game.publish();
        emit claimCompleted(premio, verdetto);
    };
    if (completes && m_desk) {
        QStringList numbers;
        for (int k = 0; k < claimBoxes; ++k) {
            const QString n = QString::number(countedNumber(m_counted[std::size_t(k)]));
            if (inClaim(k) && !numbers.contains(n)) numbers << n;
        }
        const Award award = m_desk->claimFromPanel(premio, numbers);
        if (!award.isWin()) {
            // Complete, but the prize is not this claim's: no fanfare, the count starts again.
            m_game.setClaimCount(premio, 0);
            m_complete = true;
            const bool earlier = award.kind == Award::Earlier;
            const QString verdetto =
                earlier ? QStringLiteral("PRIMA UN'ALTRA")
                        : QStringLiteral("GIÀ ") + agreeing(award.prize, QStringLiteral("vinto")).toUpper();
            setVerdict(verdetto);
            emit claimRefused(premio, verdetto);
            // A card in play completed it first: the caller is told which, and decides on the
            // watch's line whether it wins.
            if (earlier) {
                QString text = m_desk->sentence(award, false) + QLatin1Char('.');
                text[0] = text[0].toUpper();
                m_game.ports().dialogs.message(text, QString(), Icon::Information);
            }
            return;
        }
        if (award.prize != claimPrize(premio)) {
            // A card in play completed the prize claimed first, but these numbers hold a lower one
            // still open: that one is this claim's, and it is the one celebrated.
            m_game.setClaimCount(premio, 0);
            celebrate(award.prize);
            playFanfare(award.prize, m_game.ports().sound);
            QString text = prizeWithArticle(claimPrize(premio)) + QStringLiteral(" l'aveva già ") +
                           agreeing(claimPrize(premio), QStringLiteral("completato")) +
                           QStringLiteral(" prima un'altra cartella in gioco: a questa richiesta va ") +
                           prizeWithArticle(award.prize) + QLatin1Char('.');
            text[0] = text[0].toUpper();
            m_game.ports().dialogs.message(text, QString(), Icon::Information);
            return;
        }
    }
    if (completes) celebrate(claimPrize(premio));
    m_game.Avviso(stato.premio_scelto);
}
