// The controls of the caller's window as they stand when it first opens: kinds, containers,
// geometry in twips, captions, tool tips, faces and colours.

#include "announce/prizes.h"
#include "game/board.h"
#include "ui/board_cell.h"
#include "ui/form1.h"
#include "ui/paint_cache.h"
#include "ui/qt_colour.h"
#include "ui/qt_platform.h"
#include "ui/wrap_button.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>

#include <cmath>
#include <functional>

namespace
{

QRect tw(int left, int top, int width, int height)
{
    auto px = [](int t) { return int(std::lround(t / kTwipsPerPixel)); };
    return QRect(px(left), px(top), px(width), px(height));
}

QFont faccia(const QString &family, int points, bool bold)
{
    QFont f(family);
    f.setPointSize(points);
    f.setBold(bold);
    return f;
}

QIcon callerIcon()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(200, 30, 30));
    p.setPen(QPen(QColor(120, 0, 0), 2));
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(15);
    p.setFont(f);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("90"));
    return QIcon(pm);
}

// A speaker with a red cross: the sound is not coming out.
QPixmap mutedSpeaker(QSize size)
{
    return crossedOut(size, 4, [](QPainter &p, double u) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 40, 40));
        const QPointF cone[] = {{1 * u, 4 * u},    {3.5 * u, 4 * u}, {6.5 * u, 1 * u},
                                {6.5 * u, 11 * u}, {3.5 * u, 8 * u}, {1 * u, 8 * u}};
        p.drawPolygon(cone, 6);
    });
}

// A disk with a red cross: the evening is not being written.
QPixmap notKeptMark(QSize size)
{
    return crossedOut(size, 6.5, [](QPainter &p, double u) {
        p.setPen(QPen(QColor(40, 40, 40), 0.8 * u));
        p.setBrush(QColor(90, 120, 190));
        p.drawRoundedRect(QRectF(1 * u, 1.5 * u, 8 * u, 9 * u), u, u);
        p.setBrush(QColor(230, 230, 230));
        p.drawRect(QRectF(2.8 * u, 1.5 * u, 4.4 * u, 3 * u));
    });
}

} // namespace

// A mark of something not working: `draw` paints the thing in a 12-unit square of `u` each, and a
// red cross goes over its lower right, from `crossTop` down.
QPixmap crossedOut(QSize size, double crossTop, const std::function<void(QPainter &, double u)> &draw)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double u = std::min(size.width(), size.height()) / 12.0;
    draw(p, u);
    p.setPen(QPen(QColor(200, 0, 0), 1.4 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8 * u, crossTop * u), QPointF(11.5 * u, (crossTop + 4) * u));
    p.drawLine(QPointF(11.5 * u, crossTop * u), QPointF(8 * u, (crossTop + 4) * u));
    return pm;
}

