#pragma once
// What the three stand-in card libraries share: which bus a card reaches, how a card waits on it,
// and the refusals tests can ask for.

#include "canbus/Bus.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#define ORV_CARDLIB_EXPORT extern "C" __attribute__((visibility("default")))

namespace orv::cardlibs {

// The bus a card reaches: the card's own name where it names a bus (sim..., tcp://..., socketcan:...),
// else $ORV_CANBUS, else "sim".
std::string ChooseBus(std::string_view cardName);

// Opens the chosen bus; on failure writes one line to standard error and returns null.
std::unique_ptr<canbus::Bus> OpenChosenBus(std::string_view cardName, std::uint32_t bitrate);

// True when $ORV_CARDLIB_REFUSE (a comma-separated list of entry point names) names `function`:
// tests make a stand-in fail at one chosen call that way.
bool Refuses(std::string_view function);

// Takes the next standard data frame from the bus, skipping others. False when none is pending.
bool TakeDataFrame(canbus::Bus& bus, canbus::Frame& frame);

// The bus a card is on. A wait on it runs on a copy taken under the library's lock, but without
// the lock, so that closing the card from another thread ends the wait at once; the last copy
// lets the bus go.
using SharedBus = std::shared_ptr<canbus::Bus>;

// Takes the card off `bus`: every wait on it ends.
void LeaveBus(SharedBus& bus);

} // namespace orv::cardlibs
