#include "ui/offscreen_form.hpp"

#include <utility>

namespace dl250t {

OffscreenForm::OffscreenForm(Messages messages, std::string programName)
    : sink_(std::move(messages)), form_(view_, sink_, std::move(programName)) {}

}  // namespace dl250t
