#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "platform/system_files.hpp"
#include "support/temp_dir.hpp"

namespace dl250t::cli {
namespace {

// Files on disk, as the programs have them.
const std::unique_ptr<FileStore> systemFiles = makeSystemFileStore();
FileStore& files = *systemFiles;

using ::testing::HasSubstr;
using testing::readAll;
using testing::TempDir;
using testing::writeAll;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun run(std::vector<std::string> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = runCli(args, in, out, err);
    return {status, out.str(), err.str()};
}

struct CliFixture : ::testing::Test {
    std::string path(const std::string& name) const { return dir / name; }

    std::string saveBlock(const std::string& name, ConfigBlock block) {
        EXPECT_EQ(saveConfigFile(files, dir / name, block), Outcome::FileWritten);
        return path(name);
    }

    TempDir dir;
};

TEST_F(CliFixture, ShowJsonListsEveryFieldAsTheDecodeLeavesIt) {
    ConfigBlock block = makeInitialWorkingBlock();
    block[61] = 5;     // flow control: shown unticked, so the record holds 0
    block[72] = 0x02;  // routing information: the flag keeps its bit value
    block[52] = 12;    // lower rate beyond its list: the index is kept
    block[69] = 34;
    block[70] = 12;  // 115200 baud at 26 MHz
    const CliRun r = run({"show", "--json", saveBlock("a.cfg", block)});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["check"], "Ok");
    const auto& s = json["settings"];
    EXPECT_EQ(s.size(), 58u);
    EXPECT_EQ(s["flowControl"], 0);
    EXPECT_EQ(s["appendRouteInfo"], 2);
    EXPECT_EQ(s["rateLowerIndex"], 12);
    EXPECT_EQ(s["uartBaudIndex"], 11);
    EXPECT_EQ(s["crystalMHz"], 26);
    EXPECT_EQ(s["bandBaseMHz"], 433);
    EXPECT_TRUE(s["startFrequencyMHz"].is_number_float());
    EXPECT_TRUE(s["networkId"].is_number_integer());
    EXPECT_EQ(s["moduleName"], "Lorandix AMR Ver Moudle U 13306");
    EXPECT_EQ(json["rfPowerItems"].size(), 8u);
    EXPECT_EQ(json["rfPowerItems"][0], "+10dBm");
}

TEST_F(CliFixture, ShowJsonKeepsTheFieldOrderOfTheRecord) {
    const CliRun r = run({"show", "--json", saveBlock("a.cfg", makeInitialWorkingBlock())});
    const auto first = r.out.find("\"moduleName\"");
    const auto last = r.out.find("\"beaconDurationTicks\"");
    const auto crystal = r.out.find("\"crystalMHz\"");
    EXPECT_LT(first, last);
    EXPECT_LT(last, crystal);
}

TEST_F(CliFixture, ShowTextNamesEachSettingByItsLabel) {
    const CliRun r = run({"show", saveBlock("a.cfg", makeInitialWorkingBlock())});
    ASSERT_EQ(r.status, kExitOk);
    EXPECT_THAT(r.out, HasSubstr("check: Ok\n"));
    EXPECT_THAT(r.out, HasSubstr("名称: Lorandix AMR Ver Moudle U 13306\n"));
    EXPECT_THAT(r.out, HasSubstr("起始频点(MHz): "));
    EXPECT_THAT(r.out, HasSubstr("UART波特率: (none)\n"));
}

TEST_F(CliFixture, InvalidFileShowsItsCheckAndNoSettings) {
    ConfigBlock block = makeInitialWorkingBlock();
    stampHeaderAndCrc(block);
    block[200] ^= 1;
    scrambleBytes(block.span());
    writeAll(dir / "bad.cfg", {block.bytes.begin(), block.bytes.end()});

    CliRun r = run({"show", "--json", path("bad.cfg")});
    EXPECT_EQ(r.status, kExitInvalidBlock);
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["check"], "CrcMismatch");
    EXPECT_EQ(json["message"], std::string(outcomeText(Outcome::CrcMismatch)));
    EXPECT_FALSE(json.contains("settings"));

    writeAll(dir / "short.cfg", std::vector<std::uint8_t>(517, 0));
    r = run({"show", path("short.cfg")});
    EXPECT_EQ(r.status, kExitInvalidBlock);
    EXPECT_EQ(r.out,
              "check: LengthMismatch\n" + std::string(outcomeText(Outcome::LengthMismatch)) + "\n");

    r = run({"show", path("missing.cfg")});
    EXPECT_EQ(r.status, kExitFileUnreadable);
}

