#pragma once
// The simulated Brelin as the node of the in-process `sim` bus. The bus library knows no device:
// a program that opens a `sim` bus registers this one first (the stand-in card libraries do).

#include "canbus/SimNode.h"

#include <cstdint>
#include <memory>

namespace devsim {

// A simulated Brelin at `macId` with default options.
std::unique_ptr<canbus::SimNode> MakeSimulatedDevice(std::uint8_t macId);

// Makes every `sim` bus opened from now on carry a simulated Brelin at the bus string's MAC ID.
void RegisterSimulatedDevice();

} // namespace devsim
