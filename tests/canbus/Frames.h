#pragma once
// Frames written out in tests.

#include "canbus/Frame.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace canbus::testing {

inline Frame MakeFrame(std::uint32_t id, std::initializer_list<std::uint8_t> bytes, bool extended = false,
                       bool remote = false)
{
    Frame frame;
    frame.id = id;
    frame.extended = extended;
    frame.remote = remote;
    for (const auto byte : bytes) {
        frame.data[frame.length++] = byte;
    }
    return frame;
}

inline bool SameFrame(const Frame& a, const Frame& b)
{
    return a.id == b.id && a.length == b.length && a.extended == b.extended && a.remote == b.remote &&
           std::equal(a.data.begin(), a.data.begin() + a.length, b.data.begin());
}

} // namespace canbus::testing
