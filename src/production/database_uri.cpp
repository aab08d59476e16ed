#include "production/database_uri.hpp"

#include <optional>

namespace dl250t {

namespace {

std::optional<char> hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<char>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<char>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<char>(c - 'A' + 10);
    }
    return std::nullopt;
}

// The character that text[at] begins: %XX decoded, anything else as it is;
// `length` is how many characters of the text it took.
char decodedAt(std::string_view text, std::size_t at, std::size_t& length) {
    length = 1;
    if (text[at] == '%' && at + 2 < text.size()) {
        const auto high = hexDigit(text[at + 1]);
        const auto low = hexDigit(text[at + 2]);
        if (high && low) {
            length = 3;
            return static_cast<char>(*high << 4 | *low);
        }
    }
    return text[at];
}

// What comes before the first colon, spelled out or encoded: the user of a
// user:password part.
std::string_view userOf(std::string_view userInfo) {
    std::size_t length = 0;
    for (std::size_t at = 0; at < userInfo.size(); at += length) {
        if (decodedAt(userInfo, at, length) == ':') {
            return userInfo.substr(0, at);
        }
    }
    return userInfo;
}

// Whether a query parameter (key=value) sets a password.
bool setsPassword(std::string_view parameter) {
    std::string key;
    std::size_t length = 0;
    for (std::size_t at = 0; at < parameter.size(); at += length) {
        const char c = decodedAt(parameter, at, length);
        if (c == '=') {
            break;
        }
        key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key == "password" || key == "sslpassword";
}

}  // namespace

std::string uriWithoutPassword(std::string_view uri) {
    const std::size_t scheme = uri.find("://");
    if (scheme == std::string_view::npos) {
        return std::string(uri);
    }
    const std::size_t authorityStart = scheme + 3;
    const std::size_t authorityEnd = uri.find_first_of("/?", authorityStart);
    const std::string_view authority = uri.substr(
        authorityStart, authorityEnd == std::string_view::npos ? std::string_view::npos
                                                               : authorityEnd - authorityStart);
    std::string shown(uri.substr(0, authorityStart));
    // user:password@host: the last @ ends what the user typed before the host.
    const std::size_t at = authority.rfind('@');
    if (at == std::string_view::npos) {
        shown += authority;
    } else {
        shown += userOf(authority.substr(0, at));
        shown += authority.substr(at);
    }
    if (authorityEnd == std::string_view::npos) {
        return shown;
    }
    const std::string_view rest = uri.substr(authorityEnd);
    const std::size_t query = rest.find('?');
    shown += rest.substr(0, query);
    if (query == std::string_view::npos) {
        return shown;
    }
    std::string_view parameters = rest.substr(query + 1);
    char separator = '?';
    while (!parameters.empty()) {
        const std::size_t end = parameters.find('&');
        const std::string_view parameter = parameters.substr(0, end);
        if (!setsPassword(parameter)) {
            shown += separator;
            shown += parameter;
            separator = '&';
        }
        parameters =
            end == std::string_view::npos ? std::string_view() : parameters.substr(end + 1);
    }
    return shown;
}

}  // namespace dl250t
