#pragma once
// The class registry: what registration writes under the classes root, kept in INI-style files.
//
// Where: registration writes $ORV_REGISTRY when set, else the user's registry,
// $XDG_CONFIG_HOME/orv/registry.ini (~/.config when unset). A lookup reads $ORV_REGISTRY alone
// when set; else the user's registry, then orv/registry.ini in each folder of $XDG_CONFIG_DIRS
// (/etc/xdg when unset), where an installed package registers its library. As the user's classes
// hide the machine's in a registry, a key of an earlier file hides the same key of later ones.
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
// A file with any line that is not of this form cannot be parsed; it, and a file that is there
// but cannot be read (no regular file, larger than kMaxSettingsFileSize, a read error), is never
// rewritten: writes fail and leave it as it is, lookups report it. A rewrite keeps every line it
// does not own as it was: comments, blank lines and keys the edit does not change. Writes go to a
// temporary file that is renamed over the registry, under a lock file beside it (<file>.lock)
// that serialises writers of all processes, so a reader never sees a half-written registry and no
// writer loses another's keys.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::platform::automation {

class RegistryDocument {
public:
    // The first line of a registry that registration creates.
    static constexpr std::string_view kHeaderComment =
        "; Class registry of the automation runtime. Written by the servers' registration.";

    // The document in `text`; nullopt when any line is malformed, with the number (from 1) of the
    // first such line in `badLine`.
    static std::optional<RegistryDocument> Parse(std::string_view text, std::size_t* badLine = nullptr);

    // The file text, keys in document order: the lines read for what the edits left alone, keys
    // written or created since in the form above.
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

    // Adds the keys of `lower` that this document lacks, with their values: the view of two
    // registries in which this one hides `lower`.
    void AddHiddenBy(const RegistryDocument& lower);

private:
    struct Key {
        std::string path;
        std::vector<std::pair<std::string, std::string>> values;
        std::vector<std::string> leading; // comment and blank lines before the header, as read
        std::vector<std::string> lines;   // header, values and comments as read; empty once edited
    };

    Key* Find(std::string_view path);
    const Key* Find(std::string_view path) const;

    std::vector<std::string> preamble_{std::string(kHeaderComment)};
    std::vector<std::string> trailing_;
    std::vector<Key> keys_;
};

class Registry {
public:
    // The registry file a registration writes in this process's environment, looked up now.
    static std::filesystem::path DefaultPath();
    // The registry files a lookup reads, in order, looked up now.
    static std::vector<std::filesystem::path> LookupPaths();
    // The registry of the whole machine that an installed package writes.
    static std::filesystem::path SystemPath() { return "/etc/xdg/orv/registry.ini"; }

    // The registry at DefaultPath().
    Registry();
    explicit Registry(std::filesystem::path file) : file_(std::move(file)) {}

    const std::filesystem::path& FilePath() const { return file_; }

    // The registry as it is now: empty when the file is missing; nullopt when it is there but
    // cannot be read or parsed, with why in `why` ("FILE cannot be parsed (line 3)").
    std::optional<RegistryDocument> Load(std::string* why = nullptr) const;

    // The registry as it is now (empty when missing, unreadable or broken).
    RegistryDocument Read() const;

    // Reads the registry, applies `edit` and writes the result, all under the write lock. False
    // (and nothing written) when the lock cannot be taken, the registry cannot be read or parsed,
    // or `edit` returns false;
    // false when the file cannot be written. `why` (may be null) then says which of these, in a
    // sentence that names the file.
    bool Update(const std::function<bool(RegistryDocument&)>& edit, std::string* why = nullptr) const;

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

// What a lookup sees: the registries of Registry::LookupPaths(), each hiding the ones after it.
// nullopt, with why as Registry::Load says it, when one of them is there but cannot be read or
// parsed: a lookup then fails rather than answer from a part of the registry.
std::optional<RegistryDocument> ReadClassesRoot(std::string* why = nullptr);

} // namespace orv::platform::automation
