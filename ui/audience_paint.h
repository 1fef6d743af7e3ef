#pragma once
// The colours of the audience screen's themes, and how it sets text and boxes.

#include "ui/audience_screen.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <array>

class QPainter;

// The faces of the screen's figures at its present size, set once the layout is known.
struct AudienceScreen::Faces {
    QFont litCell, dimCell, slot, ball;
    double captionPixels = 0;
};

namespace audience_paint
{

// The colours of a theme given as they are; the others are worked out from them for each block row.
struct PlainColours {
    QColor background, panel, panelEdge, figure, words, meaning, counter, caption;
    QColor pauseFill, pauseText, newest, emptySlot;
    QColor newestFill; // invalid: as the other drawn cells
};

// A drawn cell differs from the others in its fill, its frame and the weight of its figure, so
// that the room tells them apart without the colours too.
struct Colours : PlainColours {
    std::array<QColor, 3> blockFill, blockEdge; // by block row
    std::array<QColor, 3> cellFill, cellEdge, cellFigure;
    std::array<QColor, 3> litFill, litEdge, litFigure;
};

// The number's panel while the caller's number is red.
inline const QColor kRed(210, 0, 0);

const Colours &coloursOf(AudienceScreen::Theme theme);

QFont face(double pixels, bool bold, bool italic = false);

// The largest face that fits `text`'s inked shape into `box`, at most `maxPixels` high.
QFont fittedFace(const QString &text, const QSizeF &box, bool bold, double maxPixels);

// The text drawn with its ink centred in `box`.
void drawCentred(QPainter &p, const QRectF &box, const QString &text);

// The text on one line, as large as fits the box's width and `heightShare` of its height, with room
// to spare at the sides for a slanted face; returns the size used.
double drawLine(QPainter &p, const QRectF &box, const QString &text, const QFont &style, double heightShare,
                double maxPixels = 1e9);

void roundedBox(QPainter &p, const QRectF &r, const QColor &fill, const QColor &edge, double edgeWidth,
                double radius);

} // namespace audience_paint
