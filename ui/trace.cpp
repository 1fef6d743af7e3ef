#include "ui/trace.h"

#include "evening/evening_record.h"
#include "phones/phone_relay.h"
#include "remote/nats_relay.h"
#include "ui/caller.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

TraceFile::TraceFile(const QString &path)
{
    if (path.isEmpty()) return;
    m_file.setFileName(path);
    m_file.open(QIODevice::Append | QIODevice::Unbuffered);
}

void TraceFile::line(const QString &text)
{
    if (isOn()) m_file.write((text + QLatin1Char('\n')).toUtf8());
}

void TracedSound::play(const QString &nome, const QString &tipo)
{
    if (m_shutDown || !m_trace.isOn()) {
        m_inner.play(nome, tipo);
        return;
    }
    m_trace.line(QStringLiteral("clip ") + nome);
    m_inner.play(nome, tipo);
    m_trace.line((m_shutDown ? QStringLiteral("clip interrotta ") : QStringLiteral("clip fine ")) + nome);
}

void TracedSound::shutdown()
{
    m_shutDown = true;
    m_inner.shutdown();
}

namespace
{
// What the window shows, each kind of line written when it changes.
class WindowTrace : public QObject
{
public:
    WindowTrace(TraceFile &trace, Caller &caller) : QObject(&caller.form), m_trace(trace), m_caller(caller) {}

    void numbers()
    {
        QStringList out;
        for (const int n : m_caller.game.drawnNumbers())
            out << QString::number(n);
        m_trace.line(QStringLiteral("tombola %1 numeri %2")
                         .arg(m_caller.prizes.gameNumber())
                         .arg(out.join(QLatin1Char(' '))));
    }
    void cards() { m_trace.line(QStringLiteral("cartelle %1").arg(m_caller.printRun.cardsInPlay().size())); }
    void basket() { m_trace.line(QStringLiteral("panariello %1").arg(m_caller.game.isBasketMode() ? 1 : 0)); }
    // `again`: written even when unchanged, as the evening begins (a resume restores the desk,
    // and says so, before it says the evening began).
    void prizes(bool again = false)
    {
        if (again) {
            m_sighting.clear();
            m_prizes.clear();
        }
        // The winner waiting first: once a prize given shows, whether another waits is known.
        const QString seen = m_caller.prizes.sightingText();
        once(m_sighting, QStringLiteral("vincita ") + (seen.isEmpty() ? QStringLiteral("nessuna") : seen));
        QStringList out;
        for (const PrizeWin &w : m_caller.prizes.ladder().wins())
            out << QStringLiteral("%1@%2=%3").arg(prizeWord(w.prize)).arg(w.draw).arg(w.name());
        once(m_prizes,
             QStringLiteral("premi %1 %2").arg(m_caller.prizes.gameNumber()).arg(out.join(QLatin1Char(';'))));
    }
    void pause() { once(m_pause, QStringLiteral("pausa %1").arg(m_caller.game.isPaused() ? 1 : 0)); }
    // The red display goes back to the game's colour: the repeat is over.
    void repeat()
    {
        const bool on = m_caller.game.display().repeatOn;
        if (m_repeating && !on) m_trace.line(QStringLiteral("ripeti fine"));
        m_repeating = on;
    }
    // The mark beside the board: shown while the evening does not reach the disk.
    void kept(bool on) { once(m_kept, on ? QStringLiteral("registro sì") : QStringLiteral("registro no")); }
    void line(const QString &text) { m_trace.line(text); }

    // A window or a dialog that comes or goes; tool tips and menus are not windows of their own.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Hide) return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || !w->isWindow() || w->windowType() == Qt::ToolTip || w->windowType() == Qt::Popup)
            return false;
        const QString title = w->windowTitle();
        if (type == QEvent::Hide) {
            m_trace.line(QStringLiteral("finestra via ") + title);
        } else if (auto *box = qobject_cast<QMessageBox *>(w)) {
            m_trace.line(QStringLiteral("finestra %1: %2").arg(title, box->text().simplified()));
        } else {
            m_trace.line(QStringLiteral("finestra ") + title);
        }
        return false;
    }

private:
    void once(QString &last, const QString &now)
    {
        if (now == last) return;
        last = now;
        m_trace.line(now);
    }

