#pragma once
// The repeat of the last numbers during a pause: the repeat box, and the last N numbers shown on a
// red big display and spoken again, oldest first, at the game's pace. Changes nothing of the game.

#include <cstdint>

class Game;

class Repeat
{
public:
    explicit Repeat(Game &game) : m_game(game) {}

    void ripetiClicked();               // cmd_ripeti_Click
    void keyPressed(std::int16_t &key); // txt_ultimi_KeyPress; returns when a repeat has ended

private:
    void run();

    Game &m_game;
};
