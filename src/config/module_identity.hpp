#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_block.hpp"
#include "config/module_settings.hpp"

namespace dl250t {

// Reads the module's identity from bytes 4..43: the texts shown in the module
// information group, the serial number, and what single characters of the
// identity string say about the hardware (power class, band, crystal). A band
// character outside the known ones leaves the band text and base as they were.
void decodeIdentity(const ConfigBlock& block, ModuleSettings& settings, ModuleIdentity& identity);

// The parts of the identity that Write shows for a connected module without
// decoding its block.
std::string identityName(const ConfigBlock& block);      // bytes 4.. up to the zero, at most 32
std::string identityVersion(const ConfigBlock& block);   // "%d.%d", byte 37 then byte 36
std::string identityType(const ConfigBlock& block);      // "NODE", "ROOT" or "UNKNOWN"
std::string identityMaxPower(const ConfigBlock& block);  // "%c0dBm" with the power-class character

// The items of the RF output power list for the module's power class.
std::vector<std::string> rfPowerItems(const ModuleIdentity& identity);

// The serial number a fresh start offers: the start time as four big-endian
// bytes (seconds since 1970, modulo 2^32), then 00 00.
std::string defaultSerialText(std::int64_t secondsSince1970);

}  // namespace dl250t
