#include "gui/form_style.hpp"

#include <QStyleOptionComplex>

namespace dl250t {

FormStyle::FormStyle(DialogUnits units) : units_(units) {}

QRect FormStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                SubControl subControl, const QWidget* widget) const {
    if (control == CC_ComboBox &&
        (subControl == SC_ComboBoxArrow || subControl == SC_ComboBoxEditField)) {
        const QRect box = option->rect;
        const int arrow = units_.pixels(kComboArrowPixels);
        const int frame = units_.pixels(kComboFramePixels);
        QRect rect = subControl == SC_ComboBoxArrow
                         ? QRect(box.right() + 1 - arrow, box.top(), arrow, box.height())
                         : QRect(box.left() + frame, box.top() + frame,
                                 box.width() - arrow - 2 * frame, box.height() - 2 * frame);
        return visualRect(option->direction, box, rect);
    }
    return QProxyStyle::subControlRect(control, option, subControl, widget);
}

int FormStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                           const QWidget* widget) const {
    if (metric == PM_CheckBoxLabelSpacing) {
        return units_.pixels(kCheckBoxLabelSpacingPixels);
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

}  // namespace dl250t
