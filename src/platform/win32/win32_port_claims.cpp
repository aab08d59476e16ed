#include <windows.h>

#include <map>
#include <string>

#include "platform/serial_ports.hpp"

namespace dl250t {

namespace {

// A claim is a named mutex per port, "Global\dl250t-port-COM3" (so that a
// station running as a service and a window in a user's session see each
// other), else "Local\..." where the global namespace is refused. The open
// handle holds it; Windows closes it when the program ends, however it ends.
// A name that already exists is another program's claim.
class Win32PortClaims final : public PortClaims {
public:
    Win32PortClaims() = default;
    ~Win32PortClaims() override {
        for (const auto& [name, handle] : held_) {
            CloseHandle(handle);
        }
    }
    Win32PortClaims(const Win32PortClaims&) = delete;
    Win32PortClaims& operator=(const Win32PortClaims&) = delete;

    Claim claim(std::string_view port) override {
        const std::wstring name = objectName(port);
        if (held_.contains(name)) {
            return Claim::AlreadyHeld;
        }
        HANDLE handle = nullptr;
        DWORD error = ERROR_SUCCESS;
        for (const wchar_t* space : {L"Global\\", L"Local\\"}) {
            handle = CreateMutexW(nullptr, FALSE, (space + name).c_str());
            error = GetLastError();
            // Refused access to an existing object: another user's claim.
            if (handle != nullptr || error == ERROR_ACCESS_DENIED) {
                break;
            }
        }
        if (handle == nullptr) {
            return error == ERROR_ACCESS_DENIED ? Claim::Refused : Claim::Taken;
        }
        if (error == ERROR_ALREADY_EXISTS) {
            CloseHandle(handle);
            return Claim::Refused;
        }
        held_.emplace(name, handle);
        return Claim::Taken;
    }

    void release(std::string_view port) override {
        if (const auto held = held_.find(objectName(port)); held != held_.end()) {
            CloseHandle(held->second);
            held_.erase(held);
        }
    }

private:
    // "COM3" and "\\.\com3" name one port. Letters are upper-cased; every
    // byte but letters, digits, '-' and '.' is written as %XX, so that the
    // name holds no backslash and no two ports share one.
    static std::wstring objectName(std::string_view port) {
        if (port.starts_with("\\\\.\\")) {
            port.remove_prefix(4);
        }
        std::wstring name = L"dl250t-port-";
        constexpr std::wstring_view kHex = L"0123456789ABCDEF";
        for (const char c : port) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 'a' && byte <= 'z') {
                name += static_cast<wchar_t>(byte - 'a' + 'A');
            } else if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                       byte == '-' || byte == '.') {
                name += static_cast<wchar_t>(byte);
            } else {
                name += L'%';
                name += kHex[byte >> 4];
                name += kHex[byte & 0xF];
            }
        }
        return name;
    }

    std::map<std::wstring, HANDLE, std::less<>> held_;
};

}  // namespace

std::unique_ptr<PortClaims> makeSystemPortClaims() {
    return std::make_unique<Win32PortClaims>();
}

}  // namespace dl250t
