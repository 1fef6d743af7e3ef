#pragma once

#include <QLabel>

// A cell of the board. Drawn, it shows its number as its caption; not drawn, its caption is empty,
// and while the caller draws by hand from the basket it shows the number faintly, so that a cell
// can be found without counting. The faint number is painted only: the caption stays empty.
class BoardCell : public QLabel
{
    Q_OBJECT

public:
    BoardCell(int number, QWidget *parent);

    int number() const { return m_number; }
    void setHint(bool on);
    bool hintShown() const { return m_hint && text().isEmpty(); }
    // Light grey: readable on the cell's white, and clearly not lit.
    static QColor hintColour() { return QColor(165, 165, 165); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_number;
    bool m_hint = false;
};
