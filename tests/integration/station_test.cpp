// The production station as a production line runs it: dl250t-cli station in a
// process of its own, simulated modules plugged in one after another through
// its port directory, and the journal it leaves.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "config/module_identity.hpp"
#include "platform/journal_files.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "platform/posix/posix_port_claims.hpp"
#include "platform/posix/posix_serial_port.hpp"
#include "production/csv_journal.hpp"
#include "sim/simulated_module.hpp"
#include "support/recording_prompter.hpp"
#include "support/running_program.hpp"
#include "support/temp_dir.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kCli = DL250T_CLI_PROGRAM;
using testing::kPatience;
using testing::RunningProgram;

// The journal's lines without the reservations, each complete; every line
// of a block sent has its reservation before it.
std::vector<std::vector<std::string>> journalRows(const fs::path& journal) {
    std::ifstream in(journal, std::ios::binary);
    std::vector<std::vector<std::string>> rows;
    std::set<std::string> reserved;
    std::string line;
    while (std::getline(in, line)) {
        EXPECT_TRUE(line.ends_with('\r')) << "a complete line: " << line;
        line.pop_back();
        const auto fields = parseCsvLine(line);
        EXPECT_TRUE(fields && fields->size() == kJournalColumns.size()) << line;
        if (!fields) {
            continue;
        }
        const std::string attempt = (*fields)[2] + " " + (*fields)[5];
        if ((*fields)[6] == kReservedOutcome) {
            EXPECT_TRUE(reserved.insert(attempt).second) << "reserved twice: " << line;
            continue;
        }
        EXPECT_TRUE(rows.empty() || (*fields)[9].empty() || reserved.contains(attempt))
            << "unreserved: " << line;
        rows.push_back(*fields);
    }
    return rows;
}

std::string crcText(const ConfigBlock& block) {
    std::ostringstream text;
    text << std::uppercase << std::hex;
    text.width(4);
    text.fill('0');
    text << (block[block::kCrc] | block[block::kCrc + 1] << 8);
    return text.str();
}

// Whether a program may mount file systems of its own (a user and mount
// namespace), for a journal on a full or read-only file system.
bool mountNamespacesWork() {
    return std::system("unshare -rm true >/dev/null 2>&1") == 0;
}

struct StationTest : ::testing::Test {
    StationTest() {
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        ConfigBlock block = makeInitialWorkingBlock();
        encodeNetworkId(block, 4660);
        PosixFileStore files;
        EXPECT_EQ(saveConfigFile(files, settings, block), Outcome::FileWritten);
    }

    // The board codes of the journal's modules, in order.
    std::vector<std::string> journalBoards() const {
        std::vector<std::string> boards;
        for (const auto& row : journalRows(journal)) {
            boards.push_back(row[10]);
        }
        return std::vector(boards.begin() + 1, boards.end());
    }

    std::vector<std::string> station(std::vector<std::string> options) const {
        std::vector<std::string> command{kCli, "station", settings.string()};
        command.insert(command.end(), options.begin(), options.end());
        return command;
    }

    std::unique_ptr<SimulatedModule> module(int com, const char* fault = "none") const {
        SimulatedModuleOptions options;
        options.portDirectory = ports;
        options.comNumber = com;
        options.fault = *parseSimulatedFault(fault);
        return std::make_unique<SimulatedModule>(options);
    }

    // Plugs a module in and out once the station has told of it: its line is
    // line number `line` of the station's output.
    std::unique_ptr<SimulatedModule> configure(RunningProgram& program, std::size_t line, int com,
                                               const char* fault = "none") const {
        auto simulated = module(com, fault);
        EXPECT_TRUE(simulated->plugIn()) << simulated->lastError();
        EXPECT_TRUE(program.waitForLines(line)) << program.errText();
        simulated->unplug();
        return simulated;
    }

    testing::TempDir dir;
    fs::path runtime = dir / "run";
    fs::path ports = runtime / "dl250t" / "ports";
    fs::path settings = dir / "line.cfg";
    fs::path journal = dir / "journal.csv";
};

