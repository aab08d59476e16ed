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
// Room kept free for a module's lines: many times the longest lines there can
// be.
constexpr std::size_t kLineRoom = 4096;
// The header must be within this many bytes of the start.
constexpr std::size_t kHeaderWindow = 4096;
// The journal is read in pieces of this size.
constexpr std::size_t kPiece = 64 * 1024;
// A line longer than this is none of ours; it is skipped when reading back.
constexpr std::size_t kLongestLine = 16 * 1024;

// Where the columns the journal reads back are.
constexpr std::size_t kStationColumn = 1;
constexpr std::size_t kPortColumn = 2;
constexpr std::size_t kSerialColumn = 5;
constexpr std::size_t kOutcomeColumn = 6;
constexpr std::size_t kMillisecondsColumn = 8;
constexpr std::size_t kCrcColumn = 9;

// Columns of free text: a spreadsheet that opens the journal would take such
// a cell for a formula when it begins with one of these, and a host named
// "=HYPERLINK(...)" would put a live link before a supervisor. Such a cell
// gets a quote in front, which spreadsheets show and do not evaluate. Control
// characters (a tab, a line break) never begin a cell: csvLine replaces them.
// The other columns hold numbers, times and port names of the tool's own
// making, and stay as they are, the serial number read back included.
constexpr std::array<std::string_view, 4> kTextColumns = {"station", "module", "outcome", "board"};
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

std::string headerLine(std::size_t columns) {
    return csvLine({kJournalColumns.begin(), kJournalColumns.begin() + columns});
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
        std::string(verifyText(record.verify)),
        std::to_string(record.milliseconds),
        crc,
        record.board,
        std::string(labelText(record.label)),
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
    const std::string header = headerLine(kJournalColumns.size());
    if (!file_->open(header)) {
        return fail(file_->problem());
    }
    const std::optional<std::string> head = file_->read(0, kHeaderWindow);
    if (!head) {
        return fail(file_->problem());
    }
    const std::size_t headerEnd = head->find('\n');
    const std::string found = headerEnd == std::string::npos
                                  ? std::string()
                                  : withoutLineEnd(std::string_view(*head).substr(0, headerEnd));
    if (found == withoutLineEnd(header)) {
        columns_ = kJournalColumns.size();
    } else if (found == withoutLineEnd(headerLine(kEarlierJournalColumns))) {
        columns_ = kEarlierJournalColumns;
    } else {
        return fail("not a production journal: its first line is not the journal's header");
    }
    used_.clear();
    unsettled_.clear();
    highestOwn_.reset();
    highestAny_.reset();
    scanned_ = headerEnd + 1;
    skippingLongLine_ = false;
    if (!file_->lock()) {
        return fail(file_->problem());
    }
    const bool read = readNewLines() && interruptAbandoned();
    file_->unlock();
    if (!read) {
        return false;
    }
    const std::optional<std::uint64_t> highest = highestOwn_ ? highestOwn_ : highestAny_;
    resume_.reset();
    if (highest) {
        resume_ = SerialNumber(*highest).next();
    }
    opened_ = true;
    return true;
}

std::vector<std::string> CsvJournal::lineFields(const ModuleRecord& record) const {
    std::vector<std::string> fields = withoutFormulas(journalFields(record, texts_));
    fields.resize(columns_);
    return fields;
}

bool CsvJournal::readNewLines() {
    const std::optional<std::uint64_t> size = file_->size();
    if (!size) {
        return fail(file_->problem());
    }
    // A piece at a time; a line that runs on into the next piece is read
    // again with it, and a line that is not ended yet waits for its end.
    while (scanned_ < *size) {
        const auto piece = file_->read(
            scanned_, static_cast<std::size_t>(std::min<std::uint64_t>(*size - scanned_, kPiece)));
        if (!piece) {
            return fail(file_->problem());
        }
        if (piece->empty()) {
            break;
        }
        std::size_t from = 0;
        for (std::size_t end = piece->find('\n'); end != std::string::npos;
             end = piece->find('\n', from)) {
            if (!skippingLongLine_) {
                takeLine(withoutLineEnd(std::string_view(*piece).substr(from, end - from)));
            }
            skippingLongLine_ = false;
            from = end + 1;
        }
        scanned_ += from;
        if (from == 0) {
            // No line ends in this piece: the rest of a line too long to be
            // one of the journal's is skipped.
            if (piece->size() < kLongestLine && !skippingLongLine_) {
                break;
            }
            skippingLongLine_ = true;
            scanned_ += piece->size() - from;
        }
    }
    return true;
}

