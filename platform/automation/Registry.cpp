#include "platform/automation/Registry.h"

#include "platform/AtomicFile.h"
#include "platform/Profile.h"
#include "platform/automation/TypeInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::com {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeaderComment = "; Class registry of the automation runtime. Written by the servers' registration.";

bool IsControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool HasControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), IsControl);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsValidPath(std::string_view path)
{
    if (path.empty() || HasControl(path) || IsBlank(path.front()) || IsBlank(path.back())) {
        return false;
    }
    if (path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string_view::npos) {
        return false;
    }
    return true;
}

// True when `path` lies strictly below `ancestor`.
bool IsUnder(std::string_view path, std::string_view ancestor)
{
    return path.size() > ancestor.size() && path[ancestor.size()] == '\\' &&
           detail::NamesEqual(path.substr(0, ancestor.size()), ancestor);
}

bool IsSameOrUnder(std::string_view path, std::string_view ancestor)
{
    return detail::NamesEqual(path, ancestor) || IsUnder(path, ancestor);
}

std::string_view ParentOf(std::string_view path)
{
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
}

// A double-quoted text with \\ and \" escapes at the start of `text`; the rest is left in `text`.
std::optional<std::string> TakeQuoted(std::string_view& text)
{
    if (text.empty() || text.front() != '"') {
        return std::nullopt;
    }
    std::string result;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return result;
        }
        if (IsControl(c)) {
            return std::nullopt;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
                return std::nullopt;
            }
            ++i;
        }
        result += text[i];
    }
    return std::nullopt;
}

void AppendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

// Serialises writers: the mutex within this process, an exclusive lock on a file beside the
// registry across processes.
class WriteLock {
public:
    explicit WriteLock(const fs::path& registry) : guard_(Mutex())
    {
        std::error_code error;
        const fs::path folder = registry.parent_path().empty() ? fs::path(".") : registry.parent_path();
        fs::create_directories(folder, error);
        const fs::path lockFile = registry.string() + ".lock";
        fd_ = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~WriteLock()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool Held() const { return fd_ >= 0; }

private:
    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }

    std::lock_guard<std::mutex> guard_;
    int fd_ = -1;
};

std::optional<std::string> ReadWholeFile(const fs::path& file)
{
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            if (got < 0) {
                text.clear();
            }
            break;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
    return text;
}

} // namespace

std::optional<RegistryDocument> RegistryDocument::Parse(std::string_view text)
{
    RegistryDocument document;
    Key* current = nullptr;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        line = Trim(line);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (line.size() < 2 || line.back() != ']') {
                return std::nullopt;
            }
            const std::string_view path = line.substr(1, line.size() - 2);
            if (!IsValidPath(path) || document.Find(path) != nullptr) {
                return std::nullopt;
            }
            document.keys_.push_back(Key{std::string(path), {}});
            current = &document.keys_.back();
            continue;
        }
        if (current == nullptr) {
            return std::nullopt;
        }
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (auto quoted = TakeQuoted(line)) {
            name = std::move(*quoted);
        } else {
            return std::nullopt;
        }
        line = Trim(line);
        if (!line.starts_with('=')) {
            return std::nullopt;
        }
        line = Trim(line.substr(1));
        std::optional<std::string> value = TakeQuoted(line);
        if (!value || !line.empty()) {
            return std::nullopt;
        }
        const bool duplicate = std::any_of(current->values.begin(), current->values.end(),
                                           [&](const auto& entry) { return detail::NamesEqual(entry.first, name); });
        if (duplicate) {
            return std::nullopt;
        }
        current->values.emplace_back(std::move(name), std::move(*value));
    }
    return document;
}

std::string RegistryDocument::Text() const
{
    std::string out(kHeaderComment);
    out += '\n';
    for (const Key& key : keys_) {
        out += "\n[";
        out += key.path;
        out += "]\n";
        for (const auto& [name, value] : key.values) {
            if (name.empty()) {
                out += '@';
            } else {
                AppendQuoted(out, name);
            }
            out += '=';
            AppendQuoted(out, value);
            out += '\n';
        }
    }
    return out;
}

