#pragma once
// Finding a card's interface library: the file is remembered in the driver library's profile,
// section INTERFACEDRIVER, one key per library; when it cannot be loaded the user is told and
// asked for the file, the picked path is remembered and tried, until a file loads or the user
// cancels.

#include "platform/DynamicLibrary.h"
#include "platform/Profile.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orv::cards {

// The driver library's profile is named after the module.
inline constexpr std::string_view kDriverModuleName = "OrvDeviceNetDriver";
inline constexpr std::string_view kInterfaceDriverSection = "INTERFACEDRIVER";
inline constexpr std::string_view kLibraryExtension = "dll";

enum class InterfaceLibraryId {
    Vora,        // the CAN712 card's DeviceNet library
    Sst,         // the SST C2A library
    SstSpecific, // the SST card driver file, handed to C2A_LoadDriver
    Systec,      // the SYSTEC USB-CAN library
};

// What the procedure needs to know of one library.
struct InterfaceLibraryText {
    std::string_view key;         // key in INTERFACEDRIVER
    std::string_view defaultFile; // value when the key is absent
    std::string_view message;     // shown when the file cannot be loaded
    std::string_view filter;      // the open-file dialog's filter
};

const InterfaceLibraryText& TextOf(InterfaceLibraryId id);

// The driver library's own profile, in the user's config folder as it is now.
platform::Profile DriverProfile();

// One attempt at "loading" the file named by `path` (a bare file name or a path of any length).
using TryLoad = std::function<bool(const std::string& path)>;

// Reads the library's value from the profile (or its default), tries it, and while that fails
// shows the message, runs the open-file dialog, writes a picked path under the key and tries
// that path. The path that loaded, or nullopt when the user cancelled; the profile is written
// only for picked paths, also when they fail to load.
std::optional<std::string> LocateInterfaceLibrary(platform::Profile& profile, const InterfaceLibraryText& text,
                                                  const TryLoad& tryLoad);

// The procedure with a plain library load. An empty object when the user cancelled.
platform::DynamicLibrary LoadInterfaceLibrary(platform::Profile& profile, InterfaceLibraryId id);

} // namespace orv::cards
