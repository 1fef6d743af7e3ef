#include "ui/about.h"

#include "ui/form1.h"
#include "ui/qt_platform.h"

#include <QCoreApplication>
#include <QMessageBox>

QString aboutText()
{
    const QString versione = QCoreApplication::applicationVersion().toHtmlEscaped();
    return QStringLiteral("<h3>Tombola %1</h3>"
                          "<p>Estrazione dei numeri del gioco della tombola, da 1 a 90.</p>"
                          "<p><b>Licenza</b>: GNU General Public License, versione 3 o successiva "
                          "(GPL-3.0-or-later). Il programma è distribuito senza alcuna garanzia.</p>"
                          "<p><b>Voce</b>: i numeri e le vincite sono pronunciati dalla voce italiana di "
                          "SVOX Pico (pico2wave), di SVOX AG e dell'Android Open Source Project, "
                          "rilasciata con licenza Apache 2.0 (Apache-2.0).</p>"
                          "<p><b>Sigle e applausi</b>: sintetizzati con SoX dallo script del progetto; "
                          "nessuna registrazione proviene da altre fonti.</p>"
                          "<p>Tasti: F1 queste informazioni, F5 lo schermo per il pubblico.</p>")
        .arg(versione);
}

void installAboutBox(Form1 &form)
{
    QObject::connect(&form, &Form1::aboutRequested, &form, [&form] {
        // Built as QMessageBox::about() builds it, but modal by hand: a close of the window with the
        // box open still ends the program.
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Informazioni su Tombola"), aboutText(),
                        QMessageBox::Ok, &form);
        const QIcon icon = box.windowIcon();
        box.setIconPixmap(icon.pixmap(icon.actualSize(QSize(64, 64))));
        execKeepingClose(box);
    });
}
