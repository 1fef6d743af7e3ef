#include "ui/paint_cache.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <QRawFont>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

namespace
{
// The largest glyph, in device pixels, that QRasterPaintEngine keeps as an image itself.
constexpr double kQtKeepsUpTo = 64;

// The device's scale when the painter only moves and scales alike in both directions, else 0.
double plainScale(const QTransform &toDevice)
{
    const bool plain = toDevice.type() <= QTransform::TxScale && toDevice.m11() > 0 &&
                       qFuzzyCompare(toDevice.m11(), toDevice.m22());
    return plain ? toDevice.m11() : 0;
}

// An image made once, drawn with its top left on the whole device pixel `at`.
void drawOnPixel(QPainter &p, const QTransform &toDevice, const QPoint &at, const QPixmap &image,
                 double scale)
{
    p.drawPixmap(QRectF(toDevice.inverted().map(QPointF(at)), QSizeF(image.size()) / scale), image,
                 QRectF(image.rect()));
}

// A glyph's image in device pixels; `offset` is where its top left lies from the glyph's origin.
struct GlyphImage {
    QPixmap image;
    QPoint offset;
};

// Filled as the raster engine fills a large glyph: its outline, antialiased, in the pen's colour.
GlyphImage glyphImage(const QString &faceKey, const QRawFont &font, quint32 glyph, const QColor &colour,
                      double scale)
{
    // Where each kept image lies from its glyph's origin; the images themselves are QPixmapCache's.
    static QHash<QString, QPoint> offsets;
    const QString key = faceKey + QString::number(glyph);
    GlyphImage g;
    const auto known = offsets.constFind(key);
    if (known != offsets.constEnd() && QPixmapCache::find(key, &g.image)) {
        g.offset = *known;
        return g;
    }
    const QPainterPath path = QTransform::fromScale(scale, scale).map(font.pathForGlyph(glyph));
    const QRectF bounds = path.boundingRect();
    g.offset = QPoint(int(std::floor(bounds.left())) - 1, int(std::floor(bounds.top())) - 1);
    const QSize size(std::max(1, int(std::ceil(bounds.right())) + 1 - g.offset.x()),
                     std::max(1, int(std::ceil(bounds.bottom())) + 1 - g.offset.y()));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter ip(&image);
        ip.setRenderHint(QPainter::Antialiasing);
        ip.translate(-g.offset);
        ip.fillPath(path, colour);
    }
    g.image = QPixmap::fromImage(std::move(image));
    if (offsets.size() > 20000) offsets.clear();
    offsets.insert(key, g.offset);
    QPixmapCache::insert(key, g.image);
    return g;
}

// One line of text laid out with the painter's font on its device, starting at (0, 0).
struct Line {
    QTextLayout layout;
    QTextLine line;
    Line(const QString &text, const QPainter &p) : layout(text, p.font(), p.device())
    {
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        line = layout.createLine();
        if (line.isValid()) line.setPosition(QPointF(0, 0));
        layout.endLayout();
    }
};

// Draws the laid-out line with its top left at `topLeft`.
void drawLine(QPainter &p, const Line &l, const QPointF &topLeft)
{
    const QTransform toDevice = p.deviceTransform();
    const double scale = plainScale(toDevice);
    const bool solid = p.pen().style() != Qt::NoPen && p.pen().brush().style() == Qt::SolidPattern;
    const QColor colour = p.pen().color();
    for (const QGlyphRun &run : l.layout.glyphRuns()) {
        const QRawFont font = run.rawFont();
        if (scale <= 0 || !solid || font.pixelSize() * scale <= kQtKeepsUpTo) {
            p.drawGlyphRun(topLeft, run);
            continue;
        }
        const QString faceKey = QStringLiteral("glyph|%1|%2|%3|%4|%5|%6|%7|")
                                    .arg(font.familyName(), font.styleName())
                                    .arg(font.pixelSize())
                                    .arg(int(font.weight()))
                                    .arg(int(font.style()))
                                    .arg(colour.rgba())
                                    .arg(scale);
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype k = 0; k < glyphs.size() && k < positions.size(); ++k) {
            const GlyphImage g = glyphImage(faceKey, font, glyphs[k], colour, scale);
            // On a whole device pixel, so the image is copied and not resampled.
            const QPointF origin = toDevice.map(topLeft + positions[k]);
            drawOnPixel(p, toDevice,
                        QPoint(int(std::lround(origin.x())), int(std::lround(origin.y()))) + g.offset,
                        g.image, scale);
        }
    }
}
} // namespace

