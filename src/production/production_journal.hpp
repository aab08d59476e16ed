#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "config/outcome.hpp"
#include "production/serial_number.hpp"

namespace dl250t {

// One attempt at a module, as the production journal keeps it: what was
// written where, when, and how it ended.
struct ModuleRecord {
    enum class Verify { NotAsked, Ok, Mismatch };

    std::chrono::system_clock::time_point time;  // when the attempt began
    std::string port;
    // The module's identity string and version as it reported them; empty
    // when it was not read. The name is the module's own bytes, which need
    // not be UTF-8.
    std::string moduleName;
    std::string moduleVersion;
    // The number stored on success, else the one the module was to get; none
    // for a read that found no module.
    std::optional<SerialNumber> serial;
    Outcome outcome = Outcome::ModuleWritten;
    // Whether the block was read back: a failed read-back is its outcome and
    // leaves this at NotAsked.
    Verify verify = Verify::NotAsked;
    std::int64_t milliseconds = 0;
    // The CRC of the block handed to the module; none when nothing was sent.
    std::optional<std::uint16_t> crc;
};

// Where the modules of a production line are recorded. Each module is one
// attempt between beginModule and finishModule, so that a journal shared by
// several stations can hold its numbering for exactly that long: the caller
// finishes every module it began, whatever the module did.
class ProductionJournal {
public:
    virtual ~ProductionJournal() = default;

    // Gets the journal ready to take lines (creates it when it is new). False,
    // with problem() saying why, when it cannot be written.
    virtual bool open() = 0;

    // After a successful open: the serial number after that of the last
    // module written successfully; nothing when the journal has no such
    // module.
    virtual std::optional<SerialNumber> resumeSerial() const = 0;

    // Before a module is touched. `serial` comes in as the number the form
    // shows, none for a module that is only read and takes no number, and
    // goes out as the number the module is to get (a journal whose stations
    // share a line's numbering answers with the line's number). False, with
    // problem() saying why, when the journal cannot take the module's line;
    // then no module may be written and finishModule is not called.
    virtual bool beginModule(std::optional<SerialNumber>& serial) = 0;

    // Records how the module begun last ended. False, with problem() saying
    // why, when the line could not be recorded.
    virtual bool finishModule(const ModuleRecord& record) = 0;

    // What went wrong last, in words for the operator.
    virtual std::string problem() const = 0;
};

}  // namespace dl250t
