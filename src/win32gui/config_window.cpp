#include "win32gui/config_window.hpp"

#include "platform/win32/wide_text.hpp"
#include "ui/about_template.hpp"
#include "ui/form_lists.hpp"
#include "ui/form_template.hpp"
#include "ui/system_menu.hpp"
#include "win32gui/dialog_template.hpp"
#include "win32gui/win32_window_host.hpp"

namespace dl250t {

namespace {

std::wstring wide(std::string_view text) {
    return utf8ToWide(text).value_or(L"");
}

// What a control's notification means to the controller; nothing for the
// notifications it does not hear of.
std::optional<ControlEvent> controlEventOf(ControlKind kind, WORD notification) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
            if (notification == BN_CLICKED) {
                return ControlEvent::Clicked;
            }
            break;
        case ControlKind::DropDownList:
        case ControlKind::EditableDropDown:
            if (notification == CBN_SELCHANGE) {
                return ControlEvent::SelectionChanged;
            }
            break;
        case ControlKind::Edit:
        case ControlKind::ReadOnlyEdit:
            if (notification == EN_CHANGE) {
                return ControlEvent::TextChanged;
            }
            break;
    }
    return std::nullopt;
}

}  // namespace

ConfigWindow::ConfigWindow(HINSTANCE instance, Win32FormView& view)
    : instance_(instance), view_(view) {
    const WORD icon = Win32WindowHost::kIconResource;
    bigIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(icon), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(icon), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
}

ConfigWindow::~ConfigWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    if (bigIcon_ != nullptr) {
        DestroyIcon(bigIcon_);
    }
    if (smallIcon_ != nullptr) {
        DestroyIcon(smallIcon_);
    }
}

HWND ConfigWindow::create() {
    const DialogTemplate form = formDialogTemplate();
    CreateDialogIndirectParamW(instance_, form.get(), nullptr, &ConfigWindow::procedure,
                               reinterpret_cast<LPARAM>(this));
    return window_;
}

INT_PTR CALLBACK ConfigWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<ConfigWindow*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
        self->window_ = window;
    }
    auto* self = reinterpret_cast<ConfigWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return FALSE;
    }
    return self->handleMessage(message, wParam, lParam);
}

void ConfigWindow::initialise() {
    view_.setDialog(window_);
    for (const InitialList& list : kInitialLists) {
        const HWND combo = GetDlgItem(window_, list.id);
        for (std::string_view item : list.items) {
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item).c_str()));
        }
    }
    if (const HMENU menu = GetSystemMenu(window_, FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, kAboutCommand, wide(kAboutMenuText).c_str());
    }
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    if (handlers_.created) {
        handlers_.created();
    }
}

