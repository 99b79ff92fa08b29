#pragma once
// Creation of the card back-end by driver type (0 VORA card, 1 SST card, 2 SYSTEC adapter). The
// factory is replaceable so that the library can register its back-ends at start and tests can put
// in their own cards.

#include "driver/automation/CardInterface.h"

#include <functional>
#include <memory>

namespace orv::automation {

// Returns the card for a driver type, or null when none can be created.
using CardFactory = std::function<std::unique_ptr<CardInterface>(int driverType)>;

// The factory in use when none was set: it creates no card.
std::unique_ptr<CardInterface> DefaultCardFactory(int driverType);

// Installs `factory` (an empty one creates no card) and returns the one it replaces.
CardFactory SetCardFactory(CardFactory factory);

// Puts DefaultCardFactory back.
void ResetCardFactory();

// Asks the factory in use for the card of `driverType`; a type other than 0, 1 and 2 never reaches
// the factory and yields null.
std::unique_ptr<CardInterface> CreateCard(int driverType);

} // namespace orv::automation
