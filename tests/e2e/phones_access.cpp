#include "phones_access.h"

#include "devtools.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>
#include <QStandardPaths>

namespace e2e
{
namespace
{
// What a screen reader would be told and what the page plays, from the page's first moment: each
// change of the live region (its whole text: it is atomic), each clip the page's player is given,
// each clip that starts playing, each play() the browser refused, and the "Voce" switch.
const char *const kRecorder = R"JS((function () {
  var log = window.__ascolto = [];
  function name(e) { return (e.getAttribute('src') || '').replace(/^.*\//, ''); }
  new MutationObserver(function (records) {
    var told = false;
    var live = document.getElementById('annuncio');
    for (var i = 0; i < records.length; i++) {
      var r = records[i], t = r.target;
      if (r.type === 'attributes' && r.attributeName === 'src') log.push('clip:' + name(t));
      else if (r.type === 'attributes' && r.attributeName === 'aria-pressed' && t.id === 'voce')
        log.push('voce:' + t.getAttribute('aria-pressed'));
      else if (live && !told && live.contains(t.nodeType === 1 ? t : t.parentNode)) {
        told = true;
        if (live.textContent) log.push('annuncio:' + live.textContent);
      }
    }
  }).observe(document, { subtree: true, childList: true, characterData: true, attributes: true,
                         attributeFilter: ['src', 'aria-pressed'] });
  document.addEventListener('playing', function (e) { log.push('suona:' + name(e.target)); }, true);
  var play = HTMLMediaElement.prototype.play;
  HTMLMediaElement.prototype.play = function () {
    var self = this, p = play.apply(this, arguments);
    if (p && p.then) p.then(null, function (e) { log.push('rifiuto:' + e.name + ' ' + name(self)); });
    return p;
  };
  ['freeze', 'resume', 'visibilitychange'].forEach(function (type) {
    document.addEventListener(type, function () { log.push('evento:' + type + ' ' + document.visibilityState); });
  });
  document.addEventListener('DOMContentLoaded', function () {
    var live = document.getElementById('annuncio');
    window.__regione = live ? (live.getAttribute('aria-live') || '') + '|' + live.textContent : 'nessuna';
  });
})();)JS";

const QStringList kTags{QStringLiteral("wcag2a"), QStringLiteral("wcag2aa"), QStringLiteral("wcag21a"),
                        QStringLiteral("wcag21aa"), QStringLiteral("wcag22aa")};

// The page's looks, set with its own buttons: large figures, high contrast.
struct Look {
    const char *name;
    bool large;
    bool contrast;
};
const Look kLooks[] = {
    {"normale", false, false}, {"cifre grandi", true, false}, {"alto contrasto", false, true}};

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// axe-core as scripts/fetch-axe.sh leaves it in the cache (or where TOMBOLA_AXE_DIR says), checked
// again against the copy tests/e2e/axe/VERSION names.
QString axeSource()
{
    const QByteArray about = readFile(QStringLiteral(TOMBOLA_AXE_VERSION_FILE));
    const QString version =
        QString::fromUtf8(about).section(QStringLiteral("version: "), 1).section(QLatin1Char('\n'), 0, 0);
    QString dir = qEnvironmentVariable("TOMBOLA_AXE_DIR");
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
              QStringLiteral("/tombola/axe-core-") + version;
    const QByteArray js = readFile(dir + QStringLiteral("/axe.min.js"));
    const QByteArray sum = QCryptographicHash::hash(js, QCryptographicHash::Sha256).toHex();
    if (js.isEmpty() || !about.contains("sha256 of axe.min.js: " + sum))
        fail(QStringLiteral("%1/axe.min.js is missing or is not the copy tests/e2e/axe/VERSION names: "
                            "scripts/fetch-axe.sh fetches it")
                 .arg(dir));
    return QString::fromUtf8(js);
}

QString lastTraced(const QString &word)
{
    const QStringList lines = traceLines();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (it->startsWith(word + QLatin1Char(' '))) return it->mid(word.size() + 1);
    return {};
}

// Waits for the program to have drawn `count` numbers. With `confirm`, a winner the watch stops the
// draw for is confirmed in the window (Alt+F) and the draw goes on (Alt+R), one step at a time: the
// program has answered a key (a new line of the trace says so) before anything else is done, and
// before this returns.
void awaitNumbers(int count, const QString &what, bool confirm)
{
    QElapsedTimer clock;
    clock.start();
    QString awaited; // the word of the trace line a key pressed must bring
    int before = 0;
    const auto answered = [&] { return awaited.isEmpty() || traceCount(awaited) > before; };
    while (drawnNumbers().size() < count || !answered()) {
        if (clock.elapsed() > 180000) fail(QStringLiteral("waited 180 s for ") + what);
        if (answered()) {
            awaited.clear();
            if (confirm && lastTraced(QStringLiteral("attiva")).contains(QLatin1String("TOMBOLA"))) {
                const QString winner = lastTraced(QStringLiteral("vincita"));
                if (!winner.isEmpty() && winner != QLatin1String("nessuna")) {
                    awaited = QStringLiteral("vincita ");
                    before = traceCount(awaited);
                    xdotool({QStringLiteral("key"), QStringLiteral("alt+f")});
                } else if (lastTraced(QStringLiteral("pausa")) == QLatin1String("1")) {
                    awaited = QStringLiteral("pausa ");
                    before = traceCount(awaited);
                    xdotool({QStringLiteral("key"), QStringLiteral("alt+r")});
                }
            }
        }
        pause(50);
    }
}

class Checks
{
public:
    explicit Checks(Browser &b) : m_b(b), m_axe(axeSource()) {}

