#include "app/config_dialog.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>

#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "platform/system_files.hpp"
#include "support/journal_serials.hpp"
#include "support/outcome_printer.hpp"
#include "support/recording_prompter.hpp"
#include "support/scripted_serial_port.hpp"
#include "support/temp_dir.hpp"
#include "ui/in_memory_form_view.hpp"
#include "ui/system_menu.hpp"

namespace dl250t {
namespace {

// Files on disk, as the programs have them.
const std::unique_ptr<FileStore> systemFiles = makeSystemFileStore();
FileStore& files = *systemFiles;

using testing::beginWith;
using ::testing::ElementsAre;
using testing::RecordingPrompter;
using testing::resumeText;
using testing::ScriptedPortFactory;
using testing::ScriptedReply;
using testing::serialOf;
using testing::TempDir;

class FakeHost final : public WindowHost {
public:
    bool registerPortNotifications() override { return registrationWorks; }
    void showFullHeight() override { heights.push_back("full"); }
    void showCollapsedHeight() override { heights.push_back("collapsed"); }
    void showAbout() override { ++aboutShown; }

    bool registrationWorks = true;
    std::vector<std::string> heights;
    int aboutShown = 0;
};

class FixedClock final : public Clock {
public:
    std::int64_t secondsSince1970() const override { return 0x65000000; }
};

// A module's block as it answers a read request.
ConfigBlock moduleBlock(std::string_view identity = "Lorandix AMR Ver Moudle N 23306") {
    ConfigBlock block;
    std::copy(identity.begin(), identity.end(), block.bytes.begin() + 4);
    block[36] = 3;
    block[37] = 2;
    for (std::size_t i = 301; i < 516; ++i) {
        block[i] = 0x3C;
    }
    stampHeaderAndCrc(block);
    return block;
}

struct DialogFixture : ::testing::Test {
    DialogFixture() {
        dialog.initialise();
        prompter.clearRecord();
    }

    // One module that answers a read with its block and a write with `ack`.
    void scriptWrite(std::string_view ack = "ATOK") {
        ports.device.replies.push_back(ScriptedReply::block(moduleBlock()));
        ports.device.replies.push_back(ScriptedReply::text(ack));
    }

    ConfigBlock lastWrittenBlock() const {
        ConfigBlock block;
        const auto& bytes = ports.device.writes.back();
        EXPECT_EQ(bytes.size(), kBlockSize);
        std::copy(bytes.begin(), bytes.end(), block.bytes.begin());
        return block;
    }

