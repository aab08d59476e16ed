// Drives a running dl250t-config.exe from another program, as the operator
// and Windows would: reads its title and controls with WM_GETTEXT, clicks
// with BM_CLICK, types with WM_SETTEXT, opens the About box from the system
// menu, and announces a serial port as Windows does, with WM_DEVICECHANGE and
// a DEV_BROADCAST_DEVICEINTERFACE_W record.
// Usage: window_probe window PORT-NAME
//        window_probe station COUNT
// The port (COMn) must be that of a simulated module, and the registry must
// give it as the "PortName" of the device below. Prints one line a step and
// ends with status 1 at the first step that fails. With "station" it
// announces the device COUNT times to a running dl250t-cli station, whose
// message-only window it finds by its class.

#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/wide_text.hpp"
#include "ui/about_template.hpp"
#include "ui/form_template.hpp"

namespace {

using namespace dl250t;

constexpr UINT kAnswerMs = 30000;
constexpr const wchar_t* kInterfacePath =
    L"\\\\?\\USB#VID_0403&PID_6001#A10K1234#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

[[noreturn]] void fail(const std::string& what) {
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
    std::exit(1);
}

void step(const std::string& what) {
    std::printf("ok: %s\n", what.c_str());
    std::fflush(stdout);
}

std::wstring wide(std::string_view text) {
    return utf8ToWide(text).value_or(L"");
}

LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerMs, &result)) {
        // Most likely a message box that waits for an operator.
        if (const HWND box = FindWindowW(L"#32770", L"Lorandix Configure Tool")) {
            wchar_t text[256] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 256);
            fail("the window shows a message box instead of answering: " + wideToUtf8(text));
        }
        fail("the window did not answer message " + std::to_string(message));
    }
    return static_cast<LRESULT>(result);
}

std::string textOf(HWND window) {
    wchar_t text[512] = {};
    send(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return wideToUtf8(text);
}

HWND waitForWindow(const wchar_t* title, bool visible) {
    for (int i = 0; i < 600; ++i) {
        const HWND window = FindWindowW(nullptr, title);
        if (window != nullptr && (!visible || IsWindowVisible(window))) {
            return window;
        }
        Sleep(50);
    }
    fail("no window \"" + wideToUtf8(title) + "\"");
}

void expectText(HWND main, ctl::ControlId id, const std::string& expected) {
    const std::string text = textOf(GetDlgItem(main, id));
    if (text != expected) {
        fail("control " + std::to_string(id) + " shows \"" + text + "\", not \"" + expected + "\"");
    }
}

int windowHeight(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

POINT topLeft(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return {rect.left, rect.top};
}

void announce(HWND main, WPARAM event) {
    const std::wstring path = kInterfacePath;
    std::vector<std::uint8_t> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                     (path.size() + 1) * sizeof(wchar_t));
    auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
    header->dbcc_size = static_cast<DWORD>(record.size());
    header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header->dbcc_classguid = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    std::copy(path.begin(), path.end(), header->dbcc_name);
    send(main, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()));
}

// The serial number as one counter: six hex bytes.
std::uint64_t serialNumber(const std::string& text) {
    std::uint64_t value = 0;
    int digits = 0;
    for (char c : text) {
        if (c == ' ') {
            continue;
        }
        value = value * 16 +
                static_cast<std::uint64_t>(std::strtoul(std::string(1, c).c_str(), nullptr, 16));
        ++digits;
    }
    if (digits != 12) {
        fail("\"" + text + "\" is no serial number");
    }
    return value;
}

}  // namespace

