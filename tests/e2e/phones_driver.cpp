// phones_driver DEVTOOLS_PORT TRACE_FILE WINDOW_ID SHOTS_DIR [lontani|club]
// phones_driver --save-page FOLDER
// A player's phone in a real browser against the real program: drives headless Chromium through
// its DevTools protocol (a WebSocket) and the caller's window through xdotool. Switches the phones
// on in the window, opens the page from the address the program gives, has a card dealt, takes it
// again by typing its code as a player would, follows the draw until the card misses one number,
// calls the prize when the card holds it, checks that the call reached the caller's window, and
// that a reload in the middle of the game shows the same game. Prints what it saw, and what the
// page wrote on the browser's console; exits 1 on a failure.
// With "lontani" the phone is far away: the phones on the local network are switched off again once
// the caller let them have cards, and the page is the one published as static files, opened from
// the link the program gives for its NATS server, so that everything goes through that server.
// "club" is "lontani" against the server scripts/club-server.sh sets up, behind Caddy: the link must
// be https:// with a wss:// WebSocket, and every request the page makes, and every WebSocket it
// opens, must be https:// or wss://.
// --save-page writes the page's static files as the program's dialog does.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <cstdio>

#include "remote/page_export.h"

namespace
{
QString g_window;
QString g_trace;
QString g_shots;
QString g_shotPrefix;

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "FAIL: %s\n", qPrintable(why));
    std::exit(1);
}

void say(const QString &what)
{
    std::printf("%s\n", qPrintable(what));
    std::fflush(stdout);
}

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void xdotool(const QStringList &args)
{
    QProcess::execute(QStringLiteral("xdotool"), args);
}

QString xdotoolOut(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(30000);
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (out.endsWith(QLatin1Char('\n'))) out.chop(1);
    return out;
}

void click(int x, int y)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), g_window, QString::number(x),
             QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
}

QStringList traceLines()
{
    QFile f(g_trace);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The last line of the trace that starts with `prefix`, waited for up to `ms`.
QString traceLine(const QString &prefix, int ms = 10000, const QString &containing = QString())
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        const QStringList lines = traceLines();
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (it->startsWith(prefix) && it->contains(containing)) return *it;
        pause(100);
    }
    return {};
}

// The same, failing with what it waited for when it never comes. The deadlines only end a wait
// that would never end: each step goes on as soon as what it needs is in the trace.
QString awaitTrace(const QString &prefix, const QString &what, int ms = 60000, const QString &containing = {})
{
    const QString line = traceLine(prefix, ms, containing);
    if (line.isEmpty()) fail(QStringLiteral("waited %1 s for %2").arg(ms / 1000).arg(what));
    return line;
}

// Waits until the program's window titled `title` has the keyboard, as the program knows it.
void awaitKeyboard(const QString &title)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        const QStringList lines = traceLines();
        for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
            if (!it->startsWith(QLatin1String("attiva "))) continue;
            if (it->mid(7) == title) return;
            break;
        }
        pause(50);
    }
    fail(QStringLiteral("waited 60 s for the window \"%1\" to take the keyboard").arg(title));
}

class Browser
{
public:
    explicit Browser(int port)
    {
        QNetworkAccessManager net;
        QJsonArray targets;
        for (int tries = 0; tries < 600 && targets.isEmpty(); ++tries) {
            QNetworkReply *reply =
                net.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(port))));
            QEventLoop loop;
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
            for (const QJsonValue &t : QJsonDocument::fromJson(reply->readAll()).array())
                if (t[QLatin1String("type")].toString() == QLatin1String("page")) targets << t;
            reply->deleteLater();
            if (targets.isEmpty()) pause(100);
        }
        if (targets.isEmpty()) fail(QStringLiteral("chromium offers no page to drive"));
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString &m) {
            const QJsonObject o = QJsonDocument::fromJson(m.toUtf8()).object();
            if (o.contains(QLatin1String("id")))
                m_replies.insert(o[QLatin1String("id")].toInt(), o);
            else if (!network(o))
                console(o);
        });
        QEventLoop loop;
        QObject::connect(&m_socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        m_socket.open(QUrl(targets[0][QLatin1String("webSocketDebuggerUrl")].toString()));
        loop.exec();
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            fail(QStringLiteral("no DevTools connection"));
        call(QStringLiteral("Runtime.enable"));
        call(QStringLiteral("Log.enable"));
    }

    QJsonObject call(const QString &method, const QJsonObject &params = {})
    {
        const int id = ++m_next;
        m_socket.sendTextMessage(
            QString::fromUtf8(QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}})
                                  .toJson(QJsonDocument::Compact)));
        QElapsedTimer clock;
        clock.start();
        while (!m_replies.contains(id) && clock.elapsed() < 60000)
            pause(5);
        if (!m_replies.contains(id)) fail(QStringLiteral("no answer to ") + method);
        return m_replies.take(id);
    }
    // The value of a JavaScript expression in the page.
    QJsonValue eval(const QString &js)
    {
        const QJsonObject r =
            call(QStringLiteral("Runtime.evaluate"), {{"expression", js}, {"returnByValue", true}});
        return r[QLatin1String("result")][QLatin1String("result")][QLatin1String("value")];
    }
    QString text(const QString &js) { return eval(js).toString(); }
    // Waits up to `ms` for `js` to be true in the page.
    bool waitFor(const QString &js, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            if (eval(js).toBool()) return true;
            pause(20);
        }
        return false;
    }
    // Every address the page asked for and every WebSocket it opened, once Network.enable was called.
    const QStringList &addresses() const { return m_addresses; }
    void shot(const QString &name)
    {
        const QJsonObject r = call(QStringLiteral("Page.captureScreenshot"), {{"format", "png"}});
        QFile f(QDir(g_shots).filePath(g_shotPrefix + name));
        if (f.open(QIODevice::WriteOnly))
            f.write(QByteArray::fromBase64(
                r[QLatin1String("result")][QLatin1String("data")].toString().toLatin1()));
    }