    InMemoryFormView view;
    RecordingPrompter prompter;
    FakeHost host;
    ScriptedPortFactory ports;
    FixedClock clock;
    ConfigDialog dialog{{view, prompter, host, ports, clock, files, "dl250t-config"}};
};

TEST_F(DialogFixture, StartsCollapsedWithTheDefaultsShown) {
    EXPECT_THAT(host.heights, ElementsAre("collapsed"));
    EXPECT_EQ(view.text(ctl::ModuleName), "Lorandix AMR Ver Moudle U 13306");
    EXPECT_EQ(view.text(ctl::Serial), "65 00 00 00 00 00");
    EXPECT_EQ(view.text(ctl::StartFrequency), "433");
    EXPECT_EQ(view.text(ctl::AdvancedButton), "高级配置>>");
    EXPECT_TRUE(view.enabled(ctl::AutoConfigure));
    EXPECT_FALSE(dialog.advancedShown());
}

TEST(DialogStartup, FailedRegistrationWarnsAndDisablesAutoConfigure) {
    InMemoryFormView view;
    RecordingPrompter prompter;
    FakeHost host;
    host.registrationWorks = false;
    ScriptedPortFactory ports;
    FixedClock clock;
    ConfigDialog dialog{{view, prompter, host, ports, clock, files, "dl250t-config"}};
    dialog.initialise();
    ASSERT_EQ(prompter.messages().size(), 1u);
    EXPECT_EQ(prompter.messages()[0].text,
              "Failed to register notification of device change, please enable UPnP!");
    EXPECT_EQ(prompter.messages()[0].title, "Lorandix Configure Tool");
    EXPECT_EQ(prompter.messages()[0].icon, MessageIcon::Error);
    EXPECT_FALSE(view.enabled(ctl::AutoConfigure));
    EXPECT_EQ(view.text(ctl::StatusLine), "");
}

TEST_F(DialogFixture, AdvancedToggleSwitchesHeightAndCaption) {
    dialog.handleControlEvent(ControlEvent::Clicked, ctl::AdvancedButton);
    EXPECT_EQ(view.text(ctl::AdvancedButton), "高级选项<<");
    EXPECT_TRUE(dialog.advancedShown());
    dialog.handleControlEvent(ControlEvent::Clicked, ctl::AdvancedButton);
    EXPECT_EQ(view.text(ctl::AdvancedButton), "高级选项>>");
    EXPECT_THAT(host.heights, ElementsAre("collapsed", "full", "collapsed"));
}

TEST_F(DialogFixture, EmptyPortOnlyAsksForAPort) {
    view.setText(ctl::StatusLine, "earlier");
    for (ctl::ControlId button : {ctl::ReadButton, ctl::WriteButton}) {
        prompter.clearRecord();
        dialog.handleControlEvent(ControlEvent::Clicked, button);
        ASSERT_EQ(prompter.messages().size(), 1u);
        EXPECT_EQ(prompter.messages()[0].text, outcomeText(Outcome::NoPortChosen));
        EXPECT_EQ(prompter.messages()[0].title, "Lorandix Configure Tool");
        EXPECT_EQ(prompter.messages()[0].icon, MessageIcon::Error);
        EXPECT_EQ(dialog.lastOutcome(), Outcome::NoPortChosen);
    }
    EXPECT_EQ(dialog.read(), Outcome::NoPortChosen);
    EXPECT_EQ(dialog.write(), Outcome::NoPortChosen);
    EXPECT_EQ(view.text(ctl::StatusLine), "earlier");
    EXPECT_EQ(ports.device.portsCreated, 0);
}

TEST_F(DialogFixture, ReadDecodesTheModuleIntoTheForm) {
    view.setText(ctl::Port, "COM3");
    ConfigBlock block = moduleBlock();
    encodeNetworkId(block, 0x1234);
    stampHeaderAndCrc(block);
    ports.device.replies.push_back(ScriptedReply::block(block));
    EXPECT_EQ(dialog.read(), Outcome::ModuleRead);
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::ModuleRead));
    EXPECT_EQ(view.text(ctl::NetworkId), "4660");
    EXPECT_EQ(view.text(ctl::Type), "NODE");
    EXPECT_EQ(dialog.workingBlock(), block);
    EXPECT_EQ(ports.device.openedName, "COM3");
    EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(DialogFixture, FailedReadLeavesTheWorkingBlockAlone) {
    view.setText(ctl::Port, "COM3");
    const ConfigBlock before = dialog.workingBlock();
    ConfigBlock corrupt = moduleBlock();
    corrupt[400] ^= 1;
    const std::pair<ScriptedReply, Outcome> replies[] = {
        {ScriptedReply::block(moduleBlock(), 300), Outcome::LengthMismatch},
        {ScriptedReply::block(corrupt), Outcome::CrcMismatch},
        {ScriptedReply::text(""), Outcome::ResponseTimeout},
    };
    for (const auto& [reply, outcome] : replies) {
        ports.device.replies.push_back(reply);
        prompter.clearRecord();
        EXPECT_EQ(dialog.read(), outcome);
        EXPECT_EQ(dialog.workingBlock(), before);
        EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(outcome));
        EXPECT_THAT(prompter.messageTexts(), ElementsAre(outcomeText(outcome)));
    }
}

TEST_F(DialogFixture, WriteTakesOverTheIdentityAndAdvancesTheSerial) {
    view.setText(ctl::Port, "COM5");
    view.setText(ctl::Serial, "00 00 00 00 00 FF");
    scriptWrite();
    EXPECT_EQ(dialog.write(), Outcome::ModuleWritten);
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::ModuleWritten));
    const ConfigBlock first = lastWrittenBlock();
    EXPECT_EQ(decodeSerialText(first), "00 00 00 00 00 FF");
    EXPECT_EQ(std::string(first.bytes.begin(), first.bytes.begin() + 4), "ATW0");
    EXPECT_EQ(validateBlock(first, kBlockSize), BlockCheck::Ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.data() + 4)),
              "Lorandix AMR Ver Moudle N 23306");
    EXPECT_EQ(first[36], 3);
    EXPECT_EQ(first[37], 2);
    EXPECT_EQ(first[400], 0) << "the module's reserved bytes are not copied";
    EXPECT_EQ(view.text(ctl::ModuleName), "Lorandix AMR Ver Moudle N 23306");
    EXPECT_EQ(view.text(ctl::Version), "2.3");
    EXPECT_EQ(view.text(ctl::Type), "NODE");
    EXPECT_EQ(view.text(ctl::MaxPower), "20dBm");
    EXPECT_EQ(view.text(ctl::Band), "433MHz") << "the band is not taken from the module";
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 01 00");

    scriptWrite();
    dialog.write();
    EXPECT_EQ(decodeSerialText(lastWrittenBlock()), "00 00 00 00 01 00");
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 01 01");
}

