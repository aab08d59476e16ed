#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/control_ids.hpp"

namespace dl250t {

// The form's controls as the core sees them, addressed by control ID. The
// desktop window implements it over its widgets; InMemoryFormView keeps the
// same state in memory for the companion program and the tests.
class FormView {
public:
    virtual ~FormView() = default;

    // Edits, editable drop-downs, buttons (their caption) and the status line.
    virtual std::string text(ctl::ControlId id) const = 0;
    virtual void setText(ctl::ControlId id, std::string_view text) = 0;

    virtual bool checked(ctl::ControlId id) const = 0;
    virtual void setChecked(ctl::ControlId id, bool checked) = 0;

    // Drop-down lists: the selected index, or -1 when nothing is selected.
    // Selecting an index outside the items leaves the list without selection.
    virtual int selection(ctl::ControlId id) const = 0;
    virtual void setSelection(ctl::ControlId id, int index) = 0;

    // Replacing the items of a list leaves it without selection.
    virtual std::vector<std::string> items(ctl::ControlId id) const = 0;
    virtual void setItems(ctl::ControlId id, const std::vector<std::string>& items) = 0;

    virtual bool enabled(ctl::ControlId id) const = 0;
    virtual void setEnabled(ctl::ControlId id, bool enabled) = 0;

    // Moves the keyboard focus to an edit and selects all of its text.
    virtual void focusAndSelectAll(ctl::ControlId id) = 0;
};

}  // namespace dl250t
