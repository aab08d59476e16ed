#include "platform/linux/udev_port_source.hpp"

#include <errno.h>
#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <string>

#include "platform/posix/port_names.hpp"

namespace dl250t {

namespace fs = std::filesystem;

namespace {

// Present while the device manager runs; without it, its own notifications
// never come and only the kernel's are there to listen to.
constexpr const char* kDeviceManagerControl = "/run/udev/control";

// A receive that fails for another reason than an empty queue still takes a
// message off it; this many failures in a row mean the socket itself is broken.
constexpr int kMaxFailedReceives = 64;

std::string textOf(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

std::optional<long> numberOf(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    long value = 0;
    const char* end = text + std::strlen(text);
    while (end != text && (end[-1] == '\n' || end[-1] == ' ')) {
        --end;
    }
    const auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec != std::errc{} || ptr != end || ptr == text) {
        return std::nullopt;
    }
    return value;
}

TtyDeviceFacts factsOf(udev_device* device) {
    TtyDeviceFacts facts;
    facts.action = textOf(udev_device_get_action(device));
    facts.subsystem = textOf(udev_device_get_subsystem(device));
    facts.sysname = textOf(udev_device_get_sysname(device));
    facts.devnode = textOf(udev_device_get_devnode(device));
    // Only UARTs need their attributes and ancestry looked at; other ttys
    // (virtual consoles, USB adapters) are decided by their name.
    if (!facts.sysname.starts_with("ttyS") || facts.action == "remove") {
        return facts;
    }
    facts.uartType = numberOf(udev_device_get_sysattr_value(device, "type"));
    // Parents belong to the device and are released with it.
    for (udev_device* parent = udev_device_get_parent(device); parent != nullptr;
         parent = udev_device_get_parent(parent)) {
        facts.hasParent = true;
        if (textOf(udev_device_get_subsystem(parent)) == "platform" &&
            textOf(udev_device_get_sysname(parent)) == "serial8250") {
            facts.belowSerial8250Platform = true;
        }
    }
    return facts;
}

}  // namespace

std::unique_ptr<UdevPortSource> UdevPortSource::start(const fs::path& portDirectory) {
    struct udev* context = udev_new();
    if (context == nullptr) {
        return nullptr;
    }
    const std::string_view source = access(kDeviceManagerControl, F_OK) == 0 ? "udev" : "kernel";
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, source.data());
    if (monitor == nullptr) {
        udev_unref(context);
        return nullptr;
    }
    const int fd = udev_monitor_get_fd(monitor);
    const int flags = fd >= 0 ? fcntl(fd, F_GETFL) : -1;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0 || flags < 0 ||
        fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    // Receiving is on before the ports present are listed, so that no port
    // falls between the two; one that shows up in both is not reported twice.
    std::unique_ptr<UdevPortSource> started(
        new UdevPortSource(context, monitor, source, portDirectory));
    for (const TtyDeviceFacts& device : started->presentDevices()) {
        started->tracker_.notePresent(device);
    }
    return started;
}

UdevPortSource::UdevPortSource(struct udev* context, udev_monitor* monitor,
                               std::string_view monitorSource, const fs::path& portDirectory)
    : context_(context),
      monitor_(monitor),
      monitorSource_(monitorSource),
      tracker_([portDirectory](const fs::path& device) {
          return comNameForDevice(device, portDirectory);
      }) {}

UdevPortSource::~UdevPortSource() {
    udev_monitor_unref(monitor_);
    udev_unref(context_);
}

int UdevPortSource::descriptor() const {
    return udev_monitor_get_fd(monitor_);
}

std::vector<PortEvent> UdevPortSource::drainEvents() {
    std::vector<PortEvent> events;
    bool lost = false;
    for (int failures = 0; failures < kMaxFailedReceives;) {
        errno = 0;
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            }
            // The socket's queue ran over: notifications were dropped.
            lost = lost || errno == ENOBUFS;
            ++failures;
            continue;
        }
        failures = 0;
        const TtyDeviceFacts facts = factsOf(device);
        udev_device_unref(device);
        if (auto event = tracker_.handle(facts)) {
            events.push_back(std::move(*event));
        }
    }
    if (lost) {
        for (PortEvent& event : tracker_.reconcile(presentDevices())) {
            events.push_back(std::move(event));
        }
    }
    return events;
}

std::vector<TtyDeviceFacts> UdevPortSource::presentDevices() const {
    std::vector<TtyDeviceFacts> devices;
    udev_enumerate* enumerate = udev_enumerate_new(context_);
    if (enumerate == nullptr) {
        return devices;
    }
    udev_enumerate_add_match_subsystem(enumerate, "tty");
    for (const char* pattern : {"ttyS*", "ttyUSB*", "ttyACM*"}) {
        udev_enumerate_add_match_sysname(enumerate, pattern);
    }
    if (udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* device =
                udev_device_new_from_syspath(context_, udev_list_entry_get_name(entry));
            if (device != nullptr) {
                devices.push_back(factsOf(device));
                udev_device_unref(device);
            }
        }
    }
    udev_enumerate_unref(enumerate);
    return devices;
}

}  // namespace dl250t
