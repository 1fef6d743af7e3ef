#pragma once
// The caller's one window: its controls under their own names, their layout, the key and focus
// filters, and every handler of the window as a short forward to the rule behind it (the game,
// the claim check, the repeat, the print run). It is the game's view.

#include "game/game_view.h"
#include "ui/layout_scale.h"

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

class QPainter;
class ClaimCheck;
class Game;
class PrintRun;
class Repeat;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

// The window is laid out in twips: 15 are one pixel at 96 dots per inch (Qt scales logical pixels on
// other screens).
inline constexpr double kTwipsPerPixel = 15.0;

class Form1 : public QWidget, public GameView
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The rules behind the handlers; set once, before Form_Load.
    void attach(Game &game, ClaimCheck &claims, Repeat &repeat, PrintRun &printRun);

    // Controls, named as the caller's manual names them.
    QPushButton *cmd_estrai = nullptr;
    QPushButton *cmd_nuovo = nullptr;
    QPushButton *cmd_sospendi = nullptr;
    QPushButton *cmd_verifica = nullptr;
    QPushButton *cmd_ripeti = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *txt_ultimi = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label3 = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QLabel *Label6 = nullptr;
    QGroupBox *Fra_scrittura = nullptr;
    QRadioButton *Opt_escludi = nullptr;
    QRadioButton *Opt_maiuscolo = nullptr;
    QRadioButton *Opt_minuscolo = nullptr;
    QRadioButton *Opt_script = nullptr;
    // Under the writing modes: la smorfia, off at start-up, and whether the voice says it too.
    QCheckBox *smorfiaBox = nullptr;
    QCheckBox *sayMeaningBox = nullptr;
    // The meaning of the number, in the strip under the writing modes.
    QLabel *meaningLabel = nullptr;
    QGroupBox *TABELLONE = nullptr;
    QGroupBox *cat1 = nullptr;
    QGroupBox *cart2 = nullptr;
    QGroupBox *caer3 = nullptr;
    QGroupBox *cart4 = nullptr;
    QGroupBox *cart5 = nullptr;
    QGroupBox *cart6 = nullptr;
    std::array<QLabel *, 90> LBL_TAB{};
    QGroupBox *fra_controlli = nullptr;
    std::array<QPushButton *, 4> cmd_ambo{};
    std::array<QLineEdit *, 14> Text1{};
    QGroupBox *fra_cartelle = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Txt_num_cartelle = nullptr;
    QPushButton *cmd_stampa = nullptr;
    QLabel *Label7 = nullptr;
    // Beside "OK": a fresh set of cards into a PDF file, for a caller without a printer.
    QPushButton *cmd_pdf = nullptr;
    std::function<QString()> choosePdf;
    // Under the caption: every six cards a full series. Off at start-up, so the classic dealer
    // stays the default.
    QCheckBox *fullSeriesBox = nullptr;
    // Extras: the audience screen (F5 or its button), the check of a card by its code (in the claim
    // panel) and the About box (F1); each only asks, through its signal.
    QPushButton *cmd_audience = nullptr;
    QPushButton *cmd_cartella = nullptr;
    // The verdict of a complete claim, "AMBO VALIDO", in the claim panel.
    QLabel *lbl_esito = nullptr;
    // A muted speaker in the top right corner while the last clip could not be played.
    QLabel *lbl_audio = nullptr;
    // Beside it, while the evening is not being kept on disk.
    QLabel *lbl_serata = nullptr;
    // Cards for the evening whenever the draw is stopped (F7), and a short word after a run printed.
    QPushButton *cmd_cartelle = nullptr;
    QLabel *lbl_stampa = nullptr;
    // The basket: the switch to numbers drawn by hand, the box for each one, the take-back.
    QCheckBox *chk_panariello = nullptr;
    QLineEdit *txt_panariello = nullptr;
    QPushButton *cmd_togli = nullptr;
    // The words' size, which a long word in capitals lowers to fit the label.
    static constexpr int kWordsPoints = 36;

    // The window grows from its default size (its least one) with its layout scaled as a whole.
    const LayoutScale &layoutScale() const { return m_scale; }

    // Start-up and closing.
    void Form_Load();
    void Form_Unload();

    // The game.
    void cmd_estrai_Click();
    void cmd_nuovo_Click();
    void cmd_sospendi_Click();
    void HScroll1_Change();
    void Label1_MouseMove(int button, int shift, float x, float y);
    void Opt_escludi_Click();

    // Claims and the repeat of the last numbers.
    void cmd_verifica_Click();
    void cmd_ambo_Click(int index);
    void Text1_KeyPress(int index, std::int16_t &key);
    void Text1_LostFocus(int index);
    void cmd_ripeti_Click();
    void txt_ultimi_KeyPress(std::int16_t &key);

    // Cards.
    void cmd_stampa_Click();
    void Txt_num_cartelle_KeyPress(std::int16_t &key);

    // Cards at any time the draw is stopped.
    void cmd_cartelle_Click();
    // The evening reaches the disk, or not (`why` for the mark's tool tip).
    void setEveningKept(bool kept, const QString &why);

    // The basket.
    void chk_panariello_Click();
    void txt_panariello_Enter();
    void LBL_TAB_Click(int index);
    void cmd_togli_Click();

    // The widget of a control, or of a member of a control array.
    QWidget *control(ControlId c) const;

    // The colour a control shows behind its text.
    static QColor backColor(const QWidget *w);
    static void setBackColor(QWidget *w, const QColor &c);

    static const QString &applicationTitle();

    // GameView.
    void setCaption(ControlId c, const QString &text) override;
    QString caption(ControlId c) const override;
    void setEnabled(ControlId c, bool on) override;
    void setVisible(ControlId c, bool on) override;
    bool isVisible(ControlId c) const override;
    void setLocked(ControlId c, bool on) override;
    bool isLocked(ControlId c) const override;
    void setBackColor(ControlId c, Rgb colour) override;
    void setFace(ControlId c, const QString &family) override;
    void setBorder(ControlId c) override;
    void setChecked(ControlId c, bool on) override;
    bool isChecked(ControlId c) const override;
    void setValue(ControlId c, int value) override;
    int value(ControlId c) const override;
    void setTag(ControlId c, const QString &tag) override;
    QString tag(ControlId c) const override;
    void setFocus(ControlId c, Focus how) override;
    void showWindow() override;
    void clearSurface() override;
    using QWidget::isVisible;
    using QWidget::setEnabled;
    using QWidget::setFocus;
    using QWidget::setVisible;

