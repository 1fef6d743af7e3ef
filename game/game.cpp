#include "game/game.h"

#include "announce/smorfia.h"
#include "announce/speech.h"
#include "announce/words.h"
#include "game/draw.h"
#include "game/draw_seal.h"

#include <utility>

Q_LOGGING_CATEGORY(lcGame, "tombola.game", QtInfoMsg)

Game::Game(GameView &view, Ports ports, QObject *parent)
    : QObject(parent), m_watchedView(view), m_view(m_watchedView),
      m_sound(ports.sound, *this), m_ports{m_sound, ports.clock, ports.random, ports.dialogs},
      m_secretSource(seal::newSecret)
{
}

QString Game::seal() const
{
    return m_secret.isEmpty() ? QString() : seal::sealOf(m_secret);
}

int Game::randomPick(int ordinal, int left)
{
    if (m_secret.isEmpty()) return pesca_indice(m_ports.random.next(), left);
    return seal::pick(m_secret, ordinal, left);
}

void Game::WatchedSound::play(const QString &nome, const QString &tipo)
{
    struct After {
        Game &game;
        ~After() { game.soundPlayed(); }
    } after{m_game};
    m_inner.play(nome, tipo);
}

void Game::soundPlayed()
{
    const bool failed = m_sound.lastPlayFailed();
    if (failed == m_soundFailed) return;
    m_soundFailed = failed;
    emit soundAvailabilityChanged(!failed);
}

Game::~Game() = default;

QList<int> Game::drawnNumbers() const
{
    QList<int> out;
    const int d = std::clamp(m_state.drawnCount(), 0, 90);
    for (int j = 1; j <= d; ++j)
        out << m_state.numeri_estratti(j).toInt();
    return out;
}

bool Game::isPaused() const
{
    // Between two numbers from the basket the caller is not pausing: the caller's pace is the pace.
    const int d = m_state.drawnCount();
    return !m_basket && !isDrawing() && m_state.sospeso && d > 0 && d < 90 && !m_closed;
}

// ---------------------------------------------------------------------------------------------
// What observers see.

void Game::setLabel(Control c, const QString &text)
{
    m_view.setCaption(c, text);
    if (c == Control::Label1) m_display.number = text;
    if (c == Control::Label2) m_display.counter = text;
    if (c == Control::Label6) m_display.words = text;
    if (c == Control::meaningLabel) m_display.meaning = text;
}

void Game::showNumber(const QString &text)
{
    setLabel(Control::Label1, text);
}

void Game::showWords(const QString &text)
{
    setLabel(Control::Label6, text);
}

void Game::showMeaning(int number)
{
    const QString text = m_showMeaning ? meaningOf(number) : QString();
    // With the box off the label is left alone, so the window is as it always was.
    if (text != m_display.meaning) setLabel(Control::meaningLabel, text);
}

void Game::sayMeaning(int number)
{
    if (!m_showMeaning || !m_sayMeaning) return;
    // A meaning without its clip is skipped: the number has been said already.
    playQuietly(meaningClipKey(number));
    pump();
}

void Game::showRepeatColour(bool on)
{
    m_view.setBackColor(Control::Label1, on ? Palette::red : Palette::lightCyan);
    m_display.repeatOn = on;
}

void Game::announceRepeated(int number)
{
    emit repeatShowing(number);
}

void Game::publish()
{
    const Changes what = takeChanges();
    if (!what) return;
    emit changed(what);
    emit updated();
}

// ---------------------------------------------------------------------------------------------
// Pumps and waits.

void Game::pump()
{
    publish();
    m_ports.clock.pump();
}

void Game::waitUntil(double deadline)
{
    publish();
    m_ports.clock.waitUntil(deadline);
}

void Game::waitFor(const std::function<double()> &seconds)
{
    const double start = m_ports.clock.now();
    while (!m_closed && !(m_ports.clock.now() > start + seconds()))
        waitUntil(start + seconds());
}

void Game::speak(int numero)
{
    pronuncia_numero(std::int16_t(numero), m_ports.sound, [this] { pump(); });
}

