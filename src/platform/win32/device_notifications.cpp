#include "platform/win32/device_notifications.hpp"

#include <dbt.h>

#include <span>

#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

// GUID_DEVINTERFACE_COMPORT, spelt out so that no GUID library is needed.
constexpr GUID kSerialPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// A port's name, as long as a port name may be, in UTF-16 units.
constexpr DWORD kPortNameUnits = 256;

class OpenKey {
public:
    explicit OpenKey(const std::wstring& path) {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~OpenKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

std::optional<std::string> RegistryPortNames::portNameAt(std::string_view keyPath) {
    const auto path = utf8ToWide(keyPath);
    if (!path) {
        return std::nullopt;
    }
    const OpenKey key(*path);
    if (key.get() == nullptr) {
        return std::nullopt;
    }
    wchar_t name[kPortNameUnits + 1] = {};
    DWORD type = 0;
    DWORD bytes = kPortNameUnits * sizeof(wchar_t);
    // A longer value fails with ERROR_MORE_DATA: no port is named like that.
    if (RegQueryValueExW(key.get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    // The stored text need not end in a terminator; the one after it is ours.
    std::wstring_view text(name, bytes / sizeof(wchar_t));
    if (const auto end = text.find(L'\0'); end != std::wstring_view::npos) {
        text = text.substr(0, end);
    }
    return wideToUtf8(text);
}

HDEVNOTIFY registerForSerialPorts(HWND window) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kSerialPortInterface;
    return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

std::optional<PortEvent> portEventOfMessage(WPARAM eventCode, LPARAM record,
                                            DevicePortNames& names) {
    // Only arrivals and removals carry a record; other codes may carry
    // anything in their LPARAM.
    if ((eventCode != DBT_DEVICEARRIVAL && eventCode != DBT_DEVICEREMOVECOMPLETE) || record == 0) {
        return std::nullopt;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(record);
    if (header->dbch_size < sizeof(DEV_BROADCAST_HDR)) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(header),
                                              header->dbch_size);
    return portEventFromDeviceChange(static_cast<std::uint32_t>(eventCode), bytes, names);
}

}  // namespace dl250t
