#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dl250t {

// Where a station's labels are printed, as --printer names it:
//   tcp://HOST:PORT  the raw port of a network printer (9100 by convention);
//                    an IPv6 address goes in brackets, tcp://[fd00::5]:9100
//   printer:NAME     a printer of the Windows spooler, sent raw data
//   anything else    a file or device, appended to (/dev/usb/lp0)
struct LabelDestination {
    enum class Kind { Tcp, Spooler, Path };
    Kind kind = Kind::Path;
    // The host and port of Tcp; the printer's name of Spooler; the path of
    // Path (UTF-8).
    std::string host;
    std::string port;
    std::string name;
};

// The destination `text` names; nothing, with `problem` saying why, when it
// names none.
std::optional<LabelDestination> parseLabelDestination(std::string_view text, std::string& problem);

}  // namespace dl250t
