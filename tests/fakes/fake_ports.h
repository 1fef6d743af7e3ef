#pragma once
// Recording fakes of the sound, the clock, the message boxes and the printer.

#include "cards/printer_port.h"
#include "game/ports.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <deque>
#include <functional>

// A clock that never waits: the test decides what happens at each pump, and a wait that nobody
// answers lets time jump just past its deadline.
class FakeClock : public ClockPort
{
public:
    enum class Point { Pump, Wait };

    double t = 1000.0;
    int pumps = 0;
    int waits = 0;
    double lastDeadline = 0;
    // Runs inside every pump and wait, as the events handled there would.
    std::function<void(Point)> onPump;

    // Actions queued now run at the next pump or wait, like events that arrive while a clip plays.
    void queue(std::function<void()> action) { m_queued.push_back(std::move(action)); }

    double now() override { return t; }
    void pump() override
    {
        ++pumps;
        handle(Point::Pump);
    }
    void waitUntil(double deadline) override
    {
        ++waits;
        lastDeadline = deadline;
        const double before = t;
        handle(Point::Wait);
        if (t == before && t <= deadline) t = deadline + 1e-6;
    }

private:
    void handle(Point point)
    {
        while (!m_queued.empty()) {
            auto action = std::move(m_queued.front());
            m_queued.pop_front();
            action();
        }
        if (onPump) onPump(point);
    }
    std::deque<std::function<void()>> m_queued;
};

// Records every clip played. Knows the clips the program carries; any other key is missing.
class FakeSound : public SoundPort
{
public:
    QStringList played;
    QSet<QString> missing;     // keys treated as having no clip
    double secondsPerClip = 0; // time that passes on `clock` while a clip plays
    FakeClock *clock = nullptr;
    bool closed = false;
    // Plays that reach no output: they return as if played, and say so afterwards.
    bool silent = false;
    std::function<void(const QString &)> onPlay;

    static bool known(const QString &key)
    {
        static const QSet<QString> words{"ambo", "terno",  "quaterno",     "cinquina", "applausi",
                                         "apri", "inizio", "num_estratti", "tombola"};
        if (words.contains(key)) return true;
        for (int n = 1; n <= 90; ++n)
            if (key == QStringLiteral("numero%1").arg(n)) return true;
        for (int n = 1; n <= 19; ++n)
            if (key == QStringLiteral("va%1").arg(n)) return true;
        for (int t = 20; t <= 90; t += 10)
            if (key == QStringLiteral("vale%1").arg(t)) return true;
        for (int n = 1; n <= 90; ++n)
            if (key == QStringLiteral("smorfia%1").arg(n)) return true;
        return false;
    }

    void play(const QString &nome, const QString &tipo) override
    {
        if (closed) return;
        const QString key = nome.toLower();
        if (tipo.toLower() != QLatin1String("wav") || !known(key) || missing.contains(key))
            throw ClipMissing(key.toStdString());
        m_failed = silent;
        played << key;
        if (clock) clock->t += secondsPerClip;
        if (onPlay) onPlay(key);
    }
    void shutdown() override { closed = true; }
    // Leaves only the composing clips of the numbers, as when the whole ones are missing.
    void withoutWholeNumbers()
    {
        for (int n = 1; n <= 90; ++n)
            missing.insert(QStringLiteral("numero%1").arg(n));
    }
    bool lastPlayFailed() const override { return m_failed; }

private:
    bool m_failed = false;
};

class FakeDialogs : public DialogPort
{
public:
    struct Shown {
        QString text;
        QString title;
        Icon icon;
    };
    QVector<Shown> shown;
    std::function<void(const Shown &)> onMessage;

    // Questions asked, and the answer to give: "Si" unless told otherwise.
    QStringList asked;
    std::function<bool(const QString &)> answer;
    bool ask(const QString &text, const QString &, bool = false) override
    {
        asked << text;
        return answer ? answer(text) : true;
    }

    // Choices asked, and the button to choose: the default unless told otherwise.
    QStringList chosen;
    std::function<int(const QString &, const QStringList &)> choice;
    int choose(const QString &text, const QString &, const QStringList &buttons, int defaultIndex,
               int) override
    {
        chosen << text;
        return choice ? choice(text, buttons) : defaultIndex;
    }

    void message(const QString &text, const QString &title, Icon icon) override
    {
        shown.append({text, title, icon});
        if (onMessage) onMessage(shown.back());
    }
};

class FakePrinter : public PrinterPort
{
public:
    std::function<std::unique_ptr<CardCanvas>()> make;
    QString refusal = QStringLiteral("Nessuna stampante predefinita.");
    int opened = 0;
    std::unique_ptr<CardCanvas> open(const QString &, QString *why) override
    {
        ++opened;
        if (make) return make();
        *why = refusal;
        return nullptr;
    }
    std::unique_ptr<CardCanvas> openPdf(const QString &name, QString *why) override
    {
        return open(name, why);
    }
    // Finished documents handed over: their bytes and where they went.
    QList<QPair<QString, QByteArray>> documents;
    bool printPdf(const QByteArray &pdf, const QString &title, QString *why) override
    {
        return keep(title, pdf, why);
    }
    bool savePdf(const QByteArray &pdf, const QString &fileName, QString *why) override
    {
        return keep(fileName, pdf, why);
    }

private:
    bool keep(const QString &where, const QByteArray &pdf, QString *why)
    {
        if (!make) {
            *why = refusal;
            return false;
        }
        documents << qMakePair(where, pdf);
        return true;
    }
};
