// Relatives far away in the caller's window, against a real NATS cluster (scripts/with-nats.sh):
// what the caller types in the dialog is what the program connects with, is shown again at the next
// opening and at the next start (which connects by itself, once the evening has begun, with that
// evening's link alone); the antenna mark shows while the evening does not reach the server and
// goes when it is back; wrong credentials are told in Italian in the dialog and on the mark;
// Shift+F8 opens the dialog and is in the F1 list with what it does.

#include "evening/evening_record.h"
#include "nats_phone.h"
#include "phones/phone_service.h"
#include "remote/nats_relay.h"
#include "ui/about.h"
#include "ui/form_harness.h"
#include "ui/remote_ui.h"

#include <QLineEdit>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTest>

namespace
{
// How many times a widget was shown.
struct ShowCounter : QObject {
    int count = 0;
    explicit ShowCounter(QWidget *w) { w->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *e) override
    {
        count += e->type() == QEvent::Show ? 1 : 0;
        return false;
    }
};

// The caller's window with the evening, the phones' service, the relay and its panel, as main.cpp
// wires them; the relay's settings file is the test's.
struct Window {
    Harness h;
    QTemporaryDir dir;
    EveningStore store;
    std::unique_ptr<EveningRecord> record;
    std::unique_ptr<PhoneService> service;
    std::unique_ptr<NatsRelay> relay;
    RemotePanel *panel = nullptr; // the window's

    // With `begun` false the evening begins only when the test calls record->begin(), after the
    // panel is made: the order of the program's start.
    explicit Window(const QString &settingsFile, bool begun = true)
    {
        qputenv("TOMBOLA_REMOTE_SETTINGS", settingsFile.toLocal8Bit());
        QString notice;
        store.open(dir.filePath(QStringLiteral("serate.sqlite")), &notice);
        record = std::make_unique<EveningRecord>(store, h.game(), h.caller->printRun, h.caller->prizes);
        if (begun) record->begin();
        service = std::make_unique<PhoneService>(h.game(), h.caller->prizes, h.caller->printRun, *record);
        relay = std::make_unique<NatsRelay>(*service);
        panel = new RemotePanel(*h.form, *relay, *record);
    }
    ~Window() { delete panel; }

    QLabel *mark() { return h.control<QLabel>(QStringLiteral("lbl_remoto")); }
    RemoteDialog *dialog()
    {
        panel->openDialog();
        return panel->dialog();
    }
    // Replaces what a field of the open dialog holds, typed as the caller would.
    void type(const char *field, const QString &text)
    {
        auto *e = panel->dialog()->findChild<QLineEdit *>(QLatin1String(field));
        QVERIFY2(e, field);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    QString field(const char *name)
    {
        return panel->dialog()->findChild<QLineEdit *>(QLatin1String(name))->text();
    }
    void click(const char *button)
    {
        QTest::mouseClick(panel->dialog()->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    }
    QString state() { return panel->dialog()->findChild<QLabel *>(QStringLiteral("lbl_nats_stato"))->text(); }
    // Connects through the dialog to `servers` with the caller's credentials.
    void connectTo(const QString &servers, const NatsCluster &c, const QString &password)
    {
        QVERIFY(dialog());
        type("txt_nats_server", servers);
        type("txt_nats_utente", c.callerUser);
        type("txt_nats_password", password);
        click("cmd_nats_collega");
    }
};
} // namespace

class TestRemoteWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { TOMBOLA_REQUIRE_CLUSTER(); }

