#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <functional>
#include <string_view>

#include "gui/config_window.hpp"

namespace dl250t::testing {

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