    // axe-core in each look at this moment of the game; every violation printed.
    void audit(const QString &moment)
    {
        for (const Look &look : kLooks) {
            setLook(look);
            if (!m_b.eval(QStringLiteral("typeof axe!=='undefined'")).toBool())
                m_b.eval(m_axe + QStringLiteral(";1"));
            const QJsonArray found =
                m_b.eval(QStringLiteral(
                             "axe.run(document,{runOnly:{type:'tag',values:%1},resultTypes:['violations']})"
                             ".then(function(r){return r.violations.map(function(v){return {id:v.id,"
                             "impact:v.impact,help:v.help,nodes:v.nodes.map(function(n){return "
                             "n.target.join(' ')+' : '+(n.failureSummary||'').replace(/\\s+/g,' ');})};});})")
                             .arg(QStringLiteral("['%1']").arg(kTags.join(QStringLiteral("','")))))
                    .toArray();
            QStringList rules;
            for (const QJsonValue &v : found) {
                const QJsonArray nodes = v[QLatin1String("nodes")].toArray();
                rules << QStringLiteral("%1:%2").arg(v[QLatin1String("id")].toString()).arg(nodes.size());
                say(QStringLiteral("  axe %1 (%2), %3 elements: %4")
                        .arg(v[QLatin1String("id")].toString(), v[QLatin1String("impact")].toString())
                        .arg(nodes.size())
                        .arg(v[QLatin1String("help")].toString()));
                for (qsizetype i = 0; i < nodes.size() && i < 3; ++i)
                    say(QStringLiteral("    ") + nodes[i].toString());
            }
            const QString line =
                QStringLiteral("axe, %1, look %2: %3")
                    .arg(moment, QLatin1String(look.name),
                         rules.isEmpty() ? QStringLiteral("no violation") : rules.join(QLatin1Char(' ')));
            say(line);
            m_summary << line;
            if (!rules.isEmpty()) ++m_failures;
            boardReadable(moment, QLatin1String(look.name));
        }
        setLook(kLooks[0]);
    }

