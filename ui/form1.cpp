#include "ui/form1.h"

#include "cards/print_run.h"
#include "claims/claim_check.h"
#include "claims/repeat.h"
#include "claims/typed_number.h"
#include "game/game.h"
#include "ui/board_cell.h"
#include "ui/cards_dialog.h"
#include "ui/qt_colour.h"
#include "ui/qt_platform.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QValidator>

namespace
{

// Accepts a text only when every character of it is one that typing could enter.
class TypedOnly : public QValidator
{
public:
    TypedOnly(bool (*allowed)(char16_t), QObject *parent) : QValidator(parent), m_allowed(allowed) {}
    State validate(QString &input, int &) const override
    {
        for (const QChar c : input)
            if (!m_allowed(c.unicode())) return Invalid;
        return Acceptable;
    }

private:
    bool (*m_allowed)(char16_t);
};

} // namespace

const QString &Form1::applicationTitle()
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
        // An option button fills its background with its own role, not the window's.
        pal.setColor(QPalette::Window, c);
        pal.setColor(w->backgroundRole(), c);
        w->setAutoFillBackground(true);
    }
    w->setPalette(pal);
}

Form1::Form1(QWidget *parent) : QWidget(parent)
{
    buildControls();
    connectControls();
}

Form1::~Form1() = default;

void Form1::attach(Game &game, ClaimCheck &claims, Repeat &repeat, PrintRun &printRun)
{
    m_game = &game;
    m_claims = &claims;
    m_repeat = &repeat;
    m_printRun = &printRun;
    connect(&game, &Game::soundAvailabilityChanged, this,
            [this](bool available) { lbl_audio->setVisible(!available); });
    // Told once the run has returned, after the evening's record has kept its cards.
    connect(&printRun, &PrintRun::runPrinted, this, &Form1::showPrinted, Qt::QueuedConnection);
    // The faint numbers of the cells not drawn go with the basket mode, also as a resumed evening
    // brings it back.
    auto hints = [this] {
        for (QLabel *cell : LBL_TAB)
            static_cast<BoardCell *>(cell)->setHint(m_game->isBasketMode());
    };
    connect(&game, &Game::basketModeChanged, this, hints);
    connect(&game, &Game::resumed, this, hints);
    hints();
    connect(&game, &Game::closed, this, [this] {
        hide();
        // Every event loop still running (a message box, a clip) returns; the loops of the draw
        // and the repeat see the stop and the closing.
        QCoreApplication::quit();
    });
}

