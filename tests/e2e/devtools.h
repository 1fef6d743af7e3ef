#pragma once
// What the drivers of the real program share: a page in headless Chromium driven over its DevTools
// protocol (a WebSocket), the caller's window driven through xdotool, and the program's trace
// (ui/trace.h) read to wait for what a step needs. Every wait has a deadline that only ends a wait
// that would never end; a failure prints what was waited for and exits 1.

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QWebSocket>

namespace e2e
{
// Set once by main().
extern QString g_window;
extern QString g_trace;
extern QString g_shots;
extern QString g_shotPrefix;

[[noreturn]] void fail(const QString &why);
void say(const QString &what);
// Lets the event loop run for `ms`: between two looks at something that has not come yet.
void pause(int ms);
void xdotool(const QStringList &args);
// What xdotool printed, without its last line's end.
QString xdotoolOut(const QStringList &args);
// A click in the caller's window, in window pixels.
void click(int x, int y);

QStringList traceLines();
// The last line of the trace that starts with `prefix` (and holds `containing`), waited for up to `ms`.
QString traceLine(const QString &prefix, int ms = 10000, const QString &containing = QString());
// The same, failing with what it waited for when it never comes.
QString awaitTrace(const QString &prefix, const QString &what, int ms = 60000,
                   const QString &containing = {});
// How many lines of the trace start with `prefix`.
int traceCount(const QString &prefix);
// Waits until the program's window titled `title` has the keyboard, as the program knows it.
void awaitKeyboard(const QString &title);
// The numbers of game 1 in draw order, as the board last showed them.
QList<int> drawnNumbers();

class Browser
{
public:
    explicit Browser(int port);
    QJsonObject call(const QString &method, const QJsonObject &params = {});
    // The value of a JavaScript expression in the page (a promise is awaited).
    QJsonValue eval(const QString &js);
    QString text(const QString &js) { return eval(js).toString(); }
    // Waits up to `ms` for `js` to be true in the page.
    bool waitFor(const QString &js, int ms);
    void shot(const QString &name);
    // A tap with the mouse at the middle of the element `selector`, as a person's: the page sees
    // a user's gesture, which lets it play sound.
    void tap(const QString &selector);
    // The DevTools target of the page driven.
    QString targetId() const { return m_target; }
    // Every address the page asked for and every WebSocket it opened, once Network.enable was called.
    const QStringList &addresses() const { return m_addresses; }

private:
    static void console(const QJsonObject &event);
    bool network(const QJsonObject &event);
    QStringList m_addresses;

    QWebSocket m_socket;
    QString m_target;
    QHash<int, QJsonObject> m_replies;
    int m_next = 0;
};
} // namespace e2e
