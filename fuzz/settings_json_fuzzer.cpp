// Settings JSON for the companion's import is written by people and scripts:
// any text must be refused with its own exit status or become a valid
// configuration file, and whatever the companion exports it must take back.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "block_checks.hpp"
#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "fuzz_check.hpp"
#include "scratch_files.hpp"
#include "settings_json.hpp"
#include "support/recording_prompter.hpp"
#include "ui/in_memory_form_view.hpp"
#include "ui/settings_form.hpp"

namespace dl250t {
namespace {

// "dl250t-cli import - -o OUT.cfg" with the text on standard input.
void checkImportCommand(const std::string& text) {
    const std::filesystem::path output = fuzzing::scratchFolder() / "imported.cfg";
    std::error_code ec;
    std::filesystem::remove(output, ec);

    std::istringstream in(text);
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::runCli({"import", "-", "-o", output.string()}, in, out, err);
    DL250T_FUZZ_CHECK(status == cli::kExitOk || status == cli::kExitBadSettings);
    // The import fills the form and reads it back: a number message would
    // mean it took a value the form cannot hold.
    DL250T_FUZZ_CHECK(err.str().find("请键入一个") == std::string::npos);
    if (status != cli::kExitOk) {
        DL250T_FUZZ_CHECK(!std::filesystem::exists(output));
        return;
    }
    const LoadedConfigFile written = loadConfigFile(fuzzing::files(), output);
    DL250T_FUZZ_CHECK(written.check == BlockCheck::Ok);
}

// The overlay straight onto a form, then a Save's encode with the advanced
// panel hidden, so that the rate-derived defaults run on the values too.
void checkOverlayAndEncode(const nlohmann::json& json, bool writingFlag) {
    InMemoryFormView view;
    testing::RecordingPrompter prompter;
    SettingsForm form(view, prompter, "dl250t-cli");
    const ConfigBlock initial = makeInitialWorkingBlock();
    form.decodeBlock(initial);

    const ModuleSettings settingsBefore = form.settings();
    const ModuleIdentity identityBefore = form.identity();
    const auto errors = cli::overlaySettingsJson(json, form.settings(), form.identity());
    if (!errors.empty()) {
        // A refused overlay changes nothing.
        DL250T_FUZZ_CHECK(form.settings() == settingsBefore);
        DL250T_FUZZ_CHECK(form.identity() == identityBefore);
        return;
    }

    // What the companion exports (the settings as the form shows them) it
    // takes back as it was.
    ModuleSettings again;
    ModuleIdentity againIdentity;
    const ModuleSettings shown = cli::settingsAsTheFormShows(form.settings(), form.identity());
    const auto exported =
        nlohmann::json::parse(cli::settingsToJson(shown, form.identity()).dump(), nullptr, false);
    DL250T_FUZZ_CHECK(!exported.is_discarded());
    DL250T_FUZZ_CHECK(cli::overlaySettingsJson(exported, again, againIdentity).empty());
    DL250T_FUZZ_CHECK(again == shown);
    DL250T_FUZZ_CHECK(againIdentity == form.identity());

    // The form can hold every value the import took: filled in, it reads
    // back without a number message.
    form.fill();
    DL250T_FUZZ_CHECK(form.read());
    DL250T_FUZZ_CHECK(prompter.messages().empty());

    form.advancedShown = false;
    ConfigBlock block = initial;
    if (writingFlag) {
        form.encodeForStoring(block);
    } else {
        form.encodeBlock(block);
    }
    fuzzing::checkOnlySettingsChanged(initial, block);
    stampHeaderAndCrc(block);
    DL250T_FUZZ_CHECK(validateBlock(block, kBlockSize) == BlockCheck::Ok);
}

}  // namespace
}  // namespace dl250t

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dl250t;
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkImportCommand(text);

    nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded()) {
        return 0;
    }
    if (json.is_object() && json.contains("settings") && json["settings"].is_object()) {
        json = nlohmann::json(json["settings"]);
    }
    checkOverlayAndEncode(json, size % 2 == 0);
    return 0;
}
