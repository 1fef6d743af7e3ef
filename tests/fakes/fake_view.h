#pragma once
// A recording stand-in for the caller's window: each control's state as the rules last set it, the
// few reactions of the window the rules rely on, and a control step that can be made to fail.
//
// isVisible() is the control's own flag: the real window also hides the children of a hidden
// frame, so a case that depends on that belongs in the window tests.

#include "game/game_view.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

class FakeView : public GameView
{
public:
    enum class Operation {
        SetCaption,
        SetEnabled,
        SetVisible,
        SetLocked,
        SetBackColor,
        SetFace,
        SetBorder,
        SetChecked,
        SetValue,
        SetTag,
        SetFocus,
    };

    struct Cell {
        QString caption;
        bool enabled = true;
        bool visible = true;
        bool locked = false;
        Rgb back;
        QString face;
        bool border = false;
        bool checked = false;
        int value = 0;
        QString tag;
    };

    // The next `times` calls of `operation` on `control` throw std::runtime_error.
    struct Failure {
        Operation operation;
        ControlId control;
        int times = 1;
    };

    std::optional<Failure> failOn;
    int failures = 0;
    std::optional<ControlId> focus;
    int windowShows = 0;
    // The scroll bar's change handler, raised when setValue changes its value.
    std::function<void()> onValueChanged;
    // The focus left claim box `index` as a user moving on would leave it.
    std::function<void(int index)> onBoxLeft;
    // Told of every operation before it is carried out.
    std::function<void(Operation, ControlId)> onChange;

    FakeView()
    {
        // As the window starts: hidden until shown, the scroll bar at its left end.
        cell(Control::Form1).visible = false;
        cell(Control::HScroll1).value = kMinimum;
    }

    Cell &cell(ControlId c) { return m_cells[key(c)]; }
    const Cell &cell(ControlId c) const
    {
        static const Cell untouched;
        const auto it = m_cells.find(key(c));
        return it == m_cells.end() ? untouched : it->second;
    }
    bool isEnabled(ControlId c) const { return cell(c).enabled; }

    void setCaption(ControlId c, const QString &text) override
    {
        change(Operation::SetCaption, c).caption = text;
    }
    QString caption(ControlId c) const override { return cell(c).caption; }
    void setEnabled(ControlId c, bool on) override { change(Operation::SetEnabled, c).enabled = on; }
    void setVisible(ControlId c, bool on) override { change(Operation::SetVisible, c).visible = on; }
    bool isVisible(ControlId c) const override { return cell(c).visible; }
    void setLocked(ControlId c, bool on) override { change(Operation::SetLocked, c).locked = on; }
    bool isLocked(ControlId c) const override { return cell(c).locked; }
    void setBackColor(ControlId c, Rgb colour) override { change(Operation::SetBackColor, c).back = colour; }
    void setFace(ControlId c, const QString &family) override { change(Operation::SetFace, c).face = family; }
    void setBorder(ControlId c) override { change(Operation::SetBorder, c).border = true; }
    bool isChecked(ControlId c) const override { return cell(c).checked; }
    int value(ControlId c) const override { return cell(c).value; }
    void setTag(ControlId c, const QString &tag) override { change(Operation::SetTag, c).tag = tag; }
    QString tag(ControlId c) const override { return cell(c).tag; }
    void showWindow() override
    {
        ++windowShows;
        cell(Control::Form1).visible = true;
    }
    void clearSurface() override {}

    void setChecked(ControlId c, bool on) override
    {
        Cell &target = change(Operation::SetChecked, c);
        if (!inOptionGroup(c)) {
            const bool changed = target.checked != on;
            target.checked = on;
            if (changed && onChecked) onChecked(c.control, on);
            return;
        }
        // Option buttons: the checked one cannot be unchecked, only replaced by another.
        if (!on) return;
        for (Control other : kOptions)
            cell(other).checked = false;
        target.checked = true;
        if (onChecked) onChecked(c.control, true);
    }

    // A box or option button changed, as its toggled signal reports it in the window.
    std::function<void(Control, bool)> onChecked;

    void setValue(ControlId c, int v) override
    {
        Cell &bar = change(Operation::SetValue, c);
        const int clamped = c.control == Control::HScroll1 ? std::clamp(v, kMinimum, kMaximum) : v;
        if (bar.value == clamped) return;
        bar.value = clamped;
        if (c.control == Control::HScroll1 && onValueChanged) onValueChanged();
    }

    void setFocus(ControlId c, Focus how) override
    {
        change(Operation::SetFocus, c);
        const std::optional<ControlId> previous = focus;
        // As Qt does, the focus moves before the box it leaves hears of it.
        focus = c;
        if (how == Focus::MoveOn && previous && previous->control == Control::Text1 && !(*previous == c) &&
            onBoxLeft)
            onBoxLeft(previous->index);
    }

private:
    static constexpr int kMinimum = 100;
    static constexpr int kMaximum = 7000;
    static constexpr Control kOptions[] = {Control::Opt_escludi, Control::Opt_maiuscolo,
                                           Control::Opt_minuscolo, Control::Opt_script};

    static bool inOptionGroup(ControlId c)
    {
        return std::find(std::begin(kOptions), std::end(kOptions), c.control) != std::end(kOptions);
    }

    // The window's control arrays throw on a member they do not have; so does the fake.
    static std::pair<int, int> key(ControlId c)
    {
        const int members = c.control == Control::LBL_TAB ? 90 : c.control == Control::Text1 ? 14 : 1;
        if (c.index < 0 || c.index >= members) throw std::out_of_range("no such member of a control array");
        return {int(c.control), c.index};
    }

    Cell &change(Operation operation, ControlId c)
    {
        if (onChange) onChange(operation, c);
        if (failOn && failOn->operation == operation && failOn->control == c) {
            ++failures;
            if (--failOn->times == 0) failOn.reset();
            throw std::runtime_error("control step made to fail");
        }
        return cell(c);
    }

    std::map<std::pair<int, int>, Cell> m_cells;
};
