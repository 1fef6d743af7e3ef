#include "ui/accessibility.h"

#include "announce/prizes.h"
#include "claims/claim_check.h"
#include "game/game.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <map>
#include <memory>

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

bool isControl(const QWidget *w)
{
    return qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QLabel *>(w) ||
           qobject_cast<const QLineEdit *>(w) || qobject_cast<const QGroupBox *>(w) ||
           qobject_cast<const QAbstractSlider *>(w);
}

QString caption(const QWidget *w)
{
    if (auto *b = qobject_cast<const QAbstractButton *>(w)) return b->text();
    if (auto *l = qobject_cast<const QLabel *>(w)) return l->text();
    if (auto *g = qobject_cast<const QGroupBox *>(w)) return g->title();
    return {};
}

QString genericKind(const QWidget *w)
{
    if (qobject_cast<const QAbstractButton *>(w)) return QStringLiteral("Pulsante");
    if (qobject_cast<const QLabel *>(w)) return QStringLiteral("Etichetta");
    if (qobject_cast<const QLineEdit *>(w)) return QStringLiteral("Casella di text");
    if (qobject_cast<const QGroupBox *>(w)) return QStringLiteral("Riquadro");
    return QStringLiteral("Barra di scorrimento");
}

// The number shown in the big display, or 0 when it shows none.
int numberOnDisplay(const Game &game)
{
    bool ok = false;
    const int n = game.display().number.trimmed().toInt(&ok);
    return ok && n >= 1 && n <= 90 ? n : 0;
}

class AccessibleNames
{
public:
    AccessibleNames(Form1 &form, const Game &game)
        : m_form(form), m_game(game), m_display(form.control(Control::Label1))
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

        m_lastNumber = game.display().number;
        update();
    }

    // Brings names and descriptions up to date; announces a new content of the big display.
    void update()
    {
        m_drawn.fill(false);
        for (const int n : m_game.drawnNumbers())
            if (n >= 1 && n <= 90) m_drawn[std::size_t(n)] = true;
        // Looked up each time: a control added later is named at its first update.
        for (QWidget *w : m_form.findChildren<QWidget *>()) {
            if (w->window() != &m_form || !isControl(w)) continue;
            // Qt tells assistive technology about both changes itself.
            const QString name = nameOf(w);
            if (w->accessibleName() != name) w->setAccessibleName(name);
            const QString description = descriptionOf(w);
            if (w->accessibleDescription() != description) w->setAccessibleDescription(description);
        }
        if (m_game.display().number == m_lastNumber) return;
        m_lastNumber = m_game.display().number;
        if (m_lastNumber.trimmed().isEmpty()) return;
        // Qt 6.4 has no live regions: the name change reaches a reader that watches the display,
        // the alert the platforms that pass alerts on.
        QAccessibleEvent alert(m_display, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }

private:
    QString nameOf(const QWidget *w) const
    {
        if (const auto cell = m_cells.find(w); cell != m_cells.end())
            return QStringLiteral("Casella numero %1").arg(cell->second);
        if (w == m_display) {
            if (const int n = numberOnDisplay(m_game)) return QStringLiteral("Estratto il numero %1").arg(n);
        }
        // A caption that says something names its control, even a label whose text changes.
        const QString text = withoutAccelerators(caption(w));
        if (hasLettersOrDigits(text)) return text;
        if (const auto fixed = m_fixed.find(w); fixed != m_fixed.end()) return fixed->second;
        if (!w->toolTip().isEmpty()) return w->toolTip().simplified();
        return genericKind(w);
    }

    QString descriptionOf(const QWidget *w) const
    {
        if (!w->toolTip().isEmpty()) return w->toolTip();
        if (const auto cell = m_cells.find(w); cell != m_cells.end())
            return m_drawn[std::size_t(cell->second)] ? QStringLiteral("estratto")
                                                      : QStringLiteral("non estratto");
        return {};
    }

    Form1 &m_form;
    const Game &m_game;
    QWidget *m_display;
    std::array<bool, 91> m_drawn{};
    std::map<const QWidget *, QString> m_fixed;
    std::map<const QWidget *, int> m_cells;
    QString m_lastNumber;
};

} // namespace

void applyAccessibility(Form1 &form, const Game &game, const ClaimCheck &claims)
{
    auto names = std::make_shared<AccessibleNames>(form, game);
    QObject::connect(&game, &Game::updated, &form, [names] { names->update(); });
    // A verdict, valid or "GIÀ VINTO", is read out as it shows.
    auto verdict = [names, &form] {
        names->update();
        QAccessibleEvent alert(form.control(Control::lbl_esito), QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    };
    QObject::connect(&claims, &ClaimCheck::claimCompleted, &form, verdict);
    QObject::connect(&claims, &ClaimCheck::claimRefused, &form, verdict);
}
