#pragma once
// The three cards' interface libraries, loaded by the procedure of InterfaceLibrary.h, with
// their entry points found by name:
// - VORA and SYSTEC: each function looked up on its own; one the library lacks stays null and
//   only the operation that needs it fails.
// - SST: all twenty-one C2A functions are required; the lookup stops at the first missing one
//   and the library is released. The card driver file is not loaded here but handed by path to
//   the C2A library's C2A_LoadDriver, whose zero result counts as a failure to load.
// - The receive waits (C2A_WaitReceive, UcanWaitCanMsg) are optional: a library without one
//   loads as before, and the driver asks it again and again while it waits for a frame.
// Every function takes the profile to use; the overloads without one use the driver library's.

#include "driver/cards/C2aApi.h"
#include "driver/cards/Drv712Api.h"
#include "driver/cards/InterfaceLibrary.h"
#include "driver/cards/UsbCanApi.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace orv::cards {

struct VoraFunctions {
    drv712::DNAllocateFn DNAllocate = nullptr;
    drv712::DNFreeFn DNFree = nullptr;
    drv712::DNGetAttributeFn DNGetAttribute = nullptr;
    drv712::DNSetAttributeFn DNSetAttribute = nullptr;
    drv712::CANRcvFn CANRcv = nullptr;
    drv712::CANXmitFn CANXmit = nullptr;
    drv712::LoadVXDFn LoadVXD = nullptr;
    drv712::UnloadVXDFn UnloadVXD = nullptr;
    drv712::DNPollFn DNPoll = nullptr;
};

struct C2aFunctions {
    c2a::CloseCardFn C2A_CloseCard = nullptr;
    c2a::DriverFn C2A_Driver = nullptr;
    c2a::FreeDriverFn C2A_FreeDriver = nullptr;
    c2a::GetBusStatusFn C2A_GetBusStatus = nullptr;
    c2a::GetCANCountersFn C2A_GetCANCounters = nullptr;
    c2a::GetCardStatusFn C2A_GetCardStatus = nullptr;
    c2a::GetModuleHeaderFn C2A_GetModuleHeader = nullptr;
    c2a::LoadDriverFn C2A_LoadDriver = nullptr;
    c2a::ModifyFilterFn C2A_ModifyFilter = nullptr;
    c2a::OfflineFn C2A_Offline = nullptr;
    c2a::OnlineFn C2A_Online = nullptr;
    c2a::OpenCardFn C2A_OpenCard = nullptr;
    c2a::RegisterBusStatusEventFn C2A_RegisterBusStatusEvent = nullptr;
    c2a::RegisterReceiveEventFn C2A_RegisterReceiveEvent = nullptr;
    c2a::ReceiveFn C2A_Receive = nullptr;
    c2a::SetEventNotificationIntervalFn C2A_SetEventNotificationInterval = nullptr;
    c2a::SendFn C2A_Send = nullptr;
    c2a::UnRegisterBusStatusEventFn C2A_UnRegisterBusStatusEvent = nullptr;
    c2a::UnRegisterReceiveEventFn C2A_UnRegisterReceiveEvent = nullptr;
    c2a::VerifyCardHandleFn C2A_VerifyCardHandle = nullptr;
    c2a::VersionFn C2A_Version = nullptr;
    c2a::WaitReceiveFn C2A_WaitReceive = nullptr; // optional
};

struct UsbCanFunctions {
    usbcan::InitHardwareFn UcanInitHardware = nullptr;
    usbcan::DeinitHardwareFn UcanDeinitHardware = nullptr;
    usbcan::InitCanFn UcanInitCan = nullptr;
    usbcan::DeinitCanFn UcanDeinitCan = nullptr;
    usbcan::ReadCanMsgFn UcanReadCanMsg = nullptr;
    usbcan::WriteCanMsgFn UcanWriteCanMsg = nullptr;
    usbcan::WaitCanMsgFn UcanWaitCanMsg = nullptr; // optional
};

// Entry points of a loaded library. Resolving from an empty library leaves every one null.
VoraFunctions ResolveVoraFunctions(const platform::DynamicLibrary& library);
UsbCanFunctions ResolveUsbCanFunctions(const platform::DynamicLibrary& library);
// All or nothing: nullopt as soon as one is missing.
std::optional<C2aFunctions> ResolveC2aFunctions(const platform::DynamicLibrary& library);

// The library and its functions; after a cancel the library is empty and every function null.
struct VoraLibrary {
    platform::DynamicLibrary library;
    VoraFunctions functions;
};
struct UsbCanLibrary {
    platform::DynamicLibrary library;
    UsbCanFunctions functions;
};

VoraLibrary LoadVoraLibrary(platform::Profile& profile);
VoraLibrary LoadVoraLibrary();
UsbCanLibrary LoadUsbCanLibrary(platform::Profile& profile);
UsbCanLibrary LoadUsbCanLibrary();

// How loading the C2A library ended; the values are the card's status codes for these failures.
enum class C2aLoadOutcome : std::uint8_t {
    Loaded = 0,
    Cancelled = 1,         // the user cancelled the file dialog
    EntryPointMissing = 2, // the library loaded but lacks a function; it has been released
};

struct C2aLibrary {
    C2aLoadOutcome outcome = C2aLoadOutcome::Cancelled;
    platform::DynamicLibrary library; // loaded only when outcome is Loaded
    C2aFunctions functions;           // all set when Loaded (but perhaps the optional wait), else all null
};

C2aLibrary LoadC2aLibrary(platform::Profile& profile);
C2aLibrary LoadC2aLibrary();

// Hands the card driver file (key SST_SPECIFIC) to `loadDriver`, normally the loaded library's
// C2A_LoadDriver, asking for another file while it returns 0. True once it returned non-zero,
// false when the user cancelled or `loadDriver` is empty.
using CardDriverLoader = std::function<int(const char* path)>;
bool LoadSstCardDriver(platform::Profile& profile, const CardDriverLoader& loadDriver);
bool LoadSstCardDriver(const CardDriverLoader& loadDriver);

} // namespace orv::cards
