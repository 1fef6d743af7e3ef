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

QString senzaAcceleratori(const QString &caption)
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

bool haLettereOCifre(const QString &s)
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

QString tipoGenerico(const QWidget *w)
{
    if (qobject_cast<const QAbstractButton *>(w)) return QStringLiteral("Pulsante");
    if (qobject_cast<const QLabel *>(w)) return QStringLiteral("Etichetta");
    if (qobject_cast<const QLineEdit *>(w)) return QStringLiteral("Casella di testo");
    if (qobject_cast<const QGroupBox *>(w)) return QStringLiteral("Riquadro");
    return QStringLiteral("Barra di scorrimento");
}

// The number shown in the big display, or 0 when it shows none.
int numeroMostrato(const Game &game)
{
    bool ok = false;
    const int n = game.display().number.trimmed().toInt(&ok);
    return ok && n >= 1 && n <= 90 ? n : 0;
}

class Accessibilita
{
public:
    Accessibilita(Form1 &form, const Game &game)
        : m_form(form), m_game(game), m_display(form.control(Control::Label1))
    {
        for (int p = 0; p < int(prizes.size()); ++p) {
            const PrizeInfo &premio = prizes[std::size_t(p)];
            const QString parola = QLatin1String(premio.word);
            for (int k = 0; k < premio.boxes; ++k)
                m_fissi.emplace(
                    form.control(ControlId(Control::Text1, premio.firstBox + k)),
                    QStringLiteral("%1, numero %2").arg(parola.left(1).toUpper() + parola.mid(1)).arg(k + 1));
        }
        for (int i = 0; i < 90; ++i)
            m_celle.emplace(form.control(ControlId(Control::LBL_TAB, i)), i + 1);
        for (const auto &[nome, testo] : std::initializer_list<std::pair<const char *, const char *>>{
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
            if (QWidget *w = form.findChild<QWidget *>(QLatin1String(nome)))
                m_fissi.emplace(w, QString::fromUtf8(testo));

        m_ultimoNumero = game.display().number;
        aggiorna();
    }

    // Brings names and descriptions up to date; announces a new content of the big display.
    void aggiorna()
    {
        m_drawn.fill(false);
        for (const int n : m_game.drawnNumbers())
            if (n >= 1 && n <= 90) m_drawn[std::size_t(n)] = true;
        // Looked up each time: a control added later is named at its first update.
        for (QWidget *w : m_form.findChildren<QWidget *>()) {
            if (w->window() != &m_form || !isControl(w)) continue;
            // Qt tells assistive technology about both changes itself.
            const QString nome = nomeDi(w);
            if (w->accessibleName() != nome) w->setAccessibleName(nome);
            const QString descrizione = descrizioneDi(w);
            if (w->accessibleDescription() != descrizione) w->setAccessibleDescription(descrizione);
        }
        if (m_game.display().number == m_ultimoNumero) return;
        m_ultimoNumero = m_game.display().number;
        if (m_ultimoNumero.trimmed().isEmpty()) return;
        // Qt 6.4 has no live regions: the name change reaches a reader that watches the display,
        // the alert the platforms that pass alerts on.
        QAccessibleEvent alert(m_display, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }

private:
    QString nomeDi(const QWidget *w) const
    {
        if (const auto cella = m_celle.find(w); cella != m_celle.end())
            return QStringLiteral("Casella numero %1").arg(cella->second);
        if (w == m_display) {
            if (const int n = numeroMostrato(m_game)) return QStringLiteral("Estratto il numero %1").arg(n);
        }
        // A caption that says something names its control, even a label whose text changes.
        const QString testo = senzaAcceleratori(caption(w));
        if (haLettereOCifre(testo)) return testo;
        if (const auto fisso = m_fissi.find(w); fisso != m_fissi.end()) return fisso->second;
        if (!w->toolTip().isEmpty()) return w->toolTip().simplified();
        return tipoGenerico(w);
    }

    QString descrizioneDi(const QWidget *w) const
    {
        if (!w->toolTip().isEmpty()) return w->toolTip();
        if (const auto cella = m_celle.find(w); cella != m_celle.end())
            return m_drawn[std::size_t(cella->second)] ? QStringLiteral("estratto")
                                                       : QStringLiteral("non estratto");
        return {};
    }

    Form1 &m_form;
    const Game &m_game;
    QWidget *m_display;
    std::array<bool, 91> m_drawn{};
    std::map<const QWidget *, QString> m_fissi;
    std::map<const QWidget *, int> m_celle;
    QString m_ultimoNumero;
};

} // namespace

void applicaAccessibilita(Form1 &form, const Game &game, const ClaimCheck &claims)
{
    auto stato = std::make_shared<Accessibilita>(form, game);
    QObject::connect(&game, &Game::updated, &form, [stato] { stato->aggiorna(); });
    // A verdict, valid or "GIA' VINTO", is read out as it shows.
    auto verdetto = [stato, &form] {
        stato->aggiorna();
        QAccessibleEvent alert(form.control(Control::lbl_esito), QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    };
    QObject::connect(&claims, &ClaimCheck::claimCompleted, &form, verdetto);
    QObject::connect(&claims, &ClaimCheck::claimRefused, &form, verdetto);
}
