#pragma once
// Reading a small text file (a profile, the class registry) whole, safely: whatever lies at the
// path, the read ends at once and takes bounded memory. The file is opened without blocking, so a
// FIFO in its place cannot hold the caller; anything but a regular file (a FIFO, a device such as
// /dev/zero behind a link, a folder) is refused; a file above the size limit is refused, and the
// read stops there even when the file grows meanwhile.

#include <cstddef>
#include <filesystem>
#include <string>

namespace orv::platform {

// What profiles and the class registry read at most.
inline constexpr std::size_t kMaxSettingsFileSize = 1024 * 1024;

struct TextFileRead {
    enum class Status { Read, Missing, Refused };
    Status status = Status::Missing;
    std::string text;  // the file's bytes when Read
    std::string error; // when Refused: why, in a few words ("is not a regular file", "Permission denied")
};

TextFileRead ReadTextFile(const std::filesystem::path& file, std::size_t maxBytes = kMaxSettingsFileSize);

} // namespace orv::platform
