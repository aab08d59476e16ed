#include "settings_json.hpp"

#include <limits>
#include <optional>

#include "config/module_identity.hpp"
#include "platform/module_text.hpp"
#include "settings_fields.hpp"
#include "ui/form_bindings.hpp"
#include "ui/form_lists.hpp"
#include "ui/number_text.hpp"

namespace dl250t::cli {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

const SettingsField* findField(std::string_view name) {
    for (const SettingsField& field : kSettingsFields) {
        if (field.name == name) {
            return &field;
        }
    }
    return nullptr;
}

bool isInt32(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() <=
               static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    }
    if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        return v >= std::numeric_limits<std::int32_t>::min() &&
               v <= std::numeric_limits<std::int32_t>::max();
    }
    return false;
}

// The import goes through the form, which shows a real with 15 significant
// digits and reads the text back. A negative zero would show as "-0", which
// the form refuses as a signed zero, so it is taken as the zero it equals; a
// magnitude that rounds beyond the largest double when shown is out of range.
std::optional<double> formRealValue(double value) {
    if (value == 0.0) {
        return 0.0;
    }
    if (!parseRealText(formatRealText(value))) {
        return std::nullopt;
    }
    return value;
}

// The number of items of the list that shows a field; nothing for a field
// that no list shows. The module's power class chooses the RF power list.
std::optional<std::size_t> listSize(std::int32_t ModuleSettings::*member,
                                    const ModuleIdentity& identity) {
    for (const ListBinding& binding : kListBindings) {
        if (binding.field == member) {
            return binding.id == ctl::RfPower ? rfPowerItems(identity).size()
                                              : initialItems(binding.id).size();
        }
    }
    return std::nullopt;
}

bool insideList(std::int32_t index, std::size_t size) {
    return index >= -1 && index < static_cast<std::int64_t>(size);
}

}  // namespace

ModuleSettings settingsAsTheFormShows(const ModuleSettings& settings,
                                      const ModuleIdentity& identity) {
    ModuleSettings shown = settings;
    for (const SettingsField& field : kSettingsFields) {
        std::visit(
            Overloaded{
                [&](double ModuleSettings::*m) {
                    if (settings.*m == 0.0) {
                        shown.*m = 0.0;
                    } else if (const auto real = parseRealText(formatRealText(settings.*m))) {
                        shown.*m = *real;
                    }
                },
                [&](std::int32_t ModuleSettings::*m) {
                    const auto size = listSize(m, identity);
                    if (size && !insideList(settings.*m, *size)) {
                        shown.*m = -1;
                    }
                },
                [](std::string ModuleSettings::*) {},
            },
            field.member);
    }
    return shown;
}

nlohmann::ordered_json settingsToJson(const ModuleSettings& settings,
                                      const ModuleIdentity& identity) {
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    for (const SettingsField& field : kSettingsFields) {
        std::visit(Overloaded{
                       [&](std::string ModuleSettings::*m) {
                           json[std::string(field.name)] = moduleTextToUtf8(settings.*m);
                       },
                       [&](auto m) { json[std::string(field.name)] = settings.*m; },
                   },
                   field.member);
    }
    json["bandBaseMHz"] = identity.bandBaseMHz;
    json["crystalMHz"] = identity.crystalMHz;
    return json;
}

std::vector<std::string> overlaySettingsJson(const nlohmann::json& object, ModuleSettings& settings,
                                             ModuleIdentity& identity) {
    std::vector<std::string> errors;
    if (!object.is_object()) {
        errors.push_back("settings must be a JSON object");
        return errors;
    }
    ModuleSettings newSettings = settings;
    ModuleIdentity newIdentity = identity;
    for (const auto& item : object.items()) {
        // Named references rather than a structured binding: the lambdas
        // below capture them, which clang accepts only from version 16.
        const std::string& name = item.key();
        const nlohmann::json& value = item.value();
        const auto fail = [&](std::string_view why) {
            errors.push_back(name + ": " + std::string(why));
        };
        if (name == "bandBaseMHz" || name == "crystalMHz") {
            if (!isInt32(value)) {
                fail("expected a 32-bit integer");
            } else if (name == "bandBaseMHz") {
                newIdentity.bandBaseMHz = value.get<std::int32_t>();
            } else if (value != 26 && value != 27) {
                fail("the crystal is 26 or 27 MHz");
            } else {
                newIdentity.crystalMHz = value.get<std::int32_t>();
            }
            continue;
        }
        const SettingsField* field = findField(name);
        if (field == nullptr) {
            fail("unknown field");
            continue;
        }
        std::visit(Overloaded{
                       [&](std::string ModuleSettings::*m) {
                           if (value.is_string()) {
                               newSettings.*m = value.get<std::string>();
                           } else {
                               fail("expected a string");
                           }
                       },
                       [&](std::int32_t ModuleSettings::*m) {
                           const auto size = listSize(m, identity);
                           if (!isInt32(value)) {
                               fail("expected a 32-bit integer");
                           } else if (size && !insideList(value.get<std::int32_t>(), *size)) {
                               // The window could never pick it; encoded, it
                               // would be a byte the module does not know.
                               fail("outside its list: -1 (none) to " + std::to_string(*size - 1));
                           } else {
                               newSettings.*m = value.get<std::int32_t>();
                           }
                       },
                       [&](double ModuleSettings::*m) {
                           if (!value.is_number()) {
                               fail("expected a number");
                           } else if (const auto real = formRealValue(value.get<double>())) {
                               newSettings.*m = *real;
                           } else {
                               fail("out of range");
                           }
                       },
                   },
                   field->member);
    }
    if (errors.empty()) {
        settings = newSettings;
        identity = newIdentity;
    }
    return errors;
}

}  // namespace dl250t::cli
