#pragma once
// What the two raw-frame cards share: every DeviceNet operation runs on the driver's own master,
// over the card's library seen as a CanLibrary. A concrete card opens and closes its library and
// moves frames in and out of the library's message records; the policy says where it differs.

#include "driver/automation/CardInterface.h"
#include "driver/devicenet/DeviceNetMaster.h"

namespace orv::cards {

class MasterCard : public automation::CardInterface, protected devicenet::CanLibrary {
public:
    std::int32_t DNAllocate(int nodeAddress, int connectionType, std::uint8_t* buffer) override;
    std::int32_t DNFree(int nodeAddress, int connectionType, std::uint8_t* buffer) override;
    std::int32_t DNGetAttribute(int nodeAddress, int classId, int instance, int attribute,
                                std::uint8_t* buffer) override;
    std::int32_t DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                std::uint8_t* buffer) override;
    std::int32_t CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data) override;
    std::int32_t CANXmit(int identifier, int length, const std::uint8_t* data) override;
    std::int32_t DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
                        std::uint8_t* buffer) override;
    std::int32_t NetworkWho(int nodeAddress, std::uint8_t* buffer) override;
    std::int32_t SetTimeout(int milliseconds) override;
    std::int32_t GetCANMessage(char* text) override;
    std::int32_t DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                           std::uint8_t* buffer) override;
    bool SetPollCommandSize(std::uint16_t size) override;

    devicenet::DeviceNetMaster& Master() { return master_; }

protected:
    MasterCard(devicenet::MasterPolicy policy, devicenet::Clock& clock);

    devicenet::CanPort& Port() { return master_.Port(); }
    devicenet::Clock& CardClock() { return clock_; }

private:
    devicenet::Clock& clock_;
    devicenet::DeviceNetMaster master_;
};

} // namespace orv::cards
