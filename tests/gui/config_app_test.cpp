#include "gui/config_app.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <fstream>

#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "config/module_identity.hpp"
#include "gui/gui_support.hpp"
#include "platform/port_event_source.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "sim/simulated_module.hpp"
#include "support/recording_prompter.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

// Files on disk, as the programs have them.
PosixFileStore files;

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Gt;
using testing::RecordedMessage;
using testing::RecordingPrompter;
using ::testing::SizeIs;
using ::testing::StartsWith;
using testing::TempDir;
using testing::whenModalOpens;
using testing::widgetOf;

class FixedClock final : public Clock {
public:
    std::int64_t secondsSince1970() const override { return 0x65000000; }
};

// The whole application on a temporary port directory, watched by the
// program's own hot-plug sources, with a recording prompter instead of
// message boxes.
struct AppFixture : ::testing::Test {
    void SetUp() override {
        app.start();
        prompter.clearRecord();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    }

    ConfigWindow& window() { return app.window(); }
    QtFormView& view() { return app.view(); }
    std::string status() { return view().text(ctl::StatusLine); }

    void click(ctl::ControlId id) {
        QWidget* widget = window().control(id);
        if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            // On the box itself.
            const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth);
            QTest::mouseClick(box, Qt::LeftButton, {},
                              QPoint(indicator / 2 + 1, box->height() / 2));
        } else {
            QTest::mouseClick(widget, Qt::LeftButton);
        }
    }

    // Replaces a field's text by typing, as the operator does.
    QLineEdit* type(ctl::ControlId id, const QString& text) {
        auto* edit = widgetOf<QLineEdit>(window(), id);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        return edit;
    }

    SimulatedModule& plugInModule(int comNumber,
                                  const ConfigBlock& block = defaultSimulatedBlock()) {
        SimulatedModuleOptions options;
        options.portDirectory = ports;
        options.comNumber = comNumber;
        options.block = block;
        module = std::make_unique<SimulatedModule>(options);
        EXPECT_TRUE(module->plugIn()) << module->lastError();
        // Until the window has taken the arrival (and, in auto-configure
        // mode, written the module).
        const std::string name = "COM" + std::to_string(comNumber);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view().text(ctl::Port) == name; }, 5000));
        return *module;
    }

    TempDir dir;
    std::filesystem::path ports = dir / "ports";
    RecordingPrompter prompter;
    FixedClock clock;
    ConfigApp app{{
        .portDirectory = ports,
        .startSources = [this] { return startHotPlugSources(ports); },
        .prompter = &prompter,
        .clock = &clock,
        .scale = 1.0,
    }};
    std::unique_ptr<SimulatedModule> module;
};

TEST_F(AppFixture, StartsCollapsedCentredWithTheDefaultsAndTheFocusOnThePort) {
    EXPECT_EQ(window().size(), QSize(579, 419));
    const QPoint screenCentre = window().screen()->availableGeometry().center();
    // Within the frame's margins, which are not known before the window shows.
    EXPECT_LE((window().geometry().center() - screenCentre).manhattanLength(), 10);
    EXPECT_EQ(testing::controlIdOf(QApplication::focusWidget()), ctl::Port);

    EXPECT_EQ(view().text(ctl::AdvancedButton), "高级配置>>");
    EXPECT_EQ(view().text(ctl::Port), "");
    EXPECT_EQ(status(), "");
    EXPECT_EQ(view().text(ctl::ModuleName), "Lorandix AMR Ver Moudle U 13306");
    EXPECT_EQ(view().text(ctl::Version), "1.6");
    EXPECT_EQ(view().text(ctl::Band), "433MHz");
    EXPECT_EQ(view().text(ctl::Serial), "65 00 00 00 00 00");
    EXPECT_EQ(view().text(ctl::StartFrequency), "433");
    EXPECT_EQ(view().text(ctl::AddressLength), "16");
    EXPECT_EQ(view().text(ctl::NetworkId), "0");
    EXPECT_EQ(view().text(ctl::DefaultRate), "500kbps");
    EXPECT_EQ(view().text(ctl::UartParity), "没有");
    EXPECT_FALSE(view().checked(ctl::AutoConfigure));
    EXPECT_TRUE(view().enabled(ctl::AutoConfigure));
    EXPECT_GE(app.host().sourceCount(), 1u);
}

