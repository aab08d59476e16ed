#include "production/board_codes.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dl250t {
namespace {

// Each line the scanner completed, as one text: W waiting, R replaced, X
// refused, P paired.
std::vector<std::string> fed(BoardCodes& codes, const std::vector<std::string>& chunks) {
    std::vector<std::string> seen;
    for (const std::string& chunk : chunks) {
        for (const BoardCodes::Scan& scan : codes.feed(chunk)) {
            using Kind = BoardCodes::Scan::Kind;
            switch (scan.kind) {
                case Kind::Waiting:
                    seen.push_back("W " + scan.code);
                    break;
                case Kind::Replaced:
                    seen.push_back("R " + scan.code + " < " + scan.replaced);
                    break;
                case Kind::Refused:
                    seen.push_back("X " + scan.code);
                    break;
                case Kind::Paired:
                    seen.push_back("P " + scan.port + " " + scan.code);
                    break;
            }
        }
    }
    return seen;
}

// Scanners and pipes hand lines over in pieces of any size.
TEST(BoardCodesTest, LinesAreCutAtEveryLineEndWhereverTheBytesAreSplit) {
    const std::string longest(64, 'a');
    const struct {
        std::vector<std::string> chunks;
        std::vector<std::string> seen;
    } cases[] = {
        {{"A1\r", "\nA2\n"}, {"W A1", "R A2 < A1"}},  // a CR LF split is one line end
        {{"A1\r\r\n\nA2\r"}, {"W A1", "R A2 < A1"}},  // empty lines are nothing
        {{longest, "\r"}, {"W " + longest}},
        {{longest, "b", std::string(5000, 'c'), "\nA3\n"}, {"X " + longest, "W A3"}},
        {{"A\tB\n", "\xC3\xA9\n", "a\\b\n"}, {"X A\\x09B", "X \\xC3\\xA9", "W a\\b"}},
        {{"A4"}, {}},  // not ended: not a code yet
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.chunks));
        BoardCodes codes;
        EXPECT_EQ(fed(codes, c.chunks), c.seen);
    }
}

TEST(BoardCodesTest, ModulesTakeCodesInTheOrderTheyCameAndLeaveTheQueueWhenPulledOut) {
    BoardCodes codes;
    EXPECT_EQ(codes.arrived("COM3"), std::nullopt);
    EXPECT_EQ(codes.arrived("COM4"), std::nullopt);
    EXPECT_EQ(codes.arrived("COM3"), std::nullopt) << "announced again";
    codes.removed("COM4");
    EXPECT_EQ(fed(codes, {"C1\nC2\n"}), (std::vector<std::string>{"P COM3 C1", "W C2"}));
    EXPECT_EQ(codes.arrived("COM4"), "C2");
    EXPECT_EQ(codes.waitingCode(), std::nullopt);
    EXPECT_TRUE(codes.waitingModules().empty());
}

}  // namespace
}  // namespace dl250t
