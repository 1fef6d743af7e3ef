// The parts of the audience screen painted as the game changes: the number's panel, the last five
// numbers, and the band of the claim banners and the ladder of prizes.

#include "game/board.h"
#include "ui/audience_paint.h"
#include "ui/audience_screen.h"
#include "ui/paint_cache.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

using namespace audience_paint;

void AudienceScreen::paintNumberPanel(QPainter &p) const
{
    // The number just drawn, on red while the caller's number is red.
    const Colours &c = coloursOf(m_theme);
    const QRectF &box = m_layout.numberBox;
    const double border = std::max(2.0, box.height() * 0.012);
    roundedBox(p, box, m_shown.red ? kRed : c.panel, m_shown.red ? kRed.lighter(140) : c.panelEdge, border,
               std::min(box.width(), box.height()) * 0.06);

    // Room for the pause badge is kept even when it is not shown, so the number does not move.
    const double badgeHeight = box.height() * 0.2;
    const QRectF figure =
        box.adjusted(box.width() * 0.06, badgeHeight * 1.1, -box.width() * 0.06, -box.height() * 0.05);
    const QString number = m_shown.number.trimmed();
    if (!number.isEmpty()) {
        // Fitted as the widest figures of its length, so each number has the same face.
        p.setFont(fittedFace(QString(number.size(), QLatin1Char('8')), figure.size(), true, figure.height()));
        p.setPen(m_shown.red ? QColor(Qt::white) : c.figure);
        drawCentred(p, figure, number);
    }
    if (m_shown.pause) {
        const QRectF badge(box.left() + box.width() * 0.1, box.top() + badgeHeight * 0.15, box.width() * 0.8,
                           badgeHeight);
        p.setPen(QPen(c.pauseText, std::max(1.0, badgeHeight * 0.04)));
        p.setBrush(c.pauseFill);
        p.drawRoundedRect(badge, badgeHeight * 0.2, badgeHeight * 0.2);
        p.setPen(c.pauseText);
        const QString pausa = QStringLiteral("PAUSA");
        p.setFont(fittedFace(pausa, QSizeF(badge.width() * 0.8, badgeHeight * 0.62), true, badgeHeight));
        drawCentred(p, badge, pausa);
    }
}

void AudienceScreen::paintLastFive(QPainter &p) const
{
    const Colours &c = coloursOf(m_theme);
    const QRectF &area = m_layout.recent;
    const double captionHeight = area.height() * 0.26;
    const QRectF row(area.left(), area.top() + captionHeight, area.width(), area.height() - captionHeight);
    const double slot = row.width() / 5, diameter = std::min(slot, row.height() / 0.92) * 0.86;
    const QList<int> last = lastFive();
    for (int k = 0; k < last.size(); ++k) {
        const int n = last.at(k), blockRow = boardPlace(n).blockRow();
        const QPointF centre(row.left() + slot * (k + 0.5), row.center().y());
        const QRectF ball(centre.x() - diameter / 2, centre.y() - diameter / 2, diameter, diameter);
        // The newest, first, is marked as on the board.
        const double ring = k == 0 ? diameter * 0.08 : diameter * 0.03;
        drawKeptBox(p, ball, k == 0 && c.newestFill.isValid() ? c.newestFill : c.litFill[blockRow],
                    k == 0 ? c.newest : c.litEdge[blockRow], ring, (diameter - ring) / 2);
        p.setPen(c.litFigure[blockRow]);
        p.setFont(m_faces->ball);
        drawCentred(p, ball, QString::number(n));
    }
}

namespace
{
constexpr int kLadderFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
} // namespace

double AudienceScreen::ladderPixels(const QSize &size)
{
    return std::max(kLeastLadderPixels, size.height() * kLadderShare);
}

