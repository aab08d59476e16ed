#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "fuzz_check.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "support/temp_dir.hpp"

namespace dl250t::fuzzing {

// One folder for the files of a fuzzing run, removed when the run ends.
inline const testing::TempDir& scratchFolder() {
    static const testing::TempDir folder;
    return folder;
}

// Configuration files go through the programs' own file store.
inline FileStore& files() {
    static PosixFileStore store;
    return store;
}

inline void writeFile(const std::filesystem::path& path, const std::uint8_t* data,
                      std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    DL250T_FUZZ_CHECK(file != nullptr);
    DL250T_FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    DL250T_FUZZ_CHECK(std::fclose(file) == 0);
}

}  // namespace dl250t::fuzzing
