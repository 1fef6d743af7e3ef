#pragma once
// The check of a player's claim during a pause: the claim panel, the prize buttons that unlock
// their boxes, and each typed number compared with the numbers drawn as it leaves its box. Knows
// no widget: it works on the window through GameView.

#include <QObject>
#include <cstdint>

class Game;

class ClaimCheck : public QObject
{
    Q_OBJECT

public:
    explicit ClaimCheck(Game &game, QObject *parent = nullptr);

    void panelToggled();                           // cmd_verifica_Click
    void prizePicked(int index);                   // cmd_ambo_Click
    void keyPressed(int index, std::int16_t &key); // Text1_KeyPress
    void boxLeft(int index);                       // Text1_LostFocus

signals:
    // The number typed into box `box` was checked for the prize `prize`: drawn or not.
    void numberChecked(int prize, int box, const QString &text, bool drawn);

private:
    Game &m_game;
};
