#include "ui/settings_form.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/field_codec.hpp"
#include "support/recording_prompter.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAre;
using testing::RecordingPrompter;

constexpr const char* kIntegerMessage = "请键入一个整数。";

// A form as the window has it after start-up: defaults filled in.
struct FormFixture : ::testing::Test {
    FormFixture() {
        form.settings().serialText = "00 00 00 00 00 01";
        form.fill();
    }

    // Apply: encode the form into the working block, then show what it holds.
    void apply() {
        form.encodeBlock(working);
        form.decodeBlock(working);
    }

    InMemoryFormView view;
    RecordingPrompter prompter;
    SettingsForm form{view, prompter, "dl250t-config"};
    ConfigBlock working = makeInitialWorkingBlock();
};

TEST_F(FormFixture, FreshEncodeWithPanelShownWarnsNineTimesInOrder) {
    form.advancedShown = true;
    form.encodeBlock(working);
    ASSERT_EQ(prompter.messages().size(), 9u);
    EXPECT_EQ(prompter.messages()[0].text,
              "时钟周期Tick值为0us超出[1us ~ 160000us]范围，自动调整为1us！");
    for (const auto& message : prompter.messages()) {
        EXPECT_EQ(message.title, "Lorandix Configure Tool");
        EXPECT_EQ(message.icon, MessageIcon::Warning);
    }
    // The encode does not fill the form: it still shows what was typed.
    EXPECT_EQ(view.text(ctl::TickUs), "0");
    EXPECT_EQ(form.settings().tickUs, 1);
}

TEST_F(FormFixture, FreshEncodeWithPanelHiddenDerivesTheTimingSilently) {
    form.encodeBlock(working);
    EXPECT_TRUE(prompter.messages().empty());
    EXPECT_EQ(view.text(ctl::TickUs), "108");
    EXPECT_EQ(view.text(ctl::SleepCompensation), "200");
    EXPECT_EQ(decodeTickUs(working, 26), 108);
    EXPECT_EQ(working[101], 200);
}

TEST_F(FormFixture, BadNumberIsReportedTwiceWithPanelHiddenAndOnceShown) {
    view.setText(ctl::NetworkId, "12abc");
    form.encodeBlock(working);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(kIntegerMessage, kIntegerMessage));
    EXPECT_EQ(prompter.messages()[0].title, "dl250t-config");
    EXPECT_EQ(view.text(ctl::NetworkId), "0") << "the fill puts the previous value back";
    EXPECT_EQ(view.focusedControl(), ctl::NetworkId);

    prompter.clearRecord();
    form.advancedShown = true;
    view.setText(ctl::NetworkId, "12abc");
    form.encodeBlock(working);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(kIntegerMessage));
}

TEST_F(FormFixture, ApplyWithBadNumberDropsWhatWasTypedAfterIt) {
    form.advancedShown = true;
    apply();
    prompter.clearRecord();
    view.setText(ctl::MainChannel, "7");  // bound before the network ID
    view.setText(ctl::NetworkId, "12abc");
    view.setText(ctl::SleepRatio, "9");    // bound after it
    view.setSelection(ctl::UartBaud, 11);  // every list is bound after it
    apply();
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(kIntegerMessage));
    EXPECT_EQ(view.text(ctl::MainChannel), "7");
    EXPECT_EQ(view.text(ctl::NetworkId), "0");
    EXPECT_EQ(view.text(ctl::SleepRatio), "0");
    EXPECT_EQ(view.selection(ctl::UartBaud), 0);
}

TEST_F(FormFixture, ApplyShowsWhatAWriteWouldStore) {
    form.advancedShown = true;
    apply();
    prompter.clearRecord();
    view.setText(ctl::StartFrequency, "433");
    view.setText(ctl::TickUs, "17408");
    view.setText(ctl::UplinkTimeout, "4000");
    view.setText(ctl::DownlinkTimeout, "4000");
    view.setText(ctl::AutoSleepTimeout, "4000");
    view.setText(ctl::CarrierThreshold, "-80.3");
    view.setText(ctl::Serial, "1 2");
    view.setText(ctl::SleepRatio, "3000");
    apply();
    EXPECT_THAT(prompter.messageTexts(),
                ElementsAre("睡醒占空比为3000超出[0 ~ 2500]范围，自动调整为2500！"));
    EXPECT_EQ(view.text(ctl::StartFrequency), "432.999816894531");
    EXPECT_EQ(view.text(ctl::TickUs), "17408");
    EXPECT_EQ(view.text(ctl::UplinkTimeout), "4003");  // 230 ticks of 17408 us
    EXPECT_EQ(view.text(ctl::CarrierThreshold), "-80");
    EXPECT_EQ(view.text(ctl::Serial), "01 02 00 00 00 00");
    EXPECT_EQ(view.text(ctl::SleepRatio), "2500");
}