TEST_F(DialogFixture, SerialWrapsAfterTheLastNumber) {
    view.setText(ctl::Port, "COM5");
    view.setText(ctl::Serial, "FF FF FF FF FF FF");
    scriptWrite();
    dialog.write();
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 00");
}

TEST_F(DialogFixture, SilentModuleIsNotWrittenAndKeepsTheSerial) {
    view.setText(ctl::Port, "COM5");
    view.setText(ctl::Serial, "00 00 00 00 00 07");
    const ConfigBlock before = dialog.workingBlock();
    EXPECT_EQ(dialog.write(), Outcome::ResponseTimeout);
    EXPECT_EQ(prompter.messages().size(), 1u);
    EXPECT_EQ(ports.device.writes.size(), 1u) << "only the read request";
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 07");
    EXPECT_EQ(dialog.workingBlock(), before);
}

TEST_F(DialogFixture, RefusedWriteKeepsTheSerialForTheNextModule) {
    view.setText(ctl::Port, "COM5");
    view.setText(ctl::Serial, "00 00 00 00 00 07");
    scriptWrite("ATER");
    EXPECT_EQ(dialog.write(), Outcome::ModuleWriteFailed);
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 07");
    scriptWrite();
    dialog.write();
    EXPECT_EQ(decodeSerialText(lastWrittenBlock()), "00 00 00 00 00 07");
}

TEST_F(DialogFixture, WriteWithThePanelHiddenSendsRateDerivedTiming) {
    view.setText(ctl::Port, "COM5");
    view.setText(ctl::TickUs, "999");
    scriptWrite();
    dialog.write();
    EXPECT_EQ(decodeTickUs(lastWrittenBlock(), 26), 108);
    EXPECT_TRUE(prompter.messages().empty());
}

struct FileFixture : DialogFixture {
    TempDir dir;
};

TEST_F(FileFixture, SaveWritesAStampedScrambledBlockAndKeepsItPlain) {
    prompter.queueFileAnswer((dir / "a.cfg").string());
    EXPECT_EQ(dialog.save(), Outcome::FileWritten);
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::FileWritten));
    const auto bytes = testing::readAll(dir / "a.cfg");
    ASSERT_EQ(bytes.size(), 518u);
    EXPECT_EQ(bytes[0], 'A' ^ 0xA7);
    const LoadedConfigFile loaded = loadConfigFile(files, dir / "a.cfg");
    EXPECT_EQ(loaded.check, BlockCheck::Ok);
    EXPECT_EQ(loaded.block, dialog.workingBlock());
    ASSERT_EQ(prompter.fileRequests().size(), 1u);
    EXPECT_EQ(prompter.fileRequests()[0].initialName, "*.cfg");
    EXPECT_EQ(prompter.fileRequests()[0].filters.size(), 2u);
    EXPECT_EQ(prompter.fileRequests()[0].filters[0].description, "配置文件(*.cfg)");
    EXPECT_EQ(prompter.fileRequests()[0].filters[1].description, "所有文件(*.*)");
}

TEST_F(FileFixture, CancelledChooserDoesNothing) {
    view.setText(ctl::StatusLine, "before");
    prompter.queueFileAnswer(std::nullopt);
    EXPECT_EQ(dialog.open(), Outcome::Cancelled);
    prompter.queueFileAnswer("");
    EXPECT_EQ(dialog.save(), Outcome::Cancelled);
    EXPECT_EQ(view.text(ctl::StatusLine), "before");
    EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(FileFixture, OpenChecksLengthAndLoadsTheFirst518Bytes) {
    ConfigBlock file = moduleBlock();
    encodeNetworkId(file, 777);
    stampHeaderAndCrc(file);
    scrambleBytes(file.span());
    std::vector<std::uint8_t> bytes(file.bytes.begin(), file.bytes.end());

    testing::writeAll(dir / "short.cfg", {bytes.begin(), bytes.end() - 1});
    prompter.queueFileAnswer((dir / "short.cfg").string());
    EXPECT_EQ(dialog.open(), Outcome::LengthMismatch);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(outcomeText(Outcome::LengthMismatch)));

    bytes.resize(600, 0xEE);
    testing::writeAll(dir / "long.cfg", bytes);
    prompter.queueFileAnswer((dir / "long.cfg").string());
    EXPECT_EQ(dialog.open(), Outcome::FileRead);
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::FileRead));
    EXPECT_EQ(view.text(ctl::NetworkId), "777");

    prompter.clearRecord();
    prompter.queueFileAnswer((dir / "missing.cfg").string());
    EXPECT_EQ(dialog.open(), Outcome::FileOpenFailed);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(outcomeText(Outcome::FileOpenFailed)));
}

