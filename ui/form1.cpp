#include "ui/form1.h"

#include "announce/module1.h"
#include "announce/words.h"
#include "cards/card_sheet.h"
#include "claims/typed_number.h"
#include "game/draw.h"
#include "ui/wrap_button.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>

#include <cmath>
#include <limits>

namespace
{

const QColor kCiano(192, 255, 255);
const QColor kBianco(255, 255, 255);
const QColor kGialloChiaro(255, 255, 192);
const QColor kRosso(255, 0, 0);
const QColor kVerde(128, 255, 128);
const QColor kArancio(255, 192, 128);
const QColor kBlu(128, 128, 255);
const QColor kRosa(255, 192, 192);
const QColor kGiallo(255, 255, 128);

// 15 twips are one pixel at 96 dots per inch; Qt scales logical pixels on other screens.
constexpr double kTwipsPerPixel = 15.0;

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

void setFace(QWidget *w, const QString &family)
{
    QFont f = w->font();
    f.setFamily(family);
    f.setFamilies({family});
    w->setFont(f);
}

const char *const kParolePremio[4] = {"ambo", "terno", "quaterno", "cinquina"};
constexpr int kPrimaCasella[4] = {0, 2, 5, 9};
constexpr int kCaselle[4] = {2, 3, 4, 5};

int premioDellaCasella(int index)
{
    for (int p = 3; p >= 0; --p)
        if (index >= kPrimaCasella[p]) return p;
    return 0;
}

QIcon iconaFinestra()
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

} // namespace

const QString &Form1::titoloApplicazione()
{
    static const QString titolo = QStringLiteral("Tombola");
    return titolo;
}

QColor Form1::backColor(const QWidget *w)
{
    if (qobject_cast<const QLineEdit *>(w)) return w->palette().color(QPalette::Base);
    if (qobject_cast<const QPushButton *>(w)) return w->palette().color(QPalette::Button);
    return w->palette().color(QPalette::Window);
}

void Form1::setBackColor(QWidget *w, const QColor &c)
{
    QPalette pal = w->palette();
    if (qobject_cast<QLineEdit *>(w)) {
        pal.setColor(QPalette::Base, c);
    } else if (qobject_cast<QPushButton *>(w)) {
        pal.setColor(QPalette::Button, c);
    } else {
        pal.setColor(QPalette::Window, c);
        w->setAutoFillBackground(true);
    }
    w->setPalette(pal);
}

Form1::Form1(Ports ports, QWidget *parent) : QWidget(parent), m_ports(ports)
{
    buildControls();
}

Form1::~Form1() = default;

// ---------------------------------------------------------------------------------------------
// The controls as they stand when the window first opens.

