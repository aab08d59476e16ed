#include "win32gui/config_window.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/win32/wide_text.hpp"
#include "ui/form_template.hpp"
#include "win32gui/dialog_template.hpp"
#include "win32gui/win32_prompter.hpp"
#include "win32gui/win32_window_host.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

// Windows need a display; without one Wine waits for it for ever.
class DisplayCheck final : public ::testing::Environment {
public:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_FAIL() << "no display: run the Windows tests under xvfb-run";
        }
    }
};
const auto* const displayCheck = ::testing::AddGlobalTestEnvironment(new DisplayCheck);

std::wstring wide(std::string_view text) {
    return utf8ToWide(text).value_or(L"");
}

std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

struct WindowFixture : ::testing::Test {
    WindowFixture() {
        window.setHandlers({
            .controlEvent = [this](ControlEvent event,
                                   ctl::ControlId id) { events.emplace_back(event, id); },
            .accept =
                [this] {
                    ++accepts;
                    return acceptAnswer;
                },
        });
        dialog = window.create();
        host.setDialog(dialog);
    }

    HWND item(ctl::ControlId id) const { return GetDlgItem(dialog, id); }

    // The keys as the program's message loop hands them to the dialog.
    void press(HWND target, WPARAM key) {
        for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
            MSG msg = {target, message, key, 0, 0, {}};
            if (!IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

    // Moves the focus as Tab does, so that a push button becomes the default.
    void focus(ctl::ControlId id) {
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(id)), TRUE);
    }

    RECT windowRect() const {
        RECT rect;
        GetWindowRect(dialog, &rect);
        return rect;
    }

    Win32FormView view;
    ConfigWindow window{GetModuleHandleW(nullptr), view};
    Win32WindowHost host{GetModuleHandleW(nullptr)};
    HWND dialog = nullptr;
    std::vector<std::pair<ControlEvent, ctl::ControlId>> events;
    int accepts = 0;
    bool acceptAnswer = false;
};

TEST_F(WindowFixture, EveryControlHasTheTemplatesIdClassCaptionStyleAndRectangle) {
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(windowText(dialog), wide(kFormTitle));
    for (const ControlTemplate& control : kFormControls) {
        SCOPED_TRACE(control.id);
        const HWND window = item(control.id);
        ASSERT_NE(window, nullptr);
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        const std::wstring expectedClass = controlClass(control.kind) == kEditClass ? L"Edit"
                                           : controlClass(control.kind) == kButtonClass
                                               ? L"Button"
                                               : L"ComboBox";
        EXPECT_EQ(std::wstring(className), expectedClass);
        // A combo box hands its scroll bar on to its list, and the dialog
        // draws an edit's border sunken.
        const DWORD expectedStyle = controlStyle(control.kind) & ~WS_VSCROLL & ~WS_BORDER;
        const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
        const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
        EXPECT_EQ(style & expectedStyle, expectedStyle);
        const bool bordered = (style & WS_BORDER) != 0 || (exStyle & WS_EX_CLIENTEDGE) != 0;
        EXPECT_EQ(bordered, control.kind == ControlKind::Edit);
        EXPECT_TRUE(IsWindowEnabled(window));
        if (!control.caption.empty()) {
            EXPECT_EQ(windowText(window), wide(control.caption));
        }
        // Windows maps the position and the size each on its own.
        RECT place = {control.rect.x, control.rect.y, control.rect.width, control.rect.height};
        MapDialogRect(dialog, &place);
        RECT actual;
        GetWindowRect(window, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, place.left);
        EXPECT_EQ(actual.top, place.top);
        EXPECT_EQ(actual.right - actual.left, place.right);
        if (!isList(control.kind)) {
            // A closed drop-down is as high as its field; the template's
            // height is that of the opened list.
            EXPECT_EQ(actual.bottom - actual.top, place.bottom);
        }
    }
}

