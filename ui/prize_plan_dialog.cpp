#include "ui/prize_plan_dialog.h"

#include "ui/qt_colour.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace
{
QDoubleSpinBox *euroBox(QWidget *parent, double most, const char *name)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    box->setDecimals(2);
    box->setRange(0, most);
    box->setSuffix(QStringLiteral(" €"));
    box->setGroupSeparatorShown(true);
    return box;
}
qint64 cents(const QDoubleSpinBox *box)
{
    return qint64(std::llround(box->value() * 100.0));
}
} // namespace

PrizePlanDialog::PrizePlanDialog(const PrizePlan &plan, int cards, QWidget *parent)
    : QDialog(parent), m_cards(cards)
{
    setObjectName(QStringLiteral("PrizePlanDialog"));
    setWindowTitle(QStringLiteral("Montepremi della serata"));
    auto *column = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_price = euroBox(this, 1000, "spn_prezzo");
    m_price->setValue(double(plan.cardPrice) / 100.0);
    form->addRow(QStringLiteral("&Prezzo di una cartella:"), m_price);
    column->addLayout(form);

    m_takings = new QRadioButton(QStringLiteral("Montepremi dall'&incasso delle cartelle in gioco"), this);
    m_takings->setObjectName(QStringLiteral("opt_incasso"));
    auto *organiserRow = new QHBoxLayout;
    organiserRow->addSpacing(24);
    auto *organiserLabel = new QLabel(QStringLiteral("parte dell'&organizzatore:"), this);
    organiserRow->addWidget(organiserLabel);
    m_organiser = new QSpinBox(this);
    // The label's key reaches its box (without a buddy the "&" would show).
    organiserLabel->setBuddy(m_organiser);
    m_organiser->setObjectName(QStringLiteral("spn_organizzatore"));
    m_organiser->setRange(0, 100);
    m_organiser->setSuffix(QStringLiteral(" %"));
    m_organiser->setValue(plan.organiserPercent);
    organiserRow->addWidget(m_organiser);
    organiserRow->addStretch(1);
    m_fixed = new QRadioButton(QStringLiteral("Montepremi &fisso per ogni tombola:"), this);
    m_fixed->setObjectName(QStringLiteral("opt_fisso"));
    m_fixedPot = euroBox(this, 10000000, "spn_montepremi");
    m_fixedPot->setValue(double(plan.fixedPot) / 100.0);
    auto *fixedRow = new QHBoxLayout;
    fixedRow->addWidget(m_fixed);
    fixedRow->addWidget(m_fixedPot);
    fixedRow->addStretch(1);
    m_fixedPrizes = new QRadioButton(QStringLiteral("Premi di &valore fisso"), this);
    m_fixedPrizes->setObjectName(QStringLiteral("opt_premi_fissi"));
    column->addWidget(m_takings);
    column->addLayout(organiserRow);
    column->addLayout(fixedRow);
    column->addWidget(m_fixedPrizes);
    (plan.pot == PrizePlan::Pot::Takings ? m_takings
     : plan.pot == PrizePlan::Pot::Fixed ? m_fixed
                                         : m_fixedPrizes)
        ->setChecked(true);

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("<b>Premio</b>"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("<b>Quota</b>"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("<b>Valore fisso</b>"), this), 0, 2);
    int row = 1;
    for (const Prize p :
         {Prize::Ambo, Prize::Terno, Prize::Quaterno, Prize::Cinquina, Prize::Tombola, Prize::Tombolino}) {
        const std::size_t i = std::size_t(p);
        if (p == Prize::Tombolino) {
            m_tombolino = new QCheckBox(QStringLiteral("T&OMBOLINO, dopo la tombola"), this);
            m_tombolino->setObjectName(QStringLiteral("chk_tombolino"));
            m_tombolino->setChecked(plan.tombolino);
            grid->addWidget(m_tombolino, row, 0);
        } else {
            grid->addWidget(new QLabel(prizeWord(p), this), row, 0);
        }
        m_shares[i] = new QSpinBox(this);
        m_shares[i]->setObjectName(QStringLiteral("spn_quota_%1").arg(QLatin1String(prizeInfo(p).word)));
        m_shares[i]->setRange(0, 100);
        m_shares[i]->setSuffix(QStringLiteral(" %"));
        m_shares[i]->setValue(int(plan.shares[i]));
        m_values[i] = euroBox(this, 10000000, "spn_valore");
        m_values[i]->setObjectName(QStringLiteral("spn_valore_%1").arg(QLatin1String(prizeInfo(p).word)));
        m_values[i]->setValue(double(plan.values[i]) / 100.0);
        grid->addWidget(m_shares[i], row, 1);
        grid->addWidget(m_values[i], row, 2);
        ++row;
    }
    column->addLayout(grid);

    auto *capForm = new QFormLayout;
    m_cap = euroBox(this, 100000000, "spn_limite");
    m_cap->setValue(double(plan.cap) / 100.0);
    m_cap->setToolTip(
        QStringLiteral("il valore massimo dei premi di una tombola organizzata da un'associazione"));
    capForm->addRow(QStringLiteral("&Limite per i premi di una tombola:"), m_cap);
    column->addLayout(capForm);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("lbl_riepilogo"));
    m_summary->setWordWrap(true);
    column->addWidget(m_summary);
    m_warnings = new QLabel(this);
    m_warnings->setObjectName(QStringLiteral("lbl_avvisi"));
    m_warnings->setWordWrap(true);
    QPalette red = m_warnings->palette();
    red.setColor(QPalette::WindowText, qColour(Palette::errorText));
    m_warnings->setPalette(red);
    column->addWidget(m_warnings);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("cmd_ok"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annulla"));
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (QDoubleSpinBox *b : {m_price, m_fixedPot, m_cap})
        connect(b, &QDoubleSpinBox::valueChanged, this, &PrizePlanDialog::update);
    for (QSpinBox *b : m_shares)
        if (b) connect(b, &QSpinBox::valueChanged, this, &PrizePlanDialog::update);
    for (QDoubleSpinBox *b : m_values)
        if (b) connect(b, &QDoubleSpinBox::valueChanged, this, &PrizePlanDialog::update);
    connect(m_organiser, &QSpinBox::valueChanged, this, &PrizePlanDialog::update);
    for (QAbstractButton *b :
         {static_cast<QAbstractButton *>(m_takings), static_cast<QAbstractButton *>(m_fixed),
          static_cast<QAbstractButton *>(m_fixedPrizes), static_cast<QAbstractButton *>(m_tombolino)})
        connect(b, &QAbstractButton::toggled, this, &PrizePlanDialog::update);
    update();
}

