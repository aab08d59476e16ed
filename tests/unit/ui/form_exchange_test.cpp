#include "ui/form_exchange.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/recording_prompter.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAre;
using Int = std::int32_t ModuleSettings::*;

constexpr std::string_view kProgramName = "dl250t-config";

// The bindings by group of the form, each control with the field it shows.
const std::vector<std::pair<ctl::ControlId, Int>> kIntegerFields = {
    {1023, &ModuleSettings::networkId},
    {1026, &ModuleSettings::sleepRatio},
    {1030, &ModuleSettings::syncIntervalS},
    {1018, &ModuleSettings::mainChannel},
    {1020, &ModuleSettings::auxChannelStart},
    {1021, &ModuleSettings::auxChannelSpacing},
    {1027, &ModuleSettings::hostBootTimeMs},
    {1028, &ModuleSettings::responseTimeoutMs},
    {1039, &ModuleSettings::addressLength},
    {1037, &ModuleSettings::broadcastWildcard},
    {1038, &ModuleSettings::multicastWildcard},
    {1061, &ModuleSettings::uartWakeBytes},
    {1040, &ModuleSettings::downlinkAddressOffset},
    {1041, &ModuleSettings::uplinkAddressOffset},
    {1042, &ModuleSettings::lengthOffset},
    {1043, &ModuleSettings::lengthCorrection},
    {1035, &ModuleSettings::frameStartSync},
    {1036, &ModuleSettings::frameEndSync},
    {1054, &ModuleSettings::tickUs},
    {1056, &ModuleSettings::downlinkTimeoutMs},
    {1057, &ModuleSettings::uplinkTimeoutMs},
    {1060, &ModuleSettings::wakeSlotTicks},
    {1055, &ModuleSettings::autoSleepTimeoutMs},
    {1058, &ModuleSettings::syncDurationTicks},
    {1059, &ModuleSettings::beaconDurationTicks},
    {1063, &ModuleSettings::sleepCompTicks},
};
const std::vector<std::pair<ctl::ControlId, Int>> kListFields = {
    {1022, &ModuleSettings::auxChannelCountIndex}, {1014, &ModuleSettings::deviceCountIndex},
    {1015, &ModuleSettings::defaultRateIndex},     {1016, &ModuleSettings::rateUpperIndex},
    {1017, &ModuleSettings::rateLowerIndex},       {1024, &ModuleSettings::rfPowerIndex},
    {1025, &ModuleSettings::actPinFunction},       {1029, &ModuleSettings::uartBaudIndex},
    {1032, &ModuleSettings::uartStartBitIndex},    {1033, &ModuleSettings::uartParityIndex},
    {1034, &ModuleSettings::uartStopBitsIndex},    {1031, &ModuleSettings::frameModeIndex},
    {1052, &ModuleSettings::frameCheckIndex},
};
const std::vector<std::pair<ctl::ControlId, Int>> kCheckFields = {
    {1049, &ModuleSettings::sleepEnabled},    {1051, &ModuleSettings::actInverted},
    {1048, &ModuleSettings::flowControl},     {1050, &ModuleSettings::repeatEnabled},
    {1062, &ModuleSettings::appendRouteInfo},
};
const std::vector<std::pair<ctl::ControlId, std::string ModuleSettings::*>> kTextFields = {
    {1002, &ModuleSettings::moduleName},
    {1007, &ModuleSettings::serialText},
    {1003, &ModuleSettings::versionText},
    {1004, &ModuleSettings::typeText},
    {1005, &ModuleSettings::bandText},
    {1006, &ModuleSettings::maxPowerText},
    {1044, &ModuleSettings::ackPacketHex},
    {1045, &ModuleSettings::hostAddressCommandHex},
    {1046, &ModuleSettings::broadcastCommand1Hex},
    {1047, &ModuleSettings::broadcastCommand2Hex},
};
const std::vector<std::pair<ctl::ControlId, double ModuleSettings::*>> kRealFields = {
    {1019, &ModuleSettings::startFrequencyMHz},
    {1053, &ModuleSettings::carrierThresholdDbm},
};

class FormExchange : public ::testing::Test {
protected:
    FormExchange() {
        settings.serialText = "65 4B 1A 00 00 00";
        fill();
    }

    void fill() { fillForm(view, settings, autoConfigure); }
    bool read() { return readForm(view, prompter, kProgramName, settings, autoConfigure); }

    InMemoryFormView view;
    testing::RecordingPrompter prompter;
    ModuleSettings settings;
    std::int32_t autoConfigure = 0;
};

