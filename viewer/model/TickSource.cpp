#include "viewer/model/TickSource.h"

#include "platform/Tick.h"

namespace orv::viewer {
namespace {

class PlatformTicks final : public TickSource {
public:
    std::uint32_t Now() override { return platform::GetTickCount(); }
    void Pause(std::uint32_t milliseconds) override { platform::Sleep(milliseconds); }
};

} // namespace

TickSource& SystemTicks()
{
    static PlatformTicks ticks;
    return ticks;
}

} // namespace orv::viewer
