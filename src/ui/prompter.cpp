#include "ui/prompter.hpp"

namespace dl250t {

std::string defaultExtension(const FileRequest& request) {
    if (request.mode == FileRequest::Mode::Open || request.filters.empty()) {
        return {};
    }
    // A filter may hold several patterns ("*.cfg;*.bin"): the first counts.
    const std::string& patterns = request.filters.front().pattern;
    const std::string_view pattern = std::string_view(patterns).substr(0, patterns.find(';'));
    if (!pattern.starts_with("*.")) {
        return {};
    }
    const std::string_view extension = pattern.substr(2);
    if (extension.empty() || extension.find_first_of("*?./\\") != std::string_view::npos) {
        return {};
    }
    return std::string(extension);
}

}  // namespace dl250t
