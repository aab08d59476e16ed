// The companion's show and export print configuration files from anywhere on
// production lines, module identity texts included: any file must end in a
// defined exit status, the JSON printed must be valid, and what export prints
// import must take back.
//
// Input: the file's bytes. The file is tried as it is, and again made valid
// (keyword put in, stamped and scrambled), so that the bytes past the checks
// are reached too.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "fuzz_check.hpp"
#include "scratch_files.hpp"

namespace dl250t {
namespace {

struct Run {
    int status;
    std::string out;
};

Run runCommand(const std::vector<std::string>& args, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::runCli(args, in, out, err);
    return {status, out.str()};
}

// Every command agrees with the load about whether the file is usable.
void checkCommands(const std::filesystem::path& file) {
    const LoadedConfigFile loaded = loadConfigFile(fuzzing::files(), file);
    const int expected = loaded.check == BlockCheck::Ok ? cli::kExitOk : cli::kExitInvalidBlock;

    DL250T_FUZZ_CHECK(runCommand({"show", file.string()}).status == expected);

    const Run shown = runCommand({"show", "--json", file.string()});
    DL250T_FUZZ_CHECK(shown.status == expected);
    const auto shownJson = nlohmann::json::parse(shown.out, nullptr, false);
    DL250T_FUZZ_CHECK(shownJson.is_object());
    DL250T_FUZZ_CHECK(shownJson.value("check", "") == blockCheckName(loaded.check));

    const Run exported = runCommand({"export", file.string()});
    DL250T_FUZZ_CHECK(exported.status == expected);
    if (expected != cli::kExitOk) {
        return;
    }
    DL250T_FUZZ_CHECK(nlohmann::json::parse(exported.out, nullptr, false).is_object());

    // Export then import onto the same file gives a valid file again.
    const std::filesystem::path imported = fuzzing::scratchFolder() / "imported.cfg";
    const Run import =
        runCommand({"import", "-", "-o", imported.string(), "--base", file.string()}, exported.out);
    DL250T_FUZZ_CHECK(import.status == cli::kExitOk);
    DL250T_FUZZ_CHECK(loadConfigFile(fuzzing::files(), imported).check == BlockCheck::Ok);
}

}  // namespace
}  // namespace dl250t

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dl250t;
    const std::filesystem::path file = fuzzing::scratchFolder() / "input.cfg";
    fuzzing::writeFile(file, data, size);
    checkCommands(file);

    ConfigBlock block;
    std::copy_n(data, std::min(size, kBlockSize), block.bytes.begin());
    std::copy(kBlockKeyword.begin(), kBlockKeyword.end(), block.bytes.begin() + block::kIdentity);
    DL250T_FUZZ_CHECK(saveConfigFile(fuzzing::files(), file, block) == Outcome::FileWritten);
    checkCommands(file);
    return 0;
}
