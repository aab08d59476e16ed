#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "config/outcome.hpp"

namespace dl250t::cli {

// Exit statuses of dl250t-cli, one per kind of outcome.
enum ExitStatus : int {
    kExitOk = 0,
    kExitUsage = 1,            // wrong command line
    kExitInvalidBlock = 2,     // a block failed its length, keyword or CRC check
    kExitFileUnreadable = 3,   // a file could not be opened or read
    kExitBadSettings = 4,      // settings JSON is malformed or names a field wrongly
    kExitFileNotWritten = 5,   // the output file could not be written
    kExitPortOpenFailed = 6,   // the serial port does not exist or is taken
    kExitSerialFailed = 7,     // the serial port failed to write or read
    kExitModuleSilent = 8,     // the module did not answer
    kExitModuleRefused = 9,    // the module did not acknowledge the write
    kExitModuleMismatch = 10,  // the block read back differs from the one written
    kExitJournalFailed = 11,   // the production journal could not be written
    kExitSettingsDiffer = 12,  // diff found settings that differ
    kExitLabelFailed = 13,     // a module's label could not be sent to its printer
    kExitScannerEnded = 14,    // the station's scanner of board codes sends no more
};

// The exit status that tells a script how an exchange, a command or the
// reading of a file ended. A file the companion writes has status 5 whichever
// step of writing it failed.
int exitStatusFor(Outcome outcome);

// Runs one command of the companion: args are the arguments after the
// program's name. Results go to out, messages and warnings to err. Output
// that does not arrive fails a command that succeeded otherwise.
int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err);

// The status of a command once its standard output is flushed: when that
// output did not arrive, a command that had succeeded fails with
// kExitFileNotWritten, which is said on err.
int statusAfterOutput(bool outputArrived, int status, std::ostream& err);

}  // namespace dl250t::cli
