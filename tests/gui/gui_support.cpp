#include "gui/gui_support.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <stdexcept>

namespace dl250t::testing {

ManualPortSource::ManualPortSource() {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
}

ManualPortSource::~ManualPortSource() {
    close(readEnd_);
    close(writeEnd_);
}

std::vector<PortEvent> ManualPortSource::drainEvents() {
    char buffer[64];
    while (read(readEnd_, buffer, sizeof buffer) > 0) {
    }
    return std::exchange(pending_, {});
}

void ManualPortSource::deliver(const PortEvent& event) {
    pending_.push_back(event);
    const char wake = 1;
    if (write(writeEnd_, &wake, 1) != 1) {
        throw std::runtime_error("cannot wake the window");
    }
}

void whenModalOpens(std::function<void(QDialog&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(*dialog);
        }
    });
    timer->start();
}

ctl::ControlId controlIdOf(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        const QVariant id = widget->property("controlId");
        if (id.isValid()) {
            return id.toInt();
        }
    }
    return 0;
}

QString qs(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace dl250t::testing
