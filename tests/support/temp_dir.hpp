#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dl250t::testing {

// A path that also converts to the UTF-8 text the file store takes. A plain
// path does so only where the system's narrow encoding is UTF-8; on Windows
// its narrow text is the ANSI code page.
class TempPath : public std::filesystem::path {
public:
    TempPath(std::filesystem::path path) : std::filesystem::path(std::move(path)) {}

    operator std::string() const {
        const std::u8string text = u8string();
        return std::string(text.begin(), text.end());
    }

    // Names are UTF-8 too.
    TempPath operator/(const std::string& name) const {
        return static_cast<const std::filesystem::path&>(*this) /
               std::filesystem::path(std::u8string(name.begin(), name.end()));
    }
};

// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    TempPath operator/(const std::string& name) const { return TempPath(path_) / name; }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeAll(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace dl250t::testing