private:
    bool network(const QJsonObject &event)
    {
        const QString method = event[QLatin1String("method")].toString();
        const QJsonObject p = event[QLatin1String("params")].toObject();
        if (method == QLatin1String("Network.requestWillBeSent"))
            m_addresses << p[QLatin1String("request")][QLatin1String("url")].toString();
        else if (method == QLatin1String("Network.webSocketCreated"))
            m_addresses << p[QLatin1String("url")].toString();
        else
            return method.startsWith(QLatin1String("Network."));
        return true;
    }

    // What the page and the browser wrote on the console: the page's own faults show up here.
    static void console(const QJsonObject &event)
    {
        const QString method = event[QLatin1String("method")].toString();
        const QJsonObject p = event[QLatin1String("params")].toObject();
        if (method == QLatin1String("Runtime.consoleAPICalled")) {
            QStringList parts;
            for (const QJsonValue &a : p[QLatin1String("args")].toArray())
                parts << (a[QLatin1String("value")].isUndefined()
                              ? a[QLatin1String("description")].toString()
                              : a[QLatin1String("value")].toVariant().toString());
            say(QStringLiteral("console %1: %2")
                    .arg(p[QLatin1String("type")].toString(), parts.join(QLatin1Char(' '))));
        } else if (method == QLatin1String("Runtime.exceptionThrown")) {
            const QJsonObject d = p[QLatin1String("exceptionDetails")].toObject();
            say(QStringLiteral("page exception: %1 %2")
                    .arg(d[QLatin1String("text")].toString(),
                         d[QLatin1String("exception")][QLatin1String("description")].toString()));
        } else if (method == QLatin1String("Log.entryAdded")) {
            const QJsonObject e = p[QLatin1String("entry")].toObject();
            say(QStringLiteral("browser %1: %2 %3")
                    .arg(e[QLatin1String("level")].toString(), e[QLatin1String("text")].toString(),
                         e[QLatin1String("url")].toString()));
        }
    }

    QWebSocket m_socket;
    QHash<int, QJsonObject> m_replies;
    QStringList m_addresses;
    int m_next = 0;
};

