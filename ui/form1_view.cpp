// The caller's window as the game's view: the control operations the rules use, by control name.

#include "ui/form1.h"
#include "ui/paint_cache.h"
#include "ui/qt_colour.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <algorithm>

// ---------------------------------------------------------------------------------------------
// The view: the control operations the rules use.

QWidget *Form1::control(ControlId c) const
{
    switch (c.control) {
    case Control::Form1:
        return const_cast<Form1 *>(this);
    case Control::cmd_estrai:
        return cmd_estrai;
    case Control::cmd_nuovo:
        return cmd_nuovo;
    case Control::cmd_sospendi:
        return cmd_sospendi;
    case Control::cmd_verifica:
        return cmd_verifica;
    case Control::cmd_ripeti:
        return cmd_ripeti;
    case Control::Label1:
        return Label1;
    case Control::Label2:
        return Label2;
    case Control::Label4:
        return Label4;
    case Control::Label6:
        return Label6;
    case Control::txt_ultimi:
        return txt_ultimi;
    case Control::HScroll1:
        return HScroll1;
    case Control::Opt_escludi:
        return Opt_escludi;
    case Control::Opt_maiuscolo:
        return Opt_maiuscolo;
    case Control::Opt_minuscolo:
        return Opt_minuscolo;
    case Control::Opt_script:
        return Opt_script;
    case Control::fra_controlli:
        return fra_controlli;
    case Control::fra_cartelle:
        return fra_cartelle;
    case Control::Txt_num_cartelle:
        return Txt_num_cartelle;
    case Control::lbl_esito:
        return lbl_esito;
    case Control::smorfiaBox:
        return smorfiaBox;
    case Control::sayMeaningBox:
        return sayMeaningBox;
    case Control::meaningLabel:
        return meaningLabel;
    case Control::chk_panariello:
        return chk_panariello;
    case Control::txt_panariello:
        return txt_panariello;
    case Control::cmd_togli:
        return cmd_togli;
    case Control::LBL_TAB:
        return LBL_TAB.at(std::size_t(c.index));
    case Control::Text1:
        return Text1.at(std::size_t(c.index));
    }
    throw std::out_of_range("controllo sconosciuto");
}

namespace
{
// The largest size up to `points`, in steps of two points down from it, at which `text` fits the
// width of `label`, its margins aside, or 6 when none does; sizes in points of the window's default
// size, at the layout's factor. The steps keep the faces of a game to a few (each new one costs a
// lookup through fontconfig). A text grows with its size: the size is found from the width at the
// label's present size and then checked, so that a text that fits as it stands costs one
// measurement.
void fitToWidth(QLabel *label, const QString &text, int points, const LayoutScale &scale)
{
    const int room = label->contentsRect().width() - 2 * label->margin() - 4;
    const QFont base = label->font();
    const double at = base.pointSizeF() / scale.factor();
    // The label's size in steps of the layout's points, or 0 when it is not one at this factor.
    const int now = std::abs(at - std::lround(at)) < 1e-6 ? int(std::lround(at)) : 0;
    const int width = label->fontMetrics().horizontalAdvance(text);
    if (now == points && width <= room) return;
    // Kept: a face Qt no longer holds is looked up again through fontconfig.
    const auto sized = [&scale](const QFont &f, int size) { return keptFace(scale.font(f, size)); };
    const auto fits = [&](int size) {
        return QFontMetrics(sized(base, size)).horizontalAdvance(text) <= room;
    };
    const auto step = [points](int size) { return std::max(6, size - (points - size) % 2); };
    const int from = now > 0 ? now : int(std::lround(at));
    int size = from > 0 && width > 0 ? step(std::clamp(int(double(from) * room / width), 6, points)) : points;
    if (size > 6 && !fits(size)) {
        do {
            size = std::max(6, size - 2);
        } while (size > 6 && !fits(size));
    } else {
        while (size < points && fits(std::min(points, size + 2)))
            size = std::min(points, size + 2);
    }
    if (size == now) return;
    label->setFont(sized(base, size));
}

// Does `f` with the control as a W, when it is one.
template <typename W, typename F> void with(QWidget *w, F &&f)
{
    if (auto *typed = qobject_cast<W *>(w)) f(typed);
}
// What `f` reads of the control as a W, or `otherwise` when it is not one.
template <typename W, typename R, typename F> R read(QWidget *w, R otherwise, F &&f)
{
    auto *typed = qobject_cast<W *>(w);
    return typed ? f(typed) : otherwise;
}
} // namespace

