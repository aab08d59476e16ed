#include "support/temp_dir.hpp"

#include <stdlib.h>

#include <stdexcept>

namespace dl250t::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dl250t-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission first, in case a test took it away.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

}  // namespace dl250t::testing
