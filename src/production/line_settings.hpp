#pragma once

#include <string>

#include "config/config_block.hpp"
#include "production/serial_number.hpp"
#include "ui/offscreen_form.hpp"

namespace dl250t {

// The settings of a configuration file as a production line writes them: put
// into the settings form as the window's Open does, with the advanced panel
// shown so that the file's timing is sent as it is, and encoded for every
// module exactly as the window's Write encodes them (the same range
// adjustment, with a warning for each value adjusted, every time).
class LineSettings {
public:
    // `file` is a block that passed its checks.
    LineSettings(const ConfigBlock& file, OffscreenForm::Messages warnings,
                 std::string programName);

    // The serial number the file holds.
    SerialNumber fileSerial() const { return fileSerial_; }

    // Encodes the settings into a block, as ModuleWriter::Steps::encode.
    void encode(ConfigBlock& block);

private:
    OffscreenForm offscreen_;
    SerialNumber fileSerial_;
};

}  // namespace dl250t
