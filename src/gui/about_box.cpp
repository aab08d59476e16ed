#include "gui/about_box.hpp"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "gui/form_font.hpp"
#include "gui/program_icon.hpp"
#include "gui/qt_text.hpp"
#include "ui/about_template.hpp"

namespace dl250t {

AboutBox::AboutBox(DialogUnits units, QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(qText(kAboutTitle));
    setWindowIcon(programIcon());
    // The template's Tahoma is rarely installed here. The box is drawn in the
    // main window's font, which the units were measured from.
    setFont(parent != nullptr ? parent->font() : formFont());

    // The icon at the desktop's standard icon size, not stretched to its placeholder.
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(programIcon().pixmap(QSize(iconSize, iconSize)));
    const QRect iconRect = units.rect(kAboutIconRect);
    icon->setGeometry(iconRect.x(), iconRect.y(), iconSize, iconSize);

    auto* version = new QLabel(qText(kAboutVersionText), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    version->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QRect versionRect = units.rect(kAboutVersionRect);
    versionRect.setHeight(std::max(versionRect.height(), version->sizeHint().height()));
    version->setGeometry(versionRect);

    ok_ = new QPushButton(qText(kAboutOkCaption), this);
    ok_->setObjectName(QStringLiteral("aboutOk"));
    ok_->setDefault(true);
    ok_->setGeometry(units.rect(kAboutOkRect));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(units.size(kAboutClientSize));
}

}  // namespace dl250t
