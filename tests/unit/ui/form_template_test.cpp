#include "ui/form_template.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/about_template.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAreArray;

bool isAdvancedPanelControl(const ControlTemplate& control) {
    return control.rect.y >= 284;
}

TEST(FormTemplate, WindowTitleFontAndSize) {
    EXPECT_EQ(kFormTemplate.title, "QF-DL250T Configure Tool 1.2");
    EXPECT_EQ(kFormTemplate.font.family, "宋体");
    EXPECT_EQ(kFormTemplate.font.pointSize, 9);
    EXPECT_EQ(kFormTemplate.clientSize, (DialogSize{386, 341}));
    EXPECT_FALSE(kFormTemplate.frame.minimiseBox);
    EXPECT_FALSE(kFormTemplate.frame.maximiseBox);
    EXPECT_TRUE(kFormTemplate.frame.ownTaskbarButton);
    EXPECT_EQ(kFormTemplate.controls.size(), 65u);
    EXPECT_EQ(kFormTemplate.groupBoxes.size(), 6u);
    EXPECT_EQ(kFormTemplate.lists.size(), 14u);
}

TEST(FormTemplate, HoldsEveryIdFrom1000To1064OnceInTabOrder) {
    const std::vector<ctl::ControlId> tabOrder = {
        1008, 1009, 1000, 1011, 1012, 1010, 1013, 1001, 1002, 1003, 1004, 1005, 1006,
        1007, 1023, 1015, 1016, 1017, 1019, 1018, 1020, 1021, 1022, 1024, 1048, 1049,
        1026, 1027, 1028, 1029, 1032, 1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040,
        1041, 1042, 1043, 1031, 1045, 1046, 1047, 1064, 1053, 1054, 1055, 1056, 1057,
        1058, 1059, 1060, 1063, 1014, 1044, 1030, 1050, 1052, 1061, 1025, 1051, 1062};
    std::vector<ctl::ControlId> ids;
    for (const auto& control : kFormControls) {
        ids.push_back(control.id);
    }
    EXPECT_THAT(ids, ElementsAreArray(tabOrder));

    std::set<ctl::ControlId> unique(ids.begin(), ids.end());
    EXPECT_EQ(unique.size(), 65u);
    EXPECT_EQ(*unique.begin(), 1000);
    EXPECT_EQ(*unique.rbegin(), 1064);
}

TEST(FormTemplate, KindsOfControls) {
    std::map<ControlKind, std::set<ctl::ControlId>> byKind;
    for (const auto& control : kFormControls) {
        byKind[control.kind].insert(control.id);
    }
    EXPECT_EQ(byKind[ControlKind::ReadOnlyEdit],
              (std::set<ctl::ControlId>{1001, 1002, 1003, 1004, 1005, 1006}));
    EXPECT_EQ(byKind[ControlKind::EditableDropDown], (std::set<ctl::ControlId>{1008}));
    EXPECT_EQ(byKind[ControlKind::PushButton],
              (std::set<ctl::ControlId>{1009, 1010, 1011, 1012, 1013, 1064}));
    EXPECT_EQ(byKind[ControlKind::CheckBox],
              (std::set<ctl::ControlId>{1000, 1048, 1049, 1050, 1051, 1062}));
    EXPECT_EQ(byKind[ControlKind::DropDownList],
              (std::set<ctl::ControlId>{1014, 1015, 1016, 1017, 1022, 1024, 1025, 1029, 1031, 1032,
                                        1033, 1034, 1052}));
    EXPECT_EQ(byKind[ControlKind::Edit].size(), 65u - 6 - 1 - 6 - 6 - 13);
    EXPECT_TRUE(byKind[ControlKind::Edit].contains(1007));
}

TEST(FormTemplate, CaptionsOfButtonsAndCheckBoxes) {
    const std::map<ctl::ControlId, std::string_view> captions = {
        {1000, "自动配置"}, {1009, "读取"},       {1010, "写入"},        {1011, "打开"},
        {1012, "保存"},     {1013, "高级配置>>"}, {1064, "应用"},        {1048, "流控"},
        {1049, "休眠"},     {1050, "重复"},       {1051, "ACT电平反转"}, {1062, "附加路由信息"},
    };
    for (const auto& control : kFormControls) {
        const auto expected = captions.find(control.id);
        EXPECT_EQ(control.caption, expected == captions.end() ? "" : expected->second)
            << control.id;
    }
}

