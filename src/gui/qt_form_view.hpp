#pragma once

#include <QString>
#include <array>
#include <string>

#include "gui/config_window.hpp"
#include "ui/form_view.hpp"

namespace dl250t {

// The form's controls as the controller sees them, over the window's widgets.
// Setting texts, check states, selections and items changes only the widgets:
// the window forwards nothing but the operator's own clicks, picks and edits.
//
// An ID outside the form throws std::out_of_range; asking a control for
// something its kind does not have throws std::invalid_argument.
class QtFormView final : public FormView {
public:
    explicit QtFormView(ConfigWindow& window);

    std::string text(ctl::ControlId id) const override;
    void setText(ctl::ControlId id, std::string_view text) override;

    bool checked(ctl::ControlId id) const override;
    void setChecked(ctl::ControlId id, bool checked) override;

    int selection(ctl::ControlId id) const override;
    void setSelection(ctl::ControlId id, int index) override;

    std::vector<std::string> items(ctl::ControlId id) const override;
    void setItems(ctl::ControlId id, const std::vector<std::string>& items) override;

    bool enabled(ctl::ControlId id) const override;
    void setEnabled(ctl::ControlId id, bool enabled) override;

    void focusAndSelectAll(ctl::ControlId id) override;

private:
    // A text as it was given, and as it is shown. A module's identity may be
    // in a code page other than UTF-8; as long as the operator has not
    // changed the control, reading it back gives the original bytes.
    struct GivenText {
        std::string bytes;
        QString shown;
    };

    QString shownText(ctl::ControlId id) const;

    ConfigWindow& window_;
    std::array<GivenText, ctl::Last - ctl::First + 1> given_;
};

}  // namespace dl250t