TEST_F(FormFixture, HiddenPanelScalesTheTimingWithTheRatioAsTyped) {
    view.setSelection(ctl::DefaultRate, 11);
    view.setSelection(ctl::RateUpper, 11);
    view.setText(ctl::SleepRatio, "3000");
    form.encodeBlock(working);
    EXPECT_THAT(prompter.messageTexts(),
                ElementsAre("睡醒占空比为3000超出[0 ~ 2500]范围，自动调整为2500！"));
    EXPECT_EQ(working[62], 0xC4);
    EXPECT_EQ(working[63], 0x09);
    EXPECT_EQ(view.text(ctl::SleepRatio), "3000");
    EXPECT_EQ(view.text(ctl::BeaconDuration), "37500");
    EXPECT_EQ(decodeWord(working, 94), 37500);
}

TEST_F(FormFixture, HiddenPanelChannelPlanReachesTheFormButNotThisBlock) {
    view.setText(ctl::MainChannel, "9");
    view.setText(ctl::AuxChannelStart, "4");
    view.setText(ctl::AuxChannelSpacing, "6");
    view.setSelection(ctl::AuxChannelCount, 4);
    form.encodeBlock(working);
    EXPECT_EQ(working[54], 9);
    EXPECT_EQ(working[55], 4);
    EXPECT_EQ(working[56], 6);
    EXPECT_EQ(working[57], 0x0F);
    EXPECT_EQ(view.text(ctl::MainChannel), "0");
    EXPECT_EQ(view.text(ctl::AuxChannelStart), "10");
    EXPECT_EQ(view.selection(ctl::AuxChannelCount), 2);

    // While writing, the channel count stays as the operator chose it.
    view.setSelection(ctl::AuxChannelCount, 4);
    form.encodeForStoring(working);
    EXPECT_EQ(view.selection(ctl::AuxChannelCount), 4);
}

TEST_F(FormFixture, ChoosingRatesFillsTheTimingAndChannelPlan) {
    view.setSelection(ctl::DefaultRate, 7);
    view.setSelection(ctl::RateUpper, 11);
    view.setText(ctl::SleepRatio, "100");
    view.setText(ctl::MainChannel, "5");
    form.applyDefaultRate();
    EXPECT_EQ(view.text(ctl::TickUs), "2176");
    EXPECT_EQ(view.text(ctl::CarrierThreshold), "-76");
    EXPECT_EQ(view.text(ctl::WakeSlot), "25");
    EXPECT_EQ(view.text(ctl::BeaconDuration), "1250");
    EXPECT_EQ(view.text(ctl::AutoSleepTimeout), "10880");
    EXPECT_EQ(view.text(ctl::UplinkTimeout), "5440");
    EXPECT_EQ(view.text(ctl::DownlinkTimeout), "5440");
    EXPECT_EQ(view.text(ctl::SyncDuration), "25");
    EXPECT_EQ(view.text(ctl::MainChannel), "0");
    EXPECT_EQ(view.text(ctl::AuxChannelStart), "1");
    EXPECT_EQ(view.text(ctl::AuxChannelSpacing), "1");
    EXPECT_EQ(view.selection(ctl::AuxChannelCount), 3);

    view.setText(ctl::TickUs, "999");
    view.setText(ctl::MainChannel, "5");
    view.setSelection(ctl::DefaultRate, 3);
    view.setSelection(ctl::RateUpper, 1);
    form.applyRateUpperLimit();
    EXPECT_EQ(view.text(ctl::TickUs), "999") << "the upper limit leaves the timing";
    EXPECT_EQ(view.text(ctl::SleepCompensation), "200");
    EXPECT_EQ(view.text(ctl::MainChannel), "0");
    EXPECT_EQ(view.text(ctl::AuxChannelStart), "5");
    EXPECT_EQ(view.selection(ctl::AuxChannelCount), 2);
}

TEST_F(FormFixture, RateChangeWithBadNumberRestoresThePreviousRates) {
    view.setSelection(ctl::DefaultRate, 7);
    view.setText(ctl::NetworkId, "x");
    form.applyDefaultRate();
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(kIntegerMessage));
    EXPECT_EQ(view.selection(ctl::DefaultRate), 0);
    EXPECT_EQ(view.text(ctl::NetworkId), "0");
    EXPECT_EQ(view.text(ctl::TickUs), "108");
}

