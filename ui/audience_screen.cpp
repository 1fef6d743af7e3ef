#include "ui/audience_screen.h"

#include "game/board.h"
#include "game/game.h"
#include "ui/form1.h"
#include "ui/qt_colour.h"

#include <QApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace
{

const QColor kSfondo(12, 16, 24);
const QColor kPannello(27, 34, 48);
const QColor kBordo(92, 104, 124);
const QColor kCifra(255, 255, 255);
const QColor kRossoPubblico(210, 0, 0);
const QColor kParole(255, 226, 120);
const QColor kContatore(200, 208, 222);
const QColor kDidascalia(150, 160, 178);
const QColor kPausa(255, 190, 0);
const QColor kNuovo(255, 214, 0);

QColor mix(const QColor &a, const QColor &b, double t)
{
    auto ch = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return QColor(ch(a.red(), b.red()), ch(a.green(), b.green()), ch(a.blue(), b.blue()));
}

// The colour of the block row the number stands in on the caller's board.
QColor accentOf(int n)
{
    return qColour(Palette::blockRows[boardPlace(n).blockRow()]);
}

QFont face(double pixels, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(std::max(1, int(pixels)));
    f.setBold(bold);
    return f;
}

// The largest face that fits `text`'s inked shape into `box`, at most `maxPixels` high.
QFont fittedFace(const QString &text, const QSizeF &box, bool bold, double maxPixels)
{
    constexpr double kProbe = 200;
    const QFontMetricsF fm(face(kProbe, bold));
    const QRectF ink = fm.tightBoundingRect(text);
    if (ink.width() <= 0 || ink.height() <= 0) return face(maxPixels, bold);
    const double scale = std::min(box.width() / ink.width(), box.height() / ink.height());
    return face(std::min(maxPixels, kProbe * scale), bold);
}

// The text drawn with its ink centred in `box`.
void drawCentred(QPainter &p, const QRectF &box, const QString &text)
{
    const QRectF ink = QFontMetricsF(p.font()).tightBoundingRect(text);
    const QPointF at(box.center().x() - ink.center().x(), box.center().y() - ink.center().y());
    p.drawText(at, text);
}

// The text on one line, as large as fits the box's width and `heightShare` of its height; returns
// the size used.
double drawLine(QPainter &p, const QRectF &box, const QString &text, bool bold, double heightShare,
                double maxPixels = 1e9)
{
    const QFontMetricsF probe(face(100, bold));
    const double width = probe.horizontalAdvance(text);
    double pixels = std::min(maxPixels, box.height() * heightShare);
    if (width > 0) pixels = std::min(pixels, 100 * box.width() / width);
    p.setFont(face(pixels, bold));
    p.drawText(box, Qt::AlignCenter, text);
    return pixels;
}

} // namespace

// ---------------------------------------------------------------------------------------------

const QString &AudienceScreen::titolo()
{
    static const QString t = QStringLiteral("Tombola - tabellone per il pubblico");
    return t;
}

AudienceScreen::AudienceScreen(const Game &game, const QIcon &icon)
    : QWidget(nullptr, Qt::Window), m_game(game)
{
    setObjectName(QStringLiteral("schermoPubblico"));
    setWindowTitle(titolo());
    setWindowIcon(icon);
    // The caller keeps the keyboard: this window never takes the focus or the activation.
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    // Left open, it must not keep the program alive once the caller's window is gone.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 180);
    connect(&game, &Game::updated, this, &AudienceScreen::refresh);
    refresh();
}

AudienceScreen::~AudienceScreen() = default;

QList<int> AudienceScreen::litNumbers() const
{
    QList<int> out;
    for (int i = 0; i < 90; ++i)
        if (m_shown.lit[std::size_t(i)]) out << i + 1;
    return out;
}

void AudienceScreen::refresh()
{
    Shown s;
    const Game::Display &display = m_game.display();
    s.number = display.number;
    s.red = display.repeatOn;
    s.words = display.words;
    s.counter = display.counter;
    const QList<int> drawn = m_game.drawnNumbers();
    for (int n : drawn)
        if (n >= 1 && n <= 90) s.lit[std::size_t(n - 1)] = true;
    for (qsizetype k = drawn.size() - 1; k >= 0 && s.lastFive.size() < 5; --k)
        if (drawn[k] >= 1 && drawn[k] <= 90) s.lastFive << drawn[k];
    s.pause = m_game.isPaused();
    ++m_refreshes;
    // Nothing new, nothing to paint.
    if (s == m_shown) return;
    m_shown = std::move(s);
    update();
}

