#pragma once
// The caller's window at any size from its least one up, laid out as a whole: every control at its
// place and size at the least size times one factor, its font likewise, and the layout centred in
// the room left over. The factor is the smaller of the window's two ratios to its least size, so
// nothing is drawn out of shape: the board's cells stay the shape they are and the texts grow as
// their controls do.
//
// Places and fonts at the least size are read from the controls the first time the window leaves
// it and kept on each control; a control made after that is taken as placed in pixels of the least
// size, as every control of the window is placed.

#include <QFont>
#include <QPoint>
#include <QRect>

class QWidget;

class LayoutScale
{
public:
    explicit LayoutScale(QWidget &window) : m_window(window) {}

    // The factor for a window of `size` whose least size is `least`.
    static double factorFor(QSize size, QSize least);

    double factor() const { return m_factor; }
    // Where the layout's top left stands in the window.
    QPoint origin() const { return m_origin; }

    // Lays the controls out for the window's present size; false when they stand as they did.
    bool apply();

    // A length, and a font, of the least size at the present factor.
    int length(int pixels) const;
    QFont font(const QFont &f) const;
    // `points` of the least size at the present factor, on `f`.
    QFont font(QFont f, int points) const;

    // Marks a control whose font its own code fits to its text: the fitting scales its sizes with
    // font(), and the face the control has is kept.
    static void fitsOwnFont(QWidget &w);

private:
    // `r`, in pixels of the least size from the layout's top left, at the present factor, with each
    // edge rounded on its own, so controls that meet at the least size still meet.
    QRect box(const QRect &r) const;
    // Places `parent`'s controls; `nowTopLeft` is where the parent stands now from the window's top
    // left (nothing for the window itself).
    void place(QWidget &parent, const QPoint &nowTopLeft);

    QWidget &m_window;
    double m_factor = 1;
    QPoint m_origin;
};
