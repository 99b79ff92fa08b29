#pragma once
// EDS files on disk: reading one, and the EDS library, the folders where a user's and the
// machine's EDS files live: $XDG_DATA_HOME/orv/eds (default ~/.local/share/orv/eds), then orv/eds
// under each folder of $XDG_DATA_DIRS (default /usr/local/share:/usr/share), where the package puts
// the Brelin's. A device is matched by vendor id, device type, product code and major revision;
// the first folder that has a match gives it, and of several files there the highest minor
// revision (then the first name).

#include "eds/Model.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orv::eds {

// A larger file is refused unread: no EDS comes near it.
inline constexpr std::uintmax_t kMaxEdsFileBytes = 16u * 1024u * 1024u;

// The text of the file at `path`, at most kMaxEdsFileBytes; false with `why`.
bool ReadTextFile(const std::filesystem::path& path, std::string& text, std::string& why);

// The EDS in the file at `path`; false with `error` (line 0 when the file could not be read).
bool LoadEds(const std::filesystem::path& path, Eds& eds, Error& error);

struct LibraryFile {
    std::filesystem::path path;
    Device device;
};

class Library {
public:
    // The folders of the library, in the order they are searched, from the values of
    // XDG_DATA_HOME, HOME and XDG_DATA_DIRS (null when not set). Relative folders are ignored, as
    // the XDG base directories say (a relative XDG_DATA_HOME counts as not set).
    static std::vector<std::filesystem::path> Folders(const char* dataHome, const char* home, const char* dataDirs);
    // The same from this process's environment.
    static std::vector<std::filesystem::path> FoldersFromEnvironment();

    // Indexes the EDS files (names ending in .eds, in any case) directly in each folder. A file
    // that cannot be read or whose [Device] section is broken is left out, and said so in Problems.
    explicit Library(std::vector<std::filesystem::path> folders);

    // The file that describes `key`, or null.
    const LibraryFile* Find(const DeviceKey& key) const;
    // The whole EDS of a file of this library, read at the first call; null with `error`.
    std::shared_ptr<const Eds> Load(const LibraryFile& file, Error& error) const;

    const std::vector<std::filesystem::path>& SearchedFolders() const { return folders_; }
    const std::vector<LibraryFile>& Files() const { return files_; }
    // "FILE: why", one for each file left out.
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    struct Folder {
        std::size_t first = 0; // its files in files_
        std::size_t count = 0;
    };

    std::vector<std::filesystem::path> folders_;
    std::vector<Folder> spans_;
    std::vector<LibraryFile> files_;
    std::vector<std::string> problems_;
    mutable std::vector<std::shared_ptr<const Eds>> loaded_; // beside files_
};

} // namespace orv::eds
