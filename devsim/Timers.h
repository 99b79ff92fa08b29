#pragma once
// Time left on the device's wrapping millisecond clock, and the soonest of several timers: what
// the device reports as its next timer, so that whoever drives it sleeps until then.

#include <cstdint>
#include <optional>

namespace devsim {

// Milliseconds from `nowMs` until `dueMs`; 0 once it is due.
constexpr std::uint32_t MillisecondsUntil(std::uint32_t nowMs, std::uint32_t dueMs)
{
    const auto left = static_cast<std::int32_t>(dueMs - nowMs);
    return left > 0 ? static_cast<std::uint32_t>(left) : 0u;
}

// The earliest of the timers offered; nullopt when none runs.
class Soonest {
public:
    Soonest& Offer(std::optional<std::uint32_t> in)
    {
        if (in && (!in_ || *in < *in_)) {
            in_ = in;
        }
        return *this;
    }
    std::optional<std::uint32_t> Get() const { return in_; }

private:
    std::optional<std::uint32_t> in_;
};

} // namespace devsim
