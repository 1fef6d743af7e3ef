#pragma once
// The check of a printed card by its code, during a pause: shows what the card check finds (the
// card with its drawn numbers marked, the prizes it holds, the ladder's verdict) and plays the
// fanfare of a prize it wins.

#include "announce/sound_port.h"

#include <QDialog>
#include <QList>
#include <array>

class CardsInPlay;
class Form1;
class Game;
class PrizeDesk;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class CardCheckDialog : public QDialog
{
    Q_OBJECT

public:
    // `drawn`: the numbers of the current game in draw order.
    // `inPlay`: the cards printed tonight, the only ones that can win; null accepts every code.
    // `desk`: the ladder of prizes a card of tonight is put to; with none, only a tombola is cheered.
    CardCheckDialog(QList<int> drawn, SoundPort &sound, const CardsInPlay *inPlay = nullptr,
                    QWidget *parent = nullptr, PrizeDesk *desk = nullptr);

    // Reads the code in the box and shows its card, or says what is wrong with the code.
    void check();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Grows the dialog to the height its wrapped lines need at its width: a top-level window does
    // not follow its labels' height for width on its own.
    void fitHeight();
    void showError(const QString &text);

    QList<int> m_drawn;
    SoundPort &m_sound;
    const CardsInPlay *m_inPlay;
    PrizeDesk *m_desk;
    QLineEdit *m_code = nullptr;
    QPushButton *m_check = nullptr;
    QLabel *m_message = nullptr;
    QWidget *m_result = nullptr;
    QLabel *m_title = nullptr;
    std::array<std::array<QLabel *, 9>, 3> m_cells{};
    std::array<QLabel *, 3> m_rows{};
    QLabel *m_best = nullptr;
    QLabel *m_moments = nullptr;
    QLabel *m_verdict = nullptr;
};

// Makes the window's "Cartella per codice" open the check of the game's current draw order
// (window-modal, without blocking).
void installCardCheck(Form1 &form, const Game &game, SoundPort &sound, const CardsInPlay &inPlay,
                      PrizeDesk *desk = nullptr);
