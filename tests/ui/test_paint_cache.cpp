// Glyphs and boxes drawn from kept images land where Qt's own drawing puts them, in the same colour,
// at the sizes and scales the window and the room's screen use, the first time and the next.

#include "ui/paint_cache.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTest>

namespace
{
QImage blank(QSize size, double dpr)
{
    QImage img(size * dpr, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::white);
    return img;
}

// The box around every pixel that is not white, and how dark the darkest is.
struct Ink {
    QRect box;
    int darkest = 255;
    QRgb colour = 0; // of the darkest
};

Ink inkOf(const QImage &img)
{
    Ink ink;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            if (px == qRgb(255, 255, 255)) continue;
            ink.box |= QRect(x, y, 1, 1);
            if (qGray(px) < ink.darkest) {
                ink.darkest = qGray(px);
                ink.colour = px;
            }
        }
    return ink;
}

// The share of pixels that differ by more than a quarter of the scale in any channel.
double differing(const QImage &a, const QImage &b)
{
    int off = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > 64 || std::abs(qGreen(p) - qGreen(q)) > 64 ||
                std::abs(qBlue(p) - qBlue(q)) > 64)
                ++off;
        }
    return double(off) / (a.width() * a.height());
}

QFont bold(int pixels)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(pixels);
    f.setBold(true);
    return f;
}
} // namespace

class TestPaintCache : public QObject
{
    Q_OBJECT
private slots:
    void largeTextLandsWhereQtDrawsIt_data();
    void largeTextLandsWhereQtDrawsIt();
    void boxesMatchTheirDirectDrawing();
    void labelPaintsItsNumberAndFallsBackForRichText();
};

void TestPaintCache::largeTextLandsWhereQtDrawsIt_data()
{
    QTest::addColumn<int>("pixels");
    QTest::addColumn<double>("dpr");
    QTest::addColumn<QPointF>("origin");
    QTest::addColumn<QString>("text");
    QTest::newRow("small, left to Qt") << 40 << 1.0 << QPointF(10, 60) << QStringLiteral("47");
    QTest::newRow("drawn number") << 96 << 1.0 << QPointF(12, 120) << QStringLiteral("88");
    QTest::newRow("half pixel") << 150 << 1.0 << QPointF(10.5, 170.25) << QStringLiteral("90");
    QTest::newRow("words with kerning") << 80 << 1.0 << QPointF(5, 100) << QStringLiteral("VENTIQUATTRO AV");
    QTest::newRow("high density screen") << 90 << 2.0 << QPointF(7.25, 110) << QStringLiteral("63");
}

void TestPaintCache::largeTextLandsWhereQtDrawsIt()
{
    QFETCH(int, pixels);
    QFETCH(double, dpr);
    QFETCH(QPointF, origin);
    QFETCH(QString, text);
    const QSize size(int(QFontMetricsF(bold(pixels)).horizontalAdvance(text)) + 40, pixels * 2);
    QImage direct = blank(size, dpr);
    {
        QPainter p(&direct);
        p.setFont(bold(pixels));
        p.setPen(QColor(20, 40, 200));
        p.drawText(origin, text);
    }
    // Twice: drawn from new images, then from the kept ones.
    for (int round = 0; round < 2; ++round) {
        QImage kept = blank(size, dpr);
        {
            QPainter p(&kept);
            p.setFont(bold(pixels));
            p.setPen(QColor(20, 40, 200));
            drawLargeText(p, origin, text);
        }
        const Ink a = inkOf(direct), b = inkOf(kept);
        QVERIFY(!a.box.isEmpty());
        // Within a device pixel on every side, as dark, and nearly every pixel alike.
        for (const auto &[x, y] : {std::pair{a.box.left(), b.box.left()},
                                   {a.box.right(), b.box.right()},
                                   {a.box.top(), b.box.top()},
                                   {a.box.bottom(), b.box.bottom()}})
            QVERIFY2(std::abs(x - y) <= 1,
                     qPrintable(QStringLiteral("round %1: %2 against %3").arg(round).arg(x).arg(y)));
        QVERIFY(std::abs(a.darkest - b.darkest) <= 8);
        QVERIFY2(differing(direct, kept) < 0.01, qPrintable(QString::number(differing(direct, kept))));
        // The pen's colour.
        QVERIFY(qBlue(b.colour) > 150 && qRed(b.colour) < 80);
    }
    // Another colour is another image, not the one kept for the first.
    QImage red = blank(size, dpr);
    {
        QPainter p(&red);
        p.setFont(bold(pixels));
        p.setPen(Qt::red);
        drawLargeText(p, origin, text);
    }
    const QRgb darkest = inkOf(red).colour;
    QVERIFY(qRed(darkest) > 200 && qBlue(darkest) < 60);
}