PrizePlan PrizePlanDialog::plan() const
{
    PrizePlan plan;
    plan.cardPrice = cents(m_price);
    plan.pot = m_takings->isChecked() ? PrizePlan::Pot::Takings
               : m_fixed->isChecked() ? PrizePlan::Pot::Fixed
                                      : PrizePlan::Pot::FixedPrizes;
    plan.fixedPot = cents(m_fixedPot);
    plan.organiserPercent = m_organiser->value();
    plan.tombolino = m_tombolino->isChecked();
    plan.cap = cents(m_cap);
    for (std::size_t i = 1; i < plan.shares.size(); ++i) {
        plan.shares[i] = m_shares[i]->value();
        plan.values[i] = cents(m_values[i]);
    }
    return plan;
}

void PrizePlanDialog::update()
{
    const PrizePlan p = plan();
    const bool byShare = p.pot != PrizePlan::Pot::FixedPrizes;
    m_organiser->setEnabled(p.pot == PrizePlan::Pot::Takings);
    m_fixedPot->setEnabled(p.pot == PrizePlan::Pot::Fixed);
    for (std::size_t i = 1; i < m_shares.size(); ++i) {
        const bool played = i != std::size_t(Prize::Tombolino) || p.tombolino;
        m_shares[i]->setEnabled(byShare && played);
        m_values[i]->setEnabled(!byShare && played);
    }
    const Payout pay = payout(p, m_cards);
    QStringList prizes;
    for (const Prize prize : p.prizes())
        prizes << prizeWord(prize) + QLatin1Char(' ') + euro(pay.prize[std::size_t(prize)]);
    QString text =
        QStringLiteral("Con %1 in gioco: ")
            .arg(m_cards == 1 ? QStringLiteral("1 cartella") : QStringLiteral("%1 cartelle").arg(m_cards));
    if (p.pot == PrizePlan::Pot::Takings)
        text +=
            QStringLiteral("incasso %1, all'organizzatore %2, ").arg(euro(pay.takings), euro(pay.organiser));
    text += QStringLiteral("montepremi %1.\n%2.").arg(euro(pay.pot), prizes.join(QStringLiteral(", ")));
    m_summary->setText(text);
    const QStringList warnings = planWarnings(p, m_cards);
    m_warnings->setText(warnings.join(QLatin1Char('\n')));
    m_warnings->setVisible(!warnings.isEmpty());
    // Shares that do not make the whole leave part of the pot to nobody: not accepted.
    m_ok->setEnabled(!byShare || std::none_of(warnings.cbegin(), warnings.cend(), [](const QString &w) {
        return w.startsWith(QStringLiteral("Le quote"));
    }));
}
