#include "gui/qt_form_view.hpp"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <stdexcept>

#include "config/utf8_text.hpp"
#include "gui/module_text.hpp"
#include "gui/qt_text.hpp"
#include "ui/form_template.hpp"

namespace dl250t {
namespace {

[[noreturn]] void wrongKind(ctl::ControlId id, const char* what) {
    throw std::invalid_argument("control " + std::to_string(id) + " has no " + what);
}

template <typename Widget>
Widget* widgetAs(const ConfigWindow& window, ctl::ControlId id, const char* what) {
    auto* widget = qobject_cast<Widget*>(window.control(id));
    if (widget == nullptr) {
        wrongKind(id, what);
    }
    return widget;
}

}  // namespace

QtFormView::QtFormView(ConfigWindow& window) : window_(window) {}

QString QtFormView::shownText(ctl::ControlId id) const {
    QWidget* widget = window_.control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        // A drop-down list shows its selected item, or nothing.
        return combo->isEditable() || combo->currentIndex() >= 0 ? combo->currentText() : QString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    wrongKind(id, "text");
}

std::string QtFormView::text(ctl::ControlId id) const {
    const QString shown = shownText(id);
    const GivenText& given = given_[static_cast<std::size_t>(id - ctl::First)];
    if (!given.bytes.empty() && shown == given.shown) {
        return given.bytes;
    }
    return stdText(shown);
}

void QtFormView::setText(ctl::ControlId id, std::string_view text) {
    QWidget* widget = window_.control(id);
    const QString shown = displayText(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(shown);
        // Show the start of a long text, as a freshly set edit does.
        edit->setCursorPosition(0);
        if (edit->isReadOnly()) {
            // A module or a file may hold identity texts longer than their
            // fields; the tip shows all of it.
            edit->setToolTip(shown);
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->isEditable()) {
        // Typed text, not one of the items.
        combo->setCurrentIndex(-1);
        combo->setEditText(shown);
        combo->lineEdit()->setCursorPosition(0);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(shown);
    } else {
        wrongKind(id, "text of its own");
    }
    GivenText& given = given_[static_cast<std::size_t>(id - ctl::First)];
    if (isValidUtf8(text)) {
        given = {};
    } else {
        given = {std::string(text), shown};
    }
}

bool QtFormView::checked(ctl::ControlId id) const {
    auto* box = widgetAs<QAbstractButton>(window_, id, "check state");
    if (!box->isCheckable()) {
        wrongKind(id, "check state");
    }
    return box->isChecked();
}

void QtFormView::setChecked(ctl::ControlId id, bool checked) {
    auto* box = widgetAs<QAbstractButton>(window_, id, "check state");
    if (!box->isCheckable()) {
        wrongKind(id, "check state");
    }
    box->setChecked(checked);
}

int QtFormView::selection(ctl::ControlId id) const {
    return widgetAs<QComboBox>(window_, id, "list")->currentIndex();
}

void QtFormView::setSelection(ctl::ControlId id, int index) {
    auto* combo = widgetAs<QComboBox>(window_, id, "list");
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

std::vector<std::string> QtFormView::items(ctl::ControlId id) const {
    const auto* combo = widgetAs<QComboBox>(window_, id, "list");
    std::vector<std::string> result;
    result.reserve(static_cast<std::size_t>(combo->count()));
    for (int i = 0; i < combo->count(); ++i) {
        result.push_back(stdText(combo->itemText(i)));
    }
    return result;
}

void QtFormView::setItems(ctl::ControlId id, const std::vector<std::string>& items) {
    auto* combo = widgetAs<QComboBox>(window_, id, "list");
    const QString typed = combo->isEditable() ? combo->currentText() : QString();
    combo->clear();
    for (const std::string& item : items) {
        combo->addItem(qText(item));
    }
    // Adding the first item selects it; the list is to show no selection.
    combo->setCurrentIndex(-1);
    if (combo->isEditable()) {
        combo->setEditText(typed);
    }
}

bool QtFormView::enabled(ctl::ControlId id) const {
    return window_.control(id)->isEnabled();
}

void QtFormView::setEnabled(ctl::ControlId id, bool enabled) {
    window_.control(id)->setEnabled(enabled);
}

void QtFormView::focusAndSelectAll(ctl::ControlId id) {
    QWidget* widget = window_.control(id);
    widget->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->selectAll();
    } else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit()) {
        combo->lineEdit()->selectAll();
    }
}

}  // namespace dl250t
