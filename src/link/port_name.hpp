#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dl250t {

// Port names pass through a text buffer of 256 characters: a longer name is
// cut to its first 255. The key path under which a device's port name is
// looked up is built in the same buffer.
inline constexpr std::size_t kMaxPortNameLength = 255;

// The largest COM number a port may be given.
inline constexpr int kMaxComNumber = 255;

// "COM7"
std::string comName(int number);

// The number in a port name as the platform reports it: after the first three
// characters (which are not compared), blanks, an optional sign and decimal
// digits. "COM12" is 12, "COM007" is 7 and "COMX" is 0.
int portNumberFromName(std::string_view portName);

// The number of a name that names a port: "COM" in any case, then the number
// that portNumberFromName reads, 1 to kMaxComNumber, written exactly as
// comName writes it. 7 for "COM7" and "com7"; nothing for "COM007", "COM 7",
// "COM+7", "COM0" or "COMX", so that no port has two names.
std::optional<int> parseComName(std::string_view name);

}  // namespace dl250t
