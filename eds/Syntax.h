#pragma once
// The syntax of an EDS, before any meaning: sections `[Name]` of entries `Keyword = field, ... ;`.
// An entry may span lines; `$` begins a comment that runs to the end of the line; a field is empty,
// a bare word (a number, a date, a name) or a quoted string, and quoted strings that follow one
// another make one string. Every field keeps where it stands, so that the reader can say where a
// file goes wrong.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orv::eds {

// Lines and columns count from 1; a column counts bytes.
struct Position {
    std::uint32_t line = 0;
    std::uint32_t column = 0;
};

// Why a file was refused: where, and what was expected there. Line 0: not about a place in the
// text (the file could not be read).
struct Error {
    Position where;
    std::string expected; // "expected ';' to end Param3 (begun on line 12)"

    // "line 14, column 3: expected ..."; without a line, the text alone.
    std::string Text() const;
};

struct Field {
    enum class Kind { Empty, Word, String };
    Kind kind = Kind::Empty;
    std::string text; // a word as written; a string joined and with its escapes resolved
    Position where;
};

struct Entry {
    std::string keyword;
    std::vector<Field> fields;
    Position where;
};

struct Section {
    std::string name; // between the brackets, without the blanks around it
    std::vector<Entry> entries;
    Position where;
};

// The sections of `text` in file order; false with `error` where the syntax breaks. Time and
// memory grow with the length of `text` and nothing else.
bool ReadSections(std::string_view text, std::vector<Section>& sections, Error& error);

// ASCII case-insensitive equality, as section names and keywords compare.
bool SameName(std::string_view a, std::string_view b);

} // namespace orv::eds