// ---------------------------------------------------------------------------------------------
// Painting: everything is measured from the window's size.

AudienceScreen::Layout AudienceScreen::layoutFor(const QSizeF &size)
{
    Layout l;
    const double w = size.width(), h = size.height();
    const double margin = std::max(6.0, std::min(w, h) * 0.025);
    QRectF side;
    if (w >= h * 1.2) {
        // Side by side: the number on the left, the board on the right.
        const double boardWidth = std::min((h - 2 * margin) * 1.12, w * 0.6);
        l.board = QRectF(w - margin - boardWidth, margin, boardWidth, h - 2 * margin);
        side = QRectF(margin, margin, l.board.left() - 2 * margin, h - 2 * margin);
    } else {
        // A tall window: the number on top, the board below.
        side = QRectF(margin, margin, w - 2 * margin, (h - 3 * margin) * 0.42);
        l.board = QRectF(margin, side.bottom() + margin, w - 2 * margin, h - side.bottom() - 2 * margin);
    }

    const double gap = side.height() * 0.025;
    l.numberBox = QRectF(side.left(), side.top(), side.width(), side.height() * 0.56);
    l.words = QRectF(side.left(), l.numberBox.bottom() + gap, side.width(), side.height() * 0.11);
    l.counter = QRectF(side.left(), l.words.bottom(), side.width(), side.height() * 0.065);
    l.recent =
        QRectF(side.left(), l.counter.bottom() + gap, side.width(), side.bottom() - l.counter.bottom() - gap);

    // Six blocks of fifteen in two columns and three rows, as on the caller's board.
    const QRectF &b = l.board;
    const double blockGap = std::min(b.width(), b.height()) * 0.025;
    const double blockWidth = (b.width() - blockGap) / 2;
    const double blockHeight = (b.height() - 2 * blockGap) / 3;
    const double pad = std::min(blockWidth, blockHeight) * 0.045;
    const double cellGap = pad * 0.7;
    const double cellWidth = (blockWidth - 2 * pad - 4 * cellGap) / 5;
    const double cellHeight = (blockHeight - 2 * pad - 2 * cellGap) / 3;
    for (int k = 0; k < 6; ++k)
        l.blocks[std::size_t(k)] =
            QRectF(b.left() + (k % 2) * (blockWidth + blockGap), b.top() + (k / 2) * (blockHeight + blockGap),
                   blockWidth, blockHeight);
    for (int i = 0; i < 90; ++i) {
        const BoardPlace at = boardPlace(i + 1);
        const QRectF &block = l.blocks[std::size_t(at.block)];
        l.cells[std::size_t(i)] =
            QRectF(block.left() + pad + at.column * (cellWidth + cellGap),
                   block.top() + pad + at.row * (cellHeight + cellGap), cellWidth, cellHeight);
    }
    return l;
}

void AudienceScreen::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(rect(), kSfondo);
    const Layout l = layoutFor(size());
    paintNumberPanel(p, l);
    paintBoard(p, l);
}

void AudienceScreen::paintNumberPanel(QPainter &p, const Layout &l) const
{
    // The number just drawn, on red while the caller's number is red.
    const QRectF &box = l.numberBox;
    const double radius = std::min(box.width(), box.height()) * 0.06;
    const double border = std::max(2.0, box.height() * 0.012);
    p.setPen(QPen(m_shown.red ? kRossoPubblico.lighter(140) : kBordo, border));
    p.setBrush(m_shown.red ? kRossoPubblico : kPannello);
    p.drawRoundedRect(box.adjusted(border / 2, border / 2, -border / 2, -border / 2), radius, radius);

    // Room for the pause badge is kept even when it is not shown, so the number does not move.
    const double badgeHeight = box.height() * 0.15;
    const QRectF figure =
        box.adjusted(box.width() * 0.06, badgeHeight * 0.9, -box.width() * 0.06, -box.height() * 0.06);
    const QString number = m_shown.number.trimmed();
    if (!number.isEmpty()) {
        p.setFont(fittedFace(number, figure.size(), true, figure.height()));
        p.setPen(kCifra);
        drawCentred(p, figure, number);
    }
    if (m_shown.pause) {
        const QRectF badge(box.center().x() - box.width() * 0.3, box.top() + badgeHeight * 0.2,
                           box.width() * 0.6, badgeHeight);
        p.setPen(Qt::NoPen);
        p.setBrush(kPausa);
        p.drawRoundedRect(badge, badgeHeight * 0.25, badgeHeight * 0.25);
        p.setPen(Qt::black);
        const QString pausa = QStringLiteral("PAUSA");
        p.setFont(fittedFace(pausa, badge.adjusted(0, badgeHeight * 0.2, 0, -badgeHeight * 0.2).size(), true,
                             badgeHeight));
        drawCentred(p, badge, pausa);
    }

    p.setPen(kParole);
    drawLine(p, l.words, m_shown.words.simplified(), true, 0.8);
    p.setPen(kContatore);
    // The caption of the last five is never larger than the counter line.
    const double counterPixels = drawLine(p, l.counter, m_shown.counter.simplified(), false, 0.75);
    paintLastFive(p, l.recent, counterPixels);
}

