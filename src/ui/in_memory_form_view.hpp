#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/form_template.hpp"
#include "ui/form_view.hpp"

namespace dl250t {

// The form kept in memory: what the companion program works on instead of a
// window, and what the tests inspect. It holds the 65 controls of the form
// template and behaves like the window's controls where the core can see a
// difference.
//
// An ID outside the form throws std::out_of_range; asking a control for
// something its kind does not have (the check state of an edit, the items of
// a button, typed text in a drop-down list) throws std::invalid_argument.
class InMemoryFormView final : public FormView {
public:
    // As the window is after creating its controls and adding the initial
    // list items: all enabled, no list selected, texts empty except the
    // captions of buttons and check boxes, nothing checked, no focus.
    InMemoryFormView();

    // A drop-down list's text is its selected item, or empty. Setting the text
    // of the editable drop-down clears its selection: it shows typed text now.
    std::string text(ctl::ControlId id) const override;
    void setText(ctl::ControlId id, std::string_view text) override;

    bool checked(ctl::ControlId id) const override;
    void setChecked(ctl::ControlId id, bool checked) override;

    // Selecting an item of the editable drop-down also puts its text into the field.
    int selection(ctl::ControlId id) const override;
    void setSelection(ctl::ControlId id, int index) override;

    std::vector<std::string> items(ctl::ControlId id) const override;
    void setItems(ctl::ControlId id, const std::vector<std::string>& items) override;

    bool enabled(ctl::ControlId id) const override;
    void setEnabled(ctl::ControlId id, bool enabled) override;

    void focusAndSelectAll(ctl::ControlId id) override;

    // The control that has the keyboard focus, if any was given it.
    std::optional<ctl::ControlId> focusedControl() const { return focused_; }
    // Whether the focused control's whole text is selected. Setting its text
    // drops the selection, as an edit does.
    bool focusedTextSelected() const { return focusedTextSelected_; }
    // Every focusAndSelectAll call, in order.
    const std::vector<ctl::ControlId>& focusAndSelectLog() const { return focusLog_; }

private:
    struct Control {
        ControlKind kind = ControlKind::Edit;
        std::string text;
        bool checked = false;
        int selection = -1;
        std::vector<std::string> items;
        bool enabled = true;
    };

    Control& control(ctl::ControlId id);
    const Control& control(ctl::ControlId id) const;
    Control& list(ctl::ControlId id);
    const Control& list(ctl::ControlId id) const;
    Control& checkBox(ctl::ControlId id);
    const Control& checkBox(ctl::ControlId id) const;

    std::array<Control, ctl::Last - ctl::First + 1> controls_;
    std::optional<ctl::ControlId> focused_;
    bool focusedTextSelected_ = false;
    std::vector<ctl::ControlId> focusLog_;
};

}  // namespace dl250t