    void whatTheCallerTypesIsKept()
    {
        const NatsCluster c;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("lontani.ini"));
        const QString servers = c.urls[0] + QStringLiteral(", ") + c.urls[1];
        const QString phonePassword = QStringLiteral("pa,ro=la&; \"x\"");
        QString link;
        {
            Window w(file);
            QVERIFY(!w.relay->isStarted());
            w.connectTo(servers, c, c.callerPassword);
            w.type("txt_nats_websocket", QStringLiteral("wss://nats.example.org"));
            w.type("txt_nats_utente_telefoni", c.phoneUser);
            w.type("txt_nats_password_telefoni", phonePassword);
            w.type("txt_nats_pagina", QStringLiteral("https://circolo.example.org/tombola/"));
            w.click("cmd_nats_collega");
            QTRY_VERIFY_WITH_TIMEOUT(w.relay->isReaching(), 10000);
            QCOMPARE(w.state(), QStringLiteral("Collegato: la serata arriva ai telefoni lontani."));
            QCOMPARE(w.relay->settings().servers, (QStringList{c.urls[0], c.urls[1]}));
            QCOMPARE(w.relay->settings().phonePassword, phonePassword);
            link = w.relay->phoneLink();
            QVERIFY(link.startsWith(QStringLiteral("https://circolo.example.org/tombola/#nats=")));
            QCOMPARE(w.panel->dialog()->findChild<QLabel *>(QStringLiteral("lbl_nats_collegamento"))->text(),
                     link);
            // Closed and opened again: the same fields.
            w.click("cmd_chiudi");
            QTRY_VERIFY(!w.panel->dialog());
            QVERIFY(w.dialog());
            QCOMPARE(w.field("txt_nats_server"), servers);
            QCOMPARE(w.field("txt_nats_password"), c.callerPassword);
            QCOMPARE(w.field("txt_nats_password_telefoni"), phonePassword);
        }
        {
            // The program started again connects by itself, with the same link for the phones.
            Window w(file);
            QVERIFY(w.relay->isStarted());
            QTRY_VERIFY_WITH_TIMEOUT(w.relay->isReaching(), 10000);
            QCOMPARE(w.relay->phoneLink(), link);
            QVERIFY(w.dialog());
            QCOMPARE(w.field("txt_nats_server"), servers);
            QCOMPARE(w.field("txt_nats_utente"), c.callerUser);
            QCOMPARE(w.field("txt_nats_utente_telefoni"), c.phoneUser);
            QCOMPARE(w.field("txt_nats_pagina"), QStringLiteral("https://circolo.example.org/tombola/"));
            // Disconnected, it stays so at the next start, and what was typed stays too.
            w.click("cmd_nats_scollega");
            QVERIFY(!w.relay->isStarted());
            w.click("cmd_nats_collega");
            QTRY_VERIFY_WITH_TIMEOUT(w.relay->isReaching(), 10000);
        }
        {
            // Started as the program starts, the window before the evening: the server is joined
            // for that evening alone, never with a link of an evening that does not exist.
            Window w(file, false);
            QStringList links;
            QObject::connect(w.relay.get(), &NatsRelay::linkChanged, w.relay.get(),
                             [&w, &links](NatsRelay::Link l) {
                                 if (l == NatsRelay::Link::Up) links << w.relay->phoneLink();
                             });
            QVERIFY(!w.relay->isStarted());
            w.record->begin();
            QTRY_VERIFY_WITH_TIMEOUT(w.relay->isReaching(), 10000);
            QCOMPARE(w.relay->phoneLink(), link);
            QCOMPARE(links, QStringList{link});
            QVERIFY(w.dialog());
            w.click("cmd_nats_scollega");
        }
        Window w(file);
        QVERIFY(!w.relay->isStarted());
        QVERIFY(w.dialog());
        QCOMPARE(w.field("txt_nats_server"), servers);
        QCOMPARE(w.field("txt_nats_password_telefoni"), phonePassword);
    }

