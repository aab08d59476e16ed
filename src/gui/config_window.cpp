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

std::size_t slot(ctl::ControlId id) {
    if (id < ctl::First || id > ctl::Last) {
        throw std::out_of_range("no control " + std::to_string(id) + " on the form");
    }
    return static_cast<std::size_t>(id - ctl::First);
}

// Grows a text widget's rectangle where the font needs more room than the
// template gave it, so that no text is cut: sideways away from the side the
// text is aligned to, and evenly up and down.
QRect fitToText(QRect rect, QSize needed, Qt::Alignment align) {
    if (needed.width() > rect.width()) {
        const int extra = needed.width() - rect.width();
        if (align & Qt::AlignRight) {
            rect.setLeft(rect.left() - extra);
        } else if (align & Qt::AlignHCenter) {
            rect.adjust(-extra / 2, 0, extra - extra / 2, 0);
        } else {
            rect.setRight(rect.right() + extra);
        }
    }
    if (needed.height() > rect.height()) {
        const int extra = needed.height() - rect.height();
        rect.adjust(0, -extra / 2, 0, extra - extra / 2);
    }
    return rect;
}

}  // namespace

ConfigWindow::ConfigWindow(DialogUnits units, QWidget* parent) : QDialog(parent), units_(units) {
    // A title bar with the system menu and the close box; no minimise or
    // maximise box, and the size is fixed.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(qText(kFormTitle));
    setWindowIcon(programIcon());
    setFont(formFont());
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
    // The fixed cut of the template's metrics, scaled like everything else:
    // it leaves the bottom row and hides the advanced group.
    const QSize full = fullClientSize();
    return {full.width(), full.height() - units_.pixels(kAdvancedCollapsePixels)};
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
    label->setGeometry(fitToText(units_.rect(entry.label.rect), label->sizeHint(), align));
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
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base, palette.color(QPalette::Window));
                edit->setPalette(palette);
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
            // The caption may need more width than the template gave it, and
            // the line of text more height than its 8 units; the focus frame
            // the toolkit counts in its size hint may overlap a neighbour.
            const int height = std::max(box->fontMetrics().height(),
                                        box->style()->pixelMetric(QStyle::PM_IndicatorHeight));
            box->setGeometry(
                fitToText(rect, QSize(box->sizeHint().width(), height), Qt::AlignLeft));
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
