#include "ui/accessibility.h"

#include "ui/form1.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
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
int numeroMostrato(const QLabel *l)
{
    bool ok = false;
    const int n = l->text().trimmed().toInt(&ok);
    return ok && n >= 1 && n <= 90 ? n : 0;
}

class Accessibilita
{
public:
    explicit Accessibilita(Form1 &form) : m_form(form)
    {
        const char *const premi[4] = {"Ambo", "Terno", "Quaterno", "Cinquina"};
        for (int p = 0, index = 0; p < 4; ++p)
            for (int k = 0; k < p + 2; ++k, ++index)
                if (form.Text1[index])
                    m_fissi.emplace(form.Text1[index],
                                    QStringLiteral("%1, numero %2").arg(QLatin1String(premi[p])).arg(k + 1));
        for (int i = 0; i < 90; ++i)
            if (form.LBL_TAB[i]) m_celle.emplace(form.LBL_TAB[i], i + 1);
        const QGroupBox *blocchi[6] = {form.cat1, form.cart2, form.caer3, form.cart4, form.cart5, form.cart6};
        for (int b = 0; b < 6; ++b)
            if (blocchi[b])
                m_fissi.emplace(blocchi[b], QStringLiteral("Cartella %1 del tabellone").arg(b + 1));
        m_fissi.emplace(form.txt_ultimi, QStringLiteral("Quanti ultimi numeri ripetere"));
        m_fissi.emplace(form.Txt_num_cartelle, QStringLiteral("Numero di cartelle da stampare"));
        m_fissi.emplace(form.HScroll1, QStringLiteral("Velocità dell'estrazione"));
        m_fissi.emplace(form.Fra_scrittura, QStringLiteral("Modo di scrittura dei numeri in lettere"));
        m_fissi.emplace(form.TABELLONE, QStringLiteral("Tabellone"));
        m_fissi.emplace(form.Label1, QStringLiteral("Numero estratto"));
        m_fissi.emplace(form.Label2, QStringLiteral("Contatore dei numeri estratti"));
        m_fissi.emplace(form.Label6, QStringLiteral("Numero estratto in lettere"));
        m_fissi.emplace(form.cmd_pdf, QStringLiteral("Salva le cartelle in PDF"));
        m_fissi.erase(nullptr);

        if (form.Label1) m_ultimoNumero = form.Label1->text();
        aggiorna();
    }

    // Brings names and descriptions up to date; announces a new content of the big display.
    void aggiorna()
    {
        // Looked up each time: a control added later is named at its first update.
        for (QWidget *w : m_form.findChildren<QWidget *>()) {
            if (w->window() != &m_form || !isControl(w)) continue;
            // Qt tells assistive technology about both changes itself.
            const QString nome = nomeDi(w);
            if (w->accessibleName() != nome) w->setAccessibleName(nome);
            const QString descrizione = descrizioneDi(w);
            if (w->accessibleDescription() != descrizione) w->setAccessibleDescription(descrizione);
        }
        QLabel *display = m_form.Label1;
        if (!display || display->text() == m_ultimoNumero) return;
        m_ultimoNumero = display->text();
        if (m_ultimoNumero.trimmed().isEmpty()) return;
        // Qt 6.4 has no live regions: the name change reaches a reader that watches the display,
        // the alert the platforms that pass alerts on.
        QAccessibleEvent alert(display, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }

private:
    QString nomeDi(const QWidget *w) const
    {
        if (const auto cella = m_celle.find(w); cella != m_celle.end())
            return QStringLiteral("Casella numero %1").arg(cella->second);
        if (w == m_form.Label1) {
            if (const int n = numeroMostrato(m_form.Label1))
                return QStringLiteral("Estratto il numero %1").arg(n);
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
        if (m_celle.count(w))
            return caption(w).isEmpty() ? QStringLiteral("non estratto") : QStringLiteral("estratto");
        return {};
    }

    Form1 &m_form;
    std::map<const QWidget *, QString> m_fissi;
    std::map<const QWidget *, int> m_celle;
    QString m_ultimoNumero;
};

} // namespace

void applicaAccessibilita(Form1 &form)
{
    auto stato = std::make_shared<Accessibilita>(form);
    QObject::connect(&form, &Form1::aggiornato, &form, [stato] { stato->aggiorna(); });
}
