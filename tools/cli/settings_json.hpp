#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "config/module_settings.hpp"

namespace dl250t::cli {

// The settings as JSON: every record field under its own name, plus the two
// values the identity decides (bandBaseMHz, crystalMHz). Reals are numbers at
// full precision, integers and list indexes integers, texts strings.
nlohmann::ordered_json settingsToJson(const ModuleSettings& settings,
                                      const ModuleIdentity& identity);

// The record as the form holds it once it has shown it: every real as its
// text (15 significant digits) reads back, and a list index outside its list
// as no selection (-1). What export prints, so that import takes it back
// unchanged.
ModuleSettings settingsAsTheFormShows(const ModuleSettings& settings,
                                      const ModuleIdentity& identity);

// Overlays the fields that the object names onto the record and identity. All
// fields are checked first: an unknown name, a value of the wrong type or out
// of range, or a list index outside its list (other than -1, no selection),
// is an error that names the field, and then nothing is changed.
// Reals are taken as the form can hold them: a negative zero as zero, and one
// that would not read back from the form's text is out of range.
// Returns the errors; empty on success.
std::vector<std::string> overlaySettingsJson(const nlohmann::json& object, ModuleSettings& settings,
                                             ModuleIdentity& identity);

}  // namespace dl250t::cli
