// The program: the real ports, the caller's window with its game, and the windows around it.

#include "announce/pulse_sound.h"
#include "cards/cups_printer.h"
#include "game/std_random.h"
#include "ui/about.h"
#include "ui/accessibility.h"
#include "ui/audience_screen.h"
#include "ui/caller.h"
#include "ui/card_check.h"
#include "ui/faces.h"
#include "ui/qt_platform.h"
#include "ui/translations.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char **argv)
{
    if (!schermoDisponibile(argc, argv)) return 1;
    QApplication app(argc, argv);
    installaTraduzioniQt(app);
    keepNoSettings();
    QApplication::setApplicationName(Form1::titoloApplicazione());
    QApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    // Ties the window to tombola.desktop (the Wayland app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("tombola"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    installFaceSubstitutes();

    PulseSoundPort sound;
    QtClock clock;
    StdRandom random;
    QtDialogs dialogs;
    CupsPrinterPort printer;
    Caller caller(Ports{sound, clock, random, dialogs}, printer);
    dialogs.setParent(&caller.form);
    installaControlloCartella(caller.form, caller.game, caller.game.ports().sound,
                              caller.printRun.cardsInPlay(), &caller.prizes);
    installaInformazioni(caller.form);
    applicaAccessibilita(caller.form, caller.game, caller.claims);
    AudienceController pubblico(caller.form, caller.game);
    QObject::connect(&caller.form, &Form1::audienceScreenRequested, &pubblico, &AudienceController::toggle);
    QObject::connect(&caller.claims, &ClaimCheck::claimCompleted, &pubblico,
                     [&pubblico](int, const QString &verdict) { pubblico.showBanner(verdict); });
    showPrizesToRoom(caller.prizes, pubblico);

    caller.form.Form_Load();
    if (caller.game.isClosed()) return 0;
    return QApplication::exec();
}
