#include "platform/automation/Creation.h"

#include "platform/DynamicLibrary.h"
#include "platform/automation/Registry.h"
#include "platform/automation/ServerExports.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace orv::com {

namespace {

// How many CurVer links CLSIDFromProgID follows; guards against a loop of ProgIDs.
constexpr int kMaxCurVerLinks = 4;

struct LoadedServer {
    std::string path;
    platform::DynamicLibrary library;
    DllGetClassObjectFunction getClassObject = nullptr;
    DllCanUnloadNowFunction canUnloadNow = nullptr;
};

struct ServerTable {
    // Re-entrant: a server may create objects of other servers while it hands out its own.
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<LoadedServer>> servers;
};

// Never destroyed: a library must not be unloaded behind objects that outlive main().
ServerTable& Servers()
{
    static ServerTable* table = new ServerTable;
    return *table;
}

void SetError(std::string* errorText, HRESULT result, const std::string& detail)
{
    if (errorText != nullptr) {
        *errorText = ResultText(result) + ": " + detail;
    }
}

std::optional<CLSID> RegisteredClsid(const RegistryDocument& registry, std::string_view progId)
{
    const std::optional<std::string> text = registry.GetValue(std::string(progId) + "\\CLSID");
    return text ? ParseGuid(*text) : std::nullopt;
}

// The loaded server library at `path`, loading it now if needed; null (and the error) on failure.
LoadedServer* FindOrLoad(const std::string& path, const CLSID& clsid, HRESULT& result, std::string* errorText)
{
    ServerTable& table = Servers();
    for (const auto& server : table.servers) {
        if (server->path == path) {
            return server.get();
        }
    }
    auto server = std::make_unique<LoadedServer>();
    server->path = path;
    server->library = platform::DynamicLibrary::Load(path);
    if (!server->library) {
        result = HRESULT_MOD_NOT_FOUND;
        SetError(errorText, result,
                 "cannot load " + path + " for class " + GuidToString(clsid) + " (" + platform::LastLoadError() + ")");
        return nullptr;
    }
    server->getClassObject = server->library.FindFunction<DllGetClassObjectFunction>("DllGetClassObject");
    if (server->getClassObject == nullptr) {
        result = CO_E_ERRORINDLL;
        SetError(errorText, result, path + " does not export DllGetClassObject");
        return nullptr;
    }
    server->canUnloadNow = server->library.FindFunction<DllCanUnloadNowFunction>("DllCanUnloadNow");
    table.servers.push_back(std::move(server));
    return table.servers.back().get();
}

// CoGetClassObject, also telling the library's path.
HRESULT GetClassObject(const CLSID& clsid, const IID& iid, void** object, std::string& path, std::string* errorText)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    const std::string classKey = "CLSID\\" + GuidToString(clsid);
    std::string why;
    const std::optional<RegistryDocument> registry = ReadClassesRoot(&why);
    if (!registry) {
        SetError(errorText, REGDB_E_READREGDB, why);
        return REGDB_E_READREGDB;
    }
    const std::optional<std::string> registered = registry->GetValue(classKey + "\\InprocServer32");
    if (!registered || registered->empty()) {
        SetError(errorText, REGDB_E_CLASSNOTREG, "no server library is registered for class " + GuidToString(clsid));
        return REGDB_E_CLASSNOTREG;
    }
    path = *registered;

    std::lock_guard lock(Servers().mutex);
    HRESULT result = S_OK;
    LoadedServer* server = FindOrLoad(path, clsid, result, errorText);
    if (server == nullptr) {
        return result;
    }
    result = server->getClassObject(&clsid, &iid, object);
    if (FAILED(result)) {
        *object = nullptr;
        SetError(errorText, result,
                 result == CLASS_E_CLASSNOTAVAILABLE
                     ? path + " does not serve class " + GuidToString(clsid)
                     : "class object of " + GuidToString(clsid) + " from " + path);
    }
    return result;
}

} // namespace

HRESULT CLSIDFromString(std::string_view text, CLSID* clsid)
{
    if (clsid == nullptr) {
        return E_POINTER;
    }
    const std::optional<GUID> parsed = ParseGuid(text);
    if (!parsed) {
        *clsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    *clsid = *parsed;
    return S_OK;
}

HRESULT CLSIDFromProgID(std::string_view progId, CLSID* clsid, std::string* errorText)
{
    if (clsid == nullptr) {
        return E_POINTER;
    }
    *clsid = GUID_NULL;
    const std::string original(progId);
    if (progId.empty() || progId.find('\\') != std::string_view::npos) {
        SetError(errorText, CO_E_CLASSSTRING, "\"" + original + "\" is not a ProgID");
        return CO_E_CLASSSTRING;
    }
    std::string why;
    const std::optional<RegistryDocument> root = ReadClassesRoot(&why);
    if (!root) {
        SetError(errorText, REGDB_E_READREGDB, why);
        return REGDB_E_READREGDB;
    }
    const RegistryDocument& registry = *root;
    std::string current = original;
    for (int link = 0; link <= kMaxCurVerLinks; ++link) {
        if (const std::optional<CLSID> found = RegisteredClsid(registry, current)) {
            *clsid = *found;
            return S_OK;
        }
        const std::optional<std::string> next = registry.GetValue(current + "\\CurVer");
        if (!next || next->empty() || next->find('\\') != std::string::npos) {
            break;
        }
        current = *next;
    }
    SetError(errorText, CO_E_CLASSSTRING,
             registry.HasKey(original) ? "ProgID \"" + original + "\" names no valid CLSID"
                                       : "ProgID \"" + original + "\" is not registered");
    return CO_E_CLASSSTRING;
}

HRESULT CoGetClassObject(const CLSID& clsid, const IID& iid, void** object, std::string* errorText)
{
    std::string path;
    return GetClassObject(clsid, iid, object, path, errorText);
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, const IID& iid, void** object, std::string* errorText)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    std::string path;
    ComPtr<IClassFactory> factory;
    HRESULT result = GetClassObject(clsid, IID_IClassFactory, factory.Receive(), path, errorText);
    if (FAILED(result)) {
        return result;
    }
    result = factory->CreateInstance(outer, iid, object);
    if (FAILED(result)) {
        *object = nullptr;
        SetError(errorText, result, "creating an object of class " + GuidToString(clsid) + " from " + path);
    }
    return result;
}

std::size_t CoFreeUnusedLibraries()
{
    ServerTable& table = Servers();
    std::lock_guard lock(table.mutex);
    const auto released = std::erase_if(table.servers, [](const std::unique_ptr<LoadedServer>& server) {
        return server->canUnloadNow != nullptr && server->canUnloadNow() == S_OK;
    });
    return released;
}

HRESULT CreateDispatch(std::string_view progId, ComPtr<IDispatch>& dispatch, std::string* errorText)
{
    dispatch.Reset();
    CLSID clsid{};
    HRESULT result = S_OK;
    if (progId.starts_with('{')) {
        result = CLSIDFromString(progId, &clsid);
        if (FAILED(result)) {
            SetError(errorText, result, "\"" + std::string(progId) + "\" is not a CLSID");
        }
    } else {
        result = CLSIDFromProgID(progId, &clsid, errorText);
    }
    if (FAILED(result)) {
        return result;
    }
    return CoCreateInstance(clsid, nullptr, IID_IDispatch, dispatch.Receive(), errorText);
}

} // namespace orv::com
