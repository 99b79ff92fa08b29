#include "driver/devicenet/Clock.h"

#include "platform/Tick.h"

namespace orv::devicenet {

std::uint32_t SystemClock::TickCount()
{
    return platform::GetTickCount();
}

void SystemClock::Sleep(std::uint32_t milliseconds)
{
    platform::Sleep(milliseconds);
}

SystemClock& TheSystemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace orv::devicenet