RegistryDocument::Key* RegistryDocument::Find(std::string_view path)
{
    for (Key& key : keys_) {
        if (detail::NamesEqual(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

const RegistryDocument::Key* RegistryDocument::Find(std::string_view path) const
{
    return const_cast<RegistryDocument*>(this)->Find(path);
}

bool RegistryDocument::HasKey(std::string_view key) const
{
    return std::any_of(keys_.begin(), keys_.end(), [&](const Key& k) { return IsSameOrUnder(k.path, key); });
}

std::vector<std::string> RegistryDocument::Keys() const
{
    std::vector<std::string> paths;
    for (const Key& key : keys_) {
        paths.push_back(key.path);
    }
    return paths;
}

std::vector<std::string> RegistryDocument::SubKeys(std::string_view key) const
{
    std::vector<std::string> names;
    for (const Key& k : keys_) {
        if (!IsUnder(k.path, key)) {
            continue;
        }
        std::string_view rest = std::string_view(k.path).substr(key.size() + 1);
        rest = rest.substr(0, rest.find('\\'));
        const bool known = std::any_of(names.begin(), names.end(),
                                       [&](const std::string& name) { return detail::NamesEqual(name, rest); });
        if (!known) {
            names.emplace_back(rest);
        }
    }
    return names;
}

std::optional<std::string> RegistryDocument::GetValue(std::string_view key, std::string_view name) const
{
    if (const Key* found = Find(key); found != nullptr) {
        for (const auto& [valueName, value] : found->values) {
            if (detail::NamesEqual(valueName, name)) {
                return value;
            }
        }
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> RegistryDocument::Values(std::string_view key) const
{
    const Key* found = Find(key);
    return found != nullptr ? found->values : std::vector<std::pair<std::string, std::string>>{};
}

bool RegistryDocument::CreateKey(std::string_view key)
{
    if (!IsValidPath(key)) {
        return false;
    }
    if (Find(key) != nullptr) {
        return true;
    }
    const std::string_view parent = ParentOf(key);
    if (!parent.empty() && !CreateKey(parent)) {
        return false;
    }
    // Beside its siblings: after the last key of the parent's tree.
    auto position = keys_.end();
    if (!parent.empty()) {
        for (auto it = keys_.begin(); it != keys_.end(); ++it) {
            if (IsSameOrUnder(it->path, parent)) {
                position = it + 1;
            }
        }
    }
    keys_.insert(position, Key{std::string(key), {}});
    return true;
}

bool RegistryDocument::SetValue(std::string_view key, std::string_view name, std::string_view value)
{
    if (HasControl(name) || HasControl(value) || !CreateKey(key)) {
        return false;
    }
    Key* found = Find(key);
    for (auto& [valueName, current] : found->values) {
        if (detail::NamesEqual(valueName, name)) {
            current = value;
            return true;
        }
    }
    found->values.emplace_back(std::string(name), std::string(value));
    return true;
}

bool RegistryDocument::RemoveTree(std::string_view key)
{
    const auto removed = std::erase_if(keys_, [&](const Key& k) { return IsSameOrUnder(k.path, key); });
    return removed != 0;
}

bool RegistryDocument::RemoveIfEmpty(std::string_view key)
{
    const Key* found = Find(key);
    if (found == nullptr || !found->values.empty() || !SubKeys(key).empty()) {
        return false;
    }
    return RemoveTree(key);
}

fs::path Registry::DefaultPath()
{
    const char* configured = std::getenv("ORV_REGISTRY");
    if (configured != nullptr && configured[0] != '\0') {
        return configured;
    }
    return platform::ConfigDirectory() / "orv" / "registry.ini";
}

Registry::Registry() : file_(DefaultPath()) {}

RegistryDocument Registry::Read() const
{
    const std::optional<std::string> text = ReadWholeFile(file_);
    if (!text) {
        return {};
    }
    std::optional<RegistryDocument> document = RegistryDocument::Parse(*text);
    return document ? std::move(*document) : RegistryDocument{};
}

bool Registry::Update(const std::function<bool(RegistryDocument&)>& edit) const
{
    const WriteLock lock(file_);
    if (!lock.Held()) {
        return false;
    }
    // A registry that is there but cannot be read is not replaced by what little an edit adds.
    std::error_code error;
    if (fs::exists(file_, error) && !ReadWholeFile(file_)) {
        return false;
    }
    RegistryDocument document = Read();
    if (!edit(document)) {
        return false;
    }
    return platform::ReplaceFileAtomically(file_, document.Text());
}

bool Registry::WriteKey(std::string_view key, std::optional<std::string_view> defaultValue,
                        std::initializer_list<std::pair<std::string_view, std::string_view>> values) const
{
    return Update([&](RegistryDocument& document) {
        if (!document.CreateKey(key)) {
            return false;
        }
        if (defaultValue && !document.SetValue(key, {}, *defaultValue)) {
            return false;
        }
        for (const auto& [name, value] : values) {
            if (!document.SetValue(key, name, value)) {
                return false;
            }
        }
        return true;
    });
}

bool Registry::RemoveKeyTree(std::string_view key) const
{
    return Update([&](RegistryDocument& document) {
        document.RemoveTree(key);
        return true;
    });
}

bool Registry::KeyExists(std::string_view key) const
{
    return Read().HasKey(key);
}

std::optional<std::string> Registry::GetValue(std::string_view key, std::string_view name) const
{
    return Read().GetValue(key, name);
}

} // namespace orv::com
