#pragma once
// The evening's prize plan: what a card costs, where the pot comes from (the takings of the cards
// in play, a fixed sum, or prizes of fixed value), each prize's share, the tombolino, the
// organiser's part and the legal cap, with what they come to for the cards in play now.

#include "claims/prize_pot.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

class PrizePlanDialog : public QDialog
{
    Q_OBJECT

public:
    // `cards`: the cards that play the game now, for the figures shown.
    PrizePlanDialog(const PrizePlan &plan, int cards, QWidget *parent = nullptr);

    PrizePlan plan() const;
    QLabel *summary() const { return m_summary; }
    QPushButton *okButton() const { return m_ok; }

private:
    void update();

    int m_cards;
    QDoubleSpinBox *m_price = nullptr;
    QRadioButton *m_takings = nullptr;
    QRadioButton *m_fixed = nullptr;
    QRadioButton *m_fixedPrizes = nullptr;
    QDoubleSpinBox *m_fixedPot = nullptr;
    QSpinBox *m_organiser = nullptr;
    std::array<QSpinBox *, 7> m_shares{};
    std::array<QDoubleSpinBox *, 7> m_values{};
    QCheckBox *m_tombolino = nullptr;
    QDoubleSpinBox *m_cap = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_warnings = nullptr;
    QPushButton *m_ok = nullptr;
};