TEST_F(FormFixture, DecodeShowsTheModulesIdentityAndPowerList) {
    ConfigBlock block = makeInitialWorkingBlock();
    block[28] = 'R';
    block[30] = '2';
    block[31] = '6';
    block[32] = '8';
    block[34] = '7';
    block[58] = 1;
    form.decodeBlock(block);
    EXPECT_EQ(view.text(ctl::Type), "ROOT");
    EXPECT_EQ(view.text(ctl::MaxPower), "20dBm");
    EXPECT_EQ(view.text(ctl::Band), "868MHz");
    EXPECT_EQ(view.items(ctl::RfPower).front(), "+20dBm");
    EXPECT_EQ(view.text(ctl::RfPower), "+17dBm");
    EXPECT_EQ(form.identity().crystalMHz, 27);
}

TEST_F(FormFixture, DecodedFlagsAndListsOutsideTheirRanges) {
    ConfigBlock block = makeInitialWorkingBlock();
    block[61] = 5;     // flow control
    block[72] = 0xFE;  // routing information on, ACT inversion off
    block[52] = 12;    // lower rate beyond the list
    form.decodeBlock(block);
    EXPECT_FALSE(view.checked(ctl::FlowControl));
    EXPECT_EQ(form.settings().flowControl, 0);
    EXPECT_TRUE(view.checked(ctl::AppendRouteInfo));
    EXPECT_EQ(form.settings().appendRouteInfo, 2);
    EXPECT_EQ(view.selection(ctl::RateLower), -1);
    EXPECT_EQ(form.settings().rateLowerIndex, 12);

    view.setChecked(ctl::ActInverted, true);
    form.advancedShown = true;
    form.encodeBlock(block);
    EXPECT_EQ(block[52], 0xFF);
    EXPECT_EQ(block[61], 0);
    EXPECT_EQ(block[72], 0xFF);
    EXPECT_EQ(form.settings().appendRouteInfo, 1);
}

TEST_F(FormFixture, EncodeAfterOpenKeepsTheWorkingIdentity) {
    ConfigBlock file = makeInitialWorkingBlock();
    const std::string_view otherName = "Lorandix OTHER NAME     N 26807";
    std::copy(otherName.begin(), otherName.end(), file.bytes.begin() + 4);
    file[36] = 9;
    file[54] = 42;
    for (std::size_t i = 301; i < 516; ++i) {
        file[i] = 0x11;
        working[i] = 0x22;
    }
    form.decodeBlock(file);
    const ConfigBlock before = working;
    form.encodeBlock(working);
    EXPECT_TRUE(
        std::equal(working.bytes.begin(), working.bytes.begin() + 38, before.bytes.begin()));
    EXPECT_TRUE(
        std::equal(working.bytes.begin() + 301, working.bytes.end(), before.bytes.begin() + 301));
    EXPECT_EQ(working[54], 42);
}

TEST_F(FormFixture, OpenedTimingIsReplacedOnlyWhileThePanelIsHidden) {
    ConfigBlock file = working;
    form.advancedShown = true;
    view.setText(ctl::TickUs, "551");
    view.setText(ctl::SleepCompensation, "7");
    view.setText(ctl::WakeSlot, "9");
    view.setText(ctl::AutoSleepTimeout, "3000");
    view.setText(ctl::UplinkTimeout, "3000");
    view.setText(ctl::DownlinkTimeout, "3000");
    view.setText(ctl::SyncDuration, "9");
    view.setText(ctl::BeaconDuration, "9");
    view.setText(ctl::CarrierThreshold, "-90");
    form.encodeBlock(file);
    form.decodeBlock(file);

    ConfigBlock shown = working;
    form.encodeBlock(shown);
    EXPECT_EQ(decodeTickUs(shown, 26), 551);
    EXPECT_EQ(shown[101], 7);

    form.advancedShown = false;
    ConfigBlock hidden = working;
    form.encodeBlock(hidden);
    EXPECT_EQ(decodeTickUs(hidden, 26), 108);
    EXPECT_EQ(hidden[101], 200);
}

TEST_F(FormFixture, LongCommandSlotTextStoresFortyEightBytes) {
    std::string text;
    for (int i = 0; i < 60; ++i) {
        text += "AB ";
    }
    view.setText(ctl::BroadcastCommand2, text);
    form.advancedShown = true;
    apply();
    EXPECT_EQ(working[108], 48);
    EXPECT_EQ(view.text(ctl::BroadcastCommand2).size(), 48u * 3 - 1);
}

}  // namespace
}  // namespace dl250t