TEST(FormTemplate, EveryLabelWithItsControl) {
    const std::map<ctl::ControlId, std::string_view> labels = {
        {1008, "串口号"},
        {1002, "名称："},
        {1007, "序列号："},
        {1003, "版本："},
        {1004, "类型："},
        {1005, "频段："},
        {1006, "最大RF功率："},
        {1023, "网络ID："},
        {1026, "睡醒比："},
        {1030, "同步间隔(s)："},
        {1019, "起始频点(MHz)："},
        {1018, "主信道号："},
        {1020, "起始辅助信道号："},
        {1021, "辅助信道间隔："},
        {1022, "辅助信道个数："},
        {1014, "设备数："},
        {1015, "默认RF速率："},
        {1016, "RF速率上限："},
        {1017, "RF速率下限："},
        {1024, "RF输出功率："},
        {1025, "ACT引脚功能："},
        {1029, "UART波特率："},
        {1032, "UART起始位："},
        {1033, "UART校验位："},
        {1034, "UART停止位："},
        {1031, "报文帧模式："},
        {1052, "帧头尾检测："},
        {1027, "HOST开机时间(ms)："},
        {1028, "响应超时时间(ms)："},
        {1039, "地址长度(字节)："},
        {1037, "广播地址通配符："},
        {1038, "多播地址通配符："},
        {1061, "UART唤醒字节数："},
        {1040, "下行地址偏移量："},
        {1041, "上行地址偏移量："},
        {1042, "报文长度偏移量："},
        {1043, "报文长度修正值："},
        {1035, "帧起始同步字："},
        {1036, "帧结束同步字："},
        {1044, "确认ACK报文："},
        {1045, "读取HOST地址命令："},
        {1046, "预存广播命令1："},
        {1047, "预存广播命令2："},
        {1054, "时钟tick(us)："},
        {1056, "下行超时(ms)："},
        {1057, "上行超时(ms)："},
        {1053, "载波检测门限(dBm)："},
        {1060, "自动醒来时隙(tick)："},
        {1055, "自动休眠超时(ms)："},
        {1058, "同步报文持续时间(tick)："},
        {1059, "信标报文持续时间(tick)："},
        {1063, "自动休眠补偿粒度(tick)："},
    };
    for (const auto& control : kFormControls) {
        const auto expected = labels.find(control.id);
        if (expected == labels.end()) {
            EXPECT_EQ(control.label.text, "") << control.id;
            continue;
        }
        EXPECT_EQ(control.label.text, expected->second) << control.id;
        EXPECT_GT(control.label.rect.width, 0) << control.id;
        EXPECT_EQ(control.label.align,
                  control.id == ctl::Port ? LabelAlign::Centre : LabelAlign::Right)
            << control.id;
        // Every label sits to the left of its control.
        EXPECT_LE(control.label.rect.x + control.label.rect.width, control.rect.x + 1)
            << control.id;
    }
}

TEST(FormTemplate, RectanglesSpotChecks) {
    EXPECT_EQ(controlTemplate(ctl::Port).rect, (DialogRect{38, 20, 44, 177}));
    EXPECT_EQ(controlTemplate(ctl::Port).label.rect, (DialogRect{11, 22, 25, 9}));
    EXPECT_EQ(controlTemplate(ctl::StatusLine).rect, (DialogRect{7, 264, 209, 12}));
    EXPECT_EQ(controlTemplate(ctl::AutoConfigure).rect, (DialogRect{220, 266, 48, 10}));
    EXPECT_EQ(controlTemplate(ctl::Serial).rect, (DialogRect{43, 78, 121, 12}));
    EXPECT_EQ(controlTemplate(ctl::ActPinFunction).label.rect, (DialogRect{276, 80, 55, 9}));
    EXPECT_EQ(controlTemplate(ctl::LengthOffset).label.rect, (DialogRect{214, 159, 65, 9}));
    EXPECT_EQ(controlTemplate(ctl::AckPacket).rect, (DialogRect{86, 208, 288, 12}));
    EXPECT_EQ(controlTemplate(ctl::ActInverted).rect, (DialogRect{320, 94, 57, 8}));
    EXPECT_EQ(controlTemplate(ctl::SleepCompensation).label.rect, (DialogRect{237, 318, 97, 9}));
    EXPECT_EQ(controlTemplate(ctl::ApplyButton).rect, (DialogRect{326, 264, 50, 13}));

    for (const auto& control : kFormControls) {
        const int height = isList(control.kind) ? 12 : control.rect.height;
        EXPECT_LE(control.rect.x + control.rect.width, kFormClientSize.width) << control.id;
        EXPECT_LE(control.rect.y + height, kFormClientSize.height) << control.id;
    }
}