TEST_F(StationTest, WritesModulesWithConsecutiveSerialsAndOneCompleteJournalLineEach) {
    RunningProgram program(station({"--serial", "00 00 00 00 01 FF", "--journal", journal}),
                           runtime);
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    EXPECT_THAT(program.outLines()[0], HasSubstr("first serial number: 00 00 00 00 01 FF"));
    std::vector<std::unique_ptr<SimulatedModule>> modules;
    for (int com : {3, 4, 5}) {
        modules.push_back(configure(program, modules.size() + 2, com));
    }
    program.signal(SIGTERM);
    EXPECT_EQ(program.finish(), cli::kExitOk) << program.errText();

    const std::vector<std::string> serials{"00 00 00 00 01 FF", "00 00 00 00 02 00",
                                           "00 00 00 00 02 01"};
    const auto lines = program.outLines();
    ASSERT_EQ(lines.size(), 1u + 3 + 4);
    const auto rows = journalRows(journal);
    ASSERT_EQ(rows.size(), 1u + 3);
    EXPECT_EQ(rows[0], std::vector<std::string>(kJournalColumns.begin(), kJournalColumns.end()));
    const std::regex isoTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    for (std::size_t i = 0; i < modules.size(); ++i) {
        SCOPED_TRACE(i);
        const auto stored = modules[i]->lastStored();
        ASSERT_EQ(modules[i]->storedCount(), 1u);
        EXPECT_EQ(decodeSerialText(*stored), serials[i]);
        EXPECT_EQ(decodeNetworkId(*stored), 4660) << "the settings of the file";

        const auto& row = rows[i + 1];
        EXPECT_TRUE(std::regex_match(row[0], isoTime)) << row[0];
        EXPECT_EQ(row[1], hostName());
        EXPECT_EQ(row[2], "COM" + std::to_string(3 + i));
        EXPECT_EQ(row[3], identityName(defaultSimulatedBlock()));
        EXPECT_EQ(row[4], identityVersion(defaultSimulatedBlock()));
        EXPECT_EQ(row[5], serials[i]);
        EXPECT_EQ(row[6], "ok");
        EXPECT_EQ(row[7], "");
        EXPECT_THAT(row[8], ::testing::MatchesRegex("[0-9]+"));
        EXPECT_EQ(row[9], crcText(*stored));

        EXPECT_THAT(lines[i + 1], ::testing::EndsWith(" COM" + std::to_string(3 + i) +
                                                      " 模块写入成功！ " + serials[i]));
    }
    EXPECT_THAT(std::vector(lines.end() - 4, lines.end()),
                ElementsAre("modules written: 3", "modules failed: 0",
                            "first serial number: 00 00 00 00 01 FF",
                            "last serial number: 00 00 00 00 02 01"));
}

// A module that may hold its number keeps it: one that stored a changed byte,
// one that stored the block without acknowledging it, one whose answer was
// wrong. The journal tells what a look at each found, and the next module
// gets a number of its own.
// A code scanned before its module and one scanned after it: each module is
// written with its own, and is written only once it has one. Standard input
// that ends stops the station, which can get no more codes.
TEST_F(StationTest, ScannedCodesPairWithTheModulesBeforeOrAfterThem) {
    RunningProgram program(
        station({"--serial", "00 00 00 00 01 00", "--journal", journal, "--scan", "-"}), runtime,
        true);
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    ASSERT_TRUE(program.input("B-001\r\n"));
    ASSERT_TRUE(program.waitForLines(2)) << program.errText();
    const auto first = configure(program, 3, 3);
    const auto second = module(4);
    ASSERT_TRUE(second->plugIn());
    ASSERT_TRUE(program.waitForLines(4)) << program.errText();
    EXPECT_EQ(second->storedCount(), 0u) << "not written without its code";
    ASSERT_TRUE(program.input("B-002\n"));
    ASSERT_TRUE(program.waitForLines(5)) << program.errText();
    program.closeInput();
    EXPECT_EQ(program.finish(), cli::kExitScannerEnded);
    EXPECT_THAT(program.errText(), HasSubstr("end of standard input"));

    const auto lines = program.outLines();
    EXPECT_EQ(lines[1], "board code B-001 waits for a module");
    EXPECT_THAT(lines[2], ::testing::EndsWith(" COM3 模块写入成功！ 00 00 00 00 01 00 B-001"));
    EXPECT_EQ(lines[3], "COM4 waits for the board's code");
    EXPECT_THAT(lines[4], ::testing::EndsWith(" COM4 模块写入成功！ 00 00 00 00 01 01 B-002"));
    EXPECT_EQ(second->storedCount(), 1u);
    EXPECT_THAT(journalBoards(), ElementsAre("B-001", "B-002"));
}