    // A drawn cell of the board and one not drawn differ by more than their colours.
    void boardReadable(const QString &moment, const QString &look)
    {
        const QString differs = m_b.text(QStringLiteral(
            "(function(){var on=document.querySelector('.tabellone span.uscito:not(.ultimo)'),"
            "off=document.querySelector('.tabellone span:not(.uscito)');if(!on||!off)return '-';"
            "var "
            "p=['fontWeight','fontStyle','textDecorationLine','borderTopStyle','borderTopWidth','"
            "outlineStyle',"
            "'boxShadow'],out=[];function s(e,w){return getComputedStyle(e,w);}"
            "for(var i=0;i<p.length;i++)if(s(on)[p[i]]!==s(off)[p[i]])out.push(p[i]);"
            "['::before','::after'].forEach(function(w){if(s(on,w).content!==s(off,w).content)out.push(w);});"
            "return out.join(' ');})()"));
        if (differs == QLatin1String("-")) return;
        say(QStringLiteral("board, %1, look %2: drawn and not drawn differ in %3")
                .arg(moment, look, differs.isEmpty() ? QStringLiteral("colour only") : differs));
        if (differs.isEmpty()) ++m_failures;
    }

    void setLook(const Look &look)
    {
        m_b.eval(QStringLiteral("(function(){function set(id,on){var b=document.getElementById(id);"
                                "if((b.getAttribute('aria-pressed')==='true')!==on)b.click();}"
                                "set('grandi',%1);set('contrasto',%2);return 1;})()")
                     .arg(look.large ? QStringLiteral("true") : QStringLiteral("false"),
                          look.contrast ? QStringLiteral("true") : QStringLiteral("false")));
    }

    void check(bool ok, const QString &what)
    {
        say((ok ? QStringLiteral("ok: ") : QStringLiteral("FAILED: ")) + what);
        if (!ok) ++m_failures;
    }

    int finish()
    {
        say(QStringLiteral("--- axe-core (%1) in Chromium at 412x915, scale 2, touch:")
                .arg(kTags.join(QLatin1Char(' '))));
        for (const QString &line : m_summary)
            say(line);
        say(m_failures ? QStringLiteral("FAIL: %1 checks failed").arg(m_failures) : QStringLiteral("PASS"));
        return m_failures ? 1 : 0;
    }

private:
    Browser &m_b;
    QString m_axe;
    QStringList m_summary;
    int m_failures = 0;
};
} // namespace

