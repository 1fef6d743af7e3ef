#include "ui/audience_screen.h"

#include "game/board.h"
#include "game/game.h"
#include "ui/audience_paint.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <utility>

using namespace audience_paint;

const QString &AudienceScreen::titolo()
{
    static const QString t = QStringLiteral("Tombola - tabellone per il pubblico");
    return t;
}

AudienceScreen::AudienceScreen(const Game &game, const QIcon &icon)
    : QWidget(nullptr, Qt::Window), m_game(game), m_faces(std::make_unique<Faces>())
{
    setObjectName(QStringLiteral("AudienceScreen"));
    setWindowTitle(titolo());
    setWindowIcon(icon);
    // The caller keeps the keyboard: this window never takes the focus or the activation.
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    // Left open, it must not keep the program alive once the caller's window is gone.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(kMinimumSize);
    // A change is painted a few milliseconds later, in the wait for the next number, so that the
    // draw never waits for the room's painting.
    m_paintSoon.setSingleShot(true);
    m_paintSoon.setInterval(4);
    connect(&m_paintSoon, &QTimer::timeout, this, [this] { update(std::exchange(m_dirty, QRegion())); });
    // The room sees the display, the numbers and the pause; the caller's controls are not its business.
    connect(&game, &Game::changed, this, [this](Game::Changes what) {
        if (what & (Game::Change::Displayed | Game::Change::Numbers | Game::Change::Pause)) refresh();
    });
    refresh();
}

AudienceScreen::~AudienceScreen() = default;

QList<int> AudienceScreen::litNumbers() const
{
    QList<int> out = m_shown.order;
    std::sort(out.begin(), out.end());
    return out;
}

QList<int> AudienceScreen::lastFive() const
{
    QList<int> out;
    for (qsizetype k = m_shown.order.size() - 1; k >= 0 && out.size() < 5; --k)
        out << m_shown.order[k];
    return out;
}

void AudienceScreen::refresh()
{
    Shown s;
    const Game::Display &display = m_game.display();
    s.number = display.number;
    s.red = display.repeatOn;
    s.words = display.words;
    s.meaning = display.meaning;
    for (int n : m_game.drawnNumbers())
        if (n >= 1 && n <= 90) s.order << n;
    // The room needs the count, not the caller's long line.
    if (!display.counter.trimmed().isEmpty()) s.counter = QStringLiteral("%1 di 90").arg(s.order.size());
    s.pause = m_game.isPaused();
    ++m_refreshes;
    // Nothing new, nothing to paint.
    if (s == m_shown) return;
    const QRegion changed = changedBetween(m_shown, s);
    m_shown = std::move(s);
    if (changed.isEmpty()) return;
    m_dirty += changed;
    if (!m_paintSoon.isActive()) m_paintSoon.start();
}

QRegion AudienceScreen::changedBetween(const Shown &before, const Shown &after) const
{
    const Layout l = layout();
    QRegion r;
    auto add = [&r](const QRectF &area) { r += area.toAlignedRect(); };
    if (before.number != after.number || before.red != after.red || before.pause != after.pause)
        add(l.numberBox);
    if (before.words != after.words) add(l.words);
    if (before.meaning != after.meaning) add(l.meaning);
    if (before.counter != after.counter) add(l.counter);
    if (before.order == after.order) return r;

    const auto newestOf = [](const QList<int> &order) { return order.isEmpty() ? 0 : order.last(); };
    const auto lastFiveOf = [](const QList<int> &order) {
        return order.mid(std::max<qsizetype>(0, order.size() - 5));
    };
    if (lastFiveOf(before.order) != lastFiveOf(after.order)) add(l.recent);
    if (m_listShown) {
        const qsizetype most = std::max(before.order.size(), after.order.size());
        for (qsizetype k = 0; k < most; ++k) {
            const bool wasNewest = k == before.order.size() - 1, isNewest = k == after.order.size() - 1;
            if (before.order.value(k) != after.order.value(k) || wasNewest != isNewest)
                add(l.places[std::size_t(k)]);
        }
    } else {
        std::array<bool, 91> was{}, is{};
        for (int n : before.order)
            was[std::size_t(n)] = true;
        for (int n : after.order)
            is[std::size_t(n)] = true;
        const int oldNewest = newestOf(before.order), newNewest = newestOf(after.order);
        for (int n = 1; n <= 90; ++n)
            if (was[std::size_t(n)] != is[std::size_t(n)] || ((n == oldNewest) != (n == newNewest)))
                add(l.cells[std::size_t(n - 1)]);
    }
    return r;
}