// A code that is too long or holds a control character is not used; a code
// scanned again replaces the one waiting; a module pulled out while it
// waited does not take the next code. A scanner on a serial port that goes
// away stops the station.
TEST_F(StationTest, RefusedAndReplacedCodesAndAScannerPortThatGoes) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    RunningProgram program(station({"--journal", journal, "--scan", ptsname(master)}), runtime);
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    const auto scan = [&](const std::string& bytes) {
        EXPECT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    };
    const auto pulled = module(5);
    ASSERT_TRUE(pulled->plugIn());
    ASSERT_TRUE(program.waitForLines(2)) << program.errText();
    pulled->unplug();
    scan(std::string(65, 'L') + "\r" + "C-\x01\r" + "OLD\r");
    ASSERT_TRUE(program.waitForLines(3)) << program.errText();
    scan(std::string(64, 'N') + "\r");
    ASSERT_TRUE(program.waitForLines(4)) << program.errText();
    configure(program, 5, 6);
    ::close(master);
    EXPECT_EQ(program.finish(), cli::kExitScannerEnded);

    const auto lines = program.outLines();
    EXPECT_EQ(lines[1], "COM5 waits for the board's code");
    EXPECT_EQ(lines[2], "board code OLD waits for a module") << "not paired with COM5";
    EXPECT_EQ(lines[3], "board code " + std::string(64, 'N') + " replaces OLD, waits for a module");
    EXPECT_THAT(lines[4], ::testing::EndsWith(" " + std::string(64, 'N')));
    EXPECT_EQ(pulled->storedCount(), 0u);
    EXPECT_THAT(journalBoards(), ElementsAre(std::string(64, 'N')));
    EXPECT_THAT(program.errText(), HasSubstr("longer than 64 characters"));
    EXPECT_THAT(program.errText(), HasSubstr("not printable ASCII: C-\\x01"));
    EXPECT_THAT(program.errText(), HasSubstr("port failed or is gone"));
}

TEST_F(StationTest, ModuleThatMayHoldItsNumberKeepsItWhateverWentWrong) {
    RunningProgram program(
        station({"--serial", "00 00 00 00 03 00", "--journal", journal, "--verify"}), runtime);
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    const auto good = configure(program, 2, 3);
    const auto corrupting = configure(program, 3, 4, "corrupt-store");
    const auto silent = configure(program, 4, 5, "no-ack");
    const auto wrong = configure(program, 5, 6, "wrong-ack");
    const auto next = configure(program, 6, 7);
    program.signal(SIGINT);
    EXPECT_EQ(program.finish(), cli::kExitOk);

    const auto rows = journalRows(journal);
    ASSERT_EQ(rows.size(), 6u);
    const auto columns = [&](std::size_t i) {
        return std::vector{rows[i][5], rows[i][6], rows[i][7]};
    };
    EXPECT_THAT(columns(1), ElementsAre("00 00 00 00 03 00", "ok", "ok"));
    EXPECT_THAT(columns(2), ElementsAre("00 00 00 00 03 01", "模块校验失败！", "mismatch"));
    EXPECT_THAT(columns(3), ElementsAre("00 00 00 00 03 02", "模块写入失败！", "stored"));
    EXPECT_THAT(columns(4), ElementsAre("00 00 00 00 03 03", "模块写入失败！", "stored"));
    EXPECT_THAT(columns(5), ElementsAre("00 00 00 00 03 04", "ok", "ok"));
    for (const auto* module : {&corrupting, &silent, &wrong, &next}) {
        EXPECT_EQ((*module)->storedCount(), 1u);
    }
    EXPECT_EQ(decodeSerialText(*silent->lastStored()), "00 00 00 00 03 02");
    EXPECT_EQ(decodeSerialText(*next->lastStored()), "00 00 00 00 03 04");
    EXPECT_THAT(program.outLines()[2], ::testing::EndsWith(" COM4 模块校验失败！ -"));
    EXPECT_THAT(program.errText(), HasSubstr("模块校验失败！"));
}

