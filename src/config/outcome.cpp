#include "config/outcome.hpp"

#include <array>
#include <cstddef>

namespace dl250t {

namespace {

struct OutcomeEntry {
    Outcome outcome;
    std::string_view text;
    OutcomeDisplay display;
};

using enum OutcomeDisplay;

// Every outcome with its text, in the order of the enumeration.
constexpr std::array<OutcomeEntry, 20> kOutcomes = {{
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
}};

constexpr bool inEnumerationOrder() {
    for (std::size_t i = 0; i < kOutcomes.size(); ++i) {
        if (static_cast<std::size_t>(kOutcomes[i].outcome) != i) {
            return false;
        }
    }
    return kOutcomes.back().outcome == Outcome::Cancelled;
}
static_assert(inEnumerationOrder(), "one entry per outcome, in the order of the enumeration");

const OutcomeEntry& entryOf(Outcome outcome) {
    return kOutcomes.at(static_cast<std::size_t>(outcome));
}

}  // namespace

std::string_view outcomeText(Outcome outcome) {
    return entryOf(outcome).text;
}

OutcomeDisplay outcomeDisplay(Outcome outcome) {
    return entryOf(outcome).display;
}

bool isSuccess(Outcome outcome) {
    return outcome <= Outcome::FileWritten;
}

}  // namespace dl250t
