#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "ui/form_view.hpp"

namespace dl250t {

// The form's controls as the controller sees them, over the dialog's
// controls. What the program sets raises no command: the window asks
// settingByProgram() and forwards only the operator's own clicks, picks and
// edits.
//
// An ID outside the form throws std::out_of_range; asking a control for
// something its kind does not have throws std::invalid_argument.
class Win32FormView final : public FormView {
public:
    explicit Win32FormView(HWND dialog = nullptr) : dialog_(dialog) {}
    void setDialog(HWND dialog) { dialog_ = dialog; }

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

    // True while a control is being changed by the program.
    bool settingByProgram() const { return settingDepth_ > 0; }

    // The window text of any window, in UTF-8.
    static std::string windowText(HWND window);

private:
    // A text as it was given, and as it is shown. A module's identity may be
    // in a code page other than UTF-8; as long as the operator has not
    // changed the control, reading it back gives the original bytes.
    struct GivenText {
        std::string bytes;
        std::wstring shown;
    };

    class ProgramScope;

    HWND control(ctl::ControlId id) const;
    HWND list(ctl::ControlId id) const;
    HWND button(ctl::ControlId id) const;
    static std::wstring wideWindowText(HWND window);

    HWND dialog_;
    int settingDepth_ = 0;
    std::array<GivenText, ctl::Last - ctl::First + 1> given_;
};

}  // namespace dl250t
