// What observers are told changed at each publish(): the display, the numbers drawn and the pause
// compared with what they were last told, and whether any control of the window was set meanwhile.

#include "game/game.h"

Game::Changes Game::takeChanges()
{
    Changes what;
    if (m_watchedView.takeTouched()) what |= Change::Controls;
    if (!(m_display == m_publishedDisplay)) {
        what |= Change::Displayed;
        m_publishedDisplay = m_display;
    }
    const int count = std::clamp(m_state.drawnCount(), 0, 90);
    bool same = count == m_publishedCount;
    for (int j = 1; same && j <= count; ++j)
        same = m_state.numeri_estratti(j) == m_publishedNumbers[std::size_t(j - 1)];
    if (!same) {
        what |= Change::Numbers;
        m_publishedCount = count;
        for (int j = 1; j <= count; ++j)
            m_publishedNumbers[std::size_t(j - 1)] = m_state.numeri_estratti(j);
    }
    if (isPaused() != m_publishedPause) {
        what |= Change::Pause;
        m_publishedPause = !m_publishedPause;
    }
    return what;
}

void Game::WatchedView::setCaption(ControlId c, const QString &text)
{
    m_touched = true;
    m_inner.setCaption(c, text);
}

void Game::WatchedView::setEnabled(ControlId c, bool on)
{
    m_touched = true;
    m_inner.setEnabled(c, on);
}

void Game::WatchedView::setVisible(ControlId c, bool on)
{
    m_touched = true;
    m_inner.setVisible(c, on);
}

void Game::WatchedView::setLocked(ControlId c, bool on)
{
    m_touched = true;
    m_inner.setLocked(c, on);
}

void Game::WatchedView::setBackColor(ControlId c, Rgb colour)
{
    m_touched = true;
    m_inner.setBackColor(c, colour);
}

void Game::WatchedView::setFace(ControlId c, const QString &family)
{
    m_touched = true;
    m_inner.setFace(c, family);
}

void Game::WatchedView::setBorder(ControlId c)
{
    m_touched = true;
    m_inner.setBorder(c);
}

void Game::WatchedView::setChecked(ControlId c, bool on)
{
    m_touched = true;
    m_inner.setChecked(c, on);
}

void Game::WatchedView::setValue(ControlId c, int value)
{
    m_touched = true;
    m_inner.setValue(c, value);
}

void Game::WatchedView::showWindow()
{
    m_touched = true;
    m_inner.showWindow();
}

void Game::WatchedView::clearSurface()
{
    m_touched = true;
    m_inner.clearSurface();
}
