#include "gui/config_window.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTest>

#include "config/module_identity.hpp"
#include "gui/about_box.hpp"
#include "gui/gui_support.hpp"
#include "gui/qt_form_view.hpp"
#include "ui/form_exchange.hpp"
#include "ui/form_lists.hpp"

namespace dl250t {
namespace {

using testing::qs;
using testing::widgetOf;

// Rectangles of the template at 96 DPI, where a dialog unit is 1.5 pixels
// both ways, worked out by hand.
TEST(DialogUnitsTest, ConvertsEdgesAtTheTemplateMetricsAndScales) {
    const DialogUnits at96(1.0);
    EXPECT_EQ(at96.rect({86, 208, 288, 12}), QRect(129, 312, 432, 18));
    // Odd units round their edges, so neighbours keep a common edge.
    EXPECT_EQ(at96.rect({7, 264, 209, 12}), QRect(11, 396, 313, 18));
    EXPECT_EQ(at96.rect({216, 264, 1, 12}).left(), at96.rect({7, 264, 209, 12}).right() + 1);
    EXPECT_EQ(at96.size({386, 341}), QSize(579, 512));

    const DialogUnits at120(1.25);
    EXPECT_EQ(at120.rect({86, 208, 288, 12}), QRect(161, 390, 540, 23));
    EXPECT_EQ(at120.pixels(93), 116);
}

// Average letter width and character height at 9 points, as a Windows dialog
// rounds them; families that are not installed here are left out.
TEST(DialogUnitsTest, MeasuresTheFontAsAWindowsDialogDoes) {
    const struct {
        const char* family;
        QSize baseUnits;
    } fonts[] = {
        {"AR PL UMing CN", {6, 12}},       // the template's metrics
        {"WenQuanYi Micro Hei", {7, 14}},  // 6.6 pixels on average
    };
    for (const auto& [family, baseUnits] : fonts) {
        if (!QFontDatabase::families().contains(family)) {
            continue;
        }
        SCOPED_TRACE(family);
        QFont font = formFont();
        font.setFamilies({family});
        EXPECT_EQ(dialogBaseUnits(font), baseUnits);
        EXPECT_EQ(DialogUnits::forFont(font, 2.0).x(4), 2 * baseUnits.width());
    }
    EXPECT_EQ(DialogUnits(1.0).baseUnits(), QSize(6, 12));
}

struct WindowFixture : ::testing::Test {
    ConfigWindow window{DialogUnits(1.0)};
};

TEST_F(WindowFixture, EveryControlHasItsKindCaptionAndName) {
    for (const ControlTemplate& entry : kFormControls) {
        SCOPED_TRACE(entry.id);
        QWidget* widget = window.control(entry.id);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->objectName(), QStringLiteral("control%1").arg(entry.id));
        EXPECT_TRUE(widget->isEnabled());
        EXPECT_TRUE(widget->focusPolicy() & Qt::TabFocus);
        switch (entry.kind) {
            case ControlKind::Edit:
            case ControlKind::ReadOnlyEdit: {
                auto* edit = qobject_cast<QLineEdit*>(widget);
                ASSERT_NE(edit, nullptr);
                const bool readOnly = entry.kind == ControlKind::ReadOnlyEdit;
                EXPECT_EQ(edit->isReadOnly(), readOnly);
                EXPECT_EQ(edit->hasFrame(), !readOnly);
                EXPECT_TRUE(edit->text().isEmpty());
                break;
            }
            case ControlKind::DropDownList:
            case ControlKind::EditableDropDown: {
                auto* combo = qobject_cast<QComboBox*>(widget);
                ASSERT_NE(combo, nullptr);
                const bool editable = entry.kind == ControlKind::EditableDropDown;
                EXPECT_EQ(combo->isEditable(), editable);
                EXPECT_EQ(combo->currentIndex(), -1);
                EXPECT_TRUE(combo->currentText().isEmpty());
                if (editable) {
                    EXPECT_EQ(combo->insertPolicy(), QComboBox::NoInsert);
                    EXPECT_EQ(combo->completer(), nullptr);
                }
                break;
            }
            case ControlKind::CheckBox: {
                auto* box = qobject_cast<QCheckBox*>(widget);
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(box->text(), qs(entry.caption));
                EXPECT_FALSE(box->isChecked());
                break;
            }
            case ControlKind::PushButton: {
                auto* button = qobject_cast<QPushButton*>(widget);
                ASSERT_NE(button, nullptr);
                EXPECT_EQ(button->text(), qs(entry.caption));
                EXPECT_FALSE(button->isDefault());
                EXPECT_FALSE(button->autoDefault());
                break;
            }
        }
    }
    EXPECT_THROW(window.control(999), std::out_of_range);
    EXPECT_THROW(window.control(1065), std::out_of_range);
}

TEST_F(WindowFixture, ListsHoldTheirInitialItemsInOrder) {
    for (const InitialList& list : kInitialLists) {
        SCOPED_TRACE(list.id);
        auto* combo = widgetOf<QComboBox>(window, list.id);
        ASSERT_EQ(combo->count(), static_cast<int>(list.items.size()));
        for (int i = 0; i < combo->count(); ++i) {
            EXPECT_EQ(combo->itemText(i), qs(list.items[static_cast<std::size_t>(i)]));
        }
    }
    auto* port = widgetOf<QComboBox>(window, ctl::Port);
    EXPECT_EQ(port->itemText(0), "COM1");
    EXPECT_EQ(port->itemText(49), "COM50");
    EXPECT_EQ(widgetOf<QComboBox>(window, ctl::UartParity)->itemText(1), "奇校验");
}

TEST_F(WindowFixture, ControlsSitAtTheirTemplateRectangles) {
    EXPECT_EQ(window.control(ctl::AckPacket)->geometry(), QRect(129, 312, 432, 18));
    EXPECT_EQ(window.control(ctl::ReadButton)->geometry(), QRect(20, 53, 46, 21));
    // A closed drop-down is one line high; 177 units is its opened list.
    EXPECT_EQ(window.control(ctl::Port)->geometry(), QRect(57, 30, 66, 18));
    EXPECT_EQ(window.control(ctl::DefaultRate)->geometry(), QRect(497, 47, 69, 18));
    EXPECT_GT(widgetOf<QComboBox>(window, ctl::DefaultRate)->maxVisibleItems(), 10);

    for (const ControlTemplate& entry : kFormControls) {
        SCOPED_TRACE(entry.id);
        const QRect geometry = window.control(entry.id)->geometry();
        EXPECT_NEAR(geometry.x(), entry.rect.x * 1.5, 1);
        if (entry.kind == ControlKind::ReadOnlyEdit) {
            // Borderless, they run on into the free space to their right.
            EXPECT_GE(geometry.width(), entry.rect.width * 1.5 - 1);
        } else {
            EXPECT_NEAR(geometry.width(), entry.rect.width * 1.5, 1);
        }
        if (entry.kind != ControlKind::CheckBox) {
            // Check boxes grow up and down around the toolkit's indicator.
            EXPECT_NEAR(geometry.y(), entry.rect.y * 1.5, 1);
        }
    }
}

TEST_F(WindowFixture, LabelsAndCaptionsFitWithoutOverlapping) {
    // Every text widget with the rectangle the template gave it. A few labels
    // of the template reach one unit into their edits; only overlaps that the
    // template does not have are faults.
    struct Placed {
        QWidget* widget;
        DialogRect rect;
    };
    std::vector<Placed> placed;
    for (const ControlTemplate& entry : kFormControls) {
        SCOPED_TRACE(entry.id);
        DialogRect rect = entry.rect;
        if (isList(entry.kind)) {
            rect.height = 12;  // closed
        }
        placed.push_back({window.control(entry.id), rect});
        QLabel* label = window.label(entry.id);
        if (entry.label.text.empty()) {
            EXPECT_EQ(label, nullptr);
            continue;
        }
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), qs(entry.label.text));
        EXPECT_EQ(label->geometry(), DialogUnits(1.0).rect(entry.label.rect));
        if (entry.label.align == LabelAlign::Centre) {
            EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
        } else {
            EXPECT_TRUE(label->alignment() & Qt::AlignRight);
        }
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
        placed.push_back({label, entry.label.rect});
    }
    EXPECT_TRUE(window.label(ctl::Port)->alignment() & Qt::AlignHCenter);

    const auto unitsOverlap = [](const DialogRect& a, const DialogRect& b) {
        return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
               b.y < a.y + a.height;
    };
    for (std::size_t i = 0; i < placed.size(); ++i) {
        for (std::size_t k = i + 1; k < placed.size(); ++k) {
            if (unitsOverlap(placed[i].rect, placed[k].rect)) {
                continue;
            }
            EXPECT_FALSE(placed[i].widget->geometry().intersects(placed[k].widget->geometry()))
                << placed[i].widget->objectName().toStdString() << " overlaps "
                << placed[k].widget->objectName().toStdString();
        }
    }
}