void Form1::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral(" IL GIOCO della  TOMBOLA") + QString(84, QLatin1Char(' ')) +
                   QStringLiteral("by Corvalo  (il Vandrello)"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("tombola"), iconaFinestra()));
    setFixedSize(tw(0, 0, 12216, 8760).size());
    setBackColor(this, kCiano);
    setFont(faccia(QStringLiteral("MS Sans Serif"), 8, false));

    auto button = [this](QWidget *parent, const char *name, const QString &caption, const QString &tip,
                         QRect geometry) {
        auto *b = new WrapButton(caption, parent);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setGeometry(geometry);
        setBackColor(b, kCiano);
        return b;
    };
    auto label = [](QWidget *parent, const char *name, const QString &caption, QRect geometry) {
        auto *l = new QLabel(caption, parent);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        return l;
    };
    auto frame = [](QWidget *parent, const char *name, const QString &caption, const QString &tip,
                    QRect geometry, const QColor &colour) {
        auto *f = new QGroupBox(caption, parent);
        f->setObjectName(QLatin1String(name));
        f->setToolTip(tip);
        f->setGeometry(geometry);
        setBackColor(f, colour);
        return f;
    };

    cmd_estrai = button(this, "cmd_estrai", QStringLiteral("&Estrai"),
                        QStringLiteral("inizio estrazione dei numeri"), tw(840, 720, 972, 492));
    cmd_nuovo = button(this, "cmd_nuovo", QStringLiteral("&Nuova  Tombola"),
                       QStringLiteral("una  nuova tombolata"), tw(840, 120, 972, 492));
    cmd_sospendi =
        button(this, "cmd_sospendi", QStringLiteral("&Pausa"),
               QStringLiteral("ferma o riprende l'estrazione dei numeri"), tw(2160, 720, 1212, 492));
    cmd_verifica = button(this, "cmd_verifica", QStringLiteral("&Verifica"),
                          QStringLiteral("Verifica dei isultati (ambo,terno,quaterno e cinquina"),
                          tw(2160, 120, 1212, 492));
    cmd_ripeti = button(this, "cmd_ripeti", QStringLiteral("Ripeti &Ultimi numeri estratti"),
                        QStringLiteral("ripetizione ultimi numeri estratti (solo in modalita di pausa)"),
                        tw(3720, 120, 1332, 492));

    Label4 = label(this, "Label4", QStringLiteral("il comando ripeti diventa attivo solo in modalita Pausa"),
                   tw(3720, 720, 1332, 612));
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setWordWrap(true);
    txt_ultimi = new QLineEdit(this);
    txt_ultimi->setObjectName(QStringLiteral("txt_ultimi"));
    txt_ultimi->setGeometry(tw(4080, 840, 492, 288));
    txt_ultimi->setToolTip(QStringLiteral("digitare un valore e poi premere INVIO"));

    Label2 = label(this, "Label2", QString(), tw(6600, 240, 3132, 252));
    Label1 = label(this, "Label1", QString(), tw(6600, 720, 3132, 2172));
    Label1->setToolTip(QStringLiteral("Visualizzatore numero estratto"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFrameShape(QFrame::Box);
    Label1->setFont(faccia(QStringLiteral("Arial Narrow"), 72, true));
    Label1->setMouseTracking(true);
    setBackColor(Label1, kCiano);
    Label3 = label(this, "Label3", QStringLiteral("Piu  Veloce  < estrazione  >   Piu Lenta"),
                   tw(6960, 3120, 2772, 252));
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setGeometry(tw(6840, 3480, 2892, 252));
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
    Label6->setFont(faccia(QStringLiteral("Arial Narrow"), 36, true));

    const QString tipScrittura = QStringLiteral("Modo  di scrittura dei numeri estratti in lettere");
    Fra_scrittura = frame(this, "Fra_scrittura", QString(), tipScrittura, tw(5280, 5040, 6012, 612), kCiano);
    auto option = [&](const char *name, const QString &caption, int left, int width) {
        auto *o = new QRadioButton(caption, Fra_scrittura);
        o->setObjectName(QLatin1String(name));
        o->setToolTip(tipScrittura);
        o->setGeometry(tw(left, 240, width, 252));
        setBackColor(o, kCiano);
        return o;
    };
    Opt_escludi = option("Opt_escludi", QStringLiteral("Escludi"), 240, 972);
    Opt_maiuscolo = option("Opt_maiuscolo", QStringLiteral("Maiuscolo"), 1800, 1092);
    Opt_minuscolo = option("Opt_minuscolo", QStringLiteral("Minuscolo"), 3120, 1212);
    Opt_script = option("Opt_script", QStringLiteral("Corsivo"), 4680, 1092);

    TABELLONE = frame(this, "TABELLONE", QString(), QStringLiteral("IL tabellone"), tw(240, 1680, 4692, 5652),
                      kGiallo);
    struct Block {
        QGroupBox **member;
        const char *name;
        int left, top, width;
        QColor colour;
    };
    const Block blocks[6] = {
        {&cat1, "cat1", 120, 240, 2052, kVerde},      {&cart2, "cart2", 2400, 240, 2172, kVerde},
        {&caer3, "caer3", 120, 1920, 2052, kArancio}, {&cart4, "cart4", 2400, 1920, 2052, kArancio},
        {&cart5, "cart5", 120, 3720, 2172, kBlu},     {&cart6, "cart6", 2400, 3720, 2052, kBlu},
    };
    for (const Block &b : blocks)
        *b.member =
            frame(TABELLONE, b.name, QString(), QString(), tw(b.left, b.top, b.width, 1572), b.colour);
    cat1->setToolTip(QStringLiteral("caetella 1"));

    // Cell i is the number i + 1 wherever it stands.
    const int rowTop[3] = {120, 600, 1080};
    const int colLeft[5] = {120, 480, 840, 1200, 1560};
    for (int i = 0; i < 90; ++i) {
        const int t = i / 10, u = i % 10;
        QGroupBox *block = *blocks[(t / 3) * 2 + (u / 5)].member;
        const int shift = block == cart2 ? 120 : 0;
        auto *cell = new QLabel(QString::number(i + 1), block);
        cell->setObjectName(QStringLiteral("LBL_TAB_%1").arg(i));
        cell->setGeometry(tw(colLeft[u % 5] + shift, rowTop[t % 3], 372, 324));
        cell->setAlignment(Qt::AlignCenter);
        cell->setFont(faccia(QStringLiteral("MS Sans Serif"), 12, true));
        setBackColor(cell, kBianco);
        if (i == 0) cell->setFrameShape(QFrame::Box);
        LBL_TAB[i] = cell;
    }

    fra_controlli = frame(this, "fra_controlli", QStringLiteral("Controlli"),
                          QStringLiteral("cliccare sui bottoni per attivare le caselle dei numeri estratti"),
                          tw(5880, 5880, 4572, 2292), kRosa);
    const char *const captions[4] = {"&Ambo", "&Terno", "&Quaterno", "&Cinquina"};
    const char *const tips[4] = {"clicca qui per controllare l'ambo", "clicca qui per controllare il terno",
                                 "clicca qui per controllare la quaterna",
                                 "clicca qui per controllare la cinquina"};
    const int rowTops[4] = {360, 840, 1320, 1800};
    for (int p = 0; p < 4; ++p) {
        auto *b = new QPushButton(QLatin1String(captions[p]), fra_controlli);
        b->setObjectName(QStringLiteral("cmd_ambo_%1").arg(p));
        b->setToolTip(QLatin1String(tips[p]));
        b->setGeometry(tw(240, rowTops[p], 972, p == 0 ? 372 : 375));
        cmd_ambo[p] = b;
        for (int k = 0; k < kCaselle[p]; ++k) {
            const int index = kPrimaCasella[p] + k;
            auto *box = new QLineEdit(fra_controlli);
            box->setObjectName(QStringLiteral("Text1_%1").arg(index));
            box->setGeometry(tw(1320 + 600 * k, rowTops[p], 492, 372));
            box->setMaxLength(2);
            if (index < 2) setBackColor(box, kBianco);
            Text1[index] = box;
        }
    }

    fra_cartelle =
        frame(this, "fra_cartelle", QString(), QStringLiteral("stampa delle cartelle della tombola"),
              tw(480, 7560, 4212, 732), kVerde);
    Label5 = label(fra_cartelle, "Label5", QStringLiteral("Stampa delle cartelle    (Max 30)"),
                   tw(120, 240, 2532, 252));
    Label5->setToolTip(QStringLiteral("stampa le cartelle"));
    setBackColor(Label5, kVerde);
    Txt_num_cartelle = new QLineEdit(fra_cartelle);
    Txt_num_cartelle->setObjectName(QStringLiteral("Txt_num_cartelle"));
    Txt_num_cartelle->setGeometry(tw(2880, 240, 375, 372));
    Txt_num_cartelle->setToolTip(QStringLiteral("Num cartelle  ( da 1 a 30 )"));
    cmd_stampa = new QPushButton(QStringLiteral("OK"), fra_cartelle);
    cmd_stampa->setObjectName(QStringLiteral("cmd_stampa"));
    cmd_stampa->setGeometry(tw(3480, 240, 372, 372));
    cmd_stampa->setToolTip(QStringLiteral("attiva la stampa dele cartelle"));
    cmd_pdf = new QPushButton(QStringLiteral("..."), fra_cartelle);
    cmd_pdf->setObjectName(QStringLiteral("cmd_pdf"));
    cmd_pdf->setGeometry(tw(3900, 240, 255, 372));
    cmd_pdf->setToolTip(QStringLiteral("salva le cartelle in un file PDF invece di stamparle"));
    sceltaFilePdf = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Salva le cartelle in PDF"),
                                            QStringLiteral("cartelle-tombola.pdf"),
                                            QStringLiteral("PDF (*.pdf)"));
    };

    cmd_pubblico = button(
        this, "cmd_pubblico", QStringLiteral("Schermo per il pubblico (F5)"),
        QStringLiteral("apre o chiude lo schermo per il pubblico, sulla TV o sul proiettore (tasto F5)"),
        tw(10080, 720, 1932, 492));
    cmd_pubblico->setFocusPolicy(Qt::NoFocus);
    cmd_cartella = new QPushButton(QStringLiteral("Cartella per codice"), fra_controlli);
    cmd_cartella->setObjectName(QStringLiteral("cmd_cartella"));
    cmd_cartella->setGeometry(tw(2640, 360, 1692, 372));
    cmd_cartella->setToolTip(QStringLiteral("controlla una cartella stampata dal suo codice di serie"));
    auto *tastoPubblico = new QShortcut(QKeySequence(Qt::Key_F5), this);
    tastoPubblico->setContext(Qt::ApplicationShortcut);
    connect(tastoPubblico, &QShortcut::activated, this, [this] {
        if (alternaSchermoPubblico) alternaSchermoPubblico();
    });
    auto *tastoInfo = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(tastoInfo, &QShortcut::activated, this, [this] {
        if (mostraInformazioni) mostraInformazioni();
    });
    connect(cmd_pubblico, &QPushButton::clicked, this, [this] {
        if (alternaSchermoPubblico) alternaSchermoPubblico();
    });
    connect(cmd_cartella, &QPushButton::clicked, this, [this] {
        if (controllaCartella) controllaCartella();
    });

    Label7 = label(this, "Label7", QStringLiteral("E-Mail > tombola@example.org"), tw(960, 7800, 3132, 252));
    // The contact line lies under the card panel and shows once the panel is gone.
    Label7->lower();

    // Tab order: draw, pause, new game, speed, then the rest.
    setTabOrder(cmd_estrai, cmd_sospendi);
    setTabOrder(cmd_sospendi, cmd_nuovo);
    setTabOrder(cmd_nuovo, HScroll1);
    setTabOrder(HScroll1, cmd_verifica);
    setTabOrder(cmd_verifica, cmd_ripeti);

    connect(cmd_estrai, &QPushButton::clicked, this, [this] { cmd_estrai_Click(); });
    connect(cmd_nuovo, &QPushButton::clicked, this, [this] { cmd_nuovo_Click(); });
    connect(cmd_sospendi, &QPushButton::clicked, this, [this] { cmd_sospendi_Click(); });
    connect(cmd_verifica, &QPushButton::clicked, this, [this] { cmd_verifica_Click(); });
    connect(cmd_ripeti, &QPushButton::clicked, this, [this] { cmd_ripeti_Click(); });
    connect(cmd_stampa, &QPushButton::clicked, this, [this] { cmd_stampa_Click(); });
    connect(cmd_pdf, &QPushButton::clicked, this, [this] { stampaCartelle(true); });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    connect(Opt_escludi, &QRadioButton::clicked, this, [this] { Opt_escludi_Click(); });
    for (int p = 0; p < 4; ++p)
        connect(cmd_ambo[p], &QPushButton::clicked, this, [this, p] { cmd_ambo_Click(p); });

    // Pasted text never passes the key filters: keep in each box only what typing could put there.
    auto keepOnly = [](QLineEdit *box, auto allowed) {
        connect(box, &QLineEdit::textEdited, box, [box, allowed](const QString &text) {
            QString kept;
            for (const QChar c : text)
                if (allowed(c.unicode())) kept += c;
            if (kept != text) box->setText(kept.left(box->maxLength()));
        });
    };
    for (QLineEdit *box : Text1) {
        keepOnly(box, [](char16_t u) { return u >= 46 && u <= 57; });
        box->installEventFilter(this);
    }
    keepOnly(txt_ultimi, [](char16_t u) { return u >= 32 && !(u >= 58 && u <= 121); });
    keepOnly(Txt_num_cartelle, [](char16_t u) { return u >= 47 && u <= 57; });
    txt_ultimi->installEventFilter(this);
    Txt_num_cartelle->installEventFilter(this);
    Label1->installEventFilter(this);
}

