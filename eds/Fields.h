#pragma once
// The reader's view of one entry: its fields by position, each taken as what it must be (a number
// within limits, a quoted string, a path, a value of a data type), or the error that says where and
// what was expected. A field past the last one written reads as empty.

#include "eds/DataType.h"
#include "eds/Model.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orv::eds {

// Numbers as an EDS writes them: decimal, or 0x hexadecimal; a minus sign for the signed ones.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text);
std::optional<std::int64_t> ParseSigned(std::string_view text);
std::optional<double> ParseReal(std::string_view text);

class Fields {
public:
    Fields(const Entry& entry, Error& error) : entry_(entry), error_(error) {}

    const Entry& Of() const { return entry_; }
    std::size_t Count() const { return entry_.fields.size(); }
    bool Empty(std::size_t index) const
    {
        return index >= entry_.fields.size() || entry_.fields[index].kind == Field::Kind::Empty;
    }
    // Where field `index` is, or where the entry ends when it is not written.
    Position Where(std::size_t index) const;

    // False with the error when fewer than `least` fields are written.
    bool AtLeast(std::size_t least, std::string_view what);
    // False with the error when more than `most` fields are written.
    bool AtMost(std::size_t most);

    // A number in [low, high]; an empty field gives `fallback` when there is one, else an error.
    bool Unsigned(std::size_t index, std::string_view what, std::uint64_t low, std::uint64_t high,
                  std::uint64_t& out, std::optional<std::uint64_t> fallback = std::nullopt);
    template <class T>
    bool Number(std::size_t index, std::string_view what, std::uint64_t low, std::uint64_t high, T& out,
                std::optional<std::uint64_t> fallback = std::nullopt)
    {
        std::uint64_t value = 0;
        if (!Unsigned(index, what, low, high, value, fallback)) {
            return false;
        }
        out = static_cast<T>(value);
        return true;
    }
    bool Signed(std::size_t index, std::string_view what, std::int64_t low, std::int64_t high, std::int64_t& out,
                std::int64_t fallback);
    // A quoted string; an empty field is the empty text.
    bool Text(std::size_t index, std::string_view what, std::string& out);
    // Whatever the field holds as text, quoted or not.
    std::string Raw(std::size_t index) const;
    // A path of `sizeIndex` bytes at `pathIndex`: an empty size takes the path as it is.
    bool Path(std::size_t sizeIndex, std::size_t pathIndex, LinkPath& out);
    // A value of `type` (minimum, maximum, default); an empty field is no value.
    bool TypedValue(std::size_t index, std::string_view what, const DataType& type, Value& out);

    bool Fail(std::size_t index, std::string expected);

private:
    const Entry& entry_;
    Error& error_;
};

// The number N of a keyword `prefix`N ("Param12" -> 12), 1 to 65535; nullopt when the keyword is
// not of that form; 0 when it is but N is out of range.
std::optional<std::uint32_t> KeywordNumber(std::string_view keyword, std::string_view prefix);

} // namespace orv::eds
