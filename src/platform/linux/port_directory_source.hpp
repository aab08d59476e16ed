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
// watched with inotify, and so is the folder that holds it, so that the
// watch comes back when the directory is deleted and made again.
class PortDirectorySource final : public PortEventSource {
public:
    // Creates the directory if needed. Nothing when it fails its checks
    // (see port_directory.hpp) or cannot be watched.
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
    void handle(int watch, std::uint32_t mask, std::string_view name,
                std::vector<PortEvent>& events);
    void linkAppeared(std::string_view name, std::vector<PortEvent>& events);
    void linkGone(std::string_view name, std::vector<PortEvent>& events);
    void directoryLost(std::vector<PortEvent>& events);
    // COM number -> target of the links in the directory, when it passes its checks.
    std::map<int, std::string> currentLinks() const;

    int fd_;
    std::filesystem::path directory_;
    int directoryWatch_ = -1;
    int parentWatch_ = -1;
    std::map<int, std::string> links_;  // what has been reported: COM number -> link target
};

}  // namespace dl250t
