#include "platform/Profile.h"

#include "platform/AtomicFile.h"
#include "platform/IniDocument.h"
#include "platform/Mutex.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace orv::platform {

namespace {

namespace fs = std::filesystem;

// Serialises read-modify-write cycles of this process, so two writers never lose each other's key.
RecursiveMutex& WriteMutex()
{
    static RecursiveMutex mutex;
    return mutex;
}

fs::path HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

} // namespace

fs::path ConfigDirectory()
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        return configHome;
    }
    return HomeDirectory() / ".config";
}

Profile::Profile(std::string_view moduleName)
    : file_(ConfigDirectory() / (std::string(moduleName) + ".ini"))
{
}

Profile Profile::AtPath(fs::path file)
{
    return Profile(AtFile{}, std::move(file));
}

std::string Profile::GetProfileString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue) const
{
    const auto value = IniDocument::Parse(ReadTextFile(file_).text).Get(section, key);
    return value ? *value : std::string(defaultValue);
}

bool Profile::WriteProfileString(std::string_view section, std::string_view key, std::string_view value)
{
    Lock lock(WriteMutex());
    // A file that is there but cannot be read (or is too large, or no file) is not replaced by
    // what little this write adds.
    const TextFileRead current = ReadTextFile(file_);
    if (current.status == TextFileRead::Status::Refused) {
        return false;
    }
    IniDocument document = IniDocument::Parse(current.text);
    if (!document.Set(section, key, value)) {
        return false;
    }
    return ReplaceFileAtomically(file_, document.Text());
}

int Profile::GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const
{
    const auto value = IniDocument::Parse(ReadTextFile(file_).text).Get(section, key);
    if (!value) {
        return defaultValue;
    }
    std::string_view text = *value;
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    // from_chars takes a minus sign but no plus sign.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return defaultValue;
        }
    }
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, 10);
    (void)end;
    return error == std::errc() ? number : defaultValue;
}

bool Profile::WriteProfileInt(std::string_view section, std::string_view key, int value)
{
    return WriteProfileString(section, key, std::to_string(value));
}

} // namespace orv::platform
