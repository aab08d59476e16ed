#include "production/board_codes.hpp"

#include <algorithm>
#include <cstdio>

namespace dl250t {

namespace {

bool printable(char c) {
    return c >= 0x20 && c <= 0x7E;
}

// The line as it can be shown whatever it holds.
std::string shown(std::string_view line) {
    std::string text;
    for (const char c : line) {
        if (printable(c) && c != '\\') {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            text += escaped;
        }
    }
    return text;
}

}  // namespace

std::vector<BoardCodes::Scan> BoardCodes::feed(std::string_view bytes) {
    std::vector<Scan> scans;
    for (const char c : bytes) {
        const bool lf = c == '\n';
        if (c == '\r' || lf) {
            // The LF of a CR LF ends nothing more.
            const bool crLf = lf && afterCr_;
            afterCr_ = !lf;
            if (!crLf && (!line_.empty() || overlong_)) {
                scans.push_back(take(std::move(line_), overlong_));
            }
            line_.clear();
            overlong_ = false;
            continue;
        }
        afterCr_ = false;
        // A line never ended is not kept whole: a scanner (or a pipe) that
        // sends without end cannot fill the memory.
        if (line_.size() < kMaxLength) {
            line_ += c;
        } else {
            overlong_ = true;
        }
    }
    return scans;
}

BoardCodes::Scan BoardCodes::take(std::string line, bool overlong) {
    Scan scan;
    if (overlong || !std::all_of(line.begin(), line.end(), printable)) {
        scan.kind = Scan::Kind::Refused;
        scan.refusal = overlong ? Refusal::TooLong : Refusal::NotPrintable;
        scan.code = shown(line);
        return scan;
    }
    scan.code = std::move(line);
    if (!modules_.empty()) {
        scan.kind = Scan::Kind::Paired;
        scan.port = modules_.front();
        modules_.pop_front();
        return scan;
    }
    if (code_) {
        scan.kind = Scan::Kind::Replaced;
        scan.replaced = *code_;
    }
    code_ = scan.code;
    return scan;
}

std::optional<std::string> BoardCodes::arrived(const std::string& port) {
    // A port announced again while its module waits still waits once.
    removed(port);
    if (code_) {
        std::optional<std::string> code = std::move(code_);
        code_.reset();
        return code;
    }
    modules_.push_back(port);
    return std::nullopt;
}

void BoardCodes::removed(const std::string& port) {
    std::erase(modules_, port);
}

void BoardCodes::clear() {
    line_.clear();
    overlong_ = false;
    afterCr_ = false;
    code_.reset();
    modules_.clear();
}

}  // namespace dl250t
