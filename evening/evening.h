#pragma once
// The evening: what happened tonight, as the ordered list of its events, and what follows from them
// (the cards in play by run, each game's numbers, prizes and passes, the log, the options). It is
// the only place these facts of the evening live. Whoever changes the evening hands it an event; it
// is written to the store before it takes effect (a number before it is shown and spoken), then
// applied and emitted. Whoever shows the evening reads its events and its read-only state.

#include "evening/evening_event.h"

#include <QObject>
#include <QTimer>

class EveningStore;

class Evening : public QObject
{
    Q_OBJECT

public:
    explicit Evening(EveningStore &store, QObject *parent = nullptr);

    // Hands the evening `event`: numbered and timed (its time kept when it has one), written to
    // the store, applied, emitted. False with `why` when the store did not take it: the evening
    // goes on in memory all the same.
    bool add(EveningEvent event, QString *why = nullptr);

    // A new evening in the store, kept from `at`; `reuse`, an empty one left open, is taken again.
    void start(const QDateTime &at, qint64 reuse = 0);
    // The stored `evening` brought back: its events replayed, in order, through add()'s own
    // application, and nothing written (the store has them).
    void replay(const StoredEvening &evening);

    const StoredEvening &state() const { return m_state; }
    qint64 id() const { return m_state.id; }
    const QList<EveningEvent> &events() const { return m_events; }
    // The events after `seq`, for a reader that saw up to it (0: all of them).
    QList<EveningEvent> since(qint64 seq) const;
    qint64 lastSeq() const { return m_events.isEmpty() ? 0 : m_events.last().seq; }
    // Something of the evening is in memory only: a write failed and the store has not taken the
    // whole evening since. Tried again at each event and every kRetrySeconds.
    bool isBehind() const { return m_behind; }
    static constexpr int kRetrySeconds = 3;
    // Writes the whole evening to the store now, when something of it is in memory only; true
    // when the store holds all of it.
    bool catchUp();
    // kIdleSeconds after the last event, the main file is made to hold the whole evening (its
    // journal copied in): a copy of that file alone then has it.
    static constexpr int kIdleSeconds = 4;
    // At a game's end: the main file made to hold everything, and a copy of it taken beside it.
    void secure();

signals:
    // `event` is written (or the store refused it) and applied.
    void eventAdded(const EveningEvent &event);
    // The evening starts anew (start() or replay()); its events so far are in events().
    void reset();
    // The store holds the whole evening again, after a failure.
    void caughtUp();

private:
    bool write(EveningEvent &event, const StoredEvening &after, QString *why);
    void take(EveningEvent event, bool emitIt);
    // Something of the evening is in memory only from the event at `at`.
    void fallBehind(const QDateTime &at);
    bool caughtUpNow();
    // The journal copied into the main file, when nothing is behind.
    void settle();

    EveningStore &m_store;
    StoredEvening m_state;
    QList<EveningEvent> m_events;
    bool m_behind = false;
    // When the first event the store did not take happened.
    QDateTime m_stoppedAt;
    QTimer m_retry;
    QTimer m_idle;
};
