#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/outcome.hpp"
#include "production/serial_number.hpp"

namespace dl250t {

// One attempt at a module, as the production journal keeps it: what was
// written where, when, and how it ended.
struct ModuleRecord {
    // What reading the module after its block told: Ok and Mismatch for a
    // read-back after the module acknowledged, Stored and NotStored for the
    // one look at a module whose write failed after its block began to leave.
    enum class Verify { NotAsked, Ok, Mismatch, Stored, NotStored };

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
    // The journal reserved the serial number for this module before its
    // block left: the number is used up, whatever the outcome.
    bool reserved = false;
    // The code scanned from the module's board; empty when none was.
    std::string board;
    // Whether the module's label went out to the printer.
    enum class Label { NotAsked, Sent, Failed };
    Label label = Label::NotAsked;
};

// The label column of a journal: empty when no label was asked for.
inline std::string_view labelText(ModuleRecord::Label label) {
    switch (label) {
        case ModuleRecord::Label::Sent:
            return "sent";
        case ModuleRecord::Label::Failed:
            return "failed";
        case ModuleRecord::Label::NotAsked:
            break;
    }
    return {};
}

// The verify column of a journal: empty when the module was not looked at.
inline std::string_view verifyText(ModuleRecord::Verify verify) {
    switch (verify) {
        case ModuleRecord::Verify::Ok:
            return "ok";
        case ModuleRecord::Verify::Mismatch:
            return "mismatch";
        case ModuleRecord::Verify::Stored:
            return "stored";
        case ModuleRecord::Verify::NotStored:
            return "not stored";
        case ModuleRecord::Verify::NotAsked:
            break;
    }
    return {};
}

// Where the modules of a production line are recorded. A module that is
// written takes its number in two steps: reserveSerial records durably, before
// the block leaves, that the number goes to this module, and finishModule
// settles the reservation with the outcome. A number once reserved is never
// handed out again, whatever happens to the module or the program, so that no
// two modules can hold one number; a number that went to no module is a gap
// the journal explains. A module that is only read, or that did not answer
// before its block was to leave, takes no number and gets one line.
class ProductionJournal {
public:
    virtual ~ProductionJournal() = default;

    // Gets the journal ready to take lines (creates it when it is new) and
    // records as interrupted every reservation whose program is gone without
    // settling it. False, with problem() saying why, when it cannot be
    // written.
    virtual bool open() = 0;

    // After a successful open: the serial number to carry on from, after the
    // numbers this station used last (or the journal's, for a station new to
    // it); nothing when the journal has none.
    virtual std::optional<SerialNumber> resumeSerial() const = 0;

    // Before a module is touched. False, with problem() saying why, when the
    // journal cannot take the module's line; then no module may be touched
    // and finishModule is not called.
    virtual bool beginModule() = 0;

    // After the module answered its read, before the first byte of its block
    // leaves. `record` holds the port, the module's identity and the number
    // the front end proposes; its serial comes back as the number reserved:
    // the one proposed, or, when the journal already holds that one (or the
    // line's numbering goes on elsewhere), the one the journal gives. False,
    // with problem() saying why, when nothing could be reserved: then no block
    // may be sent and finishModule is not called.
    virtual bool reserveSerial(ModuleRecord& record) = 0;

    // Records how the module begun last ended: settles its reservation, or
    // adds the line of a module that reserved nothing. False, with problem()
    // saying why, when the line could not be recorded.
    virtual bool finishModule(const ModuleRecord& record) = 0;

    // What went wrong last, in words for the operator.
    virtual std::string problem() const = 0;
};

}  // namespace dl250t
