#include "devtools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTimer>
#include <cstdio>

namespace e2e
{
QString g_window;
QString g_trace;
QString g_shots;
QString g_shotPrefix;

void fail(const QString &why)
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

QString traceLine(const QString &prefix, int ms, const QString &containing)
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

QString awaitTrace(const QString &prefix, const QString &what, int ms, const QString &containing)
{
    const QString line = traceLine(prefix, ms, containing);
    if (line.isEmpty()) fail(QStringLiteral("waited %1 s for %2").arg(ms / 1000).arg(what));
    return line;
}

int traceCount(const QString &prefix)
{
    int n = 0;
    for (const QString &line : traceLines())
        if (line.startsWith(prefix)) ++n;
    return n;
}

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

QList<int> drawnNumbers()
{
    QList<int> out;
    const QString line = traceLine(QStringLiteral("tombola 1 numeri"), 1);
    for (const QString &n : line.section(QLatin1Char(' '), 3, -1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out << n.toInt();
    return out;
}

Browser::Browser(int port)
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
    m_target = targets[0][QLatin1String("id")].toString();
    m_socket.open(QUrl(targets[0][QLatin1String("webSocketDebuggerUrl")].toString()));
    loop.exec();
    if (m_socket.state() != QAbstractSocket::ConnectedState) fail(QStringLiteral("no DevTools connection"));
    call(QStringLiteral("Runtime.enable"));
    call(QStringLiteral("Log.enable"));
}

QJsonObject Browser::call(const QString &method, const QJsonObject &params)
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

QJsonValue Browser::eval(const QString &js)
{
    const QJsonObject r = call(QStringLiteral("Runtime.evaluate"),
                               {{"expression", js}, {"returnByValue", true}, {"awaitPromise", true}});
    const QJsonObject result = r[QLatin1String("result")].toObject();
    if (result.contains(QLatin1String("exceptionDetails")))
        say(QStringLiteral("page exception in the driver's script: ") +
            result[QLatin1String("exceptionDetails")][QLatin1String("exception")]
                  [QLatin1String("description")]
                      .toString());
    return result[QLatin1String("result")][QLatin1String("value")];
}

bool Browser::waitFor(const QString &js, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (eval(js).toBool()) return true;
        pause(20);
    }
    return false;
}

void Browser::shot(const QString &name)
{
    const QJsonObject r = call(QStringLiteral("Page.captureScreenshot"), {{"format", "png"}});
    QFile f(QDir(g_shots).filePath(g_shotPrefix + name));
    if (f.open(QIODevice::WriteOnly))
        f.write(
            QByteArray::fromBase64(r[QLatin1String("result")][QLatin1String("data")].toString().toLatin1()));
}

void Browser::tap(const QString &selector)
{
    const QJsonArray box =
        eval(QStringLiteral("(function(){var e=document.querySelector('%1');"
                            "e.scrollIntoView({block:'center'});var r=e.getBoundingClientRect();"
                            "return [r.left+r.width/2,r.top+r.height/2];})()")
                 .arg(selector))
            .toArray();
    if (box.size() != 2) fail(QStringLiteral("nothing to tap at ") + selector);
    for (const char *type : {"mousePressed", "mouseReleased"})
        call(QStringLiteral("Input.dispatchMouseEvent"), {{"type", type},
                                                          {"x", box[0].toDouble()},
                                                          {"y", box[1].toDouble()},
                                                          {"button", "left"},
                                                          {"clickCount", 1}});
}

// What the page and the browser wrote on the console: the page's own faults show up here.
bool Browser::network(const QJsonObject &event)
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

void Browser::console(const QJsonObject &event)
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
} // namespace e2e
