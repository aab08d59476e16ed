#pragma once

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "hotplug/tty_port_tracker.hpp"
#include "platform/port_event_source.hpp"

struct udev;
struct udev_monitor;

namespace dl250t {

// Serial ports that the device manager reports: a monitor on the tty
// subsystem. It listens to the device manager's own notifications when the
// device manager runs (so that its links under /dev/serial exist by the
// time an arrival is named), else to the kernel's.
class UdevPortSource final : public PortEventSource {
public:
    // Ports are named by the links in `portDirectory`, else by the fixed
    // COM map. Nothing when no monitor can be started.
    static std::unique_ptr<UdevPortSource> start(const std::filesystem::path& portDirectory);

    ~UdevPortSource() override;
    UdevPortSource(const UdevPortSource&) = delete;
    UdevPortSource& operator=(const UdevPortSource&) = delete;

    int descriptor() const override;
    std::vector<PortEvent> drainEvents() override;

    // "udev" or "kernel".
    std::string_view monitorSource() const { return monitorSource_; }

private:
    UdevPortSource(struct udev* context, udev_monitor* monitor, std::string_view monitorSource,
                   const std::filesystem::path& portDirectory);

    // The tty devices present now that could be serial ports.
    std::vector<TtyDeviceFacts> presentDevices() const;

    struct udev* context_;
    udev_monitor* monitor_;
    std::string_view monitorSource_;
    TtyPortTracker tracker_;
};

}  // namespace dl250t
