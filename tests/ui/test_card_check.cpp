// The check of a card by its code, opened from the claim panel of a paused game in the real window.

#include "cards/cards_in_play.h"
#include "claims/card_check.h"
#include "form_harness.h"
#include "ui/card_check_dialog.h"
#include "ui/qt_colour.h"

#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>

namespace
{
// Card 00000-1: 3 11 30 70 80 / 17 24 37 63 86 / 39 48 51 68 88.
const QString kCode = QStringLiteral("00000-1 2");

// Opens the check through the claim panel; null when it did not open.
CardCheckDialog *openCheck(Harness &h)
{
    // The codes these tests check count as printed tonight, unless a test says otherwise.
    CardsInPlay &inPlay = h.caller->printRun.cardsInPlay();
    inPlay.add(CardCode{0, 1, CardDealer::Classic});
    inPlay.add(CardCode{0, 1, CardDealer::FullSeries});
    installCardCheck(*h.form, h.game(), h.sound, inPlay);
    h.click("cmd_verifica");
    if (!h.control("fra_controlli")->isVisible()) return nullptr;
    h.click("cmd_cartella");
    return h.form->findChild<CardCheckDialog *>();
}

QLabel *label(CardCheckDialog *d, const QString &name)
{
    auto *l = d->findChild<QLabel *>(name);
    if (!l) qFatal("no label %s", qPrintable(name));
    return l;
}

bool isMarked(CardCheckDialog *d, int r, int c)
{
    QLabel *cell = label(d, QStringLiteral("cella_%1_%2").arg(r).arg(c));
    const bool coloured = cell->palette().color(QPalette::Window) == qColour(Palette::lightCyan);
    if (coloured != cell->font().bold()) qFatal("cell %d %d: colour and weight disagree", r, c);
    return coloured;
}

void check(CardCheckDialog *d, const QString &code)
{
    auto *box = d->findChild<QLineEdit *>(QStringLiteral("txt_codice"));
    box->setText(code);
    QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("cmd_controlla")), Qt::LeftButton);
}
} // namespace

class TestCardCheck : public QObject
{
    Q_OBJECT

private slots:
    void showsTheCardWithItsDrawnNumbersAndPrize();
    void aTombolaPlaysItsClipThenTheApplause();
    void aBadCodeOnlyShowsAMessage();
    void theExampleCodeIsARealCard();
    void textsAreWhollyShownAndACloseEndsAll();
    void aFullSeriesCodeShowsItsOwnCard();
    void aCardNotPrintedTonightWinsNothing();
};

void TestCardCheck::showsTheCardWithItsDrawnNumbersAndPrize()
{
    Harness h;
    h.drawAndPause({3, 50, 11, 17, 30, 2});
    CardCheckDialog *d = openCheck(h);
    QVERIFY(d);
    QVERIFY(d->isVisible());
    // Modal by hand: the window takes no input while the check is open.
    h.click("cmd_sospendi");
    QCOMPARE(h.drawn().size(), 6);
    QVERIFY(!h.game().isDrawing());

    // Typed loosely and confirmed with Enter.
    auto *box = d->findChild<QLineEdit *>(QStringLiteral("txt_codice"));
    QVERIFY(!box->toolTip().isEmpty());
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("00000 1-2"));
    h.sound.played.clear();
    QTest::keyClick(box, Qt::Key_Return);

    QVERIFY(!label(d, "lbl_messaggio")->isVisible());
    QCOMPARE(label(d, "cella_1_1")->text(), QStringLiteral("3"));
    QCOMPARE(label(d, "cella_1_3")->text(), QString());
    QCOMPARE(label(d, "cella_3_9")->text(), QStringLiteral("88"));
    const QList<QPair<int, int>> marked{{1, 1}, {1, 2}, {1, 4}, {2, 2}};
    for (int r = 1; r <= 3; ++r) {
        for (int c = 1; c <= 9; ++c)
            QCOMPARE(isMarked(d, r, c), marked.contains({r, c}));
    }
    QCOMPARE(label(d, "lbl_riga_1")->text(), QStringLiteral("riga 1: 3 numeri usciti"));
    QCOMPARE(label(d, "lbl_riga_2")->text(), QStringLiteral("riga 2: 1 numero uscito"));
    QCOMPARE(label(d, "lbl_riga_3")->text(), QStringLiteral("riga 3: nessun numero uscito"));
    QCOMPARE(label(d, "lbl_premio")->text(), QStringLiteral("terno"));
    QCOMPARE(label(d, "lbl_momenti")->text(),
             QStringLiteral("ambo alla 3ª estrazione (l'11)\nterno alla 5ª estrazione (il 30)"));
    QCOMPARE(h.sound.played, QStringList());
    QCOMPARE(h.dialogs.shown.size(), 0);

    // The window's game is untouched by the check.
    QCOMPARE(h.drawn(), (QStringList{"3", "50", "11", "17", "30", "2"}));
    d->close();
}

