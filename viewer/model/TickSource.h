#pragma once
// The millisecond tick count the model measures waits with, and a short pause between two asks of a
// card that does not wait by itself. Tests hand in a clock of their own.

#include <cstdint>

namespace orv::viewer {

class TickSource {
public:
    virtual ~TickSource() = default;
    // A wrapping millisecond count.
    virtual std::uint32_t Now() = 0;
    // Lets `milliseconds` pass.
    virtual void Pause(std::uint32_t milliseconds) = 0;
};

// The platform's tick count and sleep.
TickSource& SystemTicks();

} // namespace orv::viewer
