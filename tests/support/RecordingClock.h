#pragma once
// The system's tick count with sleeps that are recorded instead of slept: for cards on a real
// (in-process) bus, whose pauses (the SYSTEC start, the VORA card's waits) must not hold a test.

#include "driver/devicenet/Clock.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace orv::test {

class RecordingClock final : public devicenet::SystemClock {
public:
    void Sleep(std::uint32_t milliseconds) override
    {
        std::lock_guard lock(mutex_);
        sleeps_.push_back(milliseconds);
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
};

} // namespace orv::test
