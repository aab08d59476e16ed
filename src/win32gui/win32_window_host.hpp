#pragma once

#include <windows.h>

#include "app/window_host.hpp"

namespace dl250t {

// The dialog as the controller's host: device notifications for its serial
// ports, its two heights and the About box.
class Win32WindowHost final : public WindowHost {
public:
    explicit Win32WindowHost(HINSTANCE instance, HWND dialog = nullptr)
        : instance_(instance), dialog_(dialog) {}
    ~Win32WindowHost() override;
    Win32WindowHost(const Win32WindowHost&) = delete;
    Win32WindowHost& operator=(const Win32WindowHost&) = delete;

    void setDialog(HWND dialog) { dialog_ = dialog; }

    // WM_DEVICECHANGE for serial port interfaces, sent to the dialog.
    bool registerPortNotifications() override;
    // Both keep the window's top left corner and its place among the windows.
    void showFullHeight() override;
    void showCollapsedHeight() override;
    void showAbout() override;

    // The resource of the program icon, which the About box shows.
    static constexpr WORD kIconResource = 128;

private:
    // The full height, less `cutPixels` of the client area.
    void resizeToClientHeight(int cutPixels);

    HINSTANCE instance_;
    HWND dialog_;
    HDEVNOTIFY registration_ = nullptr;
};

}  // namespace dl250t
