#pragma once
// The check of a printed card by its code, during a pause: the card rebuilt from the code, its
// numbers already drawn marked, and the prizes it holds.

#include "announce/sound_port.h"

#include <QColor>
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
    void controlla();

    // The colour of a cell whose number is out.
    static QColor coloreUscito();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Grows the dialog to the height its wrapped lines need at its width: a top-level window does
    // not follow its labels' height for width on its own.
    void fitHeight();
    void mostraErrore(const QString &testo);
    void suona(const QString &nome);

    QList<int> m_drawn;
    SoundPort &m_sound;
    const CardsInPlay *m_inPlay;
    PrizeDesk *m_desk;
    QLineEdit *m_codice = nullptr;
    QPushButton *m_controlla = nullptr;
    QLabel *m_messaggio = nullptr;
    QWidget *m_esito = nullptr;
    QLabel *m_titolo = nullptr;
    std::array<std::array<QLabel *, 9>, 3> m_celle{};
    std::array<QLabel *, 3> m_righe{};
    QLabel *m_premio = nullptr;
    QLabel *m_momenti = nullptr;
    QLabel *m_vincita = nullptr;
};

// Makes the window's "Cartella per codice" open the check of the game's current draw order
// (window-modal, without blocking).
void installaControlloCartella(Form1 &form, const Game &game, SoundPort &sound, const CardsInPlay &inPlay,
                               PrizeDesk *desk = nullptr);
