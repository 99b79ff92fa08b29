#pragma once
// Registration of an in-process server's class (and its type library) in the class registry, as
// the server's DllRegisterServer and DllUnregisterServer do it; and, for tools, running those two
// exports of a library file.
//
// RegisterServer writes, in one update of the registry (P = progId, V = versionIndependentProgId,
// C = the CLSID and L = the LIBID in "{...}" form):
//
//     [P]                                 @ = classDescription
//     [P\CLSID]                           @ = C
//     [V]                                 @ = classDescription
//     [V\CLSID]                           @ = C
//     [V\CurVer]                          @ = P
//     [CLSID\C]                           @ = classDescription    (the whole tree rewritten)
//     [CLSID\C\ProgID]                    @ = P
//     [CLSID\C\VersionIndependentProgID]  @ = V
//     [CLSID\C\Programmable]              (no values)
//     [CLSID\C\InprocServer32]            @ = the library's full path, ThreadingModel = threadingModel
//     [CLSID\C\TypeLib]                   @ = L
//
// and, with a type library, its registration: the library's description, where its description
// lives (the server file itself), and one key per interface:
//
//     [TypeLib\L\<version>]               @ = libDescription
//     [TypeLib\L\<version>\<lcid>\linux64] @ = the library's full path   (<lcid> in hex: "409")
//     [TypeLib\L\<version>\FLAGS]         @ = "0"
//     [TypeLib\L\<version>\HELPDIR]       @ = the library's folder
//     [Interface\I]                       @ = the interface's name
//     [Interface\I\TypeLib]               @ = L, Version = <version>
//
// The V keys are left out when V is empty; the TypeLib and Interface keys and CLSID\C\TypeLib
// when libId is GUID_NULL; ThreadingModel when threadingModel is empty. Parents are created as
// needed (CLSID, TypeLib, Interface), and values other keys hold are kept.
//
// UnregisterServer removes the P, V, CLSID\C, TypeLib\L\<version> and Interface\I trees, and
// TypeLib\L once no version is left; never the shared roots CLSID, TypeLib and Interface.

#include "platform/automation/Guid.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Result.h"
#include "platform/automation/TypeInfo.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace orv::platform::automation {

struct ServerRegistration {
    CLSID clsid;
    std::string_view classDescription;
    std::string_view progId;
    std::string_view versionIndependentProgId;
    std::string_view threadingModel;
    GUID libId;
    std::string_view libVersion;
    std::uint32_t libLocale;
    std::string_view libDescription;
    std::span<const InterfaceInfo* const> interfaces;
};

// Writes the keys above for the library at `serverPath` into `registry` (the default registry
// when not given). S_OK; SELFREG_E_CLASS when the path is empty or relative, a name cannot be
// stored, or the registry cannot be written.
HRESULT RegisterServer(const ServerRegistration& server, const std::filesystem::path& serverPath,
                       const Registry& registry);
HRESULT RegisterServer(const ServerRegistration& server, const std::filesystem::path& serverPath);

// Removes the keys above. S_OK (also when they were not there) or SELFREG_E_CLASS when the
// registry cannot be written.
HRESULT UnregisterServer(const ServerRegistration& server, const Registry& registry);
HRESULT UnregisterServer(const ServerRegistration& server);

// The full path of the loaded library (or program) that contains `address`, as it was loaded and
// made absolute; empty when the address lies in none. A server passes the address of a function
// of its own with internal linkage: ModulePath(reinterpret_cast<const void*>(&CreateMyObject)).
std::filesystem::path ModulePath(const void* address);

// Loads the server library at `libraryPath`, calls its DllRegisterServer (or
// DllUnregisterServer) and releases it again. The library's result; HRESULT_MOD_NOT_FOUND when
// it cannot be loaded, CO_E_ERRORINDLL when it lacks the export. `errorText` (may be null)
// receives why on failure.
HRESULT RegisterServerLibrary(const std::filesystem::path& libraryPath, std::string* errorText = nullptr);
HRESULT UnregisterServerLibrary(const std::filesystem::path& libraryPath, std::string* errorText = nullptr);

} // namespace orv::platform::automation