void Game::playQuietly(const QString &key)
{
    playIfPresent(m_ports.sound, key);
}

// ---------------------------------------------------------------------------------------------
// The draw cycle.

void Game::warnAboutScriptFace()
{
    const QString testo = QStringLiteral("ATTENZIONE \r\n il font (carattere) utilizzato per il corsivo \r\n"
                                         " NON  e' presente su questo computer \r\n"
                                         " si prega di NON utilizzare  l'opzione Corsivo\r\n"
                                         " E' gradita la segnalazione all'autore del programma");
    m_ports.dialogs.message(
        testo, QStringLiteral(" Problemi con il formato dei caratteri  in Corsivo = 'Script MT Bold' "),
        Icon::Critical);
    m_view.setChecked(Control::Opt_script, false);
    m_view.setChecked(Control::Opt_minuscolo, true);
    m_writing = WritingMode::Minuscolo;
}

void Game::draw()
{
    if (m_closed) return;
    if (m_drawDepth > 0) {
        // A start while a draw is running starts no second one. A plain resume lets the running
        // draw go on; after a new game the running draw stops, rewinds, and then starts afresh.
        if (m_state.nuova_partita)
            m_restartAfterStop = true;
        else
            m_state.sospeso = false;
        return;
    }
    ++m_drawDepth;
    do {
        m_restartAfterStop = false;
        runDraw();
    } while (m_restartAfterStop && !m_closed);
    --m_drawDepth;
    publish();
}

bool Game::stopAtTop(int i)
{
    if (!m_state.sospeso) return false;
    step([&] { m_view.setEnabled(Control::cmd_verifica, true); });
    m_state.prossima_estrazione = std::int16_t(i);
    m_view.setTag(Control::Label2, QString::number(i));
    if (m_state.nuova_partita) {
        m_state.prossima_estrazione = 1;
        riempi_numeri(m_state.numeri_da_estrarre);
        step([&] { m_view.setEnabled(Control::cmd_verifica, false); });
        // The old position means nothing in the new game.
        m_view.setTag(Control::Label2, QString());
    }
    emit stopped(m_state.prossima_estrazione);
    return true;
}

bool Game::stopInPause(int i)
{
    if (!m_state.sospeso) return false;
    m_state.prossima_estrazione = std::int16_t(i + 1);
    m_view.setTag(Control::Label2, QString::number(i + 1));
    if (m_state.nuova_partita) {
        m_state.prossima_estrazione = 1;
        m_view.setTag(Control::Label2, QString());
    }
    emit stopped(m_state.prossima_estrazione);
    return true;
}

void Game::showPlaying()
{
    m_view.setEnabled(Control::cmd_ripeti, true);
    m_view.setEnabled(Control::cmd_nuovo, true);
    // Cards are printed only before the first number of the program's life.
    m_view.setVisible(Control::fra_cartelle, false);
    if (m_cardPanelClosed) return;
    m_cardPanelClosed = true;
    emit cardPanelClosed();
}

void Game::runDraw()
{
    step([&] {
        m_view.setEnabled(Control::cmd_sospendi, true);
        m_view.setEnabled(Control::cmd_estrai, false);
        showPlaying();
    });
    QString direttiva = QStringLiteral(">");
    m_state.sospeso = false;
    const int inizio = m_state.prossima_estrazione;
    const int fine = m_state.totale_numeri;

    for (int i = inizio; i <= fine; ++i) {
        if (stopAtTop(i)) return;
        // With every number out there is nothing left to pick (a resume after the end).
        if (m_state.quanti_da_estrarre < 1) break;
        step([&] {
            m_view.setEnabled(Control::cmd_sospendi, true);
            m_state.nuova_partita = false;
        });
        if (m_secret.isEmpty() && m_secretSource) {
            // Sealed before the first random number, once the cards that play the game are fixed;
            // the room sees the seal before it sees the number.
            m_secret = m_secretSource();
            emit sealed(m_secret);
            // No stop between the seal and its first number: a seal always has its game.
            step([&] { pump(); });
            if (m_closed) return;
        }
        const int numero = playTurn(
            i, [this, i](int n) { return randomPick(i, n); }, direttiva);
        step([&] { speak(numero); });
        step([&] { sayMeaning(numero); });
        const double t0 = m_ports.clock.now();
        // A banner for the room may ask for a longer pause than the pace.
        const double hold = std::exchange(m_hold, 0.0);
        auto pauseEnd = [&] { return t0 + std::max(double(m_state.ritardo), hold); };
        for (;;) {
            if (m_ports.clock.now() > pauseEnd()) break;
            if (stopInPause(i)) return;
            step([&] { waitUntil(pauseEnd()); });
        }
    }
    finish();
}

