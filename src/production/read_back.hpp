#pragma once

#include <functional>
#include <string_view>

#include "config/config_block.hpp"
#include "config/outcome.hpp"
#include "link/exchange_reporter.hpp"
#include "link/serial_port.hpp"
#include "production/production_journal.hpp"

namespace dl250t {

// Asks the module on `port` for its block once more, into a block of its own,
// and compares all its bytes with `expected`. ModuleRead when they are the
// same; ModuleVerifyFailed, reported, when they differ; a failed read is
// reported and returned as it is. Only failures are reported, so that a
// status line keeps what it said before. `verify` says what the comparison
// found, and stays as it was when nothing was read; `onMismatch` is shown
// what the module holds instead, before the mismatch is reported.
Outcome readBackAndCompare(SerialPortFactory& ports, std::string_view port,
                           const ConfigBlock& expected, ExchangeReporter& reporter,
                           ModuleRecord::Verify& verify,
                           const std::function<void(const ConfigBlock& stored)>& onMismatch = {});

}  // namespace dl250t
