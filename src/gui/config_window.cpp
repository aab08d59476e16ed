#include "gui/config_window.hpp"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <stdexcept>
#include <string>

#include "gui/form_font.hpp"
#include "gui/form_style.hpp"
#include "gui/program_icon.hpp"
#include "gui/qt_text.hpp"
#include "ui/about_template.hpp"
#include "ui/form_lists.hpp"

namespace dl250t {
namespace {

// The closed field of a drop-down: one line, as high as an edit. The
// template's height of the drop-downs is that of the opened list.
constexpr int kClosedDropDownUnits = 12;

// The space a line edit keeps between its contents rectangle and its text,
// left and right.
constexpr int kLineEditPaddingPixels = 2;

// How far inside its group box's right edge a control may reach: the frame and
// a gap as wide as the template leaves there.
constexpr int kGroupBoxInsetUnits = 2;

std::size_t slot(ctl::ControlId id) {
    if (id < ctl::First || id > ctl::Last) {
        throw std::out_of_range("no control " + std::to_string(id) + " on the form");
    }
    return static_cast<std::size_t>(id - ctl::First);
}

// The right edge, in units, up to which a borderless field can show its text:
// the next label or control on its line, else the inner edge of its group box,
// else the window's edge; never short of its own rectangle. The template's
// name field is two pixels short of a module's whole name even in the
// template's own font: 31 letters of 6 pixels in a field of 184, with 6 free
// beside it.
int freeRightEdge(const ControlTemplate& field) {
    const DialogRect& own = field.rect;
    const int ownRight = own.x + own.width;
    int edge = kFormClientSize.width;
    for (const GroupBoxTemplate& group : kFormGroupBoxes) {
        const DialogRect& g = group.rect;
        if (g.x <= own.x && ownRight <= g.x + g.width && g.y <= own.y &&
            own.y + own.height <= g.y + g.height) {
            edge = std::min(edge, g.x + g.width - kGroupBoxInsetUnits);
        }
    }
    const auto limitBy = [&](DialogRect other) {
        const bool onLine = other.y < own.y + own.height && own.y < other.y + other.height;
        if (other.width > 0 && onLine && other.x >= ownRight) {
            edge = std::min(edge, other.x - 1);
        }
    };
    for (const ControlTemplate& other : kFormControls) {
        if (other.id == field.id) {
            continue;
        }
        DialogRect rect = other.rect;
        if (isList(other.kind)) {
            rect.height = kClosedDropDownUnits;
        }
        limitBy(rect);
        limitBy(other.label.rect);
    }
    return std::max(edge, ownRight);
}

}  // namespace

ConfigWindow::ConfigWindow(const QFont& font, double scale, QWidget* parent)
    : ConfigWindow(DialogUnits::forFont(font, scale), font, parent) {}

ConfigWindow::ConfigWindow(DialogUnits units, QWidget* parent)
    : ConfigWindow(units, formFont(), parent) {}

ConfigWindow::ConfigWindow(DialogUnits units, const QFont& font, QWidget* parent)
    : QDialog(parent), units_(units) {
    // A title bar with the system menu and the close box; no minimise or
    // maximise box, and the size is fixed.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(qText(kFormTitle));
    setWindowIcon(programIcon());
    setFont(font);
    setSizeGripEnabled(false);
    // A widget's style does not pass to its children; the controls that need
    // it are given it one by one.
    style_ = new FormStyle(units_);
    style_->setParent(this);

    createGroupBoxes();
    createControls();
    fillInitialLists();
    createMenuEntries();
    setFixedSize(fullClientSize());
    // Keystrokes reach the control with the focus, or the window when a
    // frozen form has none: a scanner's are taken from all of them.
    installEventFilter(this);
    for (QWidget* widget : controls_) {
        widget->installEventFilter(this);
    }
}

ConfigWindow::~ConfigWindow() {
    // The controls outlive this part of the window and still signal while
    // they go: an editable drop-down losing the focus reports an item that
    // matches its text as picked.
    for (QWidget* widget : controls_) {
        if (widget != nullptr) {
            widget->disconnect(this);
        }
    }
}

void ConfigWindow::setHandlers(Handlers handlers) {
    handlers_ = std::move(handlers);
}

QWidget* ConfigWindow::control(ctl::ControlId id) const {
    return controls_[slot(id)];
}

QLabel* ConfigWindow::label(ctl::ControlId id) const {
    return labels_[slot(id)];
}

QSize ConfigWindow::fullClientSize() const {
    return units_.size(kFormClientSize);
}

QSize ConfigWindow::collapsedClientSize() const {
    // The cut leaves the bottom row and hides the advanced group. It is given
    // in pixels of the template's font; in units it follows whatever font the
    // window is drawn in.
    static_assert(kAdvancedCollapsePixels * 8 % DialogUnits::kTemplateBaseHeight == 0);
    constexpr int kCollapseUnits = kAdvancedCollapsePixels * 8 / DialogUnits::kTemplateBaseHeight;
    return units_.size({kFormClientSize.width, kFormClientSize.height - kCollapseUnits});
}

void ConfigWindow::createGroupBoxes() {
    // Created before the controls, so that they lie beneath them.
    for (std::size_t i = 0; i < kFormGroupBoxes.size(); ++i) {
        auto* group = new QGroupBox(qText(kFormGroupBoxes[i].caption), this);
        group->setObjectName(QStringLiteral("group%1").arg(i));
        group->setGeometry(units_.rect(kFormGroupBoxes[i].rect));
        group->setFocusPolicy(Qt::NoFocus);
        groups_[i] = group;
    }
}

void ConfigWindow::createControls() {
    QWidget* previous = nullptr;
    for (const ControlTemplate& entry : kFormControls) {
        createLabel(entry);
        QWidget* widget = createControl(entry);
        widget->setObjectName(QStringLiteral("control%1").arg(entry.id));
        widget->setProperty("controlId", entry.id);
        controls_[slot(entry.id)] = widget;
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

void ConfigWindow::createLabel(const ControlTemplate& entry) {
    if (entry.label.text.empty()) {
        return;
    }
    auto* label = new QLabel(qText(entry.label.text), this);
    label->setObjectName(QStringLiteral("label%1").arg(entry.id));
    const Qt::Alignment align =
        (entry.label.align == LabelAlign::Centre ? Qt::AlignHCenter : Qt::AlignRight) |
        Qt::AlignVCenter;
    label->setAlignment(align);
    label->setGeometry(units_.rect(entry.label.rect));
    labels_[slot(entry.id)] = label;
}

QWidget* ConfigWindow::createControl(const ControlTemplate& entry) {
    const ctl::ControlId id = entry.id;
    QRect rect = units_.rect(entry.rect);
    switch (entry.kind) {
        case ControlKind::Edit:
        case ControlKind::ReadOnlyEdit: {
            auto* edit = new QLineEdit(this);
            if (entry.kind == ControlKind::ReadOnlyEdit) {
                // Reads like text on the window, yet can be selected and copied.
                edit->setReadOnly(true);
                edit->setFrame(false);
                // Without a border the text may start and end at the field's
                // edges, as it does in the template's read-only fields. The
                // line edit keeps two pixels of its own on either side, which
                // would cut "UNKNOWN" in its 30 units.
                edit->setTextMargins(-kLineEditPaddingPixels, 0, -kLineEditPaddingPixels, 0);
                // Whatever lies beneath shows through, a group box's panel too.
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base, Qt::transparent);
                edit->setPalette(palette);
                rect.setRight(units_.x(freeRightEdge(entry)) - 1);
            }
            edit->setGeometry(rect);
            connect(edit, &QLineEdit::textEdited, this,
                    [this, id] { forward(ControlEvent::TextChanged, id); });
            return edit;
        }
        case ControlKind::DropDownList:
        case ControlKind::EditableDropDown: {
            auto* combo = new QComboBox(this);
            combo->setStyle(style_);
            if (entry.kind == ControlKind::EditableDropDown) {
                combo->setEditable(true);
                combo->setInsertPolicy(QComboBox::NoInsert);
                // Typed text stays as typed: no completion from the items.
                combo->setCompleter(nullptr);
            }
            rect.setHeight(units_.y(entry.rect.y + kClosedDropDownUnits) - rect.top());
            combo->setGeometry(rect);
            connect(combo, &QComboBox::activated, this,
                    [this, id] { forward(ControlEvent::SelectionChanged, id); });
            return combo;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(qText(entry.caption), this);
            box->setStyle(style_);
            // The toolkit's indicator may be taller than the template's line
            // of text; the box grows evenly up and down to hold it.
            const int indicator =
                box->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box);
            if (indicator > rect.height()) {
                const int extra = indicator - rect.height();
                rect.adjust(0, -extra / 2, 0, extra - extra / 2);
            }
            box->setGeometry(rect);
            connect(box, &QCheckBox::clicked, this,
                    [this, id] { forward(ControlEvent::Clicked, id); });
            return box;
        }
        case ControlKind::PushButton: {
            auto* button = new QPushButton(qText(entry.caption), this);
            // The form has no default button: Enter accepts the form instead.
            button->setAutoDefault(false);
            button->setDefault(false);
            button->setGeometry(rect);
            connect(button, &QPushButton::clicked, this,
                    [this, id] { forward(ControlEvent::Clicked, id); });
            return button;
        }
    }
    throw std::logic_error("unknown control kind");
}

void ConfigWindow::fillInitialLists() {
    for (const InitialList& list : kInitialLists) {
        auto* combo = qobject_cast<QComboBox*>(control(list.id));
        for (std::string_view item : list.items) {
            combo->addItem(qText(item));
        }
        // Adding the first item selects it; the lists start without a selection
        // and the port field starts empty.
        combo->setCurrentIndex(-1);
        if (combo->isEditable()) {
            combo->setEditText(QString());
        }
        // As many rows as fit into the template's opened height.
        const ControlTemplate& entry = controlTemplate(list.id);
        const int listPixels = units_.y(entry.rect.y + entry.rect.height) -
                               units_.y(entry.rect.y + kClosedDropDownUnits);
        const int rowPixels = std::max(1, combo->view()->sizeHintForRow(0));
        combo->setMaxVisibleItems(std::max(1, listPixels / rowPixels));
    }
}

void ConfigWindow::createMenuEntries() {
    // The production entries first: with them nobody needs a command line.
    verifyAction_ = new QAction(qText(kVerifyMenuText), this);
    verifyAction_->setObjectName(QStringLiteral("verifyAction"));
    verifyAction_->setCheckable(true);
    connect(verifyAction_, &QAction::toggled, this, [this](bool checked) {
        if (handlers_.verifyChanged) {
            handlers_.verifyChanged(checked);
        }
    });
    addAction(verifyAction_);
    auto* journal = new QAction(qText(kJournalMenuText), this);
    journal->setObjectName(QStringLiteral("journalAction"));
    connect(journal, &QAction::triggered, this, [this] {
        if (handlers_.chooseJournal) {
            handlers_.chooseJournal();
        }
    });
    addAction(journal);
    scanAction_ = new QAction(qText(kScanMenuText), this);
    scanAction_->setObjectName(QStringLiteral("scanAction"));
    scanAction_->setCheckable(true);
    connect(scanAction_, &QAction::toggled, this, [this](bool checked) {
        if (handlers_.scanChanged) {
            handlers_.scanChanged(checked);
        }
    });
    addAction(scanAction_);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);

