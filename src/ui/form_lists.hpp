#pragma once

#include <array>
#include <span>
#include <string_view>

#include "config/rf_power_lists.hpp"
#include "ui/control_ids.hpp"

namespace dl250t {

// The items the form's lists start with, index 0 first. Lists are never sorted,
// so an item's position is the value the record stores for it.

// Port names offered by the port combo box; the operator may still type any
// other name into it.
inline constexpr std::array<std::string_view, 50> kPortItems = {
    "COM1",  "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",  "COM9",  "COM10",
    "COM11", "COM12", "COM13", "COM14", "COM15", "COM16", "COM17", "COM18", "COM19", "COM20",
    "COM21", "COM22", "COM23", "COM24", "COM25", "COM26", "COM27", "COM28", "COM29", "COM30",
    "COM31", "COM32", "COM33", "COM34", "COM35", "COM36", "COM37", "COM38", "COM39", "COM40",
    "COM41", "COM42", "COM43", "COM44", "COM45", "COM46", "COM47", "COM48", "COM49", "COM50",
};

// RF data rates, fastest first; the default rate and both rate limits share it.
inline constexpr std::array<std::string_view, 12> kRfRateItems = {
    "500kbps",  "250kbps", "175kbps", "100kbps", "76.8kbps", "38.4kbps",
    "19.2kbps", "9.6kbps", "7.2kbps", "4.8kbps", "2.4kbps",  "1.2kbps",
};

inline constexpr std::array<std::string_view, 5> kAuxChannelCountItems = {"1", "2", "4", "8", "16"};

inline constexpr std::array<std::string_view, 13> kUartBaudItems = {
    "600",   "1200",  "2400",  "4800",  "9600",   "14400",  "19200",
    "28800", "38400", "57600", "76800", "115200", "230400",
};

inline constexpr std::array<std::string_view, 2> kUartStartBitItems = {"低", "高"};
inline constexpr std::array<std::string_view, 3> kUartParityItems = {"没有", "奇校验", "偶校验"};
inline constexpr std::array<std::string_view, 2> kUartStopBitsItems = {"1", "2"};
inline constexpr std::array<std::string_view, 2> kFrameModeItems = {"二进制", "ASCII"};
inline constexpr std::array<std::string_view, 3> kDeviceCountItems = {"0", "1", ">=2"};
inline constexpr std::array<std::string_view, 4> kFrameCheckItems = {"不检测", "仅帧头", "仅帧尾",
                                                                     "头和尾"};
inline constexpr std::array<std::string_view, 3> kActPinItems = {"无", "外设唤醒", "485控制"};

struct InitialList {
    ctl::ControlId id;
    std::span<const std::string_view> items;
};

// Every list of the form with its initial items, in the order in which the
// lists are filled when the window is created. The RF power list starts with
// the 10 dBm class; decoding a block may later swap it for the 20 dBm class.
inline constexpr std::array<InitialList, 14> kInitialLists = {{
    {ctl::Port, kPortItems},
    {ctl::DefaultRate, kRfRateItems},
    {ctl::RateUpper, kRfRateItems},
    {ctl::RateLower, kRfRateItems},
    {ctl::AuxChannelCount, kAuxChannelCountItems},
    {ctl::RfPower, kRfPowerItems10Dbm},
    {ctl::UartBaud, kUartBaudItems},
    {ctl::UartStartBit, kUartStartBitItems},
    {ctl::UartParity, kUartParityItems},
    {ctl::UartStopBits, kUartStopBitsItems},
    {ctl::FrameMode, kFrameModeItems},
    {ctl::DeviceCount, kDeviceCountItems},
    {ctl::FrameCheck, kFrameCheckItems},
    {ctl::ActPinFunction, kActPinItems},
}};

// The initial items of one control; empty for a control that has no list.
std::span<const std::string_view> initialItems(ctl::ControlId id);

}  // namespace dl250t