// Whether an edit shows all of its text. An edit scrolls a text wider than
// itself so that the cursor stays in sight: with the cursor at the end, the
// start has then moved out on the left.
bool showsWholeText(QLineEdit& edit) {
    const auto cursorAt = [&edit](int position) {
        edit.setCursorPosition(position);
        edit.grab();  // the edit scrolls when it paints
        return edit.inputMethodQuery(Qt::ImCursorRectangle).toRect();
    };
    const int saved = edit.cursorPosition();
    const QRect start = cursorAt(0);
    const QRect end = cursorAt(static_cast<int>(edit.text().size()));
    cursorAt(saved);
    return end.left() - start.left() >= edit.fontMetrics().horizontalAdvance(edit.text()) &&
           edit.rect().contains(end.center());
}

// Every text under `root` that its widget cannot show whole in the widget's
// font: captions, labels, group box titles and list items.
std::vector<std::string> cutTexts(QWidget& root) {
    std::vector<std::string> cut;
    const auto check = [&cut](const QWidget& widget, const QString& text, const QRect& room,
                              int margins = 0) {
        if (text.isEmpty()) {
            return;
        }
        const QFontMetrics metrics = widget.fontMetrics();
        const bool fits = room.width() - margins >= metrics.horizontalAdvance(text) &&
                          room.height() >= metrics.height() && widget.rect().contains(room);
        if (!fits) {
            cut.push_back(widget.objectName().toStdString() + " \"" + text.toStdString() + "\"");
        }
    };
    for (QLabel* label : root.findChildren<QLabel*>()) {
        check(*label, label->text(), label->contentsRect());
    }
    for (QGroupBox* group : root.findChildren<QGroupBox*>()) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.textAlignment = group->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        check(*group, group->title(),
              group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel,
                                             group));
    }
    for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        const bool checkBox = qobject_cast<QCheckBox*>(button) != nullptr;
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(
            checkBox ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option,
            button);
        check(*button, button->text(), room);
        if (button->objectName() == QStringLiteral("control%1").arg(ctl::AdvancedButton)) {
            check(*button, qs(kAdvancedCaptionShown), room);
            check(*button, qs(kAdvancedCaptionHidden), room);
        }
    }
    for (QComboBox* combo : root.findChildren<QComboBox*>()) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.frame = combo->hasFrame();
        const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, combo);
        // The closed field draws its item one pixel in from either side.
        for (int i = 0; i < combo->count(); ++i) {
            check(*combo, combo->itemText(i), field, 2);
        }
    }
    return cut;
}

