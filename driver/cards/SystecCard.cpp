#include "driver/cards/SystecCard.h"

#include "driver/automation/CardConfig.h"
#include "platform/LittleEndian.h"

#include <array>
#include <cstring>

namespace orv::cards {

using automation::CardConfig;

SystecCard::SystecCard(devicenet::Clock& clock)
    : MasterCard(devicenet::MasterPolicy::Systec(), clock), library_(LoadUsbCanLibrary())
{
}

SystecCard::~SystecCard()
{
    UnloadVXD();
    library_ = UsbCanLibrary{};
}

std::int32_t SystecCard::LoadVXD(int, int, std::uint8_t* config)
{
    const UsbCanFunctions& fn = library_.functions;
    if (fn.UcanInitHardware == nullptr || fn.UcanInitCan == nullptr || config == nullptr) {
        return -1;
    }
    if (Port().IsOpen()) {
        return kAlreadyOpen;
    }
    std::uint8_t handle = 0;
    if (const std::uint8_t rc = fn.UcanInitHardware(&handle, usbcan::kAnyModule, nullptr); rc != 0) {
        return rc;
    }
    moduleHandle_ = handle;
    const std::uint8_t masterMacId = config[CardConfig::kMacIdOffset];
    const std::uint8_t rc = fn.UcanInitCan(moduleHandle_, config[CardConfig::kBitTiming0Offset],
                                           config[CardConfig::kBitTiming1Offset], usbcan::kAcceptanceMask,
                                           usbcan::kAcceptanceCode);
    if (rc != 0) {
        if (fn.UcanDeinitHardware != nullptr) {
            fn.UcanDeinitHardware(moduleHandle_);
        }
        moduleHandle_ = 0;
        return rc;
    }
    Port().Open(masterMacId);
    CardClock().Sleep(kStartPause);
    return 0;
}

std::int32_t SystecCard::UnloadVXD()
{
    const UsbCanFunctions& fn = library_.functions;
    if (fn.UcanDeinitHardware == nullptr || fn.UcanDeinitCan == nullptr || moduleHandle_ == 0 || !Port().IsOpen()) {
        return -1;
    }
    if (fn.UcanDeinitCan(moduleHandle_) != 0 || fn.UcanDeinitHardware(moduleHandle_) != 0) {
        return -1; // still marked open
    }
    Port().Close();
    moduleHandle_ = 0;
    return 0;
}

bool SystecCard::SendFrame(const devicenet::CanFrame& frame)
{
    if (library_.functions.UcanWriteCanMsg == nullptr) {
        return false;
    }
    std::array<std::uint8_t, usbcan::kMessageSize> message{};
    platform::PutLe32(message.data() + usbcan::kMessageIdentifier, frame.identifier);
    message[usbcan::kMessageFormat] = 0; // standard data frame
    message[usbcan::kMessageLength] = frame.length;
    std::memcpy(message.data() + usbcan::kMessageData, frame.data.data(), frame.dataLength());
    platform::PutLe32(message.data() + usbcan::kMessageTimeStamp, 0);
    return library_.functions.UcanWriteCanMsg(moduleHandle_, message.data()) == usbcan::kSuccessful;
}

void SystecCard::WaitForFrame(std::uint32_t milliseconds)
{
    if (library_.functions.UcanWaitCanMsg != nullptr) {
        library_.functions.UcanWaitCanMsg(moduleHandle_, milliseconds);
    }
}

bool SystecCard::ReceiveFrame(devicenet::CanFrame& frame)
{
    if (library_.functions.UcanReadCanMsg == nullptr) {
        return false;
    }
    std::array<std::uint8_t, usbcan::kMessageSize> message{};
    message[usbcan::kMessageFormat] = 0;
    if (library_.functions.UcanReadCanMsg(moduleHandle_, message.data()) != usbcan::kSuccessful) {
        return false;
    }
    frame.identifier = static_cast<std::uint16_t>(platform::GetLe32(message.data() + usbcan::kMessageIdentifier));
    frame.length = message[usbcan::kMessageLength]; // low four bits, at most 8: bounded by the port
    std::memcpy(frame.data.data(), message.data() + usbcan::kMessageData, frame.data.size());
    return true;
}

} // namespace orv::cards
