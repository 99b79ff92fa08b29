#include "driver/cards/CardTypes.h"

#include "driver/cards/SstCard.h"
#include "driver/cards/SystecCard.h"
#include "driver/cards/VoraCard.h"

namespace orv::cards {

std::unique_ptr<automation::CardInterface> CreateCardWithClock(int driverType, devicenet::Clock& clock)
{
    switch (driverType) {
    case kVoraCardType: return std::make_unique<VoraCard>(clock);
    case kSstCardType: return std::make_unique<SstCard>(clock);
    case kSystecCardType: return std::make_unique<SystecCard>(clock);
    default: return nullptr;
    }
}

std::unique_ptr<automation::CardInterface> CreateCardOfType(int driverType)
{
    return CreateCardWithClock(driverType, devicenet::TheSystemClock());
}

} // namespace orv::cards
