// What a release adds to the window: accessible names and descriptions for its controls, the
// announcement of each drawn number to assistive technology, and the About box on F1.

#include "form_harness.h"

#include "ui/about.h"
#include "ui/accessibility.h"
#include "ui/audience_screen.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QShortcut>
#include <QTest>
#include <QTimer>

namespace
{
struct Heard {
    QObject *object;
    QAccessible::Event type;
};
QVector<Heard> heard;

void listen(QAccessibleEvent *event)
{
    heard.append({event->object(), event->type()});
}

int count(QObject *object, QAccessible::Event type)
{
    int n = 0;
    for (const Heard &e : heard)
        n += e.object == object && e.type == type;
    return n;
}

QString accessible(QWidget *w, QAccessible::Text what)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(what) : QStringLiteral("<no interface>");
}

} // namespace

class TestRelease : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void acceleratorMarksAreLeftOut();
    void everyControlIsNamedAndDescribedByItsTip();
    void captionlessControlsGetTheirOwnNames();
    void drawnNumberIsNamedAndAnnounced();
    void namesFollowChangedCaptions();
    void controlsAddedLaterAndNewTipsAreNamed();
    void aClaimVerdictIsAnnounced();
    void aboutTextCarriesVersionLicenceAndClipOrigin();
    void aboutListsEveryKey();
    void f1ShowsTheAboutBoxAndEscapeClosesIt();
};

void TestRelease::init()
{
    heard.clear();
    QAccessible::installUpdateHandler(listen);
}

void TestRelease::cleanup()
{
    QAccessible::installUpdateHandler(nullptr);
}

void TestRelease::acceleratorMarksAreLeftOut()
{
    QCOMPARE(withoutAccelerators(QStringLiteral("&Nuova  Tombola")), QStringLiteral("Nuova Tombola"));
    QCOMPARE(withoutAccelerators(QStringLiteral("Sale && &Pepe")), QStringLiteral("Sale & Pepe"));
    QCOMPARE(withoutAccelerators(QStringLiteral("&&&&")), QStringLiteral("&&"));
    QCOMPARE(withoutAccelerators(QStringLiteral("Fine&")), QStringLiteral("Fine"));
}

void TestRelease::everyControlIsNamedAndDescribedByItsTip()
{
    Harness h;
    applyAccessibility(*h.form, h.game(), h.caller->claims);
    int controls = 0, withTip = 0;
    for (QWidget *w : h.form->findChildren<QWidget *>()) {
        if (w->window() != h.form) continue;
        if (!qobject_cast<QPushButton *>(w) && !qobject_cast<QLabel *>(w) && !qobject_cast<QLineEdit *>(w) &&
            !qobject_cast<QRadioButton *>(w) && !qobject_cast<QGroupBox *>(w) &&
            !qobject_cast<QScrollBar *>(w))
            continue;
        ++controls;
        const QByteArray id = w->objectName().toUtf8();
        QVERIFY2(!w->accessibleName().isEmpty(), id.constData());
        QVERIFY2(!w->accessibleName().contains(QLatin1Char('&')), id.constData());
        // What a screen reader is told, through Qt's accessibility interface.
        QCOMPARE(accessible(w, QAccessible::Name), w->accessibleName());
        if (!w->toolTip().isEmpty()) {
            ++withTip;
            QCOMPARE(w->accessibleDescription(), w->toolTip());
            QCOMPARE(accessible(w, QAccessible::Description), w->toolTip());
        }
    }
    // 90 board cells, 14 claim boxes and the rest of the window.
    QVERIFY2(controls >= 130, qPrintable(QString::number(controls)));
    QVERIFY(withTip >= 20);
    QCOMPARE(h.form->cmd_nuovo->accessibleName(), QStringLiteral("Nuova Tombola"));
    QCOMPARE(h.form->fra_controlli->accessibleName(), QStringLiteral("Controlli"));
}

