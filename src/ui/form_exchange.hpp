#pragma once

#include <cstdint>
#include <string_view>

#include "config/module_settings.hpp"
#include "ui/form_view.hpp"
#include "ui/prompter.hpp"

namespace dl250t {

// Moves every bound value from the record into its control, in binding order.
// A check field outside 0..2 is first set to 0 in the record; a list index
// outside its list leaves the list without selection. Never fails.
void fillForm(FormView& view, ModuleSettings& settings, std::int32_t& autoConfigure);

// Moves every bound control into the record, in binding order, and stops at
// the first numeric field whose text is not a number: that field and all later
// ones keep their values. On such a failure the number message is shown,
// titled with the program's name, the offending edit gets the focus with its
// text selected, and the result is false.
bool readForm(FormView& view, Prompter& prompter, std::string_view programName,
              ModuleSettings& settings, std::int32_t& autoConfigure);

// The auto-configure enable rule: enables or disables together every control
// from 1002 to 1064. The check box 1000 and the status line 1001 are untouched.
void setFrozenControlsEnabled(FormView& view, bool enabled);

}  // namespace dl250t
