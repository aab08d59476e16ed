#include "ui/form_exchange.hpp"

#include "ui/form_bindings.hpp"
#include "ui/number_text.hpp"

namespace dl250t {
namespace {

constexpr std::string_view kNotAnInteger = "请键入一个整数。";
constexpr std::string_view kNotANumber = "请键入一个数。";

std::int32_t& checkField(const CheckBinding& binding, ModuleSettings& settings,
                         std::int32_t& autoConfigure) {
    return binding.field == nullptr ? autoConfigure : settings.*binding.field;
}

// Setting an edit to the text it already shows would only raise a change
// notification and drop the caret and selection.
void showText(FormView& view, ctl::ControlId id, std::string_view text) {
    if (view.text(id) != text) {
        view.setText(id, text);
    }
}

bool rejectNumber(FormView& view, Prompter& prompter, std::string_view programName,
                  ctl::ControlId id, std::string_view message) {
    prompter.showMessage(message, programName, MessageIcon::Warning);
    view.focusAndSelectAll(id);
    return false;
}

}  // namespace

void fillForm(FormView& view, ModuleSettings& settings, std::int32_t& autoConfigure) {
    for (const auto& binding : kCheckBindings) {
        std::int32_t& value = checkField(binding, settings, autoConfigure);
        if (value < 0 || value > 2) {
            value = 0;
        }
        view.setChecked(binding.id, value != 0);
    }
    for (const auto& binding : kTextBindings) {
        showText(view, binding.id, settings.*binding.field);
    }
    for (const auto& binding : kRealBindings) {
        showText(view, binding.id, formatRealText(settings.*binding.field));
    }
    for (const auto& binding : kIntegerBindings) {
        showText(view, binding.id, formatIntegerText(settings.*binding.field));
    }
    for (const auto& binding : kListBindings) {
        // An index outside the list shows no selection; the record keeps it
        // until the next read turns it into -1.
        const std::int32_t index = settings.*binding.field;
        const auto count = static_cast<std::int64_t>(view.items(binding.id).size());
        view.setSelection(binding.id, index >= 0 && index < count ? index : -1);
    }
}

bool readForm(FormView& view, Prompter& prompter, std::string_view programName,
              ModuleSettings& settings, std::int32_t& autoConfigure) {
    for (const auto& binding : kCheckBindings) {
        checkField(binding, settings, autoConfigure) = view.checked(binding.id) ? 1 : 0;
    }
    for (const auto& binding : kTextBindings) {
        settings.*binding.field = view.text(binding.id);
    }
    for (const auto& binding : kRealBindings) {
        const auto value = parseRealText(view.text(binding.id));
        if (!value) {
            return rejectNumber(view, prompter, programName, binding.id, kNotANumber);
        }
        settings.*binding.field = *value;
    }
    for (const auto& binding : kIntegerBindings) {
        const auto value = parseIntegerText(view.text(binding.id));
        if (!value) {
            return rejectNumber(view, prompter, programName, binding.id, kNotAnInteger);
        }
        settings.*binding.field = *value;
    }
    for (const auto& binding : kListBindings) {
        settings.*binding.field = view.selection(binding.id);
    }
    return true;
}

void setFrozenControlsEnabled(FormView& view, bool enabled) {
    for (ctl::ControlId id = ctl::FirstFrozen; id <= ctl::LastFrozen; ++id) {
        view.setEnabled(id, enabled);
    }
}

}  // namespace dl250t
