#pragma once
// The class registry: what registration writes under the classes root, kept in one INI-style
// file, $ORV_REGISTRY when set, else $XDG_CONFIG_HOME/orv/registry.ini (~/.config when unset).
//
// Each key is a section named by its path under the classes root, with "\" between the parts;
// its values follow, the default value as @, named values quoted, text values in double quotes
// with \\ and \" escaped:
//
//     [CLSID\{40140904-0DEF-4027-8512-0AD1B086D999}\InprocServer32]
//     @="/opt/orv/lib/libOrvDeviceNetDriver.so"
//     "ThreadingModel"="Apartment"
//
// Lines starting with ';' are comments; a leading UTF-8 byte-order mark is skipped. Key paths and
// value names match without regard to ASCII case and keep the spelling of their first writer.
// Creating a key creates its parents, as in a registry, so a shared parent (CLSID) stays when one
// class's tree is removed.
//
// A missing or unreadable file, or one with any line that is not of this form, reads as empty.
// The next write replaces a broken file, but not one that is there and cannot be read. Writes go
// to a temporary file that is renamed over the registry, under a lock file beside it
// (<file>.lock) that serialises writers of all processes, so a reader never sees a half-written
// registry and no writer loses another's keys.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::com {

class RegistryDocument {
public:
    // The document in `text`; nullopt when any line is malformed.
    static std::optional<RegistryDocument> Parse(std::string_view text);

    // The file text, keys in document order.
    std::string Text() const;

    bool HasKey(std::string_view key) const;
    // Every key path, in document order.
    std::vector<std::string> Keys() const;
    // The names of the direct subkeys of `key`.
    std::vector<std::string> SubKeys(std::string_view key) const;
    // The value `name` of `key` (an empty name is the default value).
    std::optional<std::string> GetValue(std::string_view key, std::string_view name = {}) const;
    // Every value of `key` as (name, value); the default value has the empty name.
    std::vector<std::pair<std::string, std::string>> Values(std::string_view key) const;

    // Creates `key` and the parents it lacks. False for an invalid path: empty, an empty part
    // (leading, trailing or doubled "\"), or a control character.
    bool CreateKey(std::string_view key);
    // Sets the value `name` of `key`, creating the key. False for an invalid path, or a name or
    // value with a control character.
    bool SetValue(std::string_view key, std::string_view name, std::string_view value);
    // Removes `key` with all its subkeys; false when it did not exist.
    bool RemoveTree(std::string_view key);
    // Removes `key` if it has neither values nor subkeys; false otherwise.
    bool RemoveIfEmpty(std::string_view key);

private:
    struct Key {
        std::string path;
        std::vector<std::pair<std::string, std::string>> values;
    };

    Key* Find(std::string_view path);
    const Key* Find(std::string_view path) const;

    std::vector<Key> keys_;
};

class Registry {
public:
    // The registry file of this process's environment, looked up now.
    static std::filesystem::path DefaultPath();

    // The registry at DefaultPath().
    Registry();
    explicit Registry(std::filesystem::path file) : file_(std::move(file)) {}

    const std::filesystem::path& FilePath() const { return file_; }

    // The registry as it is now (empty when missing or broken).
    RegistryDocument Read() const;

    // Reads the registry, applies `edit` and writes the result, all under the write lock. False
    // (and nothing written) when `edit` returns false; false when the file cannot be written.
    bool Update(const std::function<bool(RegistryDocument&)>& edit) const;

    // Creates `key` with its default value (when given) and named values, keeping values it had.
    bool WriteKey(std::string_view key, std::optional<std::string_view> defaultValue,
                  std::initializer_list<std::pair<std::string_view, std::string_view>> values = {}) const;
    // Removes `key` and its subkeys; true also when it was not there.
    bool RemoveKeyTree(std::string_view key) const;

    bool KeyExists(std::string_view key) const;
    std::optional<std::string> GetValue(std::string_view key, std::string_view name = {}) const;

private:
    std::filesystem::path file_;
};

} // namespace orv::com
