// Byte layouts of the records that cross into the driver: DriverSettings read at its offsets,
// CardConfig built from it byte for byte, ModuleConfig.

#include "driver/automation/CardConfig.h"
#include "driver/automation/DriverSettings.h"
#include "driver/automation/ModuleConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace orv::automation {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A settings image written by hand, as the viewer lays it out.
std::array<std::uint8_t, 88> HandSettings()
{
    std::array<std::uint8_t, 88> bytes{};
    const std::uint8_t head[] = {
        0x3D, 0x01, 0x00, 0x00, // scnId 0x13D
        0x01, 0x00, 0x00, 0x00, // dataRate 1
        0xF8, 0x02, 0x05, 0x00, // port 0x502F8
        0x03, 0x00, 0x01, 0x00, // interrupt 0x10003
        0x02, 0x00, 0x00, 0x00, // driverType 2
        0x01,                   // installed
    };
    std::copy(std::begin(head), std::end(head), bytes.begin());
    const char name[] = "can0";
    std::copy(std::begin(name), std::end(name), bytes.begin() + 21);
    // Bytes after the name's NUL and in the reserved tail are carried, not interpreted.
    bytes[30] = 0x77;
    bytes[84] = 0x88;
    bytes[85] = 0xAA;
    bytes[87] = 0xBB;
    return bytes;
}

TEST(DriverSettingsTest, ReadsEachFieldAtItsOffset)
{
    const auto bytes = HandSettings();
    const DriverSettings settings = DriverSettings::FromBytes(bytes.data());

    EXPECT_EQ(settings.ScnId(), 0x13D);
    EXPECT_EQ(settings.DataRate(), 1);
    EXPECT_EQ(settings.Port(), 0x502F8);
    EXPECT_EQ(settings.Interrupt(), 0x10003);
    EXPECT_EQ(settings.DriverType(), 2);
    EXPECT_EQ(settings.Installed(), 1);
    EXPECT_EQ(settings.DriverNameText(), "can0");
    EXPECT_EQ(settings.DriverName()[9], 0x77);
    EXPECT_THAT(std::vector<std::uint8_t>(settings.Data(), settings.Data() + 88), ElementsAreArray(bytes));
}

TEST(DriverSettingsTest, NegativeFieldsAndWritesAreLittleEndian)
{
    DriverSettings settings;
    settings.SetScnId(-2);
    settings.SetDataRate(0x01020304);
    settings.SetDriverType(-1);
    settings.SetInstalled(0xA5);
    EXPECT_THAT(std::vector<std::uint8_t>(settings.Data(), settings.Data() + 21),
                ElementsAre(0xFE, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF,
                            0xFF, 0xFF, 0xA5));
    EXPECT_EQ(settings.ScnId(), -2);
    EXPECT_EQ(settings.DriverType(), -1);
}

TEST(DriverSettingsTest, NameIsBoundedByItsFieldAndNulTerminated)
{
    DriverSettings settings;
    for (std::size_t i = 0; i < 88; ++i) {
        settings.Data()[i] = 0xEE;
    }
    settings.SetDriverName(std::string(100, 'x'));
    EXPECT_EQ(settings.DriverNameText(), std::string(63, 'x'));
    EXPECT_EQ(settings.Data()[84], 0);
    EXPECT_EQ(settings.Data()[20], 0xEE); // installed untouched
    EXPECT_EQ(settings.Data()[85], 0xEE); // reserved untouched

    // A name field without any NUL reads as its 64 bytes and no more.
    for (std::size_t i = 21; i < 85; ++i) {
        settings.Data()[i] = 'n';
    }
    EXPECT_EQ(settings.DriverNameText(), std::string(64, 'n'));
}

// Builds a config over a background pattern, so that untouched bytes show.
std::array<std::uint8_t, 80> Built(const DriverSettings& settings)
{
    CardConfig config;
    for (std::size_t i = 0; i < CardConfig::kSize; ++i) {
        config.Data()[i] = static_cast<std::uint8_t>(0xC0 + i);
    }
    BuildCardConfig(settings, config);
    std::array<std::uint8_t, 80> bytes{};
    std::copy(config.Data(), config.Data() + 80, bytes.begin());
    return bytes;
}

