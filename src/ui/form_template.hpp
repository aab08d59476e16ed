#pragma once

#include <array>
#include <span>
#include <string_view>

#include "ui/control_ids.hpp"
#include "ui/form_lists.hpp"

namespace dl250t {

// The main window as data. The desktop window is built from this table alone;
// the in-memory form uses it for the kinds and captions of its controls.
//
// Rectangles are x, y, width, height in dialog units from the top left corner
// of the client area: one horizontal unit is a quarter of the font's average
// character width, one vertical unit an eighth of its character height.

struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend constexpr bool operator==(const DialogRect&, const DialogRect&) = default;
};

struct DialogSize {
    int width = 0;
    int height = 0;

    friend constexpr bool operator==(const DialogSize&, const DialogSize&) = default;
};

// A regular-weight font of the default character set.
struct FontSpec {
    std::string_view family;
    int pointSize = 0;
};

// Every window has a title bar with the system menu and a close box; the frame
// is fixed in size.
struct WindowFrame {
    bool minimiseBox = false;
    bool maximiseBox = false;
    bool ownTaskbarButton = false;
};

enum class ControlKind {
    // Single line with a border; scrolls sideways; accepts any characters
    // (numbers are checked only when the form is read).
    Edit,
    // Single line without a border; the text can be selected and copied but
    // not changed; scrolls sideways.
    ReadOnlyEdit,
    // Closed field showing one item or nothing; the height in the table
    // includes the opened list, which has a vertical scroll bar and keeps its
    // items in the order they were added.
    DropDownList,
    // Like DropDownList, but the field takes typed text and does not scroll
    // sideways; picking an item puts its text into the field.
    EditableDropDown,
    // Two states, toggled by each click.
    CheckBox,
    // A plain button; none is the default button.
    PushButton,
};

enum class LabelAlign { Right, Centre };

// The static text to the left of a control. Labels have no ID.
struct ControlLabel {
    std::string_view text;  // empty: the control has no label
    DialogRect rect;
    LabelAlign align = LabelAlign::Right;
};

// One control with an ID. Every one is a tab stop and starts enabled.
struct ControlTemplate {
    ctl::ControlId id = 0;
    ControlKind kind = ControlKind::Edit;
    std::string_view caption;  // the text of buttons and check boxes; empty for the others
    DialogRect rect;
    ControlLabel label;
};

// A frame with a caption; group boxes have no ID and are never touched.
struct GroupBoxTemplate {
    std::string_view caption;
    DialogRect rect;
};

inline constexpr std::string_view kFormTitle = "QF-DL250T Configure Tool 1.2";
inline constexpr FontSpec kFormFont{"宋体", 9};
inline constexpr DialogSize kFormClientSize{386, 341};
inline constexpr WindowFrame kFormFrame{
    .minimiseBox = false, .maximiseBox = false, .ownTaskbarButton = true};

inline constexpr std::array<GroupBoxTemplate, 6> kFormGroupBoxes = {{
    {"打开/配置模块", {7, 7, 80, 46}},
    {"打开/保存配置文件", {90, 7, 80, 46}},
    {"模块信息", {7, 55, 163, 62}},
    {"基本配置", {172, 7, 207, 110}},
    {"协议配置", {7, 120, 372, 142}},
    {"高级配置", {7, 284, 372, 50}},
}};

