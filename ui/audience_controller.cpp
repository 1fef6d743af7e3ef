#include "ui/audience_controller.h"

#include "game/game.h"
#include "ui/audience_screen.h"
#include "ui/form1.h"

#include <QApplication>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include <utility>

AudienceController::AudienceController(Form1 &form, const Game &game) : m_form(form), m_game(game)
{
    // Closing the caller's window closes this one too, so the program can end.
    connect(&game, &Game::closed, this, &AudienceController::close);
    // The keys are the screen's only while the caller's window has the keyboard: in a dialog over
    // it, Esc stays the dialog's.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &AudienceController::updateKeys);
}

AudienceController::~AudienceController() = default;

void AudienceController::updateKeys()
{
    const QWidget *active = QApplication::activeWindow();
    const bool on = isOpen() && (active == &m_form || active == m_screen.get());
    for (const QPointer<QShortcut> &key : std::as_const(m_keys))
        if (key) key->setEnabled(on);
}

QScreen *AudienceController::targetScreen(const QWidget &form)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() < 2) return nullptr;
    QScreen *own = form.screen();
    for (QScreen *s : screens)
        if (s != own) return s;
    return nullptr;
}

QRect AudienceController::besideRect(const QRect &available, const QRect &caller, const QMargins &frame)
{
    const int gap = 8;
    // The four bands around the caller's window, each as wide as the free part of the screen.
    const QRect bands[] = {
        QRect(QPoint(caller.right() + 1 + gap, available.top()), available.bottomRight()),
        QRect(available.topLeft(), QPoint(caller.left() - 1 - gap, available.bottom())),
        QRect(available.topLeft(), QPoint(available.right(), caller.top() - 1 - gap)),
        QRect(QPoint(available.left(), caller.bottom() + 1 + gap), available.bottomRight()),
    };
    QRect best;
    for (const QRect &band : bands) {
        const QRect room = band.intersected(available).marginsRemoved(frame);
        const QSize least = AudienceScreen::kMinimumSize;
        if (room.width() < least.width() || room.height() < least.height()) continue;
        QSize size(room.width(), room.width() * 9 / 16);
        if (size.height() > room.height()) size = QSize(room.height() * 16 / 9, room.height());
        if (size.width() * size.height() <= best.width() * best.height()) continue;
        // Against the caller's window, centred along it.
        QRect r(QPoint(), size);
        r.moveCenter(room.center());
        if (&band == &bands[0]) r.moveLeft(room.left());
        if (&band == &bands[1]) r.moveRight(room.right());
        if (&band == &bands[2]) r.moveBottom(room.bottom());
        if (&band == &bands[3]) r.moveTop(room.top());
        best = r;
    }
    return best;
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

const std::array<AudienceController::Key, 4> &AudienceController::keys()
{
    static const std::array<Key, 4> table{{
        {Qt::Key_F11, "schermo intero sì o no", &AudienceController::toggleFullScreen},
        {Qt::Key_Escape, "esce dallo schermo intero, poi lo chiude",
         &AudienceController::leaveFullScreenOrClose},
        {Qt::Key_T, "cambia il tema: scuro, chiaro, alto contrasto", &AudienceController::nextTheme},
        {Qt::Key_L, "i numeri in ordine di estrazione al posto del tabellone",
         &AudienceController::toggleList},
    }};
    return table;
}

QShortcut *AudienceController::addKey(const QKeySequence &key, void (AudienceController::*action)())
{
    // The screen never has the keyboard, so its keys have to be application-wide.
    auto *shortcut = new QShortcut(key, m_screen.get());
    shortcut->setContext(Qt::ApplicationShortcut);
    connect(shortcut, &QShortcut::activated, this, action);
    m_keys << shortcut;
    return shortcut;
}

void AudienceController::nextTheme()
{
    if (m_screen) m_screen->nextTheme();
}

void AudienceController::toggleList()
{
    if (m_screen) m_screen->setListShown(!m_screen->listShown());
}

void AudienceController::showBanner(const QString &text, int ms)
{
    if (!m_bannerTimer) {
        m_bannerTimer = new QTimer(this);
        m_bannerTimer->setSingleShot(true);
        connect(m_bannerTimer, &QTimer::timeout, this, [this] {
            m_banner.clear();
            if (m_screen) m_screen->setBanner(QString());
        });
    }
    m_banner = text;
    if (m_screen) m_screen->setBanner(text);
    m_bannerTimer->start(ms);
}

void AudienceController::setPrizeLadder(const QStringList &lines)
{
    m_ladder = lines;
    if (m_screen) m_screen->setPrizeLadder(lines);
}

void AudienceController::setTombola(const QString &winners)
{
    m_tombola = winners;
    if (m_screen) m_screen->setTombola(winners);
}

void AudienceController::open()
{
    if (m_game.isClosed() || isOpen()) return;
    if (!m_screen) {
        m_screen = std::make_unique<AudienceScreen>(m_game, m_form.windowIcon());
        m_screen->setBanner(m_banner);
        m_screen->setPrizeLadder(m_ladder);
        m_screen->setTombola(m_tombola);
        for (const Key &k : keys())
            addKey(QKeySequence(k.key), k.action);
        connect(m_screen.get(), &AudienceScreen::fullScreenToggleRequested, this,
                &AudienceController::toggleFullScreen);
        connect(m_screen.get(), &AudienceScreen::closeRequested, this, &AudienceController::close);
        m_screen->installEventFilter(this);
        emit screenCreated(m_screen.get());
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
        m_screen->setWindowState(m_screen->windowState() & ~(Qt::WindowMinimized | Qt::WindowFullScreen));
        placeWindowed();
        m_screen->show();
    }
    updateKeys();
}

void AudienceController::placeWindowed()
{
    QScreen *own = m_form.screen();
    if (!own) return;
    const QRect available = own->availableGeometry();
    const QRect caller = m_form.frameGeometry();
    // Kept where the caller left it in this run, while that is still clear of the caller's window.
    if (m_windowed.isValid() && available.contains(m_windowed) && !m_windowed.intersects(caller)) {
        m_screen->setScreen(own);
        m_screen->setGeometry(m_windowed);
        return;
    }
    // The screen's window will have a border like the caller's.
    const QRect inner = m_form.geometry();
    const QMargins frame(inner.left() - caller.left(), inner.top() - caller.top(),
                         caller.right() - inner.right(), caller.bottom() - inner.bottom());
    QRect r = besideRect(available, caller, frame);
    // The caller's window leaves no room: the smallest window in the corner farthest from it.
    if (r.isNull()) {
        r = QRect(QPoint(), m_screen->minimumSize());
        const QPoint centre = caller.center();
        r.moveLeft(centre.x() < available.center().x() ? available.right() - r.width() - frame.right()
                                                       : available.left() + frame.left());
        r.moveTop(centre.y() < available.center().y() ? available.bottom() - r.height() - frame.bottom()
                                                      : available.top() + frame.top());
    }
    m_screen->setScreen(own);
    m_screen->setGeometry(r);
    m_windowed = r;
}

void AudienceController::toggleFullScreen()
{
    if (!isOpen()) return;
    if (m_screen->isFullScreen()) {
        m_screen->setWindowState(m_screen->windowState() & ~Qt::WindowFullScreen);
        QScreen *on = m_screen->screen();
        if (m_windowed.isValid() && on && on->availableGeometry().contains(m_windowed)) {
            m_screen->setGeometry(m_windowed);
        } else if (on) {
            // Full screen from the start on the room's display: a window two thirds its size.
            QRect r(QPoint(), on->availableGeometry().size() * 2 / 3);
            r.moveCenter(on->availableGeometry().center());
            m_screen->setGeometry(r);
        }
        return;
    }
    if (!targetScreen(m_form)) m_windowed = m_screen->geometry();
    // On the display it stands on, whichever that is now.
    m_screen->setWindowState(m_screen->windowState() | Qt::WindowFullScreen);
}

void AudienceController::leaveFullScreenOrClose()
{
    if (isOpen() && m_screen->isFullScreen())
        toggleFullScreen();
    else
        close();
}

bool AudienceController::eventFilter(QObject *watched, QEvent *event)
{
    // Where the platform activates every window shown, the activation goes straight back.
    if (watched == m_screen.get() && (event->type() == QEvent::Show || event->type() == QEvent::Hide ||
                                      event->type() == QEvent::WindowStateChange))
        QMetaObject::invokeMethod(this, &AudienceController::stateChanged, Qt::QueuedConnection);
    if (watched == m_screen.get() && event->type() == QEvent::WindowActivate) {
        QWidget *back = m_activeBefore && m_activeBefore->isVisible() ? m_activeBefore.data() : &m_form;
        if (back->isVisible() && back != m_screen.get()) back->activateWindow();
    }
    return QObject::eventFilter(watched, event);
}

void AudienceController::close()
{
    if (!m_screen) return;
    if (!m_screen->isFullScreen() && !targetScreen(m_form)) m_windowed = m_screen->geometry();
    m_screen->hide();
    updateKeys();
}