void Form1::buildControls()
{
    const QColor ciano = qColour(Palette::lightCyan);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral(" IL GIOCO della  TOMBOLA") + QString(84, QLatin1Char(' ')) +
                   QStringLiteral("by Corvalo  (il Vandrello)"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("tombola"), callerIcon()));
    // The least size, where every control stands as placed here; larger, the layout grows with it.
    setMinimumSize(tw(0, 0, 12216, 8760).size());
    resize(minimumSize());
    setBackColor(this, ciano);
    setFont(faccia(QStringLiteral("MS Sans Serif"), 8, false));

    auto button = [&](QWidget *parent, const char *name, const char *caption, const char *tip, QRect g) {
        return placeControl(new WrapButton(QLatin1String(caption), parent), name, QLatin1String(tip), g,
                            ciano);
    };
    auto label = [](QWidget *parent, const char *name, const QString &caption, QRect g) {
        return placeControl(new QLabel(caption, parent), name, QString(), g);
    };
    auto frame = [](QWidget *parent, const char *name, const QString &caption, const QString &tip, QRect g,
                    Rgb colour) {
        return placeControl(new QGroupBox(caption, parent), name, tip, g, qColour(colour));
    };

    cmd_estrai =
        button(this, "cmd_estrai", "&Estrai", "inizio estrazione dei numeri", tw(840, 720, 972, 492));
    cmd_nuovo = button(this, "cmd_nuovo", "&Nuova  Tombola", "una  nuova tombolata", tw(840, 120, 972, 492));
    cmd_sospendi = button(this, "cmd_sospendi", "&Pausa", "ferma o riprende l'estrazione dei numeri",
                          tw(2160, 720, 1212, 492));
    cmd_verifica = button(this, "cmd_verifica", "&Verifica",
                          "Verifica dei isultati (ambo,terno,quaterno e cinquina", tw(2160, 120, 1212, 492));
    cmd_ripeti =
        button(this, "cmd_ripeti", "Ripeti &Ultimi numeri estratti",
               "ripetizione ultimi numeri estratti (solo in modalita di pausa)", tw(3720, 120, 1332, 492));

    Label4 = label(this, "Label4", QStringLiteral("il comando ripeti diventa attivo solo in modalita Pausa"),
                   tw(3720, 720, 1332, 612));
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setWordWrap(true);
    txt_ultimi =
        placeControl(new QLineEdit(this), "txt_ultimi",
                     QStringLiteral("digitare un valore e poi premere INVIO"), tw(4080, 840, 492, 288));

    Label2 = label(this, "Label2", QString(), tw(6600, 240, 3132, 252));
    Label1 =
        placeControl(new LargeTextLabel(QString(), this), "Label1", QString(), tw(6600, 720, 3132, 2172));
    Label1->setToolTip(QStringLiteral("Visualizzatore numero estratto"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFrameShape(QFrame::Box);
    Label1->setFont(faccia(QStringLiteral("Arial Narrow"), 72, true));
    Label1->setMouseTracking(true);
    setBackColor(Label1, ciano);
    Label3 = label(this, "Label3", QStringLiteral("Piu  Veloce  < estrazione  >   Piu Lenta"),
                   tw(6960, 3120, 2772, 252));
    HScroll1 =
        placeControl(new QScrollBar(Qt::Horizontal, this), "HScroll1", QString(), tw(6840, 3480, 2892, 252));
    HScroll1->setRange(100, 7000);
    HScroll1->setSingleStep(200);
    HScroll1->setPageStep(1000);
    HScroll1->setValue(100);
    // A dragged thumb reports its value when it is let go, not on every position it passes.
    HScroll1->setTracking(false);
    HScroll1->setFocusPolicy(Qt::StrongFocus);
    // Right arrow and Page Down go towards "Piu Lenta", as the caption under the bar reads.
    HScroll1->setInvertedControls(false);
    Label6 = label(this, "Label6", QString(), tw(5040, 3840, 7092, 1092));
    Label6->setAlignment(Qt::AlignCenter);
    Label6->setFont(faccia(QStringLiteral("Arial Narrow"), kWordsPoints, true));
    LayoutScale::fitsOwnFont(*Label6);
    // The labels that change with every number fill their own background (the window's colour), so
    // the window is not painted again under them.
    for (QLabel *changing : {Label2, Label6})
        changing->setAutoFillBackground(true);

    const QString tipScrittura = QStringLiteral("Modo  di scrittura dei numeri estratti in lettere");
    Fra_scrittura =
        frame(this, "Fra_scrittura", QString(), tipScrittura, tw(5280, 5040, 6012, 612), Palette::lightCyan);
    auto option = [&](const char *name, const char *caption, int left, int width) {
        return placeControl(new QRadioButton(QLatin1String(caption), Fra_scrittura), name, tipScrittura,
                            tw(left, 240, width, 252), ciano);
    };
    Opt_escludi = option("Opt_escludi", "Escludi", 240, 972);
    Opt_maiuscolo = option("Opt_maiuscolo", "Maiuscolo", 1800, 1092);
    Opt_minuscolo = option("Opt_minuscolo", "Minuscolo", 3120, 1212);
    Opt_script = option("Opt_script", "Corsivo", 4680, 1092);
    fitCaptions();

    // The strip between the writing modes and the claim panel is the free room under the words.
    smorfiaBox =
        placeControl(new QCheckBox(QStringLiteral("S&morfia"), this), "smorfiaBox",
                     QStringLiteral("mostra il significato del numero secondo la smorfia napoletana"),
                     tw(5280, 5652, 1092, 228), ciano);
    sayMeaningBox = placeControl(new QCheckBox(QStringLiteral("e &dilla"), this), "sayMeaningBox",
                                 QStringLiteral("la voce dice anche il significato, dopo il numero"),
                                 tw(6480, 5652, 1212, 228), ciano);
    // Saying the meaning asks for it shown first.
    sayMeaningBox->setEnabled(false);
    meaningLabel = label(this, "meaningLabel", QString(), tw(7800, 5652, 4332, 228));
    meaningLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont significato = font();
    significato.setBold(true);
    significato.setItalic(true);
    meaningLabel->setFont(significato);

    TABELLONE = frame(this, "TABELLONE", QString(), QStringLiteral("IL tabellone"), tw(240, 1680, 4692, 5652),
                      Palette::yellow);
    struct Block {
        QGroupBox **member;
        const char *name;
        int left, top, width;
    };
    const Block blocks[6] = {
        {&cat1, "cat1", 120, 240, 2052},    {&cart2, "cart2", 2400, 240, 2172},
        {&caer3, "caer3", 120, 1920, 2052}, {&cart4, "cart4", 2400, 1920, 2052},
        {&cart5, "cart5", 120, 3720, 2172}, {&cart6, "cart6", 2400, 3720, 2052},
    };
    for (int k = 0; k < 6; ++k) {
        const Block &b = blocks[k];
        *b.member = frame(TABELLONE, b.name, QString(), QString(), tw(b.left, b.top, b.width, 1572),
                          Palette::blockRows[k / 2]);
    }
    cat1->setToolTip(QStringLiteral("caetella 1"));

    // Cell i is the number i + 1 wherever it stands.
    const int rowTop[3] = {120, 600, 1080};
    const int colLeft[5] = {120, 480, 840, 1200, 1560};
    for (int i = 0; i < 90; ++i) {
        const BoardPlace at = boardPlace(i + 1);
        QGroupBox *block = *blocks[at.block].member;
        const int shift = block == cart2 ? 120 : 0;
        auto *cell = new BoardCell(i + 1, block);
        cell->setObjectName(QStringLiteral("LBL_TAB_%1").arg(i));
        cell->setGeometry(tw(colLeft[at.column] + shift, rowTop[at.row], 372, 324));
        cell->setAlignment(Qt::AlignCenter);
        cell->setFont(faccia(QStringLiteral("MS Sans Serif"), 12, true));
        setBackColor(cell, qColour(Palette::white));
        if (i == 0) cell->setFrameShape(QFrame::Box);
        LBL_TAB[std::size_t(i)] = cell;
    }

    fra_controlli = frame(this, "fra_controlli", QStringLiteral("Controlli"),
                          QStringLiteral("cliccare sui bottoni per attivare le caselle dei numeri estratti"),
                          tw(5880, 5880, 4572, 2292), Palette::pink);
    const int rowTops[4] = {360, 840, 1320, 1800};
    for (int p = 0; p < 4; ++p) {
        const PrizeInfo &premio = claimPrizeInfo(p);
        cmd_ambo[std::size_t(p)] =
            placeControl(new QPushButton(QLatin1String(premio.caption), fra_controlli),
                         qPrintable(QStringLiteral("cmd_ambo_%1").arg(p)), QLatin1String(premio.toolTip),
                         tw(240, rowTops[p], 972, p == 0 ? 372 : 375));
        for (int k = 0; k < premio.boxes; ++k) {
            const int index = premio.firstBox + k;
            auto *box =
                placeControl(new QLineEdit(fra_controlli), qPrintable(QStringLiteral("Text1_%1").arg(index)),
                             QString(), tw(1320 + 600 * k, rowTops[p], 492, 372));
            box->setMaxLength(2);
            if (index < 2) setBackColor(box, qColour(Palette::white));
            Text1[std::size_t(index)] = box;
        }
    }

    // Down to the quaterno's row: two lines for the longest verdicts, "QUATERNO VALIDO".
    lbl_esito = placeControl(new QLabel(fra_controlli), "lbl_esito", QString(), tw(3120, 840, 1380, 465));
    lbl_esito->setAlignment(Qt::AlignCenter);
    lbl_esito->setWordWrap(true);
    QFont esito = lbl_esito->font();
    esito.setBold(true);
    lbl_esito->setFont(esito);
    QPalette green = lbl_esito->palette();
    green.setColor(QPalette::WindowText, qColour(Palette::validText));
    lbl_esito->setPalette(green);
    lbl_esito->hide();

    fra_cartelle =
        frame(this, "fra_cartelle", QString(), QStringLiteral("stampa delle cartelle della tombola"),
              tw(480, 7560, 4212, 732), Palette::green);
    Label5 = label(fra_cartelle, "Label5", QStringLiteral("Stampa delle cartelle    (Max 30)"),
                   tw(120, 240, 2532, 252));
    Label5->setToolTip(QStringLiteral("stampa le cartelle"));
    setBackColor(Label5, qColour(Palette::green));
    Txt_num_cartelle = placeControl(new QLineEdit(fra_cartelle), "Txt_num_cartelle",
                                    QStringLiteral("Num cartelle  ( da 1 a 30 )"), tw(2880, 240, 375, 372));
    cmd_stampa = placeControl(new QPushButton(QStringLiteral("OK"), fra_cartelle), "cmd_stampa",
                              QStringLiteral("attiva la stampa dele cartelle"), tw(3480, 240, 372, 372));
    cmd_pdf = placeControl(new QPushButton(QStringLiteral("..."), fra_cartelle), "cmd_pdf",
                           QStringLiteral("salva le cartelle in un file PDF invece di stamparle"),
                           tw(3900, 240, 255, 372));
    choosePdf = [this] { return choosePdfFile(this); };
    // In the strip under the caption, the one free place of the panel.
    fullSeriesBox = placeControl(
        new QCheckBox(QStringLiteral("&Serie complete"), fra_cartelle), "fullSeriesBox",
        QStringLiteral("ogni sei cartelle una serie completa: 15 numeri ciascuna, insieme tutti i "
                       "numeri da 1 a 90"),
        tw(120, 492, 2532, 228), qColour(Palette::green));
    // Full series at start-up: every card has its fifteen numbers, fair wherever a prize is paid.
    fullSeriesBox->setChecked(true);

    cmd_audience = button(this, "cmd_audience", "Schermo per il pubblico (F5)",
                          "apre o chiude lo schermo per il pubblico, sulla TV o sul proiettore (tasto F5)",
                          tw(10080, 720, 1932, 492));
    cmd_audience->setFocusPolicy(Qt::NoFocus);
    cmd_cartella = placeControl(
        new QPushButton(QStringLiteral("Cartella per codice"), fra_controlli), "cmd_cartella",
        QStringLiteral("controlla una cartella stampata dal suo codice di serie"), tw(2640, 360, 1692, 372));

    lbl_audio = placeControl(new QLabel(this), "lbl_audio", QStringLiteral("audio non disponibile"),
                             tw(11700, 120, 372, 372));
    lbl_audio->setAlignment(Qt::AlignCenter);
    lbl_audio->setAccessibleName(QStringLiteral("audio non disponibile"));
    lbl_audio->hide();
    lbl_serata =
        placeControl(new QLabel(this), "lbl_serata", QStringLiteral("la serata per ora non viene registrata"),
                     tw(11280, 120, 372, 372));
    lbl_serata->setAlignment(Qt::AlignCenter);
    lbl_serata->setAccessibleName(QStringLiteral("serata non registrata per ora"));
    lbl_serata->hide();
    drawMarks();

    // Under the audience screen's button, where the right column is free.
    cmd_cartelle =
        button(this, "cmd_cartelle", "Cartelle... (F7)",
               "stampa o salva in PDF le cartelle della serata, quando l'estrazione è ferma (tasto F7)",
               tw(10080, 3000, 1932, 492));
    // Two lines to the window's foot, for a run of a thousand cards and more.
    lbl_stampa = placeControl(new QLabel(this), "lbl_stampa", QString(), tw(5880, 8340, 4560, 405));
    lbl_stampa->setWordWrap(true);
    lbl_stampa->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbl_stampa->hide();
    m_printedShown.setSingleShot(true);
    m_printedShown.setInterval(8000);
    connect(&m_printedShown, &QTimer::timeout, lbl_stampa, &QLabel::hide);

    // Right of the big number, where the window had room; the box and the button show only in
    // the basket mode.
    chk_panariello =
        placeControl(new QCheckBox(QStringLiteral("Estra&zione dal panariello"), this), "chk_panariello",
                     QStringLiteral("i numeri si estraggono a mano dal panariello e si inseriscono qui"),
                     tw(9780, 1440, 2430, 252), ciano);
    txt_panariello = placeControl(new QLineEdit(this), "txt_panariello",
                                  QStringLiteral("digitare il numero uscito dal panariello e premere INVIO"),
                                  tw(9780, 1800, 732, 372));
    txt_panariello->setFont(faccia(QStringLiteral("MS Sans Serif"), 12, true));
    txt_panariello->setAlignment(Qt::AlignCenter);
    txt_panariello->hide();
    cmd_togli = button(this, "cmd_togli", "T&ogli ultimo (Ctrl+Z)",
                       "rimette nel panariello l'ultimo numero inserito", tw(9780, 2280, 2292, 492));
    cmd_togli->setEnabled(false);
    cmd_togli->hide();

    // The club's contact, set by the caller (ui/club.h).
    Label7 = label(this, "Label7", QStringLiteral("E-Mail > "), tw(960, 7800, 3132, 252));
    // The contact line lies under the card panel and shows once the panel is gone.
    Label7->lower();

    // Tab order: draw, pause, new game, speed, then the rest.
    setTabOrder(cmd_estrai, cmd_sospendi);
    setTabOrder(cmd_sospendi, cmd_nuovo);
    setTabOrder(cmd_nuovo, HScroll1);
    setTabOrder(HScroll1, cmd_verifica);
    setTabOrder(cmd_verifica, cmd_ripeti);
}

void Form1::fitCaptions()
{
    // Where the face is wider than the one the layout was drawn for, the speed caption must still
    // end with "Piu Lenta" and no writing mode may lose its end: a point smaller at a time.
    LayoutScale::fitsOwnFont(*Label3);
    for (int size = font().pointSize(); size > 5; --size) {
        const QFont f = m_scale.font(font(), size);
        Label3->setFont(f);
        if (QFontMetrics(f).horizontalAdvance(Label3->text()) <= Label3->width() - 2) break;
    }
    for (QRadioButton *o : {Opt_escludi, Opt_maiuscolo, Opt_minuscolo, Opt_script}) {
        LayoutScale::fitsOwnFont(*o);
        int points = font().pointSize();
        o->setFont(m_scale.font(font(), points));
        while (o->sizeHint().width() > o->width() && points > 6)
            o->setFont(m_scale.font(font(), --points));
    }
}

void Form1::drawMarks()
{
    lbl_audio->setPixmap(mutedSpeaker(lbl_audio->size()));
    lbl_serata->setPixmap(notKeptMark(lbl_serata->size()));
}
