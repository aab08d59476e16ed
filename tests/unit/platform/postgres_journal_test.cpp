// The database journal through libpq against a real server: the throwaway one that
// scripts/test starts, each test in a schema of its own.

#include "platform/postgres/postgres_connection.hpp"
#include "production/database_journal.hpp"

#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/journal_serials.hpp"
#include "support/outcome_printer.hpp"
#include "support/test_database.hpp"

namespace dl250t {
namespace {

using testing::beginWith;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::resumeText;
using testing::serialOf;

struct PostgresJournalTest : testing::DatabaseTest {
    std::unique_ptr<DatabaseJournal> journal(std::optional<std::string> start = std::nullopt,
                                             const std::string& line = "line 1",
                                             std::optional<std::string> newLine = {}) const {
        return std::make_unique<DatabaseJournal>(DatabaseJournal::Settings{
            .uri = uri,
            .line = line,
            .startSerial = start ? serialOf(*start) : std::nullopt,
            .newLineSerial = newLine ? serialOf(*newLine) : std::nullopt,
            .station = "bench-2",
            .moduleText = {},
            .connector = [] { return makePostgresConnection(); },
        });
    }

    // The backend process serving the journal's connections on `line`.
    std::vector<pid_t> backendsOf(const std::string& line) {
        std::vector<pid_t> pids;
        for (const auto& row : rows("SELECT pid FROM pg_stat_activity WHERE application_name = "
                                    "'dl250t " +
                                    line + "'")) {
            pids.push_back(static_cast<pid_t>(std::stol(row[0])));
        }
        return pids;
    }

