#pragma once

#include <cstdint>
#include <string>

#include "config/config_block.hpp"
#include "config/module_settings.hpp"
#include "ui/form_view.hpp"
#include "ui/prompter.hpp"

namespace dl250t {

// The settings record together with the form that shows it: moves blocks into
// the form and the form into blocks, and derives the rate-dependent defaults
// when a rate is chosen. The record and the form are kept apart on purpose: the
// record learns of the operator's edits only when the form is read.
class SettingsForm {
public:
    SettingsForm(FormView& view, Prompter& prompter, std::string programName);

    ModuleSettings& settings() { return settings_; }
    const ModuleSettings& settings() const { return settings_; }
    ModuleIdentity& identity() { return identity_; }
    const ModuleIdentity& identity() const { return identity_; }

    // Bound to check box 1000 by the same exchange.
    std::int32_t& autoConfigure() { return autoConfigure_; }
    std::int32_t autoConfigure() const { return autoConfigure_; }

    // While the advanced panel is hidden, every encode recomputes the timing
    // fields from the RF rate.
    bool advancedShown = false;

    void fill();
    bool read();

    // Block to record (identity, power list, every group), then the form.
    void decodeBlock(const ConfigBlock& block);

    // Form to record, range adjustment with a warning box for each change, then
    // record to block. Never fails: a field that does not parse keeps its value.
    void encodeBlock(ConfigBlock& block);

    // The encode of a module write or a file save: as encodeBlock, except that
    // the channel plan derived from the rates leaves the number of auxiliary
    // channels as the operator chose it.
    void encodeForStoring(ConfigBlock& block);

    // Selection changes of the default rate (1015) and the upper rate limit (1016).
    void applyDefaultRate();
    void applyRateUpperLimit();

private:
    FormView& view_;
    Prompter& prompter_;
    std::string programName_;
    ModuleSettings settings_;
    ModuleIdentity identity_;
    std::int32_t autoConfigure_ = 0;
    // On only while encodeForStoring runs.
    bool writingFlag_ = false;
};

}  // namespace dl250t