// The window as the program makes it, showing the defaults of a fresh start.
void fillWithDefaults(ConfigWindow& window) {
    QtFormView view(window);
    ModuleSettings defaults;
    defaults.serialText = defaultSerialText(0x65000000);
    std::int32_t autoConfigure = 0;
    fillForm(view, defaults, autoConfigure);
}

// The module information of a fresh start, and every caption, label and item.
void expectWholeTexts(ConfigWindow& window) {
    fillWithDefaults(window);
    const std::pair<ctl::ControlId, QString> moduleTexts[] = {
        {ctl::ModuleName, "Lorandix AMR Ver Moudle U 13306"},
        {ctl::Type, "UNKNOWN"},
        {ctl::Version, "1.6"},
        {ctl::Band, "433MHz"},
        {ctl::MaxPower, "10dBm"}};
    for (const auto& [id, text] : moduleTexts) {
        auto* edit = widgetOf<QLineEdit>(window, id);
        EXPECT_EQ(edit->text(), text);
        EXPECT_TRUE(showsWholeText(*edit)) << text.toStdString();
    }
    EXPECT_THAT(cutTexts(window), ::testing::IsEmpty());
}

TEST(WindowTextsTest, EveryTextShowsWholeInTheFormFont) {
    ConfigWindow window;
    expectWholeTexts(window);
    AboutBox about(window.units(), &window);
    EXPECT_THAT(cutTexts(about), ::testing::IsEmpty());
}

