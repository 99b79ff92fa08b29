#pragma once
// One deadline for a whole exchange, on the wrapping millisecond tick count: set when a call
// starts, it ends every wait of that call, so that no sequence of frames a node sends (fragments
// dripped just before each time-out, answers that do not fit) can hold the call longer.

#include "platform/Tick.h"

#include <cstdint>
#include <limits>

namespace orv::devicenet {

class Deadline {
public:
    // A call may take twice the receive time-out: room for a healthy node's fragmented exchange,
    // never the minute that a series of per-frame waits would allow. Saturates at the longest
    // span the tick count can measure.
    static constexpr std::uint32_t CallBudget(std::uint32_t receiveTimeout)
    {
        constexpr std::uint32_t kLongest = std::numeric_limits<std::uint32_t>::max();
        return receiveTimeout > kLongest / 2 ? kLongest : 2 * receiveTimeout;
    }

    // The deadline of a call that starts at tick `now`.
    static constexpr Deadline ForCall(std::uint32_t now, std::uint32_t receiveTimeout)
    {
        return Deadline(now, CallBudget(receiveTimeout));
    }

    constexpr Deadline(std::uint32_t start, std::uint32_t budget) : start_(start), budget_(budget) {}

    // Milliseconds left at tick `now`, 0 once the deadline has passed. The unsigned difference
    // stays right across the wrap of the tick count.
    constexpr std::uint32_t Remaining(std::uint32_t now) const
    {
        const std::uint32_t spent = platform::TicksBetween(start_, now);
        return spent >= budget_ ? 0 : budget_ - spent;
    }

private:
    std::uint32_t start_;
    std::uint32_t budget_;
};

} // namespace orv::devicenet
