#include <gtest/gtest.h>

#include "production/label_destination.hpp"
#include "production/label_template.hpp"

namespace dl250t {
namespace {

TEST(LabelTemplate, PlaceholdersAreReplacedAndEverythingElseIsLeftAsItIs) {
    const LabelValues values{
        .serial = SerialNumber(0x5000),
        .board = "B-0042",
        .module = "Lorandix AMR",
        .version = "1.8",
        .line = "north",
        .station = "jig-3",
        .time = "2024-03-05T14:07:09+08:00",
    };
    EXPECT_EQ(
        renderLabel("^XA^FD{serial}|{serial_text}|{board}|{module}|{version}|{line}|{station}|"
                    "{time}^FS{Serial}{unknown}{{serial}}{serial\r\n^XZ",
                    values),
        "^XA^FD000000005000|00 00 00 00 50 00|B-0042|Lorandix AMR|1.8|north|jig-3|"
        "2024-03-05T14:07:09+08:00^FS{Serial}{unknown}{000000005000}{serial\r\n^XZ");
    const std::string binary("\0\xff~DG{board}", 12);
    EXPECT_EQ(renderLabel(binary, values), std::string("\0\xff~DGB-0042", 11));
}

// A board code is whatever the scanner read: it must not end the label's
// field, start a printer command or bring placeholders of its own.
TEST(LabelTemplate, AValueCarriesNoPrinterCommandWithIt) {
    struct Case {
        std::string board;
        std::string shown;
    };
    const Case cases[] = {
        {"A1^FS^XZ^XA^FDX", "A1?FS?XZ?XA?FDX"},
        {"~JR~DGR:X", "?JR?DGR:X"},
        {"a\r\nb\tc\x1b@\x7f", "a??b?c???"},
        {"\"q\" 'q' \\ <x/>&{serial}%", "?q? ?q? ? ?x/???serial??"},
        {"模块-7 é", "模块-7 é"},
        {"\xc2\x9b"
         "1m \xe6\xa8 \xff",
         "??1m ?? ?"},
        {std::string(200, 'x'), std::string(kMaxLabelValueBytes, 'x')},
        {std::string(127, 'x') + "模", std::string(127, 'x')},
    };
    for (const Case& c : cases) {
        LabelValues values;
        values.board = c.board;
        EXPECT_EQ(renderLabel("{board}", values), c.shown) << c.board;
    }
}

TEST(LabelDestination, PrinterNamesANetworkPrinterASpoolerPrinterOrAFile) {
    struct Case {
        const char* text;
        std::optional<LabelDestination::Kind> kind;
        const char* host = "";
        const char* port = "";
        const char* name = "";
    };
    using Kind = LabelDestination::Kind;
    const Case cases[] = {
        {"tcp://192.168.1.50:9100", Kind::Tcp, "192.168.1.50", "9100", ""},
        {"tcp://printer-3.line:09100", Kind::Tcp, "printer-3.line", "9100", ""},
        {"tcp://[fd00::5]:9100", Kind::Tcp, "fd00::5", "9100", ""},
        {"printer:Zebra ZD421", Kind::Spooler, "", "", "Zebra ZD421"},
        {"/dev/usb/lp0", Kind::Path, "", "", "/dev/usb/lp0"},
        {"labels.zpl", Kind::Path, "", "", "labels.zpl"},
        {"tcp://printer", std::nullopt},
        {"tcp://printer:", std::nullopt},
        {"tcp://:9100", std::nullopt},
        {"tcp://printer:0", std::nullopt},
        {"tcp://printer:65536", std::nullopt},
        {"tcp://printer:91 00", std::nullopt},
        {"tcp://fd00::5:9100", std::nullopt},
        {"tcp://[fd00::5:9100", std::nullopt},
        {"tcp://host/path:9100", std::nullopt},
        {"printer:", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        std::string problem;
        const auto destination = parseLabelDestination(c.text, problem);
        ASSERT_EQ(destination.has_value(), c.kind.has_value()) << c.text;
        EXPECT_EQ(problem.empty(), c.kind.has_value()) << c.text;
        if (destination) {
            EXPECT_EQ(destination->kind, *c.kind) << c.text;
            EXPECT_EQ(destination->host, c.host) << c.text;
            EXPECT_EQ(destination->port, c.port) << c.text;
            EXPECT_EQ(destination->name, c.name) << c.text;
        }
    }
}

}  // namespace
}  // namespace dl250t
