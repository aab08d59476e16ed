#include "hotplug/device_change.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ui/system_menu.hpp"

namespace dl250t {
namespace {

TEST(DeviceChange, KeyPathFromTheInterfacePath) {
    EXPECT_EQ(deviceParametersKeyPath(
                  "\\\\?\\USB#VID_1234&PID_5678#6&2A3B4C5D&0&1#{86e0d1e0-8089-11d0-9ce4-"
                  "08003e301f73}"),
              "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1234&PID_5678\\6&2A3B4C5D&0&1\\Device "
              "Parameters");
    EXPECT_EQ(deviceParametersKeyPath("\\\\?\\USB#VID_1234#only-two"), std::nullopt);
    EXPECT_EQ(deviceParametersKeyPath("\\\\?"), std::nullopt);
    EXPECT_EQ(deviceParametersKeyPath("\\\\?\\" + std::string(300, 'a') + "###"), std::nullopt);
}

class MapPortNames final : public DevicePortNames {
public:
    std::optional<std::string> portNameAt(std::string_view keyPath) override {
        keys.emplace_back(keyPath);
        return keyPath.find("VID_1234") != std::string_view::npos
                   ? std::optional<std::string>("COM9")
                   : std::nullopt;
    }
    std::vector<std::string> keys;
};

// A DEV_BROADCAST_DEVICEINTERFACE_W record as Windows delivers it.
std::vector<std::uint8_t> broadcast(std::uint32_t deviceType, std::u16string_view path) {
    const auto size = static_cast<std::uint32_t>(28 + 2 * (path.size() + 1));
    std::vector<std::uint8_t> data(size, 0);
    std::memcpy(data.data(), &size, 4);
    std::memcpy(data.data() + 4, &deviceType, 4);
    for (std::size_t i = 0; i < path.size(); ++i) {
        data[28 + 2 * i] = static_cast<std::uint8_t>(path[i] & 0xFF);
        data[29 + 2 * i] = static_cast<std::uint8_t>(path[i] >> 8);
    }
    return data;
}

TEST(DeviceChange, ArrivalLooksUpThePortName) {
    MapPortNames names;
    const std::u16string path = u"\\\\?\\USB#VID_1234&PID_5678#6&2A3B4C5D&0&1#{guid}";
    EXPECT_EQ(portEventFromDeviceChange(0x8000, broadcast(5, path), names),
              (PortEvent{PortEvent::Kind::Arrival, "COM9"}));
    EXPECT_EQ(portEventFromDeviceChange(0x8004, broadcast(5, path), names),
              (PortEvent{PortEvent::Kind::Removal, "COM9"}));

    EXPECT_EQ(portEventFromDeviceChange(0x8001, broadcast(5, path), names),
              std::nullopt);  // query remove
    EXPECT_EQ(portEventFromDeviceChange(0x8000, broadcast(2, path), names),
              std::nullopt);  // a volume
    EXPECT_EQ(portEventFromDeviceChange(0x8000, broadcast(5, u"\\\\?\\USB#VID_9#x#{g}"), names),
              std::nullopt);
    EXPECT_EQ(portEventFromDeviceChange(0x8000, std::vector<std::uint8_t>(27, 0), names),
              std::nullopt);
    EXPECT_EQ(names.keys.size(), 3u) << "only interface arrivals and removals are looked up";
}

TEST(DeviceChange, ThePathIsReadAsUtf16UpToItsEndOrTheRecords) {
    // "É" and a character beyond the basic plane, as a surrogate pair.
    auto record = broadcast(5, u"\\\\?\\USB#\u00C9#\U0001F600#x");
    EXPECT_EQ(deviceInterfacePath(record), "\\\\?\\USB#\xC3\x89#\xF0\x9F\x98\x80#x");
    record.resize(record.size() - 3);  // no terminator, and the last unit cut in half
    EXPECT_EQ(deviceInterfacePath(record), "\\\\?\\USB#\xC3\x89#\xF0\x9F\x98\x80#");
    EXPECT_EQ(deviceInterfacePath(broadcast(5, u"\xD800#")), "\xEF\xBF\xBD#");
}

TEST(SystemMenu, AboutIsTheRangeOfItsCommand) {
    EXPECT_TRUE(isAboutCommand(0x10));
    EXPECT_TRUE(isAboutCommand(0x1F));
    EXPECT_FALSE(isAboutCommand(0x20));
    EXPECT_FALSE(isAboutCommand(0xF060));
}

}  // namespace
}  // namespace dl250t