TEST_F(CliFixture, ImportRejectsUnknownFieldsAndWrongTypesWithoutWriting) {
    writeAll(dir / "keep.cfg", {1, 2, 3});
    CliRun r = run({"import", "-", "-o", path("keep.cfg")},
                   R"({"networkId": 5, "netwrkId": 6, "tickUs": 1.5, "serialText": 7})");
    EXPECT_EQ(r.status, kExitBadSettings);
    EXPECT_THAT(r.err, HasSubstr("netwrkId"));
    EXPECT_THAT(r.err, HasSubstr("tickUs"));
    EXPECT_THAT(r.err, HasSubstr("serialText"));
    EXPECT_THAT(r.err, ::testing::Not(HasSubstr("networkId:")));
    EXPECT_EQ(readAll(dir / "keep.cfg"), (std::vector<std::uint8_t>{1, 2, 3}));

    r = run({"import", "-", "-o", path("keep.cfg")}, R"({"crystalMHz": 28})");
    EXPECT_EQ(r.status, kExitBadSettings);
    r = run({"import", "-", "-o", path("keep.cfg")}, R"({"networkId": 3000000000})");
    EXPECT_EQ(r.status, kExitBadSettings);
    r = run({"import", "-", "-o", path("keep.cfg")}, "{not json");
    EXPECT_EQ(r.status, kExitBadSettings);
    EXPECT_EQ(readAll(dir / "keep.cfg"), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(CliFixture, ImportAdjustsRangesAndPrintsEachWarning) {
    const CliRun r = run({"import", "-", "-o", path("out.cfg")},
                         R"({"sleepRatio": 3000, "tickUs": 108, "addressLength": 16})");
    ASSERT_EQ(r.status, kExitOk);
    EXPECT_THAT(r.err, HasSubstr("睡醒占空比为3000超出[0 ~ 2500]范围，自动调整为2500！\n"));
    const LoadedConfigFile file = loadConfigFile(files, dir / "out.cfg");
    ASSERT_EQ(file.check, BlockCheck::Ok);
    EXPECT_EQ(file.block[62], 0xC4);
    EXPECT_EQ(file.block[63], 0x09);
    EXPECT_EQ(file.block[76], 16);
    EXPECT_EQ(file.block[84], 22);
}

// The import fills the form and reads it back, so a real must be one the
// form's text can hold: a negative zero would show as "-0", a signed zero the
// read refuses, and the largest doubles show rounded beyond the range.
TEST_F(CliFixture, ImportTakesOnlyRealsTheFormCanReadBack) {
    CliRun r = run({"import", "-", "-o", path("out.cfg")},
                   R"({"carrierThresholdDbm": -0.0, "frameCheckIndex": -1})");
    ASSERT_EQ(r.status, kExitOk);
    EXPECT_THAT(r.err, ::testing::Not(HasSubstr("请键入一个数。")));
    // The read went on to the lists: no selection is stored as 0xFF.
    EXPECT_EQ(loadConfigFile(files, dir / "out.cfg").block[83], 0xFF);

    writeAll(dir / "keep.cfg", {1, 2, 3});
    r = run({"import", "-", "-o", path("keep.cfg")},
            R"({"startFrequencyMHz": 1.7976931348623157e308})");
    EXPECT_EQ(r.status, kExitBadSettings);
    EXPECT_THAT(r.err, HasSubstr("startFrequencyMHz: out of range"));
    EXPECT_EQ(readAll(dir / "keep.cfg"), (std::vector<std::uint8_t>{1, 2, 3}));
    r = run({"import", "-", "-o", path("out.cfg")}, R"({"startFrequencyMHz": -1e307})");
    EXPECT_EQ(r.status, kExitOk) << "large, but shown and read back: adjusted into range";
}

TEST_F(CliFixture, ImportTakesTheIdentityFromTheBase) {
    ConfigBlock base = makeInitialWorkingBlock();
    base[28] = 'N';
    base[34] = '7';
    for (std::size_t i = 301; i < 516; ++i) {
        base[i] = 0x5A;
    }
    const CliRun r =
        run({"import", "-", "-o", path("out.cfg"), "--base", saveBlock("base.cfg", base)},
            R"({"uartBaudIndex": 11})");
    ASSERT_EQ(r.status, kExitOk);
    const LoadedConfigFile file = loadConfigFile(files, dir / "out.cfg");
    EXPECT_EQ(file.block[28], 'N');
    EXPECT_EQ(file.block[69], 24) << "the base's crystal chooses the mantissa";
    EXPECT_EQ(file.block[400], 0x5A);
}

// Files the tool wrote itself come back byte for byte and without a warning:
// export, then import with the file as base. Without a base, the settings
// bytes still match.
TEST_F(CliFixture, ExportThenImportReproducesTheFile) {
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 40; ++round) {
        ConfigBlock block = makeInitialWorkingBlock();
        for (std::size_t i = 38; i < 516; ++i) {
            block[i] = static_cast<std::uint8_t>(byte(random));
        }
        block[34] = round % 2 ? '7' : '6';
        block[31] = round % 3 ? '3' : '6';
        // Without a base, only values the form can show are carried: keep
        // the ACT pin function, channel count and UART rate inside their lists.
        block[68] = static_cast<std::uint8_t>((block[68] & 0xFC) | (round % 3));
        block[57] = static_cast<std::uint8_t>((1 << (round % 5)) - 1);
        block[69] = round % 2 ? 24 : 34;
        block[70] = 12;
        if (round < 2) {  // a band's edge, which the block holds a step beyond it
            encodeFrequencyMHz(block, round == 0 ? 950.0 : 410.0, round == 0 ? 26 : 27);
        }
        // Two Applies settle values that the first one still rounds.
        std::string settled = saveBlock("r.cfg", block);
        for (int apply = 0; apply < 2; ++apply) {
            ASSERT_EQ(run({"import", "-", "-o", path("s.cfg"), "--base", settled}, "{}").status,
                      kExitOk);
            settled = path("settled.cfg");
            std::filesystem::rename(dir / "s.cfg", dir / "settled.cfg");
        }
        const CliRun exported = run({"export", settled});
        ASSERT_EQ(exported.status, kExitOk);

        const CliRun again =
            run({"import", "-", "-o", path("again.cfg"), "--base", settled}, exported.out);
        ASSERT_EQ(again.status, kExitOk);
        EXPECT_EQ(again.err, "") << "round " << round << ": nothing to adjust";
        ASSERT_EQ(readAll(dir / "again.cfg"), readAll(settled)) << "round " << round;

        ASSERT_EQ(run({"import", "-", "-o", path("fresh.cfg")}, exported.out).status, kExitOk);
        const ConfigBlock fresh = loadConfigFile(files, dir / "fresh.cfg").block;
        ConfigBlock original = loadConfigFile(files, settled).block;
        // What the module keeps for itself is not a setting: the upper bits of
        // byte 72 and the slot bytes beyond each command's length.
        original[72] = static_cast<std::uint8_t>((original[72] & 0x03) | (fresh[72] & 0xFC));
        for (std::size_t slot = 0; slot < 4; ++slot) {
            for (std::size_t i = original[105 + slot]; i < 48; ++i) {
                original[109 + 48 * slot + i] = fresh[109 + 48 * slot + i];
            }
        }
        for (std::size_t i = 38; i <= 300; ++i) {
            ASSERT_EQ(fresh[i], original[i]) << "round " << round << " byte " << i;
        }
    }
}

// An index the window could never pick was stored as 0xFF with success.
TEST_F(CliFixture, ImportRefusesListIndexesOutsideTheirLists) {
    writeAll(dir / "keep.cfg", {1, 2, 3});
    for (const std::string field :
         {R"("defaultRateIndex": 2147483647)", R"("deviceCountIndex": -5)", R"("rfPowerIndex": 8)",
          R"("uartBaudIndex": 13)", R"("actPinFunction": 3)", R"("frameCheckIndex": 4)"}) {
        const CliRun r = run({"import", "-", "-o", path("keep.cfg")}, "{" + field + "}");
        EXPECT_EQ(r.status, kExitBadSettings) << field;
        const std::string name = field.substr(1, field.find('"', 1) - 1);
        EXPECT_THAT(r.err, HasSubstr(name + ": outside its list")) << field;
    }
    EXPECT_EQ(readAll(dir / "keep.cfg"), (std::vector<std::uint8_t>{1, 2, 3}));

    const CliRun r = run({"import", "-", "-o", path("out.cfg")},
                         R"({"rateLowerIndex": 11, "rfPowerIndex": 7, "deviceCountIndex": -1})");
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const ConfigBlock block = loadConfigFile(files, dir / "out.cfg").block;
    EXPECT_EQ(block[52], 11);
    EXPECT_EQ(block[58], 7);
    EXPECT_EQ(block[60], 0xFF);
}

// The parser stops at a NUL byte as if the text ended there.
TEST_F(CliFixture, ImportReadsTheWholeInput) {
    const std::string text = std::string(R"({"networkId": 7})") + '\0' + "{{{";
    const CliRun r = run({"import", "-", "-o", path("out.cfg")}, text);
    EXPECT_EQ(r.status, kExitBadSettings);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.cfg"));
}

// Export prints what the form shows: reals with the digits the window shows
// them with, and an index outside its list as no selection, which import
// then takes back without a word.
TEST_F(CliFixture, ExportPrintsTheValuesAsTheFormShowsThem) {
    ConfigBlock block = makeInitialWorkingBlock();
    encodeFrequencyMHz(block, 433.0, 26);  // shown as 432.999969482422
    block[52] = 12;                        // the lower rate beyond its list
    const std::string base = saveBlock("base.cfg", block);
    ASSERT_EQ(run({"import", "-", "-o", path("settled.cfg"), "--base", base}, "{}").status,
              kExitOk);

    const CliRun exported = run({"export", path("settled.cfg")});
    ASSERT_EQ(exported.status, kExitOk);
    const auto json = nlohmann::json::parse(exported.out);
    EXPECT_EQ(json["rateLowerIndex"], -1);
    const std::string shown = run({"show", path("settled.cfg")}).out;
    const std::string label = "起始频点(MHz): ";
    const auto at = shown.find(label) + label.size();
    EXPECT_THAT(
        exported.out,
        HasSubstr("\"startFrequencyMHz\": " + shown.substr(at, shown.find('\n', at) - at) + ",\n"));

    const CliRun imported =
        run({"import", "-", "-o", path("again.cfg"), "--base", path("settled.cfg")}, exported.out);
    EXPECT_EQ(imported.status, kExitOk);
    EXPECT_EQ(imported.err, "");
    EXPECT_EQ(readAll(dir / "again.cfg"), readAll(dir / "settled.cfg"));
}

// A module's identity could clear the terminal and retitle it.
TEST_F(CliFixture, ShowPrintsControlCharactersEscaped) {
    ConfigBlock block = makeInitialWorkingBlock();
    const std::string identity = "Lorandix\x1b[2J\x1b]0;owned\x07\\\xc2\x9b";
    std::fill(block.bytes.begin() + 4, block.bytes.begin() + 36, 0);
    std::copy(identity.begin(), identity.end(), block.bytes.begin() + 4);
    const CliRun r = run({"show", saveBlock("a.cfg", block)});
    ASSERT_EQ(r.status, kExitOk);
    EXPECT_THAT(r.out, HasSubstr("名称: Lorandix\\x1b[2J\\x1b]0;owned\\x07\\\\\\u009b\n"));
    for (const char c : r.out) {
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n') << int(c);
    }
}

// Settings, not bytes: a byte the form shows alike is no difference, and the
// lines are in the form's order, escaped as show prints them.
TEST_F(CliFixture, DiffPrintsTheSettingsShownDifferently) {
    const ConfigBlock a = makeInitialWorkingBlock();
    ConfigBlock alike = a;
    alike[61] = 5;  // flow control, shown unticked as 0 is
    ConfigBlock other = a;
    encodeNetworkId(other, 4660);
    other[12] = '\x07';
    const std::string fileA = saveBlock("a.cfg", a);
    const struct {
        std::string b;
        int status;
        std::string out;
    } cases[] = {
        {fileA, kExitOk, ""},
        {saveBlock("alike.cfg", alike), kExitOk, ""},
        {saveBlock("other.cfg", other), kExitSettingsDiffer,
         "名称: Lorandix AMR Ver Moudle U 13306 -> Lorandix\\x07AMR Ver Moudle U 13306\n"
         "网络ID: 65280 -> 4660\n"},
        {path("missing.cfg"), kExitFileUnreadable, ""},
    };
    for (const auto& c : cases) {
        const CliRun r = run({"diff", fileA, c.b});
        EXPECT_EQ(r.status, c.status) << c.b << r.err;
        EXPECT_EQ(r.out, c.out) << c.b;
    }
    EXPECT_EQ(run({"diff", path("missing.cfg"), fileA}).status, kExitFileUnreadable);
    EXPECT_EQ(run({"diff", fileA}).status, kExitUsage);
}

TEST_F(CliFixture, UsageErrorsExplainThemselves) {
    EXPECT_EQ(run({}).status, kExitUsage);
    EXPECT_EQ(run({"frobnicate"}).status, kExitUsage);
    EXPECT_EQ(run({"import", "x.json"}).status, kExitUsage);
    const CliRun help = run({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_THAT(help.out, HasSubstr("Exit status"));
}

}  // namespace
}  // namespace dl250t::cli
