#include "ui/settings_form.hpp"

#include <utility>

#include "config/module_identity.hpp"
#include "config/rate_defaults.hpp"
#include "config/settings_codec.hpp"
#include "ui/form_exchange.hpp"
#include "ui/message_titles.hpp"

namespace dl250t {

SettingsForm::SettingsForm(FormView& view, Prompter& prompter, std::string programName)
    : view_(view), prompter_(prompter), programName_(std::move(programName)) {}

void SettingsForm::fill() {
    fillForm(view_, settings_, autoConfigure_);
}

bool SettingsForm::read() {
    return readForm(view_, prompter_, programName_, settings_, autoConfigure_);
}

void SettingsForm::decodeBlock(const ConfigBlock& block) {
    decodeSettings(block, settings_, identity_);
    view_.setItems(ctl::RfPower, rfPowerItems(identity_));
    fill();
}

void SettingsForm::encodeBlock(ConfigBlock& block) {
    read();
    EncodeHooks hooks;
    hooks.warn = [this](const std::string& warning) {
        prompter_.showMessage(warning, kToolMessageTitle, MessageIcon::Warning);
    };
    hooks.beforeAdvancedGroup = [this] {
        if (!advancedShown) {
            applyDefaultRate();
            applyRateUpperLimit();
        }
    };
    encodeSettings(settings_, identity_, block, hooks);
}

void SettingsForm::encodeForStoring(ConfigBlock& block) {
    writingFlag_ = true;
    encodeBlock(block);
    writingFlag_ = false;
}

void SettingsForm::applyDefaultRate() {
    read();
    deriveDefaultRateTimings(settings_);
    applyChannelPlan(settings_, writingFlag_);
    fill();
}

void SettingsForm::applyRateUpperLimit() {
    read();
    deriveRateUpperLimitValues(settings_);
    applyChannelPlan(settings_, writingFlag_);
    fill();
}

}  // namespace dl250t