    TraceFile &m_trace;
    Caller &m_caller;
    QString m_prizes;
    QString m_sighting;
    QString m_pause;
    QString m_kept;
    bool m_repeating = false;
};
} // namespace

void installTrace(TraceFile &trace, Caller &caller, EveningRecord &record, PhoneRelay &phones,
                  NatsRelay &farPhones)
{
    if (!trace.isOn()) return;
    auto *window = new WindowTrace(trace, caller);
    qApp->installEventFilter(window);
    Game &game = caller.game;
    // The time first: a script measures the pace from it, and reads the board from the line after.
    QObject::connect(&game, &Game::numberDrawn, window, [window](int number, int ordinal) {
        window->line(QStringLiteral("estratto %1 %2 %3")
                         .arg(ordinal)
                         .arg(number)
                         .arg(QDateTime::currentMSecsSinceEpoch()));
        window->numbers();
    });
    QObject::connect(&game, &Game::numberTakenBack, window, [window] { window->numbers(); });
    QObject::connect(&game, &Game::newGameStarted, window, [window] { window->numbers(); });
    QObject::connect(&game, &Game::basketModeChanged, window, [window] { window->basket(); });
    QObject::connect(&game, &Game::changed, window, [window](Game::Changes what) {
        if (what & Game::Change::Pause) window->pause();
        if (what & Game::Change::Displayed) window->repeat();
    });
    QObject::connect(&game, &Game::repeatShowing, window,
                     [window](int number) { window->line(QStringLiteral("ripeti %1").arg(number)); });
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, window, [window](QWindow *focus) {
        window->line(QStringLiteral("attiva ") + (focus ? focus->title() : QString()));
    });
    QObject::connect(&game, &Game::stopped, window,
                     [window](int position) { window->line(QStringLiteral("fermo %1").arg(position)); });
    QObject::connect(&game, &Game::closed, window, [window] { window->line(QStringLiteral("chiusa")); });
    QObject::connect(caller.form.HScroll1, &QScrollBar::valueChanged, window,
                     [window](int value) { window->line(QStringLiteral("ritmo %1").arg(value)); });
    QObject::connect(
        &caller.printRun, &PrintRun::runPrinted, window, [window] { window->cards(); }, Qt::QueuedConnection);
    QObject::connect(&caller.prizes, &PrizeDesk::changed, window, [window] { window->prizes(); });
    QObject::connect(&record, &EveningRecord::started, window, [window, &record](bool resumed) {
        window->line(resumed ? QStringLiteral("avvio ripresa") : QStringLiteral("avvio nuova"));
        window->numbers();
        window->cards();
        window->prizes(true);
        window->basket();
        window->kept(record.isKept());
    });
    QObject::connect(&record, &EveningRecord::keptChanged, window,
                     [window](bool kept) { window->kept(kept); });
    QObject::connect(&phones, &PhoneRelay::switched, window, [window, &phones](bool on) {
        window->line(on ? QStringLiteral("telefoni ") + phones.address() : QStringLiteral("telefoni spenti"));
    });
    QObject::connect(&phones, &PhoneRelay::called, window,
                     [window](const QString &line) { window->line(QStringLiteral("chiamata ") + line); });
    QObject::connect(&farPhones, &NatsRelay::linkChanged, window, [window, &farPhones](NatsRelay::Link link) {
        if (link == NatsRelay::Link::Up)
            window->line(QStringLiteral("lontani su ") + farPhones.phoneLink());
        else if (link == NatsRelay::Link::Lost || link == NatsRelay::Link::Refused)
            window->line(QStringLiteral("lontani giù ") + farPhones.problem());
    });
}

void traceReady(TraceFile &trace)
{
    if (trace.isOn()) QTimer::singleShot(0, qApp, [&trace] { trace.line(QStringLiteral("pronto")); });
}
