#include "driver/cards/CardLibraries.h"

namespace orv::cards {

namespace {

template <typename F>
bool Take(const platform::DynamicLibrary& library, const char* name, F& slot)
{
    slot = library.FindFunction<F>(name);
    return slot != nullptr;
}

// The member is named after the exported function, so one spelling serves both.
#define ORV_TAKE(functions, name) Take(library, #name, (functions).name)

} // namespace

VoraFunctions ResolveVoraFunctions(const platform::DynamicLibrary& library)
{
    VoraFunctions f;
    ORV_TAKE(f, DNAllocate);
    ORV_TAKE(f, DNFree);
    ORV_TAKE(f, DNGetAttribute);
    ORV_TAKE(f, DNSetAttribute);
    ORV_TAKE(f, CANRcv);
    ORV_TAKE(f, CANXmit);
    ORV_TAKE(f, LoadVXD);
    ORV_TAKE(f, UnloadVXD);
    ORV_TAKE(f, DNPoll);
    return f;
}

UsbCanFunctions ResolveUsbCanFunctions(const platform::DynamicLibrary& library)
{
    UsbCanFunctions f;
    ORV_TAKE(f, UcanInitHardware);
    ORV_TAKE(f, UcanDeinitHardware);
    ORV_TAKE(f, UcanInitCan);
    ORV_TAKE(f, UcanDeinitCan);
    ORV_TAKE(f, UcanReadCanMsg);
    ORV_TAKE(f, UcanWriteCanMsg);
    ORV_TAKE(f, UcanWaitCanMsg);
    return f;
}

std::optional<C2aFunctions> ResolveC2aFunctions(const platform::DynamicLibrary& library)
{
    C2aFunctions f;
    const bool complete = ORV_TAKE(f, C2A_CloseCard) && ORV_TAKE(f, C2A_Driver) && ORV_TAKE(f, C2A_FreeDriver) &&
                          ORV_TAKE(f, C2A_GetBusStatus) && ORV_TAKE(f, C2A_GetCANCounters) &&
                          ORV_TAKE(f, C2A_GetCardStatus) && ORV_TAKE(f, C2A_GetModuleHeader) &&
                          ORV_TAKE(f, C2A_LoadDriver) && ORV_TAKE(f, C2A_ModifyFilter) && ORV_TAKE(f, C2A_Offline) &&
                          ORV_TAKE(f, C2A_Online) && ORV_TAKE(f, C2A_OpenCard) &&
                          ORV_TAKE(f, C2A_RegisterBusStatusEvent) && ORV_TAKE(f, C2A_RegisterReceiveEvent) &&
                          ORV_TAKE(f, C2A_Receive) && ORV_TAKE(f, C2A_SetEventNotificationInterval) &&
                          ORV_TAKE(f, C2A_Send) && ORV_TAKE(f, C2A_UnRegisterBusStatusEvent) &&
                          ORV_TAKE(f, C2A_UnRegisterReceiveEvent) && ORV_TAKE(f, C2A_VerifyCardHandle) &&
                          ORV_TAKE(f, C2A_Version);
    if (!complete) {
        return std::nullopt;
    }
    ORV_TAKE(f, C2A_WaitReceive);
    return f;
}

#undef ORV_TAKE

VoraLibrary LoadVoraLibrary(platform::Profile& profile)
{
    VoraLibrary loaded;
    loaded.library = LoadInterfaceLibrary(profile, InterfaceLibraryId::Vora);
    loaded.functions = ResolveVoraFunctions(loaded.library);
    return loaded;
}

VoraLibrary LoadVoraLibrary()
{
    platform::Profile profile = DriverProfile();
    return LoadVoraLibrary(profile);
}

UsbCanLibrary LoadUsbCanLibrary(platform::Profile& profile)
{
    UsbCanLibrary loaded;
    loaded.library = LoadInterfaceLibrary(profile, InterfaceLibraryId::Systec);
    loaded.functions = ResolveUsbCanFunctions(loaded.library);
    return loaded;
}

UsbCanLibrary LoadUsbCanLibrary()
{
    platform::Profile profile = DriverProfile();
    return LoadUsbCanLibrary(profile);
}

C2aLibrary LoadC2aLibrary(platform::Profile& profile)
{
    C2aLibrary loaded;
    platform::DynamicLibrary library = LoadInterfaceLibrary(profile, InterfaceLibraryId::Sst);
    if (!library) {
        loaded.outcome = C2aLoadOutcome::Cancelled;
        return loaded;
    }
    const auto functions = ResolveC2aFunctions(library);
    if (!functions) {
        loaded.outcome = C2aLoadOutcome::EntryPointMissing;
        return loaded; // `library` is released here
    }
    loaded.outcome = C2aLoadOutcome::Loaded;
    loaded.library = std::move(library);
    loaded.functions = *functions;
    return loaded;
}

C2aLibrary LoadC2aLibrary()
{
    platform::Profile profile = DriverProfile();
    return LoadC2aLibrary(profile);
}

bool LoadSstCardDriver(platform::Profile& profile, const CardDriverLoader& loadDriver)
{
    if (!loadDriver) {
        return false;
    }
    const auto located = LocateInterfaceLibrary(profile, TextOf(InterfaceLibraryId::SstSpecific),
                                                [&loadDriver](const std::string& path) {
                                                    return loadDriver(path.c_str()) != 0;
                                                });
    return located.has_value();
}

bool LoadSstCardDriver(const CardDriverLoader& loadDriver)
{
    platform::Profile profile = DriverProfile();
    return LoadSstCardDriver(profile, loadDriver);
}

} // namespace orv::cards
