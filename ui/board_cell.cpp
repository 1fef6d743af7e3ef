#include "ui/board_cell.h"

#include <QPainter>

BoardCell::BoardCell(int number, QWidget *parent) : QLabel(QString::number(number), parent), m_number(number)
{
}

void BoardCell::setHint(bool on)
{
    if (on == m_hint) return;
    m_hint = on;
    if (text().isEmpty()) update();
}

void BoardCell::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hintShown()) return;
    QPainter p(this);
    QFont light = font();
    light.setBold(false);
    p.setFont(light);
    p.setPen(hintColour());
    p.drawText(contentsRect(), Qt::AlignCenter, QString::number(m_number));
}
