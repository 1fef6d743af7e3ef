#include "ui/evening_ui.h"

#include "evening/evening_record.h"
#include "evening/verbale.h"
#include "ui/caller.h"
#include "ui/qt_platform.h"
#include "ui/verbale_dialog.h"

#include <QCheckBox>
#include <QFileDialog>

namespace
{
QString chooseVerbaleFile(QWidget *window, const QString &suggested)
{
    QFileDialog dialog(window, QStringLiteral("Salva il verbale in PDF"), QString(),
                       QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(suggested);
    if (execKeepingClose(dialog) != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
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

void startEvening(Caller &caller, EveningRecord &record, const QString &storeNotice)
{
    DialogPort &dialogs = caller.game.ports().dialogs;
    if (!storeNotice.isEmpty()) dialogs.message(storeNotice, QStringLiteral("Serate"), Icon::Information);
    if (caller.game.isClosed()) return;
    if (const auto left = record.unfinished()) {
        const bool resume =
            dialogs.ask(EveningRecord::resumeQuestion(*left), QStringLiteral("Serata da riprendere"), true);
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
