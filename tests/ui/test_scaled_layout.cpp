// The caller's window grown from its default size, as on a 1920x1080 screen maximised: every
// control keeps its place and proportion (its box is the default one times the layout's factor,
// the layout centred in the room left over), its font grows by the same factor, its text is shown
// whole, nothing overlaps that did not and nothing leaves its container; the big number and the
// words are drawn at the new size; and back at the default size the window is what it was.
//
// TOMBOLA_SHOTS=DIR also saves the grown window there, to look at.

#include "cut_texts.h"
#include "form_harness.h"

#include "evening/evening_record.h"
#include "phones/phone_relay.h"
#include "phones/phone_service.h"
#include "remote/nats_relay.h"
#include "ui/audience_controller.h"
#include "ui/faces.h"
#include "ui/phones_ui.h"
#include "ui/remote_ui.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace
{
constexpr QSize kDefault(814, 584);

// The caller's window with every panel main.cpp puts on it: the prizes, the phones and the mark of
// the phones far away (with a settings file of the test's own, so nothing connects).
struct Window : Harness {
    QTemporaryDir dir;
    EveningStore store;
    std::unique_ptr<EveningRecord> evening;
    std::unique_ptr<AudienceController> audience;
    std::unique_ptr<PhoneService> service;
    std::unique_ptr<PhoneRelay> phones;
    std::unique_ptr<NatsRelay> far;
    PhonesPanel *phonesPanel = nullptr;
    RemotePanel *remotePanel = nullptr;

    Window()
    {
        qputenv("TOMBOLA_REMOTE_SETTINGS", dir.filePath(QStringLiteral("lontani.ini")).toLocal8Bit());
        QString notice;
        store.open(dir.filePath(QStringLiteral("serate.sqlite")), &notice);
        evening = std::make_unique<EveningRecord>(store, game(), caller->printRun, caller->prizes);
        evening->begin();
        audience = std::make_unique<AudienceController>(*form, game());
        service = std::make_unique<PhoneService>(game(), caller->prizes, caller->printRun, *evening);
        phones = std::make_unique<PhoneRelay>(*service);
        far = std::make_unique<NatsRelay>(*service);
        phonesPanel = new PhonesPanel(*form, game(), *phones, *audience);
        remotePanel = new RemotePanel(*form, *far, *evening);
        form->show();
    }
    ~Window()
    {
        delete remotePanel;
        delete phonesPanel;
    }

    // Resized as a window manager does it, and laid out.
    bool resizeTo(QSize size)
    {
        form->resize(size);
        return QTest::qWaitFor([&] { return form->size() == size; }) &&
               qFuzzyCompare(form->layoutScale().factor(),
                             std::min(double(size.width()) / kDefault.width(),
                                      double(size.height()) / kDefault.height()));
    }

    // A game under way with every part of the window that comes and goes shown: numbers on the
    // board, the prize won and the one in play in the card panel's place, the claim panel with a
    // verdict, the phones' code and address and a call, the marks of the top right corner.
    void everythingShown()
    {
        QVERIFY(phones->switchOn());
        drawAndPause({12, 34, 56, 77});
        click(QStringLiteral("cmd_verifica"));
        form->setCaption(Control::lbl_esito, QStringLiteral("QUATERNO VALIDO"));
        form->setVisible(Control::lbl_esito, true);
        emit phones->called(QStringLiteral("Chiamata dal telefono, cartella 7KQ3M-4 Y: vince il TERNO"));
        for (const char *mark : {"lbl_audio", "lbl_serata", "lbl_remoto"})
            control(QLatin1String(mark))->show();
    }

    void shoot(const QString &name)
    {
        const QString shots = qEnvironmentVariable("TOMBOLA_SHOTS");
        if (!shots.isEmpty()) form->grab().save(shots + QLatin1Char('/') + name);
    }
};

// How a control of the window stands: its box from the window's top left, its box in its
// container, and its font's size (points, or pixels for a font set in pixels).
struct Look {
    QRect box;
    QRect inParent;
    double size = 0;
    bool pixels = false;
};

QMap<QString, Look> looks(QWidget *window)
{
    QMap<QString, Look> out;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->window() != window || w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
        const bool pixels = w->font().pixelSize() > 0;
        out.insert(w->objectName(), Look{QRect(w->mapTo(window, QPoint(0, 0)), w->size()), w->geometry(),
                                         pixels ? w->font().pixelSize() : w->font().pointSizeF(), pixels});
    }
    return out;
}

