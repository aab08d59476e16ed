#include "support/recording_prompter.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dl250t {
namespace {

using ::testing::ElementsAre;

TEST(RecordingPrompter, AnswersFileRequestsFromTheScriptThenCancels) {
    testing::RecordingPrompter prompter;
    prompter.queueFileAnswer("first.cfg");
    prompter.queueFileAnswer(std::nullopt);
    const FileRequest request{
        FileRequest::Mode::Save, "module.cfg", {{"配置文件(*.cfg)", "*.cfg"}}};
    EXPECT_EQ(prompter.chooseFile(request), "first.cfg");
    EXPECT_EQ(prompter.chooseFile(request), std::nullopt);
    EXPECT_EQ(prompter.chooseFile(request), std::nullopt);
    ASSERT_EQ(prompter.fileRequests().size(), 3u);
    EXPECT_EQ(prompter.fileRequests()[0].initialName, "module.cfg");
    EXPECT_EQ(prompter.fileRequests()[0].mode, FileRequest::Mode::Save);
}

TEST(RecordingPrompter, HookRunsWhileTheBoxIsOpenButIsNotReentered) {
    testing::RecordingPrompter prompter;
    int hookRuns = 0;
    prompter.whileMessageOpen([&](const testing::RecordedMessage& shown) {
        ++hookRuns;
        EXPECT_EQ(shown.text, "outer");
        prompter.showMessage("inner", "t", MessageIcon::Warning);
    });
    prompter.showMessage("outer", "t", MessageIcon::Error);
    EXPECT_EQ(hookRuns, 1);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre("outer", "inner"));
    EXPECT_EQ(prompter.messages()[1].icon, MessageIcon::Warning);

    prompter.clearRecord();
    prompter.showMessage("outer", "t", MessageIcon::Error);
    EXPECT_EQ(hookRuns, 2);  // the hook survives clearing the record
}

}  // namespace
}  // namespace dl250t
