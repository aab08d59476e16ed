#pragma once

#include <string_view>

namespace dl250t {

// Outcome texts of the module exchanges, as the operator sees them. The
// texts of a failed block check come from blockCheckMessage.
inline constexpr std::string_view kPortOpenFailedText = "串口打开失败，没有此串口者被占用！";
inline constexpr std::string_view kPortWriteFailedText = "串口写入失败！";
inline constexpr std::string_view kPortReadFailedText = "串口读取失败！";
inline constexpr std::string_view kResponseTimeoutText = "串口响应超时！";
inline constexpr std::string_view kModuleWriteFailedText = "模块写入失败！";
inline constexpr std::string_view kModuleReadOkText = "模块读取成功！";
inline constexpr std::string_view kModuleWriteOkText = "模块写入成功！";

}  // namespace dl250t
