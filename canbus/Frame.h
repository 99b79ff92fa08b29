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

} // namespace canbus