    // Ends the journal's sessions on `line` as a server restart does, and
    // waits until they are gone.
    void endSessionsOf(const std::string& line) {
        rows(
            "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = "
            "'dl250t " +
            line + "'");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!backendsOf(line).empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(backendsOf(line).empty());
    }
};

ModuleRecord writtenModule(const std::string& serial, Outcome outcome = Outcome::ModuleWritten) {
    ModuleRecord record;
    // 2024-03-05T06:07:09.123456Z
    record.time =
        std::chrono::system_clock::time_point(std::chrono::microseconds(1709618829123456));
    record.port = "COM5";
    record.moduleName = "Lorandix AMR Ver Moudle N 23306";
    record.moduleVersion = "2.3";
    record.serial = serialOf(serial);
    record.outcome = outcome;
    record.milliseconds = 137;
    record.crc = 0x264A;
    record.reserved = true;
    return record;
}

// Each module takes the line's number, whatever the form shows, and uses it
// up whatever its outcome. Reads take none.
TEST_F(PostgresJournalTest, ModulesTakeTheLinesNumberAndEveryOneReservedIsUsedUp) {
    const auto station = journal("00 00 00 00 01 00");
    ASSERT_TRUE(station->open()) << station->problem();
    EXPECT_EQ(resumeText(*station), "00 00 00 00 01 00");

    EXPECT_EQ(beginWith(*station, "00 00 00 00 77 77"), "00 00 00 00 01 00");
    EXPECT_THAT(rows("SELECT serial, serial_number, outcome, crc, reserved FROM dl250t_journal"),
                ElementsAre(ElementsAre("00 00 00 00 01 00", "256", "reserved", "", "t")));
    ASSERT_TRUE(station->finishModule(writtenModule("00 00 00 00 01 00")));

    EXPECT_EQ(beginWith(*station, "00 00 00 00 01 01"), "00 00 00 00 01 01");
    ModuleRecord silent = writtenModule("00 00 00 00 01 01", Outcome::ResponseTimeout);
    silent.moduleName.clear();
    silent.moduleVersion.clear();
    silent.crc.reset();
    ASSERT_TRUE(station->finishModule(silent));

    EXPECT_EQ(beginWith(*station, "00 00 00 00 01 01"), "00 00 00 00 01 02");
    ModuleRecord mismatch = writtenModule("00 00 00 00 01 02", Outcome::ModuleVerifyFailed);
    mismatch.verify = ModuleRecord::Verify::Mismatch;
    ASSERT_TRUE(station->finishModule(mismatch));

    EXPECT_EQ(beginWith(*station, ""), "") << "a read";
    ModuleRecord read = writtenModule("00 00 00 00 00 09", Outcome::ModuleRead);
    read.crc.reset();
    read.reserved = false;
    ASSERT_TRUE(station->finishModule(read));

    EXPECT_EQ(beginWith(*station, "00 00 00 00 01 01"), "00 00 00 00 01 03");
    ModuleRecord verified = writtenModule("00 00 00 00 01 03");
    verified.verify = ModuleRecord::Verify::Ok;
    verified.board = "PCB-7";
    verified.label = ModuleRecord::Label::Sent;
    ASSERT_TRUE(station->finishModule(verified));
    EXPECT_THAT(rows("SELECT board, label FROM dl250t_journal WHERE serial_number = 259"),
                ElementsAre(ElementsAre("PCB-7", "sent")));

    EXPECT_THAT(rows("SELECT line, next_serial FROM dl250t_line"),
                ElementsAre(ElementsAre("line 1", "260")));
    EXPECT_THAT(
        rows("SELECT line, to_char(time AT TIME ZONE 'UTC', "
             "'YYYY-MM-DD\"T\"HH24:MI:SS.US'), station, port, module, version, serial, "
             "serial_number, outcome, verify, milliseconds, crc FROM dl250t_journal "
             "ORDER BY id"),
        ElementsAre(ElementsAre("line 1", "2024-03-05T06:07:09.123456", "bench-2", "COM5",
                                "Lorandix AMR Ver Moudle N 23306", "2.3", "00 00 00 00 01 00",
                                "256", "ok", "", "137", "264A"),
                    ElementsAre("line 1", "2024-03-05T06:07:09.123456", "bench-2", "COM5", "", "",
                                "00 00 00 00 01 01", "257", "串口响应超时！", "", "137", ""),
                    ElementsAre("line 1", "2024-03-05T06:07:09.123456", "bench-2", "COM5",
                                "Lorandix AMR Ver Moudle N 23306", "2.3", "00 00 00 00 01 02",
                                "258", "模块校验失败！", "mismatch", "137", "264A"),
                    ElementsAre("line 1", "2024-03-05T06:07:09.123456", "bench-2", "COM5",
                                "Lorandix AMR Ver Moudle N 23306", "2.3", "00 00 00 00 00 09", "9",
                                "ok", "", "137", ""),
                    ElementsAre("line 1", "2024-03-05T06:07:09.123456", "bench-2", "COM5",
                                "Lorandix AMR Ver Moudle N 23306", "2.3", "00 00 00 00 01 03",
                                "259", "ok", "ok", "137", "264A")));
}

// A new line starts where it is asked to; an existing line goes on from its
// own number, and a start that disagrees with it does not open.
TEST_F(PostgresJournalTest, StartNumberMakesANewLineAndMustAgreeWithAnExistingOne) {
    struct Case {
        const char* name;
        std::optional<std::string> start;
        bool opens;
        std::optional<std::string> resume;
    };
    const Case cases[] = {
        {"new line", "00 00 00 00 05 00", true, "00 00 00 00 05 00"},
        {"the line's own number", "00 00 00 00 05 00", true, "00 00 00 00 05 00"},
        {"no start", std::nullopt, true, "00 00 00 00 05 00"},
        {"another number", "00 00 00 00 01 00", false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto station = journal(c.start);
        EXPECT_EQ(station->open(), c.opens) << station->problem();
        EXPECT_EQ(resumeText(*station), c.resume);
        if (!c.opens) {
            EXPECT_THAT(station->problem(),
                        HasSubstr("goes on at serial number 00 00 00 00 05 00, not at 00 00 00 "
                                  "00 01 00 as --serial asks"));
        }
    }
    const auto other = journal();
    ASSERT_TRUE(other->open()) << other->problem();
    EXPECT_EQ(resumeText(*other), "00 00 00 00 05 00");
    EXPECT_EQ(resumeText(*journal(std::nullopt, "line 2")), std::nullopt) << "a line of its own";
}

// A line that is new is made by the first station that opens it, at that
// station's own number; a station that opens it next shows the line's number
// from its start, not its own.
TEST_F(PostgresJournalTest, NewLineIsMadeWhenTheFirstStationOpensAndOthersShowItsNumber) {
    const auto first = journal(std::nullopt, "line new", "00 00 00 00 06 00");
    ASSERT_TRUE(first->open()) << first->problem();
    const auto second = journal(std::nullopt, "line new", "00 00 00 00 07 00");
    ASSERT_TRUE(second->open()) << second->problem();
    EXPECT_EQ(resumeText(*first), "00 00 00 00 06 00");
    EXPECT_EQ(resumeText(*second), "00 00 00 00 06 00");
    EXPECT_EQ(beginWith(*second, "00 00 00 00 07 00"), "00 00 00 00 06 00");
}

// Stations that start at the same moment on a database without the tables
// make them once between them.
TEST_F(PostgresJournalTest, TablesAreMadeOnceWhenManyStationsOpenAtOnce) {
    constexpr int kStations = 8;
    std::vector<std::unique_ptr<DatabaseJournal>> stations;
    for (int i = 0; i < kStations; ++i) {
        stations.push_back(journal());
    }
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    std::vector<char> opened(kStations, 0);
    for (int i = 0; i < kStations; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < kStations) {
                std::this_thread::yield();
            }
            opened[i] = stations[i]->open();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kStations; ++i) {
        EXPECT_TRUE(opened[i]) << stations[i]->problem();
    }
}

// The session ends in the middle of a module (the server ended it): the next
// station that opens the line records the reservation as interrupted, and the
// module's station connects again and settles it. The line is this test's
// own: the server ends every session of it, and other tests run beside this one.
TEST_F(PostgresJournalTest, ReservationOfAnEndedSessionIsInterruptedThenSettledOverANewOne) {
    const auto station = journal("00 00 00 00 02 00", "line lost");
    ASSERT_TRUE(station->open()) << station->problem();
    ASSERT_EQ(beginWith(*station, "00 00 00 00 02 00"), "00 00 00 00 02 00");
    endSessionsOf("line lost");
    ASSERT_TRUE(journal(std::nullopt, "line lost")->open());
    EXPECT_THAT(rows("SELECT outcome FROM dl250t_journal"),
                ElementsAre(ElementsAre("interrupted")));

    EXPECT_TRUE(station->finishModule(writtenModule("00 00 00 00 02 00"))) << station->problem();
    EXPECT_THAT(rows("SELECT serial, outcome FROM dl250t_journal"),
                ElementsAre(ElementsAre("00 00 00 00 02 00", "ok")));
}

// Stations of a line reserve while others have not settled, each its own
// number at once; a station that opens meanwhile leaves the reservations be.
// A line put back behind its journal (a backup restored) skips the numbers it
// holds: reserved, whatever became of them, or sent by an earlier release,
// and past the top it goes on from zero.
TEST_F(PostgresJournalTest, ReservationsNeitherWaitForEachOtherNorTakeANumberHeld) {
    const auto first = journal("FF FF FF FF FF FE");
    const auto second = journal();
    ASSERT_TRUE(first->open() && second->open());
    ASSERT_EQ(beginWith(*first, "00 00 00 00 00 00"), "FF FF FF FF FF FE");
    ASSERT_EQ(beginWith(*second, "00 00 00 00 00 00"), "FF FF FF FF FF FF") << second->problem();
    ASSERT_TRUE(journal()->open());
    EXPECT_THAT(rows("SELECT DISTINCT outcome FROM dl250t_journal"),
                ElementsAre(ElementsAre("reserved")));
    EXPECT_TRUE(second->finishModule(writtenModule("FF FF FF FF FF FF", Outcome::PortOpenFailed)));
    EXPECT_TRUE(first->finishModule(writtenModule("FF FF FF FF FF FE"))) << first->problem();
    rows(
        "UPDATE dl250t_journal SET crc = '' WHERE serial_number = 281474976710655; "
        "UPDATE dl250t_line SET next_serial = 281474976710654");
    EXPECT_EQ(beginWith(*first, "00 00 00 00 00 00"), "00 00 00 00 00 00");
}

// A reservation the database refuses fails, leaving the line as it was: the
// engine then sends no block.
TEST_F(PostgresJournalTest, RefusedReservationFailsAndLeavesTheLineAsItWas) {
    const auto station = journal("00 00 00 00 09 00");
    ASSERT_TRUE(station->open()) << station->problem();
    rows("ALTER TABLE dl250t_journal DROP COLUMN version");
    EXPECT_EQ(beginWith(*station, "00 00 00 00 00 00"), std::nullopt);
    EXPECT_THAT(station->problem(), HasSubstr("cannot reserve a serial number: ERROR"));
    EXPECT_THAT(rows("SELECT (SELECT count(*) FROM dl250t_journal), next_serial FROM dl250t_line"),
                ElementsAre(ElementsAre("0", "2304")));
}

// The tables as an earlier release made them, with its rows, are brought up
// to date on first use; the numbers its blocks took stay taken, a failed
// write's (which did not advance the line) included.
TEST_F(PostgresJournalTest, EarlierReleasesTablesAreBroughtUpToDateAndItsNumbersStayTaken) {
    ASSERT_TRUE(journal("00 00 00 00 06 01")->open());
    rows(
        "DROP INDEX dl250t_journal_held, dl250t_journal_reserved; ALTER TABLE dl250t_journal "
        "DROP COLUMN reserved, DROP COLUMN board, DROP COLUMN label; INSERT INTO dl250t_journal "
        "(line, time, station, port, module, "
        "version, serial, serial_number, outcome, verify, milliseconds, crc) SELECT 'line 1', "
        "now(), '', '', '', '', '', n, 'x', '', 0, 'ABCD' FROM generate_series(1536, 1537) n");
    const auto station = journal();
    ASSERT_TRUE(station->open()) << station->problem();
    EXPECT_EQ(beginWith(*station, "00 00 00 00 00 00"), "00 00 00 00 06 02");
    EXPECT_THAT(rows("SELECT board, label FROM dl250t_journal WHERE serial_number = 1538"),
                ElementsAre(ElementsAre("", "")));
}

// The session ended while the station waited between two modules, as when
// the server restarts: the next module connects again and is recorded.
TEST_F(PostgresJournalTest, ConnectionLostBetweenModulesIsMadeAgainForTheNextModule) {
    const auto station = journal("00 00 00 00 08 00", "line idle");
    ASSERT_TRUE(station->open()) << station->problem();
    endSessionsOf("line idle");
    EXPECT_EQ(beginWith(*station, "00 00 00 00 08 00"), "00 00 00 00 08 00") << station->problem();
    EXPECT_TRUE(station->finishModule(writtenModule("00 00 00 00 08 00"))) << station->problem();
    EXPECT_THAT(rows("SELECT next_serial FROM dl250t_line WHERE line = 'line idle'"),
                ElementsAre(ElementsAre("2049")));
}

// Without the client library the journal does not open, like a database that
// cannot be reached, and says what to install.
TEST(PostgresConnection, MissingClientLibraryFailsTheJournalAndNamesItsPackage) {
    DatabaseJournal journal({
        .uri = "postgresql:///dl250t",
        .line = "line 1",
        .connector = [] { return makePostgresConnection("libpq-missing.so.5"); },
    });
    EXPECT_FALSE(journal.open());
    EXPECT_THAT(journal.problem(),
                HasSubstr("cannot connect: the PostgreSQL client library cannot be loaded"));
    EXPECT_THAT(journal.problem(), HasSubstr("on Debian, the package libpq5"));
    EXPECT_EQ(beginWith(journal, "00 00 00 00 01 00"), std::nullopt);
}

// A server that stops answering in the middle of a module (its process is
// stopped) fails the module's line after a bounded wait instead of holding
// the station for ever; the next station goes on after the module's number.
TEST_F(PostgresJournalTest, ServerThatStopsAnsweringFailsTheModuleInsteadOfHangingIt) {
    const auto station = journal("00 00 00 00 03 00", "line stalled");
    ASSERT_TRUE(station->open()) << station->problem();
    ASSERT_EQ(beginWith(*station, "00 00 00 00 03 00"), "00 00 00 00 03 00");
    const std::vector<pid_t> backends = backendsOf("line stalled");
    ASSERT_EQ(backends.size(), 1u);
    if (kill(backends[0], SIGSTOP) != 0) {
        GTEST_SKIP() << "the server's processes belong to another user";
    }
    const bool recorded = station->finishModule(writtenModule("00 00 00 00 03 00"));
    kill(backends[0], SIGCONT);
    EXPECT_FALSE(recorded);
    EXPECT_THAT(station->problem(), HasSubstr("did not answer within"));

    const auto next = journal(std::nullopt, "line stalled");
    ASSERT_TRUE(next->open()) << next->problem();
    EXPECT_EQ(beginWith(*next, "00 00 00 00 00 00"), "00 00 00 00 03 01") << next->problem();
}

}  // namespace
}  // namespace dl250t