void TestRelease::captionlessControlsGetTheirOwnNames()
{
    Harness h;
    applyAccessibility(*h.form, h.game(), h.caller->claims);
    QCOMPARE(h.form->Label1->accessibleName(), QStringLiteral("Numero estratto"));
    QCOMPARE(h.form->HScroll1->accessibleName(), QStringLiteral("Velocità dell'estrazione"));
    QCOMPARE(h.form->TABELLONE->accessibleName(), QStringLiteral("Tabellone"));
    QCOMPARE(h.form->txt_panariello->accessibleName(), QStringLiteral("Numero uscito dal panariello"));
    QCOMPARE(h.form->cart6->accessibleName(), QStringLiteral("Cartella 6 del tabellone"));
    QCOMPARE(h.form->cmd_pdf->accessibleName(), QStringLiteral("Salva le cartelle in PDF"));
    QCOMPARE(h.form->txt_ultimi->accessibleName(), QStringLiteral("Quanti ultimi numeri ripetere"));
    QCOMPARE(h.form->Text1[0]->accessibleName(), QStringLiteral("Ambo, numero 1"));
    QCOMPARE(h.form->Text1[2]->accessibleName(), QStringLiteral("Terno, numero 1"));
    QCOMPARE(h.form->Text1[13]->accessibleName(), QStringLiteral("Cinquina, numero 5"));
    for (int i = 0; i < 90; ++i) {
        QCOMPARE(h.form->LBL_TAB[i]->accessibleName(), QStringLiteral("Casella numero %1").arg(i + 1));
        QCOMPARE(h.form->LBL_TAB[i]->accessibleDescription(), QStringLiteral("non estratto"));
    }
    // Each claim box says which prize and which place it is.
    QSet<QString> boxes;
    for (QLineEdit *box : h.form->Text1)
        boxes << box->accessibleName();
    QCOMPARE(boxes.size(), 14);
}

void TestRelease::drawnNumberIsNamedAndAnnounced()
{
    // Qt passes accessibility events on only while a bridge to assistive technology is up (AT-SPI
    // under X, when a reader or QT_LINUX_ACCESSIBILITY_ALWAYS_ON asks for it); offscreen has none,
    // so there only the names are checked. test_release_atspi runs this with the bridge on.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        QElapsedTimer waited;
        waited.start();
        while (!QAccessible::isActive() && waited.elapsed() < 5000)
            QTest::qWait(20);
    }
    const bool bridge = QAccessible::isActive();
    if (!bridge && qEnvironmentVariableIsSet("TOMBOLA_REQUIRE_ATSPI"))
        QFAIL("no accessibility bridge came up");

    Harness h;
    applyAccessibility(*h.form, h.game(), h.caller->claims);
    QLabel *display = h.form->Label1;
    const auto alerts = [&] { return count(display, QAccessible::Alert); };
    heard.clear();
    h.drawAndPause({42});
    QCOMPARE(h.drawn(), QStringList{"42"});
    QCOMPARE(accessible(display, QAccessible::Name), QStringLiteral("Estratto il numero 42"));
    QCOMPARE(accessible(display, QAccessible::Description), display->toolTip());
    QCOMPARE(h.form->LBL_TAB[41]->accessibleDescription(), QStringLiteral("estratto"));
    QCOMPARE(h.form->LBL_TAB[40]->accessibleDescription(), QStringLiteral("non estratto"));
    // The words under the display are read as they are written.
    QVERIFY(!h.form->Label6->text().trimmed().isEmpty());
    QCOMPARE(accessible(h.form->Label6, QAccessible::Name), h.form->Label6->text().simplified());
    const int renamed = count(display, QAccessible::NameChanged);
    if (bridge) {
        QVERIFY(renamed >= 1);
        QCOMPARE(alerts(), 1);
        QCOMPARE(count(h.form->LBL_TAB[41], QAccessible::DescriptionChanged), 1);
        QCOMPARE(count(h.form->LBL_TAB[40], QAccessible::DescriptionChanged), 0);
    }

    // Nothing new on show: no second announcement.
    h.game().publish();
    QCOMPARE(count(display, QAccessible::NameChanged), renamed);
    QCOMPARE(alerts(), bridge ? 1 : 0);

    // The next number is announced in its turn.
    h.random.replay(picksFor({7}, h.pool()));
    h.clock.onPump = [&h](FakeClock::Point p) {
        if (p == FakeClock::Point::Wait && h.drawn().size() == 2 && !h.state().sospeso)
            h.click("cmd_sospendi");
    };
    h.click("cmd_sospendi");
    h.clock.onPump = nullptr;
    QCOMPARE(h.drawn(), QStringList({"42", "7"}));
    QCOMPARE(display->accessibleName(), QStringLiteral("Estratto il numero 7"));
    QCOMPARE(alerts(), bridge ? 2 : 0);
    // Resumed to the end: every one of the 90 numbers, then "Fine".
    h.click("cmd_sospendi");
    QCOMPARE(display->text(), QStringLiteral("Fine"));
    QCOMPARE(display->accessibleName(), QStringLiteral("Fine"));
    QCOMPARE(alerts(), bridge ? 91 : 0);

    // A new game blanks the display: renamed, not announced.
    const int before = count(display, QAccessible::NameChanged);
    h.click("cmd_nuovo");
    QCOMPARE(display->accessibleName(), QStringLiteral("Numero estratto"));
    QCOMPARE(h.form->LBL_TAB[41]->accessibleDescription(), QStringLiteral("non estratto"));
    QCOMPARE(alerts(), bridge ? 91 : 0);
    if (bridge) QVERIFY(count(display, QAccessible::NameChanged) > before);
}

