#include "ui/evening_ui.h"

#include "evening/evening_record.h"
#include "evening/verbale.h"
#include "phones/phone_relay.h"
#include "ui/audience_controller.h"
#include "ui/audience_screen.h"
#include "ui/caller.h"
#include "ui/committee_dialogs.h"
#include "ui/qt_platform.h"
#include "ui/verbale_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QScrollBar>

namespace
{
QString choosePdfFile(QWidget *window, const QString &title, const QString &suggested)
{
    QFileDialog dialog(window, title, QString(), QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(suggested);
    if (execKeepingClose(dialog) != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

QString chooseVerbaleFile(QWidget *window, const QString &suggested)
{
    return choosePdfFile(window, QStringLiteral("Salva il verbale in PDF"), suggested);
}

void openVerbale(Caller &caller, EveningRecord &record, PrinterPort &printer)
{
    Form1 *form = &caller.form;
    VerbaleDialog dialog(
        record, printer, [form](const QString &suggested) { return chooseVerbaleFile(form, suggested); },
        form);
    execKeepingClose(dialog);
}
} // namespace

void installEvening(Caller &caller, EveningRecord &record, PrinterPort &printer)
{
    Form1 &form = caller.form;
    form.setEveningKept(record.isKept(), record.notKeptReason());
    QObject::connect(&record, &EveningRecord::keptChanged, &form,
                     [&form, &record](bool kept) { form.setEveningKept(kept, record.notKeptReason()); });
    QObject::connect(&form, &Form1::fullSeriesChanged, &record, &EveningRecord::setFullSeries);
    QObject::connect(&caller.prizePanel, &PrizePanel::verbaleRequested, &form,
                     [&caller, &record, &printer] { openVerbale(caller, record, printer); });
    QObject::connect(&caller.prizePanel, &PrizePanel::voidCardsRequested, &form, [&caller, &record] {
        VoidCardsDialog dialog(record, caller.game, caller.prizePanel.listDialog());
        execKeepingClose(dialog);
    });
    QObject::connect(&caller.prizePanel, &PrizePanel::deliveriesRequested, &form,
                     [&caller, &record, &printer] {
                         QWidget *over = caller.prizePanel.listDialog();
                         DeliveriesDialog dialog(
                             record, printer,
                             [over](const QString &suggested) {
                                 return choosePdfFile(
                                     over, QStringLiteral("Salva la consegna dei premi in PDF"), suggested);
                             },
                             over);
                         execKeepingClose(dialog);
                     });
    QObject::connect(
        &caller.prizePanel, &PrizePanel::closeEveningRequested, &form, [&caller, &record, &printer] {
            DialogPort &dialogs = caller.game.ports().dialogs;
            if (caller.game.isDrawing() || caller.printRun.isPrinting()) {
                dialogs.message(QStringLiteral("Per chiudere la serata PRIMA premere Pausa"), QString(),
                                Icon::Information);
                return;
            }
            if (!dialogs.ask(
                    QStringLiteral("Chiudere la serata? Le cartelle stampate stasera non giocheranno più; la "
                                   "serata resta registrata per il verbale."),
                    QStringLiteral("Chiudi la serata")))
                return;
            if (caller.game.isClosed()) return;
            record.close();
            caller.form.fullSeriesBox->setChecked(true);
            if (dialogs.ask(QStringLiteral("Preparare ora il verbale della serata chiusa?"),
                            QStringLiteral("Verbale")))
                openVerbale(caller, record, printer);
        });
}

void keepSetup(Caller &caller, EveningRecord &record, AudienceController &audience, PhoneRelay &phones)
{
    auto now = [&caller, &audience, &phones, &record] {
        EveningSetup s = record.evening().setup;
        s.pace = caller.form.HScroll1->value();
        s.audienceOpen = audience.isOpen();
        s.audienceFullScreen = audience.isOpen() && audience.screen()->isFullScreen();
        s.phonesToken = phones.token();
        s.phonesOn = phones.isOn();
        if (phones.isOn()) s.phonesPort = phones.port();
        s.cardsPerPhone = phones.cardsPerPhone();
        return s;
    };
    auto keep = [&record, now] { record.setSetup(now()); };
    QObject::connect(caller.form.HScroll1, &QScrollBar::valueChanged, &record, keep);
    QObject::connect(&audience, &AudienceController::stateChanged, &record, keep);
    QObject::connect(&phones, &PhoneRelay::switched, &record, keep);
    QObject::connect(&phones.service(), &PhoneService::changed, &record, keep);
    QObject::connect(&record, &EveningRecord::started, &record,
                     [&caller, &record, &audience, &phones, keep](bool resumed) {
                         if (!resumed) return keep();
                         // Brought back as the caller left it.
                         const EveningSetup s = record.evening().setup;
                         caller.form.HScroll1->setValue(s.pace);
                         phones.reuseAddress(s.phonesToken, s.phonesPort);
                         if (s.phonesOn && !phones.isOn()) phones.switchOn();
                         phones.setCardsPerPhone(s.cardsPerPhone);
                         if (s.audienceOpen && !audience.isOpen()) audience.open();
                         if (audience.isOpen() && s.audienceFullScreen != audience.screen()->isFullScreen())
                             audience.toggleFullScreen();
                         keep();
                     });
}

void startEvening(Caller &caller, EveningRecord &record, const QString &storeNotice)
{
    DialogPort &dialogs = caller.game.ports().dialogs;
    if (!storeNotice.isEmpty()) dialogs.message(storeNotice, QStringLiteral("Serate"), Icon::Information);
    if (caller.game.isClosed()) return;
    if (const auto left = record.unfinished()) {
        // Nothing of the window takes input before the answer: a fresh board would invite a new game.
        caller.form.setEnabled(false);
        const bool resume =
            dialogs.ask(EveningRecord::resumeQuestion(*left), QStringLiteral("Serata da riprendere"), true);
        caller.form.setEnabled(true);
        if (caller.game.isClosed()) return;
        if (resume) {
            record.resume(*left);
            caller.form.fullSeriesBox->setChecked(left->fullSeries);
            return;
        }
    }
    record.begin();
    record.setFullSeries(caller.form.fullSeriesBox->isChecked());
}
