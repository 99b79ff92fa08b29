// Stand-in of the VORA CAN712 card library, which speaks DeviceNet itself: the project's own master
// engine on the bus the card configuration names (its driver name), else $ORV_CANBUS, else "sim".
// Unlike the raw-frame cards it examines allocation answers, and its CANRcv never waits.

#include "cardlibs/Drv712Results.h"
#include "cardlibs/StandIn.h"
#include "driver/cards/Drv712Api.h"
#include "driver/devicenet/DeviceNetMaster.h"
#include "driver/devicenet/Identifiers.h"
#include "cardlibs/BusCanLibrary.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>

namespace {

using namespace orv::devicenet;
using orv::cards::drv712::kNothingReceived;
using orv::cards::drv712::kReceiveDataOffset;

using namespace orv::cardlibs::drv712;

constexpr std::size_t kConfigMacId = 4;
constexpr std::size_t kConfigBitTiming0 = 6;
constexpr std::size_t kConfigDriverName = 16;
constexpr std::size_t kDriverNameSize = 64;

struct State {
    std::recursive_mutex mutex;
    std::unique_ptr<canbus::Bus> bus;
    std::unique_ptr<orv::cardlibs::BusCanLibrary> library;
    SystemClock clock;
    std::unique_ptr<DeviceNetMaster> master;
};

State& state()
{
    static State s;
    return s;
}

std::uint32_t Bitrate(std::uint8_t bitTiming0)
{
    switch (bitTiming0) {
    case 0x01: return 250000;
    case 0x00: return 500000;
    default: return 125000;
    }
}

std::int32_t ConnectionRequest(bool allocate, std::int32_t nodeAddress, std::int32_t connectionType)
{
    std::lock_guard lock(state().mutex);
    if (!state().master) {
        return kNotOpen;
    }
    CanFrame answer;
    const int rc = allocate ? state().master->DNAllocate(nodeAddress, connectionType, &answer)
                            : state().master->DNFree(nodeAddress, connectionType, &answer);
    if (rc != 0) {
        return kNoAnswer;
    }
    const std::uint8_t success = static_cast<std::uint8_t>((allocate ? kServiceAllocate : kServiceRelease) | kServiceReplyBit);
    return answer.length >= 2 && answer.data[1] == success ? 0 : kRefusedBySlave;
}

} // namespace

ORV_CARDLIB_EXPORT std::int32_t LoadVXD(std::int32_t, std::int32_t, std::uint8_t* config)
{
    if (orv::cardlibs::Refuses("LoadVXD") || config == nullptr) {
        return kBusUnavailable;
    }
    std::lock_guard lock(state().mutex);
    if (state().master) {
        return kAlreadyOpen;
    }
    const auto* name = reinterpret_cast<const char*>(config + kConfigDriverName);
    auto bus = orv::cardlibs::OpenChosenBus(std::string_view(name, strnlen(name, kDriverNameSize)),
                                            Bitrate(config[kConfigBitTiming0]));
    if (!bus) {
        return kBusUnavailable;
    }
    state().bus = std::move(bus);
    state().library = std::make_unique<orv::cardlibs::BusCanLibrary>(*state().bus);
    state().master = std::make_unique<DeviceNetMaster>(*state().library, state().clock, MasterPolicy::Sst());
    state().master->Port().Open(config[kConfigMacId]);
    return 0;
}

ORV_CARDLIB_EXPORT std::int32_t UnloadVXD()
{
    std::lock_guard lock(state().mutex);
    if (!state().master) {
        return kNotOpen;
    }
    state().master.reset();
    state().library.reset();
    state().bus.reset();
    return 0;
}

ORV_CARDLIB_EXPORT std::int32_t DNAllocate(std::int32_t nodeAddress, std::int32_t connectionType, std::uint8_t*)
{
    return ConnectionRequest(true, nodeAddress, connectionType);
}

ORV_CARDLIB_EXPORT std::int32_t DNFree(std::int32_t nodeAddress, std::int32_t connectionType, std::uint8_t*)
{
    return ConnectionRequest(false, nodeAddress, connectionType);
}

ORV_CARDLIB_EXPORT std::int32_t DNGetAttribute(std::int32_t nodeAddress, std::int32_t classId, std::int32_t instance,
                                               std::int32_t attribute, std::uint8_t* buffer)
{
    std::lock_guard lock(state().mutex);
    if (!state().master) {
        return kNotOpen;
    }
    return state().master->DNGetAttribute(nodeAddress, classId, instance, attribute, buffer) == 0 ? 0 : kNoAnswer;
}

ORV_CARDLIB_EXPORT std::int32_t DNSetAttribute(std::int32_t nodeAddress, std::int32_t classId, std::int32_t instance,
                                               std::int32_t attribute, std::int32_t length, std::uint8_t* buffer)
{
    std::lock_guard lock(state().mutex);
    if (!state().master) {
        return kNotOpen;
    }
    return state().master->DNSetAttribute(nodeAddress, classId, instance, attribute, length, buffer) == 0 ? 0
                                                                                                         : kNoAnswer;
}

ORV_CARDLIB_EXPORT std::int32_t CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* buffer)
{
    std::lock_guard lock(state().mutex);
    if (!state().master) {
        return kNotOpen;
    }
    CanFrame frame;
    if (!state().library->ReceiveFrame(frame)) {
        return kNothingReceived;
    }
    const std::uint8_t count = frame.dataLength();
    if (identifier != nullptr) {
        *identifier = frame.identifier;
    }
    if (length != nullptr) {
        *length = count;
    }
    if (buffer != nullptr) {
        std::memcpy(buffer + kReceiveDataOffset, frame.data.data(), count);
    }
    return 0;
}

ORV_CARDLIB_EXPORT std::int32_t CANXmit(std::int32_t identifier, std::int32_t length, const std::uint8_t* data)
{
    std::lock_guard lock(state().mutex);
    if (!state().master) {
        return kNotOpen;
    }
    return state().master->Port().CANXmit(identifier, length, data) == 0 ? 0 : kBusUnavailable;
}

#ifndef ORV_OMIT_DNPOLL
ORV_CARDLIB_EXPORT std::int32_t DNPoll(std::int32_t txIdentifier, std::int32_t txLength, std::uint16_t* rxIdentifier,
                                       std::uint16_t* rxLength, std::uint8_t* buffer)
{
    std::lock_guard lock(state().mutex);
    if (!state().master) {
        return kNotOpen;
    }
    switch (state().master->DNPoll(txIdentifier, txLength, rxIdentifier, rxLength, buffer)) {
    case 0: return 0;
    case DeviceNetMaster::kPollCommandRefused: return kBusUnavailable;
    case DeviceNetMaster::kPollMalformedResponse: return kMalformedResponse;
    default: return kNoAnswer;
    }
}
#endif