void TestRelease::namesFollowChangedCaptions()
{
    Harness h;
    applyAccessibility(*h.form, h.game(), h.caller->claims);
    QCOMPARE(h.form->cmd_sospendi->accessibleName(), QStringLiteral("Pausa"));
    h.drawAndPause({5, 6});
    QCOMPARE(h.form->cmd_sospendi->text(), QStringLiteral("&Riprendi"));
    QCOMPARE(h.form->cmd_sospendi->accessibleName(), QStringLiteral("Riprendi"));
    QCOMPARE(accessible(h.form->Label2, QAccessible::Name), h.form->Label2->text().simplified());
}

void TestRelease::controlsAddedLaterAndNewTipsAreNamed()
{
    // The window's controls are named once; a control added later, in a frame too, is named at the
    // game's next change, and a new tool tip at once, from the widgets' own events.
    Harness h;
    applyAccessibility(*h.form, h.game(), h.caller->claims);
    auto *later = new QPushButton(QStringLiteral("&Dopo"), h.form);
    auto *box = new QLineEdit(h.form->fra_controlli);
    box->setToolTip(QStringLiteral("una casella nuova"));
    h.drawAndPause({9});
    QCOMPARE(later->accessibleName(), QStringLiteral("Dopo"));
    QCOMPARE(box->accessibleName(), QStringLiteral("una casella nuova"));
    QCOMPARE(box->accessibleDescription(), QStringLiteral("una casella nuova"));
    h.form->HScroll1->setToolTip(QStringLiteral("più veloce o più lenta"));
    QCOMPARE(h.form->HScroll1->accessibleName(), QStringLiteral("Velocità dell'estrazione"));
    QCOMPARE(h.form->HScroll1->accessibleDescription(), QStringLiteral("più veloce o più lenta"));
}

