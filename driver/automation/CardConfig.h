#pragma once
// The 80-byte record the driver object builds for a card's LoadVXD:
//   0      status      a card may write a failure code here while opening; the driver never reads it
//   1-3    -           not set
//   4      macId       the master's MAC ID
//   5      -           0xFF
//   6      bitTiming0  first CAN bus-timing register value of the rate: 03, 01, 00 for 125, 250, 500K
//   7      bitTiming1  second one: 0x1C for every rate
//   8      -           0xFA
//   9      -           0x4E
//   10-15  -           not set
//   16-79  driverName  the 64 bytes of DriverSettings' driverName, verbatim

#include "driver/automation/DriverSettings.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orv::automation {

class CardConfig {
public:
    static constexpr std::size_t kStatusOffset = 0;
    static constexpr std::size_t kMacIdOffset = 4;
    static constexpr std::size_t kFixedFFOffset = 5;
    static constexpr std::size_t kBitTiming0Offset = 6;
    static constexpr std::size_t kBitTiming1Offset = 7;
    static constexpr std::size_t kFixedFAOffset = 8;
    static constexpr std::size_t kFixed4EOffset = 9;
    static constexpr std::size_t kDriverNameOffset = 16;
    static constexpr std::size_t kDriverNameSize = DriverSettings::kDriverNameSize;
    static constexpr std::size_t kSize = 80;

    // Bus-timing values of the three data rates (register 0; register 1 is always kBitTiming1).
    static constexpr std::uint8_t kBitTiming0At125K = 0x03;
    static constexpr std::uint8_t kBitTiming0At250K = 0x01;
    static constexpr std::uint8_t kBitTiming0At500K = 0x00;
    static constexpr std::uint8_t kBitTiming1 = 0x1C;

    // All bytes zero.
    CardConfig() = default;

    // Copies kSize bytes from a caller's record.
    static CardConfig FromBytes(const std::uint8_t* bytes);

    std::uint8_t Status() const { return bytes_[kStatusOffset]; }
    std::uint8_t MacId() const { return bytes_[kMacIdOffset]; }
    std::uint8_t BitTiming0() const { return bytes_[kBitTiming0Offset]; }
    std::uint8_t BitTiming1() const { return bytes_[kBitTiming1Offset]; }
    const std::uint8_t* DriverName() const { return bytes_.data() + kDriverNameOffset; }

    std::uint8_t* Data() { return bytes_.data(); }
    const std::uint8_t* Data() const { return bytes_.data(); }

private:
    std::array<std::uint8_t, kSize> bytes_{};
};

static_assert(CardConfig::kDriverNameOffset + CardConfig::kDriverNameSize == CardConfig::kSize);
static_assert(sizeof(CardConfig) == CardConfig::kSize);

// Writes bytes 4-9 and 16-79 of `config` from `settings`; bytes 0-3 and 10-15 keep what they held.
// A data rate other than 1 (250K) and 2 (500K) is taken as 125K.
void BuildCardConfig(const DriverSettings& settings, CardConfig& config);

} // namespace orv::automation
