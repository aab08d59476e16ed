#include "gui/qt_form_view.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStringDecoder>
#include <QTest>

#include "config/utf8_text.hpp"
#include "gui/gui_support.hpp"
#include "gui/module_text.hpp"
#include "ui/form_exchange.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAre;
using testing::widgetOf;

struct FormViewFixture : ::testing::Test {
    FormViewFixture() {
        window.setHandlers({.controlEvent = [this](ControlEvent event, ctl::ControlId id) {
            events.emplace_back(event, id);
        }});
    }

    ConfigWindow window{DialogUnits(1.0)};
    QtFormView view{window};
    std::vector<std::pair<ControlEvent, ctl::ControlId>> events;
};

TEST_F(FormViewFixture, TextsOfEveryKindOfControl) {
    view.setText(ctl::NetworkId, "4660");
    view.setText(ctl::StatusLine, "模块从COM3插入");
    view.setText(ctl::AdvancedButton, "高级选项<<");
    view.setText(ctl::Port, "COM51");
    EXPECT_EQ(view.text(ctl::NetworkId), "4660");
    EXPECT_EQ(widgetOf<QLineEdit>(window, ctl::StatusLine)->text(), "模块从COM3插入");
    EXPECT_EQ(view.text(ctl::AdvancedButton), "高级选项<<");
    EXPECT_EQ(view.text(ctl::AutoConfigure), "自动配置");
    EXPECT_EQ(view.text(ctl::Port), "COM51") << "a name beyond the list is kept";
    EXPECT_EQ(view.selection(ctl::Port), -1);
    // A drop-down list's text is its selected item, or nothing.
    EXPECT_EQ(view.text(ctl::UartParity), "");
    view.setSelection(ctl::UartParity, 2);
    EXPECT_EQ(view.text(ctl::UartParity), "偶校验");
    EXPECT_THROW(view.setText(ctl::UartParity, "x"), std::invalid_argument);
}

TEST_F(FormViewFixture, LongTextShowsItsStart) {
    view.setText(ctl::ModuleName, "Lorandix AMR Ver Moudle U 13306 and a very long tail");
    auto* edit = widgetOf<QLineEdit>(window, ctl::ModuleName);
    EXPECT_EQ(edit->cursorPosition(), 0);
    EXPECT_EQ(edit->toolTip(), edit->text());
}

TEST_F(FormViewFixture, SelectionsOutsideTheItemsShowNothing) {
    view.setSelection(ctl::UartBaud, 12);
    EXPECT_EQ(view.selection(ctl::UartBaud), 12);
    for (int index : {13, -1, -5}) {
        view.setSelection(ctl::UartBaud, 12);
        view.setSelection(ctl::UartBaud, index);
        EXPECT_EQ(view.selection(ctl::UartBaud), -1) << index;
    }
    view.setSelection(ctl::Port, 6);
    EXPECT_EQ(view.text(ctl::Port), "COM7");
}

TEST_F(FormViewFixture, ReplacingItemsLeavesNoSelection) {
    view.setSelection(ctl::RfPower, 3);
    const std::vector<std::string> items20 = {"+20dBm", "+17dBm", "+15dBm", "+10dBm",
                                              "+05dBm", "+00dBm", "-05dBm", "-10dBm"};
    view.setItems(ctl::RfPower, items20);
    EXPECT_EQ(view.items(ctl::RfPower), items20);
    EXPECT_EQ(view.selection(ctl::RfPower), -1);
    EXPECT_EQ(view.text(ctl::RfPower), "");
    EXPECT_THROW(view.items(ctl::NetworkId), std::invalid_argument);
}

TEST_F(FormViewFixture, ChecksEnablingAndWrongKinds) {
    view.setChecked(ctl::FlowControl, true);
    EXPECT_TRUE(view.checked(ctl::FlowControl));
    EXPECT_TRUE(widgetOf<QCheckBox>(window, ctl::FlowControl)->isChecked());
    EXPECT_THROW(view.checked(ctl::ReadButton), std::invalid_argument);
    EXPECT_THROW(view.setChecked(ctl::NetworkId, true), std::invalid_argument);
    EXPECT_THROW(view.text(999), std::out_of_range);

    setFrozenControlsEnabled(view, false);
    EXPECT_FALSE(window.control(ctl::Port)->isEnabled());
    EXPECT_FALSE(view.enabled(ctl::ApplyButton));
    EXPECT_TRUE(view.enabled(ctl::AutoConfigure));
    EXPECT_TRUE(view.enabled(ctl::StatusLine));
}

TEST_F(FormViewFixture, SettingValuesRaisesNoControlEvents) {
    view.setText(ctl::ModuleName, "Lorandix AMR Ver Moudle N 23306");
    view.setText(ctl::NetworkId, "12");
    view.setChecked(ctl::AutoConfigure, true);
    view.setSelection(ctl::DefaultRate, 4);
    view.setSelection(ctl::RateUpper, 2);
    view.setItems(ctl::DefaultRate, {"a", "b"});
    view.setText(ctl::Port, "COM3");
    EXPECT_TRUE(events.empty());
}

TEST_F(FormViewFixture, OperatorActionsRaiseTheirEvents) {
    QTest::mouseClick(window.control(ctl::ReadButton), Qt::LeftButton);
    widgetOf<QCheckBox>(window, ctl::AutoConfigure)->click();
    auto* rate = widgetOf<QComboBox>(window, ctl::DefaultRate);
    rate->setCurrentIndex(0);
    QTest::keyClick(rate, Qt::Key_Down);
    QTest::keyClicks(window.control(ctl::NetworkId), "7");
    EXPECT_THAT(events, ElementsAre(std::pair{ControlEvent::Clicked, ctl::ReadButton},
                                    std::pair{ControlEvent::Clicked, ctl::AutoConfigure},
                                    std::pair{ControlEvent::SelectionChanged, ctl::DefaultRate},
                                    std::pair{ControlEvent::TextChanged, ctl::NetworkId}));
    EXPECT_EQ(view.selection(ctl::DefaultRate), 1);
    EXPECT_EQ(view.text(ctl::NetworkId), "7");
}

TEST_F(FormViewFixture, FocusAndSelectAllMarksTheWholeText) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    view.setText(ctl::NetworkId, "12abc");
    view.focusAndSelectAll(ctl::NetworkId);
    auto* edit = widgetOf<QLineEdit>(window, ctl::NetworkId);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->selectedText(), "12abc");
}

// A module made where the Chinese code page is the system's names itself in
// GB18030 bytes; they show as Chinese and come back unchanged.
TEST_F(FormViewFixture, ModuleTextInTheChineseCodePage) {
    const std::string gbName = "\xC4\xA3\xBF\xE9 N";  // "模块 N"
    EXPECT_FALSE(isValidUtf8(gbName));
    view.setText(ctl::ModuleName, gbName);
    const QString shown = widgetOf<QLineEdit>(window, ctl::ModuleName)->text();
    if (QStringDecoder("GB18030").isValid()) {
        EXPECT_EQ(shown, "模块 N");
    } else {
        EXPECT_EQ(shown, QString::fromLatin1(gbName.data(), qsizetype(gbName.size())));
    }
    EXPECT_EQ(view.text(ctl::ModuleName), gbName);

    // Once the text is replaced, the original bytes are gone.
    widgetOf<QLineEdit>(window, ctl::ModuleName)->setText("ROOT");
    EXPECT_EQ(view.text(ctl::ModuleName), "ROOT");
    EXPECT_EQ(displayText("模块"), "模块");
    EXPECT_EQ(displayText(""), "");
}

}  // namespace
}  // namespace dl250t
