#pragma once
// The 6-byte record handed to OpenModule by address:
//   0    explicitEnabled     nonzero: allocate the explicit messaging connection
//   1    pollEnabled         nonzero: allocate the polled I/O connection
//   2-3  explicitPacketRate  expected packet rate of the explicit connection, little-endian
//   4-5  pollPacketRate      expected packet rate of the poll connection, little-endian

#include "platform/LittleEndian.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orv::automation {

class ModuleConfig {
public:
    static constexpr std::size_t kExplicitEnabledOffset = 0;
    static constexpr std::size_t kPollEnabledOffset = 1;
    static constexpr std::size_t kExplicitPacketRateOffset = 2;
    static constexpr std::size_t kPollPacketRateOffset = 4;
    static constexpr std::size_t kPacketRateSize = 2;
    static constexpr std::size_t kSize = 6;

    // All bytes zero.
    ModuleConfig() = default;

    // Copies kSize bytes from a caller's record.
    static ModuleConfig FromBytes(const std::uint8_t* bytes)
    {
        ModuleConfig config;
        std::memcpy(config.bytes_.data(), bytes, kSize);
        return config;
    }

    bool ExplicitEnabled() const { return bytes_[kExplicitEnabledOffset] != 0; }
    bool PollEnabled() const { return bytes_[kPollEnabledOffset] != 0; }
    std::uint16_t ExplicitPacketRate() const { return platform::GetLe16(bytes_.data() + kExplicitPacketRateOffset); }
    std::uint16_t PollPacketRate() const { return platform::GetLe16(bytes_.data() + kPollPacketRateOffset); }
    // The two stored bytes of each rate, for copying into a request unchanged.
    const std::uint8_t* ExplicitPacketRateBytes() const { return bytes_.data() + kExplicitPacketRateOffset; }
    const std::uint8_t* PollPacketRateBytes() const { return bytes_.data() + kPollPacketRateOffset; }

    void SetExplicitEnabled(std::uint8_t value) { bytes_[kExplicitEnabledOffset] = value; }
    void SetPollEnabled(std::uint8_t value) { bytes_[kPollEnabledOffset] = value; }
    void SetExplicitPacketRate(std::uint16_t value)
    {
        platform::PutLe16(bytes_.data() + kExplicitPacketRateOffset, value);
    }
    void SetPollPacketRate(std::uint16_t value) { platform::PutLe16(bytes_.data() + kPollPacketRateOffset, value); }

    std::uint8_t* Data() { return bytes_.data(); }
    const std::uint8_t* Data() const { return bytes_.data(); }

private:
    std::array<std::uint8_t, kSize> bytes_{};
};

static_assert(ModuleConfig::kPollPacketRateOffset + ModuleConfig::kPacketRateSize == ModuleConfig::kSize);
static_assert(sizeof(ModuleConfig) == ModuleConfig::kSize);

} // namespace orv::automation
