#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace dl250t::cli {

// dl250t-cli read --port P -o FILE.cfg
int readModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// dl250t-cli write --port P FILE.cfg [--serial TEXT]
int writeModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace dl250t::cli
