// Configuration files come from anywhere: any bytes must load, and whatever
// loads must decode into the form and encode back without harm.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "block_checks.hpp"
#include "config/config_file.hpp"
#include "fuzz_check.hpp"
#include "scratch_files.hpp"
#include "support/recording_prompter.hpp"
#include "ui/form_bindings.hpp"
#include "ui/in_memory_form_view.hpp"
#include "ui/message_titles.hpp"
#include "ui/settings_form.hpp"

namespace dl250t {
namespace {

// The load reads exactly the first 518 bytes, unscrambles only a whole block
// and checks only a whole block.
void checkLoad(const LoadedConfigFile& loaded, const std::uint8_t* data, std::size_t size) {
    DL250T_FUZZ_CHECK(loaded.opened);
    DL250T_FUZZ_CHECK(loaded.bytesRead == std::min(size, kBlockSize));
    if (size < kBlockSize) {
        DL250T_FUZZ_CHECK(loaded.check == BlockCheck::LengthMismatch);
        DL250T_FUZZ_CHECK(std::equal(data, data + size, loaded.block.bytes.begin()));
        DL250T_FUZZ_CHECK(
            std::all_of(loaded.block.bytes.begin() + static_cast<std::ptrdiff_t>(size),
                        loaded.block.bytes.end(), [](std::uint8_t b) { return b == 0; }));
        return;
    }
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        DL250T_FUZZ_CHECK(loaded.block[i] == (data[i] ^ kFileKey));
    }
    DL250T_FUZZ_CHECK(loaded.check == validateBlock(loaded.block, kBlockSize));
}

struct EncodeOptions {
    bool advancedShown = false;
    bool writingFlag = false;
};

// Decodes any block, valid or not, into the form and encodes the form back
// over it: what decoding shows must read back without a number message, and
// the encode may change only what belongs to the settings. Returns the
// encoded block, stamped.
ConfigBlock decodeAndEncode(const ConfigBlock& block, EncodeOptions options) {
    InMemoryFormView view;
    testing::RecordingPrompter prompter;
    SettingsForm form(view, prompter, "dl250t-config");
    form.decodeBlock(block);

    const ModuleSettings decoded = form.settings();
    DL250T_FUZZ_CHECK(form.read());
    DL250T_FUZZ_CHECK(prompter.messages().empty());
    for (const IntegerBinding& binding : kIntegerBindings) {
        DL250T_FUZZ_CHECK(form.settings().*binding.field == decoded.*binding.field);
    }

    form.advancedShown = options.advancedShown;
    ConfigBlock encoded = block;
    if (options.writingFlag) {
        form.encodeForStoring(encoded);
    } else {
        form.encodeBlock(encoded);
    }
    for (const auto& message : prompter.messages()) {
        // Range adjustments only: a number message would mean the form could
        // not read what it showed.
        DL250T_FUZZ_CHECK(message.title == kToolMessageTitle);
        DL250T_FUZZ_CHECK(message.icon == MessageIcon::Warning);
    }

    fuzzing::checkOnlySettingsChanged(block, encoded);

    stampHeaderAndCrc(encoded);
    DL250T_FUZZ_CHECK(
        validateBlock(encoded, kBlockSize) ==
        (fuzzing::hasKeyword(encoded) ? BlockCheck::Ok : BlockCheck::KeywordMismatch));
    return encoded;
}

// A block saved and opened again is the same block, and valid.
void checkSaveRoundTrip(const ConfigBlock& stamped) {
    const auto path = fuzzing::scratchFolder() / "saved.cfg";
    ConfigBlock toSave = stamped;
    DL250T_FUZZ_CHECK(saveConfigFile(fuzzing::files(), path, toSave) == Outcome::FileWritten);
    DL250T_FUZZ_CHECK(toSave == stamped);
    const LoadedConfigFile reloaded = loadConfigFile(fuzzing::files(), path);
    DL250T_FUZZ_CHECK(reloaded.check == BlockCheck::Ok);
    DL250T_FUZZ_CHECK(reloaded.block == stamped);
}

}  // namespace
}  // namespace dl250t

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dl250t;
    const auto path = fuzzing::scratchFolder() / "input.cfg";
    fuzzing::writeFile(path, data, size);
    const LoadedConfigFile loaded = loadConfigFile(fuzzing::files(), path);
    checkLoad(loaded, data, size);

    // The load never reads past the block, so the first byte after it is free
    // to choose how the form is encoded.
    EncodeOptions options;
    if (size > kBlockSize) {
        options.advancedShown = (data[kBlockSize] & 0x01) != 0;
        options.writingFlag = (data[kBlockSize] & 0x02) != 0;
    }
    // Decoding must be safe on any bytes, not only on blocks that passed.
    const ConfigBlock encoded = decodeAndEncode(loaded.block, options);
    if (fuzzing::hasKeyword(encoded)) {
        checkSaveRoundTrip(encoded);
    }
    return 0;
}
