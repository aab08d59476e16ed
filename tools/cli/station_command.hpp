#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace dl250t::cli {

// dl250t-cli station FILE.cfg [--serial TEXT] [--journal JOURNAL [--line NAME]]
// [--verify] [--count N]: the window's auto-configure without a window, until
// SIGINT or SIGTERM, or until N modules have been written.
int runStation(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace dl250t::cli
