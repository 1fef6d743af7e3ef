#pragma once
// The audience screen: a second window that mirrors the game for the room, on a TV or projector.
//
// It reads the game when the game says the window may show something new and when it opens; it
// changes nothing, takes no focus and runs no event loop of its own.

#include <QList>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>

class Form1;
class Game;
class QScreen;
class QShortcut;

class AudienceScreen : public QWidget
{
    Q_OBJECT

public:
    AudienceScreen(const Game &game, const QIcon &icon);
    ~AudienceScreen() override;

    static const QString &titolo();

    // What the screen holds for painting, as of its last refresh.
    QString shownNumber() const { return m_shown.number; }
    QString shownWords() const { return m_shown.words; }
    QString shownCounter() const { return m_shown.counter; }
    QList<int> litNumbers() const;
    QList<int> lastFive() const { return m_shown.lastFive; }
    bool pauseShown() const { return m_shown.pause; }
    bool numberOnRed() const { return m_shown.red; }
    int refreshes() const { return m_refreshes; }

    // Where things are painted at the window's present size.
    struct Layout {
        QRectF numberBox, words, counter, recent, board;
        std::array<QRectF, 6> blocks{};
        std::array<QRectF, 90> cells{};
    };
    static Layout layoutFor(const QSizeF &size);
    QRectF cellRect(int n) const { return layoutFor(size()).cells.at(std::size_t(n - 1)); }
    QRectF numberRect() const { return layoutFor(size()).numberBox; }

public slots:
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Shown {
        QString number;
        bool red = false;
        QString words;
        QString counter;
        std::array<bool, 90> lit{};
        QList<int> lastFive;
        bool pause = false;
        bool operator==(const Shown &) const = default;
    };

    void paintNumberPanel(QPainter &p, const Layout &l) const;
    void paintLastFive(QPainter &p, const QRectF &area, double captionPixels) const;
    void paintBoard(QPainter &p, const Layout &l) const;

    const Game &m_game;
    Shown m_shown;
    int m_refreshes = 0;
};

// Opens and closes the audience screen of one caller's window: full screen on the other screen
// when there is a second one, a normal window otherwise. Esc closes it while it is open, and it
// closes with the caller's window.
class AudienceController : public QObject
{
    Q_OBJECT

public:
    AudienceController(Form1 &form, const Game &game);
    ~AudienceController() override;

    void toggle();
    void open();
    void close();
    bool isOpen() const;
    AudienceScreen *screen() const { return m_screen.get(); }

    // Where the screen goes: the first screen that is not the caller's, or none with one screen.
    static QScreen *targetScreen(const QWidget &form);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateEsc();

    Form1 &m_form;
    const Game &m_game;
    std::unique_ptr<AudienceScreen> m_screen;
    QPointer<QWidget> m_activeBefore;
    QPointer<QShortcut> m_esc;
    bool m_placedWindowed = false;
};
