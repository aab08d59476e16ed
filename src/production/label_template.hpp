#pragma once

#include <string>
#include <string_view>

#include "production/serial_number.hpp"

namespace dl250t {

// What a module's label says of it. Texts are UTF-8.
struct LabelValues {
    SerialNumber serial;
    std::string board;
    std::string module;
    std::string version;
    std::string line;
    std::string station;
    std::string time;
};

// The label of one module: the template's bytes as they are, in whatever
// printer language they are written (ZPL mostly), with each placeholder
// replaced: {serial} (twelve hex digits, 000000005000), {serial_text} (as the
// form shows it, 00 00 00 00 50 00), {board}, {module}, {version}, {line},
// {station} and {time}. Anything else in braces is left alone. A value never
// brings a printer command with it: printer languages start commands with
// characters such as ^ ~ ESC " or a line break, so only letters, digits,
// blanks, - . _ : / + # ( ) and characters beyond ASCII (well-formed UTF-8,
// no C1 controls) are kept; every other byte becomes ?, and a value ends
// after kMaxLabelValueBytes.
std::string renderLabel(std::string_view labelTemplate, const LabelValues& values);

inline constexpr std::size_t kMaxLabelValueBytes = 128;

}  // namespace dl250t
