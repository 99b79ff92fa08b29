#include "eds/Fields.h"

#include "platform/Hex.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orv::eds {
namespace {

std::string Limits(std::uint64_t low, std::uint64_t high)
{
    return std::to_string(low) + " to " + std::to_string(high);
}

} // namespace

std::optional<std::uint64_t> ParseUnsigned(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return platform::ParseHexNumber(text.substr(2));
    }
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::int64_t> ParseSigned(std::string_view text)
{
    const bool negative = !text.empty() && text[0] == '-';
    const auto magnitude = ParseUnsigned(negative ? text.substr(1) : text);
    if (!magnitude) {
        return std::nullopt;
    }
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative) {
        return *magnitude <= kMax ? std::optional<std::int64_t>(static_cast<std::int64_t>(*magnitude)) : std::nullopt;
    }
    if (*magnitude > kMax + 1) {
        return std::nullopt;
    }
    return *magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(*magnitude);
}

std::optional<double> ParseReal(std::string_view text)
{
    if (const auto integer = ParseSigned(text)) {
        return static_cast<double>(*integer);
    }
    double value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint32_t> KeywordNumber(std::string_view keyword, std::string_view prefix)
{
    if (keyword.size() <= prefix.size() || !SameName(keyword.substr(0, prefix.size()), prefix)) {
        return std::nullopt;
    }
    const std::string_view digits = keyword.substr(prefix.size());
    std::uint32_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value > 65535 ? value : value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value >= 1 && value <= 65535 ? value : 0;
}

Position Fields::Where(std::size_t index) const
{
    if (index < entry_.fields.size()) {
        return entry_.fields[index].where;
    }
    return entry_.fields.empty() ? entry_.where : entry_.fields.back().where;
}

bool Fields::Fail(std::size_t index, std::string expected)
{
    error_ = {Where(index), std::move(expected)};
    return false;
}

bool Fields::AtLeast(std::size_t least, std::string_view what)
{
    if (entry_.fields.size() >= least) {
        return true;
    }
    error_ = {entry_.where, "expected " + std::to_string(least) + (least == 1 ? " field" : " fields") + " in " +
                                entry_.keyword + " (" + std::string(what) + "), found " +
                                std::to_string(entry_.fields.size())};
    return false;
}

bool Fields::AtMost(std::size_t most)
{
    if (entry_.fields.size() <= most) {
        return true;
    }
    return Fail(most, "expected ';' to end " + entry_.keyword + " after " + std::to_string(most) +
                          (most == 1 ? " field" : " fields"));
}

bool Fields::Unsigned(std::size_t index, std::string_view what, std::uint64_t low, std::uint64_t high,
                      std::uint64_t& out, std::optional<std::uint64_t> fallback)
{
    if (Empty(index) && fallback) {
        out = *fallback;
        return true;
    }
    const auto value =
        Empty(index) || entry_.fields[index].kind != Field::Kind::Word ? std::nullopt : ParseUnsigned(entry_.fields[index].text);
    if (!value || *value < low || *value > high) {
        return Fail(index, "expected " + std::string(what) + ", a number from " + Limits(low, high));
    }
    out = *value;
    return true;
}

bool Fields::Signed(std::size_t index, std::string_view what, std::int64_t low, std::int64_t high, std::int64_t& out,
                    std::int64_t fallback)
{
    if (Empty(index)) {
        out = fallback;
        return true;
    }
    const auto value =
        entry_.fields[index].kind != Field::Kind::Word ? std::nullopt : ParseSigned(entry_.fields[index].text);
    if (!value || *value < low || *value > high) {
        return Fail(index, "expected " + std::string(what) + ", a number from " + std::to_string(low) + " to " +
                               std::to_string(high));
    }
    out = *value;
    return true;
}

bool Fields::Text(std::size_t index, std::string_view what, std::string& out)
{
    if (Empty(index)) {
        out.clear();
        return true;
    }
    if (entry_.fields[index].kind != Field::Kind::String) {
        return Fail(index, "expected " + std::string(what) + " as a quoted string");
    }
    out = entry_.fields[index].text;
    return true;
}

std::string Fields::Raw(std::size_t index) const
{
    return index < entry_.fields.size() ? entry_.fields[index].text : std::string();
}

bool Fields::Path(std::size_t sizeIndex, std::size_t pathIndex, LinkPath& out)
{
    std::uint64_t size = 0;
    const bool sized = !Empty(sizeIndex);
    if (sized && !Unsigned(sizeIndex, "the path size", 0, 255, size)) {
        return false;
    }
    std::string text;
    if (!Text(pathIndex, "the path", text)) {
        return false;
    }
    const auto bytes = ParsePathBytes(text);
    if (!bytes) {
        return Fail(pathIndex, "expected the path as hexadecimal bytes (\"20 04 24 01 30 03\")");
    }
    if (sized && bytes->size() != size) {
        return Fail(pathIndex, "expected a path of " + std::to_string(size) + " bytes, as its size says; found " +
                                   std::to_string(bytes->size()));
    }
    out.bytes = *bytes;
    out.address = AddressOf(out.bytes);
    return true;
}

bool Fields::TypedValue(std::size_t index, std::string_view what, const DataType& type, Value& out)
{
    out = std::monostate{};
    if (Empty(index)) {
        return true;
    }
    const Field& field = entry_.fields[index];
    const IntegerRange range = RangeOf(type);
    const bool word = field.kind == Field::Kind::Word;
    const auto fail = [&](const std::string& limits) {
        return Fail(index, "expected " + std::string(what) + " (" + std::string(type.name) + "), " + limits);
    };
    switch (type.kind) {
    case TypeKind::Signed: {
        const auto value = word ? ParseSigned(field.text) : std::nullopt;
        if (!value || *value < range.signedLow || *value > range.signedHigh) {
            return fail("a number from " + std::to_string(range.signedLow) + " to " + std::to_string(range.signedHigh));
        }
        out = *value;
        return true;
    }
    case TypeKind::Boolean:
    case TypeKind::Unsigned:
    case TypeKind::BitString: {
        const auto value = word ? ParseUnsigned(field.text) : std::nullopt;
        if (!value || *value > range.unsignedHigh) {
            return fail("a number from " + Limits(0, range.unsignedHigh));
        }
        out = *value;
        return true;
    }
    case TypeKind::Real: {
        const auto value = word ? ParseReal(field.text) : std::nullopt;
        if (!value) {
            return Fail(index, "expected " + std::string(what) + ", a real number");
        }
        out = *value;
        return true;
    }
    case TypeKind::ShortString:
    case TypeKind::String: out = field.text; return true;
    case TypeKind::Other: return true; // bytes the file cannot state as a field
    }
    return true;
}

} // namespace orv::eds
