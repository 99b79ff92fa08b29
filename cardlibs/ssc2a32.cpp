// Stand-in of the SST C2A interface library: one card, reached as a raw CAN port on a canbus bus.
// It needs its card driver file loaded (C2A_LoadDriver) before a card opens, and goes on the bus
// at C2A_Online with the rate code's bit rate. Its C2A_WaitReceive lets the driver sleep until a
// message comes.

#include "cardlibs/StandIn.h"
#include "driver/cards/C2aApi.h"
#include "platform/LittleEndian.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

namespace {

using namespace orv::cards;
using orv::platform::GetLe16;
using orv::platform::PutLe16;

constexpr std::uint32_t kCardHandle = 0x5C2A0001;

struct State {
    std::mutex mutex;
    void* driver = nullptr;
    bool cardOpen = false;
    std::string cardName;
    orv::cardlibs::SharedBus bus;
};

State& state()
{
    static State s;
    return s;
}

bool ValidCard(std::uint32_t handle)
{
    return state().cardOpen && handle == kCardHandle;
}

std::uint32_t Bitrate(std::int32_t rateCode)
{
    switch (rateCode) {
    case c2a::kRate250k: return 250000;
    case c2a::kRate500k: return 500000;
    default: return 125000;
    }
}

// Loads the card driver file; a bare file name is also looked for beside this library.
void* OpenDriverFile(const char* path)
{
    void* driver = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (driver != nullptr || std::strchr(path, '/') != nullptr) {
        return driver;
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OpenDriverFile), &info) == 0 || info.dli_fname == nullptr) {
        return nullptr;
    }
    std::string folder = info.dli_fname;
    folder.erase(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
    return folder.empty() ? nullptr : dlopen((folder + "/" + path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

int Refused(const char* function)
{
    errno = EIO;
    (void)function;
    return 0;
}

} // namespace

ORV_CARDLIB_EXPORT int C2A_LoadDriver(const char* path)
{
    if (orv::cardlibs::Refuses("C2A_LoadDriver") || path == nullptr) {
        return Refused("C2A_LoadDriver");
    }
    std::lock_guard lock(state().mutex);
    void* driver = OpenDriverFile(path);
    if (driver == nullptr) {
        errno = ENOENT;
        return 0;
    }
    if (dlsym(driver, "SSDN_DriverInfo") == nullptr) {
        dlclose(driver); // not a card driver file
        errno = ENOEXEC;
        return 0;
    }
    if (state().driver != nullptr) {
        dlclose(state().driver);
    }
    state().driver = driver;
    return 1;
}

ORV_CARDLIB_EXPORT int C2A_FreeDriver()
{
    std::lock_guard lock(state().mutex);
    if (state().driver != nullptr) {
        dlclose(state().driver);
        state().driver = nullptr;
    }
    return 1;
}

ORV_CARDLIB_EXPORT int C2A_OpenCard(std::uint32_t* cardHandle, const char* cardName, std::int32_t, std::int32_t,
                                    std::int32_t)
{
    if (orv::cardlibs::Refuses("C2A_OpenCard") || cardHandle == nullptr) {
        return Refused("C2A_OpenCard");
    }
    std::lock_guard lock(state().mutex);
    if (state().driver == nullptr) {
        errno = ENODEV;
        return 0;
    }
    state().cardName = cardName != nullptr ? std::string(cardName, strnlen(cardName, 64)) : std::string();
    state().cardOpen = true;
    *cardHandle = kCardHandle;
    return 1;
}

ORV_CARDLIB_EXPORT int C2A_CloseCard(std::uint32_t cardHandle)
{
    std::lock_guard lock(state().mutex);
    if (!ValidCard(cardHandle)) {
        return 0;
    }
    orv::cardlibs::LeaveBus(state().bus);
    state().cardOpen = false;
    return 1;
}

ORV_CARDLIB_EXPORT int C2A_GetModuleHeader(std::uint32_t cardHandle, std::uint8_t* header)
{
    if (orv::cardlibs::Refuses("C2A_GetModuleHeader")) {
        return Refused("C2A_GetModuleHeader");
    }
    std::lock_guard lock(state().mutex);
    if (!ValidCard(cardHandle) || header == nullptr) {
        return 0;
    }
    std::memset(header, 0, c2a::kModuleHeaderSize);
    static constexpr char kName[] = "DN stand-in module";
    std::memcpy(header, kName, sizeof kName);
    return 1;
}

ORV_CARDLIB_EXPORT int C2A_Online(std::uint32_t cardHandle, std::int32_t rateCode, std::int32_t, std::int32_t)
{
    if (orv::cardlibs::Refuses("C2A_Online")) {
        return Refused("C2A_Online");
    }
    std::lock_guard lock(state().mutex);
    if (!ValidCard(cardHandle)) {
        return 0;
    }
    orv::cardlibs::LeaveBus(state().bus);
    state().bus = orv::cardlibs::OpenChosenBus(state().cardName, Bitrate(rateCode));
    if (!state().bus) {
        errno = ENETDOWN;
        return 0;
    }
    return 1;
}

ORV_CARDLIB_EXPORT int C2A_Offline(std::uint32_t cardHandle)
{
    std::lock_guard lock(state().mutex);
    if (!ValidCard(cardHandle)) {
        return 0;
    }
    orv::cardlibs::LeaveBus(state().bus);
    return 1;
}

ORV_CARDLIB_EXPORT int C2A_ModifyFilter(std::uint32_t cardHandle, std::int32_t, std::int32_t)
{
    if (orv::cardlibs::Refuses("C2A_ModifyFilter")) {
        return Refused("C2A_ModifyFilter");
    }
    std::lock_guard lock(state().mutex);
    return ValidCard(cardHandle) ? 1 : 0;
}

ORV_CARDLIB_EXPORT int C2A_Receive(std::uint32_t cardHandle, std::uint8_t* message)
{
    std::lock_guard lock(state().mutex);
    if (!ValidCard(cardHandle) || !state().bus || message == nullptr) {
        return 0;
    }
    canbus::Frame frame;
    if (!orv::cardlibs::TakeDataFrame(*state().bus, frame)) {
        return 0;
    }
    PutLe16(message + c2a::kMessageIdentifier, static_cast<std::uint16_t>(frame.id));
    message[c2a::kMessageLength] = frame.length;
    std::memcpy(message + c2a::kMessageData, frame.data.data(), frame.length);
    return 1;
}

// Sleeps until a message is pending (1), or the time has passed or the card closed (0).
ORV_CARDLIB_EXPORT int C2A_WaitReceive(std::uint32_t cardHandle, std::uint32_t milliseconds)
{
    orv::cardlibs::SharedBus bus;
    {
        std::lock_guard lock(state().mutex);
        if (!ValidCard(cardHandle)) {
            return 0;
        }
        bus = state().bus;
    }
    return bus && bus->WaitForFrame(std::chrono::milliseconds(milliseconds)) ? 1 : 0;
}

ORV_CARDLIB_EXPORT int C2A_Send(std::uint32_t cardHandle, const std::uint8_t* message)
{
    if (orv::cardlibs::Refuses("C2A_Send")) {
        return Refused("C2A_Send");
    }
    std::lock_guard lock(state().mutex);
    if (!ValidCard(cardHandle) || !state().bus || message == nullptr) {
        return 0;
    }
    canbus::Frame frame;
    frame.id = GetLe16(message + c2a::kMessageIdentifier);
    frame.length = message[c2a::kMessageLength];
    if (frame.length > 8 || frame.id > 0x7FF) {
        errno = EINVAL;
        return 0;
    }
    std::memcpy(frame.data.data(), message + c2a::kMessageData, frame.length);
    return state().bus->Send(frame) ? 1 : 0;
}

// The rest of the library: present, never needed by a raw CAN port.
namespace {
int Answer(std::uint32_t cardHandle)
{
    std::lock_guard lock(state().mutex);
    return ValidCard(cardHandle) ? 1 : 0;
}
} // namespace

ORV_CARDLIB_EXPORT int C2A_Driver() { return 1; }
ORV_CARDLIB_EXPORT int C2A_GetBusStatus(std::uint32_t cardHandle, std::int32_t* status)
{
    if (status != nullptr) {
        *status = 0;
    }
    return Answer(cardHandle);
}
ORV_CARDLIB_EXPORT int C2A_GetCANCounters(std::uint32_t cardHandle, std::uint32_t* counters)
{
    if (counters != nullptr) {
        counters[0] = 0;
        counters[1] = 0;
    }
    return Answer(cardHandle);
}
ORV_CARDLIB_EXPORT int C2A_GetCardStatus(std::uint32_t cardHandle, std::int32_t* status)
{
    const int valid = Answer(cardHandle);
    if (status != nullptr) {
        *status = valid;
    }
    return valid;
}
ORV_CARDLIB_EXPORT int C2A_RegisterBusStatusEvent(std::uint32_t cardHandle, void*) { return Answer(cardHandle); }
ORV_CARDLIB_EXPORT int C2A_RegisterReceiveEvent(std::uint32_t cardHandle, void*) { return Answer(cardHandle); }
ORV_CARDLIB_EXPORT int C2A_SetEventNotificationInterval(std::uint32_t cardHandle, std::int32_t) { return Answer(cardHandle); }
ORV_CARDLIB_EXPORT int C2A_UnRegisterBusStatusEvent(std::uint32_t cardHandle) { return Answer(cardHandle); }
ORV_CARDLIB_EXPORT int C2A_UnRegisterReceiveEvent(std::uint32_t cardHandle) { return Answer(cardHandle); }
ORV_CARDLIB_EXPORT int C2A_VerifyCardHandle(std::uint32_t cardHandle) { return Answer(cardHandle); }
#ifndef ORV_OMIT_C2A_VERSION
ORV_CARDLIB_EXPORT int C2A_Version() { return 0x0200; }
#endif
