#include "platform/linux/port_directory_source.hpp"
#include "platform/linux/udev_port_source.hpp"
#include "platform/port_event_source.hpp"

namespace dl250t {

std::vector<std::unique_ptr<PortEventSource>> startHotPlugSources(
    const std::filesystem::path& portDirectory) {
    std::vector<std::unique_ptr<PortEventSource>> sources;
    if (auto devices = UdevPortSource::start(portDirectory)) {
        sources.push_back(std::move(devices));
    }
    if (auto links = PortDirectorySource::start(portDirectory)) {
        sources.push_back(std::move(links));
    }
    return sources;
}

}  // namespace dl250t
