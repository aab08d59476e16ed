#include "gui/qt_window_host.hpp"

#include "gui/about_box.hpp"

namespace dl250t {

QtWindowHost::QtWindowHost(ConfigWindow& window, SourceStarter startSources)
    : window_(window), startSources_(std::move(startSources)) {}

QtWindowHost::~QtWindowHost() = default;

void QtWindowHost::setPortEventHandler(PortEventHandler handler) {
    handler_ = std::move(handler);
}

bool QtWindowHost::registerPortNotifications() {
    if (!startSources_ || !watched_.empty()) {
        return !watched_.empty();
    }
    for (auto& source : startSources_()) {
        if (source == nullptr) {
            continue;
        }
        // What a source has to say from the start (a port directory it
        // cannot watch) is not waiting on its descriptor.
        drain(*source);
        if (source->descriptor() < 0) {
            continue;
        }
        auto notifier =
            std::make_unique<QSocketNotifier>(source->descriptor(), QSocketNotifier::Read);
        PortEventSource* raw = source.get();
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &window_,
                         [this, raw] { drain(*raw); });
        watched_.push_back({std::move(source), std::move(notifier)});
    }
    return !watched_.empty();
}

void QtWindowHost::drain(PortEventSource& source) {
    // Everything waiting is taken first: handling an event may open a message
    // box whose event loop lets this notifier fire again.
    const std::vector<PortEvent> events = source.drainEvents();
    for (const PortEvent& event : events) {
        if (handler_) {
            handler_(event);
        }
    }
}

void QtWindowHost::showFullHeight() {
    // A top-level widget keeps its position when it is resized.
    window_.setFixedSize(window_.fullClientSize());
}

void QtWindowHost::showCollapsedHeight() {
    window_.setFixedSize(window_.collapsedClientSize());
}

void QtWindowHost::showAbout() {
    AboutBox box(window_.units(), &window_);
    box.exec();
}

}  // namespace dl250t
