#pragma once
// What the window and the room's screen paint again and again, drawn once and copied afterwards.
//
// Qt 6.4's raster engine keeps glyph images only up to 64 pixels and fills the outline of every
// larger glyph, and of every antialiased box, at every paint: on each number that was most of what the
// drawn number, the room screen's figures and its boxes cost. Here the image of each large glyph and
// of each box is made once (per face, size, colour and scale) and kept in QPixmapCache; smaller glyphs
// go to Qt as before. A face that no widget holds is let go by Qt and looked up again through
// fontconfig the next time, so the faces used at many sizes are kept here too.

#include <QFont>
#include <QLabel>

class QColor;
class QPainter;
class QPointF;
class QRectF;
class QString;

// `face` as one kept for the program's life, with its glyphs and metrics loaded.
QFont keptFace(const QFont &face);

// Draws one line of `text` with the painter's font and pen, its baseline starting at `origin`,
// where QPainter::drawText(origin, text) would draw it.
void drawLargeText(QPainter &p, const QPointF &origin, const QString &text);

// The same line placed in `box` as QPainter::drawText(box, alignment, text) places it.
void drawLargeText(QPainter &p, const QRectF &box, int alignment, const QString &text);

// A box with rounded corners filled with `fill` and edged inside `r` with `edge`, `edgeWidth` wide;
// a radius of half the box's side makes it a disc. Placed on whole pixels.
void drawKeptBox(QPainter &p, const QRectF &r, const QColor &fill, const QColor &edge, double edgeWidth,
                 double radius);

// A label whose plain text is painted through drawLargeText: the drawn number.
class LargeTextLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};
