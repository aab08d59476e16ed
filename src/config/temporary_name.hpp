#pragma once

#include <string>

namespace dl250t {

// The name of a temporary file that a save writes beside its target before
// it replaces it: short whatever the target's name (".dl250t-" and six
// characters as mkstemp would choose them, drawn per thread), hidden, and
// the same on every system.
std::string temporaryFileName();

}  // namespace dl250t
