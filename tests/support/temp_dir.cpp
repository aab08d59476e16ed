#include "support/temp_dir.hpp"

#include <random>
#include <stdexcept>

namespace dl250t::testing {

TempDir::TempDir() {
    // create_directory makes the folder only if nothing of that name exists,
    // on every system, so a name in use is never taken over.
    static std::mt19937_64 generator{std::random_device{}()};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = "dl250t-test-";
        std::uint64_t bits = generator();
        for (int i = 0; i < 12; ++i, bits >>= 4) {
            name += "0123456789abcdef"[bits & 0xF];
        }
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            path_ = base / name;
            std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, ec);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission first, in case a test took it away.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

}  // namespace dl250t::testing