TEST_F(WindowFixture, OnlyTheOperatorsActionsRaiseCommands) {
    view.setText(ctl::ModuleName, "Lorandix AMR Ver Moudle N 23306");
    view.setText(ctl::Serial, "00 00 00 00 01 00");
    view.setText(ctl::Port, "COM7");
    view.setChecked(ctl::AutoConfigure, true);
    view.setChecked(ctl::AutoConfigure, false);
    view.setSelection(ctl::DefaultRate, 3);
    view.setItems(ctl::RfPower, {"+20dBm", "+17dBm"});
    view.setEnabled(ctl::ReadButton, false);
    view.setEnabled(ctl::ReadButton, true);
    EXPECT_TRUE(events.empty());

    SendMessageW(item(ctl::ReadButton), BM_CLICK, 0, 0);
    SendMessageW(item(ctl::AutoConfigure), BM_CLICK, 0, 0);
    SendMessageW(item(ctl::ModuleName), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
    focus(ctl::RateUpper);
    press(item(ctl::RateUpper), VK_DOWN);
    EXPECT_THAT(events, ElementsAre(Pair(ControlEvent::Clicked, ctl::ReadButton),
                                    Pair(ControlEvent::Clicked, ctl::AutoConfigure),
                                    Pair(ControlEvent::TextChanged, ctl::ModuleName),
                                    Pair(ControlEvent::SelectionChanged, ctl::RateUpper)));
    EXPECT_TRUE(view.checked(ctl::AutoConfigure)) << "a click ticks the box";
    EXPECT_EQ(view.selection(ctl::RateUpper), 0);
}

TEST_F(WindowFixture, TextsItemsAndStatesReadBackAsTheyWereSet) {
    view.setText(ctl::StatusLine, "模块读取成功！");
    EXPECT_EQ(windowText(item(ctl::StatusLine)), L"模块读取成功！");
    EXPECT_EQ(view.text(ctl::StatusLine), "模块读取成功！");
    // A module's name in the Chinese code page: shown in Chinese, read back
    // as the module's own bytes while nobody has changed it.
    const std::string gb18030 = "\xC4\xA3\xBF\xE9";  // 模块
    view.setText(ctl::ModuleName, gb18030);
    EXPECT_EQ(windowText(item(ctl::ModuleName)), L"模块");
    EXPECT_EQ(view.text(ctl::ModuleName), gb18030);

    EXPECT_EQ(view.items(ctl::Port).size(), 50u);
    EXPECT_EQ(view.items(ctl::Port).back(), "COM50");
    EXPECT_EQ(view.text(ctl::Port), "");
    EXPECT_EQ(view.selection(ctl::DefaultRate), -1) << "lists start without a selection";
    view.setSelection(ctl::DefaultRate, 11);
    EXPECT_EQ(view.text(ctl::DefaultRate), "1.2kbps");
    view.setSelection(ctl::DefaultRate, 12);
    EXPECT_EQ(view.selection(ctl::DefaultRate), -1);
    EXPECT_EQ(view.text(ctl::DefaultRate), "");
    view.setText(ctl::Port, "COM51");
    view.setItems(ctl::Port, {"COM1"});
    EXPECT_EQ(view.text(ctl::Port), "COM51") << "typed text stays when the items change";
    EXPECT_THROW(view.setText(ctl::DefaultRate, "x"), std::invalid_argument);
    EXPECT_THROW(view.checked(ctl::ReadButton), std::invalid_argument);
    EXPECT_THROW(view.selection(ctl::Serial), std::invalid_argument);
    EXPECT_THROW(view.text(999), std::out_of_range);

    view.setEnabled(ctl::Serial, false);
    EXPECT_FALSE(view.enabled(ctl::Serial));
    view.setText(ctl::NetworkId, "12abc");
    view.focusAndSelectAll(ctl::NetworkId);
    EXPECT_EQ(GetFocus(), item(ctl::NetworkId));
    DWORD start = 1;
    DWORD end = 0;
    SendMessageW(item(ctl::NetworkId), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 5u);
}

TEST_F(WindowFixture, EnterAcceptsOrPressesTheFocusedButtonAndEscCloses) {
    focus(ctl::NetworkId);
    press(item(ctl::NetworkId), VK_RETURN);
    EXPECT_EQ(accepts, 1);
    EXPECT_TRUE(IsWindow(dialog)) << "the form refused: the window stays";

    focus(ctl::ReadButton);
    press(item(ctl::ReadButton), VK_RETURN);
    EXPECT_EQ(accepts, 1);
    EXPECT_THAT(events, ElementsAre(Pair(ControlEvent::Clicked, ctl::ReadButton)));

    focus(ctl::NetworkId);
    press(item(ctl::NetworkId), VK_ESCAPE);
    EXPECT_EQ(accepts, 1);
    EXPECT_FALSE(IsWindow(dialog)) << "Esc closes at once";
    EXPECT_EQ(window.handle(), nullptr);
}

TEST_F(WindowFixture, CollapseAndExpandKeepTheTopLeftCorner) {
    SetWindowPos(dialog, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const RECT full = windowRect();
    host.showCollapsedHeight();
    const RECT collapsed = windowRect();
    EXPECT_EQ(collapsed.left, 40);
    EXPECT_EQ(collapsed.top, 30);
    EXPECT_EQ(collapsed.right - collapsed.left, full.right - full.left);
    // At 96 DPI, in the template's font: 12 pixels a line.
    EXPECT_EQ((full.bottom - full.top) - (collapsed.bottom - collapsed.top), 93);
    host.showFullHeight();
    const RECT expanded = windowRect();
    EXPECT_EQ(expanded.top, 30);
    EXPECT_EQ(expanded.bottom, full.bottom);
}

TEST(Win32Prompter, FilterEntriesEndInZerosAsWindowsReadsThem) {
    const FileRequest request{
        FileRequest::Mode::Open, "*.cfg", {{"配置文件(*.cfg)", "*.cfg"}, {"所有文件(*.*)", "*.*"}}};
    using namespace std::string_literals;
    EXPECT_EQ(Win32Prompter::filterText(request),
              L"配置文件(*.cfg)\0*.cfg\0所有文件(*.*)\0*.*\0\0"s);
}

}  // namespace
}  // namespace dl250t
