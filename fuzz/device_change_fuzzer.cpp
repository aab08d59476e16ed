// Device-change notifications carry a record and a device path the platform
// filled in, and port names the platform stores: none of it is ours.
//
// Input: one control byte (bit 0 removal rather than arrival, bit 1 an event
// code the tool ignores, bit 2 auto-configure on, bit 3 no port name stored),
// one length byte and that many bytes of port name, then the rest, read both
// as a device interface path and as the notification's record (UTF-16).

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/config_dialog.hpp"
#include "fuzz_check.hpp"
#include "hotplug/device_change.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "support/recording_prompter.hpp"
#include "support/scripted_serial_port.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

constexpr std::size_t kKeyLimit = 255;

class QuietHost final : public WindowHost {
public:
    bool registerPortNotifications() override { return true; }
    void showFullHeight() override {}
    void showCollapsedHeight() override {}
    void showAbout() override {}
};

class FixedClock final : public Clock {
public:
    std::int64_t secondsSince1970() const override { return 0x65000000; }
};

// Answers every lookup with one name, or with none, and keeps the keys asked.
class StoredPortName final : public DevicePortNames {
public:
    explicit StoredPortName(std::optional<std::string> name) : name_(std::move(name)) {}
    std::optional<std::string> portNameAt(std::string_view keyPath) override {
        keys.emplace_back(keyPath);
        return name_;
    }
    std::vector<std::string> keys;

private:
    std::optional<std::string> name_;
};

// The key, found the long way: the instance ID runs from the fourth
// character to the third '#' after it, with '#' standing for '\'.
std::optional<std::string> expectedKey(std::string_view path) {
    if (path.size() < 4) {
        return std::nullopt;
    }
    std::size_t end = 3;
    for (int hash = 0; hash < 3; ++hash) {
        end = path.find('#', end);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        ++end;
    }
    std::string id(path.substr(3, end - 3));
    for (char& c : id) {
        if (c == '#') {
            c = '\\';
        }
    }
    std::string key = "SYSTEM\\CurrentControlSet\\Enum" + id + "Device Parameters";
    if (key.size() > kKeyLimit) {
        return std::nullopt;
    }
    return key;
}

void checkKeyPath(std::string_view path) {
    const std::optional<std::string> key = deviceParametersKeyPath(path);
    DL250T_FUZZ_CHECK(key == expectedKey(path));
    DL250T_FUZZ_CHECK(!key || key->size() <= kKeyLimit);
}

void checkPortNumber(std::string_view name) {
    const int number = portNumberFromName(name);
    DL250T_FUZZ_CHECK(number >= -INT_MAX);
    // The tool names a port "COM%d" from its number; that name has the same number.
    DL250T_FUZZ_CHECK(portNumberFromName("COM" + std::to_string(number)) == number);
}

// The record's path when it is plain ASCII (UTF-16 units below 0x80), the
// long way; nothing otherwise.
std::optional<std::string> asciiPathInRecord(std::span<const std::uint8_t> record) {
    std::string text;
    for (std::size_t i = kDeviceInterfacePathOffset; i + 1 < record.size(); i += 2) {
        if (record[i] == 0 && record[i + 1] == 0) {
            break;
        }
        if (record[i] >= 0x80 || record[i + 1] != 0) {
            return std::nullopt;
        }
        text += static_cast<char>(record[i]);
    }
    return text;
}

void checkNotification(std::uint8_t control, const std::optional<std::string>& storedName,
                       std::span<const std::uint8_t> record) {
    InMemoryFormView view;
    testing::RecordingPrompter prompter;
    QuietHost host;
    testing::ScriptedPortFactory ports;
    FixedClock clock;
    StoredPortName names(storedName);
    PosixFileStore files;
    ConfigDialog dialog{{view, prompter, host, ports, clock, files, "dl250t-config"}};
    dialog.initialise();
    const bool autoConfigure = (control & 0x04) != 0;
    if (autoConfigure) {
        view.setChecked(ctl::AutoConfigure, true);
        dialog.handleControlEvent(ControlEvent::Clicked, ctl::AutoConfigure);
    }
    const bool removal = (control & 0x01) != 0;
    const std::uint32_t code =
        (control & 0x02) != 0 ? 0x8001 : (removal ? kDeviceRemoveComplete : kDeviceArrival);
    const std::string portBefore = view.text(ctl::Port);

    const std::optional<PortEvent> event = portEventFromDeviceChange(code, record, names);
    if (event) {
        DL250T_FUZZ_CHECK(event->kind ==
                          (removal ? PortEvent::Kind::Removal : PortEvent::Kind::Arrival));
        DL250T_FUZZ_CHECK(storedName && event->portName == *storedName);
        dialog.handlePortEvent(*event);
    }

    DL250T_FUZZ_CHECK(names.keys.size() <= 1);
    const bool interfaceRecord = code != 0x8001 && record.size() >= kDeviceInterfacePathOffset &&
                                 record[4] == kDeviceTypeInterface && record[5] == 0 &&
                                 record[6] == 0 && record[7] == 0;
    if (!names.keys.empty()) {
        DL250T_FUZZ_CHECK(interfaceRecord);
        if (const auto path = asciiPathInRecord(record)) {
            DL250T_FUZZ_CHECK(names.keys.front() == deviceParametersKeyPath(*path));
        }
    }
    const bool delivered = !names.keys.empty() && storedName && storedName->size() >= 4 &&
                           storedName->size() <= kKeyLimit;
    if (!delivered) {
        DL250T_FUZZ_CHECK(view.text(ctl::StatusLine).empty());
        DL250T_FUZZ_CHECK(view.text(ctl::Port) == portBefore);
        DL250T_FUZZ_CHECK(ports.device.portsCreated == 0);
        return;
    }
    const std::string com = "COM" + std::to_string(portNumberFromName(*storedName));
    if (removal) {
        DL250T_FUZZ_CHECK(view.text(ctl::StatusLine) == "模块从" + com + "拔出");
        DL250T_FUZZ_CHECK(view.text(ctl::Port) == portBefore);
        return;
    }
    DL250T_FUZZ_CHECK(view.text(ctl::Port) == com);
    if (!autoConfigure) {
        DL250T_FUZZ_CHECK(view.text(ctl::StatusLine) == "模块从" + com + "插入");
        DL250T_FUZZ_CHECK(ports.device.portsCreated == 0);
        return;
    }
    // Auto-configure writes the module that arrived: one port opened for it,
    // under the name the tool shows, and let go again.
    DL250T_FUZZ_CHECK(ports.device.portsCreated == 1);
    DL250T_FUZZ_CHECK(ports.device.openedName == com);
    DL250T_FUZZ_CHECK(!ports.device.held);
    DL250T_FUZZ_CHECK(ports.device.misuse.empty());
}

}  // namespace
}  // namespace dl250t

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dl250t;
    if (size < 2) {
        return 0;
    }
    const std::uint8_t control = data[0];
    const std::size_t nameLength = std::min<std::size_t>(data[1], size - 2);
    const std::string name(reinterpret_cast<const char*>(data + 2), nameLength);
    const std::span<const std::uint8_t> rest(data + 2 + nameLength, size - 2 - nameLength);
    const std::string_view restText(reinterpret_cast<const char*>(rest.data()), rest.size());

    checkPortNumber(name);
    checkPortNumber(restText);
    checkKeyPath(restText);
    checkNotification(control, (control & 0x08) != 0 ? std::nullopt : std::optional(name), rest);
    return 0;
}
