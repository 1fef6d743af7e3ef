#pragma once

#include <QPushButton>

// A push button whose caption wraps onto a second line when it is wider than the button, as the
// board's narrow buttons need.
class WrapButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