void Form1::connectControls()
{
    auto *audienceKey = new QShortcut(QKeySequence(Qt::Key_F5), this);
    audienceKey->setContext(Qt::ApplicationShortcut);
    audienceKey->setWhatsThis(QStringLiteral("apre o chiude lo schermo per il pubblico"));
    connect(audienceKey, &QShortcut::activated, this, &Form1::audienceScreenRequested);
    auto *tastoInfo = new QShortcut(QKeySequence(Qt::Key_F1), this);
    tastoInfo->setWhatsThis(QStringLiteral("queste informazioni"));
    connect(tastoInfo, &QShortcut::activated, this, &Form1::aboutRequested);
    connect(cmd_audience, &QPushButton::clicked, this, &Form1::audienceScreenRequested);
    connect(cmd_cartella, &QPushButton::clicked, this, &Form1::cardCheckRequested);

    connect(cmd_estrai, &QPushButton::clicked, this, [this] { cmd_estrai_Click(); });
    connect(cmd_nuovo, &QPushButton::clicked, this, [this] { cmd_nuovo_Click(); });
    connect(cmd_sospendi, &QPushButton::clicked, this, [this] { cmd_sospendi_Click(); });
    connect(cmd_verifica, &QPushButton::clicked, this, [this] { cmd_verifica_Click(); });
    connect(cmd_ripeti, &QPushButton::clicked, this, [this] { cmd_ripeti_Click(); });
    connect(cmd_stampa, &QPushButton::clicked, this, [this] { cmd_stampa_Click(); });
    connect(cmd_pdf, &QPushButton::clicked, this, [this] { printCards(true); });
    connect(cmd_cartelle, &QPushButton::clicked, this, [this] { cmd_cartelle_Click(); });
    auto *cardsKey = new QShortcut(QKeySequence(Qt::Key_F7), this);
    cardsKey->setWhatsThis(QStringLiteral("stampa le cartelle della serata, a estrazione ferma"));
    connect(cardsKey, &QShortcut::activated, this, [this] { cmd_cartelle_Click(); });
    connect(fullSeriesBox, &QCheckBox::toggled, this, &Form1::fullSeriesChanged);
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    connect(Opt_escludi, &QRadioButton::clicked, this, [this] { Opt_escludi_Click(); });
    connect(smorfiaBox, &QCheckBox::toggled, this, [this](bool on) {
        sayMeaningBox->setEnabled(on);
        if (m_game) m_game->setMeaningShown(on);
    });
    connect(sayMeaningBox, &QCheckBox::toggled, this, [this](bool on) {
        if (m_game) m_game->setMeaningSaid(on);
    });
    const std::pair<QRadioButton *, WritingMode> modes[] = {{Opt_escludi, WritingMode::Escludi},
                                                            {Opt_maiuscolo, WritingMode::Maiuscolo},
                                                            {Opt_minuscolo, WritingMode::Minuscolo},
                                                            {Opt_script, WritingMode::Corsivo}};
    for (const auto &[option, mode] : modes)
        connect(option, &QRadioButton::toggled, this, [this, mode = mode](bool on) {
            if (on && m_game) m_game->setWritingMode(mode);
        });
    for (int p = 0; p < 4; ++p)
        connect(cmd_ambo[std::size_t(p)], &QPushButton::clicked, this, [this, p] { cmd_ambo_Click(p); });

    // Pasted text never passes the key filters: a paste holding a character that typing could not
    // put there is refused whole, and the box keeps what it had.
    auto keepOnly = [](QLineEdit *box, bool (*allowed)(char16_t)) {
        box->setValidator(new TypedOnly(allowed, box));
    };
    for (int i = 0; i < 14; ++i) {
        QLineEdit *box = Text1[std::size_t(i)];
        keepOnly(box, claimBoxTakes);
        box->installEventFilter(this);
        connect(box, &QLineEdit::textEdited, this, [this, i] { m_claims->boxEdited(i); });
    }
    keepOnly(txt_ultimi, repeatBoxTakes);
    keepOnly(Txt_num_cartelle, cardCountBoxTakes);
    txt_ultimi->installEventFilter(this);
    Txt_num_cartelle->installEventFilter(this);
    Label1->installEventFilter(this);

    connect(chk_panariello, &QCheckBox::clicked, this, [this] { chk_panariello_Click(); });
    connect(cmd_togli, &QPushButton::clicked, this, [this] { cmd_togli_Click(); });
    txt_panariello->installEventFilter(this);
    for (QLabel *cell : LBL_TAB)
        cell->installEventFilter(this);
    auto *tastoTogli = new QShortcut(QKeySequence(QKeySequence::Undo), this);
    tastoTogli->setWhatsThis(QStringLiteral("rimette nel panariello l'ultimo numero inserito"));
    connect(tastoTogli, &QShortcut::activated, this, [this] { cmd_togli_Click(); });
}

// ---------------------------------------------------------------------------------------------
// The handlers, each a forward to its rule.

void Form1::Form_Load()
{
    m_game->load();
}

void Form1::Form_Unload()
{
    m_game->close();
}

void Form1::cmd_estrai_Click()
{
    m_game->draw();
}

void Form1::cmd_nuovo_Click()
{
    m_game->newGameAsked();
}

void Form1::cmd_sospendi_Click()
{
    m_game->pauseOrResume();
}

void Form1::HScroll1_Change()
{
    m_game->speedChanged();
}

void Form1::Label1_MouseMove(int button, int /*shift*/, float x, float /*y*/)
{
    m_game->bigNumberGesture(button, x);
}

void Form1::Opt_escludi_Click()
{
    m_game->wordsExcluded();
}

void Form1::cmd_verifica_Click()
{
    m_claims->panelToggled();
}

void Form1::cmd_ambo_Click(int index)
{
    m_claims->prizePicked(index);
}

void Form1::Text1_KeyPress(int index, std::int16_t &key)
{
    m_claims->keyPressed(index, key);
}

void Form1::Text1_LostFocus(int index)
{
    m_claims->boxLeft(index);
}

void Form1::cmd_ripeti_Click()
{
    m_repeat->ripetiClicked();
}

void Form1::txt_ultimi_KeyPress(std::int16_t &key)
{
    m_repeat->keyPressed(key);
}

void Form1::cmd_stampa_Click()
{
    printCards(false);
}

void Form1::Txt_num_cartelle_KeyPress(std::int16_t &key)
{
    if (key == 8 || cardCountBoxTakes(char16_t(key))) return;
    if (key == 13) {
        // An Enter behind a run under way (or its message) starts no second one.
        if (m_printRun->isPrinting()) return;
        const auto refusal =
            m_printRun->checkOnEnter(valore_numerico(Txt_num_cartelle->text()), m_game->printRecord());
        if (refusal) {
            m_game->ports().dialogs.message(refusal->text, refusal->title, Icon::Question);
            setFocus(Control::Txt_num_cartelle, Focus::PutBack);
            return;
        }
        cmd_stampa_Click();
        return;
    }
    key = 0;
}

