#include "production/label_destination.hpp"

#include <charconv>

namespace dl250t {

std::optional<LabelDestination> parseLabelDestination(std::string_view text, std::string& problem) {
    LabelDestination destination;
    if (text.starts_with("tcp://")) {
        const std::string_view address = text.substr(6);
        const std::size_t colon = address.rfind(':');
        std::string_view host = address.substr(0, colon);
        const std::string_view port =
            colon == std::string_view::npos ? std::string_view() : address.substr(colon + 1);
        // An IPv6 address, with colons of its own, comes in brackets.
        const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
        if (bracketed) {
            host = host.substr(1, host.size() - 2);
        }
        unsigned number = 0;
        const char* end = port.data() + port.size();
        const auto [ptr, ec] = std::from_chars(port.data(), end, number);
        // A blank or a bracket left in the host would only fail at the
        // first label; say so now.
        if (host.empty() ||
            host.find_first_of(bracketed ? " []/" : " []/:") != std::string_view::npos ||
            port.empty() || ec != std::errc{} || ptr != end || number < 1 || number > 65535) {
            problem = "tcp:// takes HOST:PORT, such as tcp://192.168.1.50:9100";
            return std::nullopt;
        }
        destination.kind = LabelDestination::Kind::Tcp;
        destination.host = std::string(host);
        destination.port = std::to_string(number);
        return destination;
    }
    if (text.starts_with("printer:")) {
        if (text.size() == 8) {
            problem = "printer: takes the name of a Windows printer";
            return std::nullopt;
        }
        destination.kind = LabelDestination::Kind::Spooler;
        destination.name = std::string(text.substr(8));
        return destination;
    }
    if (text.empty()) {
        problem = "--printer takes tcp://HOST:PORT, printer:NAME or a file or device";
        return std::nullopt;
    }
    destination.name = std::string(text);
    return destination;
}

}  // namespace dl250t
