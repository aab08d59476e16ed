#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <vector>

#include "app/window_host.hpp"
#include "gui/config_window.hpp"
#include "hotplug/port_event.hpp"
#include "platform/port_event_source.hpp"

namespace dl250t {

// The window as the controller's host: its two heights, the About box, and
// the hot-plug sources, whose descriptors the window's event loop watches.
class QtWindowHost final : public WindowHost {
public:
    using PortEventSources = std::vector<std::unique_ptr<PortEventSource>>;
    // Starts the sources when the controller registers for port events.
    using SourceStarter = std::function<PortEventSources()>;
    using PortEventHandler = std::function<void(const PortEvent&)>;

    QtWindowHost(ConfigWindow& window, SourceStarter startSources);
    ~QtWindowHost() override;
    QtWindowHost(const QtWindowHost&) = delete;
    QtWindowHost& operator=(const QtWindowHost&) = delete;

    // Where the sources' events go: the controller, once it exists.
    void setPortEventHandler(PortEventHandler handler);

    bool registerPortNotifications() override;
    void showFullHeight() override;
    void showCollapsedHeight() override;
    void showAbout() override;

    std::size_t sourceCount() const { return watched_.size(); }

private:
    struct WatchedSource {
        std::unique_ptr<PortEventSource> source;
        std::unique_ptr<QSocketNotifier> notifier;
    };

    void drain(PortEventSource& source);

    ConfigWindow& window_;
    SourceStarter startSources_;
    PortEventHandler handler_;
    std::vector<WatchedSource> watched_;
};

}  // namespace dl250t
