#include "config/outcome.hpp"

#include <gtest/gtest.h>

namespace dl250t {
namespace {

struct OutcomeCase {
    Outcome outcome;
    std::string_view text;
    OutcomeDisplay display;
};

using enum OutcomeDisplay;

// The operator's texts, byte for byte. Every other test names outcomes by
// value, so this is where a changed text shows.
const OutcomeCase kCases[] = {
    {Outcome::ModuleRead, "模块读取成功！", StatusLine},
    {Outcome::ModuleWritten, "模块写入成功！", StatusLine},
    {Outcome::FileOpened, "文件打开成功！", StatusLine},
    {Outcome::FileRead, "文件读取成功！", StatusLine},
    {Outcome::FileWritten, "文件写入成功！", StatusLine},
    {Outcome::PortOpenFailed, "串口打开失败，没有此串口者被占用！", StatusLineAndErrorBox},
    {Outcome::PortWriteFailed, "串口写入失败！", StatusLineAndErrorBox},
    {Outcome::PortReadFailed, "串口读取失败！", StatusLineAndErrorBox},
    {Outcome::ResponseTimeout, "串口响应超时！", StatusLineAndErrorBox},
    {Outcome::LengthMismatch, "配置块长度不匹配！", StatusLineAndErrorBox},
    {Outcome::KeywordMismatch, "配置块关键字不匹配！", StatusLineAndErrorBox},
    {Outcome::CrcMismatch, "配置块CRC检验错误！", StatusLineAndErrorBox},
    {Outcome::ModuleWriteFailed, "模块写入失败！", StatusLineAndErrorBox},
    {Outcome::ModuleVerifyFailed, "模块校验失败！", StatusLineAndErrorBox},
    {Outcome::FileOpenFailed, "文件打开失败！", StatusLineAndErrorBox},
    {Outcome::FileWriteFailed, "文件写入失败！", StatusLineAndErrorBox},
    {Outcome::JournalFailed, "生产记录写入失败！", StatusLineAndErrorBox},
    {Outcome::PortInUse, "串口正由另一个程序使用！", StatusLine},
    {Outcome::NoPortChosen, "请选择一个COM口！", ErrorBox},
    {Outcome::Cancelled, "", Nothing},
};

TEST(Outcome, EachHasItsTextAndPlace) {
    for (const OutcomeCase& c : kCases) {
        SCOPED_TRACE(static_cast<int>(c.outcome));
        EXPECT_EQ(outcomeText(c.outcome), c.text);
        EXPECT_EQ(outcomeDisplay(c.outcome), c.display);
        // A module left to another program is told like a success, but is none.
        EXPECT_EQ(isSuccess(c.outcome), c.display == StatusLine && c.outcome != Outcome::PortInUse);
    }
}

}  // namespace
}  // namespace dl250t
