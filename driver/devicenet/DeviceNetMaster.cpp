#include "driver/devicenet/DeviceNetMaster.h"

#include "driver/devicenet/Identifiers.h"

namespace orv::devicenet {

DeviceNetMaster::DeviceNetMaster(CanLibrary& library, Clock& clock, MasterPolicy policy)
    : port_(library, clock, policy)
{
}

std::uint8_t DeviceNetMaster::RequestHeader(bool flip)
{
    if (flip && port_.Policy().alternateTransactionBit) {
        transactionBit_ ^= kHeaderTransaction;
    }
    return static_cast<std::uint8_t>((port_.MasterMacId() & kHeaderMacMask) | transactionBit_);
}

std::optional<std::uint8_t> DeviceNetMaster::AnswerXid(std::uint8_t header) const
{
    if (!port_.Policy().alternateTransactionBit) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(header & kHeaderTransaction);
}

std::uint8_t DeviceNetMaster::FragmentHeader() const
{
    return static_cast<std::uint8_t>(kHeaderFragment | (port_.MasterMacId() & kHeaderMacMask));
}

} // namespace orv::devicenet
