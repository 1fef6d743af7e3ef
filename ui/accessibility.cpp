#include "ui/accessibility.h"

#include "announce/prizes.h"
#include "claims/claim_check.h"
#include "game/game.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QChildEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <map>
#include <set>
#include <vector>

QString withoutAccelerators(const QString &caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) out += caption[++i];
            continue;
        }
        out += caption[i];
    }
    return out.simplified();
}

namespace
{

bool hasLettersOrDigits(const QString &s)
{
    for (const QChar c : s)
        if (c.isLetterOrNumber()) return true;
    return false;
}

// The kinds of control that are named; a widget of any other kind is not.
enum class Kind { None, Button, Label, LineEdit, GroupBox, Slider };

Kind kindOf(const QWidget *w)
{
    if (qobject_cast<const QAbstractButton *>(w)) return Kind::Button;
    if (qobject_cast<const QLabel *>(w)) return Kind::Label;
    if (qobject_cast<const QLineEdit *>(w)) return Kind::LineEdit;
    if (qobject_cast<const QGroupBox *>(w)) return Kind::GroupBox;
    if (qobject_cast<const QAbstractSlider *>(w)) return Kind::Slider;
    return Kind::None;
}

// What a control shows as its caption; text boxes and scroll bars have none.
QString caption(const QWidget *w, Kind kind)
{
    switch (kind) {
    case Kind::Button:
        return static_cast<const QAbstractButton *>(w)->text();
    case Kind::Label:
        return static_cast<const QLabel *>(w)->text();
    case Kind::GroupBox:
        return static_cast<const QGroupBox *>(w)->title();
    default:
        return {};
    }
}

QString genericKind(Kind kind)
{
    switch (kind) {
    case Kind::Button:
        return QStringLiteral("Pulsante");
    case Kind::Label:
        return QStringLiteral("Etichetta");
    case Kind::LineEdit:
        return QStringLiteral("Casella di text");
    case Kind::GroupBox:
        return QStringLiteral("Riquadro");
    default:
        return QStringLiteral("Barra di scorrimento");
    }
}

// The number shown in the big display, or 0 when it shows none.
int numberOnDisplay(const Game &game)
{
    bool ok = false;
    const int n = game.display().number.trimmed().toInt(&ok);
    return ok && n >= 1 && n <= 90 ? n : 0;
}

// Each number drawn or repeated, told to a screen reader. Qt 6.4 has no announcement event, and its
// AT-SPI bridge drops QAccessible::Alert; Orca (scripts/default.py, onShowingChanged) speaks an
// object of the notification role when it starts showing, by its name, wherever the focus is. So
// a hidden widget of that role is named after the number and shown (Qt sends
// object:state-changed:showing), then hidden again before the next one.
constexpr char kNoticeName[] = "annuncio_numero";

QAccessibleInterface *noticeInterface(const QString &, QObject *object)
{
    if (object && object->isWidgetType() && object->objectName() == QLatin1String(kNoticeName))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
    return nullptr;
}

class NumberNotice : public QWidget
{
public:
    explicit NumberNotice(QWidget &window) : QWidget(&window)
    {
        static const bool installed = [] {
            QAccessible::installFactory(noticeInterface);
            return true;
        }();
        Q_UNUSED(installed);
        setObjectName(QLatin1String(kNoticeName));
        setGeometry(0, 0, 0, 0);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

    void tell(const QString &text)
    {
        hide();
        setAccessibleName(text);
        show();
    }
};

// Names every control of the window once, then renames only what the game says changed: a control
// whose caption changed, the board's cells whose number came out or went back, the big display. A
// new tool tip or a control added later are seen from their widgets' own events.
class AccessibleNames : public QObject
{
public:
    AccessibleNames(Form1 &form, const Game &game)
        : QObject(&form), m_form(form), m_game(game), m_display(form.control(Control::Label1))
    {
        for (int p = 0; p < claimPrizes; ++p) {
            const PrizeInfo &prize = claimPrizeInfo(p);
            const QString word = QLatin1String(prize.word);
            for (int k = 0; k < prize.boxes; ++k)
                m_fixed.emplace(
                    form.control(ControlId(Control::Text1, prize.firstBox + k)),
                    QStringLiteral("%1, numero %2").arg(word.left(1).toUpper() + word.mid(1)).arg(k + 1));
        }
        for (int i = 0; i < 90; ++i)
            m_cells.emplace(form.control(ControlId(Control::LBL_TAB, i)), i + 1);
        for (const auto &[name, text] : std::initializer_list<std::pair<const char *, const char *>>{
                 {"cat1", "Cartella 1 del tabellone"},
                 {"cart2", "Cartella 2 del tabellone"},
                 {"caer3", "Cartella 3 del tabellone"},
                 {"cart4", "Cartella 4 del tabellone"},
                 {"cart5", "Cartella 5 del tabellone"},
                 {"cart6", "Cartella 6 del tabellone"},
                 {"txt_ultimi", "Quanti ultimi numeri ripetere"},
                 {"txt_panariello", "Numero uscito dal panariello"},
                 {"Txt_num_cartelle", "Numero di cartelle da stampare"},
                 {"HScroll1", "Velocità dell'estrazione"},
                 {"Fra_scrittura", "Modo di scrittura dei numeri in lettere"},
                 {"TABELLONE", "Tabellone"},
                 {"Label1", "Numero estratto"},
                 {"Label2", "Contatore dei numeri estratti"},
                 {"Label6", "Numero estratto in lettere"},
                 {"cmd_pdf", "Salva le cartelle in PDF"}})
            if (QWidget *w = form.findChild<QWidget *>(QLatin1String(name)))
                m_fixed.emplace(w, QString::fromUtf8(text));

        markDrawn();
        m_lastNumber = game.display().number;
        m_form.installEventFilter(this);
        adoptNewControls();
    }

