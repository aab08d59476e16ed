#include "ui/in_memory_form_view.hpp"

#include <stdexcept>

#include "ui/form_lists.hpp"

namespace dl250t {
namespace {

[[noreturn]] void wrongKind(ctl::ControlId id, const char* what) {
    throw std::invalid_argument("control " + std::to_string(id) + " has no " + what);
}

}  // namespace

InMemoryFormView::InMemoryFormView() {
    for (const auto& entry : kFormControls) {
        Control& target = control(entry.id);
        target.kind = entry.kind;
        target.text = std::string(entry.caption);
    }
    for (const auto& list : kInitialLists) {
        control(list.id).items.assign(list.items.begin(), list.items.end());
    }
}

InMemoryFormView::Control& InMemoryFormView::control(ctl::ControlId id) {
    // The template lookup rejects unknown IDs.
    controlTemplate(id);
    return controls_[static_cast<std::size_t>(id - ctl::First)];
}

const InMemoryFormView::Control& InMemoryFormView::control(ctl::ControlId id) const {
    controlTemplate(id);
    return controls_[static_cast<std::size_t>(id - ctl::First)];
}

InMemoryFormView::Control& InMemoryFormView::list(ctl::ControlId id) {
    Control& target = control(id);
    if (!isList(target.kind)) {
        wrongKind(id, "list");
    }
    return target;
}

const InMemoryFormView::Control& InMemoryFormView::list(ctl::ControlId id) const {
    const Control& target = control(id);
    if (!isList(target.kind)) {
        wrongKind(id, "list");
    }
    return target;
}

InMemoryFormView::Control& InMemoryFormView::checkBox(ctl::ControlId id) {
    Control& target = control(id);
    if (target.kind != ControlKind::CheckBox) {
        wrongKind(id, "check state");
    }
    return target;
}

const InMemoryFormView::Control& InMemoryFormView::checkBox(ctl::ControlId id) const {
    const Control& target = control(id);
    if (target.kind != ControlKind::CheckBox) {
        wrongKind(id, "check state");
    }
    return target;
}

std::string InMemoryFormView::text(ctl::ControlId id) const {
    const Control& source = control(id);
    if (source.kind == ControlKind::DropDownList) {
        return source.selection < 0 ? std::string()
                                    : source.items[static_cast<std::size_t>(source.selection)];
    }
    return source.text;
}

void InMemoryFormView::setText(ctl::ControlId id, std::string_view text) {
    Control& target = control(id);
    if (target.kind == ControlKind::DropDownList) {
        wrongKind(id, "text of its own");
    }
    target.text = std::string(text);
    if (target.kind == ControlKind::EditableDropDown) {
        target.selection = -1;
    }
    if (focused_ == id) {
        focusedTextSelected_ = false;
    }
}

bool InMemoryFormView::checked(ctl::ControlId id) const {
    return checkBox(id).checked;
}

void InMemoryFormView::setChecked(ctl::ControlId id, bool checked) {
    checkBox(id).checked = checked;
}

int InMemoryFormView::selection(ctl::ControlId id) const {
    return list(id).selection;
}

void InMemoryFormView::setSelection(ctl::ControlId id, int index) {
    Control& target = list(id);
    const bool inside = index >= 0 && static_cast<std::size_t>(index) < target.items.size();
    target.selection = inside ? index : -1;
    if (inside && target.kind == ControlKind::EditableDropDown) {
        target.text = target.items[static_cast<std::size_t>(index)];
    }
}

std::vector<std::string> InMemoryFormView::items(ctl::ControlId id) const {
    return list(id).items;
}

void InMemoryFormView::setItems(ctl::ControlId id, const std::vector<std::string>& items) {
    Control& target = list(id);
    target.items = items;
    target.selection = -1;
}

bool InMemoryFormView::enabled(ctl::ControlId id) const {
    return control(id).enabled;
}

void InMemoryFormView::setEnabled(ctl::ControlId id, bool enabled) {
    control(id).enabled = enabled;
}

void InMemoryFormView::focusAndSelectAll(ctl::ControlId id) {
    const Control& target = control(id);
    focused_ = id;
    focusedTextSelected_ = hasSelectableText(target.kind);
    focusLog_.push_back(id);
}

}  // namespace dl250t
