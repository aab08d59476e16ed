#include "gui/qt_prompter.hpp"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "gui/gui_support.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

using testing::TempDir;
using testing::whenModalOpens;

const FileRequest kOpenRequest{
    FileRequest::Mode::Open, "*.cfg", {{"配置文件(*.cfg)", "*.cfg"}, {"所有文件(*.*)", "*.*"}}};

// Types a name into the chooser and accepts it, as the operator does.
// selectFile() would leave the name field alone once it has the focus, and
// when it gets that depends on how fast the chooser is drawn. A chooser that
// refuses the name is closed all the same, so that the test cannot hang.
void acceptName(QFileDialog& chooser, const std::filesystem::path& path) {
    if (auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        name->setText(QString::fromStdString(path.string()));
        static_cast<QDialog&>(chooser).accept();
    } else {
        ADD_FAILURE() << "the chooser has no name field";
    }
    if (chooser.isVisible()) {
        ADD_FAILURE() << "the chooser refused " << path;
        chooser.reject();
    }
}

TEST(QtPrompterTest, MessageBoxHasTitleIconAndOnlyOk) {
    QWidget parent;
    QtPrompter prompter(&parent);
    for (MessageIcon icon : {MessageIcon::Error, MessageIcon::Warning}) {
        QString title, text;
        QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
        QList<QAbstractButton*> buttons;
        whenModalOpens([&](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            title = box.windowTitle();
            text = box.text();
            shownIcon = box.icon();
            buttons = box.buttons();
            box.button(QMessageBox::Ok)->click();
        });
        prompter.showMessage("请键入一个整数。", "Lorandix Configure Tool", icon);
        EXPECT_EQ(title, "Lorandix Configure Tool");
        EXPECT_EQ(text, "请键入一个整数。");
        EXPECT_EQ(shownIcon,
                  icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Warning);
        EXPECT_EQ(buttons.size(), 1);
    }
}

TEST(QtPrompterTest, FiltersInQtForm) {
    EXPECT_EQ(QtPrompter::nameFilters(kOpenRequest),
              QStringList({"配置文件(*.cfg)", "所有文件(*.*)"}));
    EXPECT_EQ(QtPrompter::nameFilters({FileRequest::Mode::Open, "", {{"Blocks", "*.bin"}}}),
              QStringList({"Blocks (*.bin)"}));
}

TEST(QtPrompterTest, OpenWantsAnExistingFileAndCancelGivesNothing) {
    TempDir dir;
    testing::writeAll(dir / "module.cfg", std::vector<std::uint8_t>(518, 0));
    QWidget parent;
    QtPrompter prompter(&parent);

    QStringList filters;
    QString typedName;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    bool native = true;
    whenModalOpens([&](QDialog& dialog) {
        auto& chooser = dynamic_cast<QFileDialog&>(dialog);
        filters = chooser.nameFilters();
        mode = chooser.fileMode();
        native = !chooser.testOption(QFileDialog::DontUseNativeDialog);
        typedName = chooser.findChild<QLineEdit*>("fileNameEdit")->text();
        acceptName(chooser, dir / "module.cfg");
    });
    const auto chosen = prompter.chooseFile(kOpenRequest);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, (dir / "module.cfg").string());
    EXPECT_EQ(filters, QStringList({"配置文件(*.cfg)", "所有文件(*.*)"}));
    EXPECT_EQ(typedName, "*.cfg");
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_FALSE(native);

    whenModalOpens([](QDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(prompter.chooseFile(kOpenRequest).has_value());
}

TEST(QtPrompterTest, SaveAndAppendMayNameANewFile) {
    TempDir dir;
    QWidget parent;
    QtPrompter prompter(&parent);
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    bool confirmsOverwrite = false;
    std::string name = "new";
    const auto choose = [&](QDialog& dialog) {
        auto& chooser = dynamic_cast<QFileDialog&>(dialog);
        acceptMode = chooser.acceptMode();
        confirmsOverwrite = !chooser.testOption(QFileDialog::DontConfirmOverwrite);
        acceptName(chooser, dir / name);
    };
    whenModalOpens(choose);
    FileRequest save = kOpenRequest;
    save.mode = FileRequest::Mode::Save;
    EXPECT_EQ(prompter.chooseFile(save), (dir / "new.cfg").string());
    EXPECT_EQ(acceptMode, QFileDialog::AcceptSave);
    EXPECT_TRUE(confirmsOverwrite);
    // A name with an extension keeps it; a folder's extension is not the name's.
    std::filesystem::create_directory(dir / "folder.d");
    for (const auto& [typed, saved] :
         {std::pair{"line.v2", "line.v2"}, std::pair{"folder.d/line", "folder.d/line.cfg"}}) {
        name = typed;
        whenModalOpens(choose);
        EXPECT_EQ(prompter.chooseFile(save), (dir / saved).string());
    }

    acceptMode = QFileDialog::AcceptOpen;
    name = "journal";
    whenModalOpens(choose);
    EXPECT_EQ(
        prompter.chooseFile({FileRequest::Mode::Append, "*.csv", {{"生产记录(*.csv)", "*.csv"}}}),
        (dir / "journal.csv").string());
    EXPECT_EQ(acceptMode, QFileDialog::AcceptSave);
    EXPECT_FALSE(confirmsOverwrite) << "a journal is added to, not replaced";
}

}  // namespace
}  // namespace dl250t
