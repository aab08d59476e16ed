#include "production/csv_journal.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "config/config_block.hpp"
#include "config/utf8_text.hpp"

namespace dl250t {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kLineEnd = "\r\n";
// Room kept free for the next line: many times the longest line there can be.
constexpr std::size_t kLineRoom = 4096;
// The header must be within this many bytes of the start.
constexpr std::size_t kHeaderWindow = 4096;
// The journal is read from its end in pieces of this size.
constexpr std::size_t kTailChunk = 64 * 1024;
// A line longer than this is none of ours; it is skipped when reading back.
constexpr std::size_t kLongestLine = 16 * 1024;

// Columns of free text: a spreadsheet that opens the journal would take such
// a cell for a formula when it begins with one of these, and a host named
// "=HYPERLINK(...)" would put a live link before a supervisor. Such a cell
// gets a quote in front, which spreadsheets show and do not evaluate. Control
// characters (a tab, a line break) never begin a cell: csvLine replaces them.
// The other columns hold numbers, times and port names of the tool's own
// making, and stay as they are, the serial number read back included.
constexpr std::array<std::string_view, 3> kTextColumns = {"station", "module", "outcome"};
constexpr std::string_view kFormulaStarts = "=+-@";

std::vector<std::string> withoutFormulas(std::vector<std::string> fields) {
    for (std::size_t i = 0; i < fields.size() && i < kJournalColumns.size(); ++i) {
        std::string& cell = fields[i];
        if (!cell.empty() && kFormulaStarts.find(cell.front()) != std::string_view::npos &&
            std::ranges::find(kTextColumns, kJournalColumns[i]) != kTextColumns.end()) {
            cell.insert(0, 1, '\'');
        }
    }
    return fields;
}

std::string headerLine() {
    return csvLine({kJournalColumns.begin(), kJournalColumns.end()});
}

std::string withoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return std::string(line);
}

// Bytes that are not UTF-8 become U+FFFD, so that the journal stays UTF-8
// when no conversion is given.
std::string utf8OrReplaced(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string text;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80) {
            text += c;
        } else {
            text += kReplacement;
        }
    }
    return text;
}

// A module that was written: its outcome is ok and a block was sent (a read
// records no CRC).
std::optional<SerialNumber> nextSerialAfter(std::string_view line) {
    const auto fields = parseCsvLine(line);
    if (!fields || fields->size() != kJournalColumns.size()) {
        return std::nullopt;
    }
    const auto serial = SerialNumber::fromExactText((*fields)[5]);
    if ((*fields)[6] != "ok" || (*fields)[9].empty() || !serial) {
        return std::nullopt;
    }
    return serial->next();
}

}  // namespace

FileRequest journalFileRequest() {
    return {FileRequest::Mode::Append,
            "*.csv",
            {{"生产记录(*.csv)", "*.csv"}, {"所有文件(*.*)", "*.*"}}};
}

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::string csvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line += ',';
        }
        std::string clean;
        for (const char c : fields[i]) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) {
                clean += kReplacement;
            } else {
                clean += c;
            }
        }
        line += csvField(clean);
    }
    line += kLineEnd;
    return line;
}

std::optional<std::vector<std::string>> parseCsvLine(std::string_view line) {
    std::vector<std::string> fields(1);
    std::size_t i = 0;
    bool fieldStart = true;
    while (i < line.size()) {
        const char c = line[i];
        if (fieldStart && c == '"') {
            // A quoted field runs to the quote that is not doubled, and must
            // end there or at a comma.
            ++i;
            for (;;) {
                if (i >= line.size()) {
                    return std::nullopt;
                }
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        fields.back() += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                fields.back() += line[i++];
            }
            if (i < line.size() && line[i] != ',') {
                return std::nullopt;
            }
            fieldStart = false;
            continue;
        }
        if (c == ',') {
            fields.emplace_back();
            fieldStart = true;
        } else if (c == '"' || c == '\r' || c == '\n') {
            return std::nullopt;
        } else {
            fields.back() += c;
            fieldStart = false;
        }
        ++i;
    }
    return fields;
}

