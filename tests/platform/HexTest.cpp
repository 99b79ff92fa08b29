#include "platform/Hex.h"
#include "platform/LittleEndian.h"

#include <gtest/gtest.h>

#include <array>

namespace orv::platform {
namespace {

TEST(Hex, ParsesPairsAndNumbers)
{
    const struct {
        const char* text;
        std::optional<std::vector<std::uint8_t>> pairs;
        std::optional<std::uint64_t> number;
    } cases[] = {
        {"", std::vector<std::uint8_t>{}, std::nullopt},
        {"0A1b", std::vector<std::uint8_t>{0x0A, 0x1B}, 0x0A1Bu},
        {"fF", std::vector<std::uint8_t>{0xFF}, 0xFFu},
        {"abc", std::nullopt, 0xABCu},           // odd digit count: a number, not bytes
        {"0g", std::nullopt, std::nullopt},       // not a digit
        {"12 34", std::nullopt, std::nullopt},    // separators are not digits
        {"11112222333344445", std::nullopt, std::nullopt}, // 17 digits overflow a number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseHexPairs(c.text), c.pairs);
        EXPECT_EQ(ParseHexNumber(c.text), c.number);
    }
}

TEST(Hex, WritesBytesAndNumbers)
{
    const std::array<std::uint8_t, 3> bytes{0x00, 0xAB, 0x7F};
    EXPECT_EQ(HexText(bytes), "00ab7f");
    EXPECT_EQ(HexText(bytes, " ", true), "00 AB 7F");
    EXPECT_EQ(HexText({}), "");
    EXPECT_EQ(HexNumber(0x5FB, 3, true), "5FB");
    EXPECT_EQ(HexNumber(0x1F, 8), "0000001f");
}

TEST(LittleEndian, RoundTripsAtExplicitOffsets)
{
    std::array<std::uint8_t, 6> bytes{};
    PutLe16(bytes.data(), 0x1234);
    PutLe32(bytes.data() + 2, 0xA1B2C3D4u);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 6>{0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(GetLe16(bytes.data()), 0x1234);
    EXPECT_EQ(GetLe32(bytes.data() + 2), 0xA1B2C3D4u);
    EXPECT_EQ(GetLe(std::span(bytes).first(3)), 0xD41234u);
    std::vector<std::uint8_t> out;
    AppendLe16(out, 0x0102);
    AppendLe32(out, 0x03040506);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x02, 0x01, 0x06, 0x05, 0x04, 0x03}));
}

} // namespace
} // namespace orv::platform
