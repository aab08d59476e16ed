#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/config_window.hpp"
#include "platform/port_event_source.hpp"

namespace dl250t::testing {

// A hot-plug source the test feeds by hand. Its descriptor is the read end
// of a pipe, so the window's event loop sees it exactly as it sees a real one.
class ManualPortSource final : public PortEventSource {
public:
    ManualPortSource();
    ~ManualPortSource() override;
    ManualPortSource(const ManualPortSource&) = delete;
    ManualPortSource& operator=(const ManualPortSource&) = delete;

    int descriptor() const override { return readEnd_; }
    std::vector<PortEvent> drainEvents() override;

    void deliver(const PortEvent& event);

private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::vector<PortEvent> pending_;
};

// Acts on the next modal dialog as soon as it is open; `act` has to close it.
void whenModalOpens(std::function<void(QDialog&)> act);

// The control ID a widget belongs to (a combo box's line edit belongs to the
// combo box), or 0.
ctl::ControlId controlIdOf(const QWidget* widget);

template <typename Widget>
Widget* widgetOf(const ConfigWindow& window, ctl::ControlId id) {
    return qobject_cast<Widget*>(window.control(id));
}

QString qs(std::string_view utf8);

}  // namespace dl250t::testing
