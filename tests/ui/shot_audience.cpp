// Pictures of the audience screen: twenty numbers drawn in a caller's window with fake ports.
// shot_audience MAIN_PNG [MORE_DIR]: MAIN_PNG is the screen full size during the draw; MORE_DIR,
// when given, gets the same at 1280x720, 1024x768 and 600x900, the light and high-contrast themes, the
// numbers in order, both sizes in the pause, a repeat and the end.

#include "form_harness.h"

#include "claims/draw_words.h"
#include "ui/audience_screen.h"
#include "ui/faces.h"

#include <QDir>
#include <QLineEdit>
#include <QStyleFactory>
#include <cstdio>

namespace
{
bool save(AudienceScreen &screen, const QString &file)
{
    QCoreApplication::processEvents();
    const bool ok = screen.grab().save(file);
    std::printf("%s %dx%d %s\n", qPrintable(file), screen.width(), screen.height(), ok ? "ok" : "FAILED");
    return ok;
}

void showAt(AudienceScreen &screen, const QSize &size)
{
    screen.showNormal();
    screen.resize(size);
    QCoreApplication::processEvents();
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    installFaceSubstitutes();
    if (argc < 2) {
        std::fprintf(stderr, "usage: shot_audience MAIN_PNG [MORE_DIR]\n");
        return 2;
    }
    const QString main = QString::fromLocal8Bit(argv[1]);
    const QString more = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    Harness h(3);
    AudienceController controller(*h.form, h.game());
    controller.open();
    AudienceScreen &screen = *controller.screen();
    bool ok = true;
    h.random.replay(picksFor({14, 3, 67, 42, 90, 15, 29, 35, 18, 52, 36, 64, 1, 37, 40, 73, 46, 72, 50, 77}));
    h.clock.onPump = [&](FakeClock::Point p) {
        if (p != FakeClock::Point::Wait || h.drawn().size() != 20 || h.state().sospeso) return;
        showAt(screen, QSize(1920, 1080));
        ok = save(screen, main) && ok;
        if (!more.isEmpty())
            for (const QSize size : {QSize(1280, 720), QSize(1024, 768), QSize(600, 900)}) {
                showAt(screen, size);
                ok = save(screen,
                          QDir(more).filePath(
                              QStringLiteral("audience-%1x%2.png").arg(size.width()).arg(size.height()))) &&
                     ok;
            }
        if (!more.isEmpty()) {
            showAt(screen, QSize(1920, 1080));
            screen.setTheme(AudienceScreen::Theme::Light);
            ok = save(screen, QDir(more).filePath(QStringLiteral("audience-chiaro-1920x1080.png"))) && ok;
            screen.setTheme(AudienceScreen::Theme::HighContrast);
            ok = save(screen, QDir(more).filePath(QStringLiteral("audience-contrasto-1920x1080.png"))) && ok;
            screen.setTheme(AudienceScreen::Theme::Dark);
            screen.setListShown(true);
            ok = save(screen, QDir(more).filePath(QStringLiteral("audience-ordine-1920x1080.png"))) && ok;
            screen.setListShown(false);
            // The ladder of prizes and the banner of a win confirmed from the watch.
            screen.setPrizeLadder({QStringLiteral("Si gioca per: QUATERNO"),
                                   QStringLiteral("AMBO alla 6ª: 7KQ3M-4 Y, 0D8B2-F C"),
                                   QStringLiteral("TERNO alla 17ª: 7KQ3M-4 Y")});
            screen.setBanner(QStringLiteral("TERNO! cartella 7KQ3M-4 Y"));
            ok = save(screen, QDir(more).filePath(QStringLiteral("audience-premi-1920x1080.png"))) && ok;
            screen.setBanner(QString());
            // Every prize won, some shared, at the least size and beside the window.
            const QString a = unbroken(QStringLiteral("ESD1B-6 J")),
                          b = unbroken(QStringLiteral("YBS52-5 P")),
                          c = unbroken(QStringLiteral("ESD1B-2 T")),
                          d = unbroken(QStringLiteral("ESD1B-3 R")),
                          e = unbroken(QStringLiteral("0D8B2-F C"));
            screen.setPrizeLadder({QStringLiteral("Premi tutti vinti"), QStringLiteral("AMBO alla 5ª: ") + a,
                                   QStringLiteral("TERNO alla 14ª: ") + a,
                                   QStringLiteral("QUATERNO alla 27ª: %1, %2").arg(b, c),
                                   QStringLiteral("CINQUINA alla 45ª: ") + c,
                                   QStringLiteral("TOMBOLA alla 79ª: %1, %2 e altri 3").arg(d, e)});
            for (const QSize size : {QSize(480, 270), QSize(542, 304), QSize(1920, 1080)}) {
                showAt(screen, size);
                ok = save(screen, QDir(more).filePath(QStringLiteral("audience-tutti-%1x%2.png")
                                                          .arg(size.width())
                                                          .arg(size.height()))) &&
                     ok;
            }
            // The tombola won: over the board until the next game.
            screen.setTombola(QStringLiteral("cartelle %1, %2").arg(d, e));
            ok = save(screen, QDir(more).filePath(QStringLiteral("audience-tombola-1920x1080.png"))) && ok;
            screen.setTombola({});
            screen.setPrizeLadder({});
        }
        h.click("cmd_sospendi");
    };
    h.click("cmd_estrai");
    h.clock.onPump = nullptr;
    if (!more.isEmpty())
        for (const QSize size : {QSize(1920, 1080), QSize(1280, 720)}) {
            showAt(screen, size);
            ok = save(screen,
                      QDir(more).filePath(
                          QStringLiteral("audience-pausa-%1x%2.png").arg(size.width()).arg(size.height()))) &&
                 ok;
        }
    if (more.isEmpty()) return ok ? 0 : 1;

    // The repeat of the last three, on red, and the end of the game.
    showAt(screen, QSize(1280, 720));
    bool redSaved = false;
    h.clock.onPump = [&](FakeClock::Point) {
        if (redSaved || !screen.numberOnRed() || screen.shownNumber().isEmpty()) return;
        redSaved = true;
        ok = save(screen, QDir(more).filePath(QStringLiteral("audience-ripeti-1280x720.png"))) && ok;
    };
    h.click("cmd_ripeti");
    QTest::keyClicks(h.form->txt_ultimi, QStringLiteral("3"));
    QTest::keyClick(h.form->txt_ultimi, Qt::Key_Return);
    h.clock.onPump = nullptr;
    h.click("cmd_sospendi");
    ok = save(screen, QDir(more).filePath(QStringLiteral("audience-fine-1280x720.png"))) && ok;
    return ok && redSaved ? 0 : 1;
}
