// The program: the real ports, the caller's window with its game, and the windows around it.

#include "announce/pulse_sound.h"
#include "cards/cups_printer.h"
#include "evening/evening_record.h"
#include "game/std_random.h"
#include "phones/phone_relay.h"
#include "remote/nats_relay.h"
#include "ui/about.h"
#include "ui/accessibility.h"
#include "ui/audience_screen.h"
#include "ui/caller.h"
#include "ui/card_check_dialog.h"
#include "ui/club.h"
#include "ui/evening_ui.h"
#include "ui/faces.h"
#include "ui/phones_ui.h"
#include "ui/qt_platform.h"
#include "ui/remote_ui.h"
#include "ui/trace.h"
#include "ui/translations.h"
#include "verifica.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char **argv)
{
    // The check of a sealed game needs no window.
    if (argc >= 2 && QLatin1String(argv[1]) == QLatin1String("--verifica")) {
        QStringList args;
        for (int k = 2; k < argc; ++k)
            args << QString::fromLocal8Bit(argv[k]);
        return runVerifica(args);
    }
    if (!displayAvailable(argc, argv)) return 1;
    QApplication app(argc, argv);
    installQtTranslations(app);
    keepNoSettings();
    QApplication::setApplicationName(Form1::applicationTitle());
    QApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    // Ties the window to tombola.desktop (the Wayland app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("tombola"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    installFaceSubstitutes();

    // The tests that drive the program read what it showed here.
    TraceFile trace(qEnvironmentVariable("TOMBOLA_TRACE"));
    PulseSoundPort pulse;
    TracedSound sound(pulse, trace);
    QtClock clock;
    StdRandom random;
    QtDialogs dialogs;
    CupsPrinterPort printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    dialogs.setParent(&caller.form);
    installCardCheck(caller.form, caller.game, caller.game.ports().sound, caller.printRun.cardsInPlay(),
                     &caller.prizes);
    installAboutBox(caller.form);
    installClub(caller.form);
    applyAccessibility(caller.form, caller.game, caller.claims);
    AudienceController audience(caller.form, caller.game);
    QObject::connect(&caller.form, &Form1::audienceScreenRequested, &audience, &AudienceController::toggle);
    QObject::connect(&caller.claims, &ClaimCheck::claimCompleted, &audience,
                     [&audience](int, const QString &verdict) { audience.showBanner(verdict); });
    showPrizesOnAudienceScreen(caller.prizes, audience);
    // The evening's record, in the user's data folder.
    EveningStore store;
    QString storeNotice;
    store.open(EveningStore::defaultPath(), &storeNotice);
    EveningRecord evening(store, caller.game, caller.printRun, caller.prizes);
    installEvening(caller, evening, printer);
    // The players' phones, off until the caller switches them on; the same evening for phones far
    // away through the club's NATS server, once the caller has given it.
    PhoneService phoneService(caller.game, caller.prizes, caller.printRun, evening);
    PhoneRelay phones(phoneService);
    PhonesPanel phonesPanel(caller.form, caller.game, phones, audience);
    NatsRelay farPhones(phoneService);
    RemotePanel remotePanel(caller.form, farPhones, evening);
    QObject::connect(&phonesPanel, &PhonesPanel::remoteRequested, &remotePanel, &RemotePanel::openDialog);
    keepSetup(caller, evening, audience, phones);
    installTrace(trace, caller, evening, phones, farPhones);

    // An evening left open is offered first: until the answer the window takes no input.
    if (evening.unfinished()) caller.form.setEnabled(false);
    caller.form.Form_Load();
    if (caller.game.isClosed()) return 0;
    startEvening(caller, evening, storeNotice);
    if (caller.game.isClosed()) return 0;
    traceReady(trace);
    return QApplication::exec();
}
