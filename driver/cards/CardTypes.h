#pragma once
// The three card back-ends by driver type, as the driver library installs them in the driver
// object's card factory.

#include "driver/automation/CardInterface.h"
#include "driver/devicenet/Clock.h"

#include <memory>

namespace orv::cards {

inline constexpr int kVoraCardType = 0;
inline constexpr int kSstCardType = 1;
inline constexpr int kSystecCardType = 2;

// VoraCard for 0, SstCard for 1, SystecCard for 2, each on `clock`; null for any other type.
std::unique_ptr<automation::CardInterface> CreateCardWithClock(int driverType, devicenet::Clock& clock);
// The same on the system clock, as the driver library installs it.
std::unique_ptr<automation::CardInterface> CreateCardOfType(int driverType);

} // namespace orv::cards