INT_PTR ConfigWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            initialise();
            // The focus is left to the dialog: the first control in tab order.
            return TRUE;
        case WM_COMMAND:
            command(wParam, lParam);
            return TRUE;
        case WM_SYSCOMMAND:
            if (isAboutCommand(static_cast<std::uint32_t>(wParam))) {
                if (handlers_.about) {
                    handlers_.about();
                }
                return TRUE;
            }
            return FALSE;
        case WM_HELP:
            if (handlers_.about) {
                handlers_.about();
            }
            return TRUE;
        case WM_CONTEXTMENU:
            showContextMenu(lParam);
            return TRUE;
        case WM_DEVICECHANGE:
            if (auto event = portEventOfMessage(wParam, lParam, portNames_)) {
                if (handlers_.portEvent) {
                    handlers_.portEvent(*event);
                }
            }
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_PAINT:
            if (IsIconic(window_)) {
                paintIcon();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(bigIcon_);
        case WM_CLOSE:
            close();
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return TRUE;
        case WM_NCDESTROY:
            view_.setDialog(nullptr);
            window_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void ConfigWindow::command(WPARAM wParam, LPARAM lParam) {
    const WORD id = LOWORD(wParam);
    const WORD notification = HIWORD(wParam);
    if (lParam != 0 && id >= ctl::First && id <= ctl::Last) {
        // Changes the program makes notify too; only the operator's count.
        if (view_.settingByProgram()) {
            return;
        }
        const auto event = controlEventOf(controlTemplate(id).kind, notification);
        if (event && handlers_.controlEvent) {
            handlers_.controlEvent(*event, id);
        }
        return;
    }
    switch (id) {
        case IDOK:
            // Enter, where the focus is not on a push button.
            if (!handlers_.accept || handlers_.accept()) {
                close();
            }
            break;
        case IDCANCEL:
            // Esc and the close box: at once, whatever the form holds.
            close();
            break;
        case kVerifyCommand:
            verify_ = !verify_;
            if (handlers_.verifyChanged) {
                handlers_.verifyChanged(verify_);
            }
            break;
        case kScanCommand:
            scan_ = !scan_;
            if (handlers_.scanChanged) {
                handlers_.scanChanged(scan_);
            }
            break;
        case kJournalCommand:
            if (handlers_.chooseJournal) {
                handlers_.chooseJournal();
            }
            break;
        case kAboutMenuCommand:
            if (handlers_.about) {
                handlers_.about();
            }
            break;
        default:
            break;
    }
}

void ConfigWindow::showContextMenu(LPARAM position) {
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    AppendMenuW(menu, MF_STRING | (verify_ ? MF_CHECKED : MF_UNCHECKED), kVerifyCommand,
                wide(kVerifyMenuText).c_str());
    AppendMenuW(menu, MF_STRING, kJournalCommand, wide(kJournalMenuText).c_str());
    AppendMenuW(menu, MF_STRING | (scan_ ? MF_CHECKED : MF_UNCHECKED), kScanCommand,
                wide(kScanMenuText).c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutMenuCommand, wide(kAboutMenuText).c_str());
    POINT at = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (position == -1) {
        // From the keyboard: at the window's top left corner.
        at = {0, 0};
        ClientToScreen(window_, &at);
    }
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    DestroyMenu(menu);
}

void ConfigWindow::paintIcon() {
    PAINTSTRUCT paint;
    const HDC device = BeginPaint(window_, &paint);
    SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(device), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(device, x, y, bigIcon_);
    EndPaint(window_, &paint);
}

void ConfigWindow::close() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void ConfigWindow::showCentred() {
    RECT box;
    GetWindowRect(window_, &box);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        const RECT& area = monitor.rcWork;
        const int x = area.left + ((area.right - area.left) - (box.right - box.left)) / 2;
        const int y = area.top + ((area.bottom - area.top) - (box.bottom - box.top)) / 2;
        SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(window_, SW_SHOW);
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, ctl::Port)),
                 TRUE);
}

bool ConfigWindow::takeScannerKey(const MSG& message) {
    if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd)) ||
        !handlers_.takesScannerKeys || !handlers_.scannerKeys || !handlers_.takesScannerKeys()) {
        return false;
    }
    if (message.message == WM_KEYDOWN) {
        if (message.wParam == VK_RETURN) {
            handlers_.scannerKeys("\r");
            return true;
        }
        // Esc still closes the window. Other keys become characters below,
        // never a press of the control with the focus.
        if (message.wParam == VK_ESCAPE) {
            return false;
        }
        TranslateMessage(&message);
        return true;
    }
    if (message.message == WM_CHAR) {
        const wchar_t typed = static_cast<wchar_t>(message.wParam);
        handlers_.scannerKeys(wideToUtf8(std::wstring_view(&typed, 1)));
        return true;
    }
    return false;
}

int ConfigWindow::runMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 1;
        }
        if (takeScannerKey(message)) {
            continue;
        }
        // Tab, Enter and Esc are the dialog's.
        if (window_ == nullptr || !IsDialogMessageW(window_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

}  // namespace dl250t
