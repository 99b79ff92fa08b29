#include "driver/devicenet/Clock.h"

#include "platform/Tick.h"

namespace orv::devicenet {

std::uint32_t SystemClock::TickCount()
{
    return platform::GetTickCount();
}

} // namespace orv::devicenet