// What the page told and played, against the numbers the program drew. `silentFrom`..`silentTo`
// (0-based, exclusive end): the numbers that reached the page while it slept; `woke`: how many were
// drawn once it was in front again, those before it caught up with.
void listen(Checks &c, const QStringList &log, const QList<int> &drawn, int silentFrom, int silentTo,
            int woke, const QList<int> &repeats)
{
    static const QRegularExpression number(QStringLiteral("^annuncio:Estratto il (\\d+), \\S"));
    static const QRegularExpression again(QStringLiteral("^annuncio:Ripetuto il (\\d+), \\S"));
    QList<int> repeated;
    QList<int> told;
    QList<int> spoken; // the numbers told while the voice was on, each with the clip right after it
    QStringList clips;
    bool voice = false, clipEarly = false, refused = false, played = false;
    int expectClip = 0;
    bool late = false;
    for (const QString &e : log) {
        if (e == QLatin1String("voce:true")) voice = true;
        if (e == QLatin1String("voce:false")) voice = false;
        if (e.startsWith(QLatin1String("clip:"))) {
            clips << e.mid(5);
            if (!voice) clipEarly = true;
            if (expectClip && e.mid(5) == QStringLiteral("NUMERO%1.wav").arg(expectClip))
                spoken << expectClip;
            expectClip = 0;
        }
        if (voice && e.startsWith(QLatin1String("rifiuto:NotAllowedError"))) refused = true;
        if (e.startsWith(QLatin1String("suona:NUMERO"))) played = true;
        const auto r = again.match(e);
        if (r.hasMatch()) {
            if (expectClip) late = true;
            repeated << r.captured(1).toInt();
            if (voice) expectClip = repeated.last();
        }
        const auto m = number.match(e);
        if (!m.hasMatch()) continue;
        if (expectClip) late = true; // the clip of the number before came after this one, or never
        told << m.captured(1).toInt();
        if (voice) expectClip = told.last();
    }
    QStringList toldText, drawnText;
    for (int n : told)
        toldText << QString::number(n);
    for (int n : drawn)
        drawnText << QString::number(n);
    say(QStringLiteral("drawn by the program: ") + drawnText.join(QLatin1Char(' ')));
    say(QStringLiteral("told by the live region: ") + toldText.join(QLatin1Char(' ')));
    say(QStringLiteral("clips the page played: ") + clips.join(QLatin1Char(' ')));
    say(QStringLiteral("--- what the page recorded:\n") + log.join(QLatin1Char('\n')) +
        QStringLiteral("\n---"));
    // The page asleep for numbers silentFrom..silentTo: the gap it caught up may begin with the
    // number on its way as it fell asleep, and goes on until it was in front and asked again.
    bool inOrder = false;
    for (int from = qMax(0, silentFrom - 1); from <= silentFrom && !inOrder; ++from)
        for (int to = silentTo; to <= qMin(int(drawn.size()), woke + 1) && !inOrder; ++to)
            inOrder = told == drawn.mid(0, from) + drawn.mid(to);
    c.check(inOrder, QStringLiteral("each number drawn told once, in the program's order, none of those "
                                    "that came while the page slept (%1 to %2)")
                         .arg(silentFrom + 1)
                         .arg(silentTo));
    c.check(!clipEarly, QStringLiteral("no clip before the switch was touched"));
    c.check(!late && spoken.size() >= 4,
            QStringLiteral("with the voice on, each number's clip given to the player as the number came "
                           "(%1 numbers spoken)")
                .arg(spoken.size()));
    QStringList repeatedText, repeatsText;
    for (int n : repeated)
        repeatedText << QString::number(n);
    for (int n : repeats)
        repeatsText << QString::number(n);
    c.check(repeated == repeats,
            QStringLiteral("each number the repeat said again told again, the same one twice as "
                           "twice: %1 (the repeat: %2)")
                .arg(repeatedText.join(QLatin1Char(' ')), repeatsText.join(QLatin1Char(' '))));
    bool caughtUpSilent = true;
    for (int i = silentFrom; i < silentTo; ++i)
        caughtUpSilent = caughtUpSilent && !clips.contains(QStringLiteral("NUMERO%1.wav").arg(drawn[i]));
    c.check(caughtUpSilent, QStringLiteral("no clip for a number the page caught up with"));
    c.check(played && !refused,
            QStringLiteral("after the touch the browser played the clips (none refused)"));
    const QString all = log.join(QLatin1Char('\n'));
    // Told with the number that brought them, or alone.
    for (const char *said : {"Estrazione in pausa", "Vincita da verificare: ", "Premio vinto: "}) {
        const QRegularExpression heard(QStringLiteral("^annuncio:(.*\\. )?") +
                                           QRegularExpression::escape(QLatin1String(said)),
                                       QRegularExpression::MultilineOption);
        c.check(heard.match(all).hasMatch(),
                QStringLiteral("the live region said \"%1\"").arg(QLatin1String(said)));
    }
}

