// Several stations on one production line with the journal in PostgreSQL:
// dl250t-cli station processes, each with a port directory and simulated
// modules of its own, against the throwaway server that scripts/test starts.

#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "sim/simulated_module.hpp"
#include "support/running_program.hpp"
#include "support/temp_dir.hpp"
#include "support/test_database.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::RunningProgram;

const std::string kCli = DL250T_CLI_PROGRAM;

std::uint64_t serialNumber(const ConfigBlock& block) {
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < block::kSerialSize; ++i) {
        number = number << 8 | block[block::kSerial + i];
    }
    return number;
}

// Modules plugged into one station, one after another, each once the
// station has told of the one before; the serial numbers they stored.
class ModuleFeeder {
public:
    explicit ModuleFeeder(fs::path ports) : ports_(std::move(ports)) {}

    // Plugs in `count` modules (until the station ends when count is 0);
    // `told` is how many lines the station had printed before the first.
    void feed(RunningProgram& station, std::size_t told, int count = 0) {
        for (int i = 0; count == 0 || i < count; ++i) {
            SimulatedModuleOptions options;
            options.portDirectory = ports_;
            options.comNumber = 3;
            SimulatedModule module(options);
            if (!module.plugIn()) {
                ADD_FAILURE() << module.lastError();
                return;
            }
            const bool reported = station.waitForLines(told + static_cast<std::size_t>(i) + 1);
            module.unplug();
            if (const auto stored = module.lastStored()) {
                std::lock_guard lock(mutex_);
                stored_.push_back(serialNumber(*stored));
            }
            if (!reported) {
                return;
            }
        }
    }

    std::vector<std::uint64_t> stored() {
        std::lock_guard lock(mutex_);
        return stored_;
    }

private:
    fs::path ports_;
    std::mutex mutex_;
    std::vector<std::uint64_t> stored_;
};

struct DatabaseStationTest : testing::DatabaseTest {
    void SetUp() override {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        PosixFileStore files;
        ConfigBlock block = makeInitialWorkingBlock();
        ASSERT_EQ(saveConfigFile(files, settings, block), Outcome::FileWritten);
    }

    // A station's port directory lives under a runtime folder of its own.
    fs::path runtime(int station) const {
        const fs::path folder = dir / ("run-" + std::to_string(station));
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
        return folder;
    }

    static fs::path ports(const fs::path& runtime) { return runtime / "dl250t" / "ports"; }

    std::vector<std::string> station(const std::string& line,
                                     std::vector<std::string> options = {}) const {
        std::vector<std::string> command{kCli,     "station", settings.string(), "--journal", uri,
                                         "--line", line};
        command.insert(command.end(), options.begin(), options.end());
        return command;
    }

    // The serial numbers of the line's modules written, as the journal has
    // them, in order.
    std::vector<std::uint64_t> writtenSerials(const std::string& line) {
        std::vector<std::uint64_t> serials;
        for (const auto& row : rows("SELECT serial_number, serial, crc FROM dl250t_journal WHERE "
                                    "line = '" +
                                    line + "' AND outcome = 'ok' ORDER BY serial_number")) {
            EXPECT_NE(row[2], "") << "a written module has the CRC of its block";
            serials.push_back(std::stoull(row[0]));
            ConfigBlock block;
            encodeSerialText(block, row[1]);
            EXPECT_EQ(serialNumber(block), serials.back()) << "the same number twice over";
        }
        return serials;
    }

    testing::TempDir dir;
    fs::path settings = dir / "line.cfg";
};

std::vector<std::uint64_t> consecutive(std::uint64_t first, std::size_t count) {
    std::vector<std::uint64_t> serials;
    for (std::size_t i = 0; i < count; ++i) {
        serials.push_back(first + i);
    }
    return serials;
}

