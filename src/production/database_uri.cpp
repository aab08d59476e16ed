#include "production/database_uri.hpp"

#include <algorithm>
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

// The text with every %XX decoded; nothing when a % begins no such pair.
std::optional<std::string> decoded(std::string_view text) {
    std::string plain;
    std::size_t length = 0;
    for (std::size_t at = 0; at < text.size(); at += length) {
        plain += decodedAt(text, at, length);
        if (text[at] == '%' && length == 1) {
            return std::nullopt;
        }
    }
    return plain;
}

// host, [v6] or host:port, [v6]:port; false when a bracket is not closed.
bool splitHost(std::string_view text, std::string& host, std::string& port) {
    std::size_t portAt = std::string_view::npos;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        host = text.substr(1, close - 1);
        portAt = text.size() > close + 1 && text[close + 1] == ':' ? close + 1 : portAt;
    } else {
        portAt = text.find(':');
        host = text.substr(0, portAt);
    }
    port = portAt == std::string_view::npos ? std::string() : std::string(text.substr(portAt + 1));
    return true;
}

}  // namespace

std::optional<DatabaseUriParts> parseDatabaseUri(std::string_view uri, std::string& problem) {
    std::size_t scheme = 0;
    for (const std::string_view prefix : {"postgresql://", "postgres://"}) {
        if (uri.starts_with(prefix)) {
            scheme = prefix.size();
        }
    }
    if (scheme == 0) {
        problem = "the URI does not begin with postgresql://";
        return std::nullopt;
    }
    const std::size_t authorityEnd = std::min(uri.find_first_of("/?", scheme), uri.size());
    std::string_view authority = uri.substr(scheme, authorityEnd - scheme);
    DatabaseUriParts parts;
    std::optional<std::string> user = std::string();
    std::optional<std::string> password = std::string();
    // The last @ ends the user part, as when the URI is shown without its password.
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        user = decoded(userInfo.substr(0, colon));
        password =
            colon == std::string_view::npos ? std::string() : decoded(userInfo.substr(colon + 1));
        authority.remove_prefix(at + 1);
    }
    std::string hosts;
    std::string ports;
    bool anyPort = false;
    for (std::size_t start = 0; start <= authority.size();) {
        const std::size_t end = std::min(authority.find(',', start), authority.size());
        std::string host;
        std::string port;
        const auto plainHost = decoded(authority.substr(start, end - start));
        if (!plainHost || !splitHost(*plainHost, host, port)) {
            problem = "the URI's host cannot be read";
            return std::nullopt;
        }
        anyPort = anyPort || !port.empty();
        hosts += (start == 0 ? "" : ",") + host;
        ports += (start == 0 ? "" : ",") + port;
        start = end + 1;
    }
    parts.host = std::move(hosts);
    parts.port = anyPort ? std::move(ports) : std::string();
    std::string_view rest = uri.substr(authorityEnd);
    const std::size_t query = rest.find('?');
    const auto database = decoded(rest.substr(0, query).substr(rest.starts_with('/') ? 1 : 0));
    if (!user || !password || !database) {
        problem = "the URI holds a % that begins no %XX";
        return std::nullopt;
    }
    parts.user = std::move(*user);
    parts.password = std::move(*password);
    parts.database = std::move(*database);
    rest = query == std::string_view::npos ? std::string_view() : rest.substr(query + 1);
    while (!rest.empty()) {
        const std::size_t end = rest.find('&');
        const std::string_view parameter = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t equals = parameter.find('=');
        const auto key = decoded(parameter.substr(0, equals));
        const auto value = decoded(equals == std::string_view::npos ? std::string_view()
                                                                    : parameter.substr(equals + 1));
        if (equals == std::string_view::npos || !key || !value) {
            problem = "the URI's parameters cannot be read (KEY=VALUE&…)";
            return std::nullopt;
        }
        std::string* part = *key == "user"       ? &parts.user
                            : *key == "password" ? &parts.password
                            : *key == "host"     ? &parts.host
                            : *key == "port"     ? &parts.port
                            : *key == "dbname"   ? &parts.database
                                                 : nullptr;
        if (part != nullptr) {
            *part = *value;
        } else {
            parts.parameters.emplace_back(*key, *value);
        }
    }
    return parts;
}

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
