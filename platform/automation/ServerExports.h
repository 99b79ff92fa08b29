#pragma once
// The four C functions an in-process server library exports, found by name when a client creates
// one of its classes or when the library is registered. A server includes this header and defines
// them (ModulePath is given the address of a function of the library's own with internal linkage,
// which no other library's symbol can stand in for):
//
//     platform::automation::HRESULT DllGetClassObject(const platform::automation::CLSID* clsid, const platform::automation::IID* iid, void** object)
//     {
//         return platform::automation::GetClassObject(clsid, iid, object, kClsid, factory);
//     }
//     platform::automation::HRESULT DllCanUnloadNow() { return locks.IsLocked() ? platform::automation::S_FALSE : platform::automation::S_OK; }
//     platform::automation::HRESULT DllRegisterServer()
//     {
//         return platform::automation::RegisterServer(kRegistration, platform::automation::ModulePath(reinterpret_cast<const void*>(&OwnFunction)));
//     }
//     platform::automation::HRESULT DllUnregisterServer() { return platform::automation::UnregisterServer(kRegistration); }
//
// Build a server library with hidden visibility (CMake: CXX_VISIBILITY_PRESET hidden and
// VISIBILITY_INLINES_HIDDEN ON). The exports stay visible through ORV_SERVER_EXPORT; everything
// else stays private to the library, and in particular its inline constants (type descriptions,
// interface identifiers) do not become GNU unique symbols, which would make the dynamic loader
// keep the library loaded for good and CoFreeUnusedLibraries unable to release it.

#include "platform/automation/Guid.h"
#include "platform/automation/Result.h"

#define ORV_SERVER_EXPORT __attribute__((visibility("default")))

extern "C" {

// The class object (class factory) of class *clsid as interface *iid; CLASS_E_CLASSNOTAVAILABLE
// when the library does not serve that class.
ORV_SERVER_EXPORT orv::platform::automation::HRESULT DllGetClassObject(const orv::platform::automation::CLSID* clsid, const orv::platform::automation::IID* iid,
                                                      void** object);
// S_OK when no object of the library is alive and no server lock is held, so that the library may
// be unloaded; S_FALSE otherwise.
ORV_SERVER_EXPORT orv::platform::automation::HRESULT DllCanUnloadNow(void);
// Writes the library's classes into the registry (see Registration.h); S_OK or SELFREG_E_CLASS.
ORV_SERVER_EXPORT orv::platform::automation::HRESULT DllRegisterServer(void);
// Removes what DllRegisterServer wrote; S_OK or SELFREG_E_CLASS.
ORV_SERVER_EXPORT orv::platform::automation::HRESULT DllUnregisterServer(void);

} // extern "C"

namespace orv::platform::automation {

using DllGetClassObjectFunction = HRESULT (*)(const CLSID* clsid, const IID* iid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();
using DllUnregisterServerFunction = HRESULT (*)();

} // namespace orv::platform::automation
