#include "ui/form_lists.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/form_template.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> itemsOf(ctl::ControlId id) {
    const auto items = initialItems(id);
    return {items.begin(), items.end()};
}

TEST(FormLists, PortListOffersCom1ToCom50) {
    std::vector<std::string> expected;
    for (int n = 1; n <= 50; ++n) {
        expected.push_back("COM" + std::to_string(n));
    }
    EXPECT_EQ(itemsOf(ctl::Port), expected);
}

TEST(FormLists, TheThreeRateListsAreTheSameTwelveRates) {
    const std::vector<std::string> rates = {"500kbps",  "250kbps",  "175kbps",  "100kbps",
                                            "76.8kbps", "38.4kbps", "19.2kbps", "9.6kbps",
                                            "7.2kbps",  "4.8kbps",  "2.4kbps",  "1.2kbps"};
    EXPECT_EQ(itemsOf(ctl::DefaultRate), rates);
    EXPECT_EQ(itemsOf(ctl::RateUpper), rates);
    EXPECT_EQ(itemsOf(ctl::RateLower), rates);
}

TEST(FormLists, ContentsOfTheOtherLists) {
    EXPECT_THAT(itemsOf(ctl::AuxChannelCount), ElementsAre("1", "2", "4", "8", "16"));
    EXPECT_THAT(itemsOf(ctl::RfPower), ElementsAre("+10dBm", "+07dBm", "+05dBm", "+00dBm", "-05dBm",
                                                   "-10dBm", "-15dBm", "-20dBm"));
    EXPECT_THAT(itemsOf(ctl::UartBaud),
                ElementsAre("600", "1200", "2400", "4800", "9600", "14400", "19200", "28800",
                            "38400", "57600", "76800", "115200", "230400"));
    EXPECT_THAT(itemsOf(ctl::UartStartBit), ElementsAre("低", "高"));
    EXPECT_THAT(itemsOf(ctl::UartParity), ElementsAre("没有", "奇校验", "偶校验"));
    EXPECT_THAT(itemsOf(ctl::UartStopBits), ElementsAre("1", "2"));
    EXPECT_THAT(itemsOf(ctl::FrameMode), ElementsAre("二进制", "ASCII"));
    EXPECT_THAT(itemsOf(ctl::DeviceCount), ElementsAre("0", "1", ">=2"));
    EXPECT_THAT(itemsOf(ctl::FrameCheck), ElementsAre("不检测", "仅帧头", "仅帧尾", "头和尾"));
    EXPECT_THAT(itemsOf(ctl::ActPinFunction), ElementsAre("无", "外设唤醒", "485控制"));
}

TEST(FormLists, ExactlyTheListControlsHaveItems) {
    for (const auto& control : kFormControls) {
        EXPECT_EQ(initialItems(control.id).empty(), !isList(control.kind)) << control.id;
    }
    EXPECT_TRUE(initialItems(999).empty());
}

}  // namespace
}  // namespace dl250t
