#pragma once

#include <iosfwd>
#include <string>

#include "config/config_block.hpp"

namespace dl250t::cli {

// Stamps the block and saves it as a configuration file, or, for the name
// "-", writes the file form to standard output for the next program in a
// pipe. Returns the exit status; a failure is said on err.
int saveOutput(const std::string& output, ConfigBlock& block, std::ostream& out, std::ostream& err);

}  // namespace dl250t::cli