TEST_F(AppFixture, TabVisitsTheControlsInTemplateOrder) {
    std::vector<ctl::ControlId> visited;
    for (std::size_t i = 0; i <= kFormControls.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        visited.push_back(testing::controlIdOf(focused));
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    std::vector<ctl::ControlId> expected;
    for (const ControlTemplate& entry : kFormControls) {
        expected.push_back(entry.id);
    }
    expected.push_back(ctl::Port);  // and round again
    EXPECT_EQ(visited, expected);
}

TEST_F(AppFixture, AdvancedButtonShowsAndHidesThePanelInPlace) {
    const QPoint topLeft = window().pos();
    click(ctl::AdvancedButton);
    EXPECT_EQ(window().size(), QSize(579, 512));
    EXPECT_EQ(view().text(ctl::AdvancedButton), "高级选项<<");
    click(ctl::AdvancedButton);
    EXPECT_EQ(window().size(), QSize(579, 419));
    EXPECT_EQ(view().text(ctl::AdvancedButton), "高级选项>>");
    EXPECT_EQ(window().pos(), topLeft);
    // The hidden panel's fields stay in the form.
    EXPECT_TRUE(window().control(ctl::TickUs)->isVisible());
    EXPECT_TRUE(window().control(ctl::TickUs)->isEnabled());
}

TEST_F(AppFixture, ReadsAndWritesTheSimulatedModule) {
    // A module configured by this tool before: the defaults, saved.
    const auto file = dir / "defaults.cfg";
    prompter.queueFileAnswer(file.string());
    click(ctl::SaveButton);
    ConfigBlock block = loadConfigFile(files, file).block;
    block[28] = 'N';
    encodeNetworkId(block, 4660);
    stampHeaderAndCrc(block);
    SimulatedModule& sim = plugInModule(3, block);
    prompter.clearRecord();

    click(ctl::ReadButton);
    EXPECT_EQ(status(), outcomeText(Outcome::ModuleRead));
    EXPECT_EQ(view().text(ctl::NetworkId), "4660");
    EXPECT_EQ(view().text(ctl::Type), "NODE");
    EXPECT_EQ(sim.readRequests(), 1u);

    type(ctl::Serial, "00 00 00 00 00 FF");
    type(ctl::NetworkId, "321");
    click(ctl::WriteButton);
    EXPECT_EQ(status(), outcomeText(Outcome::ModuleWritten));
    ASSERT_EQ(sim.storedCount(), 1u);
    const ConfigBlock stored = *sim.lastStored();
    EXPECT_EQ(decodeSerialText(stored), "00 00 00 00 00 FF");
    EXPECT_EQ(view().text(ctl::Serial), "00 00 00 00 01 00");
    EXPECT_EQ(sim.block(), stored) << "the module answers the next read with what it stored";
    EXPECT_THAT(prompter.messageTexts(), ElementsAre());

    click(ctl::ReadButton);
    EXPECT_EQ(view().text(ctl::NetworkId), "321");
}

TEST_F(AppFixture, ApplyWarnsAndShowsTheAdjustedValue) {
    type(ctl::HostBootTime, "0");
    click(ctl::ApplyButton);
    EXPECT_THAT(
        prompter.messages(),
        Contains(RecordedMessage{"HOST开机时间为0ms超出[1ms ~ 65535ms]范围，自动调整为1ms！",
                                 "Lorandix Configure Tool", MessageIcon::Warning}));
    EXPECT_EQ(view().text(ctl::HostBootTime), "1");
}

TEST_F(AppFixture, SavesAndOpensThroughTheChooser) {
    const auto file = dir / "module.cfg";
    type(ctl::NetworkId, "321");
    prompter.queueFileAnswer(file.string());
    click(ctl::SaveButton);
    EXPECT_EQ(status(), outcomeText(Outcome::FileWritten));
    EXPECT_EQ(testing::readAll(file).size(), kBlockSize);

    type(ctl::NetworkId, "5");
    prompter.queueFileAnswer(file.string());
    click(ctl::OpenButton);
    EXPECT_EQ(status(), outcomeText(Outcome::FileRead));
    EXPECT_EQ(view().text(ctl::NetworkId), "321");

    ASSERT_EQ(prompter.fileRequests().size(), 2u);
    EXPECT_EQ(prompter.fileRequests()[0].mode, FileRequest::Mode::Save);
    EXPECT_EQ(prompter.fileRequests()[1].mode, FileRequest::Mode::Open);
    EXPECT_EQ(prompter.fileRequests()[1].initialName, "*.cfg");
    EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(AppFixture, PluggedInModulesArriveAndAutoConfigureWritesThem) {
    SimulatedModule& first = plugInModule(7);
    EXPECT_EQ(status(), "模块从COM7插入");
    EXPECT_EQ(first.storedCount(), 0u) << "nothing is written outside auto-configure";

    type(ctl::Serial, "00 00 00 00 00 07");
    click(ctl::AutoConfigure);
    EXPECT_TRUE(view().checked(ctl::AutoConfigure));
    for (ctl::ControlId id : {ctl::Port, ctl::ReadButton, ctl::ApplyButton, ctl::NetworkId,
                              ctl::AdvancedButton, ctl::TickUs}) {
        EXPECT_FALSE(window().control(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(window().control(ctl::StatusLine)->isEnabled());
    EXPECT_TRUE(window().control(ctl::AutoConfigure)->isEnabled());

    first.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "模块从COM7拔出"; }, 5000)) << status();
    EXPECT_EQ(view().text(ctl::Port), "COM7");

    SimulatedModule& second = plugInModule(8);
    ASSERT_EQ(second.storedCount(), 1u) << status();
    EXPECT_EQ(decodeSerialText(*second.lastStored()), "00 00 00 00 00 07");
    EXPECT_EQ(status(), outcomeText(Outcome::ModuleWritten));
    EXPECT_EQ(view().text(ctl::Serial), "00 00 00 00 00 08");
    // Only warnings: the module's empty block brings values out of range.
    for (const RecordedMessage& message : prompter.messages()) {
        EXPECT_EQ(message.icon, MessageIcon::Warning) << message.text;
    }

    click(ctl::AutoConfigure);
    EXPECT_TRUE(window().control(ctl::Port)->isEnabled());
    EXPECT_TRUE(window().control(ctl::ApplyButton)->isEnabled());
}

TEST_F(AppFixture, EnterWithTextThatIsNoNumberKeepsTheWindowOpenAndEscClosesIt) {
    QLineEdit* edit = type(ctl::NetworkId, "12a");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(window().isVisible());
    EXPECT_THAT(
        prompter.messages(),
        ElementsAre(RecordedMessage{"请键入一个整数。", "dl250t-config", MessageIcon::Warning}));
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->selectedText(), "12a");

    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().result(), QDialog::Rejected);
    EXPECT_EQ(prompter.messages().size(), 1u) << "Esc asks nothing";
}