// The pairs of controls of one container whose boxes overlap, as "a / b".
QSet<QString> overlaps(QWidget *window)
{
    QSet<QString> out;
    QList<QWidget *> all{window};
    all += window->findChildren<QWidget *>();
    for (QWidget *parent : all) {
        if (parent->window() != window) continue;
        const QList<QWidget *> kids = parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *a : kids)
            for (QWidget *b : kids)
                if (a < b && !a->isWindow() && !b->isWindow() && a->geometry().intersects(b->geometry()))
                    out << a->objectName() + QStringLiteral(" / ") + b->objectName();
    }
    return out;
}

// The controls whose font is fitted to their text, with the largest size it may have at the
// default size (points; pixels for the phones' address).
const QMap<QString, double> &fittedFonts()
{
    static const QMap<QString, double> caps{{QStringLiteral("Label3"), 8},
                                            {QStringLiteral("Opt_escludi"), 8},
                                            {QStringLiteral("Opt_maiuscolo"), 8},
                                            {QStringLiteral("Opt_minuscolo"), 8},
                                            {QStringLiteral("Opt_script"), 8},
                                            {QStringLiteral("Label6"), Form1::kWordsPoints},
                                            {QStringLiteral("lbl_si_gioca"), 12},
                                            {QStringLiteral("lbl_telefoni"), 12},
                                            // The window's 8 points, in pixels.
                                            {QStringLiteral("lbl_chiamata"), 11}};
    return caps;
}

// The box of the dark pixels of `w`'s picture, its edge of one pixel aside.
QRect ink(QWidget *w)
{
    const QImage image = w->grab().toImage();
    QRect box;
    for (int y = 2; y < image.height() - 2; ++y)
        for (int x = 2; x < image.width() - 2; ++x)
            if (qGray(image.pixel(x, y)) < 96) box |= QRect(x, y, 1, 1);
    return box;
}

const QList<QSize> kGrown{QSize(1628, 1168), QSize(1920, 1017), QSize(1920, 1080), QSize(1000, 1100),
                          QSize(900, 584)};
} // namespace

class TestScaledLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFaceSubstitutes(); }
    void everyControlKeepsItsPlaceAndProportion_data();
    void everyControlKeepsItsPlaceAndProportion();
    void everyTextIsShownWholeGrown_data();
    void everyTextIsShownWholeGrown();
    void theBigNumberAndTheWordsAreDrawnAtTheNewSize();
    void theHiddenGestureKeepsItsEdge();
    void backAtTheDefaultSizeTheWindowIsAsItWas();
};

void TestScaledLayout::everyControlKeepsItsPlaceAndProportion_data()
{
    QTest::addColumn<QSize>("size");
    for (const QSize &s : kGrown)
        QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(s.width()).arg(s.height()))) << s;
}

