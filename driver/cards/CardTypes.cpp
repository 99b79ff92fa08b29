#include "driver/cards/CardTypes.h"

#include "driver/cards/SstCard.h"
#include "driver/cards/SystecCard.h"
#include "driver/cards/VoraCard.h"

namespace orv::cards {

std::unique_ptr<automation::CardInterface> CreateCardOfType(int driverType)
{
    switch (driverType) {
    case kVoraCardType: return std::make_unique<VoraCard>();
    case kSstCardType: return std::make_unique<SstCard>();
    case kSystecCardType: return std::make_unique<SystecCard>();
    default: return nullptr;
    }
}

} // namespace orv::cards
