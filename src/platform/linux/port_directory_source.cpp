#include "platform/linux/port_directory_source.hpp"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "platform/posix/port_directory.hpp"
#include "platform/posix/port_names.hpp"

namespace dl250t {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kDirectoryMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                         IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                         IN_DONT_FOLLOW;
// In the folder above, only folders coming (back) or changing their
// permissions, and the folder itself going, matter.
constexpr std::uint32_t kAnchorMask = IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                                      IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
constexpr std::uint32_t kGoneMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

// The number of a link name, only for names exactly as the tool writes them:
// "com3" or "COM03" would not be found again when the port is opened.
std::optional<int> linkNumber(std::string_view name) {
    const auto number = parseComName(name);
    if (!number || comName(*number) != name) {
        return std::nullopt;
    }
    return number;
}

// Where a link leads; nothing when the entry is not a link or is gone.
std::optional<std::string> linkTarget(const fs::path& entry) {
    std::array<char, PATH_MAX> target{};
    const ssize_t length = readlink(entry.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
        return std::nullopt;
    }
    return std::string(target.data(), static_cast<std::size_t>(length));
}

bool entryExists(const fs::path& entry) {
    struct stat info {};
    return lstat(entry.c_str(), &info) == 0;
}

bool isFolder(const fs::path& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

fs::path withoutTrailingSlash(const fs::path& directory) {
    const fs::path normal = fs::absolute(directory).lexically_normal();
    return normal.has_filename() ? normal : normal.parent_path();
}

}  // namespace

std::unique_ptr<PortDirectorySource> PortDirectorySource::start(const fs::path& directory) {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<PortDirectorySource> source(
        new PortDirectorySource(fd, withoutTrailingSlash(directory)));
    for (fs::path level = source->directory_;; level = level.parent_path()) {
        source->levels_.push_back(level);
        if (level == level.parent_path()) {
            break;
        }
    }
    // Its checks are made again when it is watched.
    preparePortDirectory(source->directory_);
    source->settle(source->pending_);
    // Links that are there already were plugged in before the tool started:
    // known, not reported.
    source->pending_.clear();
    source->links_ = source->currentLinks();
    if (!source->watchingDirectory()) {
        source->pending_.push_back({PortEvent::Kind::WatchLost, {}});
    }
    return source;
}

PortDirectorySource::PortDirectorySource(int fd, fs::path directory)
    : fd_(fd), directory_(std::move(directory)) {}

PortDirectorySource::~PortDirectorySource() {
    close(fd_);
}

bool PortDirectorySource::watchDirectory() {
    if (checkPortDirectory(directory_) != PortDirectoryState::Ready) {
        return false;
    }
    const int watch = inotify_add_watch(fd_, directory_.c_str(), kDirectoryMask);
    if (watch < 0) {
        return false;
    }
    // The folder could have been swapped between the check and the watch.
    if (checkPortDirectory(directory_) != PortDirectoryState::Ready) {
        inotify_rm_watch(fd_, watch);
        return false;
    }
    directoryWatch_ = watch;
    lossReported_ = false;
    return true;
}

void PortDirectorySource::settle(std::vector<PortEvent>& events) {
    // A folder may come or go while the watches are put in place; every
    // change is followed by another look, a few times at most.
    for (std::size_t round = 0; round <= levels_.size(); ++round) {
        std::size_t level = 1;
        while (level < levels_.size() && !isFolder(levels_[level])) {
            ++level;
        }
        if (level >= levels_.size()) {
            break;
        }
        if (anchorWatch_ < 0 || anchorLevel_ != level) {
            if (anchorWatch_ >= 0) {
                inotify_rm_watch(fd_, anchorWatch_);
            }
            anchorWatch_ = inotify_add_watch(fd_, levels_[level].c_str(), kAnchorMask);
            anchorLevel_ = level;
            if (anchorWatch_ >= 0) {
                continue;
            }
        }
        if (directoryWatch_ < 0 && level == 1 && watchDirectory()) {
            // Back again, perhaps with links made before the watch was on.
            for (PortEvent& event : rescan()) {
                events.push_back(std::move(event));
            }
        }
        break;
    }
    if (directoryWatch_ < 0 && !lossReported_) {
        lossReported_ = true;
        events.push_back({PortEvent::Kind::WatchLost, {}});
    }
}

std::vector<PortEvent> PortDirectorySource::drainEvents() {
    std::vector<PortEvent> events = std::move(pending_);
    pending_.clear();
    bool overflowed = false;
    alignas(inotify_event) std::array<char, 16 * (sizeof(inotify_event) + NAME_MAX + 1)> buffer;
    for (;;) {
        const ssize_t length = read(fd_, buffer.data(), buffer.size());
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length <= 0) {
            break;  // EAGAIN: all taken
        }
        for (std::size_t offset = 0; offset + sizeof(inotify_event) <= std::size_t(length);) {
            inotify_event header{};
            std::memcpy(&header, buffer.data() + offset, sizeof header);
            const char* nameStart = buffer.data() + offset + sizeof header;
            const std::string_view name(nameStart, strnlen(nameStart, header.len));
            offset += sizeof header + header.len;
            if ((header.mask & IN_Q_OVERFLOW) != 0) {
                overflowed = true;
                continue;
            }
            handle(header.wd, header.mask, name, events);
        }
    }
    if (overflowed) {
        // Folders may have come and gone unseen as well.
        settle(events);
        for (PortEvent& event : rescan()) {
            events.push_back(std::move(event));
        }
    }
    return events;
}