    void theMarkShowsWhileTheServerIsAwayAndGoesWhenBack()
    {
        const NatsCluster c;
        QTemporaryDir dir;
        {
            // A connection that comes at once shows no mark, not even for a moment.
            Window w(dir.filePath(QStringLiteral("subito.ini")));
            ShowCounter shows(w.mark());
            w.connectTo(c.urls[0], c, c.callerPassword);
            QTRY_VERIFY_WITH_TIMEOUT(w.relay->isReaching(), 10000);
            // And whatever news of the link the relay's threads had posted by then is handled.
            QCoreApplication::sendPostedEvents();
            QCOMPARE(shows.count, 0);
        }
        Window w(dir.filePath(QStringLiteral("lontani.ini")));
        QVERIFY(!w.mark()->isVisibleTo(w.h.form));
        // Away at start.
        QVERIFY(c.kill(2));
        w.connectTo(c.urls[2], c, c.callerPassword);
        QTRY_COMPARE_WITH_TIMEOUT(w.relay->link(), NatsRelay::Link::Lost, 10000);
        QVERIFY(w.mark()->isVisibleTo(w.h.form));
        QVERIFY2(w.mark()->toolTip().contains(QStringLiteral("non risponde")),
                 qPrintable(w.mark()->toolTip()));
        QCOMPARE(w.state(), w.mark()->toolTip());
        // The game goes on meanwhile.
        w.h.drawAndPause({7});
        QVERIFY(c.restart(2));
        QTRY_VERIFY_WITH_TIMEOUT(!w.mark()->isVisibleTo(w.h.form), 15000);
        QCOMPARE(w.state(), QStringLiteral("Collegato: la serata arriva ai telefoni lontani."));
        // Lost in the middle of a game (every server of the cluster) and back.
        for (int i = 0; i < 3; ++i)
            QVERIFY(c.kill(i));
        QTRY_VERIFY_WITH_TIMEOUT(w.mark()->isVisibleTo(w.h.form), 15000);
        for (int i = 0; i < 3; ++i)
            QVERIFY(c.restart(i));
        QTRY_VERIFY_WITH_TIMEOUT(!w.mark()->isVisibleTo(w.h.form), 20000);
    }

    void wrongCredentialsAreToldInItalian()
    {
        const NatsCluster c;
        QTemporaryDir dir;
        Window w(dir.filePath(QStringLiteral("lontani.ini")));
        w.connectTo(c.urls[0], c, QStringLiteral("sbagliata"));
        QTRY_COMPARE_WITH_TIMEOUT(w.relay->link(), NatsRelay::Link::Refused, 10000);
        const QString told =
            QStringLiteral("Il server NATS ha rifiutato le credenziali del banco: controlla utente "
                           "e password, o il file delle credenziali.");
        QCOMPARE(w.state(), told);
        QVERIFY(w.mark()->isVisibleTo(w.h.form));
        QCOMPARE(w.mark()->toolTip(), told);
        // A click on the mark brings the dialog back once closed.
        w.click("cmd_chiudi");
        QTRY_VERIFY(!w.panel->dialog());
        QTest::mouseClick(w.mark(), Qt::LeftButton);
        QVERIFY(w.panel->dialog());
        QCOMPARE(w.state(), told);
    }

    void shiftF8OpensTheDialogAndIsListedByF1()
    {
        QTemporaryDir dir;
        Window w(dir.filePath(QStringLiteral("lontani.ini")));
        w.h.form->show();
        w.h.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.h.form));
        QTest::keyClick(w.h.form, Qt::Key_F8, Qt::ShiftModifier);
        QVERIFY(w.panel->dialog());
        QVERIFY(w.panel->dialog()->isVisible());
        const QString about = aboutText(*w.h.form);
        bool found = false;
        for (const QShortcut *s : w.h.form->findChildren<QShortcut *>()) {
            QVERIFY2(!s->whatsThis().isEmpty(), qPrintable(s->key().toString()));
            if (s->key() != QKeySequence(Qt::SHIFT | Qt::Key_F8)) continue;
            found = true;
            QVERIFY2(about.contains(s->whatsThis()), qPrintable(about));
        }
        QVERIFY(found);
    }
};

QTEST_MAIN(TestRemoteWindow)
#include "test_remote_window.moc"