// A station killed once its module stored the block, before the
// acknowledgement or just after it, is started again: the number that module
// holds is never given to the next one, and the journal keeps it, settled or
// interrupted.
TEST_F(StationTest, StationKilledAfterTheModuleStoredItsBlockNeverGivesItsNumberAgain) {
    for (const char* fault : {"no-ack", "none"}) {
        SCOPED_TRACE(fault);
        fs::remove(journal);
        auto killed = module(3, fault);
        {
            RunningProgram program(station({"--serial", "00 00 00 00 07 00", "--journal", journal}),
                                   runtime);
            ASSERT_TRUE(program.waitForLines(1)) << program.errText();
            ASSERT_TRUE(killed->plugIn());
            const auto deadline = std::chrono::steady_clock::now() + kPatience;
            while (killed->storedCount() == 0 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            program.signal(SIGKILL);
            program.finish();
            killed->unplug();
        }
        ASSERT_EQ(killed->storedCount(), 1u);
        const std::string held = decodeSerialText(*killed->lastStored());
        RunningProgram again(station({"--journal", journal}), runtime);
        ASSERT_TRUE(again.waitForLines(1)) << again.errText();
        const auto next = configure(again, 2, 4);
        again.signal(SIGTERM);
        EXPECT_EQ(again.finish(), cli::kExitOk);
        ASSERT_EQ(next->storedCount(), 1u);
        EXPECT_NE(decodeSerialText(*next->lastStored()), held);
        const auto rows = journalRows(journal);
        EXPECT_TRUE(std::ranges::any_of(rows, [&](const auto& row) {
            return row[5] == held && (row[6] == "ok" || row[6] == kInterruptedOutcome);
        })) << held;
    }
}

// Two writes started at once on one journal, both proposing the file's
// number: the journal's lock gives each module a number of its own.
TEST_F(StationTest, TwoWritesAtOnceOnOneJournalGiveTwoNumbers) {
    const auto write = [&](const char* port) {
        return std::vector<std::string>{
            kCli, "write", "--port", port, settings.string(), "--journal", journal.string()};
    };
    for (int round = 0; round < 3; ++round) {
        auto one = module(3);
        auto two = module(4);
        ASSERT_TRUE(one->plugIn() && two->plugIn());
        RunningProgram first(write("COM3"), runtime);
        RunningProgram second(write("COM4"), runtime);
        EXPECT_EQ(first.finish(), cli::kExitOk) << first.errText();
        EXPECT_EQ(second.finish(), cli::kExitOk) << second.errText();
        ASSERT_TRUE(one->lastStored() && two->lastStored());
        EXPECT_NE(decodeSerialText(*one->lastStored()), decodeSerialText(*two->lastStored()));
    }
}

TEST_F(StationTest, StationStartedAgainContinuesAfterItsLastSerialNumber) {
    {
        RunningProgram first(
            station({"--serial", "00 00 00 00 05 00", "--journal", journal, "--count", "2"}),
            runtime);
        ASSERT_TRUE(first.waitForLines(1)) << first.errText();
        configure(first, 2, 3);
        configure(first, 3, 4, "silent");
        configure(first, 4, 5);
        EXPECT_EQ(first.finish(), cli::kExitOk) << "ends by itself after two modules written";
        EXPECT_THAT(first.outLines(), ::testing::Contains("modules failed: 1"));
    }
    RunningProgram again(station({"--journal", journal}), runtime);
    ASSERT_TRUE(again.waitForLines(1)) << again.errText();
    EXPECT_THAT(again.outLines()[0], HasSubstr("first serial number: 00 00 00 00 05 02"));
    const auto module = configure(again, 2, 6);
    again.signal(SIGTERM);
    EXPECT_EQ(again.finish(), cli::kExitOk);
    EXPECT_EQ(decodeSerialText(*module->lastStored()), "00 00 00 00 05 02");
}

TEST_F(StationTest, WithoutSerialOrJournalTheWindowsDefaultComesFirst) {
    const auto secondsNow = [] {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const std::int64_t before = secondsNow();
    RunningProgram program(station({}), runtime);
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    const std::int64_t after = secondsNow();
    const auto module = configure(program, 2, 3);
    program.signal(SIGTERM);
    EXPECT_EQ(program.finish(), cli::kExitOk);
    const std::string stored = decodeSerialText(*module->lastStored());
    bool startTime = false;
    for (std::int64_t t = before; t <= after; ++t) {
        startTime = startTime || stored == defaultSerialText(t);
    }
    EXPECT_TRUE(startTime) << stored << ", not the file's 00 00 00 00 00 00";
}

// SIGTERM while a module is being written: the module is finished, then the
// station ends with its summary.
TEST_F(StationTest, SignalDuringAModuleLetsItFinish) {
    RunningProgram program(station({"--journal", journal}), runtime);
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    auto slow = module(3);
    slow->setPace(true);  // about 0.1 s on the line
    ASSERT_TRUE(slow->plugIn());
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (slow->readRequests() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    program.signal(SIGTERM);
    EXPECT_EQ(program.finish(), cli::kExitOk) << program.errText();
    EXPECT_EQ(slow->storedCount(), 1u);
    EXPECT_THAT(program.outLines(), ::testing::Contains("modules written: 1"));
    EXPECT_EQ(journalRows(journal).size(), 2u);
}

// A journal deleted or moved away while the station runs is started afresh
// at its path; no line goes into a file nobody will find. What is at the path
// then is checked as at the start: a link to a file that is no journal stops
// the station before the next module, and the file is left as it was.
TEST_F(StationTest, JournalRemovedWhileRunningIsStartedAfreshAndChecked) {
    RunningProgram program(station({"--serial", "00 00 00 00 06 00", "--journal", journal}),
                           runtime);
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    configure(program, 2, 3);
    fs::rename(journal, dir / "moved.csv");
    configure(program, 3, 3);
    const std::vector<std::uint8_t> victim = {'r', 'o', 'o', 't', '\n'};
    testing::writeAll(dir / "victim.txt", victim);
    fs::rename(journal, dir / "journal.old");
    fs::create_symlink(dir / "victim.txt", journal);
    auto next = module(4);
    ASSERT_TRUE(next->plugIn());
    EXPECT_EQ(program.finish(), cli::kExitJournalFailed) << program.errText();
    EXPECT_THAT(program.errText(), HasSubstr("not a production journal"));
    EXPECT_EQ(next->readRequests(), 0u) << "the module was not touched";
    EXPECT_EQ(testing::readAll(dir / "victim.txt"), victim);
    const auto rows = journalRows(dir / "journal.old");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "time");
    EXPECT_EQ(rows[1][5], "00 00 00 00 06 01");
    EXPECT_EQ(journalRows(dir / "moved.csv").size(), 2u);
}

// A line must not go on unrecorded: a journal that cannot be written stops
// the station, before it touches the next module, with the reason.
TEST_F(StationTest, JournalOnAFullOrReadOnlyFileSystemStopsTheStation) {
    if (!mountNamespacesWork()) {
        GTEST_SKIP() << "this machine lets no program mount a file system of its own";
    }
    const fs::path mounted = dir / "medium";
    fs::create_directory(mounted);
    const std::string header =
        "time,station,port,module,version,serial,outcome,verify,"
        "milliseconds,crc\\r\\n";
    struct Case {
        const char* name;
        std::string mount;  // shell commands run in the station's own namespace
        bool startsUp;      // the journal opens, and fails once a module is there
        const char* reason;
    };
    const Case cases[] = {
        {"full", "mount -t tmpfs -o size=4k tmpfs \"$M\"", true, "No space left on device"},
        {"read-only",
         "mount -t tmpfs tmpfs \"$M\" && printf '" + header +
             "' > \"$M/journal.csv\" && mount -o remount,ro \"$M\"",
         false, "Read-only file system"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> command{
            "unshare",
            "-rm",
            "sh",
            "-c",
            "M=" + mounted.string() + "; " + c.mount + " && exec \"$@\"",
            "sh"};
        const auto stationCommand =
            station({"--serial", "00 00 00 00 07 00", "--journal", mounted / "journal.csv"});
        command.insert(command.end(), stationCommand.begin(), stationCommand.end());
        RunningProgram program(command, runtime);
        if (c.startsUp) {
            ASSERT_TRUE(program.waitForLines(1)) << program.errText();
            auto simulated = module(3);
            ASSERT_TRUE(simulated->plugIn());
            EXPECT_EQ(program.finish(), cli::kExitJournalFailed) << program.errText();
            EXPECT_EQ(simulated->readRequests(), 0u) << "the module was not touched";
            EXPECT_EQ(simulated->storedCount(), 0u);
            EXPECT_THAT(program.outLines(), ::testing::Contains("modules written: 0"));
        } else {
            EXPECT_EQ(program.finish(), cli::kExitJournalFailed) << program.errText();
            EXPECT_TRUE(program.outLines().empty()) << "it never got ready";
        }
        EXPECT_THAT(program.errText(), HasSubstr("生产记录写入失败！"));
        EXPECT_THAT(program.errText(), HasSubstr(c.reason));
    }
}

TEST_F(StationTest, JournalThatIsNoJournalStopsTheStationAtOnce) {
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    struct Case {
        fs::path journal;
        const char* reason;
    };
    const Case cases[] = {
        {dir / "pipe", "is not a regular file"},
        {dir / "folder", "cannot be opened"},
        {settings, "not a production journal"},
        {dir / "missing" / "journal.csv", "No such file or directory"},
        {dir / "dangling.csv", "symbolic link that leads nowhere"},
    };
    fs::create_symlink(dir / "nowhere.csv", dir / "dangling.csv");
    const auto settingsBefore = testing::readAll(settings);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.journal);
        RunningProgram program(station({"--journal", c.journal}), runtime);
        EXPECT_EQ(program.finish(), cli::kExitJournalFailed);
        EXPECT_THAT(program.errText(), HasSubstr(c.reason));
    }
    EXPECT_EQ(testing::readAll(settings), settingsBefore) << "a file that is no journal is kept";
    EXPECT_FALSE(fs::exists(dir / "nowhere.csv")) << "a link creates no file where it leads";
}

// Two stations on one journal, each with modules of its own plugged in at
// the same time: one header, and every line whole.
TEST_F(StationTest, TwoStationsAppendingToOneJournalNeverMixTheirLines) {
    constexpr int kModules = 50;
    const fs::path otherRuntime = dir / "other";
    fs::create_directory(otherRuntime);
    fs::permissions(otherRuntime, fs::perms::owner_all, fs::perm_options::replace);
    RunningProgram one(station({"--serial", "00 00 00 00 10 00", "--journal", journal}), runtime);
    RunningProgram two(station({"--serial", "00 00 00 00 20 00", "--journal", journal}),
                       otherRuntime);
    ASSERT_TRUE(one.waitForLines(1)) << one.errText();
    ASSERT_TRUE(two.waitForLines(1)) << two.errText();

    const auto plugIn = [&](RunningProgram& program, const fs::path& portDirectory) {
        for (int i = 0; i < kModules; ++i) {
            SimulatedModuleOptions options;
            options.portDirectory = portDirectory;
            options.comNumber = 3;
            SimulatedModule simulated(options);
            ASSERT_TRUE(simulated.plugIn());
            ASSERT_TRUE(program.waitForLines(static_cast<std::size_t>(i) + 2));
        }
    };
    std::thread other([&] { plugIn(two, otherRuntime / "dl250t" / "ports"); });
    plugIn(one, ports);
    other.join();
    one.signal(SIGTERM);
    two.signal(SIGTERM);
    EXPECT_EQ(one.finish(), cli::kExitOk);
    EXPECT_EQ(two.finish(), cli::kExitOk);

    const auto rows = journalRows(journal);
    ASSERT_EQ(rows.size(), 1u + 2 * kModules);
    std::vector<std::string> serials;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_NE(rows[i][0], "time") << "one header";
        EXPECT_EQ(rows[i][6], "ok");
        serials.push_back(rows[i][5]);
    }
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(serials.front(), "00 00 00 00 10 00");
    EXPECT_EQ(serials[kModules - 1], "00 00 00 00 10 31");
    EXPECT_EQ(serials[kModules], "00 00 00 00 20 00");
    EXPECT_EQ(serials.back(), "00 00 00 00 20 31");
    EXPECT_EQ(std::adjacent_find(serials.begin(), serials.end()), serials.end());
}