void TestCardCheck::aTombolaPlaysItsClipThenTheApplause()
{
    Harness h;
    h.drawAndPause({3, 11, 30, 70, 80, 17, 24, 37, 63, 86, 39, 48, 51, 5, 68, 88});
    CardCheckDialog *d = openCheck(h);
    QVERIFY(d);
    h.sound.played.clear();
    check(d, kCode);
    QCOMPARE(h.sound.played, QStringList({"tombola", "applausi"}));
    QCOMPARE(label(d, "lbl_premio")->text(), QStringLiteral("TOMBOLA!"));
    const QStringList moments = label(d, "lbl_momenti")->text().split(QLatin1Char('\n'));
    QCOMPARE(moments.size(), 5);
    QCOMPARE(moments[3], QStringLiteral("cinquina alla 5ª estrazione (l'80)"));
    QCOMPARE(moments[4], QStringLiteral("tombola alla 16ª estrazione (l'88)"));

    // A clip that is missing is skipped quietly; the applause still comes.
    h.sound.missing.insert(QStringLiteral("tombola"));
    h.sound.played.clear();
    check(d, kCode);
    QCOMPARE(h.sound.played, QStringList({"applausi"}));
    QCOMPARE(h.dialogs.shown.size(), 0);
    d->close();
}

void TestCardCheck::aBadCodeOnlyShowsAMessage()
{
    Harness h;
    h.drawAndPause({3, 11, 30, 70, 80});
    CardCheckDialog *d = openCheck(h);
    QVERIFY(d);
    check(d, kCode);
    QVERIFY(label(d, "lbl_premio")->isVisible());

    const struct {
        const char *typed;
        const char *says;
    } bad[] = {{"00000-1 3", "un simbolo è sbagliato"},
               {"00000-7 2", "da 1 a 6"},
               {"0000-1 2", "Codice non valido"},
               {"", "Codice non valido"}};
    for (const auto &b : bad) {
        h.sound.played.clear();
        check(d, QString::fromUtf8(b.typed));
        QLabel *message = label(d, "lbl_messaggio");
        QVERIFY2(message->isVisible(), b.typed);
        QVERIFY2(message->text().contains(QString::fromUtf8(b.says)), qPrintable(message->text()));
        QVERIFY(!label(d, "lbl_premio")->isVisible());
        QVERIFY(!label(d, "cella_1_1")->isVisible());
        QCOMPARE(h.sound.played, QStringList());
        QCOMPARE(h.dialogs.shown.size(), 0);
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!(qobject_cast<QMessageBox *>(w) && w->isVisible()));
    }

    // A good code again clears the message; a prize short of the tombola plays nothing.
    h.sound.played.clear();
    check(d, kCode);
    QVERIFY(!label(d, "lbl_messaggio")->isVisible());
    QCOMPARE(label(d, "lbl_premio")->text(), QStringLiteral("cinquina"));
    QCOMPARE(h.sound.played, QStringList());
    d->close();
}

