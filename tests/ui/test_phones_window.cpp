// The phones in the caller's window and on the room's screen: the page's address is shown whole,
// inside the window, beside its code, whatever the host and port; on the room's screen the code,
// the invitation and the address stay within the board at any size, the address not cut.

#include "evening/evening_record.h"
#include "form_harness.h"
#include "phones/phone_relay.h"
#include "ui/audience_screen.h"
#include "ui/phones_ui.h"

#include <QFontMetrics>
#include <QLabel>
#include <QTemporaryDir>

namespace
{
struct PhonesWindow : Harness {
    QTemporaryDir dir;
    EveningStore store;
    std::unique_ptr<EveningRecord> evening;
    std::unique_ptr<AudienceController> audience;
    std::unique_ptr<PhoneRelay> relay;
    PhonesPanel *panel = nullptr;

    PhonesWindow()
    {
        QString notice;
        store.open(dir.filePath(QStringLiteral("serate.sqlite")), &notice);
        evening = std::make_unique<EveningRecord>(store, caller->game, caller->printRun, caller->prizes);
        evening->begin();
        audience = std::make_unique<AudienceController>(*form, caller->game);
        relay = std::make_unique<PhoneRelay>(caller->game, caller->prizes, caller->printRun, *evening);
        panel = new PhonesPanel(*form, caller->game, *relay, *audience);
        form->show();
    }
};

QString withoutBreaks(QString text)
{
    return text.remove(QChar(0x200B)).remove(QLatin1Char('\n'));
}
} // namespace

class TestPhonesWindow : public QObject
{
    Q_OBJECT

private slots:
    void theAddressFitsTheWindow_data()
    {
        QTest::addColumn<QString>("address");
        const QString token = QStringLiteral("6221zpq2f5r4d6ygkmnpqrstvw");
        QTest::newRow("short host") << QStringLiteral("http://10.0.0.2:8090/%1/").arg(token);
        QTest::newRow("documentation host") << QStringLiteral("http://192.0.2.2:8090/%1/").arg(token);
        QTest::newRow("longest host and port")
            << QStringLiteral("http://255.255.255.255:65535/%1/").arg(token);
    }
    void theAddressFitsTheWindow()
    {
        QFETCH(QString, address);
        PhonesWindow w;
        QVERIFY(w.relay->switchOn());
        QLabel *label = w.panel->addressLabel();
        QVERIFY(label->isVisible());
        QCOMPARE(withoutBreaks(label->text()), w.relay->address());
        w.panel->showAddress(address);
        QCOMPARE(withoutBreaks(label->text()), address);
        QVERIFY(w.form->rect().contains(label->geometry()));
        // Nothing of it laid out beyond the label, and a size still read from a laptop.
        const QRect room = label->contentsRect();
        const QRect needed =
            QFontMetrics(label->font())
                .boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, label->text());
        QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
                 qPrintable(QStringLiteral("%1x%2 in %3x%4")
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(room.width())
                                .arg(room.height())));
        QVERIFY(QFontInfo(label->font()).pixelSize() >= 7);
        // Beside the code, not over it, and neither over any other control of the window, shown
        // now or later (the words under the big number, the claim panel, the basket's box).
        QVERIFY(!label->geometry().intersects(w.panel->codeLabel()->geometry()));
        QStringList over;
        for (QWidget *other : w.form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (other == label || other == w.panel->codeLabel() || other->isWindow()) continue;
            for (const QWidget *mine :
                 {static_cast<QWidget *>(label), static_cast<QWidget *>(w.panel->codeLabel())})
                if (mine->geometry().intersects(other->geometry()))
                    over << mine->objectName() + QStringLiteral(" over ") + other->objectName();
        }
        QVERIFY2(over.isEmpty(), qPrintable(over.join(QStringLiteral(", "))));
    }

    void theLongestCallIsWhollyShown()
    {
        // A call refused because other cards completed the prize first: the longest line the desk
        // says of a call, with the widest codes.
        PhonesWindow w;
        const QString line = QStringLiteral(
            "Chiamata dal telefono, cartella WWWWW-F W: le cartelle WWWWW-F W, WWWWW-F W, WWWWW-F W e "
            "altre 12 avevano il QUATERNO alla 88ª, prima di questa (89ª): confermala o ignorala, poi "
            "ricontrolla");
        emit w.relay->called(line);
        auto *label = w.form->findChild<QLabel *>(QStringLiteral("lbl_chiamata"));
        QVERIFY(label && label->isVisible());
        QVERIFY(w.form->rect().contains(label->geometry()));
        const QRect room = label->contentsRect();
        const QRect needed = QFontMetrics(label->font())
                                 .boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, line);
        QVERIFY2(needed.height() <= room.height(), qPrintable(QString::number(needed.height())));
        QVERIFY(QFontInfo(label->font()).pixelSize() >= 7);
    }

    // The card on the room's screen: inside the board, with ink in the address's band that
    // stays off the card's edges (a line cut by the edge would touch it).
    void theAddressFitsTheRoomsScreen_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("small window") << QSize(640, 360);
        QTest::newRow("full hd") << QSize(1920, 1080);
        QTest::newRow("tall") << QSize(800, 1000);
    }
    void theAddressFitsTheRoomsScreen()
    {
        QFETCH(QSize, size);
        PhonesWindow w;
        QVERIFY(w.relay->switchOn());
        w.audience->open();
        AudienceScreen &screen = *w.audience->screen();
        screen.resize(size);
        QTRY_VERIFY(w.panel->audienceCode() && w.panel->audienceCode()->isVisible());
        QLabel *card = w.panel->audienceCode();
        QTRY_COMPARE(screen.size(), size);
        QVERIFY(screen.rect().contains(card->geometry()));
        QVERIFY(AudienceScreen::layoutFor(screen.size()).board.toAlignedRect().contains(card->geometry()));
        const QImage image = card->pixmap().toImage();
        const int room = image.width();
        QRect ink;
        for (int y = room + room / 6; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
        QVERIFY(!ink.isEmpty());
        QVERIFY2(ink.left() > 0 && ink.right() < image.width() - 1 && ink.bottom() < image.height() - 1,
                 qPrintable(QStringLiteral("ink %1,%2 to %3,%4 in %5x%6")
                                .arg(ink.left())
                                .arg(ink.top())
                                .arg(ink.right())
                                .arg(ink.bottom())
                                .arg(image.width())
                                .arg(image.height())));
        // Two lines at least, the room's side and then the token: runs of rows with ink.
        int lines = 0;
        bool inLine = false;
        for (int y = ink.top(); y <= ink.bottom(); ++y) {
            bool any = false;
            for (int x = ink.left(); x <= ink.right() && !any; ++x)
                any = qGray(image.pixel(x, y)) < 128;
            lines += any && !inLine ? 1 : 0;
            inLine = any;
        }
        QVERIFY(lines >= 2);
    }
};

QTEST_MAIN(TestPhonesWindow)
#include "test_phones_window.moc"
