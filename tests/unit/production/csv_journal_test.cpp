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
    "time,station,port,module,version,serial,outcome,verify,milliseconds,crc,board,label\r\n";

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
    // Closing the file gives its marks back, as a program's end does.
    ~MemoryJournalFile() override {
        for (const std::uint64_t key : own_) {
            file_.marks.erase(file_.marks.find(key));
        }
    }
    MemoryJournalFile(const MemoryJournalFile&) = delete;
    MemoryJournalFile& operator=(const MemoryJournalFile&) = delete;
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
    record.board = "PCB-0042";
    record.label = ModuleRecord::Label::Sent;
    const CsvJournalTexts texts{.station = "jig",
                                .timeText = [](auto) { return std::string("T"); }};
    EXPECT_THAT(journalFields(record, texts),
                ElementsAre("T", "jig", "COM7",
                            "Lorandix AMR Ver Moudle U \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                            "\xEF\xBF\xBD",
                            "1.6", "00 00 00 00 01 00", "模块校验失败！", "mismatch", "141", "0A1F",
                            "PCB-0042", "sent"));

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
                  std::string(kHeader) + "-1," + cells + ",,00 00 00 00 01 00,ok,,0,1A2B,,\r\n");
        CsvJournal again = journalOn(file);
        ASSERT_TRUE(again.open());
        EXPECT_EQ(resumeText(again), "00 00 00 00 01 01");
    }
}

