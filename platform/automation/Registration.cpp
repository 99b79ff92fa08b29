#include "platform/automation/Registration.h"

#include "platform/DynamicLibrary.h"
#include "platform/automation/ServerExports.h"

#include <cstdio>
#include <dlfcn.h>

namespace orv::platform::automation {

namespace {

namespace fs = std::filesystem;

std::string ClassKey(const ServerRegistration& server)
{
    return "CLSID\\" + GuidToString(server.clsid);
}

std::string LibraryVersionKey(const ServerRegistration& server)
{
    return "TypeLib\\" + GuidToString(server.libId) + "\\" + std::string(server.libVersion);
}

std::string LocaleName(std::uint32_t locale)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(locale));
    return text;
}

bool HasTypeLibrary(const ServerRegistration& server)
{
    return !(server.libId == GUID_NULL);
}

bool WriteClass(RegistryDocument& document, const ServerRegistration& server, const std::string& path)
{
    const std::string clsid = GuidToString(server.clsid);
    const std::string classKey = ClassKey(server);
    const std::string_view progId = server.progId;
    const std::string_view independent = server.versionIndependentProgId;

    bool ok = document.SetValue(progId, {}, server.classDescription) &&
              document.SetValue(std::string(progId) + "\\CLSID", {}, clsid);
    if (!independent.empty()) {
        const std::string key(independent);
        ok = ok && document.SetValue(key, {}, server.classDescription) &&
             document.SetValue(key + "\\CLSID", {}, clsid) && document.SetValue(key + "\\CurVer", {}, progId);
    }
    document.RemoveTree(classKey);
    ok = ok && document.SetValue(classKey, {}, server.classDescription) &&
         document.SetValue(classKey + "\\ProgID", {}, progId);
    if (!independent.empty()) {
        ok = ok && document.SetValue(classKey + "\\VersionIndependentProgID", {}, independent);
    }
    ok = ok && document.CreateKey(classKey + "\\Programmable") &&
         document.SetValue(classKey + "\\InprocServer32", {}, path);
    if (!server.threadingModel.empty()) {
        ok = ok && document.SetValue(classKey + "\\InprocServer32", "ThreadingModel", server.threadingModel);
    }
    if (HasTypeLibrary(server)) {
        ok = ok && document.SetValue(classKey + "\\TypeLib", {}, GuidToString(server.libId));
    }
    return ok;
}

bool WriteTypeLibrary(RegistryDocument& document, const ServerRegistration& server, const fs::path& path)
{
    const std::string libId = GuidToString(server.libId);
    const std::string versionKey = LibraryVersionKey(server);
    bool ok = !server.libVersion.empty() && document.SetValue(versionKey, {}, server.libDescription) &&
              document.SetValue(versionKey + "\\" + LocaleName(server.libLocale) + "\\linux64", {}, path.string()) &&
              document.SetValue(versionKey + "\\FLAGS", {}, "0") &&
              document.SetValue(versionKey + "\\HELPDIR", {}, path.parent_path().string());
    for (const InterfaceInfo* info : server.interfaces) {
        if (info == nullptr) {
            return false;
        }
        const std::string key = "Interface\\" + GuidToString(info->iid);
        ok = ok && document.SetValue(key, {}, info->name) && document.SetValue(key + "\\TypeLib", {}, libId) &&
             document.SetValue(key + "\\TypeLib", "Version", server.libVersion);
    }
    return ok;
}

void RemoveServer(RegistryDocument& document, const ServerRegistration& server)
{
    if (!server.progId.empty()) {
        document.RemoveTree(server.progId);
    }
    if (!server.versionIndependentProgId.empty()) {
        document.RemoveTree(server.versionIndependentProgId);
    }
    document.RemoveTree(ClassKey(server));
    if (HasTypeLibrary(server)) {
        if (!server.libVersion.empty()) {
            document.RemoveTree(LibraryVersionKey(server));
        }
        document.RemoveIfEmpty("TypeLib\\" + GuidToString(server.libId));
        for (const InterfaceInfo* info : server.interfaces) {
            if (info != nullptr) {
                document.RemoveTree("Interface\\" + GuidToString(info->iid));
            }
        }
    }
}

HRESULT RunExport(const fs::path& libraryPath, const char* exportName, std::string* errorText)
{
    platform::DynamicLibrary library = platform::DynamicLibrary::Load(libraryPath.string());
    if (!library) {
        if (errorText != nullptr) {
            *errorText = "Cannot load " + libraryPath.string() + ": " + platform::LastLoadError();
        }
        return HRESULT_MOD_NOT_FOUND;
    }
    const auto function = library.FindFunction<DllRegisterServerFunction>(exportName);
    if (function == nullptr) {
        if (errorText != nullptr) {
            *errorText = libraryPath.string() + " does not export " + exportName;
        }
        return CO_E_ERRORINDLL;
    }
    const HRESULT result = function();
    if (FAILED(result) && errorText != nullptr) {
        *errorText = std::string(exportName) + " of " + libraryPath.string() + " failed: " + ResultText(result);
    }
    return result;
}

} // namespace

HRESULT RegisterServer(const ServerRegistration& server, const fs::path& serverPath, const Registry& registry)
{
    // A ProgID is one key name, never a path.
    if (serverPath.empty() || !serverPath.is_absolute() || server.progId.empty() ||
        server.progId.find('\\') != std::string_view::npos ||
        server.versionIndependentProgId.find('\\') != std::string_view::npos) {
        return SELFREG_E_CLASS;
    }
    const bool written = registry.Update([&](RegistryDocument& document) {
        return WriteClass(document, server, serverPath.string()) &&
               (!HasTypeLibrary(server) || WriteTypeLibrary(document, server, serverPath));
    });
    return written ? S_OK : SELFREG_E_CLASS;
}

HRESULT RegisterServer(const ServerRegistration& server, const fs::path& serverPath)
{
    return RegisterServer(server, serverPath, Registry());
}

HRESULT UnregisterServer(const ServerRegistration& server, const Registry& registry)
{
    const bool written = registry.Update([&](RegistryDocument& document) {
        RemoveServer(document, server);
        return true;
    });
    return written ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServer(const ServerRegistration& server)
{
    return UnregisterServer(server, Registry());
}

fs::path ModulePath(const void* address)
{
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        return {};
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(info.dli_fname, error);
    return error ? fs::path() : absolute.lexically_normal();
}

HRESULT RegisterServerLibrary(const fs::path& libraryPath, std::string* errorText)
{
    return RunExport(libraryPath, "DllRegisterServer", errorText);
}

HRESULT UnregisterServerLibrary(const fs::path& libraryPath, std::string* errorText)
{
    return RunExport(libraryPath, "DllUnregisterServer", errorText);
}

} // namespace orv::platform::automation
