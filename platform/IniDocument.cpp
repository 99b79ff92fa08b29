#include "platform/IniDocument.h"

namespace orv::platform {

namespace {

// A carriage return beyond the one of a CR LF line end counts as a blank, so that a value reads the
// same before and after the file is rewritten with LF line ends.
constexpr std::string_view kBlanks = " \t\r";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool HasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool HasOuterBlanks(std::string_view text)
{
    return !text.empty() && Trim(text).size() != text.size();
}

bool IsComment(std::string_view trimmed)
{
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Values that would read back differently as written are put between double quotes.
std::string QuoteIfNeeded(std::string_view value)
{
    const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    if (HasOuterBlanks(value) || quoted) {
        return "\"" + std::string(value) + "\"";
    }
    return std::string(value);
}

} // namespace

bool ProfileNamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

IniDocument IniDocument::Parse(std::string_view text)
{
    IniDocument document;
    if (text.starts_with(kByteOrderMark)) {
        document.hasByteOrderMark_ = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        document.lines_.emplace_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return document;
}

std::optional<std::string_view> IniDocument::HeaderName(std::string_view line)
{
    const std::string_view trimmed = Trim(line);
    if (!trimmed.starts_with('[')) {
        return std::nullopt;
    }
    const auto close = trimmed.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(trimmed.substr(1, close - 1));
}

std::optional<IniDocument::Entry> IniDocument::ParseEntry(std::string_view line)
{
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || IsComment(trimmed) || trimmed.starts_with('[')) {
        return std::nullopt;
    }
    const auto equals = trimmed.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view key = Trim(trimmed.substr(0, equals));
    if (key.empty()) {
        return std::nullopt;
    }
    return Entry{key, Unquote(Trim(trimmed.substr(equals + 1)))};
}

std::optional<std::pair<std::size_t, std::size_t>> IniDocument::FindSection(std::string_view section) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = HeaderName(lines_[i]);
        if (!name || !ProfileNamesEqual(*name, section)) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines_.size() && !HeaderName(lines_[end])) {
            ++end;
        }
        return std::pair{i + 1, end};
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const
{
    const auto body = FindSection(section);
    if (!body) {
        return std::nullopt;
    }
    for (std::size_t i = body->first; i < body->second; ++i) {
        const auto entry = ParseEntry(lines_[i]);
        if (entry && ProfileNamesEqual(entry->key, key)) {
            return std::string(entry->value);
        }
    }
    return std::nullopt;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value)
{
    if (section.empty() || HasLineBreak(section) || HasOuterBlanks(section) ||
        section.find(']') != std::string_view::npos) {
        return false;
    }
    if (key.empty() || HasLineBreak(key) || HasOuterBlanks(key) || key.find('=') != std::string_view::npos ||
        IsComment(key) || key.starts_with('[')) {
        return false;
    }
    if (HasLineBreak(value)) {
        return false;
    }

    const std::string stored = QuoteIfNeeded(value);
    const auto body = FindSection(section);
    if (!body) {
        if (!lines_.empty() && !Trim(lines_.back()).empty()) {
            lines_.emplace_back();
        }
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(std::string(key) + "=" + stored);
        return true;
    }

    std::size_t insertAt = body->first;
    for (std::size_t i = body->first; i < body->second; ++i) {
        const auto entry = ParseEntry(lines_[i]);
        if (entry && ProfileNamesEqual(entry->key, key)) {
            lines_[i] = std::string(entry->key) + "=" + stored;
            return true;
        }
        // New keys go after the section's last non-blank line, before the blank lines that
        // separate it from the next section.
        if (!Trim(lines_[i]).empty()) {
            insertAt = i + 1;
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::string(key) + "=" + stored);
    return true;
}

std::string IniDocument::Text() const
{
    std::string text;
    if (hasByteOrderMark_) {
        text += kByteOrderMark;
    }
    for (const auto& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

} // namespace orv::platform
