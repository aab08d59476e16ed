#pragma once

#include <string_view>

namespace dl250t {

// How an exchange with the module, an operator command or a file operation
// ended. The value is what callers branch on; the operator sees its text,
// through outcomeText, where outcomeDisplay says.
enum class Outcome {
    // Successes: the text goes on the status line only.
    ModuleRead,
    ModuleWritten,
    FileOpened,
    FileRead,
    FileWritten,
    // Failures: the text goes on the status line and then into an error box.
    PortOpenFailed,
    PortWriteFailed,
    PortReadFailed,
    ResponseTimeout,
    LengthMismatch,
    KeywordMismatch,
    CrcMismatch,
    ModuleWriteFailed,
    ModuleVerifyFailed,  // the block read back differs from the one written
    FileOpenFailed,
    FileWriteFailed,
    JournalFailed,  // the production journal cannot take the module's line
    // Another program is writing modules on the port: the module is left to
    // it, and the status line says so without a box, since auto-configure
    // must never wait for a click.
    PortInUse,
    // Commands that never started. With no port chosen the operator is asked
    // for one in an error box and the status line keeps its text; a cancelled
    // file chooser shows nothing at all.
    NoPortChosen,
    Cancelled,
};

// Where the operator is told of an outcome.
enum class OutcomeDisplay { StatusLine, StatusLineAndErrorBox, ErrorBox, Nothing };

// The operator's text for the outcome; empty for Cancelled.
std::string_view outcomeText(Outcome outcome);

OutcomeDisplay outcomeDisplay(Outcome outcome);

// True for the five successes, which open the enumeration.
bool isSuccess(Outcome outcome);

}  // namespace dl250t
