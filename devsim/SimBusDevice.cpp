#include "devsim/SimBusDevice.h"

#include "devsim/BrelinDevice.h"

namespace devsim {

std::unique_ptr<canbus::SimNode> MakeSimulatedDevice(std::uint8_t macId)
{
    BrelinDevice::Options options;
    options.macId = macId;
    return std::make_unique<BrelinDevice>(options);
}

void RegisterSimulatedDevice() { canbus::SetSimNodeFactory(MakeSimulatedDevice); }

} // namespace devsim
