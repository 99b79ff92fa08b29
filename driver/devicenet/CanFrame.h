#pragma once
// The frame record of the DeviceNet master: a standard (11-bit) CAN data frame.

#include <array>
#include <cstdint>

namespace orv::devicenet {

inline constexpr std::uint8_t kMaxDataLength = 8;
inline constexpr std::uint16_t kMaxStandardIdentifier = 0x7FF;

struct CanFrame {
    std::uint16_t identifier = 0;           // 11-bit identifier, bits 11..15 zero
    std::uint8_t length = 0;                // 0..8 once a frame has passed the port
    std::array<std::uint8_t, kMaxDataLength> data{};

    // The data bytes a consumer may read: a length field above 8 (as a classic CAN DLC of 9..15
    // may be) still means 8 bytes, so no copy from a frame ever exceeds `data`.
    constexpr std::uint8_t dataLength() const { return length < kMaxDataLength ? length : kMaxDataLength; }
};

} // namespace orv::devicenet
