#include "platform/posix/port_names.hpp"

#include <charconv>
#include <system_error>

#include "platform/posix/port_directory.hpp"

namespace dl250t {

namespace fs = std::filesystem;

namespace {

std::optional<int> parseNumber(std::string_view digits, int maximum) {
    if (digits.empty() || digits.front() == '0') {
        return std::nullopt;
    }
    int value = 0;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (ec != std::errc{} || ptr != end || value < 1 || value > maximum) {
        return std::nullopt;
    }
    return value;
}

// The link COMn in the port directory, if there is one and the directory may
// be trusted.
std::optional<fs::path> portLink(int number, const fs::path& portDirectory) {
    if (portDirectory.empty() || checkPortDirectory(portDirectory) != PortDirectoryState::Ready) {
        return std::nullopt;
    }
    const fs::path link = portDirectory / comName(number);
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(link, ec))) {
        return std::nullopt;
    }
    return link;
}

bool linkPointsAt(const fs::path& link, const fs::path& device) {
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    if (ec) {
        return false;
    }
    if (target.is_relative()) {
        target = link.parent_path() / target;
    }
    if (target.lexically_normal() == device.lexically_normal()) {
        return true;
    }
    // Links to /dev/serial/by-id/... and the like lead to the device in the end.
    return fs::equivalent(link, device, ec) && !ec;
}

}  // namespace

std::optional<fs::path> fixedComDevice(int number) {
    for (const ComDeviceRange& range : kFixedComDevices) {
        if (number >= range.firstCom && number <= range.lastCom) {
            return fs::path(std::string(range.devicePrefix) +
                            std::to_string(number - range.firstCom));
        }
    }
    return std::nullopt;
}

std::optional<int> fixedComNumber(const fs::path& device) {
    const std::string text = device.lexically_normal().string();
    for (const ComDeviceRange& range : kFixedComDevices) {
        if (text.size() <= range.devicePrefix.size() || !text.starts_with(range.devicePrefix)) {
            continue;
        }
        const std::string_view digits = std::string_view(text).substr(range.devicePrefix.size());
        if (digits == "0") {
            return range.firstCom;
        }
        const auto index = parseNumber(digits, range.lastCom - range.firstCom);
        if (index) {
            return range.firstCom + *index;
        }
    }
    return std::nullopt;
}

std::optional<fs::path> resolvePortName(std::string_view name, const fs::path& portDirectory) {
    if (name.find('/') != std::string_view::npos) {
        return fs::path(name);
    }
    const auto number = parseComName(name);
    if (!number) {
        return std::nullopt;
    }
    if (auto link = portLink(*number, portDirectory)) {
        return link;
    }
    return fixedComDevice(*number);
}

std::optional<std::string> comNameForDevice(const fs::path& device, const fs::path& portDirectory) {
    if (!portDirectory.empty() && checkPortDirectory(portDirectory) == PortDirectoryState::Ready) {
        std::optional<int> best;
        std::error_code ec;
        for (fs::directory_iterator it(portDirectory, ec), end; !ec && it != end;
             it.increment(ec)) {
            const auto number = parseComName(it->path().filename().string());
            if (!number || it->path().filename().string() != comName(*number)) {
                continue;
            }
            std::error_code linkError;
            if ((!best || *number < *best) && it->is_symlink(linkError) &&
                linkPointsAt(it->path(), device)) {
                best = number;
            }
        }
        if (best) {
            return comName(*best);
        }
    }
    if (const auto number = fixedComNumber(device)) {
        return comName(*number);
    }
    return std::nullopt;
}

}  // namespace dl250t