void AudienceScreen::setTheme(Theme theme)
{
    if (theme == m_theme) return;
    m_theme = theme;
    m_prepared = false;
    update();
}

void AudienceScreen::nextTheme()
{
    setTheme(m_theme == Theme::Dark    ? Theme::Light
             : m_theme == Theme::Light ? Theme::HighContrast
                                       : Theme::Dark);
}

void AudienceScreen::setListShown(bool shown)
{
    if (shown == m_listShown) return;
    m_listShown = shown;
    m_prepared = false;
    update();
}

void AudienceScreen::setBanner(const QString &text)
{
    if (text == m_banner) return;
    m_banner = text;
    update(layout().extras.toAlignedRect());
}

void AudienceScreen::setPrizeLadder(const QStringList &lines)
{
    if (lines == m_prizeLadder) return;
    const QRectF before = layout().extras;
    m_prizeLadder = lines;
    const Layout now = layoutFor(size(), ladderNeeds(size()));
    // A ladder that needs more room takes it from the number and the last five: all is laid out anew.
    if (now.extras != before) {
        m_prepared = false;
        update();
        return;
    }
    update(before.toAlignedRect());
}

void AudienceScreen::setTombola(const QString &winners)
{
    if (winners == m_tombola) return;
    m_tombola = winners;
    update(layout().board.toAlignedRect());
}

bool AudienceScreen::paintPending() const
{
    return m_paintSoon.isActive() || !m_dirty.isEmpty();
}

QRegion AudienceScreen::takePainted()
{
    return std::exchange(m_painted, QRegion());
}

void AudienceScreen::mouseDoubleClickEvent(QMouseEvent *)
{
    emit fullScreenToggleRequested();
}

void AudienceScreen::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addSection(QStringLiteral("Tema (T)"));
    auto *themes = new QActionGroup(&menu);
    const std::array<std::pair<Theme, QString>, 3> choices{
        {{Theme::Dark, QStringLiteral("Scuro")},
         {Theme::Light, QStringLiteral("Chiaro")},
         {Theme::HighContrast, QStringLiteral("Alto contrasto")}}};
    for (const auto &[theme, name] : choices) {
        QAction *a = menu.addAction(name, this, [this, t = theme] { setTheme(t); });
        a->setCheckable(true);
        a->setChecked(m_theme == theme);
        themes->addAction(a);
    }
    menu.addSeparator();
    QAction *list = menu.addAction(QStringLiteral("Numeri in ordine di estrazione (L)"), this,
                                   [this] { setListShown(!m_listShown); });
    list->setCheckable(true);
    list->setChecked(m_listShown);
    QAction *full = menu.addAction(QStringLiteral("Schermo intero (F11)"), this,
                                   &AudienceScreen::fullScreenToggleRequested);
    full->setCheckable(true);
    full->setChecked(isFullScreen());
    menu.addSeparator();
    menu.addAction(QStringLiteral("Chiudi (F5)"), this, &AudienceScreen::closeRequested);
    menu.exec(event->globalPos());
}

// ---------------------------------------------------------------------------------------------
// Layout: everything is measured from the window's size.

AudienceScreen::Layout AudienceScreen::layout() const
{
    return m_prepared ? m_layout : layoutFor(size(), ladderNeeds(size()));
}

