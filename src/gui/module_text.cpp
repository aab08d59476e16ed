#include "gui/module_text.hpp"

#include <QByteArrayView>
#include <QStringDecoder>

#include "config/utf8_text.hpp"
#include "gui/qt_text.hpp"

namespace dl250t {

QString displayText(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return qText(bytes);
    }
    const QByteArrayView view(bytes.data(), qsizetype(bytes.size()));
    QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
    if (gb18030.isValid()) {
        // Bytes that are not GB18030 either show as replacement characters.
        return gb18030(view);
    }
    return QString::fromLatin1(view);
}

}  // namespace dl250t
