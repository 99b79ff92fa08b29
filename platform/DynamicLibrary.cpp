#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>

namespace orv::platform {

namespace {

thread_local std::string lastLoadError;

// The folder this library was loaded from. A bare file name is also looked for there, as the run
// path ($ORIGIN) of this library asks; loaders that hide the caller's run path from dlopen (the
// sanitizers' interceptors do) would otherwise miss the libraries installed beside it.
std::string OwnFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

LibraryHandle LoadLibrary(std::string_view fileName)
{
    if (fileName.empty()) {
        lastLoadError = "empty library name";
        return nullptr;
    }
    const std::string name(fileName);
    if (name.find('\0') != std::string::npos) {
        lastLoadError = "library name contains a NUL character";
        return nullptr;
    }
    dlerror();
    LibraryHandle handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr && name.find('/') == std::string::npos) {
        const char* first = dlerror();
        const std::string firstWhy = first != nullptr ? first : "";
        if (const std::string folder = OwnFolder(); !folder.empty()) {
            handle = dlopen((folder + "/" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
        }
        if (handle == nullptr) {
            dlerror();
            lastLoadError = firstWhy.empty() ? "cannot load " + name : firstWhy;
            return nullptr;
        }
    }
    if (handle == nullptr) {
        const char* why = dlerror();
        lastLoadError = why != nullptr ? why : "cannot load " + name;
    } else {
        lastLoadError.clear();
    }
    return handle;
}

void* GetProcAddress(LibraryHandle library, const char* name)
{
    if (library == nullptr || name == nullptr) {
        return nullptr;
    }
    void* address = dlsym(library, name);
    if (address == nullptr) {
        return nullptr;
    }
    // dlsym also searches the libraries this one depends on; only the library's own exports
    // count, so a function it lacks is not borrowed from a dependency.
    link_map* own = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &own) != 0 || own == nullptr) {
        return nullptr;
    }
    Dl_info info{};
    void* extra = nullptr;
    if (dladdr1(address, &info, &extra, RTLD_DL_LINKMAP) == 0 || extra != own) {
        return nullptr;
    }
    return address;
}

bool FreeLibrary(LibraryHandle library)
{
    return library != nullptr && dlclose(library) == 0;
}

std::string LastLoadError()
{
    return lastLoadError;
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other) {
        Release();
        handle_ = other.Detach();
    }
    return *this;
}

void DynamicLibrary::Release()
{
    if (handle_ != nullptr) {
        FreeLibrary(handle_);
        handle_ = nullptr;
    }
}

} // namespace orv::platform
