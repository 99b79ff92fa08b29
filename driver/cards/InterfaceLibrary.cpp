#include "driver/cards/InterfaceLibrary.h"

#include "platform/UserPrompt.h"

#include <array>

namespace orv::cards {

namespace {

constexpr std::array<InterfaceLibraryText, 4> kTexts = {{
    {"VORA", "Drv712.dll", "Unable to load \"DRV712.DLL\".\r\nPlease select directory path.",
     "VORA Interface DLL (DRV712.DLL)|Drv712.dll|All Files (*.*)|*.*||"},
    {"SST", "ssc2a32.dll", "Unable to load \"SSC2A32.DLL\".\r\nPlease select directory path.",
     "SST Interface DLL (SSC2A32.DLL)|ssc2a32.dll|All Files (*.*)|*.*||"},
    {"SST_SPECIFIC", "ssdn32.dll", "Unable to load \"SSDN32.DLL\".\r\nPlease select directory path.",
     "SST Interface DLL (SSDN32.DLL)|ssdn32.dll|All Files (*.*)|*.*||"},
    {"SYSTEC", "usbcan32.dll", "Unable to load \"USBCAN32.DLL\".\r\nPlease select directory path.",
     "SYSTEC Interface DLL (USBCAN32.DLL)|usbcan32.dll|All Files (*.*)|*.*||"},
}};

} // namespace

const InterfaceLibraryText& TextOf(InterfaceLibraryId id)
{
    return kTexts.at(static_cast<std::size_t>(id));
}

platform::Profile DriverProfile()
{
    return platform::Profile(kDriverModuleName);
}

std::optional<std::string> LocateInterfaceLibrary(platform::Profile& profile, const InterfaceLibraryText& text,
                                                  const TryLoad& tryLoad)
{
    // The whole path is used, however long: cutting it short would name another file.
    std::string path = profile.GetProfileString(kInterfaceDriverSection, text.key, text.defaultFile);
    while (!tryLoad(path)) {
        platform::ShowMessageBox(std::string(text.message));
        auto picked = platform::ShowOpenFileDialog({std::string(text.filter), std::string(kLibraryExtension)});
        if (!picked) {
            return std::nullopt;
        }
        path = std::move(*picked);
        // Remembered before it is tried, so a file that loads but proves unusable is kept too.
        profile.WriteProfileString(kInterfaceDriverSection, text.key, path);
    }
    return path;
}

platform::DynamicLibrary LoadInterfaceLibrary(platform::Profile& profile, InterfaceLibraryId id)
{
    platform::DynamicLibrary library;
    LocateInterfaceLibrary(profile, TextOf(id), [&library](const std::string& path) {
        library = platform::DynamicLibrary::Load(path);
        return library.IsLoaded();
    });
    return library;
}

} // namespace orv::cards
