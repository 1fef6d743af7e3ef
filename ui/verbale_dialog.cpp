#include "ui/verbale_dialog.h"

#include "cards/printer_port.h"
#include "evening/evening_record.h"
#include "evening/verbale.h"
#include "ui/qt_platform.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

QByteArray verbalePdf(const StoredEvening &evening)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("Verbale della tombola"));
        QTextDocument document;
        document.setHtml(verbaleHtml(evening));
        document.print(&writer);
    }
    return bytes;
}

namespace
{
QString describe(const EveningSummary &e, bool current)
{
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    QString text = italian.toString(e.started.date(), QStringLiteral("dddd d MMMM yyyy")) +
                   QStringLiteral(", dalle ") + italian.toString(e.started.time(), QStringLiteral("HH:mm"));
    if (e.ended.isValid())
        text += QStringLiteral(" alle ") + italian.toString(e.ended.time(), QStringLiteral("HH:mm"));
    text +=
        QStringLiteral(": %1, %2")
            .arg(e.games == 1 ? QStringLiteral("1 tombola") : QStringLiteral("%1 tombole").arg(e.games),
                 e.cards == 1 ? QStringLiteral("1 cartella") : QStringLiteral("%1 cartelle").arg(e.cards));
    if (current) text += QStringLiteral(" (questa serata)");
    return text;
}
} // namespace

VerbaleDialog::VerbaleDialog(EveningRecord &record, PrinterPort &printer,
                             std::function<QString(const QString &)> chooseFile, QWidget *parent)
    : QDialog(parent), m_record(record), m_printer(printer), m_chooseFile(std::move(chooseFile))
{
    setObjectName(QStringLiteral("VerbaleDialog"));
    setWindowTitle(QStringLiteral("Verbale della serata"));
    resize(560, 360);
    auto *column = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("&Serate registrate:"), this);
    column->addWidget(label);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lst_serate"));
    label->setBuddy(m_list);
    column->addWidget(m_list, 1);

    const StoredEvening &now = record.evening();
    QList<EveningSummary> all =
        record.store().isReadable() ? record.store().evenings() : QList<EveningSummary>{};
    // The evening under way is always there, kept on disk or not.
    const bool listed =
        std::any_of(all.cbegin(), all.cend(), [&](const EveningSummary &e) { return e.id == now.id; });
    if (!listed || now.id == 0) {
        EveningSummary current;
        current.id = now.id;
        current.started = now.started;
        current.games = int(now.games.size());
        current.cards = now.cardCount();
        all.prepend(current);
    }
    for (const EveningSummary &e : std::as_const(all)) {
        m_ids << e.id;
        m_list->addItem(describe(e, e.id == now.id));
    }
    m_list->setCurrentRow(0);

    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("lbl_esito_verbale"));
    m_result->setWordWrap(true);
    column->addWidget(m_result);
    auto *buttons = new QHBoxLayout;
    auto *save = new QPushButton(QStringLiteral("Salva in &PDF..."), this);
    save->setObjectName(QStringLiteral("cmd_salva_verbale"));
    auto *print = new QPushButton(QStringLiteral("S&tampa"), this);
    print->setObjectName(QStringLiteral("cmd_stampa_verbale"));
    buttons->addWidget(save);
    buttons->addWidget(print);
    buttons->addStretch(1);
    column->addLayout(buttons);
    addCloseButton(*this, *column);
    connect(save, &QPushButton::clicked, this, &VerbaleDialog::save);
    connect(print, &QPushButton::clicked, this, &VerbaleDialog::print);
    m_list->setFocus();
}

bool VerbaleDialog::picked(StoredEvening &evening)
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_ids.size()) return false;
    const qint64 id = m_ids[row];
    if (id == m_record.evening().id) {
        evening = m_record.evening();
        return true;
    }
    QString why;
    const auto loaded = m_record.store().load(id, &why);
    if (!loaded) {
        m_result->setText(QStringLiteral("Impossibile leggere la serata: %1.").arg(why));
        return false;
    }
    evening = *loaded;
    return true;
}

void VerbaleDialog::save()
{
    StoredEvening evening;
    if (!picked(evening)) return;
    const QString file = m_chooseFile ? m_chooseFile(verbaleFileName(evening)) : QString();
    if (file.isEmpty()) return;
    QString why;
    if (m_printer.savePdf(verbalePdf(evening), file, &why))
        m_result->setText(QStringLiteral("Verbale salvato in «%1».").arg(file));
    else
        m_result->setText(why);
}

void VerbaleDialog::print()
{
    StoredEvening evening;
    if (!picked(evening)) return;
    QString why;
    if (m_printer.printPdf(verbalePdf(evening), QStringLiteral("Verbale della tombola"), &why))
        m_result->setText(QStringLiteral("Verbale inviato alla stampante."));
    else
        m_result->setText(why);
}