// A number went out when it was reserved or a block was sent with it (a
// CRC); a read sends nothing. The journal resumes after the highest such
// number of this station, else of any station, wherever its line stands.
TEST(CsvJournal, ResumesAfterTheHighestNumberThatWentOut) {
    struct Case {
        const char* name;
        std::string lines;
        std::optional<std::string> resume;
    };
    const std::string otherStation = "t,line-4,COM3,M,1.6,00 00 00 00 09 00,ok,,93,1A2B\r\n";
    const Case cases[] = {
        {"header only", "", std::nullopt},
        {"one module", line("00 00 00 00 01 00"), "00 00 00 00 01 01"},
        {"failures after it",
         line("00 00 00 00 01 00") + line("00 00 00 00 01 01", "串口响应超时！", "") +
             line("00 00 00 00 01 01", "模块校验失败！"),
         "00 00 00 00 01 02"},
        {"sorted newest first", line("00 00 00 00 01 07") + line("00 00 00 00 01 00"),
         "00 00 00 00 01 08"},
        {"reserved, never settled",
         line("00 00 00 00 01 00") + line("00 00 00 00 01 01", "reserved", ""),
         "00 00 00 00 01 02"},
        {"a read after it", line("00 00 00 00 01 00") + line("00 00 00 00 00 05", "ok", ""),
         "00 00 00 00 01 01"},
        {"another station's range", line("00 00 00 00 01 00") + otherStation, "00 00 00 00 01 01"},
        {"only another station", otherStation, "00 00 00 00 09 01"},
        {"torn last line", line("00 00 00 00 01 00") + "2024-03-05T14:07:10+08:00,line-3,CO",
         "00 00 00 00 01 01"},
        {"torn line then more",
         line("00 00 00 00 01 00") + "2024-03,li\r\n" + line("00 00 00 00 01 01"),
         "00 00 00 00 01 02"},
        {"quoted module name", line("00 00 00 00 02 00", "ok", "1A2B", "\"a,\"\"b\"\"\""),
         "00 00 00 00 02 01"},
        {"serial not ours", line("1 2 3"), std::nullopt},
        {"line too long to be ours",
         line("00 00 00 00 01 00") + "t,line-3,p,m,v,00 00 00 00 0F 00,ok,,1,ABCD" +
             std::string(70 * 1024, 'x') + "\r\n",
         "00 00 00 00 01 01"},
        {"last number wraps", line("FF FF FF FF FF FF"), "00 00 00 00 00 00"},
        {"LF line ends", "t,line-3,p,m,v,00 00 00 00 03 00,ok,,1,ABCD\n", "00 00 00 00 03 01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFile file{.bytes = std::string(kHeader) + c.lines};
        CsvJournal journal = journalOn(file);
        ASSERT_TRUE(journal.open()) << journal.problem();
        EXPECT_EQ(resumeText(journal), c.resume);
    }
}

// The journal is read in pieces of 64 KiB. Wherever a piece ends, even
// inside the line that counts, that line is found.
TEST(CsvJournal, ResumeIsFoundWhereverThePiecesOfALongJournalBreak) {
    constexpr std::size_t kPiece = 64 * 1024;
    const std::string counted = line("00 00 00 00 01 00");
    std::string failures;
    while (failures.size() + counted.size() + 300 < kPiece) {
        failures += line("00 00 00 00 00 09", "串口打开失败！", "");
    }
    const std::string unpadded = line("00 00 00 00 07 00", "模块写入失败！", "");
    // The counted line comes last and ends from one byte before the first
    // piece's end to a byte after it, so that the piece's end walks through it.
    for (std::size_t beyond = 0; beyond <= counted.size() + 1; ++beyond) {
        const std::size_t pad =
            kPiece + beyond - counted.size() - failures.size() - unpadded.size();
        MemoryFile file{.bytes =
                            std::string(kHeader) + failures +
                            line("00 00 00 00 07 00", "模块写入失败！", "", std::string(pad, 'm')) +
                            counted};
        CsvJournal journal = journalOn(file);
        ASSERT_TRUE(journal.open());
        ASSERT_EQ(resumeText(journal), "00 00 00 00 01 01") << "piece ends " << beyond;
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

// A journal of the previous release keeps its ten columns and its lines:
// numbering carries on after them, and new lines fit its header.
TEST(CsvJournal, JournalOfThePreviousReleaseKeepsItsColumns) {
    const std::string header =
        "time,station,port,module,version,serial,outcome,verify,milliseconds,crc\r\n";
    const std::string lines = header + line("00 00 00 00 01 00") +
                              line("00 00 00 00 01 01", "串口响应超时！", "") +
                              line("00 00 00 00 01 02", "模块写入失败！");
    MemoryFile file{.bytes = lines};
    CsvJournal journal = journalOn(file);
    ASSERT_TRUE(journal.open()) << journal.problem();
    EXPECT_EQ(journal.columns(), 10u);
    EXPECT_EQ(resumeText(journal), "00 00 00 00 01 03");
    EXPECT_EQ(beginWith(journal, "00 00 00 00 01 01"), "00 00 00 00 01 01") << "never sent";
    ASSERT_TRUE(file.bytes.starts_with(lines)) << "nothing rewritten";
    const auto added =
        parseCsvLine(file.bytes.substr(lines.size(), file.bytes.size() - lines.size() - 2));
    ASSERT_TRUE(added);
    EXPECT_EQ(added->size(), 10u);
}

std::size_t linesWith(const MemoryFile& file, std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = file.bytes.find(text); at != std::string::npos;
         at = file.bytes.find(text, at + 1)) {
        ++count;
    }
    return count;
}

// A settlement that cannot be appended is kept and goes in before the next
// module's reservation; until then the journal refuses modules, and the
// reservation in hand is not taken for an interrupted one.
TEST(CsvJournal, SettlementThatFailedIsAppendedBeforeTheNextModule) {
    MemoryFile file;
    CsvJournal journal = journalOn(file);
    ASSERT_TRUE(journal.open());
    ModuleRecord first;
    first.port = "COM3";
    first.serial = serialOf("00 00 00 00 01 00");
    ASSERT_TRUE(journal.beginModule() && journal.reserveSerial(first));
    first.reserved = true;
    first.crc = 0x1234;

    file.appends = false;
    EXPECT_FALSE(journal.finishModule(first));
    EXPECT_EQ(journal.problem(), "journal.csv: No space left on device");
    EXPECT_FALSE(beginWith(journal, "00 00 00 00 01 01"));
    EXPECT_EQ(linesWith(file, "\r\n"), 2u) << "the header and the reservation";

    file.appends = true;
    file.reserves = false;
    EXPECT_FALSE(beginWith(journal, "00 00 00 00 01 01")) << "no room for the next line";
    file.reserves = true;
    EXPECT_EQ(beginWith(journal, "00 00 00 00 01 01"), "00 00 00 00 01 01");

    const auto settled = file.bytes.find("00 00 00 00 01 00,ok,,0,1234");
    EXPECT_NE(settled, std::string::npos);
    EXPECT_LT(settled, file.bytes.find("00 00 00 00 01 01,reserved"));
    EXPECT_EQ(linesWith(file, "00 00 00 00 01 00,ok"), 1u) << "once";
    EXPECT_EQ(linesWith(file, "interrupted"), 0u);
    EXPECT_EQ(file.marks, std::multiset<std::uint64_t>{0x0101}) << "only the module in hand";
    EXPECT_GE(file.openCalls, 2) << "opened afresh after the failure";
}

// Programs sharing a journal propose the same numbers: each reservation takes
// the first number that no line holds, whoever wrote that line, and a
// reservation that nobody holds any longer is called interrupted once.
TEST(CsvJournal, NumberTheJournalHoldsIsNeverReservedAgain) {
    MemoryFile file{.bytes = std::string(kHeader) + line("00 00 00 00 01 01", "模块写入失败！") +
                             line("00 00 00 00 01 03", "reserved", "")};
    CsvJournal first = journalOn(file);
    CsvJournal second = journalOn(file);
    ASSERT_TRUE(first.open() && second.open());
    std::vector<std::optional<std::string>> taken;
    for (int round = 0; round < 2; ++round) {
        taken.push_back(beginWith(first, "00 00 00 00 01 00"));
        taken.push_back(beginWith(second, "00 00 00 00 01 00"));
    }
    EXPECT_THAT(taken, ElementsAre("00 00 00 00 01 00", "00 00 00 00 01 02", "00 00 00 00 01 04",
                                   "00 00 00 00 01 05"));
    EXPECT_EQ(linesWith(file, "00 00 00 00 01 03,interrupted"), 1u);

    // Both stop without settling: the one that is gone is interrupted, the
    // one still running is left alone.
    second = journalOn(file);
    CsvJournal next = journalOn(file);
    ASSERT_TRUE(next.open());
    EXPECT_EQ(linesWith(file, "interrupted"), 3u) << "01 03 before, 01 02 and 01 05 now";
    EXPECT_EQ(linesWith(file, "00 00 00 00 01 04,interrupted"), 0u);
    EXPECT_EQ(resumeText(next), "00 00 00 00 01 06");
}

}  // namespace
}  // namespace dl250t