// All controls with an ID, in tab order, which is also the order in which
// they are created.
// clang-format off
inline constexpr std::array<ControlTemplate, 65> kFormControls = {{
    {ctl::Port, ControlKind::EditableDropDown, {}, {38, 20, 44, 177}, {"串口号", {11, 22, 25, 9}, LabelAlign::Centre}},
    {ctl::ReadButton, ControlKind::PushButton, "读取", {13, 35, 31, 14}, {}},
    {ctl::AutoConfigure, ControlKind::CheckBox, "自动配置", {220, 266, 48, 10}, {}},
    {ctl::OpenButton, ControlKind::PushButton, "打开", {96, 30, 31, 14}, {}},
    {ctl::SaveButton, ControlKind::PushButton, "保存", {132, 30, 33, 14}, {}},
    {ctl::WriteButton, ControlKind::PushButton, "写入", {49, 35, 33, 14}, {}},
    {ctl::AdvancedButton, ControlKind::PushButton, "高级配置>>", {271, 264, 50, 13}, {}},
    {ctl::StatusLine, ControlKind::ReadOnlyEdit, {}, {7, 264, 209, 12}, {}},
    {ctl::ModuleName, ControlKind::ReadOnlyEdit, {}, {43, 66, 123, 12}, {"名称：", {9, 67, 33, 9}, LabelAlign::Right}},
    {ctl::Version, ControlKind::ReadOnlyEdit, {}, {43, 91, 30, 12}, {"版本：", {9, 91, 33, 9}, LabelAlign::Right}},
    {ctl::Type, ControlKind::ReadOnlyEdit, {}, {43, 103, 30, 12}, {"类型：", {9, 103, 33, 9}, LabelAlign::Right}},
    {ctl::Band, ControlKind::ReadOnlyEdit, {}, {132, 91, 35, 12}, {"频段：", {84, 91, 48, 9}, LabelAlign::Right}},
    {ctl::MaxPower, ControlKind::ReadOnlyEdit, {}, {132, 103, 35, 12}, {"最大RF功率：", {84, 103, 48, 9}, LabelAlign::Right}},
    {ctl::Serial, ControlKind::Edit, {}, {43, 78, 121, 12}, {"序列号：", {9, 79, 33, 9}, LabelAlign::Right}},
    {ctl::NetworkId, ControlKind::Edit, {}, {242, 18, 34, 12}, {"网络ID：", {175, 20, 66, 9}, LabelAlign::Right}},
    {ctl::DefaultRate, ControlKind::DropDownList, {}, {331, 31, 46, 177}, {"默认RF速率：", {280, 32, 51, 9}, LabelAlign::Right}},
    {ctl::RateUpper, ControlKind::DropDownList, {}, {331, 43, 46, 177}, {"RF速率上限：", {280, 44, 51, 9}, LabelAlign::Right}},
    {ctl::RateLower, ControlKind::DropDownList, {}, {331, 55, 46, 177}, {"RF速率下限：", {280, 56, 51, 9}, LabelAlign::Right}},
    {ctl::StartFrequency, ControlKind::Edit, {}, {242, 54, 34, 12}, {"起始频点(MHz)：", {175, 56, 66, 9}, LabelAlign::Right}},
    {ctl::MainChannel, ControlKind::Edit, {}, {242, 66, 34, 12}, {"主信道号：", {175, 68, 66, 9}, LabelAlign::Right}},
    {ctl::AuxChannelStart, ControlKind::Edit, {}, {242, 78, 34, 12}, {"起始辅助信道号：", {175, 80, 66, 9}, LabelAlign::Right}},
    {ctl::AuxChannelSpacing, ControlKind::Edit, {}, {242, 90, 34, 12}, {"辅助信道间隔：", {175, 92, 66, 9}, LabelAlign::Right}},
    {ctl::AuxChannelCount, ControlKind::DropDownList, {}, {242, 102, 34, 177}, {"辅助信道个数：", {175, 104, 66, 9}, LabelAlign::Right}},
    {ctl::RfPower, ControlKind::DropDownList, {}, {331, 67, 46, 177}, {"RF输出功率：", {280, 68, 51, 9}, LabelAlign::Right}},
    {ctl::FlowControl, ControlKind::CheckBox, "流控", {285, 104, 32, 8}, {}},
    {ctl::SleepEnabled, ControlKind::CheckBox, "休眠", {285, 94, 32, 8}, {}},
    {ctl::SleepRatio, ControlKind::Edit, {}, {242, 30, 34, 12}, {"睡醒比：", {175, 32, 66, 9}, LabelAlign::Right}},
    {ctl::HostBootTime, ControlKind::Edit, {}, {180, 134, 30, 12}, {"HOST开机时间(ms)：", {106, 136, 74, 9}, LabelAlign::Right}},
    {ctl::ResponseTimeout, ControlKind::Edit, {}, {180, 146, 30, 12}, {"响应超时时间(ms)：", {106, 148, 74, 9}, LabelAlign::Right}},
    {ctl::UartBaud, ControlKind::DropDownList, {}, {63, 134, 40, 177}, {"UART波特率：", {12, 136, 51, 9}, LabelAlign::Right}},
    {ctl::UartStartBit, ControlKind::DropDownList, {}, {63, 146, 40, 177}, {"UART起始位：", {12, 148, 51, 9}, LabelAlign::Right}},
    {ctl::UartParity, ControlKind::DropDownList, {}, {63, 158, 40, 177}, {"UART校验位：", {12, 160, 51, 9}, LabelAlign::Right}},
    {ctl::UartStopBits, ControlKind::DropDownList, {}, {63, 170, 40, 177}, {"UART停止位：", {12, 172, 51, 9}, LabelAlign::Right}},
    {ctl::FrameStartSync, ControlKind::Edit, {}, {278, 182, 30, 12}, {"帧起始同步字：", {214, 184, 65, 9}, LabelAlign::Right}},
    {ctl::FrameEndSync, ControlKind::Edit, {}, {278, 194, 30, 12}, {"帧结束同步字：", {214, 196, 65, 9}, LabelAlign::Right}},
    {ctl::BroadcastWildcard, ControlKind::Edit, {}, {180, 170, 30, 12}, {"广播地址通配符：", {106, 172, 74, 9}, LabelAlign::Right}},
    {ctl::MulticastWildcard, ControlKind::Edit, {}, {180, 182, 30, 12}, {"多播地址通配符：", {106, 184, 74, 9}, LabelAlign::Right}},
    {ctl::AddressLength, ControlKind::Edit, {}, {180, 158, 30, 12}, {"地址长度(字节)：", {106, 160, 74, 9}, LabelAlign::Right}},
    {ctl::DownlinkAddressOffset, ControlKind::Edit, {}, {278, 134, 30, 12}, {"下行地址偏移量：", {214, 136, 65, 9}, LabelAlign::Right}},
    {ctl::UplinkAddressOffset, ControlKind::Edit, {}, {278, 146, 30, 12}, {"上行地址偏移量：", {214, 148, 65, 9}, LabelAlign::Right}},
    {ctl::LengthOffset, ControlKind::Edit, {}, {278, 158, 30, 12}, {"报文长度偏移量：", {214, 159, 65, 9}, LabelAlign::Right}},
    {ctl::LengthCorrection, ControlKind::Edit, {}, {278, 170, 30, 12}, {"报文长度修正值：", {214, 172, 65, 9}, LabelAlign::Right}},
    {ctl::FrameMode, ControlKind::DropDownList, {}, {63, 182, 40, 177}, {"报文帧模式：", {12, 184, 51, 9}, LabelAlign::Right}},
    {ctl::HostAddressCommand, ControlKind::Edit, {}, {86, 221, 288, 12}, {"读取HOST地址命令：", {12, 223, 73, 9}, LabelAlign::Right}},
    {ctl::BroadcastCommand1, ControlKind::Edit, {}, {86, 234, 288, 12}, {"预存广播命令1：", {12, 236, 73, 9}, LabelAlign::Right}},
    {ctl::BroadcastCommand2, ControlKind::Edit, {}, {86, 247, 288, 12}, {"预存广播命令2：", {12, 249, 73, 9}, LabelAlign::Right}},
    {ctl::ApplyButton, ControlKind::PushButton, "应用", {326, 264, 50, 13}, {}},
    {ctl::CarrierThreshold, ControlKind::Edit, {}, {195, 292, 40, 12}, {"载波检测门限(dBm)：", {113, 294, 82, 9}, LabelAlign::Right}},
    {ctl::TickUs, ControlKind::Edit, {}, {71, 294, 40, 12}, {"时钟tick(us)：", {11, 296, 58, 9}, LabelAlign::Right}},
    {ctl::AutoSleepTimeout, ControlKind::Edit, {}, {195, 316, 40, 12}, {"自动休眠超时(ms)：", {113, 318, 82, 9}, LabelAlign::Right}},
    {ctl::DownlinkTimeout, ControlKind::Edit, {}, {71, 306, 40, 12}, {"下行超时(ms)：", {11, 308, 58, 9}, LabelAlign::Right}},
    {ctl::UplinkTimeout, ControlKind::Edit, {}, {71, 318, 40, 12}, {"上行超时(ms)：", {11, 320, 58, 9}, LabelAlign::Right}},
    {ctl::SyncDuration, ControlKind::Edit, {}, {335, 292, 40, 12}, {"同步报文持续时间(tick)：", {237, 294, 97, 9}, LabelAlign::Right}},
    {ctl::BeaconDuration, ControlKind::Edit, {}, {335, 304, 40, 12}, {"信标报文持续时间(tick)：", {237, 306, 97, 9}, LabelAlign::Right}},
    {ctl::WakeSlot, ControlKind::Edit, {}, {195, 304, 40, 12}, {"自动醒来时隙(tick)：", {113, 306, 82, 9}, LabelAlign::Right}},
    {ctl::SleepCompensation, ControlKind::Edit, {}, {335, 316, 40, 12}, {"自动休眠补偿粒度(tick)：", {237, 318, 97, 9}, LabelAlign::Right}},
    {ctl::DeviceCount, ControlKind::DropDownList, {}, {331, 18, 46, 177}, {"设备数：", {280, 20, 51, 9}, LabelAlign::Right}},
    {ctl::AckPacket, ControlKind::Edit, {}, {86, 208, 288, 12}, {"确认ACK报文：", {12, 210, 73, 9}, LabelAlign::Right}},
    {ctl::SyncInterval, ControlKind::Edit, {}, {242, 42, 34, 12}, {"同步间隔(s)：", {175, 44, 66, 9}, LabelAlign::Right}},
    {ctl::RepeatEnabled, ControlKind::CheckBox, "重复", {320, 104, 32, 8}, {}},
    {ctl::FrameCheck, ControlKind::DropDownList, {}, {63, 194, 40, 177}, {"帧头尾检测：", {12, 196, 51, 9}, LabelAlign::Right}},
    {ctl::UartWakeBytes, ControlKind::Edit, {}, {180, 194, 30, 12}, {"UART唤醒字节数：", {106, 196, 74, 9}, LabelAlign::Right}},
    {ctl::ActPinFunction, ControlKind::DropDownList, {}, {331, 80, 46, 177}, {"ACT引脚功能：", {276, 80, 55, 9}, LabelAlign::Right}},
    {ctl::ActInverted, ControlKind::CheckBox, "ACT电平反转", {320, 94, 57, 8}, {}},
    {ctl::AppendRouteInfo, ControlKind::CheckBox, "附加路由信息", {314, 136, 60, 8}, {}},
}};
// clang-format on

