#include "gui/form_font.hpp"

#include "ui/form_template.hpp"

namespace dl250t {

QStringList formFontFamilies() {
    return {QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Micro Hei"),
            QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC")};
}

QFont formFont() {
    QFont font;
    font.setFamilies(formFontFamilies());
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(kFormFont.pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace dl250t