AudienceScreen::Layout AudienceScreen::layoutFor(const QSizeF &size, double extrasAtLeast)
{
    Layout l;
    const double w = size.width(), h = size.height();
    const double margin = std::max(6.0, std::min(w, h) * 0.015);
    // The board in units of a cell's height u: cells 1.24u wide, 0.07u apart and from their
    // block's edge, blocks 0.14u apart; 13.38u wide and 10.12u high in all.
    constexpr double kBoardWidth = 13.38, kBoardHeight = 10.12, kGap = 0.07, kCellWidth = 1.24;
    QRectF side;
    double u = 0;
    if (w >= h * 1.2) {
        // Side by side: the board as tall as the window allows, the number in what is left.
        u = std::min((h - 2 * margin) / kBoardHeight, 0.72 * (w - 3 * margin) / kBoardWidth);
        const QSizeF boardSize(kBoardWidth * u, kBoardHeight * u);
        l.board = QRectF(QPointF(w - margin - boardSize.width(), (h - boardSize.height()) / 2), boardSize);
        side = QRectF(margin, margin, l.board.left() - 2 * margin, h - 2 * margin);
    } else {
        // A tall window: the number on top, the board below.
        side = QRectF(margin, margin, w - 2 * margin, (h - 3 * margin) * 0.42);
        const QRectF area(margin, side.bottom() + margin, w - 2 * margin, h - side.bottom() - 2 * margin);
        u = std::min(area.height() / kBoardHeight, area.width() / kBoardWidth);
        const QSizeF boardSize(kBoardWidth * u, kBoardHeight * u);
        l.board = QRectF(QPointF(area.center().x() - boardSize.width() / 2, area.top()), boardSize);
    }

    // The number, its words and meaning, the count, the last five, then the band kept free.
    const double H = side.height(), gap = H * 0.012;
    double top = side.top();
    auto next = [&](double height) {
        const QRectF r(side.left(), top, side.width(), height);
        top = r.bottom() + gap;
        return r;
    };
    double numberHeight = std::min(H * 0.40, side.width() * 0.9), recentHeight = H * 0.14;
    // The band under the last five gets what the number and the last five can lend it, up to half
    // their height, when the ladder of prizes needs it.
    const double spare = H - numberHeight - recentHeight - H * (0.07 + 0.05 + 0.065) - 5 * gap;
    if (extrasAtLeast > spare) {
        const double lend = std::min(extrasAtLeast - spare, 0.5 * (numberHeight + recentHeight));
        const double keep = 1 - lend / (numberHeight + recentHeight);
        numberHeight *= keep;
        recentHeight *= keep;
    }
    l.numberBox = next(numberHeight);
    l.words = next(H * 0.07);
    l.meaning = next(H * 0.05);
    l.counter = next(H * 0.065);
    l.recent = next(recentHeight);
    l.extras = QRectF(side.left(), top, side.width(), std::max(0.0, side.bottom() - top));

    const double g = kGap * u, blockWidth = 5 * kCellWidth * u + 6 * g, blockHeight = 3 * u + 4 * g;
    const double blockGap = 2 * g;
    for (int k = 0; k < 6; ++k)
        l.blocks[std::size_t(k)] =
            QRectF(l.board.left() + (k % 2) * (blockWidth + blockGap),
                   l.board.top() + (k / 2) * (blockHeight + blockGap), blockWidth, blockHeight);
    for (int i = 0; i < 90; ++i) {
        const BoardPlace at = boardPlace(i + 1);
        const QRectF &block = l.blocks[std::size_t(at.block)];
        l.cells[std::size_t(i)] = QRectF(block.left() + g + at.column * (kCellWidth * u + g),
                                         block.top() + g + at.row * (u + g), kCellWidth * u, u);
    }

    // The ordered list: a caption, then nine rows of ten in the board's place.
    const QRectF &b = l.board;
    l.listCaption = QRectF(b.left(), b.top(), b.width(), b.height() * 0.07);
    const double pitchX = b.width() / 10, pitchY = (b.bottom() - l.listCaption.bottom()) / 9;
    for (int k = 0; k < 90; ++k)
        l.places[std::size_t(k)] =
            QRectF(b.left() + (k % 10) * pitchX + pitchX * 0.04,
                   l.listCaption.bottom() + (k / 10) * pitchY + pitchY * 0.06, pitchX * 0.92, pitchY * 0.88);
    return l;
}

