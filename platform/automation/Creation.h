#pragma once
// Creation of objects of in-process servers, by CLSID or ProgID, as a client does it.
//
// CoCreateInstance looks up CLSID\{...}\InprocServer32 in the class registry (the files of
// Registry.h in their lookup order), loads that library (once; it stays loaded), asks its
// DllGetClassObject for the class factory and the factory for the object. Libraries are released
// only by CoFreeUnusedLibraries, each once its DllCanUnloadNow allows it, so a library stays
// loaded while objects of it live. A library without DllCanUnloadNow stays loaded for the life of
// the process.
//
// Objects are used on the thread that created them; nothing is marshalled. The functions
// themselves may be called from any thread.
//
// Failures, and the `errorText` they leave (each function takes an optional string for it):
// - REGDB_E_READREGDB: a registry file that is there but cannot be read or parsed (Registry.h);
// - CO_E_CLASSSTRING: a ProgID that is not registered (or has no usable CLSID), or a malformed
//   "{...}" CLSID text;
// - REGDB_E_CLASSNOTREG: a CLSID without an InprocServer32 library;
// - HRESULT_MOD_NOT_FOUND: the library cannot be loaded (missing file, unresolved dependency;
//   the text carries the loader's reason);
// - CO_E_ERRORINDLL: the library lacks DllGetClassObject;
// - CLASS_E_CLASSNOTAVAILABLE: its DllGetClassObject does not serve that CLSID;
// - and whatever the factory's CreateInstance answers (E_NOINTERFACE, CLASS_E_NOAGGREGATION ...).
// The text starts with ResultText(result) and then says which class, ProgID or file.

#include "platform/automation/Dispatch.h"
#include "platform/automation/Guid.h"
#include "platform/automation/Result.h"
#include "platform/automation/Unknown.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::com {

// The CLSID of `progId`: the default value of its CLSID subkey; failing that, when it names its
// current version in CurVer (a version-independent ProgID), that ProgID's CLSID.
HRESULT CLSIDFromProgID(std::string_view progId, CLSID* clsid, std::string* errorText = nullptr);

// The CLSID written as "{...}"; CO_E_CLASSSTRING when malformed.
HRESULT CLSIDFromString(std::string_view text, CLSID* clsid);

// The class object of `clsid` (normally IID_IClassFactory) from its server library.
HRESULT CoGetClassObject(const CLSID& clsid, const IID& iid, void** object, std::string* errorText = nullptr);

// A new object of class `clsid` as its interface `iid`; with `outer`, aggregated into it
// (`iid` must then be IID_IUnknown).
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, const IID& iid, void** object,
                         std::string* errorText = nullptr);

// Asks every server library loaded by CoGetClassObject whether it can be unloaded and releases
// those that say S_OK. Returns how many were released.
std::size_t CoFreeUnusedLibraries();

// The IDispatch of a new object of the class `progId` names (a ProgID, or a CLSID as "{...}").
HRESULT CreateDispatch(std::string_view progId, ComPtr<IDispatch>& dispatch, std::string* errorText = nullptr);

} // namespace orv::com
