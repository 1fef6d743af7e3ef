#include "claims/repeat.h"

#include "claims/claims_log.h"

#include "claims/typed_number.h"
#include "game/game.h"

#include <limits>

Q_LOGGING_CATEGORY(lcClaims, "tombola.claims", QtInfoMsg)

void Repeat::ripetiClicked()
{
    GameView &view = m_game.view();
    m_game.showWords(QString());
    m_game.showMeaning(0);
    if (!m_game.state().sospeso) {
        view.setVisible(Control::Label4, !view.isVisible(Control::Label4));
        return;
    }
    view.setVisible(Control::Label4, false);
    view.setVisible(Control::txt_ultimi, !view.isVisible(Control::txt_ultimi));
    // The count is typed next: the cursor waits in its box.
    if (view.isVisible(Control::txt_ultimi)) view.setFocus(Control::txt_ultimi, GameView::Focus::MoveOn);
}

void Repeat::keyPressed(std::int16_t &key)
{
    if (key == 8) return;
    if (key >= 32 && !repeatBoxTakes(char16_t(key))) {
        key = 0;
        return;
    }
    if (key == 13) run();
}

void Repeat::run()
{
    GameView &view = m_game.view();
    const GameState &stato = m_game.state();
    const double valore = valore_numerico(view.caption(Control::txt_ultimi));
    const auto intero = intero_16(valore);
    // A count beyond the 16-bit range is too many above, and nothing below.
    const int n = intero ? *intero : (valore > 0 ? std::numeric_limits<int>::max() : 0);
    const int d = stato.drawnCount();
    if (n > d) {
        m_game.ports().dialogs.message(
            QStringLiteral("  troppi  numeri \r\n\r\n i numeri   gia   estratti  sono   ") +
                QStringLiteral(" ") + QString::number(d),
            QString(), Icon::Question);
        return;
    }
    m_game.showNumber(QString());
    m_game.pump();
    m_game.playQuietly(QStringLiteral("num_estratti"));
    m_game.showRepeatColour(true);
    for (int k = 1; k <= n && !m_game.isClosed(); ++k) {
        const int j = d - n + k;
        const QString numero = stato.numeri_estratti(j);
        m_game.showNumber(numero);
        m_game.showMeaning(numero.toInt());
        m_game.announceRepeated(numero.toInt());
        m_game.waitFor([] { return 0.4; });
        try {
            m_game.speak(numero.toInt());
            m_game.sayMeaning(numero.toInt());
        } catch (const std::exception &e) {
            qCWarning(lcClaims) << "the repeat could not say" << numero << ':' << e.what();
        }
        m_game.waitFor([&stato] { return double(stato.ritardo); });
    }
    m_game.showRepeatColour(false);
    view.setCaption(Control::txt_ultimi, QString());
    m_game.showNumber(QString());
    m_game.showMeaning(0);
    view.setVisible(Control::txt_ultimi, false);
    m_game.publish();
}