void AudienceScreen::resizeEvent(QResizeEvent *event)
{
    m_prepared = false;
    QWidget::resizeEvent(event);
}

// The layout, the faces and the picture of everything a game never changes.
void AudienceScreen::prepare()
{
    m_layout = layoutFor(size(), ladderNeeds(size()));
    const QSizeF cell = m_layout.cells[0].size();
    const double u = cell.height();
    // Figures 0.74 of the cell high, clear of the frame: over 1/16 of the height of a 16:9 screen.
    m_faces->litCell = fittedFace(QStringLiteral("88"), QSizeF(cell.width() - 0.18 * u, 0.74 * u), true, u);
    m_faces->dimCell = m_faces->litCell;
    m_faces->dimCell.setBold(false);
    const QSizeF slot = m_layout.places[0].size();
    m_faces->slot = fittedFace(QStringLiteral("88"), QSizeF(slot.width() * 0.8, slot.height() * 0.62), true,
                               slot.height());
    const double slotsInRow = std::min(m_layout.recent.width() / 5, m_layout.recent.height() * 0.74 / 0.92);
    const double diameter = slotsInRow * 0.86;
    m_faces->ball = fittedFace(QStringLiteral("88"), QSizeF(diameter * 0.6, diameter * 0.42), true, diameter);

    const qreal ratio = devicePixelRatioF();
    m_background = QPixmap(size() * ratio);
    m_background.setDevicePixelRatio(ratio);
    QPainter p(&m_background);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    paintBackground(p);
    m_prepared = true;
}