TEST(FormTemplate, GroupBoxes) {
    const std::vector<std::pair<std::string_view, DialogRect>> expected = {
        {"打开/配置模块", {7, 7, 80, 46}}, {"打开/保存配置文件", {90, 7, 80, 46}},
        {"模块信息", {7, 55, 163, 62}},    {"基本配置", {172, 7, 207, 110}},
        {"协议配置", {7, 120, 372, 142}},  {"高级配置", {7, 284, 372, 50}},
    };
    ASSERT_EQ(kFormGroupBoxes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(kFormGroupBoxes[i].caption, expected[i].first);
        EXPECT_EQ(kFormGroupBoxes[i].rect, expected[i].second);
    }
}

TEST(FormTemplate, CollapseCutsOffExactlyTheAdvancedPanel) {
    // 1.5 pixels per vertical unit with the 9-point font at 96 DPI.
    const double visibleHeight = kFormClientSize.height - kAdvancedCollapsePixels / 1.5;
    EXPECT_DOUBLE_EQ(visibleHeight, 279.0);

    const DialogRect advancedGroup = kFormGroupBoxes.back().rect;
    EXPECT_GT(advancedGroup.y, visibleHeight);
    std::set<ctl::ControlId> advanced;
    for (const auto& control : kFormControls) {
        if (isAdvancedPanelControl(control)) {
            advanced.insert(control.id);
            EXPECT_GE(control.label.rect.y, advancedGroup.y) << control.id;
            EXPECT_LE(control.rect.y + control.rect.height, advancedGroup.y + advancedGroup.height)
                << control.id;
        } else if (!isList(control.kind)) {
            EXPECT_LE(control.rect.y + control.rect.height, visibleHeight) << control.id;
        }
    }
    EXPECT_EQ(advanced,
              (std::set<ctl::ControlId>{1053, 1054, 1055, 1056, 1057, 1058, 1059, 1060, 1063}));
}

TEST(FormTemplate, AdvancedButtonCaptions) {
    EXPECT_EQ(controlTemplate(ctl::AdvancedButton).caption, "高级配置>>");
    EXPECT_EQ(kAdvancedCaptionShown, "高级选项<<");
    EXPECT_EQ(kAdvancedCaptionHidden, "高级选项>>");
    EXPECT_EQ(kAdvancedCollapsePixels, 93);
}

TEST(FormTemplate, UnknownIdIsAProgrammingError) {
    EXPECT_THROW(controlTemplate(999), std::out_of_range);
    EXPECT_THROW(controlTemplate(1065), std::out_of_range);
    EXPECT_THROW(controlTemplate(0), std::out_of_range);
    EXPECT_EQ(controlTemplate(1064).id, 1064);
}

TEST(AboutTemplate, TitleTextsAndLayout) {
    EXPECT_EQ(kAboutMenuText, "About QF-DL250T Configure Tool");
    EXPECT_EQ(kAboutTitle, "About QF-DL250T Configure Tool");
    EXPECT_EQ(kAboutFont.family, "Tahoma");
    EXPECT_EQ(kAboutFont.pointSize, 9);
    EXPECT_EQ(kAboutClientSize, (DialogSize{235, 55}));
    EXPECT_EQ(kAboutIconRect, (DialogRect{11, 17, 20, 20}));
    EXPECT_EQ(kAboutVersionText, "Version: 1.2");
    EXPECT_EQ(kAboutVersionRect, (DialogRect{40, 10, 119, 8}));
    EXPECT_EQ(kAboutOkCaption, "OK");
    EXPECT_EQ(kAboutOkId, 1);
    EXPECT_EQ(kAboutOkRect, (DialogRect{178, 7, 50, 14}));
}

}  // namespace
}  // namespace dl250t
