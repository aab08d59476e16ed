#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "production/csv_journal.hpp"
#include "sim/simulated_module.hpp"
#include "support/temp_dir.hpp"

namespace dl250t::cli {
namespace {

// Files on disk, as the programs have them.
PosixFileStore files;

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun run(const std::vector<std::string>& args) {
    std::istringstream in;
    std::ostringstream out, err;
    const int status = runCli(args, in, out, err);
    return {status, out.str(), err.str()};
}

ConfigBlock moduleBlock() {
    ConfigBlock block = defaultSimulatedBlock();
    block[28] = 'N';
    block[36] = 9;
    for (std::size_t i = 301; i < 516; ++i) {
        block[i] = 0x77;
    }
    stampHeaderAndCrc(block);
    return block;
}

struct CliModuleTest : ::testing::Test {
    CliModuleTest() {
        SimulatedModuleOptions options;
        options.portDirectory = dir / "ports";
        options.comNumber = 201;
        options.block = moduleBlock();
        module = std::make_unique<SimulatedModule>(options);
        EXPECT_TRUE(module->plugIn()) << module->lastError();
        port = module->devicePath();
    }

    testing::TempDir dir;
    std::unique_ptr<SimulatedModule> module;
    std::string port;
};

TEST_F(CliModuleTest, ReadSavesTheModulesBlock) {
    const CliRun r = run({"read", "--port", port, "-o", (dir / "m.cfg").string()});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, std::string(outcomeText(Outcome::ModuleRead)) + "\n");
    const LoadedConfigFile file = loadConfigFile(files, dir / "m.cfg");
    EXPECT_EQ(file.check, BlockCheck::Ok);
    EXPECT_EQ(file.block, moduleBlock());
}

TEST_F(CliModuleTest, WriteKeepsTheModulesIdentityAndReportsTheSerials) {
    ConfigBlock settings = makeInitialWorkingBlock();
    encodeNetworkId(settings, 4660);
    encodeFrequencyMHz(settings, 433.0, 26);
    ASSERT_EQ(saveConfigFile(files, dir / "s.cfg", settings), Outcome::FileWritten);

    const CliRun r =
        run({"write", "--port", port, (dir / "s.cfg").string(), "--serial", "00 00 00 00 00 FF"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_THAT(r.out, HasSubstr(std::string(outcomeText(Outcome::ModuleWritten)) + "\n"));
    EXPECT_THAT(r.out, HasSubstr("serial number stored: 00 00 00 00 00 FF\n"));
    EXPECT_THAT(r.out, HasSubstr("next serial number: 00 00 00 00 01 00\n"));
    ASSERT_TRUE(module->lastStored());
    const ConfigBlock stored = *module->lastStored();
    EXPECT_EQ(stored[28], 'N');
    EXPECT_EQ(stored[36], 9);
    EXPECT_EQ(decodeNetworkId(stored), 4660);
    EXPECT_EQ(decodeSerialText(stored), "00 00 00 00 00 FF");
}

// The module's block on standard output, and what the exchange says on
// standard error, so that the file can go down a pipe.
TEST_F(CliModuleTest, ReadWritesTheFileToStandardOutputForDash) {
    const CliRun r = run({"read", "--port", port, "-o", "-"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.err, std::string(outcomeText(Outcome::ModuleRead)) + "\n");
    ConfigBlock expected = moduleBlock();
    scrambleBytes(expected.span());
    EXPECT_EQ(r.out, std::string(expected.bytes.begin(), expected.bytes.end()));
}

// Anything but six hex bytes stored 00 00 00 00 00 00, or 01 00 00 00 00 00,
// with success, and repeated serial numbers on a line.
TEST_F(CliModuleTest, WriteTakesExactlySixHexBytesAsTheSerial) {
    ConfigBlock settings = moduleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / "s.cfg", settings), Outcome::FileWritten);
    const std::string file = (dir / "s.cfg").string();
    for (const char* serial :
         {"zz", "", "-1", "0000000001", "00 00 00 00 00 0", "00 00 00 00 00 00 00", "0x0000000001",
          "00 00 00 00 00 0G", " 000000000001", "000000000001 ", "00-00-00-00-00-01",
          "0 0 0 0 0 1"}) {
        const CliRun r = run({"write", "--port", port, file, "--serial", serial});
        EXPECT_EQ(r.status, kExitUsage) << '"' << serial << '"';
        EXPECT_THAT(r.err, HasSubstr("--serial")) << serial;
    }
    EXPECT_EQ(module->readRequests(), 0u) << "nothing was sent to the module";

    const CliRun r = run({"write", "--port", port, file, "--serial", "0000 00\t0001fe"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_THAT(r.out, HasSubstr("serial number stored: 00 00 00 00 01 FE\n"));
}

TEST_F(CliModuleTest, EachKindOfFailureHasItsOwnStatus) {
    ConfigBlock settings = moduleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / "s.cfg", settings), Outcome::FileWritten);
    const std::string file = (dir / "s.cfg").string();

    module->setFault(*parseSimulatedFault("wrong-ack"));
    CliRun r = run({"write", "--port", port, file});
    EXPECT_EQ(r.status, kExitModuleRefused);
    EXPECT_THAT(r.err, HasSubstr(std::string(outcomeText(Outcome::ModuleWriteFailed))));

    module->setFault(*parseSimulatedFault("bad-crc"));
    r = run({"read", "--port", port, "-o", (dir / "x.cfg").string()});
    EXPECT_EQ(r.status, kExitInvalidBlock);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.cfg"));

    module->setFault(*parseSimulatedFault("silent"));
    r = run({"read", "--port", port, "-o", (dir / "x.cfg").string()});
    EXPECT_EQ(r.status, kExitModuleSilent);
    EXPECT_THAT(r.err, HasSubstr(std::string(outcomeText(Outcome::ResponseTimeout))));

    r = run({"read", "--port", (dir / "no-such-tty").string(), "-o", (dir / "x.cfg").string()});
    EXPECT_EQ(r.status, kExitPortOpenFailed);
    EXPECT_THAT(r.err, HasSubstr(std::string(outcomeText(Outcome::PortOpenFailed))));

    r = run({"write", "--port", port, (dir / "missing.cfg").string()});
    EXPECT_EQ(r.status, kExitFileUnreadable);
    EXPECT_EQ(run({"read", "--port", port}).status, kExitUsage);
    EXPECT_EQ(run({"write", "--port", port, ""}).status, kExitUsage);
}

// Scripts get the station's record: write and read append their line to the
// journal and can verify, and write carries the journal's numbering on.
TEST_F(CliModuleTest, WriteAndReadKeepAJournalAndVerify) {
    ConfigBlock settings = moduleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / "s.cfg", settings), Outcome::FileWritten);
    const std::string file = (dir / "s.cfg").string();
    const std::string journal = (dir / "journal.csv").string();

