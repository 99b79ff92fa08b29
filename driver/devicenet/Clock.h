#pragma once
// Time as the driver sees it: a wrapping 32-bit millisecond tick count, and a pause. The master
// only reads the tick count; the cards also pause (the SYSTEC start, the VORA card's waits). Every
// card takes its clock as a parameter, the system clock unless a test hands in its own.

#include <cstdint>

namespace orv::devicenet {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint32_t TickCount() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The platform tick counter and sleep.
class SystemClock : public Clock {
public:
    std::uint32_t TickCount() override;
    void Sleep(std::uint32_t milliseconds) override;
};

// One system clock for the process; it holds no state, so it is safe at any time.
SystemClock& TheSystemClock();

} // namespace orv::devicenet
