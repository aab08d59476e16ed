#include "win32gui/win32_window_host.hpp"

#include "platform/win32/device_notifications.hpp"
#include "ui/form_template.hpp"
#include "win32gui/dialog_template.hpp"

namespace dl250t {

namespace {

// The collapse cuts off the strip below the bottom row: 93 pixels at 96 DPI,
// scaled with the window's DPI as the dialog itself is. In the template's
// font (12 pixels a line) that is 62 units; a font a pixel taller leaves a
// little more below the bottom row and still hides the advanced group.
constexpr int kStandardDpi = 96;

void centreOver(HWND window, HWND owner) {
    RECT box;
    RECT over;
    GetWindowRect(window, &box);
    if (owner == nullptr || !GetWindowRect(owner, &over)) {
        return;
    }
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int x = over.left + ((over.right - over.left) - width) / 2;
    const int y = over.top + ((over.bottom - over.top) - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK aboutProcedure(HWND box, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            centreOver(box, GetWindow(box, GW_OWNER));
            return TRUE;
        case WM_COMMAND:
            // OK, Enter and Esc; the close box arrives as Esc does.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(box, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

Win32WindowHost::~Win32WindowHost() {
    if (registration_ != nullptr) {
        UnregisterDeviceNotification(registration_);
    }
}

bool Win32WindowHost::registerPortNotifications() {
    if (registration_ == nullptr) {
        registration_ = registerForSerialPorts(dialog_);
    }
    return registration_ != nullptr;
}

void Win32WindowHost::resizeToClientHeight(int cutPixels) {
    // The full client area is the template's, in the dialog's own units.
    RECT client = {0, 0, 0, kFormClientSize.height};
    MapDialogRect(dialog_, &client);
    RECT window;
    RECT inner;
    GetWindowRect(dialog_, &window);
    GetClientRect(dialog_, &inner);
    const int frame = (window.bottom - window.top) - (inner.bottom - inner.top);
    SetWindowPos(dialog_, nullptr, 0, 0, window.right - window.left,
                 frame + client.bottom - cutPixels, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32WindowHost::showFullHeight() {
    resizeToClientHeight(0);
}

void Win32WindowHost::showCollapsedHeight() {
    const UINT dpi = GetDpiForWindow(dialog_);
    resizeToClientHeight(MulDiv(kAdvancedCollapsePixels,
                                dpi != 0 ? static_cast<int>(dpi) : kStandardDpi, kStandardDpi));
}

void Win32WindowHost::showAbout() {
    const DialogTemplate about = aboutDialogTemplate(kIconResource);
    DialogBoxIndirectParamW(instance_, about.get(), dialog_, aboutProcedure, 0);
}

}  // namespace dl250t
