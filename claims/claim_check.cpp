#include "claims/claim_check.h"

#include "announce/fanfare.h"
#include "announce/prizes.h"
#include "claims/typed_number.h"
#include "game/game.h"

ClaimCheck::ClaimCheck(Game &game, QObject *parent) : QObject(parent), m_game(game) {}

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
    m_game.state().premio_scelto = std::int16_t(index);
    const PrizeInfo &premio = prizes[std::size_t(index)];
    for (int k = 0; k < premio.boxes; ++k) {
        const ControlId box(Control::Text1, premio.firstBox + k);
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
                            QLatin1String(prizes[std::size_t(prizeOfBox(index))].word),
                        QString(), Icon::None);
    if (key == 8 || (key >= 46 && key <= 57)) return;
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

void ClaimCheck::boxLeft(int index)
{
    GameView &view = m_game.view();
    GameState &stato = m_game.state();
    const ControlId box(Control::Text1, index);
    const QString testo = view.caption(box);
    if (testo.isEmpty()) return;
    if (valore_numerico(testo) > 90) {
        view.setCaption(box, QString());
        view.setFocus(box, GameView::Focus::PutBack);
        return;
    }
    const int d = stato.drawnCount();
    for (int j = 1; j <= d; ++j) {
        if (stato.numeri_estratti(j) == testo) {
            emit numberChecked(stato.premio_scelto, index, testo, true);
            Avviso(stato.premio_scelto, stato, m_game.ports().sound);
            return;
        }
    }
    emit numberChecked(stato.premio_scelto, index, testo, false);
    m_game.ports().dialogs.message(QStringLiteral(" il numero  ") + testo +
                                       QStringLiteral("   NON  e' stato ancora  estratto "),
                                   QString(), Icon::Information);
    view.setFocus(box, GameView::Focus::PutBack);
}