void drawLargeText(QPainter &p, const QPointF &origin, const QString &text)
{
    if (text.isEmpty()) return;
    const Line l(text, p);
    if (!l.line.isValid()) return;
    drawLine(p, l, origin - QPointF(0, l.line.ascent()));
}

void drawLargeText(QPainter &p, const QRectF &box, int alignment, const QString &text)
{
    if (text.isEmpty()) return;
    const Line l(text, p);
    if (!l.line.isValid()) return;
    const double width = l.line.naturalTextWidth(), height = l.line.ascent() + l.line.descent();
    double x = box.left(), y = box.top();
    if (alignment & Qt::AlignRight)
        x = box.right() - width;
    else if (alignment & Qt::AlignHCenter)
        x = box.left() + (box.width() - width) / 2;
    if (alignment & Qt::AlignBottom)
        y = box.bottom() - height;
    else if (alignment & Qt::AlignVCenter)
        y = box.top() + (box.height() - height) / 2;
    drawLine(p, l, QPointF(x, y));
}

QFont keptFace(const QFont &face)
{
    static QHash<QString, QFont> kept;
    const QString key = face.key();
    auto it = kept.constFind(key);
    if (it == kept.constEnd()) {
        // A window resized by hand passes through many sizes: the faces of the ones left behind go.
        if (kept.size() >= 256) kept.clear();
        it = kept.insert(key, face);
        QFontMetricsF(*it).height();
    }
    return *it;
}

void drawKeptBox(QPainter &p, const QRectF &r, const QColor &fill, const QColor &edge, double edgeWidth,
                 double radius)
{
    const QTransform toDevice = p.deviceTransform();
    const double scale = plainScale(toDevice);
    const auto paintBox = [&](QPainter &on, const QRectF &box) {
        on.setPen(edgeWidth > 0 ? QPen(edge, edgeWidth) : QPen(Qt::NoPen));
        on.setBrush(fill);
        const double h = edgeWidth / 2;
        on.drawRoundedRect(box.adjusted(h, h, -h, -h), radius, radius);
    };
    if (scale <= 0 || r.width() <= 0 || r.height() <= 0) {
        paintBox(p, r);
        return;
    }
    // The box keeps where it falls within its first pixel, to a quarter of one, as drawn directly.
    const QPointF at = toDevice.map(r.topLeft());
    const QPoint whole(int(std::floor(at.x())), int(std::floor(at.y())));
    const QPoint quarters(int((at.x() - whole.x()) * 4), int((at.y() - whole.y()) * 4));
    const QSizeF size = r.size() * scale;
    const QString key = QStringLiteral("box|%1|%2|%3|%4|%5|%6|%7|%8|%9")
                            .arg(qRound(size.width() * 4))
                            .arg(qRound(size.height() * 4))
                            .arg(quarters.x())
                            .arg(quarters.y())
                            .arg(fill.rgba())
                            .arg(edge.rgba())
                            .arg(qRound(edgeWidth * scale * 8))
                            .arg(qRound(radius * scale * 8))
                            .arg(p.testRenderHint(QPainter::Antialiasing));
    QPixmap image;
    if (!QPixmapCache::find(key, &image)) {
        QImage drawn(QSize(int(std::ceil(size.width())) + 3, int(std::ceil(size.height())) + 3),
                     QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        {
            QPainter ip(&drawn);
            ip.setRenderHints(p.renderHints());
            ip.translate(1 + quarters.x() / 4.0, 1 + quarters.y() / 4.0);
            ip.scale(scale, scale);
            paintBox(ip, QRectF(QPointF(0, 0), r.size()));
        }
        image = QPixmap::fromImage(std::move(drawn));
        QPixmapCache::insert(key, image);
    }
    drawOnPixel(p, toDevice, whole - QPoint(1, 1), image, scale);
}

void LargeTextLabel::paintEvent(QPaintEvent *event)
{
    const QString shown = text();
    const bool rich =
        textFormat() == Qt::RichText || (textFormat() == Qt::AutoText && Qt::mightBeRichText(shown));
    if (rich || wordWrap() || shown.contains(QLatin1Char('\n')) || !pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    drawFrame(&p);
    const int m = margin();
    const QRect room = contentsRect().adjusted(m, m, -m, -m);
    p.setFont(font());
    p.setPen(
        palette().color(isEnabled() ? palette().currentColorGroup() : QPalette::Disabled, foregroundRole()));
    drawLargeText(p, QRectF(room), int(alignment()), shown);
}
