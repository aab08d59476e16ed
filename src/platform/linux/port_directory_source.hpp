#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/port_event_source.hpp"

namespace dl250t {

// Ports plugged in through the port directory: a link COMn appearing there
// is an arrival of COMn, its removal a removal. Other entries, and names that
// are not exactly "COM" and a number, are not ports. The directory is
// watched with inotify, and so is the folder that holds it, or, while that
// is gone too, the nearest folder above that is still there: the watch comes
// back as the folders come back (deleted and made again, moved back, or put
// right after they were refused). Whenever the directory stops being
// watched, or cannot be watched from the start, a WatchLost event says so.
class PortDirectorySource final : public PortEventSource {
public:
    // Creates the directory if needed. Nothing only when inotify itself is
    // not available; a directory that fails its checks (see
    // port_directory.hpp) is waited for, and the first drain says that it is
    // not watched.
    static std::unique_ptr<PortDirectorySource> start(const std::filesystem::path& directory);

    ~PortDirectorySource() override;
    PortDirectorySource(const PortDirectorySource&) = delete;
    PortDirectorySource& operator=(const PortDirectorySource&) = delete;

    int descriptor() const override { return fd_; }
    std::vector<PortEvent> drainEvents() override;

    // Settles the links it knows against the directory as it is now, as is
    // needed when events were lost: a link gone is a removal, a new one an
    // arrival, one that now leads elsewhere both (removals come first).
    std::vector<PortEvent> rescan();

    // False while the directory is gone (deleted or moved away).
    bool watchingDirectory() const { return directoryWatch_ >= 0; }

private:
    PortDirectorySource(int fd, std::filesystem::path directory);

    bool watchDirectory();
    // Puts the watches where the folders are now: on the directory when it
    // can be watched, and on the folder above it or the nearest one that
    // exists. Reports the directory lost once when it ends up unwatched.
    void settle(std::vector<PortEvent>& events);
    void handle(int watch, std::uint32_t mask, std::string_view name,
                std::vector<PortEvent>& events);
    void linkAppeared(std::string_view name, std::vector<PortEvent>& events);
    void linkGone(std::string_view name, std::vector<PortEvent>& events);
    void directoryLost(std::vector<PortEvent>& events);
    // COM number -> target of the links in the directory, when it passes its checks.
    std::map<int, std::string> currentLinks() const;

    int fd_;
    std::filesystem::path directory_;
    // The directory, the folder that holds it, and so on up to the root.
    std::vector<std::filesystem::path> levels_;
    int directoryWatch_ = -1;
    int anchorWatch_ = -1;  // on levels_[anchorLevel_], the nearest folder above that exists
    std::size_t anchorLevel_ = 0;
    bool lossReported_ = false;         // since the directory was last watched
    std::vector<PortEvent> pending_;    // said at the next drain
    std::map<int, std::string> links_;  // what has been reported: COM number -> link target
};

}  // namespace dl250t