void AudienceScreen::paintExtras(QPainter &p) const
{
    const Colours &c = coloursOf(m_theme);
    const QRectF area = m_layout.extras.adjusted(0, m_layout.extras.height() * 0.06, 0, 0);
    m_ladderSizes.clear();
    if (area.height() <= 0) return;
    const double bannerHeight = m_banner.isEmpty() ? 0 : area.height() * (m_prizeLadder.isEmpty() ? 1 : 0.4);
    if (bannerHeight > 0) {
        p.setPen(c.words);
        drawLine(p, QRectF(area.topLeft(), QSizeF(area.width(), bannerHeight)), m_banner, face(100, true),
                 0.8);
    }
    // The ladder's lines in one size, set by the window's height and never smaller than can be
    // read across a room when there is room; each line whole, a long one wrapped.
    m_ladderRects.clear();
    const LadderFit fit = fitLadder(area.adjusted(0, bannerHeight, 0, 0));
    p.setFont(face(fit.pixels, false));
    p.setPen(c.counter);
    for (qsizetype k = 0; k < fit.rects.size(); ++k) {
        p.drawText(fit.rects[k], kLadderFlags, m_prizeLadder[k]);
        m_ladderSizes << int(std::lround(fit.pixels));
        m_ladderRects << fit.rects[k];
    }
}

AudienceScreen::LadderFit AudienceScreen::fitLadder(const QRectF &area) const
{
    LadderFit fit;
    if (m_prizeLadder.isEmpty() || area.width() <= 0 || area.height() <= 0) return fit;
    // The lines flowed down the columns in their order; false when one does not fit.
    auto place = [&](double pixels, int columns) {
        const QFontMetricsF metrics(face(pixels, false));
        const double gap = columns > 1 ? area.width() * 0.04 : 0;
        const double width = (area.width() - gap * (columns - 1)) / columns;
        QList<QRectF> rects;
        int column = 0;
        double top = area.top();
        for (const QString &line : m_prizeLadder) {
            const double left = area.left() + column * (width + gap);
            const double height =
                metrics.boundingRect(QRectF(left, top, width, 1e6), kLadderFlags, line).height();
            if (top + height > area.bottom()) {
                if (++column >= columns || height > area.height()) return false;
                top = area.top();
            }
            rects << QRectF(area.left() + column * (width + gap), top, width, height);
            top += height;
        }
        fit = LadderFit{pixels, rects};
        return true;
    };
    const double preferred = ladderPixels(size());
    for (const double least : {kLeastLadderPixels, kLeastLadderPixels * 2 / 3})
        for (const int columns : {1, 2})
            for (double pixels = preferred; pixels >= least;
                 pixels = pixels > least ? std::max(least, pixels * 0.92) : 0)
                if (place(pixels, columns)) return fit;
    // Past all reason (a window smaller than the least, lines without end): the smallest.
    place(kLeastLadderPixels / 2, 2);
    return fit;
}

double AudienceScreen::ladderNeeds(const QSizeF &size) const
{
    if (m_prizeLadder.isEmpty()) return 0;
    const QRectF band = layoutFor(size).extras;
    const QFontMetricsF metrics(face(ladderPixels(size.toSize()), false));
    double height = 0;
    for (const QString &line : m_prizeLadder)
        height += metrics.boundingRect(QRectF(0, 0, band.width(), 1e6), kLadderFlags, line).height();
    // Below the band's rule. A banner, while one shows, squeezes the lines rather than the layout.
    return std::ceil(height / 0.94) + 1;
}

QRectF AudienceScreen::tombolaRect(const Layout &l)
{
    const QRectF b = l.board;
    return b.adjusted(b.width() * 0.06, b.height() * 0.18, -b.width() * 0.06, -b.height() * 0.18);
}

void AudienceScreen::paintTombola(QPainter &p) const
{
    // The largest announcement of the evening, and a lasting one: over the board until the next game.
    const Colours &c = coloursOf(m_theme);
    const QRectF box = tombolaRect(m_layout);
    roundedBox(p, box, c.panel, c.newest, std::max(2.0, box.height() * 0.02), box.height() * 0.08);
    const QRectF word(box.left(), box.top() + box.height() * 0.06, box.width(), box.height() * 0.62);
    p.setPen(c.newest);
    drawLine(p, word, QStringLiteral("TOMBOLA!"), face(1000, true), 0.9);
    p.setPen(c.words);
    const QRectF who(box.left() + box.width() * 0.04, word.bottom(), box.width() * 0.92,
                     box.bottom() - word.bottom() - box.height() * 0.06);
    drawLine(p, who, m_tombola, face(1000, true), 0.8);
}
