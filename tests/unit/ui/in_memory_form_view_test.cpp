#include "ui/in_memory_form_view.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ui/form_lists.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAre;

TEST(InMemoryFormView, StartsAsTheFreshlyCreatedWindow) {
    const InMemoryFormView view;
    for (const auto& control : kFormControls) {
        EXPECT_TRUE(view.enabled(control.id)) << control.id;
        EXPECT_EQ(view.text(control.id), control.caption) << control.id;
        if (control.kind == ControlKind::CheckBox) {
            EXPECT_FALSE(view.checked(control.id)) << control.id;
        }
        if (isList(control.kind)) {
            EXPECT_EQ(view.selection(control.id), -1) << control.id;
            const auto initial = initialItems(control.id);
            EXPECT_EQ(view.items(control.id),
                      std::vector<std::string>(initial.begin(), initial.end()))
                << control.id;
        }
    }
    EXPECT_EQ(view.text(ctl::AdvancedButton), "高级配置>>");
    EXPECT_EQ(view.text(ctl::StatusLine), "");
    EXPECT_EQ(view.focusedControl(), std::nullopt);
    EXPECT_TRUE(view.focusAndSelectLog().empty());
}

TEST(InMemoryFormView, SelectionOutsideTheItemsShowsNothing) {
    InMemoryFormView view;
    view.setSelection(ctl::UartBaud, 12);
    EXPECT_EQ(view.selection(ctl::UartBaud), 12);
    EXPECT_EQ(view.text(ctl::UartBaud), "230400");
    view.setSelection(ctl::UartBaud, 13);
    EXPECT_EQ(view.selection(ctl::UartBaud), -1);
    EXPECT_EQ(view.text(ctl::UartBaud), "");
    view.setSelection(ctl::UartBaud, 0);
    view.setSelection(ctl::UartBaud, -2);
    EXPECT_EQ(view.selection(ctl::UartBaud), -1);
}

TEST(InMemoryFormView, ReplacingItemsDropsTheSelection) {
    InMemoryFormView view;
    view.setSelection(ctl::RfPower, 3);
    view.setItems(ctl::RfPower, {"+20dBm", "+17dBm"});
    EXPECT_EQ(view.selection(ctl::RfPower), -1);
    EXPECT_THAT(view.items(ctl::RfPower), ElementsAre("+20dBm", "+17dBm"));
    view.setSelection(ctl::RfPower, 2);
    EXPECT_EQ(view.selection(ctl::RfPower), -1);
}

TEST(InMemoryFormView, PortComboTakesTypedNamesAndPickedItems) {
    InMemoryFormView view;
    view.setSelection(ctl::Port, 6);
    EXPECT_EQ(view.text(ctl::Port), "COM7");
    view.setText(ctl::Port, "COM77");
    EXPECT_EQ(view.text(ctl::Port), "COM77");
    EXPECT_EQ(view.selection(ctl::Port), -1);
}

TEST(InMemoryFormView, LogsFocusAndSelection) {
    InMemoryFormView view;
    view.setText(ctl::NetworkId, "12abc");
    view.focusAndSelectAll(ctl::NetworkId);
    EXPECT_EQ(view.focusedControl(), ctl::NetworkId);
    EXPECT_TRUE(view.focusedTextSelected());

    // Setting another control's text keeps the selection; setting its own drops it.
    view.setText(ctl::StatusLine, "status");
    EXPECT_TRUE(view.focusedTextSelected());
    view.setText(ctl::NetworkId, "0");
    EXPECT_FALSE(view.focusedTextSelected());

    view.focusAndSelectAll(ctl::StartFrequency);
    view.focusAndSelectAll(ctl::NetworkId);
    EXPECT_THAT(view.focusAndSelectLog(),
                ElementsAre(ctl::NetworkId, ctl::StartFrequency, ctl::NetworkId));
    EXPECT_TRUE(view.focusedTextSelected());
}

TEST(InMemoryFormView, UnknownIdsAndWrongKindsAreProgrammingErrors) {
    InMemoryFormView view;
    for (const ctl::ControlId id : {0, 999, 1065}) {
        EXPECT_THROW(view.text(id), std::out_of_range);
        EXPECT_THROW(view.setText(id, "x"), std::out_of_range);
        EXPECT_THROW(view.checked(id), std::out_of_range);
        EXPECT_THROW(view.setChecked(id, true), std::out_of_range);
        EXPECT_THROW(view.selection(id), std::out_of_range);
        EXPECT_THROW(view.setSelection(id, 0), std::out_of_range);
        EXPECT_THROW(view.items(id), std::out_of_range);
        EXPECT_THROW(view.setItems(id, {}), std::out_of_range);
        EXPECT_THROW(view.enabled(id), std::out_of_range);
        EXPECT_THROW(view.setEnabled(id, false), std::out_of_range);
        EXPECT_THROW(view.focusAndSelectAll(id), std::out_of_range);
    }
    EXPECT_THROW(view.checked(ctl::NetworkId), std::invalid_argument);
    EXPECT_THROW(view.setSelection(ctl::NetworkId, 0), std::invalid_argument);
    EXPECT_THROW(view.items(ctl::ReadButton), std::invalid_argument);
    EXPECT_THROW(view.setText(ctl::UartBaud, "9600"), std::invalid_argument);
}

}  // namespace
}  // namespace dl250t
