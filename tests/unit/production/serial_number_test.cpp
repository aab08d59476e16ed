#include "production/serial_number.hpp"

#include <gtest/gtest.h>

namespace dl250t {
namespace {

// The number is the form's serial field read as a 48-bit big-endian counter;
// the text back is what the form shows.
TEST(SerialNumberTest, ReadsTheFormsTextAsTheBlockStoresIt) {
    const struct {
        std::string_view text;
        std::uint64_t value;
        std::string_view shown;
    } cases[] = {
        {"00 00 00 00 50 00", 0x5000, "00 00 00 00 50 00"},
        {"1,2 3", 0x010203000000, "01 02 03 00 00 00"},  // a lone digit is a byte
        {"12 34", 0x123400000000, "12 34 00 00 00 00"},  // a short text fills the top
        {"ff ff ff ff ff ff 77", 0xFFFFFFFFFFFF, "FF FF FF FF FF FF"},
        {"", 0, "00 00 00 00 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const SerialNumber serial = SerialNumber::fromText(c.text);
        EXPECT_EQ(serial.value(), c.value);
        EXPECT_EQ(serial.text(), c.shown);
        ConfigBlock block;
        serial.storeIn(block);
        EXPECT_EQ(SerialNumber::fromBlock(block), serial);
        EXPECT_EQ(block[block::kSerial + 5], c.value & 0xFF) << "the last byte is the lowest";
    }
}

TEST(SerialNumberTest, NextCarriesAcrossBytesAndWrapsAtFortyEightBits) {
    EXPECT_EQ(SerialNumber(0x00FF).next().text(), "00 00 00 00 01 00");
    EXPECT_EQ(SerialNumber(0xFFFFFFFFFFFF).next(), SerialNumber(0));
}

}  // namespace
}  // namespace dl250t
