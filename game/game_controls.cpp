// The controls around the draw: start-up, activation, closing, new game, pause and resume, speed,
// the hidden gesture, and a resumed evening's game put back.

#include "announce/words.h"
#include "game/draw.h"
#include "game/game.h"

namespace
{
// The position stored in a tag, when it is a whole number from 1 to 90.
int storedPosition(const QString &tag)
{
    bool ok = false;
    const int p = tag.trimmed().toInt(&ok);
    return ok && p >= 1 && p <= 90 ? p : 0;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Game controls.

void Game::newGame()
{
    m_hold = 0;
    m_state.clearCounts();
    setLabel(Control::Label6, QString());
    showMeaning(0);
    m_view.setVisible(Control::fra_controlli, false);
    riempi_numeri(m_state.numeri_da_estrarre);
    m_ports.random.reseed();
    // The next game is sealed afresh at its first random number.
    m_secret.clear();
    m_view.setVisible(Control::txt_ultimi, false);
    m_view.setVisible(Control::Label4, false);
    for (int k = 0; k < 14; ++k) {
        const ControlId box(Control::Text1, k);
        m_view.setCaption(box, QString());
        m_view.setLocked(box, true);
        m_view.setBackColor(box, Palette::white);
    }
    m_state.nuova_partita = true;
    m_state.sospeso = true;
    m_view.setEnabled(Control::cmd_sospendi, false);
    m_view.setEnabled(Control::cmd_ripeti, false);
    m_state.prossima_estrazione = 1;
    m_state.quanti_da_estrarre = 90;
    m_view.clearSurface();
    for (int k = 0; k < 90; ++k) {
        m_view.setCaption(ControlId(Control::LBL_TAB, k), QString());
        m_view.setBackColor(ControlId(Control::LBL_TAB, k), Palette::white);
    }
    setLabel(Control::Label1, blankBigNumber());
    setLabel(Control::Label2, blankCounterLine());
    m_view.setEnabled(Control::cmd_estrai, true);
    m_view.setCaption(Control::cmd_sospendi, QStringLiteral("&Pausa"));
    m_view.setEnabled(Control::cmd_verifica, false);
    // A position saved in the old game must not resume the new one.
    m_view.setTag(Control::Label2, QString());
    if (m_basket) showBasketControls();
    emit newGameStarted();
    publish();
    // The board is clear before the opening clip plays: the room sees the new game at once.
    playQuietly(QStringLiteral("apri"));
}

void Game::newGameAsked()
{
    const int d = m_state.drawnCount();
    const bool over = m_isOver && m_isOver();
    if (d > 0 && d < 90 && !over &&
        !m_ports.dialogs.ask(
            QStringLiteral("Iniziare una nuova tombola? I numeri estratti finora andranno persi."),
            QString()))
        return;
    if (m_closed) return;
    newGame();
}

void Game::pause()
{
    m_view.setCaption(Control::cmd_sospendi, QStringLiteral("&Riprendi"));
    m_state.sospeso = true;
    m_view.setEnabled(Control::cmd_verifica, true);
    m_view.setVisible(Control::Label4, false);
    publish();
}

void Game::stopForWinner()
{
    if (!isDrawing() || m_basket || m_closed || m_state.sospeso) return;
    m_state.nuova_partita = false;
    pause();
}

void Game::pauseOrResume()
{
    m_state.nuova_partita = false;
    if (!m_state.sospeso) {
        pause();
        return;
    }
    if (m_mayResume && (!m_mayResume() || m_closed || !m_state.sospeso)) return;
    m_view.setCaption(Control::cmd_sospendi, QStringLiteral("&Pausa"));
    m_state.sospeso = false;
    m_view.setEnabled(Control::cmd_verifica, false);
    m_view.setVisible(Control::fra_controlli, false);
    m_view.setVisible(Control::txt_ultimi, false);
    m_view.setVisible(Control::Label4, false);
    draw();
}

void Game::speedChanged()
{
    m_state.ritardo = float(m_view.value(Control::HScroll1)) / 1000.0f;
}

void Game::bigNumberGesture(int button, float x)
{
    // The hidden gesture steers the random draw only.
    if (m_basket) return;
    if (x >= 100 || (button != 1 && button != 2)) return;
    // Only a stored position from 1 to 90 is copied; without one the right button still stops the
    // draw, and the left one has nowhere to resume from.
    const int posizione = storedPosition(m_view.tag(Control::Label2));
    if (button == 2) {
        m_state.sospeso = true;
        if (posizione != 0) m_state.prossima_estrazione = std::int16_t(posizione);
        return;
    }
    if (posizione == 0) return;
    if (m_mayResume && (!m_mayResume() || m_closed)) return;
    m_state.sospeso = false;
    m_state.prossima_estrazione = std::int16_t(posizione);
    draw();
}

// ---------------------------------------------------------------------------------------------
// Start-up, activation, closing.

void Game::load()
{
    m_ports.random.reseed();
    m_state.quanti_da_estrarre = 90;
    m_state.totale_numeri = 90;
    m_state.prossima_estrazione = 1;
    m_state.nuova_partita = false;
    m_state.conta_cartelle = -1;
    m_state.sospeso = false;
    newGame();
    if (m_closed) return;
    m_view.setEnabled(Control::cmd_sospendi, false);
    m_view.setEnabled(Control::cmd_verifica, false);
    m_view.setVisible(Control::fra_controlli, false);
    m_view.setValue(Control::HScroll1, 3000);
    for (int k = 0; k < 14; ++k)
        m_view.setLocked(ControlId(Control::Text1, k), true);
    m_view.showWindow();
    activate();
    pump();
    if (m_closed) return;
    playQuietly(QStringLiteral("inizio"));
}

void Game::activate()
{
    // The window becomes active again after every message box: the set-up runs only once.
    if (m_activated) return;
    m_activated = true;
    auto setUp = [this](auto &&f) {
        try {
            f();
        } catch (const std::exception &e) {
            qCWarning(lcGame) << "a step of the set-up failed, the script face is \"Script\":" << e.what();
            m_state.font_corsivo = QStringLiteral("Script");
        }
    };
    setUp([&] { m_state.font_corsivo = QStringLiteral("script Mt Bold"); });
    setUp([&] { m_view.setFace(Control::Label6, m_state.font_corsivo); });
    setUp([&] { m_view.setFace(Control::Label6, m_state.font_corsivo); });
    setUp([&] {
        m_state.nuova_partita = true;
        m_state.sospeso = false;
    });
    setUp([&] {
        m_view.setVisible(Control::Label4, false);
        m_view.setEnabled(Control::cmd_ripeti, false);
        m_view.setVisible(Control::txt_ultimi, false);
        m_view.setEnabled(Control::cmd_nuovo, false);
    });
    setUp([&] {
        m_view.setChecked(Control::Opt_maiuscolo, true);
        m_writing = WritingMode::Maiuscolo;
    });
    setUp([&] {
        for (int i = 1; i <= 90; ++i) {
            m_view.setCaption(ControlId(Control::LBL_TAB, i - 1), QString());
            m_view.setBorder(ControlId(Control::LBL_TAB, i - 1));
            m_state.numeri_da_estrarre(i) = QString::number(i);
        }
    });
    setUp([&] {
        for (int n = 1; n <= 90; ++n)
            m_state.numeri_in_lettere(n) = parola_del_numero(n);
    });
}

void Game::close()
{
    if (m_closed) return;
    m_state.sospeso = true;
    m_closed = true;
    m_ports.sound.shutdown();
    emit closed();
}

// ---------------------------------------------------------------------------------------------
// A resumed evening.

void Game::resume(const QList<int> &drawn, bool basket, bool started, const QByteArray &secret)
{
    if (m_closed || isDrawing()) return;
    m_basket = basket;
    m_secret = secret;
    const int d = int(drawn.size());
    riempi_numeri(m_state.numeri_da_estrarre);
    int left = 0;
    for (int n = 1; n <= 90; ++n)
        if (!drawn.contains(n)) m_state.numeri_da_estrarre(++left) = QString::number(n);
    for (int k = 0; k < d; ++k) {
        const QString testo = QString::number(drawn[k]);
        m_state.numeri_estratti(k + 1) = testo;
        const ControlId cell(Control::LBL_TAB, drawn[k] - 1);
        m_view.setCaption(cell, testo);
        m_view.setBackColor(cell, Palette::lightCyan);
    }
    m_state.quanti_da_estrarre = std::int16_t(90 - d);
    m_state.prossima_estrazione = std::int16_t(d + 1);
    m_state.nuova_partita = false;
    m_state.sospeso = true;
    m_view.setTag(Control::Label2, d > 0 ? QString::number(d + 1) : QString());
    if (started || d > 0) showPlaying();
    if (d > 0) {
        setLabel(Control::Label2, riga_contatore(d, m_state.totale_numeri));
        setLabel(Control::Label1, d == 90 ? QStringLiteral("Fine") : m_state.numeri_estratti(d));
        QString direttiva = QStringLiteral(">");
        if (d < 90) writeInWords(drawn.last(), direttiva);
        showMeaning(d < 90 ? drawn.last() : 0);
        // Stopped as a pause stops the draw; after the 90th as the end leaves it.
        m_view.setEnabled(Control::cmd_estrai, false);
        m_view.setEnabled(Control::cmd_sospendi, true);
        m_view.setCaption(Control::cmd_sospendi,
                          d < 90 ? QStringLiteral("&Riprendi") : QStringLiteral("&Pausa"));
        m_view.setEnabled(Control::cmd_verifica, true);
    }
    showBasketControls();
    emit resumed();
    publish();
}
