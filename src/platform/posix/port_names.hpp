#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "link/port_name.hpp"

namespace dl250t {

// COM numbers that stand for a tty device when no link in the port directory
// says otherwise: COM1..COM32 are /dev/ttyS0..31, COM33..COM48 /dev/ttyUSB0..15,
// COM49..COM64 /dev/ttyACM0..15.
struct ComDeviceRange {
    int firstCom;
    int lastCom;
    std::string_view devicePrefix;
};

inline constexpr std::array<ComDeviceRange, 3> kFixedComDevices{{
    {1, 32, "/dev/ttyS"},
    {33, 48, "/dev/ttyUSB"},
    {49, 64, "/dev/ttyACM"},
}};

std::optional<std::filesystem::path> fixedComDevice(int number);
std::optional<int> fixedComNumber(const std::filesystem::path& device);

// The path to open for a port name. A name containing '/' is a device path
// and used as it is. "COMn" is the link of that name in the port directory
// when there is one (and the directory passes its checks), else the fixed
// device of the number. Any other name stands for no port.
std::optional<std::filesystem::path> resolvePortName(std::string_view name,
                                                     const std::filesystem::path& portDirectory);

// The COM name under which a device is shown: that of a link in the port
// directory pointing at it (the lowest number when several do), else that of
// the fixed map; nothing when neither knows the device.
std::optional<std::string> comNameForDevice(const std::filesystem::path& device,
                                            const std::filesystem::path& portDirectory);

}  // namespace dl250t
