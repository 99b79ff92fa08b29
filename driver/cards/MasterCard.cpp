#include "driver/cards/MasterCard.h"

namespace orv::cards {

MasterCard::MasterCard(devicenet::MasterPolicy policy, devicenet::Clock& clock)
    : clock_(clock), master_(*this, clock, policy)
{
}

std::int32_t MasterCard::DNAllocate(int nodeAddress, int connectionType, std::uint8_t*)
{
    return master_.DNAllocate(nodeAddress, connectionType);
}

std::int32_t MasterCard::DNFree(int nodeAddress, int connectionType, std::uint8_t*)
{
    return master_.DNFree(nodeAddress, connectionType);
}

std::int32_t MasterCard::DNGetAttribute(int nodeAddress, int classId, int instance, int attribute,
                                        std::uint8_t* buffer)
{
    return master_.DNGetAttribute(nodeAddress, classId, instance, attribute, buffer);
}

std::int32_t MasterCard::DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                        std::uint8_t* buffer)
{
    return master_.DNSetAttribute(nodeAddress, classId, instance, attribute, length, buffer);
}

std::int32_t MasterCard::CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data)
{
    return master_.Port().CANRcv(identifier, length, data);
}

std::int32_t MasterCard::CANXmit(int identifier, int length, const std::uint8_t* data)
{
    return master_.Port().CANXmit(identifier, length, data);
}

std::int32_t MasterCard::DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier,
                                std::uint16_t* rxLength, std::uint8_t* buffer)
{
    return master_.DNPoll(txIdentifier, txLength, rxIdentifier, rxLength, buffer);
}

std::int32_t MasterCard::NetworkWho(int, std::uint8_t*)
{
    return master_.NetworkWho();
}

std::int32_t MasterCard::SetTimeout(int milliseconds)
{
    return master_.Port().SetTimeout(milliseconds);
}

std::int32_t MasterCard::GetCANMessage(char* text)
{
    return master_.Port().Trace().GetCANMessage(text);
}

std::int32_t MasterCard::DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                                   std::uint8_t* buffer)
{
    return master_.DNService(nodeAddress, classId, instance, serviceCode, length, buffer);
}

bool MasterCard::SetPollCommandSize(std::uint16_t size)
{
    return master_.SetPollCommandSize(size);
}

} // namespace orv::cards
