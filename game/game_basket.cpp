// The basket: numbers drawn by hand from the bag, entered one by one, each through the same turn
// as a drawn number; the last one can be taken back.

#include "game/draw.h"
#include "game/game.h"

// ---------------------------------------------------------------------------------------------
// The basket.

void Game::showBasketControls()
{
    const int d = m_state.drawnCount();
    m_view.setChecked(Control::chk_panariello, m_basket);
    m_view.setVisible(Control::txt_panariello, m_basket);
    m_view.setVisible(Control::cmd_togli, m_basket);
    m_view.setEnabled(Control::cmd_togli, m_basket && d > 0);
    if (!m_basket) return;
    // The caller draws: the random draw's buttons rest until the mode goes back.
    m_view.setEnabled(Control::cmd_estrai, false);
    m_view.setEnabled(Control::cmd_sospendi, false);
    m_view.setCaption(Control::cmd_sospendi, QStringLiteral("&Pausa"));
    // Claims can come after any number: no pause is needed to open the panel.
    m_view.setEnabled(Control::cmd_verifica, d > 0);
}

bool Game::setBasketMode(bool on)
{
    if (on == m_basket || m_closed) return on == m_basket;
    if (isDrawing()) {
        m_ports.dialogs.message(QStringLiteral("Per cambiare il modo di estrazione PRIMA premere Pausa"),
                                QString(), Icon::Information);
        m_view.setChecked(Control::chk_panariello, m_basket);
        return false;
    }
    m_basket = on;
    const int d = m_state.drawnCount();
    if (!m_basket && d > 0) {
        // The random draw goes on from a pause at the next ordinal, with the numbers left.
        m_state.sospeso = true;
        m_state.nuova_partita = false;
        m_state.prossima_estrazione = std::int16_t(d + 1);
        m_view.setTag(Control::Label2, QString::number(d + 1));
        m_view.setEnabled(Control::cmd_estrai, false);
        m_view.setEnabled(Control::cmd_sospendi, true);
        m_view.setCaption(Control::cmd_sospendi, QStringLiteral("&Riprendi"));
        m_view.setEnabled(Control::cmd_verifica, true);
    } else if (!m_basket) {
        m_view.setEnabled(Control::cmd_estrai, true);
    }
    showBasketControls();
    // The caller types the numbers next: they go to the box, not to the control that was clicked.
    if (m_basket) m_view.setFocus(Control::txt_panariello, GameView::Focus::MoveOn);
    emit basketModeChanged(m_basket);
    publish();
    return true;
}

bool Game::enterNumber(const QString &text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    if (!ok) {
        if (!m_basket || isDrawing() || m_closed) return false;
        m_ports.dialogs.message(QStringLiteral("digitare un numero da 1 a 90"), QString(), Icon::Question);
        return false;
    }
    return enterNumber(number);
}

bool Game::enterNumber(int number)
{
    // An Enter while a number is being spoken waits for the caller to press it again.
    if (!m_basket || isDrawing() || m_closed) return false;
    if (number < 1 || number > 90) {
        m_ports.dialogs.message(QStringLiteral("digitare un numero da 1 a 90"), QString(), Icon::Question);
        return false;
    }
    const int d = m_state.drawnCount();
    int index = 0;
    for (int j = 1; j <= m_state.quanti_da_estrarre && index == 0; ++j)
        if (m_state.numeri_da_estrarre(j).toInt() == number) index = j;
    if (index == 0) {
        m_ports.dialogs.message(QStringLiteral(" il numero  ") + QString::number(number) +
                                    QStringLiteral("   è già stato estratto "),
                                QString(), Icon::Information);
        return false;
    }
    ++m_drawDepth;
    step([&] {
        showPlaying();
        m_view.setEnabled(Control::cmd_togli, true);
        m_view.setEnabled(Control::cmd_verifica, true);
    });
    // Stopped between numbers, as in a pause: the repeat of the last numbers works.
    m_state.sospeso = true;
    m_state.nuova_partita = false;
    m_state.prossima_estrazione = std::int16_t(d + 2);
    QString direttiva = QStringLiteral(">");
    const int numero = playTurn(
        d + 1, [index](int) { return index; }, direttiva);
    step([&] { speak(numero); });
    step([&] { sayMeaning(numero); });
    if (m_state.drawnCount() == 90 && !m_closed) finish();
    --m_drawDepth;
    publish();
    return true;
}

bool Game::takeBackAsked()
{
    const int d = m_state.drawnCount();
    if (!m_basket || isDrawing() || m_closed || d < 1) return false;
    const QString last = m_state.numeri_estratti(d);
    const int number = last.toInt();
    if (!m_ports.dialogs.ask(QStringLiteral("Rimettere nel panariello l'ultimo numero, il ") + last +
                                 QStringLiteral("?"),
                             QString()))
        return false;
    // The game may have changed while the question was open.
    if (m_closed || isDrawing() || m_state.drawnCount() != d || !m_basket) return false;
    // Back in its place: the pool stays in order, as a fresh one is.
    int j = m_state.quanti_da_estrarre + 1;
    for (; j > 1 && m_state.numeri_da_estrarre(j - 1).toInt() > number; --j)
        m_state.numeri_da_estrarre(j) = m_state.numeri_da_estrarre(j - 1);
    m_state.numeri_da_estrarre(j) = last;
    m_state.quanti_da_estrarre = std::int16_t(m_state.quanti_da_estrarre + 1);
    m_state.numeri_estratti(d) = QString();
    m_state.prossima_estrazione = std::int16_t(d);
    const ControlId cell(Control::LBL_TAB, number - 1);
    m_view.setCaption(cell, QString());
    m_view.setBackColor(cell, Palette::white);
    if (d > 1) {
        const QString previous = m_state.numeri_estratti(d - 1);
        setLabel(Control::Label2, riga_contatore(d - 1, m_state.totale_numeri));
        setLabel(Control::Label1, previous);
        QString direttiva = QStringLiteral(">");
        writeInWords(previous.toInt(), direttiva);
        showMeaning(previous.toInt());
    } else {
        setLabel(Control::Label2, blankCounterLine());
        setLabel(Control::Label1, blankBigNumber());
        setLabel(Control::Label6, QString());
        showMeaning(0);
    }
    showBasketControls();
    emit numberTakenBack(number, d);
    publish();
    return true;
}