void AudienceScreen::paintLastFive(QPainter &p, const QRectF &area, double captionPixels) const
{
    const QRectF caption(area.left(), area.top(), area.width(), area.height() * 0.26);
    p.setPen(kDidascalia);
    drawLine(p, caption, QStringLiteral("Ultimi numeri estratti"), false, 0.8, captionPixels);

    const QRectF row(area.left(), caption.bottom(), area.width(), area.bottom() - caption.bottom());
    const double slot = row.width() / 5;
    const double diameter = std::min(slot * 0.86, row.height() * 0.92);
    const QFont figureFace =
        fittedFace(QStringLiteral("88"), QSizeF(diameter * 0.6, diameter * 0.42), true, diameter);
    for (int k = 0; k < 5; ++k) {
        const QPointF centre(row.left() + slot * (k + 0.5), row.center().y());
        const QRectF ball(centre.x() - diameter / 2, centre.y() - diameter / 2, diameter, diameter);
        if (k >= m_shown.lastFive.size()) {
            const double inset = diameter * 0.08;
            p.setPen(QPen(kBordo, std::max(1.0, diameter * 0.02), Qt::DashLine));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(ball.adjusted(inset, inset, -inset, -inset));
            continue;
        }
        const int n = m_shown.lastFive.at(k);
        // The newest, first, has a gold ring.
        const double ring = k == 0 ? diameter * 0.07 : diameter * 0.03;
        p.setPen(QPen(k == 0 ? kNuovo : mix(accentOf(n), Qt::white, 0.4), ring));
        p.setBrush(accentOf(n));
        p.drawEllipse(ball.adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2));
        p.setPen(Qt::black);
        p.setFont(figureFace);
        drawCentred(p, ball, QString::number(n));
    }
}

void AudienceScreen::paintBoard(QPainter &p, const Layout &l) const
{
    const QSizeF cellSize = l.cells[0].size();
    const double cellRadius = std::min(cellSize.width(), cellSize.height()) * 0.12;
    const QFont litFace =
        fittedFace(QStringLiteral("88"), QSizeF(cellSize.width() * 0.74, cellSize.height() * 0.52), true,
                   cellSize.height());
    QFont dimFace = litFace;
    dimFace.setBold(false);
    const int newest = m_shown.lastFive.isEmpty() ? 0 : m_shown.lastFive.first();

    for (int k = 0; k < 6; ++k) {
        const QColor accent = qColour(Palette::blockRows[k / 2]);
        const QRectF &block = l.blocks[std::size_t(k)];
        const double edge = std::max(2.0, std::min(block.width(), block.height()) * 0.012);
        const double radius = std::min(block.width(), block.height()) * 0.045;
        p.setPen(QPen(mix(kSfondo, accent, 0.55), edge));
        p.setBrush(mix(kSfondo, accent, 0.09));
        p.drawRoundedRect(block.adjusted(edge / 2, edge / 2, -edge / 2, -edge / 2), radius, radius);
    }

    for (int n = 1; n <= 90; ++n) {
        const QColor accent = accentOf(n);
        const QRectF &cell = l.cells[std::size_t(n - 1)];
        if (m_shown.lit[std::size_t(n - 1)]) {
            // Drawn: a thick bright outline and a bold white figure; the newest in gold.
            const bool isNewest = n == newest;
            const double outline =
                std::max(3.0, std::min(cell.width(), cell.height()) * (isNewest ? 0.11 : 0.08));
            p.setPen(QPen(isNewest ? kNuovo : accent, outline));
            p.setBrush(mix(kSfondo, accent, 0.42));
            p.drawRoundedRect(cell.adjusted(outline / 2, outline / 2, -outline / 2, -outline / 2), cellRadius,
                              cellRadius);
            p.setFont(litFace);
            p.setPen(kCifra);
        } else {
            // Not drawn: a dim figure on a dark cell with a hairline edge.
            p.setPen(QPen(mix(kSfondo, accent, 0.22), 1));
            p.setBrush(mix(kSfondo, accent, 0.05));
            p.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), cellRadius, cellRadius);
            p.setFont(dimFace);
            p.setPen(mix(kSfondo, mix(accent, Qt::white, 0.35), 0.42));
        }
        drawCentred(p, cell, QString::number(n));
    }
}