std::vector<std::string> journalFields(const ModuleRecord& record, const CsvJournalTexts& texts) {
    std::string verify;
    if (record.verify == ModuleRecord::Verify::Ok) {
        verify = "ok";
    } else if (record.verify == ModuleRecord::Verify::Mismatch) {
        verify = "mismatch";
    }
    std::string crc;
    if (record.crc) {
        std::array<char, 8> digits{};
        std::snprintf(digits.data(), digits.size(), "%04X", static_cast<unsigned>(*record.crc));
        crc = digits.data();
    }
    return {
        texts.timeText ? texts.timeText(record.time) : std::string(),
        texts.station,
        record.port,
        texts.moduleText ? texts.moduleText(record.moduleName) : utf8OrReplaced(record.moduleName),
        record.moduleVersion,
        record.serial ? record.serial->text() : std::string(),
        isSuccess(record.outcome) ? std::string("ok") : std::string(outcomeText(record.outcome)),
        verify,
        std::to_string(record.milliseconds),
        crc,
    };
}

CsvJournal::CsvJournal(std::unique_ptr<JournalFile> file, CsvJournalTexts texts)
    : file_(std::move(file)), texts_(std::move(texts)) {}

bool CsvJournal::fail(std::string problem) {
    problem_ = std::move(problem);
    return false;
}

bool CsvJournal::open() {
    opened_ = false;
    const std::string header = headerLine();
    if (!file_->open(header)) {
        return fail(file_->problem());
    }
    const std::optional<std::uint64_t> size = file_->size();
    std::optional<std::string> head;
    if (size) {
        head = file_->read(0, kHeaderWindow);
    }
    if (!size || !head) {
        return fail(file_->problem());
    }
    const std::size_t headerEnd = head->find('\n');
    if (headerEnd == std::string::npos ||
        withoutLineEnd(std::string_view(*head).substr(0, headerEnd)) != withoutLineEnd(header)) {
        return fail("not a production journal: its first line is not the journal's header");
    }
    resume_ = findResumeSerial(headerEnd + 1, *size);
    if (!problem_.empty()) {
        return false;
    }
    opened_ = true;
    return true;
}

std::optional<SerialNumber> CsvJournal::findResumeSerial(std::uint64_t headerEnd,
                                                         std::uint64_t size) {
    problem_.clear();
    // Backwards, a piece at a time. A line that crosses into the piece before
    // is carried over and read with that piece.
    std::uint64_t end = size;
    std::string carried;
    while (end > headerEnd) {
        const std::uint64_t start = end - std::min<std::uint64_t>(end - headerEnd, kTailChunk);
        const auto piece = file_->read(start, static_cast<std::size_t>(end - start));
        if (!piece) {
            fail(file_->problem());
            return std::nullopt;
        }
        std::string text = *piece + carried;
        carried.clear();
        std::size_t from = 0;
        if (start > headerEnd) {
            const std::size_t firstBreak = text.find('\n');
            const std::size_t cut = firstBreak == std::string::npos ? text.size() : firstBreak + 1;
            if (cut <= kLongestLine) {
                carried = text.substr(0, cut);
            }
            from = cut;
        }
        // The lines of the piece, last first.
        std::size_t lineEnd = text.size();
        while (lineEnd > from) {
            const std::size_t previousBreak =
                lineEnd >= 2 ? text.rfind('\n', lineEnd - 2) : std::string::npos;
            const std::size_t lineStart = previousBreak == std::string::npos || previousBreak < from
                                              ? from
                                              : previousBreak + 1;
            const std::string line =
                withoutLineEnd(std::string_view(text).substr(lineStart, lineEnd - lineStart));
            if (auto next = nextSerialAfter(line)) {
                return next;
            }
            lineEnd = lineStart;
        }
        end = start;
    }
    return std::nullopt;
}

bool CsvJournal::beginModule(std::optional<SerialNumber>&) {
    // The path may lead to another file by now, one that is no journal.
    if ((!opened_ || !file_->stillAtPath()) && !open()) {
        return false;
    }
    if (!pending_.empty()) {
        if (!file_->append(pending_)) {
            opened_ = false;
            return fail(file_->problem());
        }
        pending_.clear();
    }
    // The form's number stands.
    return file_->reserve(kLineRoom) || fail(file_->problem());
}

bool CsvJournal::finishModule(const ModuleRecord& record) {
    const std::string line = csvLine(withoutFormulas(journalFields(record, texts_)));
    if (!file_->append(line)) {
        // Kept for the next module, on a file opened afresh: the old
        // descriptor may belong to a medium that has gone.
        pending_ = line;
        opened_ = false;
        return fail(file_->problem());
    }
    return true;
}

}  // namespace dl250t