int station(int count) {
    HWND watch = nullptr;
    for (int i = 0; i < 600 && watch == nullptr; ++i) {
        watch = FindWindowExW(HWND_MESSAGE, nullptr, L"dl250t.PortEvents", nullptr);
        Sleep(50);
    }
    if (watch == nullptr) {
        fail("no station waiting for ports");
    }
    for (int module = 1; module <= count; ++module) {
        announce(watch, DBT_DEVICEARRIVAL);
        step("arrival " + std::to_string(module) + " announced");
    }
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring_view(argv[1]) == L"station") {
        return station(std::stoi(argv[2]));
    }
    if (argc != 3 || std::wstring_view(argv[1]) != L"window") {
        std::fputs("usage: window_probe window PORT-NAME | station COUNT\n", stderr);
        return 2;
    }
    const std::string port = wideToUtf8(argv[2]);
    const HWND main = waitForWindow(wide(kFormTitle).c_str(), true);
    step("window \"" + std::string(kFormTitle) + "\"");

    for (const ControlTemplate& control : kFormControls) {
        const HWND item = GetDlgItem(main, control.id);
        if (item == nullptr) {
            fail("no control " + std::to_string(control.id));
        }
        if (!control.caption.empty()) {
            expectText(main, control.id, std::string(control.caption));
        }
    }
    expectText(main, ctl::StatusLine, "");
    expectText(main, ctl::Port, "");
    expectText(main, ctl::ModuleName, "Lorandix AMR Ver Moudle U 13306");
    step("65 controls with the template's IDs and captions");

    const int collapsed = windowHeight(main);
    const POINT corner = topLeft(main);
    send(GetDlgItem(main, ctl::AdvancedButton), BM_CLICK, 0, 0);
    if (windowHeight(main) - collapsed != kAdvancedCollapsePixels) {
        fail("the advanced panel added " + std::to_string(windowHeight(main) - collapsed) +
             " pixels");
    }
    expectText(main, ctl::AdvancedButton, std::string(kAdvancedCaptionShown));
    send(GetDlgItem(main, ctl::AdvancedButton), BM_CLICK, 0, 0);
    if (windowHeight(main) != collapsed || topLeft(main).x != corner.x ||
        topLeft(main).y != corner.y) {
        fail("collapsing again did not restore the window");
    }
    expectText(main, ctl::AdvancedButton, std::string(kAdvancedCaptionHidden));
    step("the advanced panel shows and hides by 93 pixels");

    PostMessageW(main, WM_SYSCOMMAND, 0x10, 0);
    const HWND about = waitForWindow(wide(kAboutTitle).c_str(), true);
    if (GetWindow(about, GW_OWNER) != main) {
        fail("the About box does not belong to the window");
    }
    bool version = false;
    for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        version = version || textOf(child) == kAboutVersionText;
    }
    if (!version || textOf(GetDlgItem(about, IDOK)) != kAboutOkCaption) {
        fail("the About box lacks its version line or its OK button");
    }
    if (IsWindowEnabled(main)) {
        fail("the window takes input while the About box is open");
    }
    PostMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 200 && IsWindow(about); ++i) {
        Sleep(50);
    }
    if (IsWindow(about)) {
        fail("OK did not close the About box");
    }
    step("the About box from the system menu, closed with OK");

    send(GetDlgItem(main, ctl::Port), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(port).c_str()));
    send(GetDlgItem(main, ctl::ReadButton), BM_CLICK, 0, 0);
    expectText(main, ctl::StatusLine, "模块读取成功！");
    expectText(main, ctl::Type, "NODE");
    step("Read on " + port + " fills the form");

    send(GetDlgItem(main, ctl::Port), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    announce(main, DBT_DEVICEARRIVAL);
    expectText(main, ctl::StatusLine, "模块从" + port + "插入");
    expectText(main, ctl::Port, port);
    announce(main, DBT_DEVICEREMOVECOMPLETE);
    expectText(main, ctl::StatusLine, "模块从" + port + "拔出");
    expectText(main, ctl::Port, port);
    step("an arrival names its port, a removal is told");

    send(GetDlgItem(main, ctl::AutoConfigure), BM_CLICK, 0, 0);
    if (send(GetDlgItem(main, ctl::AutoConfigure), BM_GETCHECK, 0, 0) != BST_CHECKED ||
        IsWindowEnabled(GetDlgItem(main, ctl::ReadButton)) ||
        IsWindowEnabled(GetDlgItem(main, ctl::Serial)) ||
        !IsWindowEnabled(GetDlgItem(main, ctl::AutoConfigure))) {
        fail("auto-configure did not freeze the form");
    }
    step("auto-configure freezes the form");

    std::uint64_t serial = serialNumber(textOf(GetDlgItem(main, ctl::Serial)));
    for (int module = 1; module <= 3; ++module) {
        announce(main, DBT_DEVICEARRIVAL);
        expectText(main, ctl::StatusLine, "模块写入成功！");
        const std::uint64_t next = serialNumber(textOf(GetDlgItem(main, ctl::Serial)));
        if (next != serial + 1) {
            fail("the serial number went from " + std::to_string(serial) + " to " +
                 std::to_string(next));
        }
        serial = next;
        step("arrival " + std::to_string(module) + " written, the serial number advanced");
    }

    PostMessageW(main, WM_CLOSE, 0, 0);
    for (int i = 0; i < 200 && IsWindow(main); ++i) {
        Sleep(50);
    }
    if (IsWindow(main)) {
        fail("the close box did not close the window");
    }
    step("the close box closes the window");
    return 0;
}