void Form1::cmd_cartelle_Click()
{
    if (m_game->isClosed() || m_printRun->isPrinting()) return;
    if (m_game->isDrawing()) {
        m_game->ports().dialogs.message(QStringLiteral("Per stampare le cartelle PRIMA premere Pausa"),
                                        QString(), Icon::Information);
        return;
    }
    CardsDialog dialog(*m_printRun, *m_game, fullSeriesBox->isChecked(), choosePdf, this);
    connect(&dialog, &CardsDialog::fullSeriesChanged, fullSeriesBox, &QCheckBox::setChecked);
    connect(&dialog, &CardsDialog::failed, this, [this](const QString &text, const QString &title) {
        m_game->ports().dialogs.message(text, title, Icon::Critical);
    });
    execKeepingClose(dialog);
}

void Form1::showPrinted()
{
    lbl_stampa->setText(m_printRun->lastSummary());
    lbl_stampa->show();
    m_printedShown.start();
}

void Form1::setEveningKept(bool kept, const QString &why)
{
    lbl_serata->setToolTip(why);
    lbl_serata->setAccessibleDescription(why);
    lbl_serata->setVisible(!kept);
}

void Form1::chk_panariello_Click()
{
    m_game->setBasketMode(chk_panariello->isChecked());
}

void Form1::txt_panariello_Enter()
{
    if (m_game->enterNumber(txt_panariello->text())) {
        txt_panariello->clear();
        return;
    }
    // A refused text stays, selected, for the caller to type over.
    txt_panariello->selectAll();
    setFocus(Control::txt_panariello, Focus::PutBack);
}

void Form1::LBL_TAB_Click(int index)
{
    m_game->enterNumber(index + 1);
}

void Form1::cmd_togli_Click()
{
    m_game->takeBackAsked();
}

void Form1::printCards(bool toPdf)
{
    const auto notice =
        m_printRun->print(valore_numerico(Txt_num_cartelle->text()), toPdf, m_game->isDrawing(),
                          fullSeriesBox->isChecked() ? CardDealer::FullSeries : CardDealer::Classic,
                          m_game->printRecord(), choosePdf);
    if (!notice || m_game->isClosed()) return;
    const Icon icon = notice->kind == Notice::Kind::Error      ? Icon::Critical
                      : notice->kind == Notice::Kind::Question ? Icon::Question
                                                               : Icon::None;
    m_game->ports().dialogs.message(notice->text, notice->title, icon);
}

// ---------------------------------------------------------------------------------------------
// Events of the controls, turned into the window's handlers.

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched == txt_panariello) {
            const auto *ke = static_cast<QKeyEvent *>(event);
            // The box's own undo would eat Ctrl+Z: here it takes back the last number.
            if (ke->matches(QKeySequence::Undo)) {
                cmd_togli_Click();
                return true;
            }
            if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
                if (!ke->isAutoRepeat()) txt_panariello_Enter();
                return true;
            }
            return false;
        }
        return keyFilter(watched, event);
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            for (int i = 0; i < 90; ++i)
                if (watched == LBL_TAB[std::size_t(i)]) LBL_TAB_Click(i);
        return false;
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        // Only a move to another control counts: a message box or another window taking the
        // activation is no leaving of the box, and a focus put back by a check is not either.
        const bool moved = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                           reason == Qt::MouseFocusReason || reason == Qt::OtherFocusReason ||
                           reason == Qt::ShortcutFocusReason;
        if (moved && m_focusBack == 0 && !m_game->isClosed())
            for (int i = 0; i < 14; ++i)
                if (watched == Text1[std::size_t(i)]) Text1_LostFocus(i);
        return false;
    }
    case QEvent::MouseMove:
        if (watched == Label1) {
            const auto *me = static_cast<QMouseEvent *>(event);
            const int mask = int(me->buttons() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton));
            int shift = 0;
            if (me->modifiers() & Qt::ShiftModifier) shift |= 1;
            if (me->modifiers() & Qt::ControlModifier) shift |= 2;
            if (me->modifiers() & Qt::AltModifier) shift |= 4;
            // In twips of the default size, whatever the window's.
            const double toTwips = kTwipsPerPixel / m_scale.factor();
            Label1_MouseMove(mask, shift, float(me->position().x() * toTwips),
                             float(me->position().y() * toTwips));
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
    // A held key repeats: one Enter is one request, however long it is held.
    if (code == 13 && ke->isAutoRepeat()) return true;
    if (watched == txt_ultimi) {
        txt_ultimi_KeyPress(key);
    } else if (watched == Txt_num_cartelle) {
        Txt_num_cartelle_KeyPress(key);
    } else {
        for (int i = 0; i < 14; ++i)
            if (watched == Text1[std::size_t(i)]) Text1_KeyPress(i, key);
    }
    return key == 0 || key == 13;
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_scale.apply()) return;
    fitCaptions();
    fitWords();
    drawMarks();
    emit layoutScaled();
}
