#pragma once
// What the rules may do to the caller's window, and nothing more: the control operations of the
// window named by the controls' own names. Plain virtual calls, not signals, so that a failure in a
// control step reaches the catch-all of the step that made it.

#include "game/palette.h"

#include <QString>

enum class Control {
    Form1,
    cmd_estrai,
    cmd_nuovo,
    cmd_sospendi,
    cmd_verifica,
    cmd_ripeti,
    Label1,
    Label2,
    Label4,
    Label6,
    txt_ultimi,
    HScroll1,
    Opt_escludi,
    Opt_maiuscolo,
    Opt_minuscolo,
    Opt_script,
    fra_controlli,
    fra_cartelle,
    Txt_num_cartelle,
    lbl_esito,     // the verdict of a complete claim, in the claim panel
    smorfiaBox,    // "Smorfia": the meaning of each number shown under its words
    sayMeaningBox, // "e dilla": the meaning also spoken after the number
    meaningLabel,  // the meaning, under the words
    LBL_TAB,       // members 0..89
    Text1,         // members 0..13
    // The basket: the mode switch, the box for the number out of the bag, the take-back button.
    chk_panariello,
    txt_panariello,
    cmd_togli,
};

// A control, or a member of a control array.
struct ControlId {
    Control control;
    int index = 0;
    constexpr ControlId(Control c, int i = 0) : control(c), index(i) {}
    constexpr bool operator==(const ControlId &) const = default;
};

class GameView
{
public:
    enum class Focus {
        MoveOn,  // as a user moving on: the box left is checked
        PutBack, // a check putting the focus back on its own box: nothing is checked again
    };

    virtual ~GameView() = default;
    // The caption of a label, button or frame; the text of a text box.
    virtual void setCaption(ControlId c, const QString &text) = 0;
    virtual QString caption(ControlId c) const = 0;
    virtual void setEnabled(ControlId c, bool on) = 0;
    virtual void setVisible(ControlId c, bool on) = 0;
    virtual bool isVisible(ControlId c) const = 0;
    // A text box that takes no typing.
    virtual void setLocked(ControlId c, bool on) = 0;
    virtual bool isLocked(ControlId c) const = 0;
    virtual void setBackColor(ControlId c, Rgb colour) = 0;
    // Only the face name changes; size, weight and alignment stay.
    virtual void setFace(ControlId c, const QString &family) = 0;
    // A single border around a label.
    virtual void setBorder(ControlId c) = 0;
    virtual void setChecked(ControlId c, bool on) = 0;
    virtual bool isChecked(ControlId c) const = 0;
    // The scroll bar's value; setting it raises its change handler.
    virtual void setValue(ControlId c, int value) = 0;
    virtual int value(ControlId c) const = 0;
    // The free-text tag of a label.
    virtual void setTag(ControlId c, const QString &tag) = 0;
    virtual QString tag(ControlId c) const = 0;
    virtual void setFocus(ControlId c, Focus how) = 0;
    // Shows the window, not modal.
    virtual void showWindow() = 0;
    // Clears anything drawn directly on the window's surface.
    virtual void clearSurface() = 0;
};
