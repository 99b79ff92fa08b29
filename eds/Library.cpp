#include "eds/Library.h"

#include "eds/Reader.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <system_error>

namespace orv::eds {
namespace {

namespace fs = std::filesystem;

bool IsEdsName(const fs::path& path)
{
    const std::string extension = path.extension().string();
    return SameName(extension, ".eds");
}

} // namespace

bool ReadTextFile(const fs::path& path, std::string& text, std::string& why)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) {
        why = "cannot read '" + path.string() + "': " + error.message();
        return false;
    }
    if (size > kMaxEdsFileBytes) {
        why = "'" + path.string() + "' is larger than an EDS can be (" + std::to_string(size) + " bytes)";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    text.assign(static_cast<std::size_t>(size), '\0');
    if (!file || !file.read(text.data(), static_cast<std::streamsize>(size))) {
        why = "cannot read '" + path.string() + "'";
        return false;
    }
    return true;
}

bool LoadEds(const fs::path& path, Eds& eds, Error& error)
{
    std::string text;
    std::string why;
    if (!ReadTextFile(path, text, why)) {
        error = {{0, 0}, why};
        return false;
    }
    return ReadEds(text, eds, error);
}

std::vector<fs::path> Library::Folders(const char* dataHome, const char* home, const char* dataDirs)
{
    std::vector<fs::path> folders;
    const auto add = [&](const fs::path& base) {
        if (base.is_absolute()) {
            folders.push_back(base / "orv" / "eds");
        }
    };
    if (dataHome != nullptr && fs::path(dataHome).is_absolute()) {
        add(dataHome);
    } else if (home != nullptr && *home != '\0') {
        add(fs::path(home) / ".local" / "share");
    }
    const std::string dirs = dataDirs != nullptr && *dataDirs != '\0' ? dataDirs : "/usr/local/share:/usr/share";
    std::size_t from = 0;
    while (from <= dirs.size()) {
        const std::size_t colon = std::min(dirs.find(':', from), dirs.size());
        add(dirs.substr(from, colon - from));
        from = colon + 1;
    }
    return folders;
}

std::vector<fs::path> Library::FoldersFromEnvironment()
{
    return Folders(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), std::getenv("XDG_DATA_DIRS"));
}

Library::Library(std::vector<fs::path> folders) : folders_(std::move(folders))
{
    for (const fs::path& folder : folders_) {
        Folder span{files_.size(), 0};
        std::vector<fs::path> names;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            std::error_code typeError;
            if (IsEdsName(it->path()) && it->is_regular_file(typeError)) {
                names.push_back(it->path());
            }
        }
        std::sort(names.begin(), names.end());
        for (const fs::path& path : names) {
            std::string text;
            std::string why;
            Error syntax;
            LibraryFile file{path, {}};
            if (!ReadTextFile(path, text, why)) {
                problems_.push_back(why);
            } else if (!ReadDevice(text, file.device, syntax)) {
                problems_.push_back(path.string() + ": " + syntax.Text());
            } else {
                files_.push_back(std::move(file));
                ++span.count;
            }
        }
        spans_.push_back(span);
    }
    loaded_.resize(files_.size());
}

const LibraryFile* Library::Find(const DeviceKey& key) const
{
    for (const Folder& span : spans_) {
        const LibraryFile* best = nullptr;
        for (std::size_t i = span.first; i < span.first + span.count; ++i) {
            const LibraryFile& file = files_[i];
            if (file.device.Key() == key && (best == nullptr || file.device.minorRevision > best->device.minorRevision)) {
                best = &file;
            }
        }
        if (best != nullptr) {
            return best;
        }
    }
    return nullptr;
}

std::shared_ptr<const Eds> Library::Load(const LibraryFile& file, Error& error) const
{
    const std::less<const LibraryFile*> before;
    if (files_.empty() || before(&file, files_.data()) || !before(&file, files_.data() + files_.size())) {
        error = {{0, 0}, "not a file of this EDS library"};
        return nullptr;
    }
    const auto index = static_cast<std::size_t>(&file - files_.data());
    if (!loaded_[index]) {
        auto eds = std::make_shared<Eds>();
        if (!LoadEds(file.path, *eds, error)) {
            return nullptr;
        }
        loaded_[index] = std::move(eds);
    }
    return loaded_[index];
}

} // namespace orv::eds