void TestRelease::aClaimVerdictIsAnnounced()
{
    // The verdict of a complete claim reaches a screen reader as the drawn numbers do.
    const bool bridge = QAccessible::isActive();
    Harness h;
    applyAccessibility(*h.form, h.game(), h.caller->claims);
    QLabel *verdict = h.form->lbl_esito;
    heard.clear();
    h.drawAndPause({12, 34});
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));
    h.click("cmd_verifica");
    h.click("cmd_ambo_0");
    QTest::keyClicks(h.form->Text1[0], QStringLiteral("12"));
    QTest::keyClick(h.form->Text1[0], Qt::Key_Return);
    QTest::keyClicks(h.form->Text1[1], QStringLiteral("34"));
    QTest::keyClick(h.form->Text1[1], Qt::Key_Return);
    QCOMPARE(verdict->text(), QStringLiteral("AMBO VALIDO"));
    QVERIFY(verdict->isVisible());
    QCOMPARE(accessible(verdict, QAccessible::Name), QStringLiteral("AMBO VALIDO"));
    if (bridge) QCOMPARE(count(verdict, QAccessible::Alert), 1);
}

void TestRelease::aboutTextCarriesVersionLicenceAndClipOrigin()
{
    QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7"));
    const QWidget window;
    const QString text = aboutText(window);
    for (const char *part : {"Tombola 9.8.7", "GPL-3.0-or-later", "SVOX Pico", "Apache-2.0", "SoX"})
        QVERIFY2(text.contains(QLatin1String(part)), part);
    // A version is text, never markup.
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0<b>"));
    QVERIFY(aboutText(window).contains(QStringLiteral("1.0&lt;b&gt;")));
}

void TestRelease::aboutListsEveryKey()
{
    // The keys are read from the window as it is built: a key added to the window, to a button's
    // caption or to the audience screen is in the list without anyone remembering to add it.
    Harness h;
    AudienceController room(*h.form, h.game());
    room.open();
    const QString text = aboutText(*h.form);
    auto listed = [&text](const QKeySequence &key) {
        return text.contains(
            QStringLiteral("<b>%1</b>").arg(key.toString(QKeySequence::NativeText).toHtmlEscaped()));
    };
    QStringList missing;
    QList<QShortcut *> shortcuts = h.form->findChildren<QShortcut *>();
    shortcuts += room.screen()->findChildren<QShortcut *>();
    QVERIFY(shortcuts.size() >= 9);
    for (const QShortcut *s : std::as_const(shortcuts)) {
        if (!listed(s->key())) missing << s->key().toString();
        if (s->whatsThis().isEmpty() && s->parent() == h.form)
            missing << s->key().toString() + QStringLiteral(" without what it does");
    }
    int accelerators = 0;
    for (const QAbstractButton *b : h.form->findChildren<QAbstractButton *>()) {
        const QKeySequence key = QKeySequence::mnemonic(b->text());
        if (key.isEmpty()) continue;
        ++accelerators;
        if (!listed(key)) missing << key.toString();
    }
    QVERIFY(accelerators >= 16);
    for (const QKeySequence &key :
         {QKeySequence(Qt::Key_S), QKeySequence(Qt::Key_N), QKeySequence(Qt::Key_F1),
          QKeySequence(Qt::Key_F5), QKeySequence(Qt::Key_F6), QKeySequence(Qt::Key_F7),
          QKeySequence(Qt::Key_F11), QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Undo)})
        if (!listed(key)) missing << key.toString();
    QCOMPARE(missing, QStringList());
    // A caption that changes is read as it stands.
    QVERIFY(text.contains(QStringLiteral("<b>Alt+P</b> Pausa")));
}

void TestRelease::f1ShowsTheAboutBoxAndEscapeClosesIt()
{
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    Harness h;
    installAboutBox(*h.form);
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form));

    QString title, text;
    QWidget *parent = nullptr;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, [&] {
        auto *box = h.form->findChild<QMessageBox *>();
        if (!box || !box->isVisible()) return;
        poll.stop();
        title = box->windowTitle();
        text = box->text();
        parent = box->parentWidget();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    poll.start();
    QTest::keyClick(h.form, Qt::Key_F1);
    poll.stop();
    QCOMPARE(title, QStringLiteral("Informazioni su Tombola"));
    QCOMPARE(text, aboutText(*h.form));
    QCOMPARE(parent, h.form);
    QVERIFY(!h.form->findChild<QMessageBox *>());
}

QTEST_MAIN(TestRelease)
#include "test_release.moc"