void TestScaledLayout::everyControlKeepsItsPlaceAndProportion()
{
    QFETCH(QSize, size);
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.form));
    w.everythingShown();
    const QMap<QString, Look> before = looks(w.form);
    const QSet<QString> overlapping = overlaps(w.form);
    QVERIFY(before.size() > 150);
    QVERIFY(w.resizeTo(size));
    w.shoot(QStringLiteral("grown-%1x%2.png").arg(size.width()).arg(size.height()));

    const double f =
        std::min(double(size.width()) / kDefault.width(), double(size.height()) / kDefault.height());
    const QPoint origin((size.width() - int(std::lround(kDefault.width() * f))) / 2,
                        (size.height() - int(std::lround(kDefault.height() * f))) / 2);
    const QMap<QString, Look> after = looks(w.form);
    QCOMPARE(after.keys(), before.keys());
    QStringList wrong;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QString &name = it.key();
        const Look &was = it.value(), &now = after[name];
        const QRectF wanted(QPointF(origin) + QPointF(was.box.topLeft()) * f, QSizeF(was.box.size()) * f);
        const bool placed = std::abs(now.box.left() - wanted.left()) <= 1 &&
                            std::abs(now.box.top() - wanted.top()) <= 1 &&
                            std::abs(now.box.left() + now.box.width() - wanted.right()) <= 1 &&
                            std::abs(now.box.top() + now.box.height() - wanted.bottom()) <= 1;
        if (!placed)
            wrong << QStringLiteral("%1 at %2,%3 %4x%5, not %6,%7 %8x%9")
                         .arg(name)
                         .arg(now.box.x())
                         .arg(now.box.y())
                         .arg(now.box.width())
                         .arg(now.box.height())
                         .arg(wanted.x())
                         .arg(wanted.y())
                         .arg(wanted.width())
                         .arg(wanted.height());
        // Its font by the same factor; a font fitted to its text within the sizes it may take.
        const auto cap = fittedFonts().constFind(name);
        const double grown = now.size / f;
        const bool sized = cap == fittedFonts().cend()
                               ? (was.pixels ? std::abs(now.size - std::lround(was.size * f)) <= 0
                                             : std::abs(grown - was.size) < 1e-3)
                               : grown >= was.size - 2 - 1e-3 && grown <= *cap + (was.pixels ? 0.5 : 1e-3);
        if (!sized || now.pixels != was.pixels)
            wrong << QStringLiteral("%1: font %2 from %3").arg(name).arg(now.size).arg(was.size);
        // Inside its container where it was, and inside the window.
        const QWidget *parent = w.form->findChild<QWidget *>(name)->parentWidget();
        if (parent != w.form &&
            QRect(QPoint(), before.value(parent->objectName()).box.size()).contains(was.inParent) &&
            !parent->rect().contains(now.inParent))
            wrong << name + QStringLiteral(" leaves ") + parent->objectName();
        if (!w.form->rect().contains(now.box)) wrong << name + QStringLiteral(" leaves the window");
    }
    // The marks of the top right corner and the phones' code drawn again at their new size (a
    // square in a box a pixel off square).
    for (const char *picture : {"lbl_audio", "lbl_serata", "lbl_remoto", "lbl_telefoni_qr"}) {
        auto *l = w.control<QLabel>(QLatin1String(picture));
        const QSize off = l->size() - l->pixmap().size();
        if (off.width() < 0 || off.height() < 0 || off.width() > 1 || off.height() > 1)
            wrong << QStringLiteral("%1 drawn %2x%3")
                         .arg(QLatin1String(picture))
                         .arg(l->pixmap().width())
                         .arg(l->pixmap().height());
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    const QSet<QString> added = overlaps(w.form) - overlapping;
    QVERIFY2(added.isEmpty(), qPrintable(QStringList(added.cbegin(), added.cend()).join(QLatin1Char('\n'))));
    QVERIFY(cutTexts(w.form).isEmpty());
}

void TestScaledLayout::everyTextIsShownWholeGrown_data()
{
    everyControlKeepsItsPlaceAndProportion_data();
}

void TestScaledLayout::everyTextIsShownWholeGrown()
{
    // The longest texts of each control, as test_layout shows them at the default size: the words
    // of the numbers in capitals, the counts after the 90th number, each verdict, the prize in play,
    // the phones' longest address and call.
    QFETCH(QSize, size);
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.form));
    QVERIFY(w.resizeTo(size));
    QStringList cut;
    for (int n : {54, 44, 64, 74, 77, 88}) {
        w.drawAndPause({n});
        cut += cutTexts(w.form);
    }
    w.clock.onPump = nullptr;
    w.click(QStringLiteral("cmd_sospendi"));
    QCOMPARE(w.text(QStringLiteral("Label1")), QStringLiteral("Fine"));
    cut += cutTexts(w.form);
    w.click(QStringLiteral("cmd_verifica"));
    for (const QString &v : {QStringLiteral("PRIMA UN'ALTRA"), QStringLiteral("QUATERNO VALIDO"),
                             QStringLiteral("GIÀ VINTA"), QStringLiteral("CINQUINA VALIDA")}) {
        w.form->setCaption(Control::lbl_esito, v);
        w.form->setVisible(Control::lbl_esito, true);
        cut += cutTexts(w.form);
    }
    QVERIFY(w.phones->switchOn());
    w.phonesPanel->showAddress(QStringLiteral("http://255.255.255.255:65535/6221zpq2f5r4d6ygkmnpqrstvw/"));
    emit w.phones->called(QStringLiteral(
        "Chiamata dal telefono, cartella WWWWW-F W: le cartelle WWWWW-F W, WWWWW-F W, WWWWW-F W e altre 12 "
        "avevano il QUATERNO alla 88ª, prima di questa (89ª): confermala o ignorala, poi ricontrolla"));
    cut += cutTexts(w.form);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    // Fitted, and still growing with the window.
    const double f = w.form->layoutScale().factor();
    QVERIFY(QFontInfo(w.phonesPanel->addressLabel()->font()).pixelSize() >= 7 * f - 1);
    QVERIFY(QFontInfo(w.phonesPanel->callLabel()->font()).pixelSize() >= 7 * f - 1);
}