TEST_F(AppFixture, EnterAcceptsAValidFormButPressesAFocusedButton) {
    window().control(ctl::AdvancedButton)->setFocus();
    QTest::keyClick(window().control(ctl::AdvancedButton), Qt::Key_Return);
    EXPECT_EQ(view().text(ctl::AdvancedButton), "高级选项<<");
    EXPECT_TRUE(window().isVisible());

    window().control(ctl::Port)->setFocus();
    QTest::keyClick(window().control(ctl::Port), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(AppFixture, CloseBoxClosesAtOnce) {
    type(ctl::NetworkId, "x");
    EXPECT_TRUE(window().close());
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(AppFixture, AboutBoxFromF1AndFromTheContextMenu) {
    ASSERT_EQ(window().contextMenuPolicy(), Qt::ActionsContextMenu);
    QAction* about = window().findChild<QAction*>("aboutAction");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(window().actions().back(), about) << "last in the menu";
    EXPECT_EQ(about->text(), "About QF-DL250T Configure Tool");

    for (bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "F1" : "menu");
        bool shown = false;
        whenModalOpens([&](QDialog& box) {
            shown = true;
            EXPECT_EQ(box.windowTitle(), "About QF-DL250T Configure Tool");
            EXPECT_EQ(box.findChild<QLabel*>("aboutVersion")->text(), "Version: 1.2");
            EXPECT_FALSE(box.findChild<QLabel*>("aboutIcon")->pixmap().isNull());
            auto* ok = box.findChild<QPushButton*>("aboutOk");
            EXPECT_EQ(ok->text(), "OK");
            EXPECT_TRUE(ok->isDefault());
            QTest::keyClick(&box, Qt::Key_Escape);
        });
        if (byKey) {
            QTest::keyClick(window().control(ctl::Port), Qt::Key_F1);
        } else {
            about->trigger();
        }
        EXPECT_TRUE(shown);
    }
    EXPECT_TRUE(window().isVisible());
}

// The context menu's production entries: verification, and a journal chosen
// with the file chooser that records every module auto-configure writes.
TEST_F(AppFixture, JournalAndVerificationFromTheContextMenu) {
    auto* verify = window().findChild<QAction*>("verifyAction");
    auto* journal = window().findChild<QAction*>("journalAction");
    ASSERT_TRUE(verify != nullptr && journal != nullptr);
    EXPECT_EQ(verify->text(), "写入后校验");
    EXPECT_TRUE(verify->isCheckable());
    EXPECT_FALSE(verify->isChecked());
    EXPECT_FALSE(app.dialog().verify()) << "off unless asked for";
    EXPECT_EQ(journal->text(), "生产记录…");

    verify->trigger();
    EXPECT_TRUE(app.dialog().verify());
    const std::filesystem::path path = dir / "journal.csv";
    prompter.queueFileAnswer(path.string());
    journal->trigger();
    ASSERT_EQ(prompter.fileRequests().size(), 1u);
    EXPECT_EQ(prompter.fileRequests()[0].mode, FileRequest::Mode::Append);
    EXPECT_EQ(prompter.fileRequests()[0].filters[0].description, "生产记录(*.csv)");

    click(ctl::AutoConfigure);
    const SimulatedModule& written = plugInModule(7);
    EXPECT_EQ(written.storedCount(), 1u);
    EXPECT_EQ(status(), "模块写入成功！");
    std::ifstream in(path);
    std::string header;
    std::string reserved;
    std::string line;
    std::getline(in, header);
    std::getline(in, reserved);
    std::getline(in, line);
    EXPECT_EQ(
        header,
        "time,station,port,module,version,serial,outcome,verify,milliseconds,crc,board,label\r");
    const std::string module = ",COM7," + identityName(defaultSimulatedBlock()) + "," +
                               identityVersion(defaultSimulatedBlock()) + ",65 00 00 00 00 00,";
    EXPECT_THAT(reserved, ::testing::HasSubstr(module + "reserved,,,"));
    EXPECT_THAT(line, ::testing::HasSubstr(module + "ok,ok,"));
    EXPECT_TRUE(prompter.messages().empty());
}

// A scanner types into the window as a keyboard does, into whatever has the
// focus: in auto-configure that is the auto-configure box, which a space
// would untick, and its Enter would close the window.
TEST_F(AppFixture, ScannerKeystrokesGiveTheWaitingModuleItsCode) {
    auto* scan = window().findChild<QAction*>("scanAction");
    ASSERT_NE(scan, nullptr);
    EXPECT_EQ(scan->text(), "扫描板号");
    scan->trigger();
    click(ctl::AutoConfigure);
    const SimulatedModule& waiting = plugInModule(7);
    EXPECT_EQ(status(), "模块从COM7插入，等待扫描板号");
    EXPECT_EQ(waiting.storedCount(), 0u);

    QWidget* focused = window().control(ctl::AutoConfigure);
    focused->setFocus();
    QTest::keyClicks(focused, "SN 42");
    QTest::keyClick(focused, Qt::Key_Return);
    EXPECT_EQ(waiting.storedCount(), 1u);
    EXPECT_EQ(status(), "模块写入成功！");
    EXPECT_TRUE(app.dialog().autoConfigure());
    EXPECT_TRUE(window().isVisible());
}

TEST(AppStartTest, JournalThatCannotBeWrittenIsToldAndNoModuleIsWritten) {
    TempDir dir;
    // A file in a folder that is not there, and a database with no server
    // behind its socket.
    const std::string journals[] = {
        (dir / "missing" / "journal.csv").string(),
        "postgresql:///postgres?host=" + (dir / "no-server").string(),
    };
    for (const std::string& journal : journals) {
        SCOPED_TRACE(journal);
        RecordingPrompter prompter;
        ConfigApp app{{
            .portDirectory = dir / "ports",
            .startSources = [&] { return startHotPlugSources(dir / "ports"); },
            .prompter = &prompter,
            .scale = 1.0,
            .journal = journal,
            .verify = true,
        }};
        app.start();
        // The box says why below the fixed text.
        EXPECT_THAT(prompter.messageTexts(),
                    ElementsAre(AllOf(StartsWith("生产记录写入失败！\n"), SizeIs(Gt(30u)))));
        EXPECT_TRUE(app.window().findChild<QAction*>("verifyAction")->isChecked());
        EXPECT_TRUE(app.dialog().verify());

        SimulatedModuleOptions options;
        options.portDirectory = dir / "ports";
        options.comNumber = 3;
        SimulatedModule module(options);
        ASSERT_TRUE(module.plugIn());
        app.view().setText(ctl::Port, "COM3");
        EXPECT_EQ(app.dialog().write(), Outcome::JournalFailed);
        EXPECT_EQ(app.view().text(ctl::StatusLine), "生产记录写入失败！");
        EXPECT_EQ(module.readRequests(), 0u);
    }
}

TEST(AppStartTest, FailedRegistrationIsToldBeforeTheWindowShows) {
    TempDir dir;
    RecordingPrompter prompter;
    ConfigApp app{{
        .portDirectory = dir / "ports",
        .startSources = [] { return QtWindowHost::PortEventSources{}; },
        .prompter = &prompter,
        .scale = 1.0,
    }};
    bool windowShownDuringBox = true;
    prompter.whileMessageOpen(
        [&](const RecordedMessage&) { windowShownDuringBox = app.window().isVisible(); });
    app.start();
    EXPECT_THAT(
        prompter.messageTexts(),
        ElementsAre("Failed to register notification of device change, please enable UPnP!"));
    EXPECT_FALSE(windowShownDuringBox);
    EXPECT_TRUE(app.window().isVisible());
    EXPECT_FALSE(app.window().control(ctl::AutoConfigure)->isEnabled());
    EXPECT_EQ(app.host().sourceCount(), 0u);
}

// A refused port directory was silent: plug-ins through it went unnoticed
// without a word.
TEST(AppStartTest, RefusedPortDirectoryIsToldOnTheStatusLine) {
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    RecordingPrompter prompter;
    ConfigApp app{{
        .portDirectory = dir / "ports",
        .startSources = [&] { return startHotPlugSources(dir / "ports"); },
        .prompter = &prompter,
        .scale = 1.0,
    }};
    app.start();
    EXPECT_EQ(app.view().text(ctl::StatusLine), "串口目录无法监视！");
    EXPECT_TRUE(prompter.messages().empty());
    EXPECT_TRUE(app.window().control(ctl::AutoConfigure)->isEnabled());
}

}  // namespace
}  // namespace dl250t
