#pragma once
// The clock the buses run their schedules on, so that tests can drive them by hand.

#include <chrono>
#include <cstdint>
#include <functional>

namespace canbus {

// Monotonic time in nanoseconds.
using NanoClock = std::function<std::uint64_t()>;

inline std::uint64_t SteadyNanoseconds()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

} // namespace canbus
