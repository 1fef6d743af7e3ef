#include "ui/verbale_dialog.h"

#include "cards/printer_port.h"
#include "evening/evening_record.h"
#include "evening/verbale.h"
#include "ui/club.h"
#include "ui/qt_platform.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

QByteArray verbalePdf(const StoredEvening &evening, const ClubInfo &club, const VerbaleSigners &signers)
{
    return blocksPdf(verbaleBlocks(evening, club, signers), QStringLiteral("Verbale della tombola"));
}

QByteArray blocksPdf(const QList<VerbaleBlock> &blocks, const QString &title)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(title);
    const QRect area = writer.pageLayout().paintRectPixels(writer.resolution());
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(9);
    // Each piece laid out alone at the page's width.
    auto laid = [&](const QString &html) {
        auto doc = std::make_unique<QTextDocument>();
        doc->documentLayout()->setPaintDevice(&writer);
        doc->setDefaultFont(font);
        doc->setDocumentMargin(0);
        doc->setHtml(html);
        doc->setTextWidth(area.width());
        return doc;
    };
    struct Placed {
        std::unique_ptr<QTextDocument> doc;
        int page = 0;
        double top = 0;
    };
    std::vector<Placed> placed;
    const double footer = QFontMetricsF(font, &writer).height() * 2;
    const double bottom = area.height() - footer;
    int page = 0;
    double y = 0;
    std::vector<std::unique_ptr<QTextDocument>> docs;
    for (const VerbaleBlock &b : blocks)
        docs.push_back(laid(b.isRow() ? b.rowHtml() : b.html));
    for (qsizetype k = 0; k < blocks.size(); ++k) {
        const VerbaleBlock &b = blocks[k];
        const auto at = std::size_t(k);
        double height = docs[at]->size().height();
        // A heading goes with what follows it.
        if (b.keepWithNext && k + 1 < blocks.size()) height += docs[at + 1]->size().height();
        if (y > 0 && y + height > bottom) {
            ++page;
            y = 0;
        }
        // A table's rows on a new page come under its header again; so does its first row.
        const bool firstRow =
            b.isRow() && (k == 0 || blocks[k - 1].header != b.header || !blocks[k - 1].isRow());
        if (b.isRow() && !b.header.isEmpty() && (firstRow || y == 0)) {
            auto head = laid(b.rowHtml(true));
            const double h = head->size().height();
            if (y > 0 && y + h + docs[at]->size().height() > bottom) {
                ++page;
                y = 0;
            }
            placed.push_back({std::move(head), page, y});
            y += h;
        }
        placed.push_back({std::move(docs[at]), page, y});
        y += placed.back().doc->size().height();
    }
    const int pages = page + 1;
    QPainter p(&writer);
    for (int at = 0; at < pages; ++at) {
        if (at > 0) writer.newPage();
        for (const Placed &piece : placed) {
            if (piece.page != at) continue;
            p.save();
            p.translate(0, piece.top);
            piece.doc->drawContents(&p);
            p.restore();
        }
        p.setFont(font);
        p.drawText(QRectF(0, area.height() - footer / 2, area.width(), footer / 2),
                   Qt::AlignRight | Qt::AlignBottom,
                   QStringLiteral("Pagina %1 di %2").arg(at + 1).arg(pages));
    }
    p.end();
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
    resize(560, 440);
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

    // The first page's names, with their signature lines.
    auto *names = new QFormLayout;
    auto field = [this, names](const char *name, const QString &caption, const QString &tip) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setMaxLength(120);
        edit->setToolTip(tip);
        names->addRow(caption, edit);
        return edit;
    };
    m_place = field("txt_luogo", QStringLiteral("&Luogo:"), QStringLiteral("dove si è svolta la tombola"));
    m_organiser = field("txt_organizzatore", QStringLiteral("&Organizzatore:"),
                        QStringLiteral("chi ha organizzato la tombola e firma il verbale"));
    m_delegate = field("txt_delegato", QStringLiteral("&Funzionario presente:"),
                       QStringLiteral("il funzionario delegato dal sindaco, presente all'estrazione"));
    column->addLayout(names);

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

VerbaleSigners VerbaleDialog::signers() const
{
    return {m_place->text(), m_organiser->text(), m_delegate->text()};
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
    if (m_printer.savePdf(verbalePdf(evening, loadClub(), signers()), file, &why))
        m_result->setText(QStringLiteral("Verbale salvato in «%1».").arg(file));
    else
        m_result->setText(why);
}

void VerbaleDialog::print()
{
    StoredEvening evening;
    if (!picked(evening)) return;
    QString why;
    if (m_printer.printPdf(verbalePdf(evening, loadClub(), signers()),
                           QStringLiteral("Verbale della tombola"), &why))
        m_result->setText(QStringLiteral("Verbale inviato alla stampante."));
    else
        m_result->setText(why);
}