int accessChecks(Browser &b, const QUrl &address)
{
    Checks c(b);
    b.call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
           {{"width", 412}, {"height", 915}, {"deviceScaleFactor", 2}, {"mobile", true}});
    b.call(QStringLiteral("Emulation.setTouchEmulationEnabled"), {{"enabled", true}, {"maxTouchPoints", 5}});
    b.call(QStringLiteral("Page.enable"));
    b.call(QStringLiteral("Page.addScriptToEvaluateOnNewDocument"), {{"source", QLatin1String(kRecorder)}});
    b.call(QStringLiteral("Page.navigate"), {{"url", address.toString()}});
    if (!b.waitFor(QStringLiteral("document.getElementById('linea').textContent=='collegato'"), 60000))
        fail(QStringLiteral("the page did not connect"));
    c.check(b.text(QStringLiteral("window.__regione")) == QLatin1String("polite|"),
            QStringLiteral("a polite live region, empty, from the page's load: ") +
                b.text(QStringLiteral("window.__regione")));
    c.audit(QStringLiteral("before the game"));

    // The voice is off at first, and this browser lets no page start a sound on its own.
    c.check(b.text(QStringLiteral("(function(){var v=document.getElementById('voce');"
                                  "return v?v.getAttribute('aria-pressed'):'none';})()")) ==
                QLatin1String("false"),
            QStringLiteral("a \"Voce\" switch, off"));
    const QString untouched =
        b.text(QStringLiteral("new Audio('voce/NUMERO1.wav').play().then(function(){return 'played';},"
                              "function(e){return e.name;})"));
    c.check(untouched == QLatin1String("NotAllowedError"),
            QStringLiteral("a clip the page starts before any touch is refused by the browser: ") +
                untouched);

    if (!b.waitFor(QStringLiteral("!document.getElementById('chiedi').hidden"), 30000))
        fail(QStringLiteral("the page offers no card"));
    b.eval(QStringLiteral("document.getElementById('chiedi').click()"));
    if (!b.waitFor(QStringLiteral("document.querySelectorAll('.cartella').length==1"), 30000))
        fail(QStringLiteral("no card was dealt to the phone"));
    c.audit(QStringLiteral("with a card"));

    // The draw at its fastest: two numbers with the voice off, then the switch, touched.
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), g_window, QStringLiteral("462"),
             QStringLiteral("240"), QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("14"),
             QStringLiteral("--delay"), QStringLiteral("10"), QStringLiteral("1")});
    awaitTrace(QStringLiteral("ritmo 200"), QStringLiteral("the speed bar at 0.2 s"));
    click(88, 64);
    awaitNumbers(2, QStringLiteral("two numbers"), true);
    if (b.eval(QStringLiteral("document.getElementById('voce')!==null")).toBool()) {
        b.tap(QStringLiteral("#voce"));
        c.check(
            b.waitFor(QStringLiteral("document.getElementById('voce').getAttribute('aria-pressed')==='true'"),
                      10000),
            QStringLiteral("the switch took the touch"));
    }
    awaitNumbers(drawnNumbers().size() + 4, QStringLiteral("four numbers with the voice on"), true);

    // The page asleep, as a phone's is with its screen off, while numbers come; then awake.
    b.call(QStringLiteral("Page.setWebLifecycleState"), {{"state", "frozen"}});
    const int silentFrom = int(drawnNumbers().size());
    awaitNumbers(silentFrom + 2, QStringLiteral("two numbers while the page slept"), true);
    const int silentTo = int(drawnNumbers().size());
    b.call(QStringLiteral("Page.setWebLifecycleState"), {{"state", "active"}});
    // Woken, the phone's screen on again: the page is in front.
    const QString other = b.call(QStringLiteral("Target.createTarget"),
                                 {{"url", "about:blank"}})[QLatin1String("result")][QLatin1String("targetId")]
                              .toString();
    const QString behind = b.text(QStringLiteral("document.visibilityState"));
    b.call(QStringLiteral("Target.activateTarget"), {{"targetId", b.targetId()}});
    b.call(QStringLiteral("Target.closeTarget"), {{"targetId", other}});
    c.check(behind == QLatin1String("hidden") &&
                b.waitFor(QStringLiteral("document.visibilityState==='visible'"), 10000),
            QStringLiteral("the page slept hidden, and woke in front"));
    const int woke = int(drawnNumbers().size());
    awaitNumbers(woke + 3, QStringLiteral("three numbers after the page woke"), true);
    if (!b.waitFor(
            QStringLiteral("parseInt(document.getElementById('conta').textContent,10)>=%1").arg(woke + 3),
            30000))
        fail(QStringLiteral("the page did not catch up with the draw"));

    // In a pause, the repeat of the last two numbers, then of the last one again. A winner the
    // watch has just stopped the draw for is confirmed first (Alt+F), which leaves the draw in its
    // pause; a click on "Pausa" that met such a stop asks whether to go on, and stays in the pause.
    const auto confirmWaiting = [] {
        const QString winner = lastTraced(QStringLiteral("vincita"));
        if (winner.isEmpty() || winner == QLatin1String("nessuna") ||
            !lastTraced(QStringLiteral("attiva")).contains(QLatin1String("TOMBOLA")))
            return;
        const int before = traceCount(QStringLiteral("vincita "));
        xdotool({QStringLiteral("key"), QStringLiteral("alt+f")});
        QElapsedTimer confirming;
        confirming.start();
        while (traceCount(QStringLiteral("vincita ")) == before) {
            if (confirming.elapsed() > 60000)
                fail(QStringLiteral("waited 60 s for the winner's confirmation"));
            pause(50);
        }
    };
    confirmWaiting();
    if (lastTraced(QStringLiteral("pausa")) != QLatin1String("1")) click(184, 64);
    QElapsedTimer paused;
    paused.start();
    while (lastTraced(QStringLiteral("pausa")) != QLatin1String("1")) {
        if (paused.elapsed() > 60000) fail(QStringLiteral("waited 60 s for the pause"));
        if (lastTraced(QStringLiteral("finestra")).startsWith(QLatin1String("Vincita da verificare"))) {
            const int closed = traceCount(QStringLiteral("finestra via"));
            xdotool({QStringLiteral("key"), QStringLiteral("alt+r")}); // "Resta in pausa"
            while (traceCount(QStringLiteral("finestra via")) == closed) {
                if (paused.elapsed() > 60000) fail(QStringLiteral("waited 60 s for the question to close"));
                pause(50);
            }
        }
        confirmWaiting();
        pause(50);
    }
    const QList<int> before = drawnNumbers();
    const QList<int> repeats{before[before.size() - 2], before.last(), before.last()};
    int asked = 0;
    for (const char *count : {"2", "1"}) {
        asked += QByteArray(count).toInt();
        const int ended = traceCount(QStringLiteral("ripeti fine"));
        click(292, 24); // Ripeti, then the count in its box and Enter
        click(288, 66);
        xdotool({QStringLiteral("type"), QLatin1String(count)});
        xdotool({QStringLiteral("key"), QStringLiteral("Return")});
        QElapsedTimer repeating;
        repeating.start();
        while (traceCount(QStringLiteral("ripeti fine")) == ended) {
            if (repeating.elapsed() > 60000)
                fail(QStringLiteral("waited 60 s for the repeat of %1").arg(count));
            pause(50);
        }
        if (!b.waitFor(
                QStringLiteral("window.__ascolto.filter(function(e){return e.indexOf('annuncio:Ripetuto il "
                               "')===0;}).length>=%1")
                    .arg(asked),
                30000))
            fail(QStringLiteral("the page was not told the repeat of the last %1 numbers")
                     .arg(QLatin1String(count)));
    }
    // And the draw goes on.
    awaitNumbers(int(before.size()) + 1, QStringLiteral("a number after the pause"), true);

    // The card holds the prize in play: the watch stops the draw, the page offers the call.
    if (!b.waitFor(
            QStringLiteral(
                "document.querySelector('.cartella .chiama')!==null && "
                "!document.getElementById('verifica').hidden && !document.getElementById('pausa').hidden"),
            240000))
        fail(QStringLiteral("the card never held the prize in play"));
    c.audit(QStringLiteral("a win being checked, the call offered"));
    b.shot(QStringLiteral("access-call.png"));
    b.eval(QStringLiteral("document.querySelector('.cartella .chiama').click(); 1"));
    // The call waits for the caller's Conferma, as the watch's winners do; then the prize is told.
    if (!b.waitFor(QStringLiteral("/conferma/i.test(document.getElementById('esito').textContent)"), 60000))
        fail(QStringLiteral("the call was not told to wait for the caller: ") +
             b.text(QStringLiteral("document.getElementById('esito').textContent")));
    awaitKeyboard(xdotoolOut({QStringLiteral("getwindowname"), g_window}));
    xdotool({QStringLiteral("key"), QStringLiteral("alt+f")});
    if (!b.waitFor(QStringLiteral("window.__ascolto.join('\\n').indexOf('annuncio:Premio vinto: ')>=0"),
                   60000))
        fail(QStringLiteral("the prize won was not told by the live region"));
    c.audit(QStringLiteral("after the call, its answer shown"));
    b.shot(QStringLiteral("access-called.png"));

    QStringList log;
    for (const QJsonValue &v : b.eval(QStringLiteral("window.__ascolto")).toArray())
        log << v.toString();
    listen(c, log, drawnNumbers(), silentFrom, silentTo, woke, repeats);
    return c.finish();
}
} // namespace e2e
