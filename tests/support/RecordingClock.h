#pragma once
// The system's tick count with sleeps that are recorded instead of slept: for cards on a real
// (in-process) bus, whose pauses (the SYSTEC start, the VORA card's waits) must not hold a test.
// A recorded sleep counts as time passed, so a wait made of pauses ends after its length.

#include "driver/devicenet/Clock.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace orv::test {

class RecordingClock final : public devicenet::SystemClock {
public:
    std::uint32_t TickCount() override
    {
        std::lock_guard lock(mutex_);
        return SystemClock::TickCount() + slept_;
    }
    void Sleep(std::uint32_t milliseconds) override
    {
        std::lock_guard lock(mutex_);
        sleeps_.push_back(milliseconds);
        slept_ += milliseconds;
    }
    std::vector<std::uint32_t> Sleeps() const
    {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }
    void Clear()
    {
        std::lock_guard lock(mutex_);
        sleeps_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> sleeps_;
    std::uint32_t slept_ = 0;
};

} // namespace orv::test
