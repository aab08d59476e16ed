#include "platform/posix/port_directory.hpp"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>

namespace dl250t {

namespace fs = std::filesystem;

fs::path defaultPortDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return fs::path(runtime) / "dl250t" / "ports";
    }
    return fs::path("/tmp") / ("dl250t-" + std::to_string(geteuid())) / "ports";
}

std::string_view portDirectoryStateText(PortDirectoryState state) {
    switch (state) {
        case PortDirectoryState::Ready:
            return "ready";
        case PortDirectoryState::Missing:
            return "does not exist";
        case PortDirectoryState::CreateFailed:
            return "cannot be created";
        case PortDirectoryState::NotADirectory:
            return "is not a folder";
        case PortDirectoryState::SymbolicLink:
            return "is a symbolic link";
        case PortDirectoryState::ForeignOwner:
            return "belongs to another user";
        case PortDirectoryState::OpenToOthers:
            return "is writable by other users";
    }
    return "?";
}

namespace {

PortDirectoryState checkLevel(const fs::path& level) {
    struct stat info {};
    if (lstat(level.c_str(), &info) != 0) {
        return PortDirectoryState::Missing;
    }
    if (S_ISLNK(info.st_mode)) {
        return PortDirectoryState::SymbolicLink;
    }
    if (!S_ISDIR(info.st_mode)) {
        return PortDirectoryState::NotADirectory;
    }
    if (info.st_uid != geteuid()) {
        return PortDirectoryState::ForeignOwner;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return PortDirectoryState::OpenToOthers;
    }
    return PortDirectoryState::Ready;
}

// The folder that holds the port directory, then the port directory.
std::array<fs::path, 2> levelsOf(const fs::path& directory) {
    const fs::path normal = directory.lexically_normal();
    const fs::path own = normal.has_filename() ? normal : normal.parent_path();
    return {own.parent_path(), own};
}

}  // namespace

PortDirectoryState checkPortDirectory(const fs::path& directory) {
    for (const fs::path& level : levelsOf(directory)) {
        const PortDirectoryState state = checkLevel(level);
        if (state != PortDirectoryState::Ready) {
            return state;
        }
    }
    return PortDirectoryState::Ready;
}

PortDirectoryState preparePortDirectory(const fs::path& directory) {
    for (const fs::path& level : levelsOf(directory)) {
        if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            return PortDirectoryState::CreateFailed;
        }
        const PortDirectoryState state = checkLevel(level);
        if (state != PortDirectoryState::Ready) {
            return state;
        }
    }
    return PortDirectoryState::Ready;
}

}  // namespace dl250t