    void follow(Game::Changes what)
    {
        adoptNewControls();
        if (what & Game::Change::Controls) followCaptions();
        if (what & Game::Change::Numbers) followNumbers();
        if (what & Game::Change::Displayed) followDisplay();
    }

    // Renames the controls whose caption is not the one they were named after.
    void followCaptions()
    {
        adoptNewControls();
        for (Named &n : m_named) {
            if (!n.widget) continue;
            // The cells' names and the text boxes' do not come from a caption.
            if (n.cell || n.kind == Kind::LineEdit || n.kind == Kind::Slider) continue;
            QString now = caption(n.widget, n.kind);
            if (now == n.caption) continue;
            n.caption = std::move(now);
            rename(n);
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded) {
            // Named at the next change: the new widget is not built yet.
            if (static_cast<QChildEvent *>(event)->child()->isWidgetType()) m_lookForNew = true;
        } else if (event->type() == QEvent::ToolTipChange) {
            for (Named &n : m_named)
                if (n.widget == watched) rename(n);
        }
        return false;
    }

private:
    struct Named {
        QPointer<QWidget> widget;
        Kind kind = Kind::None;
        int cell = 0; // the board's cell of this number, or 0
        QString caption;
    };

    // Names the controls of the window not named yet, and watches every widget of it for new
    // controls and new tool tips.
    void adoptNewControls()
    {
        if (!m_lookForNew) return;
        m_lookForNew = false;
        std::erase_if(m_named, [](const Named &n) { return !n.widget; });
        for (QWidget *w : m_form.findChildren<QWidget *>()) {
            if (w->window() != &m_form || !m_seen.insert(w).second) continue;
            w->installEventFilter(this);
            connect(w, &QObject::destroyed, this, [this](QObject *gone) { m_seen.erase(gone); });
            const Kind kind = kindOf(w);
            if (kind == Kind::None) continue;
            Named n;
            n.widget = w;
            n.kind = kind;
            if (const auto cell = m_cells.find(w); cell != m_cells.end()) n.cell = cell->second;
            n.caption = caption(w, kind);
            rename(n);
            m_named.push_back(std::move(n));
        }
    }

