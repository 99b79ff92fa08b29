// Stand-in of the SYSTEC USB-CAN library: one adapter, reached as a raw CAN port on the bus named
// by $ORV_CANBUS (default "sim"), opened by UcanInitCan at the rate of its bus-timing bytes. Its
// UcanWaitCanMsg lets the driver sleep until a message comes.

#include "cardlibs/StandIn.h"
#include "driver/cards/UsbCanApi.h"
#include "platform/LittleEndian.h"

#include <cstring>
#include <mutex>

namespace {

using namespace orv::cards;
using orv::platform::GetLe32;
using orv::platform::PutLe32;

constexpr std::uint8_t kModule = 1;

// The library's own result codes (any nonzero is a failure or warning).
constexpr std::uint8_t kErrResource = 0x01;
constexpr std::uint8_t kErrIllegalHandle = 0x05;
constexpr std::uint8_t kErrIllegalParameter = 0x06;
constexpr std::uint8_t kErrNotInitialised = 0x08;
constexpr std::uint8_t kErrTransmit = 0x0A;
constexpr std::uint8_t kWarnNoData = 0x40;

struct State {
    std::mutex mutex;
    bool hardware = false;
    orv::cardlibs::SharedBus bus;
};

State& state()
{
    static State s;
    return s;
}

// The adapter is initialised and `moduleHandle` names it; call with the state's mutex held.
bool ValidModule(std::uint8_t moduleHandle)
{
    return state().hardware && moduleHandle == kModule;
}

std::uint32_t Bitrate(std::uint8_t bitTiming0, std::uint8_t bitTiming1)
{
    if (bitTiming1 != 0x1C) {
        return 0;
    }
    switch (bitTiming0) {
    case 0x03: return 125000;
    case 0x01: return 250000;
    case 0x00: return 500000;
    default: return 0;
    }
}

} // namespace

ORV_CARDLIB_EXPORT std::uint8_t UcanInitHardware(std::uint8_t* moduleHandle, std::uint8_t, void*)
{
    if (orv::cardlibs::Refuses("UcanInitHardware") || moduleHandle == nullptr) {
        return kErrResource;
    }
    std::lock_guard lock(state().mutex);
    if (state().hardware) {
        return kErrResource; // the one adapter is in use
    }
    state().hardware = true;
    *moduleHandle = kModule;
    return usbcan::kSuccessful;
}

ORV_CARDLIB_EXPORT std::uint8_t UcanDeinitHardware(std::uint8_t moduleHandle)
{
    if (orv::cardlibs::Refuses("UcanDeinitHardware")) {
        return kErrResource;
    }
    std::lock_guard lock(state().mutex);
    if (!ValidModule(moduleHandle)) {
        return kErrIllegalHandle;
    }
    orv::cardlibs::LeaveBus(state().bus);
    state().hardware = false;
    return usbcan::kSuccessful;
}

ORV_CARDLIB_EXPORT std::uint8_t UcanInitCan(std::uint8_t moduleHandle, std::uint8_t bitTiming0, std::uint8_t bitTiming1,
                                            std::uint32_t, std::uint32_t)
{
    if (orv::cardlibs::Refuses("UcanInitCan")) {
        return kErrResource;
    }
    std::lock_guard lock(state().mutex);
    if (!ValidModule(moduleHandle)) {
        return kErrIllegalHandle;
    }
    const std::uint32_t bitrate = Bitrate(bitTiming0, bitTiming1);
    if (bitrate == 0) {
        return kErrIllegalParameter;
    }
    orv::cardlibs::LeaveBus(state().bus);
    state().bus = orv::cardlibs::OpenChosenBus({}, bitrate);
    return state().bus ? usbcan::kSuccessful : kErrResource;
}

ORV_CARDLIB_EXPORT std::uint8_t UcanDeinitCan(std::uint8_t moduleHandle)
{
    if (orv::cardlibs::Refuses("UcanDeinitCan")) {
        return kErrResource;
    }
    std::lock_guard lock(state().mutex);
    if (!ValidModule(moduleHandle)) {
        return kErrIllegalHandle;
    }
    orv::cardlibs::LeaveBus(state().bus);
    return usbcan::kSuccessful;
}

#ifndef ORV_OMIT_READ
ORV_CARDLIB_EXPORT std::uint8_t UcanReadCanMsg(std::uint8_t moduleHandle, std::uint8_t* message)
{
    std::lock_guard lock(state().mutex);
    if (!ValidModule(moduleHandle) || message == nullptr) {
        return kErrIllegalHandle;
    }
    if (!state().bus) {
        return kErrNotInitialised;
    }
    canbus::Frame frame;
    if (!orv::cardlibs::TakeDataFrame(*state().bus, frame)) {
        return kWarnNoData;
    }
    PutLe32(message + usbcan::kMessageIdentifier, frame.id);
    message[usbcan::kMessageFormat] = 0;
    message[usbcan::kMessageLength] = frame.length;
    std::memcpy(message + usbcan::kMessageData, frame.data.data(), frame.length);
    PutLe32(message + usbcan::kMessageTimeStamp, 0);
    return usbcan::kSuccessful;
}
#endif

// Sleeps until a message is pending (0), or the time has passed or the adapter closed (no data).
ORV_CARDLIB_EXPORT std::uint8_t UcanWaitCanMsg(std::uint8_t moduleHandle, std::uint32_t milliseconds)
{
    orv::cardlibs::SharedBus bus;
    {
        std::lock_guard lock(state().mutex);
        if (!ValidModule(moduleHandle)) {
            return kErrIllegalHandle;
        }
        if (!state().bus) {
            return kErrNotInitialised;
        }
        bus = state().bus;
    }
    return bus->WaitForFrame(std::chrono::milliseconds(milliseconds)) ? usbcan::kSuccessful : kWarnNoData;
}

ORV_CARDLIB_EXPORT std::uint8_t UcanWriteCanMsg(std::uint8_t moduleHandle, const std::uint8_t* message)
{
    if (orv::cardlibs::Refuses("UcanWriteCanMsg")) {
        return kErrTransmit;
    }
    std::lock_guard lock(state().mutex);
    if (!ValidModule(moduleHandle) || message == nullptr) {
        return kErrIllegalHandle;
    }
    if (!state().bus) {
        return kErrNotInitialised;
    }
    canbus::Frame frame;
    frame.id = GetLe32(message + usbcan::kMessageIdentifier);
    frame.length = message[usbcan::kMessageLength];
    if (message[usbcan::kMessageFormat] != 0 || frame.length > 8 || frame.id > 0x7FF) {
        return kErrIllegalParameter;
    }
    std::memcpy(frame.data.data(), message + usbcan::kMessageData, frame.length);
    return state().bus->Send(frame) ? usbcan::kSuccessful : kErrTransmit;
}
