#include "platform/automation/Registry.h"

#include "platform/AtomicFile.h"
#include "platform/Profile.h"
#include "platform/TextFile.h"
#include "platform/automation/TypeInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::platform::automation {

namespace {

namespace fs = std::filesystem;

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
        if (fd_ < 0) {
            return;
        }
        int rc = 0;
        while ((rc = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (rc != 0) {
            // Without the lock another writer could rewrite the registry under us: not held.
            close(fd_);
            fd_ = -1;
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

// "FILE cannot ...": what is wrong with a registry file.
std::string Problem(const fs::path& file, const std::string& what)
{
    return file.string() + " " + what;
}

// The folders of a colon-separated list of absolute paths; relative entries are ignored.
std::vector<fs::path> AbsoluteFolders(const char* list)
{
    std::vector<fs::path> folders;
    std::string_view rest = list == nullptr ? std::string_view{} : std::string_view(list);
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        if (entry.starts_with('/')) {
            folders.emplace_back(entry);
        }
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    return folders;
}

} // namespace

std::optional<RegistryDocument> RegistryDocument::Parse(std::string_view text, std::size_t* badLine)
{
    RegistryDocument document;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    if (!text.empty()) {
        document.preamble_.clear();
    }
    // Comment and blank lines go with what follows them: the next key's header, or a value.
    std::vector<std::string> pending;
    Key* current = nullptr;
    std::size_t number = 0;
    const auto malformed = [&]() -> std::optional<RegistryDocument> {
        if (badLine != nullptr) {
            *badLine = number;
        }
        return std::nullopt;
    };
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (raw.ends_with('\r')) {
            raw.remove_suffix(1);
        }
        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';') {
            pending.emplace_back(raw);
            continue;
        }
        if (line.front() == '[') {
            if (line.size() < 2 || line.back() != ']') {
                return malformed();
            }
            const std::string_view path = line.substr(1, line.size() - 2);
            if (!IsValidPath(path) || document.Find(path) != nullptr) {
                return malformed();
            }
            if (current == nullptr) {
                document.preamble_.insert(document.preamble_.end(), pending.begin(), pending.end());
                pending.clear();
            }
            document.keys_.push_back(Key{std::string(path), {}, std::move(pending), {std::string(raw)}});
            pending.clear();
            current = &document.keys_.back();
            continue;
        }
        if (current == nullptr) {
            return malformed();
        }
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (auto quoted = TakeQuoted(line)) {
            name = std::move(*quoted);
        } else {
            return malformed();
        }
        line = Trim(line);
        if (!line.starts_with('=')) {
            return malformed();
        }
        line = Trim(line.substr(1));
        std::optional<std::string> value = TakeQuoted(line);
        if (!value || !line.empty()) {
            return malformed();
        }
        const bool duplicate = std::any_of(current->values.begin(), current->values.end(),
                                           [&](const auto& entry) { return detail::NamesEqual(entry.first, name); });
        if (duplicate) {
            return malformed();
        }
        current->values.emplace_back(std::move(name), std::move(*value));
        current->lines.insert(current->lines.end(), pending.begin(), pending.end());
        pending.clear();
        current->lines.emplace_back(raw);
    }
    (current == nullptr ? document.preamble_ : document.trailing_) = std::move(pending);
    return document;
}

std::string RegistryDocument::Text() const
{
    std::string out;
    const auto put = [&out](std::string_view line) {
        out += line;
        out += '\n';
    };
    for (const std::string& line : preamble_) {
        put(line);
    }
    for (const Key& key : keys_) {
        for (const std::string& line : key.leading) {
            put(line);
        }
        if (!key.lines.empty()) {
            for (const std::string& line : key.lines) {
                put(line);
            }
            continue;
        }
        out += '[';
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
    for (const std::string& line : trailing_) {
        put(line);
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
    keys_.insert(position, Key{std::string(key), {}, {std::string()}, {}});
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
            if (current != value) {
                current = value;
                found->lines.clear();
            }
            return true;
        }
    }
    found->values.emplace_back(std::string(name), std::string(value));
    found->lines.clear();
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

void RegistryDocument::AddHiddenBy(const RegistryDocument& lower)
{
    for (const Key& key : lower.keys_) {
        if (Find(key.path) == nullptr) {
            keys_.push_back(key);
        }
    }
}

fs::path Registry::DefaultPath()
{
    const char* configured = std::getenv("ORV_REGISTRY");
    if (configured != nullptr && configured[0] != '\0') {
        return configured;
    }
    return platform::ConfigDirectory() / "orv" / "registry.ini";
}

std::vector<fs::path> Registry::LookupPaths()
{
    std::vector<fs::path> paths{DefaultPath()};
    const char* configured = std::getenv("ORV_REGISTRY");
    if (configured != nullptr && configured[0] != '\0') {
        return paths;
    }
    std::vector<fs::path> folders = AbsoluteFolders(std::getenv("XDG_CONFIG_DIRS"));
    if (folders.empty()) {
        folders.emplace_back("/etc/xdg");
    }
    for (const fs::path& folder : folders) {
        paths.push_back(folder / "orv" / "registry.ini");
    }
    return paths;
}

Registry::Registry() : file_(DefaultPath()) {}

std::optional<RegistryDocument> Registry::Load(std::string* why) const
{
    const platform::TextFileRead file = platform::ReadTextFile(file_);
    if (file.status == platform::TextFileRead::Status::Missing) {
        return RegistryDocument{};
    }
    if (file.status == platform::TextFileRead::Status::Refused) {
        if (why != nullptr) {
            *why = Problem(file_, "cannot be read: " + file.error);
        }
        return std::nullopt;
    }
    std::size_t badLine = 0;
    std::optional<RegistryDocument> document = RegistryDocument::Parse(file.text, &badLine);
    if (!document && why != nullptr) {
        *why = Problem(file_, "cannot be parsed (line " + std::to_string(badLine) + ")");
    }
    return document;
}

RegistryDocument Registry::Read() const
{
    std::optional<RegistryDocument> document = Load();
    return document ? std::move(*document) : RegistryDocument{};
}

bool Registry::Update(const std::function<bool(RegistryDocument&)>& edit, std::string* why) const
{
    std::string problem;
    const auto fail = [&](std::string text) {
        if (why != nullptr) {
            *why = std::move(text);
        }
        return false;
    };
    const WriteLock lock(file_);
    if (!lock.Held()) {
        return fail("the class registry " + Problem(file_, "cannot be locked for writing"));
    }
    // A registry that is there but cannot be read or parsed is left as it is: a rewrite would
    // lose whatever it holds.
    std::optional<RegistryDocument> document = Load(&problem);
    if (!document) {
        return fail("the class registry " + problem + "; it was left unchanged");
    }
    if (!edit(*document)) {
        return fail("the change cannot be stored in the class registry " + file_.string());
    }
    if (!platform::ReplaceFileAtomically(file_, document->Text())) {
        return fail("the class registry " + Problem(file_, "cannot be written"));
    }
    return true;
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

std::optional<RegistryDocument> ReadClassesRoot(std::string* why)
{
    std::optional<RegistryDocument> root;
    for (const fs::path& path : Registry::LookupPaths()) {
        std::optional<RegistryDocument> document = Registry(path).Load(why);
        if (!document) {
            return std::nullopt;
        }
        if (!root) {
            root = std::move(document);
        } else {
            root->AddHiddenBy(*document);
        }
    }
    return root ? std::move(root) : RegistryDocument{};
}

} // namespace orv::platform::automation