TEST_F(FormExchange, FillShowsTheDefaultsOfAFreshStart) {
    EXPECT_EQ(view.text(1002), "Lorandix AMR Ver Moudle U 13306");
    EXPECT_EQ(view.text(1003), "1.6");
    EXPECT_EQ(view.text(1004), "UNKNOWN");
    EXPECT_EQ(view.text(1005), "433MHz");
    EXPECT_EQ(view.text(1006), "10dBm");
    EXPECT_EQ(view.text(1007), "65 4B 1A 00 00 00");
    for (const ctl::ControlId id : {1044, 1045, 1046, 1047}) {
        EXPECT_EQ(view.text(id), "") << id;
    }
    EXPECT_EQ(view.text(1019), "433");
    EXPECT_EQ(view.text(1053), "0");
    for (const auto& [id, field] : kIntegerFields) {
        const bool nonZero = id == 1021 || id == 1039 || id == 1027 || id == 1028;
        EXPECT_EQ(view.text(id) != "0", nonZero) << id;
    }
    EXPECT_EQ(view.text(1039), "16");
    EXPECT_EQ(view.text(1021), "1");
    for (const auto& [id, field] : kListFields) {
        EXPECT_EQ(view.selection(id), 0) << id;
    }
    for (const auto& [id, field] : kCheckFields) {
        EXPECT_FALSE(view.checked(id)) << id;
    }
    EXPECT_FALSE(view.checked(ctl::AutoConfigure));
    // Unbound controls are left as they were.
    EXPECT_EQ(view.text(ctl::StatusLine), "");
    EXPECT_EQ(view.text(ctl::Port), "");
    EXPECT_EQ(view.text(ctl::ReadButton), "读取");
}

