#include "ui/audience_paint.h"

#include "ui/paint_cache.h"
#include "ui/qt_colour.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace audience_paint
{

namespace
{

QColor mix(const QColor &a, const QColor &b, double t)
{
    auto ch = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return QColor(ch(a.red(), b.red()), ch(a.green(), b.green()), ch(a.blue(), b.blue()));
}

// The colours of one block row's blocks and cells.
struct RowColours {
    QColor blockFill, blockEdge, cellFill, cellEdge, cellFigure, litFill, litEdge, litFigure;
};

QColor accent(int row)
{
    return qColour(Palette::blockRows[row]);
}

Colours themed(const PlainColours &plain, RowColours (*rowOf)(const PlainColours &, int))
{
    Colours c;
    static_cast<PlainColours &>(c) = plain;
    for (std::size_t k = 0; k < 3; ++k) {
        const RowColours row = rowOf(plain, int(k));
        c.blockFill[k] = row.blockFill;
        c.blockEdge[k] = row.blockEdge;
        c.cellFill[k] = row.cellFill;
        c.cellEdge[k] = row.cellEdge;
        c.cellFigure[k] = row.cellFigure;
        c.litFill[k] = row.litFill;
        c.litEdge[k] = row.litEdge;
        c.litFigure[k] = row.litFigure;
    }
    return c;
}

const QColor kYellow(255, 255, 0);
const std::array<QColor, 3> kDeep{QColor(0, 105, 40), QColor(175, 75, 0), QColor(30, 55, 165)};

} // namespace

const Colours &coloursOf(AudienceScreen::Theme theme)
{
    static const Colours dark =
        themed({QColor(12, 16, 24), QColor(27, 34, 48), QColor(92, 104, 124), Qt::white,
                QColor(255, 226, 120), QColor(214, 220, 232), QColor(200, 208, 222), QColor(150, 160, 178),
                QColor(255, 190, 0), Qt::black, QColor(255, 214, 0), QColor(70, 80, 98), QColor()},
               [](const PlainColours &c, int k) {
                   const QColor a = accent(k);
                   return RowColours{mix(c.background, a, 0.09),
                                     mix(c.background, a, 0.55),
                                     mix(c.background, a, 0.05),
                                     mix(c.background, a, 0.22),
                                     mix(c.background, mix(a, Qt::white, 0.35), 0.5),
                                     a,
                                     Qt::white,
                                     QColor(10, 10, 10)};
               });
    static const Colours light =
        themed({QColor(238, 238, 232), Qt::white, QColor(110, 110, 120), QColor(15, 15, 20),
                QColor(125, 60, 0), QColor(45, 45, 55), QColor(30, 30, 40), QColor(80, 80, 90),
                QColor(255, 190, 0), Qt::black, QColor(215, 30, 0), QColor(170, 170, 175), QColor()},
               [](const PlainColours &, int k) {
                   const QColor deep = kDeep[std::size_t(k)];
                   return RowColours{mix(Qt::white, accent(k), 0.2), deep, Qt::white, QColor(165, 165, 165),
                                     QColor(105, 105, 110),          deep, Qt::black, Qt::white};
               });
    static const Colours high =
        themed({Qt::black, Qt::black, Qt::white, Qt::white, kYellow, Qt::white, Qt::white, Qt::white, kYellow,
                Qt::black, kYellow, QColor(150, 150, 150), Qt::white},
               [](const PlainColours &, int) {
                   return RowColours{Qt::black, QColor(200, 200, 200),
                                     Qt::black, QColor(150, 150, 150),
                                     Qt::white, kYellow,
                                     Qt::white, Qt::black};
               });
    switch (theme) {
    case AudienceScreen::Theme::Light:
        return light;
    case AudienceScreen::Theme::HighContrast:
        return high;
    case AudienceScreen::Theme::Dark:
        break;
    }
    return dark;
}

namespace
{
// Sizes a twelfth apart at most: the words of one game and the next come in a few faces, whose glyphs
// are then drawn from kept images.
int steppedPixels(double pixels)
{
    const int whole = std::max(1, int(pixels));
    return whole - whole % std::max(1, whole / 12);
}
} // namespace

QFont face(double pixels, bool bold, bool italic)
{
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(std::max(1, int(pixels)));
    f.setBold(bold);
    f.setItalic(italic);
    return keptFace(f);
}

QFont fittedFace(const QString &text, const QSizeF &box, bool bold, double maxPixels)
{
    const QFont probe = face(200, bold);
    const QRectF ink = QFontMetricsF(probe).tightBoundingRect(text);
    if (ink.width() <= 0 || ink.height() <= 0) return face(maxPixels, bold);
    const double scale = std::min(box.width() / ink.width(), box.height() / ink.height());
    return face(std::min(maxPixels, probe.pixelSize() * scale), bold);
}

void drawCentred(QPainter &p, const QRectF &box, const QString &text)
{
    const QRectF ink = QFontMetricsF(p.font()).tightBoundingRect(text);
    const QPointF at(box.center().x() - ink.center().x(), box.center().y() - ink.center().y());
    drawLargeText(p, at, text);
}

double drawLine(QPainter &p, const QRectF &box, const QString &text, const QFont &style, double heightShare,
                double maxPixels)
{
    QFont f = style;
    f.setPixelSize(100);
    const double width = QFontMetricsF(keptFace(f)).horizontalAdvance(text);
    double pixels = std::min(maxPixels, box.height() * heightShare);
    if (width > 0) pixels = std::min(pixels, 100 * box.width() * 0.94 / width);
    f.setPixelSize(steppedPixels(pixels));
    p.setFont(keptFace(f));
    drawLargeText(p, box, Qt::AlignCenter, text);
    return pixels;
}

void roundedBox(QPainter &p, const QRectF &r, const QColor &fill, const QColor &edge, double edgeWidth,
                double radius)
{
    drawKeptBox(p, r, fill, edge, edgeWidth, radius);
}

} // namespace audience_paint
