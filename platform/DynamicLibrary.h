#pragma once
// Shared objects loaded at run time: load by file name or path, find a function by name, release.
//
// A bare file name ("usbcan32.dll") goes through the dynamic linker's normal search
// (LD_LIBRARY_PATH, the run path of this platform library, the system folders); a name with a
// slash is a path, relative ones from the current folder. Symbols are bound at load time and kept
// local to the library, so two libraries exporting the same names never see each other's.

#include <string>
#include <string_view>

namespace orv::platform {

using LibraryHandle = void*;

// Loads the library; null on failure, and then LastLoadError() of this thread says why. An empty
// name is refused: the dynamic linker would hand out the main program instead.
LibraryHandle LoadLibrary(std::string_view fileName);

// The address of the function `name` exported by the library itself (not by the libraries it
// depends on), or null. Null for a null handle.
void* GetProcAddress(LibraryHandle library, const char* name);

// Releases one load of the library. True on success; a null handle is refused.
bool FreeLibrary(LibraryHandle library);

// Why the last LoadLibrary of the calling thread failed; empty after a success.
std::string LastLoadError();

// Owns one load of a library and releases it when destroyed. Move-only.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    explicit DynamicLibrary(LibraryHandle adopted) : handle_(adopted) {}
    DynamicLibrary(DynamicLibrary&& other) noexcept : handle_(other.Detach()) {}
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    ~DynamicLibrary() { Release(); }

    // Loads `fileName`; an empty object on failure (see LastLoadError()).
    static DynamicLibrary Load(std::string_view fileName) { return DynamicLibrary(LoadLibrary(fileName)); }

    bool IsLoaded() const { return handle_ != nullptr; }
    explicit operator bool() const { return IsLoaded(); }
    LibraryHandle Handle() const { return handle_; }

    // The library's own export `name`, or null (also when nothing is loaded).
    void* Find(const char* name) const { return GetProcAddress(handle_, name); }

    // The export `name` as a function pointer of type F, or null.
    template <typename F>
    F FindFunction(const char* name) const
    {
        return reinterpret_cast<F>(Find(name));
    }

    // Releases the library now; the object becomes empty.
    void Release();

    // Gives up ownership without releasing.
    LibraryHandle Detach()
    {
        LibraryHandle handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    LibraryHandle handle_ = nullptr;
};

} // namespace orv::platform
