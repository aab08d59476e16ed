#pragma once

#include <QDialog>
#include <QSize>
#include <array>
#include <cstdint>
#include <functional>

#include "app/config_dialog.hpp"
#include "gui/dialog_units.hpp"
#include "gui/form_font.hpp"
#include "ui/control_ids.hpp"
#include "ui/form_template.hpp"

class QAction;
class QLabel;
class QGroupBox;

namespace dl250t {
class FormStyle;
}

namespace dl250t {

// The main window, built from the form template alone: every control at its
// rectangle, in tab order, with the template's captions, labels, group boxes
// and initial list items. The window only shows and forwards; what happens is
// decided by the controller through the handlers.
//
// Each control carries the object name "control<ID>" and the property
// "controlId"; its label is "label<ID>".
class ConfigWindow final : public QDialog {
    Q_OBJECT

public:
    struct Handlers {
        // A click, a selection change or an edit by the operator.
        std::function<void(ControlEvent, ctl::ControlId)> controlEvent = {};
        // Enter: true when the window may close.
        std::function<bool()> accept = {};
        // The About entry, as a system-menu command.
        std::function<void(std::uint32_t)> systemCommand = {};
        // The context menu's production entries: verification ticked or
        // unticked, and the journal to be chosen.
        std::function<void(bool)> verifyChanged = {};
        std::function<void()> chooseJournal = {};
        // Board codes scanned ticked or unticked; while takesScannerKeys says
        // so, what is typed anywhere in the window goes to scannerKeys (Enter
        // as CR) and not to the controls: a scanner that types like a
        // keyboard, into a form that auto-configure has frozen.
        std::function<void(bool)> scanChanged = {};
        std::function<bool()> takesScannerKeys = {};
        std::function<void(std::string_view)> scannerKeys = {};
    };

    // The production entries of the context menu.
    static constexpr std::string_view kVerifyMenuText = "写入后校验";
    static constexpr std::string_view kJournalMenuText = "生产记录…";
    static constexpr std::string_view kScanMenuText = "扫描板号";

    // The command ID the About entry sends.
    static constexpr std::uint32_t kAboutCommand = 0x10;

    // The window in a font, at dialog units measured from that font.
    explicit ConfigWindow(const QFont& font = formFont(), double scale = primaryScreenScale(),
                          QWidget* parent = nullptr);
    // The window in the form's font at the given units.
    explicit ConfigWindow(DialogUnits units, QWidget* parent = nullptr);
    ~ConfigWindow() override;

    void setHandlers(Handlers handlers);

    // The widget of a control; throws std::out_of_range for an ID outside the form.
    QWidget* control(ctl::ControlId id) const;
    // The label to a control's left, or nullptr when it has none.
    QLabel* label(ctl::ControlId id) const;
    const std::array<QGroupBox*, kFormGroupBoxes.size()>& groupBoxes() const { return groups_; }

    const DialogUnits& units() const { return units_; }

    // The check item of verification in the context menu.
    QAction* verifyAction() const { return verifyAction_; }
    // The check item of board codes scanned.
    QAction* scanAction() const { return scanAction_; }

    // The client area with the advanced panel, and without the strip below
    // the bottom row.
    QSize fullClientSize() const;
    QSize collapsedClientSize() const;

    // Enter's path: asks the controller and closes only when it agrees.
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ConfigWindow(DialogUnits units, const QFont& font, QWidget* parent);

    void createGroupBoxes();
    void createControls();
    void createLabel(const ControlTemplate& entry);
    QWidget* createControl(const ControlTemplate& entry);
    void fillInitialLists();
    void createMenuEntries();
    void forward(ControlEvent event, ctl::ControlId id);

    DialogUnits units_;
    FormStyle* style_ = nullptr;
    Handlers handlers_;
    QAction* verifyAction_ = nullptr;
    QAction* scanAction_ = nullptr;
    std::array<QWidget*, ctl::Last - ctl::First + 1> controls_{};
    std::array<QLabel*, ctl::Last - ctl::First + 1> labels_{};
    std::array<QGroupBox*, kFormGroupBoxes.size()> groups_{};
};

}  // namespace dl250t
