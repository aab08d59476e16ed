#pragma once

#include <QProxyStyle>

#include "gui/dialog_units.hpp"

namespace dl250t {

// The toolkit's style with the proportions the form was laid out for: the
// template gives its drop-downs and check boxes room for a slim arrow and a
// small gap before a check box's caption. With the toolkit's own wider
// arrow, items such as "76.8kbps" would not fit their fields.
class FormStyle final : public QProxyStyle {
    Q_OBJECT

public:
    static constexpr int kComboArrowPixels = 13;
    static constexpr int kComboFramePixels = 2;
    static constexpr int kCheckBoxLabelSpacingPixels = 3;

    explicit FormStyle(DialogUnits units);

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                         SubControl subControl, const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;

private:
    DialogUnits units_;
};

}  // namespace dl250t