// The advanced button starts with the template caption above; after its
// first click it names what the next click will do.
inline constexpr std::string_view kAdvancedCaptionShown = "高级选项<<";
inline constexpr std::string_view kAdvancedCaptionHidden = "高级选项>>";

// Hiding the advanced panel makes the window this much lower: 62 dialog units
// at 1.5 pixels per unit, which cuts off exactly the advanced group and keeps
// the bottom row.
inline constexpr int kAdvancedCollapsePixels = 93;

// The whole main window in one value.
struct FormTemplate {
    std::string_view title;
    FontSpec font;
    DialogSize clientSize;
    WindowFrame frame;
    std::span<const GroupBoxTemplate> groupBoxes;
    std::span<const ControlTemplate> controls;  // tab order
    std::span<const InitialList> lists;         // in the order they are filled
};

inline constexpr FormTemplate kFormTemplate{
    kFormTitle,      kFormFont,     kFormClientSize, kFormFrame,
    kFormGroupBoxes, kFormControls, kInitialLists,
};

// The template of one control. An ID outside the form is a programming error
// and throws std::out_of_range.
const ControlTemplate& controlTemplate(ctl::ControlId id);

// Kinds with a text field whose text can be selected: the edits and the
// editable drop-down.
constexpr bool hasSelectableText(ControlKind kind) {
    return kind == ControlKind::Edit || kind == ControlKind::ReadOnlyEdit ||
           kind == ControlKind::EditableDropDown;
}

// Kinds that hold a list of items.
constexpr bool isList(ControlKind kind) {
    return kind == ControlKind::DropDownList || kind == ControlKind::EditableDropDown;
}

}  // namespace dl250t