// The window froze until a writer came to a pipe; a file that fails part way
// was reported as too short; a device is no file either.
TEST_F(FileFixture, OpenOfAPipeOrAnUnreadableFileFailsToOpenAtOnce) {
#ifdef _WIN32
    const std::vector<std::string> paths = {"NUL", "COM1"};
#else
    ASSERT_EQ(mkfifo((dir / "pipe.cfg").c_str(), 0600), 0);
    const std::vector<std::string> paths = {(dir / "pipe.cfg").string(), "/proc/self/mem"};
#endif
    for (const std::string& path : paths) {
        prompter.clearRecord();
        prompter.queueFileAnswer(path);
        EXPECT_EQ(dialog.open(), Outcome::FileOpenFailed) << path;
        EXPECT_THAT(prompter.messageTexts(), ElementsAre(outcomeText(Outcome::FileOpenFailed)))
            << path;
        EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::FileOpenFailed));
    }
}

TEST_F(FileFixture, SaveAfterOpenKeepsTheWorkingIdentity) {
    ConfigBlock other = moduleBlock("Lorandix Other R 26807");
    encodeNetworkId(other, 555);
    ASSERT_EQ(saveConfigFile(files, dir / "other.cfg", other), Outcome::FileWritten);
    prompter.queueFileAnswer((dir / "other.cfg").string());
    dialog.open();
    prompter.queueFileAnswer((dir / "saved.cfg").string());
    dialog.save();
    const ConfigBlock saved = loadConfigFile(files, dir / "saved.cfg").block;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.data() + 4)),
              "Lorandix AMR Ver Moudle U 13306");
    EXPECT_EQ(saved[36], 6);
    EXPECT_EQ(saved[400], 0);
    EXPECT_EQ(decodeNetworkId(saved), 555);
}

TEST_F(FileFixture, SaveIntoAFolderPathFailsToOpenAndLeavesItAlone) {
    std::filesystem::create_directory(dir / "folder.cfg");
    prompter.queueFileAnswer((dir / "folder.cfg").string());
    const ConfigBlock before = dialog.workingBlock();
    EXPECT_EQ(dialog.save(), Outcome::FileOpenFailed);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(outcomeText(Outcome::FileOpenFailed)));
    EXPECT_EQ(dialog.workingBlock(), before) << "nothing was encoded";
}

TEST_F(DialogFixture, ApplyShowsTheAdjustedValues) {
    dialog.toggleAdvanced();
    view.setText(ctl::HostBootTime, "0");
    view.setText(ctl::TickUs, "108");
    dialog.apply();
    EXPECT_THAT(prompter.messageTexts(),
                ::testing::Contains("HOST开机时间为0ms超出[1ms ~ 65535ms]范围，自动调整为1ms！"));
    EXPECT_EQ(view.text(ctl::HostBootTime), "1");
    EXPECT_EQ(view.text(ctl::StartFrequency), "432.999816894531");
    EXPECT_EQ(view.text(ctl::StatusLine), "");
}

TEST_F(DialogFixture, PortArrivalAndRemovalTexts) {
    dialog.handlePortEvent({PortEvent::Kind::Arrival, "COM12"});
    EXPECT_EQ(view.text(ctl::StatusLine), "模块从COM12插入");
    EXPECT_EQ(view.text(ctl::Port), "COM12");
    dialog.handlePortEvent({PortEvent::Kind::Removal, "COM12"});
    EXPECT_EQ(view.text(ctl::StatusLine), "模块从COM12拔出");
    EXPECT_EQ(view.text(ctl::Port), "COM12");
    dialog.handlePortEvent({PortEvent::Kind::Arrival, "COM007"});
    EXPECT_EQ(view.text(ctl::Port), "COM7");
    dialog.handlePortEvent({PortEvent::Kind::Arrival, "COMX"});
    EXPECT_EQ(view.text(ctl::StatusLine), "模块从COM0插入");
    EXPECT_EQ(view.text(ctl::Port), "COM0");
    dialog.handlePortEvent({PortEvent::Kind::Arrival, "COM51"});
    EXPECT_EQ(view.text(ctl::Port), "COM51");
    dialog.handlePortEvent({PortEvent::Kind::Arrival, "CO"});
    EXPECT_EQ(view.text(ctl::Port), "COM51") << "a name without a number is ignored";
    EXPECT_EQ(ports.device.portsCreated, 0) << "nothing is read or written";
}

