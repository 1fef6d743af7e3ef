#include "ui/qt_platform.h"

#include "announce/input_hold.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcutEvent>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <vector>

QtClock::QtClock()
{
    m_timer.start();
}

double QtClock::now()
{
    return double(m_timer.nsecsElapsed()) * 1e-9;
}

void QtClock::pump()
{
    QCoreApplication::processEvents();
}

void QtClock::waitUntil(double deadline)
{
    const double left = deadline - now();
    if (left <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    // Sleep in the event loop: an event or the deadline's timer wakes it.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(int(std::ceil(left * 1000.0)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtDialogs::message(const QString &text, const QString &title, Icon icon)
{
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None:
        break;
    case Icon::Question:
        boxIcon = QMessageBox::Question;
        break;
    case Icon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case Icon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(boxIcon, title.isEmpty() ? Form1::applicationTitle() : title, text, QMessageBox::Ok,
                    m_parent);
    execKeepingClose(box);
}

bool QtDialogs::ask(const QString &text, const QString &title, bool yesByDefault)
{
    return askKeepingClose(text, title, m_parent, yesByDefault);
}

int QtDialogs::choose(const QString &text, const QString &title, const QStringList &buttons, int defaultIndex,
                      int escapeIndex)
{
    QMessageBox box(QMessageBox::Question, title.isEmpty() ? Form1::applicationTitle() : title, text,
                    QMessageBox::NoButton, m_parent);
    QList<QPushButton *> made;
    for (const QString &b : buttons)
        made << box.addButton(b, QMessageBox::AcceptRole);
    box.setDefaultButton(made.value(defaultIndex));
    box.setEscapeButton(made.value(escapeIndex));
    execKeepingClose(box);
    const auto at = made.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    return at >= 0 ? int(at) : escapeIndex;
}

const std::array<AnswerKey, 2> &answerKeys()
{
    // The buttons' initials; Yes first.
    static const std::array<AnswerKey, 2> keys{
        {{Qt::Key_S, "risponde Sì a una domanda"}, {Qt::Key_N, "risponde No (anche Esc)"}}};
    return keys;
}

namespace
{
// S answers "Sì" and N "No", as the buttons' initials.
class YesNoKeys : public QObject
{
public:
    explicit YesNoKeys(QMessageBox &box) : QObject(&box), m_box(box) { box.installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress) return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
        if (key->key() == answerKeys()[0].key)
            m_box.button(QMessageBox::Yes)->click();
        else if (key->key() == answerKeys()[1].key)
            m_box.button(QMessageBox::No)->click();
        else
            return false;
        return true;
    }

private:
    QMessageBox &m_box;
};
} // namespace

namespace
{
class PromptAccelerators : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Shortcut) return false;
        auto *button = qobject_cast<QAbstractButton *>(watched);
        const auto *shortcut = static_cast<QShortcutEvent *>(event);
        // Only the button's own accelerator; an ambiguous one only moves the focus, as Qt does it.
        if (!button || !button->isEnabled() || shortcut->isAmbiguous() ||
            shortcut->key() != QKeySequence::mnemonic(button->text()))
            return false;
        // As Qt's animated click, without the wait: a check box takes the focus, then the click.
        if (button->isCheckable() && (button->focusPolicy() & Qt::ClickFocus))
            button->setFocus(Qt::ShortcutFocusReason);
        button->click();
        return true;
    }
};
} // namespace

void clickAcceleratorsAtOnce()
{
    static QPointer<PromptAccelerators> installed;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || installed) return;
    installed = new PromptAccelerators(app);
    app->installEventFilter(installed);
}

