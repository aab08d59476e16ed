#include "win32gui/win32_form_view.hpp"

#include <stdexcept>

#include "config/utf8_text.hpp"
#include "platform/module_text.hpp"
#include "platform/win32/wide_text.hpp"
#include "ui/form_template.hpp"

namespace dl250t {

namespace {

[[noreturn]] void wrongKind(ctl::ControlId id, const char* what) {
    throw std::invalid_argument("control " + std::to_string(id) + " has no " + what);
}

std::size_t slot(ctl::ControlId id) {
    return static_cast<std::size_t>(id - ctl::First);
}

// A text as the window shows it: a module's identity may be in the Chinese
// code page, and is shown as every program reads it.
std::wstring displayText(std::string_view bytes) {
    return utf8ToWide(moduleTextToUtf8(bytes)).value_or(L"");
}

}  // namespace

class Win32FormView::ProgramScope {
public:
    explicit ProgramScope(Win32FormView& view) : view_(view) { ++view_.settingDepth_; }
    ~ProgramScope() { --view_.settingDepth_; }
    ProgramScope(const ProgramScope&) = delete;
    ProgramScope& operator=(const ProgramScope&) = delete;

private:
    Win32FormView& view_;
};

HWND Win32FormView::control(ctl::ControlId id) const {
    controlTemplate(id);  // throws for an ID outside the form
    return GetDlgItem(dialog_, id);
}

HWND Win32FormView::list(ctl::ControlId id) const {
    if (!isList(controlTemplate(id).kind)) {
        wrongKind(id, "list");
    }
    return GetDlgItem(dialog_, id);
}

HWND Win32FormView::button(ctl::ControlId id) const {
    if (controlTemplate(id).kind != ControlKind::CheckBox) {
        wrongKind(id, "check state");
    }
    return GetDlgItem(dialog_, id);
}

std::wstring Win32FormView::wideWindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::string Win32FormView::windowText(HWND window) {
    return wideToUtf8(wideWindowText(window));
}

std::string Win32FormView::text(ctl::ControlId id) const {
    // A drop-down list's window text is its selected item, or nothing.
    const std::wstring shown = wideWindowText(control(id));
    const GivenText& given = given_[slot(id)];
    if (!given.bytes.empty() && shown == given.shown) {
        return given.bytes;
    }
    return wideToUtf8(shown);
}

void Win32FormView::setText(ctl::ControlId id, std::string_view text) {
    const ControlKind kind = controlTemplate(id).kind;
    if (kind == ControlKind::DropDownList) {
        wrongKind(id, "text of its own");
    }
    const HWND window = control(id);
    const std::wstring shown = displayText(text);
    ProgramScope scope(*this);
    if (kind == ControlKind::EditableDropDown) {
        // Typed text, not one of the items.
        SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
    SetWindowTextW(window, shown.c_str());
    GivenText& given = given_[slot(id)];
    if (isValidUtf8(text)) {
        given = {};
    } else {
        given = {std::string(text), shown};
    }
}

bool Win32FormView::checked(ctl::ControlId id) const {
    return SendMessageW(button(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32FormView::setChecked(ctl::ControlId id, bool checked) {
    const HWND box = button(id);
    ProgramScope scope(*this);
    SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int Win32FormView::selection(ctl::ControlId id) const {
    const LRESULT index = SendMessageW(list(id), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Win32FormView::setSelection(ctl::ControlId id, int index) {
    const HWND combo = list(id);
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    ProgramScope scope(*this);
    SendMessageW(combo, CB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
}

std::vector<std::string> Win32FormView::items(ctl::ControlId id) const {
    const HWND combo = list(id);
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    std::vector<std::string> result;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring item(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        const LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                            reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
        result.push_back(wideToUtf8(item));
    }
    return result;
}

void Win32FormView::setItems(ctl::ControlId id, const std::vector<std::string>& items) {
    const HWND combo = list(id);
    const bool editable = controlTemplate(id).kind == ControlKind::EditableDropDown;
    const std::wstring typed = editable ? wideWindowText(combo) : std::wstring();
    ProgramScope scope(*this);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(displayText(item).c_str()));
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    if (editable) {
        SetWindowTextW(combo, typed.c_str());
    }
}

bool Win32FormView::enabled(ctl::ControlId id) const {
    return IsWindowEnabled(control(id)) != FALSE;
}

void Win32FormView::setEnabled(ctl::ControlId id, bool enabled) {
    const HWND window = control(id);
    ProgramScope scope(*this);
    EnableWindow(window, enabled ? TRUE : FALSE);
}

void Win32FormView::focusAndSelectAll(ctl::ControlId id) {
    const HWND window = control(id);
    // As the dialog moves the focus itself: an edit that gets it this way
    // has all of its text selected.
    SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
    const ControlKind kind = controlTemplate(id).kind;
    if (kind == ControlKind::Edit || kind == ControlKind::ReadOnlyEdit) {
        SendMessageW(window, EM_SETSEL, 0, -1);
    } else if (kind == ControlKind::EditableDropDown) {
        SendMessageW(window, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
    }
}

}  // namespace dl250t
