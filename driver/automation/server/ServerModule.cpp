// The module of the driver library: the class factory of OrvDeviceNetCom, the four server exports,
// the card back-ends installed at load, and the library's version record.

#include "driver/automation/CardFactory.h"
#include "driver/automation/DriverObject.h"
#include "driver/automation/server/OrvDeviceNetCom.h"
#include "driver/cards/CardTypes.h"
#include "driver/regsvr/ModuleVersion.h"
#include "platform/automation/Object.h"
#include "platform/automation/ServerExports.h"

#include <cstddef>
#include <cstdint>

#ifndef ORV_FILE_VERSION
#error "ORV_FILE_VERSION must name the library's file version"
#endif

namespace orv::automation {
namespace {

orv::platform::automation::HRESULT CreateInstance(orv::platform::automation::IUnknown* outer, const orv::platform::automation::IID& iid, void** object)
{
    return CreateOrvDeviceNetCom(outer, iid, object);
}

orv::platform::automation::ClassFactory factory(&CreateInstance, OrvDeviceNetComLocks());

// The driver object's default factory creates no card; the library serves the three real ones.
[[maybe_unused]] const bool cardsInstalled = (SetCardFactory(cards::CreateCardOfType), true);

#define ORV_VERSION_TEXT                                                                                    \
    "FileDescription=OrvDeviceNetDriver Module\n"                                                           \
    "FileVersion=" ORV_FILE_VERSION "\n"                                                                    \
    "OLESelfRegister=\n"

// An ELF note laid out field by field: three 32-bit words, then owner and text, each padded to 4.
struct VersionNote {
    std::uint32_t ownerSize;
    std::uint32_t textSize;
    std::uint32_t type;
    char owner[(sizeof regsvr::kVersionNoteOwner + 3) / 4 * 4];
    char text[(sizeof ORV_VERSION_TEXT + 3) / 4 * 4];
};
static_assert(offsetof(VersionNote, owner) == 12);
static_assert(offsetof(VersionNote, text) == 12 + sizeof(VersionNote::owner));
static_assert(sizeof(VersionNote) == 12 + sizeof(VersionNote::owner) + sizeof(VersionNote::text));

[[gnu::section(".note.orv.version"), gnu::used, gnu::aligned(4)]] const VersionNote versionNote{
    sizeof regsvr::kVersionNoteOwner, sizeof ORV_VERSION_TEXT, regsvr::kVersionNoteType, "ORV", ORV_VERSION_TEXT};

} // namespace
} // namespace orv::automation


orv::platform::automation::HRESULT DllGetClassObject(const orv::platform::automation::CLSID* clsid, const orv::platform::automation::IID* iid, void** object)
{
    return orv::platform::automation::GetClassObject(clsid, iid, object, orv::automation::kOrvDeviceNetComClsid, orv::automation::factory);
}

// An open driver object keeps the library loaded as well: unloading would close its card behind
// the client, and a later instance would no longer find the open driver.
orv::platform::automation::HRESULT DllCanUnloadNow()
{
    if (orv::automation::OrvDeviceNetComLocks().IsLocked() || orv::automation::CurrentDriver() != nullptr) {
        return orv::platform::automation::S_FALSE;
    }
    return orv::platform::automation::S_OK;
}

orv::platform::automation::HRESULT DllRegisterServer()
{
    return orv::platform::automation::RegisterServer(orv::automation::kOrvDeviceNetComRegistration,
                               orv::platform::automation::ModulePath(reinterpret_cast<const void*>(&orv::automation::CreateInstance)));
}

orv::platform::automation::HRESULT DllUnregisterServer()
{
    return orv::platform::automation::UnregisterServer(orv::automation::kOrvDeviceNetComRegistration);
}
