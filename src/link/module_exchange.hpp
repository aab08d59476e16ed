#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "config/config_block.hpp"
#include "config/outcome.hpp"
#include "link/exchange_reporter.hpp"
#include "link/serial_port.hpp"

namespace dl250t {

// The request for the module's block, and the module's answer to a block write.
inline constexpr std::array<std::uint8_t, 4> kReadRequest{'A', 'T', 'R', '0'};
inline constexpr std::array<std::uint8_t, 4> kWriteAcknowledgement{'A', 'T', 'O', 'K'};

// Fetches the module's block: sends "ATR0", reads up to 518 bytes and
// validates them. The reply is read into a block of its own and copied into
// `target` only when it passes validation, so a failed read never leaves
// partial or corrupt bytes in the caller's block. On success ModuleRead is
// reported and then `onSuccess` runs with the new target (the caller decodes
// it into the form there), still with the port held. Every outcome is
// reported before the port is released, and returned.
Outcome readExchange(SerialPortFactory& ports, std::string_view portName, ConfigBlock& target,
                     ExchangeReporter& reporter,
                     const std::function<void(const ConfigBlock&)>& onSuccess = {});

// Writes the working block to the module: once the port is open, `encode`
// fills the working block from the form (the caller sets and clears its
// writing flag around it), the block is stamped with "ATW0" and its CRC, sent,
// and the module's answer must be exactly "ATOK" in its first 4 bytes. When
// the port cannot be opened nothing is encoded and the block is unchanged.
// Every outcome is reported before the port is released, and returned;
// ModuleWritten is the one success.
Outcome writeExchange(SerialPortFactory& ports, std::string_view portName, ConfigBlock& working,
                      const std::function<void(ConfigBlock&)>& encode, ExchangeReporter& reporter);

}  // namespace dl250t
