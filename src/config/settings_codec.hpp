#pragma once

#include <functional>
#include <string>

#include "config/config_block.hpp"
#include "config/module_settings.hpp"

namespace dl250t {

// Block to record: the identity first (which also chooses the crystal that
// every later conversion uses), then the basic, frequency, UART and frame,
// command slot and advanced groups. Trusts the block: validation comes first.
void decodeSettings(const ConfigBlock& block, ModuleSettings& settings, ModuleIdentity& identity);

struct EncodeHooks {
    // Shown to the operator for every value that range adjustment changed, in
    // the order the adjustments run. The encode goes on afterwards.
    std::function<void(const std::string& warning)> warn;
    // Runs after the command slots and before the advanced group is adjusted
    // and written; the rate-derived defaults hook in here.
    std::function<void()> beforeAdvancedGroup;
};

// Record to block: range-adjusts every numeric field (in the record) and
// writes bytes 38..300 except the bytes the module owns: bits 2..7 of byte 72
// and slot data beyond each slot's length. Header, identity, version, the
// reserved bytes 301..515 and the CRC are left as they are.
void encodeSettings(ModuleSettings& settings, const ModuleIdentity& identity, ConfigBlock& block,
                    const EncodeHooks& hooks);

}  // namespace dl250t
