#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>

namespace orv::platform {

namespace {

thread_local std::string lastLoadError;

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
