#include "production/line_settings.hpp"

#include <utility>

namespace dl250t {

LineSettings::LineSettings(const ConfigBlock& file, OffscreenForm::Messages warnings,
                           std::string programName)
    : offscreen_(std::move(warnings), std::move(programName)),
      fileSerial_(SerialNumber::fromBlock(file)) {
    offscreen_.form().decodeBlock(file);
    offscreen_.form().advancedShown = true;
}

void LineSettings::encode(ConfigBlock& block) {
    offscreen_.form().encodeForStoring(block);
}

}  // namespace dl250t