void PortDirectorySource::handle(int watch, std::uint32_t mask, std::string_view name,
                                 std::vector<PortEvent>& events) {
    if (watch == directoryWatch_ && directoryWatch_ >= 0) {
        if ((mask & kGoneMask) != 0) {
            // A directory moved elsewhere stays watched where it went; that
            // place is no longer the port directory.
            if ((mask & IN_MOVE_SELF) != 0) {
                inotify_rm_watch(fd_, directoryWatch_);
            }
            directoryLost(events);
            settle(events);
        } else if ((mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
            linkAppeared(name, events);
        } else if ((mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
            linkGone(name, events);
        }
        return;
    }
    if (watch == anchorWatch_ && anchorWatch_ >= 0) {
        if ((mask & kGoneMask) != 0) {
            if ((mask & IN_MOVE_SELF) != 0) {
                inotify_rm_watch(fd_, anchorWatch_);
            }
            anchorWatch_ = -1;
        }
        // A folder below came, went or changed: the watches follow.
        settle(events);
    }
    // Anything else belongs to a watch given up earlier.
}

void PortDirectorySource::linkAppeared(std::string_view name, std::vector<PortEvent>& events) {
    const auto number = linkNumber(name);
    if (!number) {
        return;
    }
    const fs::path entry = directory_ / name;
    const auto target = linkTarget(entry);
    const auto known = links_.find(*number);
    if (!target) {
        // Replaced by something that is no link: the port is gone. An entry
        // already deleted again is settled by the deletion's own event.
        if (known != links_.end() && entryExists(entry)) {
            linkGone(name, events);
        }
        return;
    }
    if (known != links_.end()) {
        if (known->second == *target) {
            return;  // known already (found by a rescan, or the same link made again)
        }
        linkGone(name, events);  // replaced without a deletion of its own
    }
    // A link in a folder others may write to is not used when the port is
    // opened, so it is no arrival either.
    if (checkPortDirectory(directory_) != PortDirectoryState::Ready) {
        return;
    }
    links_[*number] = *target;
    events.push_back({PortEvent::Kind::Arrival, comName(*number)});
}

void PortDirectorySource::linkGone(std::string_view name, std::vector<PortEvent>& events) {
    const auto number = linkNumber(name);
    if (number && links_.erase(*number) != 0) {
        events.push_back({PortEvent::Kind::Removal, comName(*number)});
    }
}

void PortDirectorySource::directoryLost(std::vector<PortEvent>& events) {
    directoryWatch_ = -1;
    for (const auto& [number, target] : links_) {
        events.push_back({PortEvent::Kind::Removal, comName(number)});
    }
    links_.clear();
}

std::vector<PortEvent> PortDirectorySource::rescan() {
    const std::map<int, std::string> current =
        directoryWatch_ >= 0 ? currentLinks() : std::map<int, std::string>{};
    std::vector<PortEvent> events;
    for (auto it = links_.begin(); it != links_.end();) {
        const auto now = current.find(it->first);
        if (now != current.end() && now->second == it->second) {
            ++it;
        } else {
            events.push_back({PortEvent::Kind::Removal, comName(it->first)});
            it = links_.erase(it);
        }
    }
    for (const auto& [number, target] : current) {
        if (links_.emplace(number, target).second) {
            events.push_back({PortEvent::Kind::Arrival, comName(number)});
        }
    }
    return events;
}

std::map<int, std::string> PortDirectorySource::currentLinks() const {
    std::map<int, std::string> links;
    if (checkPortDirectory(directory_) != PortDirectoryState::Ready) {
        return links;
    }
    DIR* folder = opendir(directory_.c_str());
    if (folder == nullptr) {
        return links;
    }
    while (const dirent* entry = readdir(folder)) {
        const auto number = linkNumber(entry->d_name);
        if (!number) {
            continue;
        }
        if (auto target = linkTarget(directory_ / entry->d_name)) {
            links.emplace(*number, std::move(*target));
        }
    }
    closedir(folder);
    return links;
}

}  // namespace dl250t
