#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace dl250t {

// The core's texts are UTF-8; these carry them into Qt and back. A module's
// own text, which may be in the Chinese code page, goes through displayText.
inline QString qText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

inline std::string stdText(const QString& text) {
    return text.toStdString();
}

}  // namespace dl250t
