#pragma once
// The program's trace, for the tests that drive the real program from outside (under Xvfb, killed
// and started again, with a browser as a phone): one line appended to the file TOMBOLA_TRACE names
// for each thing the window has shown, so that a script waits for what a step needs instead of
// guessing a time. Written unbuffered: a line is in the file before the program goes on, and is
// there after a SIGKILL. Without a file nothing is written and nothing is watched.
//
// The lines, each a word and what follows it:
//   avvio nuova | avvio ripresa      the evening began, new or resumed; what it holds follows
//                                    (its tombola, cartelle, vincita, premi, panariello, registro)
//   pronto                           start-up is over (its clips played, the evening begun or resumed)
//                                    and the window takes the caller's input
//   clip K, clip fine K,             the clip K starts; it played to its end; it was cut short
//   clip interrotta K                because the program is closing
//   chiusa                           the window was closed: the program ends
//   finestra T[: X]                  a window or dialog titled T came up (X: a message box's text)
//   finestra via T                   it went
//   attiva T                         the window titled T takes the keyboard (T empty: none does)
//   pausa 1 | pausa 0                the draw stopped in the middle of a game, or goes on
//   fermo P                          the draw stopped; P the position of its next number
//   ritmo MS                         the speed bar's value, the pause between numbers in ms
//   ripeti N | ripeti fine           the repeat of the last numbers shows N; the repeat is over
//   estratto K N MS                  the K-th number of the game, N, is shown at MS (milliseconds
//                                    since 1970, this machine's clock); its tombola line follows
//   tombola G numeri N1 N2 ...       the numbers of game G shown on the board, in draw order
//   cartelle N                       cards in play once a run was reported
//   premi G P@D=W;...                the prizes of game G given: prize, draw, winner
//   vincita T | vincita nessuna      a winner waits for the caller (T: the line shown), or none;
//                                    written before the prizes line of the same change
//   panariello 1 | panariello 0      the basket mode
//   registro sì | registro no        the evening reaches the disk, or not (the window shows its mark)
//   telefoni URL | telefoni spenti   the phones' server on (its address) or off
//   chiamata T                       a call from a phone, as the window shows it
//   lontani su L | lontani giù W     the evening reaches the NATS server (the phones' link L), or not

#include "announce/sound_port.h"

#include <QFile>
#include <QString>

class Caller;
class EveningRecord;
class NatsRelay;
class PhoneRelay;

class TraceFile
{
public:
    // `path` empty: the trace is off.
    explicit TraceFile(const QString &path);
    bool isOn() const { return m_file.isOpen(); }
    void line(const QString &text);

private:
    QFile m_file;
};

// The sound port as the trace sees it: each clip's start and how it ended.
class TracedSound : public SoundPort
{
public:
    TracedSound(SoundPort &inner, TraceFile &trace) : m_inner(inner), m_trace(trace) {}
    void play(const QString &nome, const QString &tipo) override;
    void shutdown() override;
    bool lastPlayFailed() const override { return m_inner.lastPlayFailed(); }

private:
    SoundPort &m_inner;
    TraceFile &m_trace;
    bool m_shutDown = false;
};

// Follows the window, the game, the evening and the phones near and far, into `trace`.
void installTrace(TraceFile &trace, Caller &caller, EveningRecord &record, PhoneRelay &phones,
                  NatsRelay &farPhones);
// "pronto" once the event loop runs.
void traceReady(TraceFile &trace);
