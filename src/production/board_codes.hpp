#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dl250t {

// Codes scanned from the modules' boards, paired with the modules plugged in,
// for a line that traces every module to its board. A scanner sends one code
// per line (CR, LF or CR LF ends it). A code waits for the next module; a
// module that comes first waits for the next code, and modules waiting take
// codes in the order they came. A second code scanned before a module came
// replaces the first: the operator scanned again, and the last scan is the
// board in hand. A module pulled out no longer waits. Codes are printable
// ASCII of at most kMaxLength characters; anything else is refused, so that
// a misread or a stray keystroke never reaches the journal.
class BoardCodes {
public:
    static constexpr std::size_t kMaxLength = 64;

    enum class Refusal { TooLong, NotPrintable };

    // What became of one line the scanner sent.
    struct Scan {
        enum class Kind { Waiting, Replaced, Refused, Paired };
        Kind kind = Kind::Waiting;
        // The code; for a refused line the line as text that can be shown
        // (bytes outside printable ASCII as \xNN, cut after kMaxLength).
        std::string code;
        // Replaced: the code that waited before.
        std::string replaced = {};
        Refusal refusal = Refusal::TooLong;
        // Paired: the port of the module that takes the code.
        std::string port = {};
    };

    // Bytes from the scanner, as they come: every line they end, in order.
    // Empty lines (the LF of a CR LF, an Enter alone) are nothing.
    std::vector<Scan> feed(std::string_view bytes);

    // A module plugged in on `port`: the code it takes, or nothing when no
    // code waits (it then waits for one).
    std::optional<std::string> arrived(const std::string& port);
    // The module on `port` was pulled out: it waits no longer.
    void removed(const std::string& port);

    // Forgets codes and modules waiting, and any part of a line.
    void clear();

    const std::optional<std::string>& waitingCode() const { return code_; }
    const std::deque<std::string>& waitingModules() const { return modules_; }
    // Bytes of a line that no line end has completed yet.
    bool partLine() const { return !line_.empty() || overlong_; }

private:
    Scan take(std::string line, bool overlong);

    std::string line_;
    bool overlong_ = false;
    bool afterCr_ = false;
    std::optional<std::string> code_;
    std::deque<std::string> modules_;
};

}  // namespace dl250t
