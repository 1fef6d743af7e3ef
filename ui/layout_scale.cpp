#include "ui/layout_scale.h"

#include <QList>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace
{
// Kept on each control: its box at the least size, from the layout's top left, and its font there.
constexpr char kBaseBox[] = "tombola_baseBox";
constexpr char kBaseFont[] = "tombola_baseFont";
constexpr char kOwnFont[] = "tombola_fitsOwnFont";

// The controls of `parent` that are the layout's: not other windows (dialogs, tool tips) nor the
// parts Qt makes inside a control.
QList<QWidget *> laidOutChildren(QWidget &parent)
{
    QList<QWidget *> out;
    for (QObject *child : parent.children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && !w->isWindow() && !w->objectName().startsWith(QLatin1String("qt_"))) out << w;
    }
    return out;
}

// Keeps the box and the font of each control under `parent` not known yet, as they are now: all of
// them before any is changed, since a control takes its font from its container's.
void learn(QWidget &parent, const QPoint &baseTopLeft)
{
    for (QWidget *w : laidOutChildren(parent)) {
        QVariant base = w->property(kBaseBox);
        if (!base.isValid()) {
            base = w->geometry().translated(baseTopLeft);
            w->setProperty(kBaseBox, base);
            w->setProperty(kBaseFont, w->font());
        }
        learn(*w, base.toRect().topLeft());
    }
}
} // namespace

double LayoutScale::factorFor(QSize size, QSize least)
{
    if (least.isEmpty()) return 1;
    const double f = std::min(double(size.width()) / least.width(), double(size.height()) / least.height());
    return std::max(1.0, f);
}

int LayoutScale::length(int pixels) const
{
    return int(std::lround(pixels * m_factor));
}

QFont LayoutScale::font(const QFont &f) const
{
    if (m_factor == 1) return f;
    QFont scaled = f;
    if (f.pixelSize() > 0)
        scaled.setPixelSize(std::max(1, length(f.pixelSize())));
    else
        scaled.setPointSizeF(f.pointSizeF() * m_factor);
    return scaled;
}

QFont LayoutScale::font(QFont f, int points) const
{
    if (m_factor == 1)
        f.setPointSize(points);
    else
        f.setPointSizeF(points * m_factor);
    return f;
}

void LayoutScale::fitsOwnFont(QWidget &w)
{
    w.setProperty(kOwnFont, true);
}

QRect LayoutScale::box(const QRect &r) const
{
    const int left = length(r.left()), top = length(r.top());
    return QRect(left, top, length(r.left() + r.width()) - left, length(r.top() + r.height()) - top);
}

bool LayoutScale::apply()
{
    const QSize least = m_window.minimumSize();
    const double f = factorFor(m_window.size(), least);
    const QSize used(int(std::lround(least.width() * f)), int(std::lround(least.height() * f)));
    const QPoint origin(std::max(0, m_window.width() - used.width()) / 2,
                        std::max(0, m_window.height() - used.height()) / 2);
    if (f == m_factor && origin == m_origin) return false;
    m_factor = f;
    m_origin = origin;
    learn(m_window, QPoint());
    place(m_window, QPoint());
    return true;
}

void LayoutScale::place(QWidget &parent, const QPoint &nowTopLeft)
{
    const bool laidOut = parent.layout() != nullptr;
    for (QWidget *w : laidOutChildren(parent)) {
        const QRect now = box(w->property(kBaseBox).toRect()).translated(m_origin);
        if (!laidOut) w->setGeometry(now.translated(-nowTopLeft));
        if (!w->property(kOwnFont).toBool()) w->setFont(font(w->property(kBaseFont).value<QFont>()));
        place(*w, now.topLeft());
    }
}