void CsvJournal::takeLine(std::string_view line) {
    const auto fields = parseCsvLine(line);
    if (!fields ||
        (fields->size() != kJournalColumns.size() && fields->size() != kEarlierJournalColumns)) {
        return;
    }
    const auto serial = SerialNumber::fromExactText((*fields)[kSerialColumn]);
    if (!serial) {
        return;
    }
    const std::uint64_t number = serial->value();
    const std::string& outcome = (*fields)[kOutcomeColumn];
    const bool reservation = outcome == kReservedOutcome;
    if (reservation) {
        unsettled_[number] = *fields;
    } else if (const auto found = unsettled_.find(number);
               found != unsettled_.end() &&
               found->second[kStationColumn] == (*fields)[kStationColumn] &&
               found->second[kPortColumn] == (*fields)[kPortColumn]) {
        unsettled_.erase(found);
    }
    // A number went out when it was reserved, or when a block was sent with
    // it (the journals of earlier releases know no reservations). A read
    // records the module's number and sends nothing.
    if (!reservation && (*fields)[kCrcColumn].empty()) {
        return;
    }
    used_.insert(number);
    highestAny_ = std::max(highestAny_.value_or(number), number);
    if ((*fields)[kStationColumn] == texts_.station) {
        highestOwn_ = std::max(highestOwn_.value_or(number), number);
    }
}

bool CsvJournal::interruptAbandoned() {
    std::string lines;
    for (const auto& [number, fields] : unsettled_) {
        if (number == pendingMark_ || file_->markHeldElsewhere(number)) {
            continue;
        }
        std::vector<std::string> interrupted = fields;
        interrupted[kOutcomeColumn] = kInterruptedOutcome;
        interrupted.resize(columns_);
        lines += csvLine(interrupted);
    }
    if (lines.empty()) {
        return true;
    }
    if (!file_->reserve(lines.size()) || !file_->append(lines)) {
        return fail(file_->problem());
    }
    return readNewLines();
}

bool CsvJournal::beginModule() {
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
        if (pendingMark_) {
            file_->releaseMark(*pendingMark_);
            pendingMark_.reset();
        }
    }
    return file_->reserve(kLineRoom) || fail(file_->problem());
}

bool CsvJournal::reserveSerial(ModuleRecord& record) {
    if (!opened_ || !record.serial) {
        return fail("no module was begun");
    }
    if (!file_->lock()) {
        opened_ = false;
        return fail(file_->problem());
    }
    if (!readNewLines()) {
        file_->unlock();
        opened_ = false;
        return false;
    }
    SerialNumber serial = *record.serial;
    while (used_.contains(serial.value())) {
        serial = serial.next();
    }
    ModuleRecord reservation = record;
    reservation.serial = serial;
    std::vector<std::string> fields = lineFields(reservation);
    fields[kOutcomeColumn] = kReservedOutcome;
    fields[kMillisecondsColumn].clear();
    fields[kCrcColumn].clear();
    const bool appended = file_->append(csvLine(fields));
    if (appended) {
        // Held until the settlement is in the journal: a program that opens
        // it meanwhile leaves the reservation alone.
        file_->holdMark(serial.value());
        used_.insert(serial.value());
    }
    file_->unlock();
    if (!appended) {
        opened_ = false;
        return fail(file_->problem());
    }
    record.serial = serial;
    return true;
}

bool CsvJournal::finishModule(const ModuleRecord& record) {
    const std::string line = csvLine(lineFields(record));
    const std::optional<std::uint64_t> mark =
        record.reserved && record.serial ? std::optional(record.serial->value()) : std::nullopt;
    if (!file_->append(line)) {
        // Kept for the next module, on a file opened afresh: the old
        // descriptor may belong to a medium that has gone.
        pending_ = line;
        pendingMark_ = mark;
        opened_ = false;
        return fail(file_->problem());
    }
    if (mark) {
        file_->releaseMark(*mark);
    }
    return true;
}

}  // namespace dl250t