    void rename(const Named &n)
    {
        QWidget *w = n.widget;
        if (!w) return;
        // Qt tells assistive technology about both changes itself.
        const QString name = nameOf(n);
        if (w->accessibleName() != name) w->setAccessibleName(name);
        const QString description = descriptionOf(n);
        if (w->accessibleDescription() != description) w->setAccessibleDescription(description);
    }

    void markDrawn()
    {
        m_drawn.fill(false);
        for (const int n : m_game.drawnNumbers())
            if (n >= 1 && n <= 90) m_drawn[std::size_t(n)] = true;
    }

    // Describes again the cells whose number came out or went back.
    void followNumbers()
    {
        const std::array<bool, 91> before = m_drawn;
        markDrawn();
        for (const Named &n : m_named)
            if (n.cell && before[std::size_t(n.cell)] != m_drawn[std::size_t(n.cell)]) rename(n);
    }

    // Names the big display after its number, and announces a new content.
    void followDisplay()
    {
        for (const Named &n : m_named)
            if (n.widget == m_display) rename(n);
        if (m_game.display().number == m_lastNumber) return;
        m_lastNumber = m_game.display().number;
        if (m_lastNumber.trimmed().isEmpty()) return;
        // Qt 6.4 has no live regions: the name change reaches a reader that watches the display,
        // the alert the platforms that pass alerts on.
        QAccessibleEvent alert(m_display, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }

    QString nameOf(const Named &n) const
    {
        if (n.cell) return QStringLiteral("Casella numero %1").arg(n.cell);
        if (n.widget == m_display) {
            if (const int number = numberOnDisplay(m_game))
                return QStringLiteral("Estratto il numero %1").arg(number);
        }
        // A caption that says something names its control, even a label whose text changes.
        const QString text = withoutAccelerators(caption(n.widget, n.kind));
        if (hasLettersOrDigits(text)) return text;
        if (const auto fixed = m_fixed.find(n.widget); fixed != m_fixed.end()) return fixed->second;
        if (!n.widget->toolTip().isEmpty()) return n.widget->toolTip().simplified();
        return genericKind(n.kind);
    }

    QString descriptionOf(const Named &n) const
    {
        if (!n.widget->toolTip().isEmpty()) return n.widget->toolTip();
        if (n.cell)
            return m_drawn[std::size_t(n.cell)] ? QStringLiteral("estratto") : QStringLiteral("non estratto");
        return {};
    }

    Form1 &m_form;
    const Game &m_game;
    QWidget *m_display;
    std::array<bool, 91> m_drawn{};
    std::map<const QWidget *, QString> m_fixed;
    std::map<const QWidget *, int> m_cells;
    std::vector<Named> m_named;
    // The widgets watched, named or not.
    std::set<const QObject *> m_seen;
    bool m_lookForNew = true;
    QString m_lastNumber;
};

} // namespace

void applyAccessibility(Form1 &form, const Game &game, const ClaimCheck &claims)
{
    auto *names = new AccessibleNames(form, game);
    QObject::connect(&game, &Game::changed, names, &AccessibleNames::follow);
    // A verdict, valid or "GIÀ VINTO", is read out as it shows.
    auto verdict = [names, &form] {
        names->followCaptions();
        QAccessibleEvent alert(form.control(Control::lbl_esito), QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    };
    QObject::connect(&claims, &ClaimCheck::claimCompleted, names, verdict);
    QObject::connect(&claims, &ClaimCheck::claimRefused, names, verdict);
    auto *notice = new NumberNotice(form);
    QObject::connect(&game, &Game::numberDrawn, notice, [notice](int number) {
        notice->tell(QStringLiteral("Estratto il numero %1").arg(number));
    });
    QObject::connect(&game, &Game::repeatShowing, notice, [notice](int number) {
        notice->tell(QStringLiteral("Ripetuto il numero %1").arg(number));
    });
}