TEST_F(FormExchange, EachControlReadsIntoItsOwnField) {
    const ModuleSettings before = settings;
    // Changes one control of a freshly filled form and reads the form: only
    // that control's field may change.
    auto expectOnlyFieldChanges = [&](ctl::ControlId id, auto field, auto value, auto change) {
        settings = before;
        fill();
        change(id);
        ASSERT_TRUE(read()) << id;
        ModuleSettings expected = before;
        expected.*field = value;
        EXPECT_EQ(settings, expected) << id;
    };
    auto type = [&](std::string_view text) {
        return [&view = view, text](ctl::ControlId id) { view.setText(id, text); };
    };
    for (const auto& [id, field] : kIntegerFields) {
        expectOnlyFieldChanges(id, field, -77, type(" -77"));
    }
    for (const auto& [id, field] : kRealFields) {
        expectOnlyFieldChanges(id, field, -77.5, type("-77.5"));
    }
    for (const auto& [id, field] : kTextFields) {
        expectOnlyFieldChanges(id, field, std::string("typed"), type("typed"));
    }
    for (const auto& [id, field] : kListFields) {
        expectOnlyFieldChanges(id, field, 1,
                               [&](ctl::ControlId list) { view.setSelection(list, 1); });
    }
    for (const auto& [id, field] : kCheckFields) {
        expectOnlyFieldChanges(id, field, 1,
                               [&](ctl::ControlId box) { view.setChecked(box, true); });
    }
    settings = before;
    fill();
    view.setChecked(ctl::AutoConfigure, true);
    ASSERT_TRUE(read());
    EXPECT_EQ(autoConfigure, 1);
    EXPECT_EQ(settings, before);
    EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(FormExchange, FillThenReadGivesTheRecordBack) {
    ModuleSettings varied;
    varied.moduleName = "Lorandix AMR Ver Moudle R 23867";
    varied.serialText = "00 00 00 00 00 2A";
    varied.ackPacketHex = "68 01 16";
    varied.startFrequencyMHz = 470.125;
    varied.carrierThresholdDbm = -74.5;
    varied.networkId = 65535;
    varied.tickUs = 17408;
    varied.lengthCorrection = -3;
    varied.uartBaudIndex = 12;
    varied.frameCheckIndex = 3;
    varied.repeatEnabled = 1;
    settings = varied;
    autoConfigure = 1;
    fill();

    settings = ModuleSettings{};
    autoConfigure = 0;
    ASSERT_TRUE(read());
    EXPECT_EQ(settings, varied);
    EXPECT_EQ(autoConfigure, 1);
}

TEST_F(FormExchange, NumbersAreShownInTheirTextForm) {
    settings.networkId = -5;
    settings.startFrequencyMHz = 432.99981689453125;
    settings.carrierThresholdDbm = -74.5;
    fill();
    EXPECT_EQ(view.text(ctl::NetworkId), "-5");
    EXPECT_EQ(view.text(ctl::StartFrequency), "432.999816894531");
    EXPECT_EQ(view.text(ctl::CarrierThreshold), "-74.5");
}

TEST_F(FormExchange, FillLeavesAnUnchangedTextAlone) {
    view.focusAndSelectAll(ctl::Serial);
    fill();
    EXPECT_TRUE(view.focusedTextSelected());
    settings.serialText = "00 00 00 00 00 01";
    fill();
    EXPECT_FALSE(view.focusedTextSelected());
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 01");
}

TEST_F(FormExchange, CheckValuesOutsideZeroToTwoBecomeZero) {
    settings.flowControl = 5;
    settings.sleepEnabled = -1;
    settings.appendRouteInfo = 2;
    autoConfigure = 7;
    fill();
    EXPECT_EQ(settings.flowControl, 0);
    EXPECT_EQ(settings.sleepEnabled, 0);
    EXPECT_EQ(autoConfigure, 0);
    EXPECT_EQ(settings.appendRouteInfo, 2);
    EXPECT_FALSE(view.checked(ctl::FlowControl));
    EXPECT_FALSE(view.checked(ctl::SleepEnabled));
    EXPECT_FALSE(view.checked(ctl::AutoConfigure));
    EXPECT_TRUE(view.checked(ctl::AppendRouteInfo));

    ASSERT_TRUE(read());
    EXPECT_EQ(settings.appendRouteInfo, 1);
}

TEST_F(FormExchange, ListIndexOutsideItsListShowsNoSelectionAndReadsAsMinusOne) {
    settings.uartBaudIndex = 13;
    settings.rateLowerIndex = -4;
    settings.frameCheckIndex = 3;
    fill();
    EXPECT_EQ(view.selection(ctl::UartBaud), -1);
    EXPECT_EQ(view.selection(ctl::RateLower), -1);
    EXPECT_EQ(view.selection(ctl::FrameCheck), 3);
    EXPECT_EQ(settings.uartBaudIndex, 13);  // kept until the next read

    ASSERT_TRUE(read());
    EXPECT_EQ(settings.uartBaudIndex, -1);
    EXPECT_EQ(settings.rateLowerIndex, -1);
    EXPECT_EQ(settings.frameCheckIndex, 3);
}

// Passes everything on to an in-memory form and keeps every selection asked for,
// so that the exchange is seen not to rely on the view to reject bad indexes.
class SelectionSpy final : public FormView {
public:
    std::string text(ctl::ControlId id) const override { return form.text(id); }
    void setText(ctl::ControlId id, std::string_view text) override { form.setText(id, text); }
    bool checked(ctl::ControlId id) const override { return form.checked(id); }
    void setChecked(ctl::ControlId id, bool checked) override { form.setChecked(id, checked); }
    int selection(ctl::ControlId id) const override { return form.selection(id); }
    void setSelection(ctl::ControlId id, int index) override {
        asked.push_back(index);
        form.setSelection(id, index);
    }
    std::vector<std::string> items(ctl::ControlId id) const override { return form.items(id); }
    void setItems(ctl::ControlId id, const std::vector<std::string>& items) override {
        form.setItems(id, items);
    }
    bool enabled(ctl::ControlId id) const override { return form.enabled(id); }
    void setEnabled(ctl::ControlId id, bool enabled) override { form.setEnabled(id, enabled); }
    void focusAndSelectAll(ctl::ControlId id) override { form.focusAndSelectAll(id); }

    InMemoryFormView form;
    std::vector<int> asked;
};

TEST(FormExchangeSelection, AsksOnlyForExistingItemsOrNone) {
    SelectionSpy spy;
    ModuleSettings settings;
    settings.uartBaudIndex = 13;
    settings.rfPowerIndex = 8;
    settings.frameModeIndex = -7;
    std::int32_t autoConfigure = 0;
    fillForm(spy, settings, autoConfigure);
    ASSERT_EQ(spy.asked.size(), 13u);
    EXPECT_EQ(std::ranges::count(spy.asked, -1), 3);
    EXPECT_EQ(std::ranges::count(spy.asked, 0), 10);
}

// The operator changes every bound control, but the network ID holds text that
// is no number.
class FormExchangeWithBadEntry : public FormExchange {
protected:
    FormExchangeWithBadEntry() {
        view.setChecked(ctl::AutoConfigure, true);
        for (const auto& [id, field] : kCheckFields) {
            view.setChecked(id, true);
        }
        for (const auto& [id, field] : kTextFields) {
            view.setText(id, "typed");
        }
        view.setText(ctl::StartFrequency, "433.92");
        view.setText(ctl::CarrierThreshold, "-80");
        for (const auto& [id, field] : kIntegerFields) {
            view.setText(id, "5");
        }
        for (const auto& [id, field] : kListFields) {
            view.setSelection(id, 1);
        }
        view.setText(ctl::NetworkId, "12abc");
    }
};

TEST_F(FormExchangeWithBadEntry, ReadStopsAtTheFirstFieldThatIsNoNumber) {
    const ModuleSettings before = settings;
    EXPECT_FALSE(read());

    ModuleSettings expected = before;
    expected.flowControl = expected.sleepEnabled = expected.repeatEnabled = 1;
    expected.actInverted = expected.appendRouteInfo = 1;
    expected.moduleName = expected.versionText = expected.typeText = "typed";
    expected.bandText = expected.maxPowerText = expected.serialText = "typed";
    expected.ackPacketHex = expected.hostAddressCommandHex = "typed";
    expected.broadcastCommand1Hex = expected.broadcastCommand2Hex = "typed";
    expected.startFrequencyMHz = 433.92;
    expected.carrierThresholdDbm = -80.0;
    // The integers bound before the network ID.
    expected.mainChannel = expected.auxChannelSpacing = expected.auxChannelStart = 5;
    expected.downlinkAddressOffset = expected.uplinkAddressOffset = 5;
    expected.addressLength = expected.autoSleepTimeoutMs = expected.beaconDurationTicks = 5;
    expected.sleepCompTicks = expected.hostBootTimeMs = 5;
    expected.lengthCorrection = expected.lengthOffset = 5;
    EXPECT_EQ(settings, expected);
    // The check box is bound first, so the mode follows it whatever fails later.
    EXPECT_EQ(autoConfigure, 1);

    EXPECT_THAT(prompter.messages(),
                ElementsAre(testing::RecordedMessage{"请键入一个整数。", std::string(kProgramName),
                                                     MessageIcon::Warning}));
    EXPECT_THAT(view.focusAndSelectLog(), ElementsAre(ctl::NetworkId));
    EXPECT_TRUE(view.focusedTextSelected());

    // A later fill shows the record again: the typed text is gone.
    fill();
    EXPECT_EQ(view.text(ctl::NetworkId), "0");
    EXPECT_EQ(view.text(ctl::ResponseTimeout), "1");
    EXPECT_EQ(view.selection(ctl::UartBaud), 0);
    EXPECT_EQ(view.text(ctl::MainChannel), "5");
}

TEST_F(FormExchangeWithBadEntry, FocusMovesOnlyAfterTheMessageIsClosed) {
    std::optional<ctl::ControlId> focusWhileOpen = ctl::Port;
    prompter.whileMessageOpen(
        [&](const testing::RecordedMessage&) { focusWhileOpen = view.focusedControl(); });
    EXPECT_FALSE(read());
    EXPECT_EQ(focusWhileOpen, std::nullopt);
    EXPECT_EQ(view.focusedControl(), ctl::NetworkId);
}

TEST_F(FormExchangeWithBadEntry, BadRealStopsBeforeTheIntegers) {
    const ModuleSettings before = settings;
    view.setText(ctl::StartFrequency, "433,92");
    EXPECT_FALSE(read());
    EXPECT_EQ(settings.moduleName, "typed");
    EXPECT_EQ(settings.flowControl, 1);
    EXPECT_EQ(settings.startFrequencyMHz, before.startFrequencyMHz);
    EXPECT_EQ(settings.carrierThresholdDbm, before.carrierThresholdDbm);
    EXPECT_EQ(settings.mainChannel, before.mainChannel);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre("请键入一个数。"));
    EXPECT_EQ(prompter.messages()[0].title, kProgramName);
    EXPECT_EQ(view.focusedControl(), ctl::StartFrequency);

    // The second real fails on its own: the first one is taken.
    view.setText(ctl::StartFrequency, "433.92");
    view.setText(ctl::CarrierThreshold, "");
    EXPECT_FALSE(read());
    EXPECT_EQ(settings.startFrequencyMHz, 433.92);
    EXPECT_EQ(settings.carrierThresholdDbm, before.carrierThresholdDbm);
    EXPECT_EQ(view.focusedControl(), ctl::CarrierThreshold);
}

TEST(FormEnableRule, FreezesEverythingButTheCheckBoxAndTheStatusLine) {
    InMemoryFormView view;
    view.setEnabled(ctl::AutoConfigure, false);  // port notifications unavailable
    setFrozenControlsEnabled(view, false);
    EXPECT_FALSE(view.enabled(ctl::AutoConfigure));
    EXPECT_TRUE(view.enabled(ctl::StatusLine));
    for (ctl::ControlId id = 1002; id <= 1064; ++id) {
        EXPECT_FALSE(view.enabled(id)) << id;
    }

    setFrozenControlsEnabled(view, true);
    EXPECT_FALSE(view.enabled(ctl::AutoConfigure));
    for (ctl::ControlId id = 1001; id <= 1064; ++id) {
        EXPECT_TRUE(view.enabled(id)) << id;
    }
}

}  // namespace
}  // namespace dl250t
