#include "settings_diff.hpp"

#include "text_encoding.hpp"
#include "ui/form_template.hpp"

namespace dl250t::cli {

namespace {

std::string trimLabel(std::string_view label) {
    constexpr std::string_view kFullWidthColon = "：";
    if (label.ends_with(kFullWidthColon)) {
        label.remove_suffix(kFullWidthColon.size());
    }
    return std::string(label);
}

}  // namespace

std::vector<ShownSetting> shownSettings(const FormView& view) {
    std::vector<ShownSetting> shown;
    for (const ControlTemplate& control : kFormControls) {
        switch (control.kind) {
            case ControlKind::PushButton:
            case ControlKind::EditableDropDown:
                continue;
            case ControlKind::CheckBox:
                if (control.id != ctl::AutoConfigure) {
                    shown.push_back(
                        {std::string(control.caption), view.checked(control.id) ? "on" : "off"});
                }
                continue;
            case ControlKind::DropDownList: {
                const int index = view.selection(control.id);
                shown.push_back({trimLabel(control.label.text),
                                 index < 0 ? std::string("(none)")
                                           : escapeControls(view.items(control.id)[index])});
                continue;
            }
            case ControlKind::Edit:
            case ControlKind::ReadOnlyEdit:
                if (control.id != ctl::StatusLine) {
                    // A module's texts reach a terminal: no control characters.
                    shown.push_back({trimLabel(control.label.text),
                                     escapeControls(moduleTextToUtf8(view.text(control.id)))});
                }
                continue;
        }
    }
    return shown;
}

std::vector<SettingDifference> differingSettings(const OffscreenForm& a, const OffscreenForm& b) {
    const std::vector<ShownSetting> inA = shownSettings(a.controls());
    const std::vector<ShownSetting> inB = shownSettings(b.controls());
    std::vector<SettingDifference> differences;
    // Both lists come from the same template, one entry per control.
    for (std::size_t i = 0; i < inA.size() && i < inB.size(); ++i) {
        if (inA[i].value != inB[i].value) {
            differences.push_back({inA[i].label, inA[i].value, inB[i].value});
        }
    }
    return differences;
}

std::size_t printDifferences(const ConfigBlock& a, const ConfigBlock& b, std::ostream& out) {
    // The blocks were checked before; decoding them says nothing.
    OffscreenForm first({}, "dl250t-cli");
    OffscreenForm second({}, "dl250t-cli");
    first.form().decodeBlock(a);
    second.form().decodeBlock(b);
    const auto differences = differingSettings(first, second);
    for (const SettingDifference& difference : differences) {
        out << difference.label << ": " << difference.a << " -> " << difference.b << '\n';
    }
    return differences.size();
}

}  // namespace dl250t::cli
