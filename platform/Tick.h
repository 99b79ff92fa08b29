#pragma once
// Millisecond time of the platform layer: a monotonic tick count that wraps at 2^32.

#include <cstdint>

namespace orv::platform {

// Milliseconds since an arbitrary start, from a monotonic clock, truncated to 32 bits.
std::uint32_t GetTickCount();

// Blocks the calling thread for at least `milliseconds`.
void Sleep(std::uint32_t milliseconds);

// Elapsed ticks from `start` to `now`; right across the wrap of the counter.
constexpr std::uint32_t TicksBetween(std::uint32_t start, std::uint32_t now)
{
    return static_cast<std::uint32_t>(now - start);
}

} // namespace orv::platform