// One module, one writer: of two stations watching one port directory, the
// first to claim a module's port writes it, the other says who has it.
TEST_F(StationTest, TwoStationsOnOnePortWriteEachModuleOnce) {
    RunningProgram one(station({}), runtime);
    RunningProgram two(station({}), runtime);
    ASSERT_TRUE(one.waitForLines(1) && two.waitForLines(1)) << one.errText() << two.errText();
    for (const std::size_t line : {2u, 3u}) {
        const auto simulated = module(3);
        ASSERT_TRUE(simulated->plugIn()) << simulated->lastError();
        ASSERT_TRUE(one.waitForLines(line) && two.waitForLines(line));
        simulated->unplug();
        EXPECT_EQ(simulated->storedCount(), 1u);
        const std::vector said{one.outLines()[line - 1], two.outLines()[line - 1]};
        EXPECT_EQ(
            std::ranges::count_if(said,
                                  [](const std::string& text) {
                                      return text.ends_with(" COM3 串口正由另一个程序使用！ -");
                                  }),
            1)
            << said[0] << '\n'
            << said[1];
    }
    one.signal(SIGTERM);
    two.signal(SIGTERM);
    EXPECT_EQ(one.finish(), cli::kExitOk);
    EXPECT_EQ(two.finish(), cli::kExitOk);
    for (RunningProgram* program : {&one, &two}) {
        EXPECT_THAT(program->outLines(), ::testing::Contains("modules failed: 0"));
    }
}

