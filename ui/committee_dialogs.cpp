#include "ui/committee_dialogs.h"

#include "cards/printer_port.h"
#include "evening/evening_record.h"
#include "evening/verbale.h"
#include "game/game.h"
#include "ui/club.h"
#include "ui/qt_platform.h"
#include "ui/verbale_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

VoidCardsDialog::VoidCardsDialog(EveningRecord &record, const Game &game, QWidget *parent)
    : QDialog(parent), m_record(record), m_game(game)
{
    setObjectName(QStringLiteral("VoidCardsDialog"));
    setWindowTitle(QStringLiteral("Cartelle invendute"));
    resize(520, 200);
    auto *column = new QVBoxLayout(this);
    auto *label = new QLabel(
        QStringLiteral("&Cartelle invendute da annullare: codici, numeri («da 801 a 900») o stampe intere "
                       "(«stampa 3»), separati da virgole. Non giocano più per tutta la serata."),
        this);
    label->setWordWrap(true);
    column->addWidget(label);
    m_cards = new QLineEdit(this);
    m_cards->setObjectName(QStringLiteral("txt_invendute"));
    m_cards->setMaxLength(1000);
    label->setBuddy(m_cards);
    column->addWidget(m_cards);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("lbl_esito_invendute"));
    m_result->setWordWrap(true);
    column->addWidget(m_result);
    auto *row = new QHBoxLayout;
    m_void = new QPushButton(QStringLiteral("&Dichiara annullate"), this);
    m_void->setObjectName(QStringLiteral("cmd_annulla_invendute"));
    row->addWidget(m_void);
    row->addStretch(1);
    column->addLayout(row);
    addCloseButton(*this, *column);
    connect(m_void, &QPushButton::clicked, this, &VoidCardsDialog::voidCards);
    connect(m_cards, &QLineEdit::returnPressed, this, &VoidCardsDialog::voidCards);
    // Only before a game's first number: once it is out, the cards that play are fixed.
    const bool open = game.drawnNumbers().isEmpty();
    m_void->setEnabled(open);
    m_cards->setEnabled(open);
    if (!open)
        m_result->setText(
            QStringLiteral("Le cartelle invendute si annullano prima del primo numero di una tombola."));
    m_cards->setFocus();
}

void VoidCardsDialog::voidCards()
{
    if (!m_void->isEnabled()) return;
    QString why;
    const qsizetype before = m_record.evening().voided.size();
    if (!m_record.voidCards(m_cards->text(), &why)) {
        m_result->setText(why);
        return;
    }
    const qsizetype count = m_record.evening().voided.value(before).cards.size();
    m_result->setText(count == 1 ? QStringLiteral("1 cartella annullata.")
                                 : QStringLiteral("%1 cartelle annullate.").arg(count));
    m_cards->clear();
}

DeliveriesDialog::DeliveriesDialog(EveningRecord &record, PrinterPort &printer,
                                   std::function<QString(const QString &)> chooseFile, QWidget *parent)
    : QDialog(parent), m_record(record), m_printer(printer), m_chooseFile(std::move(chooseFile))
{
    setObjectName(QStringLiteral("DeliveriesDialog"));
    setWindowTitle(QStringLiteral("Premi consegnati"));
    resize(640, 380);
    auto *column = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("&Premi vinti stasera:"), this);
    column->addWidget(label);
    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName(QStringLiteral("tab_premi_consegnati"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Tombola"), QStringLiteral("Premio"),
                                        QStringLiteral("Cartella"), QStringLiteral("Importo"),
                                        QStringLiteral("Consegnato a"), QStringLiteral("Quando")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    label->setBuddy(m_table);
    column->addWidget(m_table, 1);
    auto *row = new QHBoxLayout;
    auto *toLabel = new QLabel(QStringLiteral("Consegnato &a:"), this);
    m_to = new QLineEdit(this);
    m_to->setObjectName(QStringLiteral("txt_consegnato_a"));
    m_to->setMaxLength(120);
    m_to->setPlaceholderText(QStringLiteral("nome e cognome"));
    toLabel->setBuddy(m_to);
    auto *deliver = new QPushButton(QStringLiteral("&Segna consegnato"), this);
    deliver->setObjectName(QStringLiteral("cmd_segna_consegnato"));
    row->addWidget(toLabel);
    row->addWidget(m_to, 1);
    row->addWidget(deliver);
    column->addLayout(row);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("lbl_esito_consegne"));
    m_result->setWordWrap(true);
    column->addWidget(m_result);
    auto *form = new QPushButton(QStringLiteral("&Consegna dei premi (PDF)..."), this);
    form->setObjectName(QStringLiteral("cmd_consegna_premi"));
    form->setToolTip(QStringLiteral("il modulo da far firmare ai vincitori: una riga per premio"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(form);
    bottom->addStretch(1);
    column->addLayout(bottom);
    addCloseButton(*this, *column);
    connect(deliver, &QPushButton::clicked, this, &DeliveriesDialog::deliverChosen);
    connect(m_to, &QLineEdit::returnPressed, this, &DeliveriesDialog::deliverChosen);
    connect(form, &QPushButton::clicked, this, &DeliveriesDialog::saveForm);
    connect(&record, &EveningRecord::changed, this, &DeliveriesDialog::refresh);
    refresh();
    m_table->setFocus();
}

void DeliveriesDialog::refresh()
{
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    const int chosen = m_table->currentRow();
    const QList<PrizeToDeliver> prizes = prizesToDeliver(m_record.evening());
    m_table->setRowCount(int(prizes.size()));
    for (int r = 0; r < prizes.size(); ++r) {
        const PrizeToDeliver &p = prizes[r];
        const QStringList cells{QString::number(p.game),
                                prizeWord(p.prize),
                                p.card,
                                p.amount >= 0 ? euro(p.amount) : QStringLiteral("-"),
                                p.delivered ? p.delivered->to : QString(),
                                p.delivered ? italian.toString(p.delivered->at, QStringLiteral("d/M HH:mm"))
                                            : QString()};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setData(Qt::UserRole, QPoint(p.game, p.index));
            m_table->setItem(r, c, item);
        }
    }
    m_table->resizeColumnsToContents();
    if (chosen >= 0 && chosen < prizes.size()) m_table->selectRow(chosen);
    if (prizes.isEmpty()) m_result->setText(QStringLiteral("Nessun premio vinto finora."));
}

void DeliveriesDialog::deliverChosen()
{
    const QTableWidgetItem *item = m_table->item(m_table->currentRow(), 0);
    if (!item) {
        m_result->setText(QStringLiteral("Scegli prima il premio consegnato."));
        return;
    }
    const QPoint at = item->data(Qt::UserRole).toPoint();
    if (!m_record.deliver(at.x(), at.y(), m_to->text())) return;
    m_result->setText(QStringLiteral("Consegna registrata."));
    m_to->clear();
}

void DeliveriesDialog::saveForm()
{
    const StoredEvening &evening = m_record.evening();
    const QString file = m_chooseFile ? m_chooseFile(deliveryFileName(evening)) : QString();
    if (file.isEmpty()) return;
    QString why;
    if (m_printer.savePdf(
            blocksPdf(deliveryBlocks(evening, loadClub()), QStringLiteral("Consegna dei premi")), file, &why))
        m_result->setText(QStringLiteral("Modulo salvato in «%1».").arg(file));
    else
        m_result->setText(why);
}
