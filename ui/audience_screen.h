#pragma once
// The audience screen: a second window that mirrors the game for the room, on a TV or projector.
//
// It reads the game when the game says its display, numbers or pause changed and when it opens; it
// changes nothing, takes no focus and runs no event loop of its own. It repaints only what a
// change touches, over a cached picture of what never changes at a given size and theme.

#include <QList>
#include <QPixmap>
#include <QRect>
#include <QRectF>
#include <QRegion>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

class Game;
class QTimer;

class AudienceScreen : public QWidget
{
    Q_OBJECT

public:
    enum class Theme { Dark, Light, HighContrast };
    Q_ENUM(Theme)

    AudienceScreen(const Game &game, const QIcon &icon);
    ~AudienceScreen() override;

    static const QString &titolo();

    // The smallest window it can be given, and the ladder of prizes' lines: a share of the window's
    // height, never smaller than the least size.
    static constexpr QSize kMinimumSize{480, 270};
    static constexpr double kLadderShare = 0.026;
    static constexpr double kLeastLadderPixels = 12;
    static double ladderPixels(const QSize &size);
    // The pixel size of each line of the ladder at its last painting, top to bottom, and where
    // each was painted.
    QList<int> ladderLinesPainted() const { return m_ladderSizes; }
    QList<QRectF> ladderRectsPainted() const { return m_ladderRects; }

    // What the screen holds for painting, as of its last refresh.
    QString shownNumber() const { return m_shown.number; }
    QString shownWords() const { return m_shown.words; }
    QString shownMeaning() const { return m_shown.meaning; }
    // "12 di 90"; empty before the first number of a game.
    QString shownCounter() const { return m_shown.counter; }
    QList<int> litNumbers() const;
    QList<int> drawnInOrder() const { return m_shown.order; }
    QList<int> lastFive() const;
    bool pauseShown() const { return m_shown.pause; }
    bool numberOnRed() const { return m_shown.red; }
    int refreshes() const { return m_refreshes; }

    Theme theme() const { return m_theme; }
    void setTheme(Theme theme);
    void nextTheme();
    // The board gives way to the numbers drawn, in their order.
    bool listShown() const { return m_listShown; }
    void setListShown(bool shown);

    // The band kept for the claim banners and the ladder of prizes: painted there, nowhere else.
    void setBanner(const QString &text);
    void setPrizeLadder(const QStringList &lines);
    // The tombola won, over the board in the largest letters, until the next game: `winners` names
    // them ("cartella 7KQ3M-4 Y"); empty takes it away.
    void setTombola(const QString &winners);
    QString tombola() const { return m_tombola; }
    QString banner() const { return m_banner; }
    QStringList prizeLadder() const { return m_prizeLadder; }

    // What was painted onto the window since the last call.
    QRegion takePainted();
    // A change is waiting to be painted.
    bool paintPending() const;

    // Where things are painted at a size.
    struct Layout {
        QRectF numberBox, words, meaning, counter, recent, extras, board, listCaption;
        std::array<QRectF, 6> blocks{};
        std::array<QRectF, 90> cells{};  // the board's cell of each number
        std::array<QRectF, 90> places{}; // the ordered list's place of the k-th number drawn
    };
    // The layout of a window of `size`; the band under the last five is at least `extrasAtLeast`
    // high when the number and the last five can lend it room.
    static Layout layoutFor(const QSizeF &size, double extrasAtLeast = 0);
    // Where the tombola won is painted.
    static QRectF tombolaRect(const Layout &l);
    // The layout now: the window's size and the room its ladder of prizes needs.
    Layout layout() const;
    QRectF cellRect(int n) const { return layout().cells.at(std::size_t(n - 1)); }
    QRectF numberRect() const { return layout().numberBox; }

signals:
    void fullScreenToggleRequested();
    void closeRequested();

public slots:
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    struct Shown {
        QString number;
        bool red = false;
        QString words;
        QString meaning;
        QString counter;
        QList<int> order;
        bool pause = false;
        bool operator==(const Shown &) const = default;
    };
    struct Faces;

    QRegion changedBetween(const Shown &before, const Shown &after) const;
    void prepare();
    void paintBackground(QPainter &p) const;
    void paintNumberPanel(QPainter &p) const;
    void paintLastFive(QPainter &p) const;
    void paintExtras(QPainter &p) const;
    void paintTombola(QPainter &p) const;
    // The ladder's lines laid out in `area`, all of them whole: in one size, ladderPixels() when
    // they fit, else smaller, and in two columns when one is too few at the least readable size.
    struct LadderFit {
        double pixels = 0;
        QList<QRectF> rects;
    };
    LadderFit fitLadder(const QRectF &area) const;
    // The height the ladder's lines need at their own size in the band of a window of `size`.
    double ladderNeeds(const QSizeF &size) const;
    void paintDrawnCell(QPainter &p, const QRectF &cell, int n, bool newest) const;

    const Game &m_game;
    Shown m_shown;
    int m_refreshes = 0;
    Theme m_theme = Theme::Dark;
    bool m_listShown = false;
    QString m_banner;
    QStringList m_prizeLadder;
    QString m_tombola;
    // Kept for the present size and theme; rebuilt when either changes.
    Layout m_layout;
    std::unique_ptr<Faces> m_faces;
    QPixmap m_background;
    bool m_prepared = false;
    QRegion m_painted;
    mutable QList<int> m_ladderSizes;
    mutable QList<QRectF> m_ladderRects;
    // What changed, painted a moment later.
    QRegion m_dirty;
    QTimer m_paintSoon;
};

// The controller was declared here first: its users include this header.
#include "ui/audience_controller.h"