// ---------------------------------------------------------------------------------------------

AudienceController::AudienceController(Form1 &form, const Game &game) : m_form(form), m_game(game)
{
    // Closing the caller's window closes this one too, so the program can end.
    connect(&game, &Game::closed, this, &AudienceController::close);
    // Esc is the screen's only while the caller's window has the keyboard: in a dialog over it,
    // Esc stays the dialog's.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &AudienceController::updateEsc);
}

void AudienceController::updateEsc()
{
    if (!m_esc) return;
    const QWidget *active = QApplication::activeWindow();
    m_esc->setEnabled(isOpen() && (active == &m_form || active == m_screen.get()));
}

AudienceController::~AudienceController() = default;

QScreen *AudienceController::targetScreen(const QWidget &form)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() < 2) return nullptr;
    QScreen *own = form.screen();
    for (QScreen *s : screens)
        if (s != own) return s;
    return nullptr;
}

bool AudienceController::isOpen() const
{
    return m_screen && m_screen->isVisible();
}

void AudienceController::toggle()
{
    if (isOpen())
        close();
    else
        open();
}

void AudienceController::open()
{
    if (m_game.isClosed() || isOpen()) return;
    if (!m_screen) {
        m_screen = std::make_unique<AudienceScreen>(m_game, m_form.windowIcon());
        // The screen never has the keyboard, so its Esc has to be an application-wide key.
        m_esc = new QShortcut(QKeySequence(Qt::Key_Escape), m_screen.get());
        m_esc->setContext(Qt::ApplicationShortcut);
        connect(m_esc, &QShortcut::activated, this, &AudienceController::close);
        m_screen->installEventFilter(this);
    }
    m_activeBefore = QApplication::activeWindow();
    m_screen->refresh();
    if (QScreen *target = targetScreen(m_form)) {
        m_screen->setScreen(target);
        m_screen->setGeometry(target->geometry());
        // Not showFullScreen(): it would also ask for the activation.
        m_screen->setWindowState((m_screen->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) |
                                 Qt::WindowFullScreen);
        m_screen->show();
    } else {
        // A window of its own beside the caller's, centred on the caller's screen the first time
        // and after a full-screen opening.
        QScreen *own = m_form.screen();
        const bool place = !m_placedWindowed || m_screen->isFullScreen() || m_screen->screen() != own;
        m_screen->setWindowState(m_screen->windowState() & ~(Qt::WindowMinimized | Qt::WindowFullScreen));
        m_screen->show();
        if (place && own) {
            const QRect free = own->availableGeometry();
            const QSize size = QSize(1280, 720).boundedTo(free.size() * 0.9);
            m_screen->setScreen(own);
            m_screen->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, free));
        }
        m_placedWindowed = true;
    }
    updateEsc();
}

bool AudienceController::eventFilter(QObject *watched, QEvent *event)
{
    // Where the platform activates every window shown, the activation goes straight back.
    if (watched == m_screen.get() && event->type() == QEvent::WindowActivate) {
        QWidget *back = m_activeBefore && m_activeBefore->isVisible() ? m_activeBefore.data() : &m_form;
        if (back->isVisible() && back != m_screen.get()) back->activateWindow();
    }
    return QObject::eventFilter(watched, event);
}

void AudienceController::close()
{
    if (!m_screen) return;
    m_screen->hide();
    updateEsc();
}
