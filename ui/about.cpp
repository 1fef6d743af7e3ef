#include "ui/about.h"

#include "ui/audience_controller.h"
#include "ui/form1.h"
#include "ui/qt_platform.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QShortcut>

namespace
{
QString keyName(const QKeySequence &key)
{
    return key.toString(QKeySequence::NativeText).toHtmlEscaped();
}

QString line(const QKeySequence &key, const QString &what)
{
    return QStringLiteral("<br><b>%1</b> %2").arg(keyName(key), what.toHtmlEscaped());
}
} // namespace

QString keysText(const QWidget &window)
{
    QString text = QStringLiteral("<p><b>Tasti</b>");
    for (const QShortcut *shortcut : window.findChildren<QShortcut *>())
        text += line(shortcut->key(), shortcut->whatsThis());
    // Every button's accelerator as its caption has it now ("&Pausa", later "&Riprendi").
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
        const QKeySequence key = QKeySequence::mnemonic(button->text());
        if (key.isEmpty()) continue;
        // No caption of the program doubles an ampersand to show one.
        const QString caption = QString(button->text()).remove(QLatin1Char('&'));
        text += line(key, caption.simplified());
    }
    text += QStringLiteral("</p><p><b>Nelle domande</b>");
    for (const AnswerKey &answer : answerKeys())
        text += line(QKeySequence(answer.key), QString::fromUtf8(answer.what));
    text += QStringLiteral("</p><p><b>Schermo per il pubblico</b>, quando è aperto e nessuna casella "
                           "di testo è in uso");
    for (const AudienceController::Key &k : AudienceController::keys())
        text += line(QKeySequence(k.key), QString::fromUtf8(k.what));
    return text + QStringLiteral("</p>");
}

QString aboutText(const QWidget &window)
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
                          "%2")
        .arg(versione, keysText(window));
}

void installAboutBox(Form1 &form)
{
    QObject::connect(&form, &Form1::aboutRequested, &form, [&form] {
        // Built as QMessageBox::about() builds it, but modal by hand: a close of the window with the
        // box open still ends the program.
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Informazioni su Tombola"), aboutText(form),
                        QMessageBox::Ok, &form);
        const QIcon icon = box.windowIcon();
        box.setIconPixmap(icon.pixmap(icon.actualSize(QSize(64, 64))));
        execKeepingClose(box);
    });
}