// The port directory can no longer be watched: the operator learns why
// plug-ins go unnoticed, and nothing else happens.
TEST_F(DialogFixture, ALostPortWatchIsToldOnTheStatusLine) {
    view.setText(ctl::Port, "COM4");
    dialog.handlePortEvent({PortEvent::Kind::WatchLost, {}});
    EXPECT_EQ(view.text(ctl::StatusLine), "串口目录无法监视！");
    EXPECT_EQ(view.text(ctl::Port), "COM4");
    EXPECT_TRUE(prompter.messages().empty());
    EXPECT_EQ(ports.device.portsCreated, 0);
}

TEST_F(DialogFixture, AutoConfigureFreezesTheFormAndWritesEachArrival) {
    view.setChecked(ctl::AutoConfigure, true);
    view.setText(ctl::NetworkId, "bad");
    dialog.handleControlEvent(ControlEvent::Clicked, ctl::AutoConfigure);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre("请键入一个整数。"));
    EXPECT_TRUE(dialog.autoConfigure());
    for (ctl::ControlId id = 1002; id <= 1064; ++id) {
        ASSERT_FALSE(view.enabled(id)) << id;
    }
    EXPECT_TRUE(view.enabled(ctl::AutoConfigure));
    EXPECT_TRUE(view.enabled(ctl::StatusLine));
    view.setText(ctl::NetworkId, "0");

    prompter.clearRecord();
    view.setText(ctl::Serial, "00 00 00 00 00 01");
    scriptWrite();
    dialog.handlePortEvent({PortEvent::Kind::Arrival, "COM4"});
    EXPECT_EQ(ports.device.openedName, "COM4");
    EXPECT_EQ(ports.device.writes.size(), 2u) << "one read request, one block";
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 02");
    dialog.handlePortEvent({PortEvent::Kind::Removal, "COM4"});
    EXPECT_EQ(ports.device.writes.size(), 2u);

    view.setChecked(ctl::AutoConfigure, false);
    dialog.handleControlEvent(ControlEvent::Clicked, ctl::AutoConfigure);
    for (ctl::ControlId id = 1002; id <= 1064; ++id) {
        ASSERT_TRUE(view.enabled(id)) << id;
    }
}

// A module plugged in while an error box of the previous one is still open is
// configured once that box is closed: never inside the running command, never
// dropped.
TEST_F(DialogFixture, ArrivalDuringAnOpenBoxIsHandledAfterItExactlyOnce) {
    view.setChecked(ctl::AutoConfigure, true);
    dialog.onAutoConfigureClicked();
    view.setText(ctl::Serial, "00 00 00 00 00 01");
    ports.device.replies.push_back(ScriptedReply::block(moduleBlock()));
    ports.device.replies.push_back(ScriptedReply::text("ATER"));  // first module refuses
    scriptWrite();                                                // second one takes it

    int delivered = 0;
    prompter.whileMessageOpen([&](const testing::RecordedMessage&) {
        if (delivered++ == 0) {
            dialog.handlePortEvent({PortEvent::Kind::Arrival, "COM8"});
            EXPECT_EQ(ports.device.writes.size(), 2u) << "nothing may run inside the box";
        }
    });
    dialog.handlePortEvent({PortEvent::Kind::Arrival, "COM7"});
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(outcomeText(Outcome::ModuleWriteFailed)));
    EXPECT_EQ(ports.device.writes.size(), 4u);
    EXPECT_EQ(ports.device.openedName, "COM8");
    EXPECT_EQ(dialog.lastOutcome(), Outcome::ModuleWritten);
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::ModuleWritten));
    EXPECT_EQ(decodeSerialText(lastWrittenBlock()), "00 00 00 00 00 01");
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 02");
    EXPECT_TRUE(ports.device.misuse.empty());
}