bool askKeepingClose(const QString &text, const QString &title, QWidget *parent, bool yesByDefault)
{
    QMessageBox box(QMessageBox::Question, title.isEmpty() ? Form1::applicationTitle() : title, text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Sì"));
    box.button(QMessageBox::No)->setText(QStringLiteral("No"));
    box.setDefaultButton(yesByDefault ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    new YesNoKeys(box);
    execKeepingClose(box);
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

int execKeepingClose(QDialog &dialog)
{
    DialogGate gate(&dialog);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    dialog.setWindowModality(Qt::NonModal);
    // A dialog shown again must not answer with its last result when the application quits.
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    // Returns at once when the application is already quitting.
    loop.exec();
    return dialog.result();
}

void showKeepingClose(QDialog &dialog)
{
    new DialogGate(&dialog, &dialog);
    dialog.setWindowModality(Qt::NonModal);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}

QPushButton *addCloseButton(QDialog &dialog, QLayout &layout)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton *close = buttons->button(QDialogButtonBox::Close);
    close->setText(QStringLiteral("Chiudi"));
    close->setObjectName(QStringLiteral("cmd_chiudi"));
    close->setAutoDefault(false);
    layout.addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return close;
}

QString choosePdfFile(QWidget *window)
{
    QFileDialog dialog(window, QStringLiteral("Salva le cartelle in PDF"), QString(),
                       QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(QStringLiteral("cartelle-tombola.pdf"));
    // The dialog's own question before overwriting a file would be modal and swallow a close of the
    // window: it is asked here, modal by hand, and a "No" goes back to the dialog.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    for (;;) {
        // A window closed meanwhile (the program is ending) asks nothing more.
        if ((window && !window->isVisible()) || execKeepingClose(dialog) != QDialog::Accepted) return {};
        const QString file = dialog.selectedFiles().value(0);
        if (!QFileInfo::exists(file) ||
            askKeepingClose(
                QStringLiteral("Il file %1 esiste già. Sostituirlo?").arg(QFileInfo(file).fileName()),
                QString(), window))
            return file;
    }
}

void keepNoSettings()
{
    // The file dialog saves its history of folders when it closes, whatever it is told; a folder
    // under /dev/null can never be made, so that save writes nothing, anywhere.
    const QString nowhere = QStringLiteral("/dev/null/tombola");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
}

namespace
{

// Every gate alive, oldest first.
std::vector<DialogGate *> &gates()
{
    static std::vector<DialogGate *> all;
    return all;
}

// The widget that input or a shortcut meant for `target` would reach: the widget itself, the widget
// of a window, or the widget a shortcut belongs to; null for anything that is not a widget's.
QWidget *widgetOf(QObject *target)
{
    if (auto *w = qobject_cast<QWidget *>(target)) return w;
    if (auto *window = qobject_cast<QWindow *>(target))
        return window->handle() ? QWidget::find(window->winId()) : nullptr;
    for (QObject *o = target->parent(); o; o = o->parent())
        if (auto *w = qobject_cast<QWidget *>(o)) return w;
    return nullptr;
}

} // namespace

DialogGate::DialogGate(QWidget *dialog, QObject *parent) : QObject(parent), m_dialog(dialog)
{
    gates().push_back(this);
    qApp->installEventFilter(this);
}

DialogGate::~DialogGate()
{
    if (qApp) qApp->removeEventFilter(this);
    std::erase(gates(), this);
}

bool DialogGate::isOpen() const
{
    return m_dialog && m_dialog->isVisible();
}

bool DialogGate::isOutside(QObject *target) const
{
    QWidget *w = widgetOf(target);
    if (!w) return false;
    QWidget *top = w->window();
    // A menu or a list of completions belongs to the window that opened it, which only the dialog
    // could do.
    if (top->windowType() == Qt::Popup || top->windowType() == Qt::ToolTip) return false;
    for (QWidget *p = top; p; p = p->parentWidget())
        if (p == m_dialog) return false;
    return true;
}

bool DialogGate::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        break;
    default:
        if (!isUserInput(event->type())) return false;
    }
    // Only the newest open gate decides; the others let everything by.
    const auto &all = gates();
    const auto decider =
        std::find_if(all.rbegin(), all.rend(), [](const DialogGate *g) { return g->isOpen(); });
    if (decider == all.rend() || *decider != this || !isOutside(watched)) return false;
    // Input is held back where it reaches a window, before any of its widgets sees it (a click would
    // move the focus first). A key pressed there is claimed by its focus widget, so that it goes on
    // as a key press, held back too, rather than as a shortcut.
    if (event->type() == QEvent::ShortcutOverride) event->accept();
    return true;
}
