#include "game/game.h"

#include "announce/smorfia.h"
#include "announce/speech.h"
#include "announce/words.h"
#include "game/draw.h"

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

Game::Game(GameView &view, Ports ports, QObject *parent)
    : QObject(parent), m_watchedView(view), m_view(m_watchedView),
      m_sound(ports.sound, *this), m_ports{m_sound, ports.clock, ports.random, ports.dialogs}
{
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
        const int numero = playTurn(
            i, [this](int n) { return pesca_indice(m_ports.random.next(), n); }, direttiva);
        step([&] { speak(numero); });
        step([&] { sayMeaning(numero); });
        const double t0 = m_ports.clock.now();
        for (;;) {
            if (m_ports.clock.now() > t0 + double(m_state.ritardo)) break;
            if (stopInPause(i)) return;
            step([&] { waitUntil(t0 + double(m_state.ritardo)); });
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

// ---------------------------------------------------------------------------------------------
// Game controls.

void Game::newGame()
{
    m_state.clearCounts();
    setLabel(Control::Label6, QString());
    showMeaning(0);
    m_view.setVisible(Control::fra_controlli, false);
    riempi_numeri(m_state.numeri_da_estrarre);
    m_ports.random.reseed();
    playQuietly(QStringLiteral("apri"));
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
}

void Game::newGameAsked()
{
    const int d = m_state.drawnCount();
    if (d > 0 && d < 90 &&
        !m_ports.dialogs.ask(
            QStringLiteral("Iniziare una nuova tombola? I numeri estratti finora andranno persi."),
            QString()))
        return;
    if (m_closed) return;
    newGame();
}

void Game::pauseOrResume()
{
    m_state.nuova_partita = false;
    if (!m_state.sospeso) {
        m_view.setCaption(Control::cmd_sospendi, QStringLiteral("&Riprendi"));
        m_state.sospeso = true;
        m_view.setEnabled(Control::cmd_verifica, true);
        m_view.setVisible(Control::Label4, false);
        publish();
        return;
    }
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
        } catch (const std::exception &) {
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