// Where the first family is missing, a later one draws the form, and the
// window grows with its wider letters.
TEST(WindowTextsTest, EveryTextShowsWholeInEachInstalledFamily) {
    for (const QString& family : formFontFamilies()) {
        if (!QFontDatabase::families().contains(family)) {
            continue;
        }
        SCOPED_TRACE(family.toStdString());
        QFont font = formFont();
        font.setFamilies({family});
        ConfigWindow window(font, 1.0);
        expectWholeTexts(window);
    }
}

TEST_F(WindowFixture, GroupBoxesCarryTheirCaptions) {
    ASSERT_EQ(window.groupBoxes().size(), 6u);
    EXPECT_EQ(window.groupBoxes()[0]->title(), "打开/配置模块");
    EXPECT_EQ(window.groupBoxes()[5]->title(), "高级配置");
    EXPECT_EQ(window.groupBoxes()[5]->geometry(), QRect(11, 426, 558, 75));
    for (QGroupBox* group : window.groupBoxes()) {
        EXPECT_EQ(group->focusPolicy(), Qt::NoFocus);
    }
}

TEST_F(WindowFixture, FixedSizeWindowWithoutMinimiseOrMaximise) {
    EXPECT_EQ(window.windowTitle(), "QF-DL250T Configure Tool 1.2");
    EXPECT_EQ(window.fullClientSize(), QSize(579, 512));
    EXPECT_EQ(window.collapsedClientSize(), QSize(579, 419));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_THAT(window.windowIcon().availableSizes(),
                ::testing::IsSupersetOf(
                    {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(64, 64), QSize(128, 128)}));
}

TEST_F(WindowFixture, FormFontIsSimplifiedChineseAtNinePoints) {
    const QFont font = window.control(ctl::NetworkId)->font();
    EXPECT_EQ(font.families().value(0), "AR PL UMing CN");
    EXPECT_THAT(font.families(), ::testing::Contains(QString("Noto Sans CJK SC")));
    EXPECT_EQ(font.pointSize(), 9);
}

TEST(ScaledWindowTest, LayoutFollowsTheScreenScale) {
    ConfigWindow window{DialogUnits(2.0)};
    EXPECT_EQ(window.fullClientSize(), QSize(1158, 1023));
    EXPECT_EQ(window.collapsedClientSize(), QSize(1158, 1023 - 186));
    EXPECT_EQ(window.control(ctl::AckPacket)->geometry(), QRect(258, 624, 864, 36));
}

// A wider font makes a larger window; the collapsed height still ends below
// the bottom row and above the advanced group.
TEST(ScaledWindowTest, CollapseFollowsTheFontsUnits) {
    for (const QSize baseUnits : {QSize(6, 12), QSize(7, 14), QSize(7, 17), QSize(8, 16)}) {
        SCOPED_TRACE(baseUnits.height());
        ConfigWindow window{DialogUnits(baseUnits, 1.0)};
        EXPECT_EQ(window.fullClientSize(), QSize(window.units().x(386), window.units().y(341)));
        const int collapsed = window.collapsedClientSize().height();
        EXPECT_GE(collapsed, window.control(ctl::ApplyButton)->geometry().bottom() + 1);
        EXPECT_LT(collapsed, window.groupBoxes()[5]->geometry().top());
    }
}

// An editable drop-down that loses the focus while its text matches an item
// reports that item as picked, also while the window is being destroyed.
TEST(WindowLifetimeTest, ControlsSignallingAsTheWindowGoesReachNoHandler) {
    std::vector<ctl::ControlId> events;
    {
        ConfigWindow window{DialogUnits(1.0)};
        window.setHandlers(
            {.controlEvent = [&](ControlEvent, ctl::ControlId id) { events.push_back(id); }});
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QtFormView(window).setText(ctl::Port, "COM12");
        window.control(ctl::Port)->setFocus();
        ASSERT_TRUE(window.control(ctl::Port)->hasFocus());
    }
    EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace dl250t
