#include "config/config_block.hpp"

#include <gtest/gtest.h>

#include <string_view>

#include "config/crc16.hpp"

namespace dl250t {
namespace {

std::span<const std::uint8_t> asBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

ConfigBlock stampedDefaultBlock() {
    ConfigBlock block = makeInitialWorkingBlock();
    for (std::size_t i = 301; i < block::kPayloadEnd; ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7);
    }
    stampHeaderAndCrc(block);
    return block;
}

TEST(Crc, MatchesThePublishedCheckValues) {
    EXPECT_EQ(computeCrc(asBytes("123456789")), 0xAEE7);
    const std::array<std::uint8_t, 512> zeros{};
    EXPECT_EQ(computeCrc(zeros), 0x82DD);
    EXPECT_EQ(computeCrc({}), 0xFFFF);
}

TEST(Crc, TableIsBuiltAtCompileTime) {
    static_assert(computeCrc(std::span<const std::uint8_t>{}) == 0xFFFF);
    constexpr std::array<std::uint8_t, 9> digits{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    static_assert(computeCrc(digits) == 0xAEE7);
}

TEST(Stamp, AllZeroPayloadStoresCrcLittleEndian) {
    ConfigBlock block;
    stampHeaderAndCrc(block);
    EXPECT_EQ(block[516], 0xDD);
    EXPECT_EQ(block[517], 0x82);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(block.data()), 4), "ATW0");
}

TEST(Stamp, ChangesOnlyHeaderAndCrcAndIsIdempotent) {
    ConfigBlock original = makeInitialWorkingBlock();
    original[0] = 0x11;
    original[516] = 0x22;
    original[300] = 0x33;
    ConfigBlock once = original;
    stampHeaderAndCrc(once);
    for (std::size_t i = 4; i < 516; ++i) {
        ASSERT_EQ(once[i], original[i]) << "byte " << i;
    }
    ConfigBlock twice = once;
    stampHeaderAndCrc(twice);
    EXPECT_EQ(once, twice);
}

TEST(Validate, RunsLengthThenKeywordThenCrc) {
    ConfigBlock block = stampedDefaultBlock();
    EXPECT_EQ(validateBlock(block, 518), BlockCheck::Ok);
    EXPECT_EQ(validateBlock(block, 517), BlockCheck::LengthMismatch);
    EXPECT_EQ(validateBlock(block, 0), BlockCheck::LengthMismatch);
    EXPECT_EQ(validateBlock(block, 519), BlockCheck::LengthMismatch);

    ConfigBlock bothWrong = block;
    bothWrong[4] = 'l';
    bothWrong[516] ^= 0xFF;
    EXPECT_EQ(validateBlock(bothWrong, 518), BlockCheck::KeywordMismatch);
    EXPECT_EQ(validateBlock(bothWrong, 517), BlockCheck::LengthMismatch);

    ConfigBlock crcWrong = block;
    crcWrong[517] ^= 0x01;
    EXPECT_EQ(validateBlock(crcWrong, 518), BlockCheck::CrcMismatch);
}

TEST(Validate, IgnoresTheHeader) {
    ConfigBlock block = stampedDefaultBlock();
    block[0] = block[1] = block[2] = block[3] = 0;
    EXPECT_EQ(validateBlock(block, 518), BlockCheck::Ok);
}

TEST(Validate, ShortIdentityCannotCarryTheKeyword) {
    ConfigBlock block;
    const std::string_view shortName = "Lorand";
    std::copy(shortName.begin(), shortName.end(), block.bytes.begin() + 4);
    stampHeaderAndCrc(block);
    EXPECT_EQ(validateBlock(block, 518), BlockCheck::KeywordMismatch);
}

TEST(Validate, EverySinglePayloadByteChangeFailsTheCrc) {
    const ConfigBlock block = stampedDefaultBlock();
    for (std::size_t i = 12; i < 516; ++i) {
        for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            ConfigBlock changed = block;
            changed[i] ^= flip;
            ASSERT_EQ(validateBlock(changed, 518), BlockCheck::CrcMismatch)
                << "byte " << i << " flipped by " << int(flip);
        }
    }
    for (std::size_t i = 0; i < 4; ++i) {
        ConfigBlock changed = block;
        changed[i] ^= 0x5A;
        EXPECT_EQ(validateBlock(changed, 518), BlockCheck::Ok);
    }
}

TEST(Validate, EachFailureHasItsOutcome) {
    EXPECT_EQ(blockCheckFailure(BlockCheck::LengthMismatch), Outcome::LengthMismatch);
    EXPECT_EQ(blockCheckFailure(BlockCheck::KeywordMismatch), Outcome::KeywordMismatch);
    EXPECT_EQ(blockCheckFailure(BlockCheck::CrcMismatch), Outcome::CrcMismatch);
    EXPECT_EQ(blockCheckFailure(BlockCheck::Ok), std::nullopt);
}

TEST(Scramble, XorsWithTheFileKeyAndRoundTrips) {
    ConfigBlock block = stampedDefaultBlock();
    ConfigBlock scrambled = block;
    scrambleBytes(scrambled.span());
    EXPECT_EQ(scrambled[0], 'A' ^ 0xA7);
    EXPECT_EQ(scrambled[300], 0xA7);
    scrambleBytes(scrambled.span());
    EXPECT_EQ(scrambled, block);
}

TEST(InitialBlock, HoldsTheDefaultIdentityAndVersion) {
    const ConfigBlock block = makeInitialWorkingBlock();
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(block.data() + 4)),
              "Lorandix AMR Ver Moudle U 13306");
    EXPECT_EQ(block[35], 0);
    EXPECT_EQ(block[36], 6);
    EXPECT_EQ(block[37], 1);
    for (std::size_t i = 38; i < kBlockSize; ++i) {
        ASSERT_EQ(block[i], 0) << "byte " << i;
    }
}

}  // namespace
}  // namespace dl250t