// Three stations, a hundred modules each at the same time: every module of
// the line a number of its own, no number skipped, one ok line each.
TEST_F(DatabaseStationTest, ThreeStationsOnOneLineGiveConsecutiveSerialNumbersWithoutDuplicates) {
    constexpr int kStations = 3;
    constexpr int kModules = 100;
    std::vector<std::unique_ptr<RunningProgram>> stations;
    std::vector<std::unique_ptr<ModuleFeeder>> feeders;
    for (int i = 0; i < kStations; ++i) {
        const fs::path folder = runtime(i);
        stations.push_back(std::make_unique<RunningProgram>(
            station("line A", {"--serial", "00 00 00 00 10 00"}), folder.string()));
        feeders.push_back(std::make_unique<ModuleFeeder>(ports(folder)));
    }
    for (auto& program : stations) {
        ASSERT_TRUE(program->waitForLines(1)) << program->errText();
        EXPECT_THAT(program->outLines()[0], HasSubstr("first serial number: 00 00 00 00 10 00"));
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < kStations; ++i) {
        threads.emplace_back([&, i] { feeders[i]->feed(*stations[i], 1, kModules); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::vector<std::uint64_t> stored;
    for (int i = 0; i < kStations; ++i) {
        stations[i]->signal(SIGTERM);
        EXPECT_EQ(stations[i]->finish(), cli::kExitOk) << stations[i]->errText();
        EXPECT_THAT(stations[i]->outLines(), ::testing::Contains("modules written: 100"));
        const auto fed = feeders[i]->stored();
        stored.insert(stored.end(), fed.begin(), fed.end());
    }
    std::sort(stored.begin(), stored.end());
    const auto expected = consecutive(0x1000, kStations * kModules);
    EXPECT_EQ(stored, expected) << "what the modules hold";
    EXPECT_EQ(writtenSerials("line A"), expected) << "what the journal holds";
    EXPECT_THAT(rows("SELECT next_serial FROM dl250t_line WHERE line = 'line A'"),
                ::testing::ElementsAre(::testing::ElementsAre("4396")));
}

// A station killed while it writes a module, after the module stored the
// block: its number stays reserved, the other station goes on after it, and
// the killed station started again records the gap as interrupted. No
// number is in two modules, and every number stored is in the journal.
TEST_F(DatabaseStationTest, StationKilledInTheMiddleOfAModuleLeavesARecordedGapAndNoDuplicate) {
    const fs::path first = runtime(1);
    const fs::path second = runtime(2);
    auto killed = std::make_unique<RunningProgram>(
        station("line K", {"--serial", "00 00 00 00 20 00"}), first.string());
    ASSERT_TRUE(killed->waitForLines(1)) << killed->errText();
    RunningProgram other(station("line K"), second.string());
    ASSERT_TRUE(other.waitForLines(1)) << other.errText();
    EXPECT_THAT(other.outLines()[0], HasSubstr("first serial number: 00 00 00 00 20 00"));

    // A module that stores the block and keeps the station waiting for its
    // acknowledgement.
    SimulatedModuleOptions options;
    options.portDirectory = ports(first);
    options.comNumber = 3;
    options.fault = *parseSimulatedFault("no-ack");
    SimulatedModule slow(options);
    ASSERT_TRUE(slow.plugIn());
    const auto deadline = std::chrono::steady_clock::now() + testing::kPatience;
    while (slow.storedCount() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(slow.storedCount(), 1u) << "the module is being written";
    killed->signal(SIGKILL);
    EXPECT_EQ(killed->finish(), -1);
    slow.unplug();

    ModuleFeeder otherModules(ports(second));
    otherModules.feed(other, 1, 1);
    killed = std::make_unique<RunningProgram>(station("line K"), first.string());
    ASSERT_TRUE(killed->waitForLines(1)) << killed->errText();
    ModuleFeeder again(ports(first));
    again.feed(*killed, 1, 1);
    for (RunningProgram* program : {killed.get(), &other}) {
        program->signal(SIGTERM);
        EXPECT_EQ(program->finish(), cli::kExitOk) << program->errText();
    }
    std::vector<std::uint64_t> stored = {serialNumber(*slow.lastStored())};
    for (ModuleFeeder* feeder : {&otherModules, &again}) {
        const auto fed = feeder->stored();
        stored.insert(stored.end(), fed.begin(), fed.end());
    }
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, consecutive(0x2000, 3)) << "what the modules hold, each number once";
    EXPECT_THAT(rows("SELECT serial_number, outcome FROM dl250t_journal WHERE line = 'line K' "
                     "ORDER BY serial_number"),
                ::testing::ElementsAre(::testing::ElementsAre("8192", "interrupted"),
                                       ::testing::ElementsAre("8193", "ok"),
                                       ::testing::ElementsAre("8194", "ok")));
}

// A database that cannot be reached, and a --serial that disagrees with the
// line, stop the station before it is ready, with the reason.
TEST_F(DatabaseStationTest, StationThatCannotUseTheLineStopsAtOnceAndSaysWhy) {
    {
        RunningProgram start(station("line S", {"--serial", "00 00 00 00 30 00", "--count", "1"}),
                             runtime(1).string());
        ASSERT_TRUE(start.waitForLines(1)) << start.errText();
        start.signal(SIGTERM);
        EXPECT_EQ(start.finish(), cli::kExitOk);
    }
    struct Case {
        const char* name;
        std::vector<std::string> command;
        const char* reason;
    };
    const Case cases[] = {
        {"no server",
         {kCli, "station", settings.string(), "--journal",
          "postgresql:///postgres?host=" + (dir / "no-server").string(), "--line", "line S"},
         "cannot connect"},
        {"another start", station("line S", {"--serial", "00 00 00 00 01 00"}),
         "goes on at serial number 00 00 00 00 30 00, not at 00 00 00 00 01 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunningProgram program(c.command, runtime(2).string());
        EXPECT_EQ(program.finish(), cli::kExitJournalFailed);
        EXPECT_TRUE(program.outLines().empty()) << "never ready";
        EXPECT_THAT(program.errText(), HasSubstr("生产记录写入失败！"));
        EXPECT_THAT(program.errText(), HasSubstr(c.reason));
    }
}

// The server restarted while two stations wait between modules: each
// connects again at its next module and carries on. Then the server
// refuses their role while their sessions end: each stops before its next
// module with the reason and status 11; started again once it is back, they
// carry on from the line's number, and the journal's modules are numbered
// without a gap or a duplicate.
TEST_F(DatabaseStationTest, ServerRestartedBetweenModulesIsReconnectedAndAStationThatCannotStops) {
    const char* server = std::getenv("DL250T_TEST_DATABASE_DIR");
    if (server == nullptr || *server == '\0') {
        GTEST_SKIP() << "needs a server it may restart: scripts/test names its folder in "
                        "DL250T_TEST_DATABASE_DIR";
    }
    const std::string restart = std::string(DL250T_DATABASE_SCRIPT) + " restart '" + server + "'";
    // The stations log in as the test's own role; its session stays.
    const auto allowConnections = [&](bool allowed) {
        return database->query("DO $$ BEGIN EXECUTE format('ALTER ROLE %I " +
                               std::string(allowed ? "LOGIN" : "NOLOGIN") +
                               "', current_user); END $$");
    };
    struct AllowAgain {
        std::function<void()> allow;
        ~AllowAgain() { allow(); }
    } allowAgain{[&] { allowConnections(true); }};

    const fs::path folders[] = {runtime(1), runtime(2)};
    std::vector<std::unique_ptr<RunningProgram>> stations;
    std::vector<std::unique_ptr<ModuleFeeder>> feeders;
    const auto start = [&](std::vector<std::string> options) {
        stations.clear();
        feeders.clear();
        for (const fs::path& folder : folders) {
            stations.push_back(
                std::make_unique<RunningProgram>(station("line R", options), folder.string()));
            ASSERT_TRUE(stations.back()->waitForLines(1)) << stations.back()->errText();
            feeders.push_back(std::make_unique<ModuleFeeder>(ports(folder)));
        }
    };
    // `count` more modules at each station, at the same time.
    const auto feedEach = [&](int count) {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < stations.size(); ++i) {
            threads.emplace_back(
                [&, i] { feeders[i]->feed(*stations[i], stations[i]->outLines().size(), count); });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    };
    std::size_t written = 0;
    const auto countWritten = [&] {
        for (auto& program : stations) {
            for (const std::string& line : program->outLines()) {
                if (line.starts_with("modules written: ")) {
                    written += std::stoul(line.substr(17));
                }
            }
        }
    };

    start({"--serial", "00 00 00 00 40 00"});
    feedEach(3);
    ASSERT_EQ(std::system(restart.c_str()), 0) << restart;
    ASSERT_TRUE(database->reconnect()) << database->problem();
    feedEach(3);

    ASSERT_TRUE(allowConnections(false)) << database->problem();
    rows(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = "
        "'dl250t line R'");
    feedEach(1);
    for (auto& program : stations) {
        EXPECT_EQ(program->finish(), cli::kExitJournalFailed);
        EXPECT_THAT(program->errText(), HasSubstr("stopped before the next module"));
        EXPECT_THAT(program->errText(), HasSubstr("database journal, line \"line R\""));
        EXPECT_THAT(program->outLines(), ::testing::Contains("modules written: 6"));
    }
    countWritten();

    ASSERT_TRUE(allowConnections(true)) << database->problem();
    start({});
    feedEach(3);
    for (auto& program : stations) {
        program->signal(SIGTERM);
        EXPECT_EQ(program->finish(), cli::kExitOk) << program->errText();
    }
    countWritten();
    EXPECT_EQ(written, 2u * 9u);
    EXPECT_EQ(writtenSerials("line R"), consecutive(0x4000, written));
}

// A line's name may run beyond the 63 bytes that the server keeps of a
// session's name: the station uses it without a notice on its output.
TEST_F(DatabaseStationTest, LongLineNameIsUsedWithoutANoticeFromTheServer) {
    const std::string line = "线 " + std::string(96, 'x');
    const fs::path folder = runtime(1);
    RunningProgram program(station(line, {"--count", "1"}), folder.string());
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    ModuleFeeder(ports(folder)).feed(program, 1, 1);
    EXPECT_EQ(program.finish(), cli::kExitOk);
    EXPECT_THAT(program.errText(), ::testing::Not(HasSubstr("NOTICE")));
    EXPECT_EQ(writtenSerials(line).size(), 1u);
}

}  // namespace
}  // namespace dl250t
