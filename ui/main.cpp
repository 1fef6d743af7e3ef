#include "announce/qt_sound.h"
#include "cards/cups_printer.h"
#include "game/std_random.h"
#include "ui/about.h"
#include "ui/accessibility.h"
#include "ui/audience_screen.h"
#include "ui/card_check.h"
#include "ui/faces.h"
#include "ui/form1.h"
#include "ui/qt_platform.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(Form1::titoloApplicazione());
    QApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    // Ties the window to tombola.desktop (the Wayland app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("tombola"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    installFaceSubstitutes();

    QtSoundPort sound;
    QtClock clock;
    StdRandom random;
    QtDialogs dialogs;
    CupsPrinterPort printer;
    Form1 form(Ports{sound, clock, random, dialogs, printer});
    dialogs.setParent(&form);
    installaControlloCartella(form, sound);
    installaInformazioni(form);
    applicaAccessibilita(form);
    AudienceController pubblico(form);
    form.alternaSchermoPubblico = [&pubblico] { pubblico.toggle(); };

    form.Form_Load();
    if (form.isClosed()) return 0;
    return QApplication::exec();
}