// Links made and removed continuously while one error box stayed open queued
// hundreds of events and wrote modules long gone. A port that came and went
// meanwhile has nothing to be written; one announced again and again is
// written once; the queue never holds more than one event for each port.
TEST_F(DialogFixture, PortsComingAndGoingDuringABoxAreSettledWhenItCloses) {
    view.setChecked(ctl::AutoConfigure, true);
    dialog.onAutoConfigureClicked();
    view.setText(ctl::Serial, "00 00 00 00 00 01");
    ports.device.replies.push_back(ScriptedReply::block(moduleBlock()));
    ports.device.replies.push_back(ScriptedReply::text("ATER"));  // COM3 refuses
    scriptWrite();                                                // COM6
    scriptWrite();                                                // COM7

    std::size_t mostWaiting = 0;
    bool delivered = false;
    prompter.whileMessageOpen([&](const testing::RecordedMessage&) {
        if (std::exchange(delivered, true)) {
            return;
        }
        const auto deliver = [&](PortEvent::Kind kind, const char* name) {
            dialog.handlePortEvent({kind, name});
            mostWaiting = std::max(mostWaiting, dialog.waitingPortEvents());
        };
        for (int i = 0; i < 300; ++i) {
            deliver(PortEvent::Kind::Arrival, "COM5");
            deliver(PortEvent::Kind::Arrival, "COM6");
            deliver(PortEvent::Kind::Removal, "COM5");
        }
        deliver(PortEvent::Kind::Arrival, "COM7");
        deliver(PortEvent::Kind::Removal, "COM7");
        deliver(PortEvent::Kind::Arrival, "COM7");
    });
    dialog.handlePortEvent({PortEvent::Kind::Arrival, "COM3"});

    EXPECT_THAT(prompter.messageTexts(), ElementsAre(outcomeText(Outcome::ModuleWriteFailed)));
    EXPECT_LE(mostWaiting, 2u);
    EXPECT_EQ(dialog.waitingPortEvents(), 0u);
    // Two exchanges for each of COM3, COM6 and COM7.
    EXPECT_EQ(std::count(ports.device.calls.begin(), ports.device.calls.end(),
                         testing::PortCall::OpenExisting),
              6);
    EXPECT_EQ(ports.device.openedName, "COM7");
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::ModuleWritten));
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 03");
    EXPECT_TRUE(ports.device.misuse.empty());
}

TEST_F(DialogFixture, RateSelectionChangesAreRouted) {
    view.setSelection(ctl::DefaultRate, 11);
    dialog.handleControlEvent(ControlEvent::SelectionChanged, ctl::DefaultRate);
    EXPECT_EQ(view.text(ctl::TickUs), "17408");
    view.setText(ctl::SleepCompensation, "3");
    dialog.handleControlEvent(ControlEvent::SelectionChanged, ctl::RateLower);
    EXPECT_EQ(view.text(ctl::SleepCompensation), "3");
    dialog.handleControlEvent(ControlEvent::SelectionChanged, ctl::RateUpper);
    EXPECT_EQ(view.text(ctl::SleepCompensation), "200");
}

TEST_F(DialogFixture, SystemMenuAboutAndAccept) {
    for (std::uint32_t command : {0x10u, 0x1Fu, 0x20u, 0xF060u}) {
        if (isAboutCommand(command)) {
            dialog.about();
        }
    }
    EXPECT_EQ(host.aboutShown, 2);

    EXPECT_TRUE(dialog.accept());
    view.setText(ctl::SleepRatio, "12a");
    EXPECT_FALSE(dialog.accept());
    EXPECT_THAT(prompter.messageTexts(), ElementsAre("请键入一个整数。"));
    EXPECT_EQ(view.focusedControl(), ctl::SleepRatio);
}

// A journal that answers as told and keeps what it was given.
class FakeJournal final : public ProductionJournal {
public:
    bool open() override { return opens; }
    std::optional<SerialNumber> resumeSerial() const override {
        return resume ? serialOf(*resume) : std::nullopt;
    }
    bool beginModule() override { return takesLines; }
    bool reserveSerial(ModuleRecord& record) override {
        reserved.push_back(record.serial ? record.serial->text() : std::string());
        if (handsOut) {
            record.serial = serialOf(*handsOut);
        }
        return true;
    }
    bool finishModule(const ModuleRecord& record) override {
        records.push_back(record);
        if (onFinish) {
            onFinish();
        }
        return recordsLines;
    }
    std::string problem() const override { return "no room"; }

    bool opens = true;
    bool takesLines = true;
    bool recordsLines = true;
    std::optional<std::string> resume;
    std::optional<std::string> handsOut;  // a number of its own, as a shared line's journal has
    std::vector<std::string> reserved;
    std::vector<ModuleRecord> records;
    std::function<void()> onFinish;
};

std::uint16_t crcOf(const ConfigBlock& block) {
    return static_cast<std::uint16_t>(block[block::kCrc] | block[block::kCrc + 1] << 8);
}

struct JournalFixture : DialogFixture {
    JournalFixture() {
        EXPECT_TRUE(journaled.useJournal(&journal));
        journaled.initialise();
        prompter.clearRecord();
        view.setText(ctl::Port, "COM5");
        view.setText(ctl::Serial, "00 00 00 00 00 FF");
    }

