#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "ui/form_view.hpp"
#include "ui/offscreen_form.hpp"

namespace dl250t::cli {

// One setting as the window shows it: its label without the colon, and its
// value as text made safe for a terminal.
struct ShownSetting {
    std::string label;
    std::string value;
};

// Every setting the form shows, control by control in tab order: the module
// identity and the serial number included, the port, buttons and status
// line left out.
std::vector<ShownSetting> shownSettings(const FormView& view);

struct SettingDifference {
    std::string label;
    std::string a;
    std::string b;
};

// The settings that two forms show differently, in the form's order. Two
// blocks are compared as the window shows them rather than byte by byte, so
// that bytes no control shows, and values the form shows alike, make no
// difference.
std::vector<SettingDifference> differingSettings(const OffscreenForm& a, const OffscreenForm& b);

// The same for two blocks, each decoded into a form of its own, printed one
// line a setting: "LABEL: A -> B". How many lines were printed.
std::size_t printDifferences(const ConfigBlock& a, const ConfigBlock& b, std::ostream& out);

}  // namespace dl250t::cli
