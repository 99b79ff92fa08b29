#pragma once
// A CAN frame as the buses carry it. Buses carry classic CAN data frames; a bus never hands on a
// frame with more than 8 data bytes.

#include <array>
#include <cstdint>

namespace canbus {

struct Frame {
    std::uint32_t id = 0;        // 11-bit identifier (29-bit when `extended`)
    std::uint8_t length = 0;     // 0..8
    bool extended = false;
    bool remote = false;
    std::array<std::uint8_t, 8> data{};
};

inline constexpr std::uint32_t kMaxStandardId = 0x7FF;
inline constexpr std::uint32_t kMaxExtendedId = 0x1FFFFFFF;
inline constexpr std::uint8_t kMaxDataLength = 8;

// True when the frame can exist on a classic CAN bus: at most 8 data bytes, an identifier that
// fits its format. Buses refuse anything else.
constexpr bool IsWellFormed(const Frame& frame)
{
    return frame.length <= kMaxDataLength && frame.id <= (frame.extended ? kMaxExtendedId : kMaxStandardId);
}

} // namespace canbus