std::vector<std::uint8_t> Slice(const std::array<std::uint8_t, 80>& bytes, std::size_t from, std::size_t to)
{
    return std::vector<std::uint8_t>(bytes.begin() + from, bytes.begin() + to);
}

TEST(CardConfigTest, RateBytesForEachDataRate)
{
    struct Case {
        std::int32_t dataRate;
        std::uint8_t bitTiming0;
    };
    for (Case c : {Case{0, 0x03}, Case{1, 0x01}, Case{2, 0x00}, Case{3, 0x03}, Case{7, 0x03}, Case{-1, 0x03},
                   Case{0x101, 0x03}}) {
        SCOPED_TRACE(c.dataRate);
        DriverSettings settings;
        settings.SetScnId(5);
        settings.SetDataRate(c.dataRate);
        EXPECT_THAT(Slice(Built(settings), 4, 10), ElementsAre(0x05, 0xFF, c.bitTiming0, 0x1C, 0xFA, 0x4E));
    }
}

TEST(CardConfigTest, MacIdIsTheLowByteOfScnId)
{
    DriverSettings settings;
    settings.SetScnId(0x1234);
    EXPECT_EQ(Built(settings)[4], 0x34);
    settings.SetScnId(-1);
    EXPECT_EQ(Built(settings)[4], 0xFF);
}

TEST(CardConfigTest, LeavesStatusAndGapBytesUntouched)
{
    const auto bytes = HandSettings();
    const auto config = Built(DriverSettings::FromBytes(bytes.data()));
    EXPECT_THAT(Slice(config, 0, 4), ElementsAre(0xC0, 0xC1, 0xC2, 0xC3));
    EXPECT_THAT(Slice(config, 10, 16), ElementsAre(0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF));
    EXPECT_THAT(Slice(config, 4, 10), ElementsAre(0x3D, 0xFF, 0x01, 0x1C, 0xFA, 0x4E));
}

TEST(CardConfigTest, CopiesTheDriverNameFieldVerbatim)
{
    auto bytes = HandSettings();
    // Every byte of the field distinct, with a NUL in the middle and text after it.
    for (std::size_t i = 0; i < 64; ++i) {
        bytes[21 + i] = static_cast<std::uint8_t>(0x40 + i);
    }
    bytes[21 + 10] = 0;
    const auto config = Built(DriverSettings::FromBytes(bytes.data()));
    EXPECT_THAT(Slice(config, 16, 80), ElementsAreArray(bytes.begin() + 21, bytes.begin() + 85));

    const CardConfig parsed = CardConfig::FromBytes(config.data());
    EXPECT_EQ(parsed.MacId(), 0x3D);
    EXPECT_EQ(parsed.BitTiming0(), 0x01);
    EXPECT_EQ(parsed.BitTiming1(), 0x1C);
    EXPECT_EQ(parsed.Status(), 0xC0);
    EXPECT_EQ(parsed.DriverName()[0], 0x40);
}

TEST(ModuleConfigTest, ReadsFlagsAndLittleEndianRates)
{
    const std::uint8_t bytes[] = {0x01, 0x80, 0x34, 0x12, 0xCD, 0xAB};
    const ModuleConfig config = ModuleConfig::FromBytes(bytes);
    EXPECT_TRUE(config.ExplicitEnabled());
    EXPECT_TRUE(config.PollEnabled()); // any nonzero byte enables
    EXPECT_EQ(config.ExplicitPacketRate(), 0x1234);
    EXPECT_EQ(config.PollPacketRate(), 0xABCD);
    EXPECT_EQ(config.ExplicitPacketRateBytes()[0], 0x34);
    EXPECT_EQ(config.PollPacketRateBytes()[1], 0xAB);

    ModuleConfig written;
    written.SetPollEnabled(1);
    written.SetExplicitPacketRate(0x0102);
    written.SetPollPacketRate(0xFFEE);
    EXPECT_FALSE(written.ExplicitEnabled());
    EXPECT_THAT(std::vector<std::uint8_t>(written.Data(), written.Data() + 6),
                ElementsAre(0x00, 0x01, 0x02, 0x01, 0xEE, 0xFF));
}

} // namespace
} // namespace orv::automation
