#pragma once
// The master's only notion of time: a wrapping 32-bit millisecond tick count.

#include <cstdint>

namespace orv::devicenet {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint32_t TickCount() = 0;
};

// The platform tick counter.
class SystemClock final : public Clock {
public:
    std::uint32_t TickCount() override;
};

} // namespace orv::devicenet