    FakeJournal journal;
    std::vector<ModuleRecord> observed;
    ConfigDialog journaled{{view, prompter, host, ports, clock, files, "dl250t-config", nullptr,
                            [this](const ModuleRecord& r) { observed.push_back(r); }}};
};

TEST_F(JournalFixture, EveryWriteIsRecordedAndObservedWithWhatWasSent) {
    scriptWrite();
    EXPECT_EQ(journaled.write(), Outcome::ModuleWritten);
    const ConfigBlock sent = lastWrittenBlock();
    EXPECT_EQ(journaled.write(), Outcome::ResponseTimeout) << "nothing scripted: silence";

    EXPECT_THAT(journal.reserved, ElementsAre("00 00 00 00 00 FF")) << "a silent module takes none";
    ASSERT_EQ(journal.records.size(), 2u);
    const ModuleRecord& written = journal.records[0];
    EXPECT_EQ(written.port, "COM5");
    EXPECT_EQ(written.moduleName, "Lorandix AMR Ver Moudle N 23306");
    EXPECT_EQ(written.moduleVersion, "2.3");
    EXPECT_EQ(written.serial, serialOf("00 00 00 00 00 FF"));
    EXPECT_EQ(written.outcome, Outcome::ModuleWritten);
    EXPECT_EQ(written.verify, ModuleRecord::Verify::NotAsked);
    EXPECT_EQ(written.crc, crcOf(sent));
    EXPECT_GE(written.milliseconds, 0);

    const ModuleRecord& silent = journal.records[1];
    EXPECT_EQ(silent.outcome, Outcome::ResponseTimeout);
    EXPECT_EQ(silent.serial, serialOf("00 00 00 00 01 00")) << "the number it was to get";
    EXPECT_EQ(silent.moduleName, "");
    EXPECT_EQ(silent.crc, std::nullopt) << "no block was sent";
    EXPECT_EQ(observed.size(), 2u);
}

TEST_F(JournalFixture, JournalThatCannotTakeALineStopsTheModuleBeforeItIsTouched) {
    journal.takesLines = false;
    scriptWrite();
    EXPECT_EQ(journaled.write(), Outcome::JournalFailed);
    EXPECT_EQ(view.text(ctl::StatusLine), "生产记录写入失败！");
    EXPECT_THAT(prompter.messageTexts(), ElementsAre("生产记录写入失败！\nno room"));
    EXPECT_EQ(ports.device.portsCreated, 0);
    EXPECT_TRUE(journal.records.empty()) << "a module not begun is not finished";
    EXPECT_TRUE(observed.empty());
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 FF");
}

TEST_F(JournalFixture, LineThatCannotBeRecordedIsReportedAfterTheModule) {
    journal.recordsLines = false;
    scriptWrite();
    EXPECT_EQ(journaled.write(), Outcome::JournalFailed);
    EXPECT_EQ(journaled.lastOutcome(), Outcome::JournalFailed);
    EXPECT_EQ(view.text(ctl::StatusLine), "生产记录写入失败！");
    EXPECT_EQ(observed.size(), 1u);
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 01 00") << "the module holds its number";
}

// A reservation is settled before any box waits for the operator, so that
// the journal tells at once how the module ended. The module that answered
// its read but not its write keeps a number that is never given again.
TEST_F(JournalFixture, BoxesOfAModuleWaitUntilItsReservationIsSettled) {
    std::optional<std::size_t> boxesWhenRecorded;
    journal.onFinish = [&] { boxesWhenRecorded = prompter.messages().size(); };
    ports.device.replies.push_back(ScriptedReply::block(moduleBlock()));
    EXPECT_EQ(journaled.write(), Outcome::ModuleWriteFailed) << "no acknowledgement";
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 01 00");
    EXPECT_EQ(boxesWhenRecorded, 0u);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre("模块写入失败！"));
    EXPECT_EQ(view.text(ctl::StatusLine), "模块写入失败！");
}

TEST_F(JournalFixture, JournalThatHandsOutNumbersDecidesTheModulesNumber) {
    journal.handsOut = "00 00 00 00 10 00";
    scriptWrite();
    EXPECT_EQ(journaled.write(), Outcome::ModuleWritten);
    EXPECT_EQ(decodeSerialText(lastWrittenBlock()), "00 00 00 00 10 00");
    EXPECT_EQ(journal.records.at(0).serial, serialOf("00 00 00 00 10 00"));
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 10 01");
}

