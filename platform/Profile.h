#pragma once
// A module's private profile: the INI-style file <config folder>/<module>.ini, where the config
// folder is $XDG_CONFIG_HOME, or ~/.config when that is unset, empty or not absolute.
//
// Every call reads the file afresh, so several objects and processes see each other's writes.
// A missing, unreadable or malformed file reads as defaults (a malformed line is skipped), and so
// does anything that is no regular file (a FIFO, a device) or is larger than
// kMaxSettingsFileSize: reading never blocks and never takes more than that (TextFile.h). A
// write rewrites the whole file through a temporary file in the same folder and a rename, so the
// profile is never seen half written; the folder is created when missing, and every line of the
// file it does not set is kept as it was, lines it cannot parse included. A write fails, leaving
// the file alone, when the file is there but cannot be read. Names match without regard to ASCII
// case (see IniDocument.h).

#include <filesystem>
#include <string>
#include <string_view>

namespace orv::platform {

// The folder that holds the profiles of the current user.
std::filesystem::path ConfigDirectory();

class Profile {
public:
    // The profile of `moduleName` ("OrvDeviceNetDriver", "brelinview"); the folder is looked up
    // now, once.
    explicit Profile(std::string_view moduleName);

    // A profile kept in the given file.
    static Profile AtPath(std::filesystem::path file);

    const std::filesystem::path& FilePath() const { return file_; }

    // The text under `key` in `section`, or `defaultValue` when absent.
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const;

    // Stores `value` under `key` in `section`. False when the names or value cannot be stored
    // (line breaks and the like, see IniDocument::Set) or the file cannot be written.
    bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value);

    // The integer under `key`: decimal with an optional sign, read up to the first other
    // character ("12 ms" reads 12). `defaultValue` when the key is absent, holds no digits, or
    // its number does not fit 32 bits. Leading blanks are skipped.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;

    // Stores `value` as decimal text.
    bool WriteProfileInt(std::string_view section, std::string_view key, int value);

private:
    struct AtFile {};
    Profile(AtFile, std::filesystem::path file) : file_(std::move(file)) {}

    std::filesystem::path file_;
};

} // namespace orv::platform