void TestScaledLayout::theBigNumberAndTheWordsAreDrawnAtTheNewSize()
{
    // Each size draws its own glyphs: a number drawn at one size and shown at another is drawn
    // again there, not blank nor left at the size it was drawn.
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.form));
    w.drawAndPause({12});
    QCOMPARE(w.text(QStringLiteral("Label1")), QStringLiteral("12"));
    QCOMPARE(w.text(QStringLiteral("Label6")), QStringLiteral("DODICI"));
    QWidget *number = w.control(QStringLiteral("Label1"));
    QWidget *words = w.control(QStringLiteral("Label6"));
    const QRect number1 = ink(number), words1 = ink(words);
    QVERIFY(number1.height() > 40);
    QVERIFY(words1.height() > 20);
    for (const QSize &size : {QSize(1628, 1168), QSize(1100, 790), QSize(1920, 1017)}) {
        QVERIFY(w.resizeTo(size));
        const double f = w.form->layoutScale().factor();
        for (const auto &[label, was] : {std::pair{number, number1}, std::pair{words, words1}}) {
            const QRect now = ink(label);
            const QString seen = QStringLiteral("%1 at %2: %3x%4 from %5x%6")
                                     .arg(label->objectName())
                                     .arg(f)
                                     .arg(now.width())
                                     .arg(now.height())
                                     .arg(was.width())
                                     .arg(was.height());
            QVERIFY2(std::abs(now.width() - was.width() * f) <= 2 + 0.03 * now.width() &&
                         std::abs(now.height() - was.height() * f) <= 2 + 0.03 * now.height(),
                     qPrintable(seen));
            // Where it was in its box.
            QVERIFY2(std::abs(now.center().x() - was.center().x() * f) <= 2 + f &&
                         std::abs(now.center().y() - was.center().y() * f) <= 2 + f,
                     qPrintable(seen));
        }
    }
    // And the next number, drawn at this size.
    const double f = w.form->layoutScale().factor();
    w.drawAndPause({45});
    QCOMPARE(w.text(QStringLiteral("Label1")), QStringLiteral("45"));
    QCOMPARE(w.text(QStringLiteral("Label6")), QStringLiteral("QUARANTACINQUE"));
    const QRect number45 = ink(number);
    QVERIFY2(number45.height() > number1.height() * f - 4 && number45.width() > number1.width() * f * 0.8,
             qPrintable(QStringLiteral("%1x%2").arg(number45.width()).arg(number45.height())));
    QVERIFY(ink(words).height() > words1.height() * f * 0.8);
}

void TestScaledLayout::theHiddenGestureKeepsItsEdge()
{
    // The right button held over the big number's left edge stops the draw: the edge is as wide in
    // the window's default pixels (6) whatever the window's size.
    for (const QSize &size : {kDefault, QSize(1628, 1168)}) {
        Window w;
        QVERIFY(QTest::qWaitForWindowExposed(w.form));
        QVERIFY(w.resizeTo(size));
        const double f = w.form->layoutScale().factor();
        w.gesture(Qt::RightButton, 8 * f);
        QVERIFY(!w.state().sospeso);
        w.gesture(Qt::RightButton, 6 * f);
        QVERIFY(w.state().sospeso);
    }
}

void TestScaledLayout::backAtTheDefaultSizeTheWindowIsAsItWas()
{
    // Grown and back, the window is what it was: every control where it stood with its font, and
    // the same picture, pixel for pixel (the scripts that drive the program click at its pixels).
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.form));
    w.everythingShown();
    const QMap<QString, Look> before = looks(w.form);
    const QImage picture = w.form->grab().toImage();
    for (const QSize &size : {QSize(1920, 1017), QSize(1628, 1168), QSize(1000, 1100)})
        QVERIFY(w.resizeTo(size));
    QVERIFY(w.resizeTo(kDefault));
    const QMap<QString, Look> after = looks(w.form);
    QStringList moved;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        if (after[it.key()].box != it->box || after[it.key()].size != it->size) moved << it.key();
    QVERIFY2(moved.isEmpty(), qPrintable(moved.join(QLatin1Char(' '))));
    QCOMPARE(w.form->grab().toImage(), picture);
}

QTEST_MAIN(TestScaledLayout)
#include "test_scaled_layout.moc"