const QString kBoard =
    QStringLiteral("(function(){var o=[];var c=document.querySelectorAll('.tabellone span.uscito');"
                   "for(var i=0;i<c.length;i++)o.push(c[i].textContent);return o.join(' ');})()");
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--save-page") == 0) {
        QString why;
        if (!savePage(QString::fromLocal8Bit(argv[2]), &why)) fail(why);
        return 0;
    }
    const bool club = argc == 6 && qstrcmp(argv[5], "club") == 0;
    const bool far = club || (argc == 6 && qstrcmp(argv[5], "lontani") == 0);
    if (argc != 5 && !far)
        fail(QStringLiteral(
            "usage: phones_driver DEVTOOLS_PORT TRACE_FILE WINDOW_ID SHOTS_DIR [lontani|club]\n"
            "       phones_driver --save-page FOLDER"));
    g_shotPrefix = club ? QStringLiteral("club-") : far ? QStringLiteral("far-") : QString();
    g_trace = QString::fromLocal8Bit(argv[2]);
    g_window = QString::fromLocal8Bit(argv[3]);
    g_shots = QString::fromLocal8Bit(argv[4]);
    Browser browser(QString::fromLocal8Bit(argv[1]).toInt());

    // The caller switches the phones on and lets each phone have up to two cards.
    click(736, 256);
    const QString on = awaitTrace(QStringLiteral("telefoni http"), QStringLiteral("the phones to switch on"));
    QUrl address(on.section(QLatin1Char(' '), 1));
    say(QStringLiteral("address shown: ") + address.toString());
    // Only this machine is ever reached, whatever the address on the local network is.
    address.setHost(QStringLiteral("127.0.0.1"));
    const QString dialog = QStringLiteral("Telefoni dei giocatori");
    click(386, 140); // the QR code opens the phones' dialog
    awaitTrace(QStringLiteral("finestra ") + dialog, QStringLiteral("the phones' dialog"));
    awaitKeyboard(dialog);
    xdotool({QStringLiteral("key"), QStringLiteral("alt+d")});
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    awaitTrace(QStringLiteral("finestra via ") + dialog, QStringLiteral("the phones' dialog to close"));
    if (far) {
        // Off again: the page can only reach the evening through the NATS server.
        click(736, 256);
        awaitTrace(QStringLiteral("telefoni spenti"),
                   QStringLiteral("the phones on the local network to switch off"));
        const QString reached = traceLine(QStringLiteral("lontani su "), 60000);
        if (reached.isEmpty())
            fail(QStringLiteral("the evening never reached the NATS server: ") +
                 traceLine(QStringLiteral("lontani giù "), 1));
        address = QUrl(reached.mid(11));
        say(QStringLiteral("phones' link far away: ") + address.toString());
    }
    if (club) {
        const QString webSocket = QUrlQuery(address.fragment(QUrl::FullyEncoded))
                                      .queryItemValue(QStringLiteral("nats"), QUrl::FullyDecoded);
        if (address.scheme() != QLatin1String("https") || !webSocket.startsWith(QLatin1String("wss://")))
            fail(QStringLiteral("the link is not https:// with a wss:// WebSocket: ") + address.toString());
        browser.call(QStringLiteral("Network.enable"));
    }

    browser.call(QStringLiteral("Page.enable"));
    browser.call(QStringLiteral("Page.navigate"), {{"url", address.toString()}});
    if (!browser.waitFor(QStringLiteral("document.getElementById('linea') && "
                                        "document.getElementById('linea').textContent=='collegato'"),
                         60000))
        fail(QStringLiteral("the page did not connect"));
    if (!browser.waitFor(QStringLiteral("!document.getElementById('chiedi').hidden"), 30000))
        fail(QStringLiteral("the page offers no card"));
    browser.eval(QStringLiteral("document.getElementById('chiedi').click()"));
    if (!browser.waitFor(QStringLiteral("document.querySelectorAll('.cartella').length==1"), 30000))
        fail(QStringLiteral("no card was dealt to the phone"));
    const QString code = browser.text(QStringLiteral("document.querySelector('.cartella h3').textContent"))
                             .section(QStringLiteral(" – "), 1);
    say(QStringLiteral("card dealt: ") + code);

    // The same card, typed by its code as a player would: small letters, no blanks, O for 0.
    // The page before the reload carries a mark the page after it does not.
    browser.eval(QStringLiteral("window.primaDelRicarico = 1; localStorage.clear(); location.reload(); 1"));
    if (!browser.waitFor(QStringLiteral("!window.primaDelRicarico && document.getElementById('linea') && "
                                        "document.getElementById('linea').textContent=='collegato' && "
                                        "document.querySelectorAll('.cartella').length==0"),
                         60000))
        fail(QStringLiteral("the page did not come back empty"));
    QString typed = code.toLower().remove(QLatin1Char(' ')).remove(QLatin1Char('-'));
    typed.replace(QLatin1Char('0'), QLatin1Char('o'));
    browser.eval(QStringLiteral("document.getElementById('codice').value='%1';"
                                "document.getElementById('aggiungiBottone').click(); 1")
                     .arg(typed));
    if (!browser.waitFor(QStringLiteral("document.querySelectorAll('.cartella').length==1"), 30000))
        fail(QStringLiteral("the typed code %1 was not taken").arg(typed));
    if (!browser.text(QStringLiteral("document.querySelector('.cartella h3').textContent")).endsWith(code))
        fail(QStringLiteral("the typed code gave another card"));
    say(QStringLiteral("code typed as %1: card taken").arg(typed));

    // The draw at its fastest.
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), g_window, QStringLiteral("462"),
             QStringLiteral("240"), QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("14"),
             QStringLiteral("--delay"), QStringLiteral("10"), QStringLiteral("1")});
    awaitTrace(QStringLiteral("ritmo 200"), QStringLiteral("the speed bar at 0.2 s"));
    click(88, 64);
    if (!browser.waitFor(QStringLiteral("document.getElementById('conta').textContent.indexOf(' di 90')>0"),
                         60000))
        fail(QStringLiteral("the page shows no number drawn"));
    if (!browser.waitFor(
            QStringLiteral("/manca 1 per/.test(document.querySelector('.cartella .stato').textContent)"),
            120000))
        fail(QStringLiteral("the card never missed just one number"));
    say(QStringLiteral("card line: ") +
        browser.text(QStringLiteral("document.querySelector('.cartella .stato').textContent")));
    browser.shot(QStringLiteral("phone-card.png"));
    if (!browser.waitFor(QStringLiteral("document.querySelector('.cartella .chiama')!==null"), 120000))
        fail(QStringLiteral("the card never held the prize in play"));
    const QString button =
        browser.text(QStringLiteral("document.querySelector('.cartella .chiama').textContent"));
    say(QStringLiteral("button: ") + button);
    browser.eval(QStringLiteral("document.querySelector('.cartella .chiama').click(); 1"));
    // The call waits for the caller, as every winner of the watch does.
    if (!browser.waitFor(QStringLiteral("/conferma/i.test(document.getElementById('esito').textContent)"),
                         60000))
        fail(QStringLiteral("the call was not told to wait for the caller: ") +
             browser.text(QStringLiteral("document.getElementById('esito').textContent")));
    say(QStringLiteral("answer on the phone: ") +
        browser.text(QStringLiteral("document.getElementById('esito').textContent")));
    const QString called = awaitTrace(QStringLiteral("chiamata "),
                                      QStringLiteral("the call in the caller's window"), 60000, code);
    say(QStringLiteral("caller's window: ") + called.mid(9));
    // The caller confirms it with Alt+F ("Conferma") in the window.
    awaitKeyboard(xdotoolOut({QStringLiteral("getwindowname"), g_window}));
    xdotool({QStringLiteral("key"), QStringLiteral("alt+f")});
    awaitTrace(QStringLiteral("premi "), QStringLiteral("the prize given to ") + code, 60000,
               QStringLiteral("=") + code);
    // Only for the picture: the window paints the call's line after the desk has given the prize.
    pause(500);
    QProcess::execute(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"),
                       QDir(g_shots).filePath(g_shotPrefix + QStringLiteral("window-phone-call.png"))});
    browser.shot(QStringLiteral("phone-called.png"));

    // The call stopped the draw: a reload in the middle of the game shows the same game.
    const QString board = browser.text(kBoard);
    const QString number = browser.text(QStringLiteral("document.getElementById('numero').textContent"));
    const QString numbers = traceLine(QStringLiteral("tombola 1 numeri")).section(QLatin1Char(' '), 3, -1);
    if (board.split(QLatin1Char(' ')).size() != numbers.split(QLatin1Char(' ')).size())
        fail(QStringLiteral("the board (%1) is not the game (%2)").arg(board, numbers));
    browser.eval(QStringLiteral("window.primaDelRicarico = 1; location.reload(); 1"));
    if (!browser.waitFor(QStringLiteral("!window.primaDelRicarico && document.getElementById('linea') && "
                                        "document.getElementById('linea').textContent=='collegato' && "
                                        "document.querySelectorAll('.cartella').length==1"),
                         60000))
        fail(QStringLiteral("the page did not come back"));
    if (!browser.waitFor(QStringLiteral("%1=='%2'").arg(kBoard, board), 30000))
        fail(QStringLiteral("after the reload the board is ") + browser.text(kBoard));
    if (browser.text(QStringLiteral("document.getElementById('numero').textContent")) != number)
        fail(QStringLiteral("after the reload the last number differs"));
    say(QStringLiteral("reloaded mid-game: the same %1 numbers, last %2")
            .arg(board.split(QLatin1Char(' ')).size())
            .arg(number));
    if (club) {
        // Nothing in the clear: the page, what it loads, and its WebSocket to the NATS servers.
        if (browser.text(QStringLiteral("location.protocol")) != QLatin1String("https:"))
            fail(QStringLiteral("the page is not on https"));
        int pages = 0, sockets = 0;
        for (const QString &a : browser.addresses()) {
            if (a.startsWith(QLatin1String("https://")))
                ++pages;
            else if (a.startsWith(QLatin1String("wss://")))
                ++sockets;
            else if (!a.startsWith(QLatin1String("data:")))
                fail(QStringLiteral("the page reached %1 in the clear").arg(a));
        }
        if (pages == 0 || sockets == 0)
            fail(QStringLiteral("the browser saw %1 https requests and %2 wss connections")
                     .arg(pages)
                     .arg(sockets));
        say(QStringLiteral("in the browser: %1 https requests and %2 wss connections, nothing else")
                .arg(pages)
                .arg(sockets));
    }
    say(QStringLiteral("PASS"));
    return 0;
}
