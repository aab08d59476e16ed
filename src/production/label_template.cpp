#include "production/label_template.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "config/utf8_text.hpp"

namespace dl250t {

namespace {

bool plainCharacter(char c) {
    const bool letterOrDigit =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return letterOrDigit || std::string_view(" -._:/+#()").find(c) != std::string_view::npos;
}

// The length of the UTF-8 character that starts at `text`, when it is a
// well-formed one beyond ASCII and no C1 control; else 0.
std::size_t wideCharacterLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || length > text.size() || !isValidUtf8(text.substr(0, length))) {
        return 0;
    }
    // U+0080 to U+009F: C2 80 to C2 9F.
    if (lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) {
        return 0;
    }
    return length;
}

std::string cleanValue(std::string_view value) {
    std::string clean;
    std::size_t i = 0;
    while (i < value.size()) {
        std::size_t length = plainCharacter(value[i]) ? 1 : wideCharacterLength(value.substr(i));
        const bool kept = length > 0;
        length = kept ? length : 1;
        if (clean.size() + length > kMaxLabelValueBytes) {
            break;
        }
        if (kept) {
            clean.append(value.substr(i, length));
        } else {
            clean += '?';
        }
        i += length;
    }
    return clean;
}

std::string twelveHexDigits(SerialNumber serial) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits(12, '0');
    std::uint64_t value = serial.value();
    for (std::size_t i = digits.size(); i-- > 0; value >>= 4) {
        digits[i] = kDigits[value & 0xF];
    }
    return digits;
}

}  // namespace

std::string renderLabel(std::string_view labelTemplate, const LabelValues& values) {
    const std::array<std::pair<std::string_view, std::string>, 8> placeholders = {{
        {"{serial}", twelveHexDigits(values.serial)},
        {"{serial_text}", values.serial.text()},
        {"{board}", cleanValue(values.board)},
        {"{module}", cleanValue(values.module)},
        {"{version}", cleanValue(values.version)},
        {"{line}", cleanValue(values.line)},
        {"{station}", cleanValue(values.station)},
        {"{time}", cleanValue(values.time)},
    }};
    std::string label;
    label.reserve(labelTemplate.size());
    std::size_t i = 0;
    // One pass: a value is never looked at again for placeholders.
    while (i < labelTemplate.size()) {
        const std::size_t open = labelTemplate.find('{', i);
        if (open == std::string_view::npos) {
            label.append(labelTemplate.substr(i));
            break;
        }
        label.append(labelTemplate.substr(i, open - i));
        const std::string_view rest = labelTemplate.substr(open);
        const auto known = std::ranges::find_if(placeholders, [rest](const auto& placeholder) {
            return rest.starts_with(placeholder.first);
        });
        if (known == placeholders.end()) {
            label += '{';
            i = open + 1;
        } else {
            label += known->second;
            i = open + known->first.size();
        }
    }
    return label;
}

}  // namespace dl250t
