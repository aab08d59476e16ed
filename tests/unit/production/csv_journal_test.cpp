#include "production/csv_journal.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "support/journal_serials.hpp"
#include "support/outcome_printer.hpp"

namespace dl250t {
namespace {

using testing::beginWith;
using ::testing::ElementsAre;
using testing::resumeText;
using testing::serialOf;

constexpr std::string_view kHeader =
    "time,station,port,module,version,serial,outcome,verify,milliseconds,crc\r\n";

// A journal file in memory whose calls fail when told to.
struct MemoryFile {
    std::string bytes;
    bool opens = true;
    bool reserves = true;
    bool appends = true;
    int openCalls = 0;
    // The marks every opening of the file holds.
    std::multiset<std::uint64_t> marks = {};
};

class MemoryJournalFile final : public JournalFile {
public:
    explicit MemoryJournalFile(MemoryFile& file) : file_(file) {}
    bool open(std::string_view header) override {
        ++file_.openCalls;
        if (file_.opens && file_.bytes.empty()) {
            file_.bytes = header;
        }
        return file_.opens;
    }
    bool stillAtPath() const override { return true; }
    std::optional<std::uint64_t> size() override { return file_.bytes.size(); }
    std::optional<std::string> read(std::uint64_t offset, std::size_t maxBytes) override {
        return file_.bytes.substr(offset, maxBytes);
    }
    bool reserve(std::size_t) override { return file_.reserves; }
    bool append(std::string_view bytes) override {
        if (file_.appends) {
            file_.bytes += bytes;
        }
        return file_.appends;
    }
    bool lock() override { return true; }
    void unlock() override {}
    void holdMark(std::uint64_t key) override {
        own_.insert(key);
        file_.marks.insert(key);
    }
    void releaseMark(std::uint64_t key) override {
        if (own_.erase(key) > 0) {
            file_.marks.erase(file_.marks.find(key));
        }
    }
    bool markHeldElsewhere(std::uint64_t key) override {
        return file_.marks.count(key) > own_.count(key);
    }
    std::string problem() const override { return "journal.csv: No space left on device"; }

private:
    MemoryFile& file_;
    std::set<std::uint64_t> own_;
};

CsvJournal journalOn(MemoryFile& file) {
    return CsvJournal(std::make_unique<MemoryJournalFile>(file),
                      {.station = "line-3",
                       .timeText = [](auto) { return std::string("2024-03-05T14:07:09+08:00"); }});
}

// A line as the journal writes it, with the serial, outcome and crc given.
std::string line(std::string_view serial, std::string_view outcome = "ok",
                 std::string_view crc = "1A2B", std::string_view module = "M") {
    return "2024-03-05T14:07:09+08:00,line-3,COM3," + std::string(module) + ",1.6," +
           std::string(serial) + "," + std::string(outcome) + ",,93," + std::string(crc) + "\r\n";
}

TEST(CsvJournal, FieldsAreQuotedAsRfc4180AndReadBack) {
    struct Case {
        std::vector<std::string> fields;
        std::string line;
    };
    const Case cases[] = {
        {{"a", "b c", ""}, "a,b c,\r\n"},
        {{"x,y"}, "\"x,y\"\r\n"},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\"\r\n"},
        {{"two\r\nlines\t"}, "two\xEF\xBF\xBD\xEF\xBF\xBDlines\xEF\xBF\xBD\r\n"},
        {{"模块,\"", "ok"}, "\"模块,\"\"\",ok\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(csvLine(c.fields), c.line);
        const auto back = parseCsvLine(c.line.substr(0, c.line.size() - 2));
        ASSERT_TRUE(back) << c.line;
        EXPECT_EQ(csvLine(*back), c.line) << "read back as written";
    }
    for (std::string_view bad : {"\"open", "a\"b", "\"x\"y", "a\rb"}) {
        EXPECT_FALSE(parseCsvLine(bad)) << bad;
    }
}

TEST(CsvJournal, RecordBecomesTheColumnsInOrder) {
    ModuleRecord record;
    record.port = "COM7";
    record.moduleName = "Lorandix AMR Ver Moudle U \xC4\xA3\xBF\xE9";  // GB2312, not UTF-8
    record.moduleVersion = "1.6";
    record.serial = serialOf("00 00 00 00 01 00");
    record.outcome = Outcome::ModuleVerifyFailed;
    record.verify = ModuleRecord::Verify::Mismatch;
    record.milliseconds = 141;
    record.crc = 0x0A1F;
    const CsvJournalTexts texts{.station = "jig",
                                .timeText = [](auto) { return std::string("T"); }};
    EXPECT_THAT(
        journalFields(record, texts),
        ElementsAre("T", "jig", "COM7",
                    "Lorandix AMR Ver Moudle U \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                    "\xEF\xBF\xBD",
                    "1.6", "00 00 00 00 01 00", "模块校验失败！", "mismatch", "141", "0A1F"));

    record.outcome = Outcome::ModuleWritten;
    record.verify = ModuleRecord::Verify::NotAsked;
    record.crc.reset();
    const CsvJournalTexts converting{.station = "jig",
                                     .timeText = [](auto) { return std::string("T"); },
                                     .moduleText = [](std::string_view) { return "模块"; }};
    const auto fields = journalFields(record, converting);
    EXPECT_EQ(fields[3], "模块");
    EXPECT_EQ(fields[6], "ok");
    EXPECT_EQ(fields[7], "");
    EXPECT_EQ(fields[9], "");
}

// A text cell that a spreadsheet would evaluate gets a quote in front;
// numbers and the serial number stay, and the journal still resumes.
TEST(CsvJournal, TextThatASpreadsheetWouldEvaluateIsWrittenAsText) {
    for (const auto& [station, module, cells] : {
             std::tuple{"=HYPERLINK(\"x\")", "@SUM(A1)", "\"'=HYPERLINK(\"\"x\"\")\",-,'@SUM(A1)"},
             std::tuple{"+1", "-2,3", "'+1,-,\"'-2,3\""},
             std::tuple{"line-3", "M=1", "line-3,-,M=1"},
         }) {
        MemoryFile file;
        CsvJournal journal(std::make_unique<MemoryJournalFile>(file),
                           {.station = station, .timeText = [](auto) { return "-1"; }});
        ModuleRecord record;
        record.port = "-";
        record.moduleName = module;
        record.serial = serialOf("00 00 00 00 01 00");
        record.crc = 0x1A2B;
        ASSERT_TRUE(journal.open() && journal.beginModule());
        ASSERT_TRUE(journal.finishModule(record));
        EXPECT_EQ(file.bytes,
                  std::string(kHeader) + "-1," + cells + ",,00 00 00 00 01 00,ok,,0,1A2B\r\n");
        CsvJournal again = journalOn(file);
        ASSERT_TRUE(again.open());
        EXPECT_EQ(resumeText(again), "00 00 00 00 01 01");
    }
}

// Only a module written successfully counts: outcome ok and a CRC (a read
// writes nothing and has none). Lines that are not well-formed are skipped.
TEST(CsvJournal, ResumesAfterTheLastModuleWrittenSuccessfully) {
    struct Case {
        const char* name;
        std::string lines;
        std::optional<std::string> resume;
    };
    const Case cases[] = {
        {"header only", "", std::nullopt},
        {"one module", line("00 00 00 00 01 00"), "00 00 00 00 01 01"},
        {"failures after it",
         line("00 00 00 00 01 00") + line("00 00 00 00 01 01", "串口响应超时！", "") +
             line("00 00 00 00 01 01", "模块校验失败！"),
         "00 00 00 00 01 01"},
        {"a read after it", line("00 00 00 00 01 00") + line("00 00 00 00 00 05", "ok", ""),
         "00 00 00 00 01 01"},
        {"torn last line", line("00 00 00 00 01 00") + "2024-03-05T14:07:10+08:00,line-3,CO",
         "00 00 00 00 01 01"},
        {"torn line then more",
         line("00 00 00 00 01 00") + "2024-03,li\r\n" + line("00 00 00 00 01 01"),
         "00 00 00 00 01 02"},
        {"quoted module name", line("00 00 00 00 02 00", "ok", "1A2B", "\"a,\"\"b\"\"\""),
         "00 00 00 00 02 01"},
        {"serial not ours", line("1 2 3"), std::nullopt},
        {"last number wraps", line("FF FF FF FF FF FF"), "00 00 00 00 00 00"},
        {"LF line ends", "t,s,p,m,v,00 00 00 00 03 00,ok,,1,ABCD\n", "00 00 00 00 03 01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFile file{.bytes = std::string(kHeader) + c.lines};
        CsvJournal journal = journalOn(file);
        ASSERT_TRUE(journal.open()) << journal.problem();
        EXPECT_EQ(resumeText(journal), c.resume);
    }
}

// The journal is read from its end in pieces of 64 KiB. Wherever a piece
// begins, even inside the line that counts, that line is found.
TEST(CsvJournal, ResumeIsFoundWhereverThePiecesOfALongJournalBreak) {
    constexpr std::size_t kPiece = 64 * 1024;
    const std::string counted = line("00 00 00 00 01 00");
    std::string failures;
    while (failures.size() + counted.size() + 200 < kPiece) {
        failures += line("00 00 00 00 09 00", "模块写入失败！");
    }
    const std::string unpadded = line("00 00 00 00 07 00", "模块写入失败！", "");
    // The bytes from the counted line's start to the end run from one piece
    // to one piece and a line more, so that the piece's start walks through it.
    for (std::size_t beyond = 0; beyond <= counted.size() + 1; ++beyond) {
        const std::size_t pad =
            kPiece + beyond - counted.size() - failures.size() - unpadded.size();
        MemoryFile file{.bytes =
                            std::string(kHeader) + counted + failures +
                            line("00 00 00 00 07 00", "模块写入失败！", "", std::string(pad, 'm'))};
        CsvJournal journal = journalOn(file);
        ASSERT_TRUE(journal.open());
        ASSERT_EQ(resumeText(journal), "00 00 00 00 01 01") << "piece starts " << beyond;
    }
}

TEST(CsvJournal, NewFileGetsTheHeaderAndOtherFilesAreRefused) {
    MemoryFile fresh;
    CsvJournal journal = journalOn(fresh);
    ASSERT_TRUE(journal.open());
    EXPECT_EQ(fresh.bytes, kHeader);
    EXPECT_EQ(resumeText(journal), std::nullopt);

    for (std::string bytes : {std::string("a,b\r\n"), std::string("no line break at all"),
                              std::string(kHeader.substr(5))}) {
        MemoryFile other{.bytes = bytes};
        CsvJournal refused = journalOn(other);
        EXPECT_FALSE(refused.open());
        EXPECT_THAT(refused.problem(), ::testing::HasSubstr("not a production journal"));
        EXPECT_EQ(other.bytes, bytes) << "left as it was";
        EXPECT_FALSE(beginWith(refused, "00 00 00 00 00 01"));
    }
}

// A journal that cannot take a line refuses the next module until it can,
// and the line that failed goes in first, before that module's own.
TEST(CsvJournal, LineThatFailedIsAppendedBeforeTheNextModule) {
    MemoryFile file;
    CsvJournal journal = journalOn(file);
    ASSERT_TRUE(journal.open());
    ModuleRecord first;
    first.serial = serialOf("00 00 00 00 01 00");
    first.crc = 0x1234;
    ASSERT_EQ(beginWith(journal, "00 00 00 00 01 00"), "00 00 00 00 01 00");

    file.appends = false;
    EXPECT_FALSE(journal.finishModule(first));
    EXPECT_EQ(journal.problem(), "journal.csv: No space left on device");
    EXPECT_FALSE(beginWith(journal, "00 00 00 00 01 01"));
    EXPECT_EQ(file.bytes, kHeader);

    file.appends = true;
    file.reserves = false;
    EXPECT_FALSE(beginWith(journal, "00 00 00 00 01 01")) << "no room for the next line";
    file.reserves = true;
    EXPECT_TRUE(beginWith(journal, "00 00 00 00 01 01"));
    ModuleRecord second = first;
    second.serial = serialOf("00 00 00 00 01 01");
    EXPECT_TRUE(journal.finishModule(second));

    const auto begin = file.bytes.find("00 00 00 00 01 00");
    const auto next = file.bytes.find("00 00 00 00 01 01");
    EXPECT_NE(begin, std::string::npos);
    EXPECT_LT(begin, next);
    EXPECT_EQ(file.bytes.find("00 00 00 00 01 00", begin + 1), std::string::npos) << "once";
    EXPECT_GE(file.openCalls, 2) << "opened afresh after the failure";
}

}  // namespace
}  // namespace dl250t