signals:
    // The evening's choice of dealer changed.
    void fullSeriesChanged(bool on);
    void audienceScreenRequested();
    void cardCheckRequested();
    void aboutRequested();
    // The window was laid out at a new size: what fits a text or draws a picture to its control's
    // size does it again.
    void layoutScaled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    // The captions whose size is fitted once to the face found (the speed bar's, the writing
    // modes'), the words' and the marks of the top right corner, at the layout's size.
    void fitCaptions();
    void fitWords();
    void drawMarks();
    void connectControls();
    void printCards(bool toPdf);
    void showPrinted();
    bool keyFilter(QObject *watched, QEvent *event);

    Game *m_game = nullptr;
    ClaimCheck *m_claims = nullptr;
    Repeat *m_repeat = nullptr;
    PrintRun *m_printRun = nullptr;
    int m_focusBack = 0;
    // How long the word after a run stays up.
    QTimer m_printedShown;
    LayoutScale m_scale{*this};
};

// A mark of something not working, for the window's top right corner: `draw` paints the thing in a
// 12-unit square of `u` each, and a red cross goes over its lower right, from `crossTop` down.
QPixmap crossedOut(QSize size, double crossTop, const std::function<void(QPainter &, double u)> &draw);

// Names, places and describes a new control of the window; colours it when `colour` is given.
template <typename W>
W *placeControl(W *w, const char *name, const QString &tip, QRect geometry, const QColor &colour = QColor())
{
    w->setObjectName(QLatin1String(name));
    if (!tip.isEmpty()) w->setToolTip(tip);
    w->setGeometry(geometry);
    if (colour.isValid()) Form1::setBackColor(w, colour);
    return w;
}