TEST_F(DialogFixture, UsingAJournalResumesItsNumberingOrReportsWhyItCannot) {
    FakeJournal journal;
    journal.resume = "00 00 00 00 02 00";
    EXPECT_TRUE(dialog.useJournal(&journal));
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 02 00");
    EXPECT_TRUE(prompter.messages().empty());

    FakeJournal broken;
    broken.opens = false;
    EXPECT_FALSE(dialog.useJournal(&broken));
    EXPECT_EQ(view.text(ctl::StatusLine), "生产记录写入失败！");
    EXPECT_THAT(prompter.messageTexts(), ElementsAre("生产记录写入失败！\nno room"));
}

// After ATOK the block is read back into a block of its own and compared
// with all the bytes sent. Whatever it finds, the module may hold the number
// that the journal reserved for it: the next module gets the one after.
TEST_F(JournalFixture, VerifiedWriteTellsWhatTheModuleHoldsAndUsesUpItsNumber) {
    struct Case {
        const char* name;
        std::optional<ScriptedReply> readBack;  // none: silence
        Outcome outcome;
        ModuleRecord::Verify verify;
        std::vector<std::string> boxes;
        std::string serialAfter;
    };
    const Case cases[] = {
        {"holds it",
         ScriptedReply::stored(),
         Outcome::ModuleWritten,
         ModuleRecord::Verify::Ok,
         {},
         "00 00 00 00 01 00"},
        {"stored a changed byte",
         ScriptedReply::stored(100),
         Outcome::ModuleVerifyFailed,
         ModuleRecord::Verify::Mismatch,
         {"模块校验失败！"},
         "00 00 00 00 01 00"},
        {"silent on the read-back",
         std::nullopt,
         Outcome::ResponseTimeout,
         ModuleRecord::Verify::NotAsked,
         {"串口响应超时！"},
         "00 00 00 00 01 00"},
    };
    journaled.setVerify(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.setText(ctl::Serial, "00 00 00 00 00 FF");
        prompter.clearRecord();
        journal.records.clear();
        ports.device.writes.clear();
        ports.device.replies.clear();
        scriptWrite();
        if (c.readBack) {
            ports.device.replies.push_back(*c.readBack);
        }
        EXPECT_EQ(journaled.write(), c.outcome);
        EXPECT_EQ(ports.device.writtenTexts().back(), "ATR0") << "the read-back was asked for";
        EXPECT_EQ(ports.device.writes.size(), 3u);
        EXPECT_EQ(prompter.messageTexts(), c.boxes);
        EXPECT_EQ(view.text(ctl::StatusLine), c.boxes.empty()
                                                  ? std::string(outcomeText(Outcome::ModuleWritten))
                                                  : c.boxes.front());
        EXPECT_EQ(view.text(ctl::Serial), c.serialAfter);
        ASSERT_EQ(journal.records.size(), 1u);
        EXPECT_EQ(journal.records[0].outcome, c.outcome);
        EXPECT_EQ(journal.records[0].verify, c.verify);
    }
    EXPECT_TRUE(ports.device.misuse.empty());
}

// A scanner typing into the window in auto-configure: a module without a code
// waits for it, a code without a module waits for the next one, and the
// journal gets each module's code.
TEST_F(JournalFixture, ScannedBoardCodesGoWithTheModulesTheyWerePairedWith) {
    view.setChecked(ctl::AutoConfigure, true);
    journaled.onAutoConfigureClicked();
    journaled.setScanBoardCodes(true);
    ASSERT_TRUE(journaled.takesScannerKeys());
    scriptWrite();
    scriptWrite();

    journaled.handlePortEvent({PortEvent::Kind::Arrival, "COM4"});
    EXPECT_EQ(view.text(ctl::StatusLine), "模块从COM4插入，等待扫描板号");
    EXPECT_TRUE(ports.device.writes.empty());
    journaled.handleScannerKeys("B-1");
    journaled.handleScannerKeys("\r");
    EXPECT_EQ(ports.device.openedName, "COM4");
    journaled.handleScannerKeys("B-\x01\r");
    EXPECT_EQ(view.text(ctl::StatusLine), "板号含有无法打印的字符，未采用");
    journaled.handleScannerKeys("B-2\r");
    EXPECT_EQ(view.text(ctl::StatusLine), "板号B-2，等待模块插入");
    journaled.handlePortEvent({PortEvent::Kind::Arrival, "COM6"});

    ASSERT_EQ(journal.records.size(), 2u);
    EXPECT_EQ(journal.records[0].board, "B-1");
    EXPECT_EQ(journal.records[1].port, "COM6");
    EXPECT_EQ(journal.records[1].board, "B-2");
    view.setChecked(ctl::AutoConfigure, false);
    journaled.onAutoConfigureClicked();
    EXPECT_FALSE(journaled.takesScannerKeys()) << "the form takes keys again";
}

}  // namespace
}  // namespace dl250t