bool Form1::inPausa() const
{
    const int d = 90 - stato.quanti_da_estrarre;
    return !isDrawing() && stato.sospeso && d > 0 && d < 90 && !m_chiusa;
}

QString Form1::label2Tag() const
{
    return Label2->property("Tag").toString();
}

void Form1::setLabel2Tag(const QString &tag)
{
    Label2->setProperty("Tag", tag);
}

// ---------------------------------------------------------------------------------------------
// Events of the controls, turned into the window's handlers.

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        return keyFilter(watched, event);
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        // Only a move to another control counts: a message box or another window taking the
        // activation is no leaving of the box, and a focus put back by a check is not either.
        const bool moved = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                           reason == Qt::MouseFocusReason || reason == Qt::OtherFocusReason ||
                           reason == Qt::ShortcutFocusReason;
        if (moved && m_focusBack == 0 && !m_chiusa)
            for (int i = 0; i < 14; ++i)
                if (watched == Text1[i]) Text1_LostFocus(i);
        return false;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
        if (watched == Label1) {
            const auto *me = static_cast<QMouseEvent *>(event);
            const int mask = int(me->buttons() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton));
            int shift = 0;
            if (me->modifiers() & Qt::ShiftModifier) shift |= 1;
            if (me->modifiers() & Qt::ControlModifier) shift |= 2;
            if (me->modifiers() & Qt::AltModifier) shift |= 4;
            if (event->type() == QEvent::MouseMove)
                Label1_MouseMove(mask, shift, float(me->position().x() * kTwipsPerPixel),
                                 float(me->position().y() * kTwipsPerPixel));
        }
        return false;
    default:
        return false;
    }
}

