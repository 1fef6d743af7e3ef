#include "ui/cards_dialog.h"

#include "cards/print_run.h"
#include "game/game.h"
#include "ui/qt_platform.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

CardsDialog::CardsDialog(PrintRun &printRun, Game &game, bool fullSeries, std::function<QString()> choosePdf,
                         QWidget *parent)
    : QDialog(parent), m_printRun(printRun), m_game(game), m_choosePdf(std::move(choosePdf))
{
    setObjectName(QStringLiteral("CardsDialog"));
    setWindowTitle(QStringLiteral("Cartelle della serata"));
    auto *column = new QVBoxLayout(this);
    setMinimumWidth(440);
    m_explain = new QLabel(this);
    m_explain->setWordWrap(true);
    explain();
    column->addWidget(m_explain);

    auto *row = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("&Quante cartelle:"), this);
    m_count = new QSpinBox(this);
    m_count->setObjectName(QStringLiteral("spn_cartelle"));
    m_count->setRange(1, PrintRun::kMostCards);
    m_count->setValue(6);
    m_count->setToolTip(
        QStringLiteral("da 1 a %1; ogni 6 cartelle una serie nuova").arg(PrintRun::kMostCards));
    label->setBuddy(m_count);
    row->addWidget(label);
    row->addWidget(m_count);
    m_full = new QCheckBox(QStringLiteral("&Serie complete"), this);
    m_full->setObjectName(QStringLiteral("chk_serie_complete"));
    m_full->setChecked(fullSeries);
    m_full->setToolTip(
        QStringLiteral("ogni sei cartelle una serie completa: 15 numeri ciascuna, insieme tutti i "
                       "numeri da 1 a 90"));
    row->addWidget(m_full);
    row->addStretch(1);
    column->addLayout(row);
    m_large = new QCheckBox(QStringLiteral("Caratteri &grandi, due cartelle per pagina"), this);
    m_large->setObjectName(QStringLiteral("chk_caratteri_grandi"));
    m_large->setChecked(printRun.largePrint());
    m_large->setToolTip(QStringLiteral("per chi vede poco: ogni cartella occupa mezzo foglio A4, con gli "
                                       "stessi codici e la stessa numerazione delle altre"));
    column->addWidget(m_large);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("prg_stampa"));
    m_progress->setFormat(QStringLiteral("%v di %m"));
    m_progress->hide();
    column->addWidget(m_progress);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("lbl_esito_stampa"));
    m_result->setWordWrap(true);
    column->addWidget(m_result);

    auto *buttons = new QHBoxLayout;
    m_print = new QPushButton(QStringLiteral("S&tampa"), this);
    m_print->setObjectName(QStringLiteral("cmd_stampa_serata"));
    m_pdf = new QPushButton(QStringLiteral("Salva in &PDF..."), this);
    m_pdf->setObjectName(QStringLiteral("cmd_pdf_serata"));
    m_stopButton = new QPushButton(QStringLiteral("&Ferma"), this);
    m_stopButton->setObjectName(QStringLiteral("cmd_ferma_stampa"));
    m_stopButton->setEnabled(false);
    for (QPushButton *b : {m_print, m_pdf, m_stopButton})
        buttons->addWidget(b);
    column->addLayout(buttons);
    addCloseButton(*this, *column);

    connect(m_print, &QPushButton::clicked, this, [this] { print(false); });
    connect(m_pdf, &QPushButton::clicked, this, [this] { print(true); });
    connect(m_stopButton, &QPushButton::clicked, this, &CardsDialog::stop);
    connect(m_full, &QCheckBox::toggled, this, &CardsDialog::fullSeriesChanged);
    connect(m_large, &QCheckBox::toggled, this, [this](bool on) { m_printRun.setLargePrint(on); });
    // After a run Enter prints nothing more until the caller changes the count: a second Enter once
    // printed the same run again.
    // (the spin box tells a value it re-reads on Enter as a change: only the caller's typing counts)
    if (auto *typed = m_count->findChild<QLineEdit *>())
        connect(typed, &QLineEdit::textEdited, this, [this] { m_print->setDefault(true); });
    m_print->setDefault(true);
    m_count->setFocus();
}

void CardsDialog::explain()
{
    const bool out = !m_game.drawnNumbers().isEmpty();
    m_explain->setText((out ? QStringLiteral("Le cartelle stampate ora giocano dalla prossima tombola.")
                            : QStringLiteral("Le cartelle stampate ora giocano in questa tombola.")) +
                       QStringLiteral(" La numerazione continua quella della serata (prossima: %1).")
                           .arg(m_printRun.cardsInPlay().nextNumber()));
}

void CardsDialog::print(bool toPdf)
{
    if (m_running) return;
    m_running = true;
    m_stop = false;
    const int count = m_count->value();
    for (QWidget *w : {static_cast<QWidget *>(m_print), static_cast<QWidget *>(m_pdf),
                       static_cast<QWidget *>(m_count), static_cast<QWidget *>(m_full)})
        w->setEnabled(false);
    m_stopButton->setEnabled(true);
    m_progress->setRange(0, count);
    m_progress->setValue(0);
    m_progress->show();
    m_result->clear();
    const qsizetype before = m_printRun.cardsInPlay().size();
    const auto notice = m_printRun.printMany(
        count, toPdf, m_game.isDrawing(), m_full->isChecked() ? CardDealer::FullSeries : CardDealer::Classic,
        m_game.printRecord(), m_choosePdf, [this](int done) {
            m_progress->setValue(done);
            // The stop button and the window's painting are served between two cards.
            QCoreApplication::processEvents();
            return !m_stop && !m_game.isClosed();
        });
    for (QWidget *w : {static_cast<QWidget *>(m_print), static_cast<QWidget *>(m_pdf),
                       static_cast<QWidget *>(m_count), static_cast<QWidget *>(m_full)})
        w->setEnabled(true);
    m_stopButton->setEnabled(false);
    m_progress->hide();
    m_running = false;
    if (notice) {
        m_result->setText(notice->text);
        emit failed(notice->text, notice->title);
    } else if (m_printRun.cardsInPlay().size() > before) {
        m_result->setText(m_printRun.lastSummary() + QLatin1Char('.'));
        m_print->setDefault(false);
        m_print->setAutoDefault(false);
        m_pdf->setAutoDefault(false);
    }
    explain();
    m_count->setFocus();
}

void CardsDialog::closeEvent(QCloseEvent *event)
{
    // Closing during a run stops it; what is printed stays in play.
    m_stop = true;
    QDialog::closeEvent(event);
}
