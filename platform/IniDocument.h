#pragma once
// The text of an INI-style profile: "[section]" headers and "key=value" lines, kept line by line
// so that rewriting one value keeps everything else of the file (unknown sections and keys,
// comments, blank lines, lines it cannot parse) as it was.
//
// Reading rules:
// - Section and key names match without regard to ASCII case; the first matching section and,
//   inside it, the first matching key count.
// - Names and values are trimmed of blanks, tabs and carriage returns; a value written between double quotes
//   loses one pair of them (so that a value with outer blanks survives).
// - Lines starting with ';' or '#' are comments. A line that is neither a header, an entry, a
//   comment nor blank is skipped, as are entries before the first header.
// Writing keeps the spelling of a section or key already in the file and adds new ones as given.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::platform {

class IniDocument {
public:
    IniDocument() = default;

    // Splits `text` into lines (LF or CR LF); a leading UTF-8 byte-order mark is ignored.
    static IniDocument Parse(std::string_view text);

    // The value of `key` in `section`, if present.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Sets `key` in `section` to `value`, adding the key or the section as needed. False (and
    // nothing changed) when a name or the value cannot be stored as one line of the file: empty
    // names, line breaks, ']' in a section, '=' in a key, names with outer blanks or starting
    // like a comment or header.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // The document as file text, each line ended by LF.
    std::string Text() const;

private:
    struct Entry {
        std::string_view key;
        std::string_view value;
    };

    static std::optional<std::string_view> HeaderName(std::string_view line);
    static std::optional<Entry> ParseEntry(std::string_view line);
    // [begin, end) lines of the body of the first section named `section`; nullopt when absent.
    std::optional<std::pair<std::size_t, std::size_t>> FindSection(std::string_view section) const;

    bool hasByteOrderMark_ = false;
    std::vector<std::string> lines_;
};

// ASCII case-insensitive equality of profile names.
bool ProfileNamesEqual(std::string_view a, std::string_view b);

} // namespace orv::platform