void AudienceScreen::paintBackground(QPainter &p) const
{
    const Colours &c = coloursOf(m_theme);
    const Layout &l = m_layout;
    p.fillRect(QRectF(QPointF(0, 0), QSizeF(size())), c.background);

    // The caption and the empty places of the last five; the caption is never larger than the count.
    const QRectF caption(l.recent.left(), l.recent.top(), l.recent.width(), l.recent.height() * 0.26);
    p.setPen(c.caption);
    m_faces->captionPixels = drawLine(p, caption, QStringLiteral("Ultimi numeri estratti"), face(100, false),
                                      0.8, l.counter.height() * 0.8);
    const QRectF row(l.recent.left(), caption.bottom(), l.recent.width(),
                     l.recent.bottom() - caption.bottom());
    const double slot = row.width() / 5, diameter = std::min(slot, row.height() / 0.92) * 0.86;
    for (int k = 0; k < 5; ++k) {
        const QPointF centre(row.left() + slot * (k + 0.5), row.center().y());
        const double inset = diameter * 0.08;
        const QRectF ball(centre.x() - diameter / 2 + inset, centre.y() - diameter / 2 + inset,
                          diameter - 2 * inset, diameter - 2 * inset);
        p.setPen(QPen(c.emptySlot, std::max(1.0, diameter * 0.02), Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(ball);
    }

    // The band kept for banners and prizes is set off by a rule along its top.
    if (l.extras.height() > 2) {
        const double rule = std::max(1.0, l.extras.height() * 0.01);
        p.setPen(QPen(c.emptySlot, rule, Qt::SolidLine, Qt::FlatCap));
        const double y = l.extras.top() + rule / 2 + 1;
        p.drawLine(QLineF(l.extras.left(), y, l.extras.right(), y));
    }

    if (m_listShown) {
        p.setPen(c.caption);
        drawLine(p, l.listCaption, QStringLiteral("Numeri estratti, in ordine"), face(100, true), 0.75);
        const double radius = l.places[0].height() * 0.12;
        for (const QRectF &s : l.places)
            roundedBox(p, s, c.cellFill[0], c.emptySlot, 1, radius);
        return;
    }
    for (int k = 0; k < 6; ++k) {
        const QRectF &block = l.blocks[std::size_t(k)];
        const double edge = std::max(2.0, std::min(block.width(), block.height()) * 0.012);
        roundedBox(p, block, c.blockFill[k / 2], c.blockEdge[k / 2], edge,
                   std::min(block.width(), block.height()) * 0.045);
    }
    // Every cell as not drawn: a thin edge and a light figure.
    const double radius = l.cells[0].height() * 0.12;
    p.setFont(m_faces->dimCell);
    for (int n = 1; n <= 90; ++n) {
        const int band = boardPlace(n).blockRow();
        const QRectF &cell = l.cells[std::size_t(n - 1)];
        roundedBox(p, cell, c.cellFill[band], c.cellEdge[band], 1, radius);
        p.setPen(c.cellFigure[band]);
        drawCentred(p, cell, QString::number(n));
    }
}

void AudienceScreen::paintEvent(QPaintEvent *event)
{
    if (!m_prepared) prepare();
    const QRegion &region = event->region();
    QPainter p(this);
    for (const QRect &r : region)
        p.drawPixmap(r.topLeft(), m_background,
                     QRectF(QPointF(r.topLeft()) * m_background.devicePixelRatio(),
                            QSizeF(r.size()) * m_background.devicePixelRatio()));
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Colours &c = coloursOf(m_theme);
    const Layout &l = m_layout;
    auto touches = [&region](const QRectF &area) { return region.intersects(area.toAlignedRect()); };

    if (touches(l.numberBox)) paintNumberPanel(p);
    if (touches(l.words)) {
        p.setPen(c.words);
        drawLine(p, l.words, m_shown.words.simplified(), face(100, true), 0.8);
    }
    if (touches(l.meaning) && !m_shown.meaning.isEmpty()) {
        p.setPen(c.meaning);
        drawLine(p, l.meaning, m_shown.meaning.simplified(), face(100, false, true), 0.8);
    }
    if (touches(l.counter)) {
        p.setPen(c.counter);
        drawLine(p, l.counter, m_shown.counter, face(100, true), 0.8);
    }
    if (touches(l.recent)) paintLastFive(p);
    if (touches(l.extras)) paintExtras(p);

    const qsizetype count = m_shown.order.size();
    for (qsizetype k = 0; k < count; ++k) {
        const int n = m_shown.order[k];
        const QRectF &at = m_listShown ? l.places[std::size_t(k)] : l.cells[std::size_t(n - 1)];
        if (touches(at)) paintDrawnCell(p, at, n, k == count - 1);
    }
    if (!m_tombola.isEmpty() && touches(tombolaRect(l))) paintTombola(p);
    m_painted += region;
}

void AudienceScreen::paintDrawnCell(QPainter &p, const QRectF &cell, int n, bool newest) const
{
    // Drawn: a full fill, a thick frame (thicker for the newest) and a bold figure.
    const Colours &c = coloursOf(m_theme);
    const int row = boardPlace(n).blockRow();
    const double u = cell.height();
    const QColor fill = newest && c.newestFill.isValid() ? c.newestFill : c.litFill[row];
    roundedBox(p, cell, fill, newest ? c.newest : c.litEdge[row], u * (newest ? 0.09 : 0.06), u * 0.12);
    p.setPen(c.litFigure[row]);
    p.setFont(m_listShown ? m_faces->slot : m_faces->litCell);
    drawCentred(p, cell, QString::number(n));
}