void Game::finish()
{
    step([&] {
        setLabel(Control::Label1, QStringLiteral("Fine"));
        setLabel(Control::Label6, QString());
        showMeaning(0);
    });
    // The last claims of the evening come now: the claim panel opens as in a pause.
    step([&] { m_view.setEnabled(Control::cmd_verifica, true); });
    emit gameEnded();
}

int Game::playTurn(int i, const std::function<int(int n)> &pick, QString &direttiva)
{
    step([&] { setLabel(Control::Label2, riga_contatore(i, m_state.totale_numeri)); });
    const int n = m_state.quanti_da_estrarre;
    step([&] { m_state.indice_pescato = std::int16_t(pick(n)); });
    step([&] { m_state.numeri_estratti(i) = m_state.numeri_da_estrarre(m_state.indice_pescato); });
    // Kept by the evening's record before anyone sees it.
    emit numberChosen(m_state.numeri_estratti(i).toInt(), i, m_basket);
    step([&] { setLabel(Control::Label1, m_state.numeri_estratti(i)); });
    step([&] {
        const QString testo = m_state.numeri_estratti(i);
        const ControlId cell(Control::LBL_TAB, testo.toInt() - 1);
        m_view.setCaption(cell, testo);
        m_view.setBackColor(cell, Palette::lightCyan);
    });
    writeInWords(m_state.numeri_estratti(i).toInt(), direttiva);
    step([&] { showMeaning(m_state.numeri_estratti(i).toInt()); });
    step([&] {
        togli_dal_mucchio(m_state.numeri_da_estrarre, m_state.indice_pescato, n);
        m_state.quanti_da_estrarre = std::int16_t(n - 1);
    });
    const int numero = m_state.numeri_estratti(i).toInt();
    emit numberDrawn(numero, i);
    step([&] { pump(); });
    return numero;
}

void Game::writeInWords(int n, QString &direttiva)
{
    step([&] {
        if (m_writing == WritingMode::Corsivo) {
            m_view.setFace(Control::Label6, m_state.font_corsivo);
            direttiva = QStringLiteral("<");
        } else {
            m_view.setFace(Control::Label6, QStringLiteral("arial"));
        }
    });
    step([&] {
        if (m_writing == WritingMode::Maiuscolo) direttiva = QStringLiteral(">");
    });
    step([&] {
        if (m_writing == WritingMode::Minuscolo) direttiva = QStringLiteral("<");
    });
    step([&] {
        if (m_writing != WritingMode::Escludi)
            setLabel(Control::Label6, applica_maiuscole(m_state.numeri_in_lettere(n), direttiva));
    });
}

void Game::choosePrize(int index)
{
    m_state.premio_scelto = std::int16_t(index);
}

void Game::setClaimCount(int indice, int count)
{
    m_state.count(indice) = std::int16_t(count);
}

void Game::Avviso(std::int16_t indice)
{
    ::Avviso(indice, m_state, m_ports.sound);
}

void Game::setMeaningShown(bool on)
{
    m_showMeaning = on;
    // Turned off, the meaning on show goes at once; turned on, it comes with the next number.
    if (!on) {
        showMeaning(0);
        publish();
    }
}

void Game::wordsExcluded()
{
    setLabel(Control::Label6, QString());
    publish();
}