void TestPaintCache::boxesMatchTheirDirectDrawing()
{
    struct Box {
        QRectF r;
        double edgeWidth, radius;
    };
    // A board cell, a drawn number's panel and a ball, at whole and fractional places.
    const Box boxes[] = {{QRectF(10, 10, 80, 60), 1, 7},
                         {QRectF(4.6, 8.3, 190.7, 150.2), 5.4, 11},
                         {QRectF(20.25, 30.75, 64, 64), 4, 30}};
    for (const double dpr : {1.0, 2.0})
        for (const Box &b : boxes)
            for (int round = 0; round < 2; ++round) {
                QImage direct = blank(QSize(220, 200), dpr), kept = direct;
                {
                    QPainter p(&direct);
                    p.setRenderHint(QPainter::Antialiasing);
                    p.setPen(QPen(QColor(200, 120, 0), b.edgeWidth));
                    p.setBrush(QColor(30, 160, 60));
                    const double h = b.edgeWidth / 2;
                    p.drawRoundedRect(b.r.adjusted(h, h, -h, -h), b.radius, b.radius);
                }
                {
                    QPainter p(&kept);
                    p.setRenderHint(QPainter::Antialiasing);
                    drawKeptBox(p, b.r, QColor(30, 160, 60), QColor(200, 120, 0), b.edgeWidth, b.radius);
                }
                const Ink a = inkOf(direct), k = inkOf(kept);
                QCOMPARE(k.box, a.box);
                QVERIFY2(differing(direct, kept) < 0.002, qPrintable(QStringLiteral("%1 at %2: %3")
                                                                         .arg(b.r.width())
                                                                         .arg(dpr)
                                                                         .arg(differing(direct, kept))));
            }
}

void TestPaintCache::labelPaintsItsNumberAndFallsBackForRichText()
{
    LargeTextLabel label;
    label.resize(210, 150);
    label.setAlignment(Qt::AlignCenter);
    QFont f = bold(96);
    label.setFont(f);
    QPalette pal = label.palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Window, Qt::white);
    label.setPalette(pal);
    label.setAutoFillBackground(true);

    QLabel plain;
    plain.resize(label.size());
    plain.setAlignment(Qt::AlignCenter);
    plain.setFont(f);
    plain.setPalette(pal);
    plain.setAutoFillBackground(true);
    for (const QString &text : {QStringLiteral("7"), QStringLiteral("58"), QStringLiteral("<b>Fine</b>")}) {
        label.setText(text);
        plain.setText(text);
        const QImage mine = label.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage qts = plain.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const Ink a = inkOf(qts), b = inkOf(mine);
        QVERIFY(!b.box.isEmpty());
        QVERIFY2(std::abs(a.box.left() - b.box.left()) <= 1 && std::abs(a.box.top() - b.box.top()) <= 2 &&
                     std::abs(a.box.width() - b.box.width()) <= 1,
                 qPrintable(text));
    }
}

QTEST_MAIN(TestPaintCache)
#include "test_paint_cache.moc"
