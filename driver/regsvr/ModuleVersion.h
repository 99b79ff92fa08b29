#pragma once
// The version record of a server library: an ELF note (owner "ORV", type 1) in an allocated
// `.note.orv.version` section, whose descriptor is a NUL-terminated text of "Key=Value" lines:
//
//     FileDescription=OrvDeviceNetDriver Module
//     FileVersion=2.0.0.7
//     OLESelfRegister=
//
// The keys are those of a Windows version resource; OLESelfRegister (any value) marks a library
// that registers itself. `readelf -n` shows the note; ReadModuleVersion reads it from a file
// without loading it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::regsvr {

inline constexpr char kVersionNoteOwner[] = "ORV";
inline constexpr std::uint32_t kVersionNoteType = 1;
inline constexpr const char* kVersionNoteSection = ".note.orv.version";

inline constexpr std::string_view kFileDescriptionKey = "FileDescription";
inline constexpr std::string_view kFileVersionKey = "FileVersion";
inline constexpr std::string_view kSelfRegisterKey = "OLESelfRegister";

class ModuleVersion {
public:
    // The record in the note's text; lines without '=' are skipped.
    static ModuleVersion Parse(std::string_view text);

    // The value of `key` (exact spelling), or nullopt.
    std::optional<std::string> Value(std::string_view key) const;
    const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

    std::string FileDescription() const { return Value(kFileDescriptionKey).value_or(std::string()); }
    std::string FileVersion() const { return Value(kFileVersionKey).value_or(std::string()); }
    bool SelfRegistering() const { return Value(kSelfRegisterKey).has_value(); }

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// The version record of the ELF file at `file` (64-bit, little-endian). nullopt when the file
// cannot be read, is no such ELF file, or carries no record; `errorText` (may be null) says which.
std::optional<ModuleVersion> ReadModuleVersion(const std::filesystem::path& file, std::string* errorText = nullptr);

} // namespace orv::regsvr