    // X11 and Wayland give the window no system menu to add the entry to; the
    // window's own context menu and F1 stand in for it.
    auto* about = new QAction(qText(kAboutMenuText), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, [this] {
        if (handlers_.systemCommand) {
            handlers_.systemCommand(kAboutCommand);
        }
    });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ConfigWindow::forward(ControlEvent event, ctl::ControlId id) {
    if (handlers_.controlEvent) {
        handlers_.controlEvent(event, id);
    }
}

void ConfigWindow::accept() {
    if (!handlers_.accept || handlers_.accept()) {
        QDialog::accept();
    }
}

bool ConfigWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !handlers_.takesScannerKeys ||
        !handlers_.takesScannerKeys() || !handlers_.scannerKeys) {
        return QDialog::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        handlers_.scannerKeys("\r");
        return true;
    }
    // Esc still closes the window; keys that type nothing (Shift) pass.
    if (key->key() == Qt::Key_Escape || key->text().isEmpty()) {
        return QDialog::eventFilter(watched, event);
    }
    const QByteArray typed = key->text().toUtf8();
    handlers_.scannerKeys(
        std::string_view(typed.constData(), static_cast<std::size_t>(typed.size())));
    return true;
}

void ConfigWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier) {
        // Enter on a push button presses that button; anywhere else it accepts
        // the form.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    // Esc rejects, and the window closes at once.
    QDialog::keyPressEvent(event);
}

}  // namespace dl250t