void Form1::setCaption(ControlId c, const QString &text)
{
    QWidget *w = control(c);
    // Long words in capitals are wider than the label: a smaller size rather than clipped ends.
    if (w == Label6) fitToWidth(Label6, text, kWordsPoints, m_scale);
    with<QLabel>(w, [&](QLabel *l) { l->setText(text); });
    with<QLineEdit>(w, [&](QLineEdit *e) { e->setText(text); });
    with<QAbstractButton>(w, [&](QAbstractButton *b) { b->setText(text); });
    with<QGroupBox>(w, [&](QGroupBox *g) { g->setTitle(text); });
}

QString Form1::caption(ControlId c) const
{
    QWidget *w = control(c);
    if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w)) return e->text();
    if (auto *b = qobject_cast<QAbstractButton *>(w)) return b->text();
    return read<QGroupBox>(w, QString(), [](QGroupBox *g) { return g->title(); });
}

void Form1::setEnabled(ControlId c, bool on)
{
    control(c)->setEnabled(on);
}

void Form1::setVisible(ControlId c, bool on)
{
    control(c)->setVisible(on);
}

bool Form1::isVisible(ControlId c) const
{
    return control(c)->isVisible();
}

void Form1::setLocked(ControlId c, bool on)
{
    with<QLineEdit>(control(c), [on](QLineEdit *e) { e->setReadOnly(on); });
}

bool Form1::isLocked(ControlId c) const
{
    return read<QLineEdit>(control(c), false, [](QLineEdit *e) { return e->isReadOnly(); });
}

void Form1::setBackColor(ControlId c, Rgb colour)
{
    setBackColor(control(c), qColour(colour));
}

void Form1::setFace(ControlId c, const QString &family)
{
    QWidget *w = control(c);
    QFont f = w->font();
    // Set for every number: the same face again changes nothing.
    if (f.family() == family && f.families() == QStringList{family}) return;
    f.setFamily(family);
    f.setFamilies({family});
    w->setFont(f);
    if (w == Label6) fitWords();
}

void Form1::fitWords()
{
    fitToWidth(Label6, Label6->text(), kWordsPoints, m_scale);
}

void Form1::setBorder(ControlId c)
{
    with<QLabel>(control(c), [](QLabel *l) { l->setFrameShape(QFrame::Box); });
}

void Form1::setChecked(ControlId c, bool on)
{
    with<QAbstractButton>(control(c), [on](QAbstractButton *b) { b->setChecked(on); });
}

bool Form1::isChecked(ControlId c) const
{
    return read<QAbstractButton>(control(c), false, [](QAbstractButton *b) { return b->isChecked(); });
}

void Form1::setValue(ControlId c, int value)
{
    with<QAbstractSlider>(control(c), [value](QAbstractSlider *s) { s->setValue(value); });
}

int Form1::value(ControlId c) const
{
    return read<QAbstractSlider>(control(c), 0, [](QAbstractSlider *s) { return s->value(); });
}

void Form1::setTag(ControlId c, const QString &tag)
{
    control(c)->setProperty("Tag", tag);
}

QString Form1::tag(ControlId c) const
{
    return control(c)->property("Tag").toString();
}

void Form1::setFocus(ControlId c, Focus how)
{
    // A focus put back by a check is no leaving of the box it comes from.
    if (how == Focus::PutBack) ++m_focusBack;
    control(c)->setFocus(Qt::OtherFocusReason);
    if (how == Focus::PutBack) --m_focusBack;
}

void Form1::showWindow()
{
    show();
}

void Form1::clearSurface()
{
    update();
}