    CliRun r = run({"write", "--port", port, file, "--serial", "00 00 00 00 04 00", "--journal",
                    journal, "--verify"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    module->setFault(*parseSimulatedFault("corrupt-store"));
    r = run({"write", "--port", port, file, "--journal", journal, "--verify"});
    EXPECT_EQ(r.status, kExitModuleMismatch);
    EXPECT_THAT(r.err, HasSubstr("模块校验失败！"));
    // Before it, what the module holds instead, setting by setting: its
    // network ID only.
    EXPECT_THAT(r.err, ContainsRegex("^网络ID: [0-9]+ -> [0-9]+\n"));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '>'), 1) << r.err;
    module->setFault({});
    r = run({"write", "--port", port, file, "--journal", journal});
    EXPECT_THAT(r.out, HasSubstr("serial number stored: 00 00 00 00 04 02\n"))
        << "after the journal's last number, not the file's: the module that failed its "
           "verification holds 04 01";
    r = run(
        {"read", "--port", port, "-o", (dir / "m.cfg").string(), "--journal", journal, "--verify"});
    EXPECT_EQ(r.status, kExitOk) << r.err;

    std::ifstream in(journal);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        line.pop_back();
        const auto fields = parseCsvLine(line);
        ASSERT_TRUE(fields);
        rows.push_back(
            {(*fields)[5], (*fields)[6], (*fields)[7], (*fields)[9].empty() ? "" : "crc"});
    }
    EXPECT_THAT(rows, ::testing::ElementsAre(
                          ::testing::_,  // the header
                          ElementsAre("00 00 00 00 04 00", "reserved", "", ""),
                          ElementsAre("00 00 00 00 04 00", "ok", "ok", "crc"),
                          ElementsAre("00 00 00 00 04 01", "reserved", "", ""),
                          ElementsAre("00 00 00 00 04 01", "模块校验失败！", "mismatch", "crc"),
                          ElementsAre("00 00 00 00 04 02", "reserved", "", ""),
                          ElementsAre("00 00 00 00 04 02", "ok", "", "crc"),
                          ElementsAre("00 00 00 00 04 02", "ok", "ok", "")));
}

// The module's serial number is a setting the window shows, and the only one
// in which it differs from the file.
TEST_F(CliModuleTest, DiffAgainstTheModuleShowsItsSerialNumber) {
    ConfigBlock settings = moduleBlock();
    encodeSerialText(settings, "00 00 00 00 0A 0B");
    ASSERT_EQ(saveConfigFile(files, dir / "s.cfg", settings), Outcome::FileWritten);
    CliRun r = run({"diff", (dir / "s.cfg").string(), "--port", port});
    EXPECT_EQ(r.status, kExitSettingsDiffer) << r.err;
    EXPECT_EQ(r.out, "序列号: 00 00 00 00 0A 0B -> " + decodeSerialText(moduleBlock()) + "\n");

    module->setFault(*parseSimulatedFault("silent"));
    r = run({"diff", (dir / "s.cfg").string(), "--port", port});
    EXPECT_EQ(r.status, kExitModuleSilent);
    EXPECT_EQ(r.out, "");
}

TEST_F(CliModuleTest, NewOptionsRefuseWhatTheyCannotTake) {
    const std::string out = (dir / "x.cfg").string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"station"},
             {"station", "a.cfg", "--count", "0"},
             {"station", "a.cfg", "--count", "2x"},
             {"station", "a.cfg", "--port", "COM3"},
             {"station", "a.cfg", "--journal", ""},
             {"station", "a.cfg", "--journal", "--verify"},
             {"station", "a.cfg", "--serial", "00 00 00 00 01"},
             {"write", "--port", port, "a.cfg", "--count", "2"},
             {"read", "--port", port, "-o", out, "--serial", "00 00 00 00 00 01"},
             {"read", "--port", port, "-o", out, "--journal"},
         }) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, kExitUsage) << args.back();
        EXPECT_EQ(module->readRequests(), 0u);
    }
}

}  // namespace
}  // namespace dl250t::cli