// A station holds a module's port until the module is unplugged: the window
// in auto-configure and the companion's write leave it alone until the
// station is gone, however it ended.
TEST_F(StationTest, PortHeldByAStationIsLeftAloneUntilTheStationIsKilled) {
    RunningProgram holder(station({}), runtime);
    ASSERT_TRUE(holder.waitForLines(1)) << holder.errText();
    const auto simulated = module(3);
    ASSERT_TRUE(simulated->plugIn()) << simulated->lastError();
    ASSERT_TRUE(holder.waitForLines(2)) << holder.errText();

    InMemoryFormView view;
    testing::RecordingPrompter prompter;
    HeadlessWindowHost host;
    SystemClock clock;
    PosixFileStore files;
    PosixSerialPortFactory serialPorts(ports);
    PosixPortClaims claims(ports);
    ConfigDialog window({.view = view,
                         .prompter = prompter,
                         .host = host,
                         .ports = serialPorts,
                         .clock = clock,
                         .files = files,
                         .programName = "dl250t-config",
                         .claims = &claims});
    window.initialise();
    view.setChecked(ctl::AutoConfigure, true);
    window.handleControlEvent(ControlEvent::Clicked, ctl::AutoConfigure);
    window.handlePortEvent({PortEvent::Kind::Arrival, "COM3"});
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::PortInUse));
    EXPECT_THAT(prompter.messages(), ::testing::IsEmpty()) << "auto-configure waits for no click";

    const auto write = [&] {
        RunningProgram companion({kCli, "write", "--port", "COM3", settings.string()}, runtime);
        return companion.finish();
    };
    EXPECT_EQ(write(), cli::kExitPortOpenFailed);
    EXPECT_EQ(simulated->storedCount(), 1u);
    holder.signal(SIGKILL);
    EXPECT_EQ(holder.finish(), -1);
    EXPECT_EQ(write(), cli::kExitOk);
    EXPECT_EQ(simulated->storedCount(), 2u);
}

}  // namespace
}  // namespace dl250t
