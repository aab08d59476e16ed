#pragma once

#include <QDialog>

#include "gui/dialog_units.hpp"

class QPushButton;

namespace dl250t {

// The About box from its template: the program icon, the version line and an
// OK button that is the default. OK, Esc and the close box all close it.
class AboutBox final : public QDialog {
    Q_OBJECT

public:
    explicit AboutBox(DialogUnits units, QWidget* parent = nullptr);

    QPushButton* okButton() const { return ok_; }

private:
    QPushButton* ok_ = nullptr;
};

}  // namespace dl250t