void TestCardCheck::theExampleCodeIsARealCard()
{
    // The example in the dialog's hint, in the message of a malformed code, in the README and in
    // the manual page and on the players' page must be a code the check reads, or the caller copies a
    // refused one.
    Harness h;
    h.drawAndPause({3, 11});
    CardCheckDialog *d = openCheck(h);
    QVERIFY(d);
    const QRegularExpression example(
        QStringLiteral("(?:per esempio|come in) ([0-9A-Z]{5}-[0-9A-F] [0-9A-Z])"));
    const QRegularExpressionMatch inHint = example.match(label(d, "lbl_spiega")->text());
    QVERIFY2(inHint.hasMatch(), qPrintable(label(d, "lbl_spiega")->text()));
    const QString code = inHint.captured(1);
    QCOMPARE(parseCardCode(code).error, CodeError::None);
    check(d, QStringLiteral("7KQ3M"));
    const QRegularExpressionMatch inMessage = example.match(label(d, "lbl_messaggio")->text());
    QVERIFY2(inMessage.hasMatch(), qPrintable(label(d, "lbl_messaggio")->text()));
    QCOMPARE(inMessage.captured(1), code);
    // Typed in, it shows its card.
    check(d, code);
    QVERIFY(label(d, "lbl_premio")->isVisible());
    d->close();

    for (const char *doc : {"README.md", "packaging/tombola.6", "phones/page/index.html"}) {
        QFile file(QStringLiteral(TOMBOLA_SOURCE_DIR "/") + QLatin1String(doc));
        QVERIFY2(file.open(QIODevice::ReadOnly), doc);
        const QString text =
            QString::fromUtf8(file.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
        QVERIFY2(text.contains(code), doc);
    }
}

void TestCardCheck::textsAreWhollyShownAndACloseEndsAll()
{
    // Word-wrapped lines in a dialog that does not grow cut their second line; and a dialog open
    // over the window must not keep the window from closing.
    Harness h;
    h.drawAndPause({3, 11});
    CardCheckDialog *d = openCheck(h);
    QVERIFY(d);
    QVERIFY(QTest::qWaitForWindowExposed(d));
    auto whole = [](QLabel *l) { return l->height() >= l->heightForWidth(l->width()); };
    QVERIFY(whole(label(d, "lbl_spiega")));
    check(d, QStringLiteral("0000-1 2"));
    QApplication::processEvents();
    QVERIFY(whole(label(d, "lbl_spiega")));
    QLabel *message = label(d, "lbl_messaggio");
    QVERIFY2(whole(message), qPrintable(QStringLiteral("%1 of %2")
                                            .arg(message->height())
                                            .arg(message->heightForWidth(message->width()))));

    QPointer<CardCheckDialog> open(d);
    h.form->close();
    QVERIFY(h.game().isClosed());
    QVERIFY(!h.form->isVisible());
}

void TestCardCheck::aFullSeriesCodeShowsItsOwnCard()
{
    Harness h;
    h.drawAndPause({1, 10, 24});
    CardCheckDialog *d = openCheck(h);
    QVERIFY(d);
    // Series 0 again, but the first card of its full series: 10 32 43 62 88 / 1 24 35 48 64 / ...
    check(d, QStringLiteral("00000-A M"));
    QVERIFY(!label(d, "lbl_messaggio")->isVisible());
    QCOMPARE(label(d, "cella_1_2")->text(), QStringLiteral("10"));
    QCOMPARE(label(d, "cella_2_1")->text(), QStringLiteral("1"));
    QCOMPARE(label(d, "cella_1_1")->text(), QString());
    QCOMPARE(label(d, "lbl_cartella")->text(),
             QStringLiteral("Cartella 1 della serie completa 00000, dopo 3 numeri estratti"));
    QCOMPARE(label(d, "lbl_riga_2")->text(), QStringLiteral("riga 2: 2 numeri usciti"));
    QCOMPARE(label(d, "lbl_premio")->text(), QStringLiteral("ambo"));
    d->close();
    // One number drawn is said in the singular.
    CardCheckResult one, none;
    QVERIFY(checkCard(QStringLiteral("00000-A M"), {10}, nullptr, nullptr, &one, nullptr));
    QCOMPARE(one.title, QStringLiteral("Cartella 1 della serie completa 00000, dopo 1 numero estratto"));
    QVERIFY(checkCard(QStringLiteral("00000-A M"), {}, nullptr, nullptr, &none, nullptr));
    QCOMPARE(none.title, QStringLiteral("Cartella 1 della serie completa 00000, dopo 0 numeri estratti"));
    // A code that does not read is told, and nothing is found.
    QString why;
    QVERIFY(!checkCard(QStringLiteral("00000-A Z"), {}, nullptr, nullptr, &one, &why));
    QVERIFY2(why.contains(QStringLiteral("Ricopialo")), qPrintable(why));
}

void TestCardCheck::aCardNotPrintedTonightWinsNothing()
{
    // Codes are public: one that no card printed tonight carries is told so, shows what its card
    // would hold, and plays no fanfare even for a tombola.
    Harness h;
    h.drawAndPause({3, 11, 30, 70, 80, 17, 24, 37, 63, 86, 39, 48, 51, 5, 68, 88});
    CardCheckDialog *d = openCheck(h);
    QVERIFY(d);
    h.sound.played.clear();
    check(d, formatCardCode({0, 1, CardDealer::Classic}));
    QVERIFY(!label(d, "lbl_messaggio")->isVisible());
    QCOMPARE(h.sound.played, QStringList({"tombola", "applausi"}));
    h.sound.played.clear();
    check(d, formatCardCode({0, 2, CardDealer::Classic}));
    QVERIFY(label(d, "lbl_messaggio")->isVisible());
    QVERIFY(label(d, "lbl_messaggio")->text().contains(QStringLiteral("cartella non stampata stasera")));
    QVERIFY(label(d, "cella_1_1")->isVisible());
    QCOMPARE(h.sound.played, QStringList());
    d->close();
}

QTEST_MAIN(TestCardCheck)
#include "test_card_check.moc"