bool Form1::keyFilter(QObject *watched, QEvent *event)
{
    const auto *ke = static_cast<QKeyEvent *>(event);
    // Shortcuts and the clipboard keys are not typing; pasted text is trimmed on its own.
    if (ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    int code = 0;
    if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)
        code = 13;
    else if (ke->key() == Qt::Key_Backspace)
        code = 8;
    else if (ke->text().size() == 1 && ke->text().at(0).unicode() >= 32)
        code = ke->text().at(0).unicode();
    else
        return false; // navigation keys are no characters
    auto key = static_cast<std::int16_t>(code);
    if (watched == txt_ultimi) {
        txt_ultimi_KeyPress(key);
    } else if (watched == Txt_num_cartelle) {
        Txt_num_cartelle_KeyPress(key);
    } else {
        for (int i = 0; i < 14; ++i)
            if (watched == Text1[i]) Text1_KeyPress(i, key);
    }
    return key == 0 || key == 13;
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Pumps and waits. The window shows what has changed before each of them.

void Form1::pompa()
{
    emit aggiornato();
    m_ports.clock.pump();
}

void Form1::attendiFino(double deadline)
{
    emit aggiornato();
    m_ports.clock.waitUntil(deadline);
}

template <typename Duration> void Form1::attesa(Duration &&secondi)
{
    const double inizio = m_ports.clock.now();
    while (!m_chiusa && !(m_ports.clock.now() > inizio + secondi()))
        attendiFino(inizio + secondi());
}

void Form1::suonaQuieto(const QString &nome)
{
    // Outside the draw a clip that cannot be played is skipped without a word.
    try {
        Module1::suona_risorsa(m_ports.sound, nome, QStringLiteral("wav"));
    } catch (const std::exception &) {
    }
}

void Form1::rimettiFuoco(QWidget *w)
{
    ++m_focusBack;
    w->setFocus(Qt::OtherFocusReason);
    --m_focusBack;
}

// ---------------------------------------------------------------------------------------------
// Start-up, activation, closing.

void Form1::Form_Load()
{
    m_ports.random.reseed();
    stato.quanti_da_estrarre = 90;
    stato.totale_numeri = 90;
    stato.prossima_estrazione = 1;
    stato.nuova_partita = false;
    stato.conta_cartelle = -1;
    stato.sospeso = false;
    cmd_nuovo_Click();
    if (m_chiusa) return;
    cmd_sospendi->setEnabled(false);
    cmd_verifica->setEnabled(false);
    fra_controlli->hide();
    HScroll1->setValue(3000);
    for (QLineEdit *box : Text1)
        box->setReadOnly(true);
    show();
    Form_Activate();
    pompa();
    if (m_chiusa) return;
    suonaQuieto(QStringLiteral("inizio"));
}

void Form1::Form_Activate()
{
    // The window becomes active again after every message box: the set-up runs only once.
    if (m_activated) return;
    m_activated = true;
    auto step = [this](auto &&f) {
        try {
            f();
        } catch (const std::exception &) {
            stato.font_corsivo = QStringLiteral("Script");
        }
    };
    step([&] { stato.font_corsivo = QStringLiteral("script Mt Bold"); });
    step([&] { setFace(Label6, stato.font_corsivo); });
    step([&] { setFace(Label6, stato.font_corsivo); });
    step([&] {
        stato.nuova_partita = true;
        stato.sospeso = false;
    });
    step([&] {
        Label4->hide();
        cmd_ripeti->setEnabled(false);
        txt_ultimi->hide();
        cmd_nuovo->setEnabled(false);
    });
    step([&] { Opt_maiuscolo->setChecked(true); });
    step([&] {
        for (int i = 1; i <= 90; ++i) {
            LBL_TAB[i - 1]->setText(QString());
            LBL_TAB[i - 1]->setFrameShape(QFrame::Box);
            stato.numeri_da_estrarre(i) = QString::number(i);
        }
    });
    step([&] { riempi_numeri_in_lettere(stato.numeri_in_lettere); });
}

void Form1::Form_Unload()
{
    if (m_chiusa) return;
    stato.sospeso = true;
    m_chiusa = true;
    m_ports.sound.shutdown();
    hide();
    emit aggiornato();
    // Every event loop still running (a message box, a clip) returns; the loops of the draw and
    // the repeat see the stop and the closing.
    QCoreApplication::quit();
}

// ---------------------------------------------------------------------------------------------
// The draw cycle.

void Form1::avvisoCorsivo()
{
    const QString testo = QStringLiteral("ATTENZIONE \r\n il font (carattere) utilizzato per il corsivo \r\n"
                                         " NON  e' presente su questo computer \r\n"
                                         " si prega di NON utilizzare  l'opzione Corsivo\r\n"
                                         " E' gradita la segnalazione all'autore del programma");
    m_ports.dialogs.message(
        testo, QStringLiteral(" Problemi con il formato dei caratteri  in Corsivo = 'Script MT Bold' "),
        Icon::Critical);
    Opt_script->setChecked(false);
    Opt_minuscolo->setChecked(true);
}

template <typename Step> void Form1::passo(Step &&step)
{
    // Any failure in a step of the draw warns about the script face and the draw goes on with the
    // following step.
    try {
        step();
    } catch (const std::exception &) {
        if (!m_chiusa) avvisoCorsivo();
    }
}

void Form1::cmd_estrai_Click()
{
    if (m_chiusa) return;
    if (m_drawDepth > 0) {
        // A start while a draw is running starts no second one. A plain resume lets the running
        // draw go on; after a new game the running draw stops, rewinds, and then starts afresh.
        if (stato.nuova_partita)
            m_restartAfterStop = true;
        else
            stato.sospeso = false;
        return;
    }
    ++m_drawDepth;
    do {
        m_restartAfterStop = false;
        runDraw();
    } while (m_restartAfterStop && !m_chiusa);
    --m_drawDepth;
    emit aggiornato();
}

void Form1::runDraw()
{
    passo([&] {
        cmd_sospendi->setEnabled(true);
        cmd_estrai->setEnabled(false);
        cmd_ripeti->setEnabled(true);
        cmd_nuovo->setEnabled(true);
        fra_cartelle->hide();
    });
    QString direttiva = QStringLiteral(">");
    stato.sospeso = false;
    const int inizio = stato.prossima_estrazione;
    const int fine = stato.totale_numeri;

    for (int i = inizio; i <= fine; ++i) {
        if (stato.sospeso) {
            passo([&] { cmd_verifica->setEnabled(true); });
            stato.prossima_estrazione = std::int16_t(i);
            setLabel2Tag(QString::number(i));
            if (stato.nuova_partita) {
                stato.prossima_estrazione = 1;
                riempi_numeri(stato.numeri_da_estrarre);
                passo([&] { cmd_verifica->setEnabled(false); });
                // The old position means nothing in the new game.
                setLabel2Tag(QString());
            }
            return;
        }
        // With every number out there is nothing left to pick (a resume after the end).
        if (stato.quanti_da_estrarre < 1) break;
        passo([&] {
            cmd_sospendi->setEnabled(true);
            stato.nuova_partita = false;
        });
        passo([&] { Label2->setText(riga_contatore(i, stato.totale_numeri)); });
        const int n = stato.quanti_da_estrarre;
        passo([&] { stato.indice_pescato = std::int16_t(pesca_indice(m_ports.random.next(), n)); });
        passo([&] { stato.numeri_estratti(i) = stato.numeri_da_estrarre(stato.indice_pescato); });
        passo([&] { Label1->setText(stato.numeri_estratti(i)); });
        passo([&] {
            const QString testo = stato.numeri_estratti(i);
            QLabel *cell = LBL_TAB.at(std::size_t(testo.toInt() - 1));
            cell->setText(testo);
            setBackColor(cell, kCiano);
        });
        scriviInLettere(stato.numeri_estratti(i).toInt(), direttiva);
        passo([&] {
            togli_dal_mucchio(stato.numeri_da_estrarre, stato.indice_pescato, n);
            stato.quanti_da_estrarre = std::int16_t(n - 1);
        });
        passo([&] { pompa(); });
        passo([&] { pronuncia_numero(std::int16_t(stato.numeri_estratti(i).toInt())); });
        const double t0 = m_ports.clock.now();
        for (;;) {
            if (m_ports.clock.now() > t0 + double(stato.ritardo)) break;
            if (stato.sospeso) {
                stato.prossima_estrazione = std::int16_t(i + 1);
                setLabel2Tag(QString::number(i + 1));
                if (stato.nuova_partita) {
                    stato.prossima_estrazione = 1;
                    setLabel2Tag(QString());
                }
                return;
            }
            passo([&] { attendiFino(t0 + double(stato.ritardo)); });
        }
    }
    passo([&] {
        Label1->setText(QStringLiteral("Fine"));
        Label6->setText(QString());
    });
}

void Form1::scriviInLettere(int n, QString &direttiva)
{
    passo([&] {
        if (Opt_script->isChecked()) {
            setFace(Label6, stato.font_corsivo);
            direttiva = QStringLiteral("<");
        } else {
            setFace(Label6, QStringLiteral("arial"));
        }
    });
    passo([&] {
        if (Opt_maiuscolo->isChecked()) direttiva = QStringLiteral(">");
    });
    passo([&] {
        if (Opt_minuscolo->isChecked()) direttiva = QStringLiteral("<");
    });
    passo([&] {
        if (!Opt_escludi->isChecked())
            Label6->setText(applica_maiuscole(stato.numeri_in_lettere(n), direttiva));
    });
}

void Form1::Opt_escludi_Click()
{
    Label6->setText(QString());
    emit aggiornato();
}

void Form1::pronuncia_numero(std::int16_t numero)
{
    const QStringList chiavi = chiavi_numero(numero);
    for (const QString &chiave : chiavi)
        Module1::suona_risorsa(m_ports.sound, chiave, QStringLiteral("wav"));
    if (chiavi.size() == 2) pompa();
}

// ---------------------------------------------------------------------------------------------
// Game controls.

void Form1::cmd_nuovo_Click()
{
    stato.conta_ambo = 0;
    stato.conta_terno = 0;
    stato.conta_quaterno = 0;
    stato.conta_cinquina = 0;
    Label6->setText(QString());
    fra_controlli->hide();
    riempi_numeri(stato.numeri_da_estrarre);
    m_ports.random.reseed();
    suonaQuieto(QStringLiteral("apri"));
    txt_ultimi->hide();
    Label4->hide();
    for (QLineEdit *box : Text1) {
        box->setText(QString());
        box->setReadOnly(true);
        setBackColor(box, kBianco);
    }
    stato.nuova_partita = true;
    stato.sospeso = true;
    cmd_sospendi->setEnabled(false);
    cmd_ripeti->setEnabled(false);
    stato.prossima_estrazione = 1;
    stato.quanti_da_estrarre = 90;
    update();
    for (QLabel *cell : LBL_TAB) {
        cell->setText(QString());
        setBackColor(cell, kBianco);
    }
    Label1->setText(QStringLiteral("       "));
    Label2->setText(QStringLiteral("        "));
    cmd_estrai->setEnabled(true);
    cmd_sospendi->setText(QStringLiteral("&Pausa"));
    cmd_verifica->setEnabled(false);
    // A position saved in the old game must not resume the new one.
    setLabel2Tag(QString());
    emit aggiornato();
}

void Form1::cmd_sospendi_Click()
{
    stato.nuova_partita = false;
    if (!stato.sospeso) {
        cmd_sospendi->setText(QStringLiteral("&Riprendi"));
        stato.sospeso = true;
        cmd_verifica->setEnabled(true);
        Label4->hide();
        emit aggiornato();
        return;
    }
    cmd_sospendi->setText(QStringLiteral("&Pausa"));
    stato.sospeso = false;
    cmd_verifica->setEnabled(false);
    fra_controlli->hide();
    txt_ultimi->hide();
    Label4->hide();
    cmd_estrai_Click();
}

void Form1::HScroll1_Change()
{
    stato.ritardo = float(HScroll1->value()) / 1000.0f;
}

void Form1::Label1_MouseMove(int button, int /*shift*/, float x, float /*y*/)
{
    if (x >= 100 || (button != 1 && button != 2)) return;
    // Without a stored position from 1 to 90 the gesture does nothing.
    const auto posizione = intero_16(valore_numerico(label2Tag()));
    if (!posizione || *posizione < 1 || *posizione > 90) return;
    if (button == 2) {
        stato.sospeso = true;
        stato.prossima_estrazione = *posizione;
        return;
    }
    stato.sospeso = false;
    stato.prossima_estrazione = *posizione;
    cmd_estrai_Click();
}

// ---------------------------------------------------------------------------------------------
// Claims.

void Form1::cmd_verifica_Click()
{
    fra_controlli->setVisible(!fra_controlli->isVisible());
}

void Form1::cmd_ambo_Click(int index)
{
    for (QLineEdit *box : Text1) {
        box->setReadOnly(true);
        setBackColor(box, kBianco);
    }
    stato.premio_scelto = std::int16_t(index);
    for (int k = 0; k < kCaselle[index]; ++k) {
        QLineEdit *box = Text1[kPrimaCasella[index] + k];
        box->setReadOnly(false);
        setBackColor(box, kGialloChiaro);
    }
    Text1[kPrimaCasella[index]]->setFocus(Qt::OtherFocusReason);
}

void Form1::Text1_KeyPress(int index, std::int16_t &key)
{
    if (Text1[index]->isReadOnly())
        m_ports.dialogs.message(QStringLiteral("Per attivare il controllo PRIMA clicca sul bottone ") +
                                    QLatin1String(kParolePremio[premioDellaCasella(index)]),
                                QString(), Icon::None);
    if (key == 8 || (key >= 46 && key <= 57)) return;
    if (key == 13) {
        if (!Text1[index]->text().isEmpty()) {
            // The last box has no next one: its number is checked where it stands.
            if (index < 13)
                Text1[index + 1]->setFocus(Qt::OtherFocusReason);
            else
                Text1_LostFocus(index);
        } else {
            m_ports.dialogs.message(QStringLiteral("digitare un numero gia' estratto"), QString(),
                                    Icon::Question);
            rimettiFuoco(Text1[index]);
        }
        return;
    }
    key = 0;
}

void Form1::Text1_LostFocus(int index)
{
    QLineEdit *box = Text1[index];
    const QString testo = box->text();
    if (testo.isEmpty()) return;
    if (valore_numerico(testo) > 90) {
        box->setText(QString());
        rimettiFuoco(box);
        return;
    }
    const int d = 90 - stato.quanti_da_estrarre;
    for (int j = 1; j <= d; ++j) {
        if (stato.numeri_estratti(j) == testo) {
            Avviso(stato.premio_scelto);
            return;
        }
    }
    m_ports.dialogs.message(QStringLiteral(" il numero  ") + testo +
                                QStringLiteral("   NON  e' stato ancora  estratto "),
                            QString(), Icon::Information);
    rimettiFuoco(box);
}

void Form1::Avviso(std::int16_t indice)
{
    if (indice < 0 || indice > 3) return;
    std::int16_t *const contatori[4] = {&stato.conta_ambo, &stato.conta_terno, &stato.conta_quaterno,
                                        &stato.conta_cinquina};
    std::int16_t &conta = *contatori[indice];
    ++conta;
    if (conta == kCaselle[indice]) {
        suonaQuieto(QLatin1String(kParolePremio[indice]));
        suonaQuieto(QStringLiteral("applausi"));
        conta = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// The repeat of the last numbers.

void Form1::cmd_ripeti_Click()
{
    Label6->setText(QString());
    if (!stato.sospeso) {
        Label4->setVisible(!Label4->isVisible());
        return;
    }
    Label4->hide();
    txt_ultimi->setVisible(!txt_ultimi->isVisible());
}

void Form1::txt_ultimi_KeyPress(std::int16_t &key)
{
    if (key == 8) return;
    if (key >= 58 && key <= 121) {
        key = 0;
        return;
    }
    if (key == 13) ripetiUltimi();
}

void Form1::ripetiUltimi()
{
    const double valore = valore_numerico(txt_ultimi->text());
    const auto intero = intero_16(valore);
    // A count beyond the 16-bit range is too many above, and nothing below.
    const int n = intero ? *intero : (valore > 0 ? std::numeric_limits<int>::max() : 0);
    const int d = 90 - stato.quanti_da_estrarre;
    if (n > d) {
        m_ports.dialogs.message(
            QStringLiteral("  troppi  numeri \r\n\r\n i numeri   gia   estratti  sono   ") +
                QStringLiteral(" ") + QString::number(d),
            QString(), Icon::Question);
        return;
    }
    Label1->setText(QString());
    pompa();
    suonaQuieto(QStringLiteral("num_estratti"));
    setBackColor(Label1, kRosso);
    for (int k = 1; k <= n && !m_chiusa; ++k) {
        const int j = d - n + k;
        Label1->setText(stato.numeri_estratti(j));
        attesa([] { return 0.4; });
        try {
            pronuncia_numero(std::int16_t(stato.numeri_estratti(j).toInt()));
        } catch (const std::exception &) {
        }
        attesa([this] { return double(stato.ritardo); });
    }
    setBackColor(Label1, kCiano);
    txt_ultimi->setText(QString());
    Label1->setText(QString());
    txt_ultimi->hide();
    emit aggiornato();
}

// ---------------------------------------------------------------------------------------------
// Cards.

bool Form1::countValid(double valore) const
{
    // A pasted fraction at or below one half would round to no card at all.
    return valore > 0.5 && valore <= 30;
}

void Form1::Txt_num_cartelle_KeyPress(std::int16_t &key)
{
    if (key == 8 || (key >= 47 && key <= 57)) return;
    if (key == 13) {
        const double valore = valore_numerico(Txt_num_cartelle->text());
        if (!countValid(valore)) {
            m_ports.dialogs.message(QStringLiteral("digitare non piu di 30 "), QString(), Icon::Question);
            rimettiFuoco(Txt_num_cartelle);
            return;
        }
        stato.num_cartelle = *intero_16(valore);
        cmd_stampa_Click();
        return;
    }
    key = 0;
}

void Form1::cmd_stampa_Click()
{
    stampaCartelle(false);
}

void Form1::stampaCartelle(bool suPdf)
{
    stato.conta_cartelle = -1;
    const double valore = valore_numerico(Txt_num_cartelle->text());
    if (!countValid(valore)) {
        m_ports.dialogs.message(QStringLiteral("valore invalido  ( digitare da 1 a 30 cartelle ) "),
                                QString(), Icon::None);
        return;
    }
    stato.num_cartelle = *intero_16(valore);
    // A message box of a run, or a second click behind it, starts no second run.
    if (m_printing || isDrawing()) return;
    m_printing = true;
    QString why;
    std::unique_ptr<CardCanvas> canvas;
    if (suPdf) {
        const QString file = sceltaFilePdf ? sceltaFilePdf() : QString();
        if (file.isEmpty()) {
            m_printing = false;
            return;
        }
        canvas = m_ports.printer.openPdf(file, &why);
    } else {
        canvas = m_ports.printer.open(nomeDocumento, &why);
    }
    if (canvas) {
        const QString oggi = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
        if (stampa_cartelle(stato.num_cartelle, stato, m_ports.random, *canvas, oggi, &why))
            why.clear();
        else if (why.isEmpty())
            why = QStringLiteral("La stampa delle cartelle non e' riuscita.");
    }
    m_printing = false;
    if (!why.isEmpty() && !m_chiusa)
        m_ports.dialogs.message(why, QStringLiteral("Stampa delle cartelle"), Icon::Critical);
}
