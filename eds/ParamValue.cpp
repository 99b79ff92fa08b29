#include "eds/ParamValue.h"

#include "eds/DataType.h"
#include "eds/Escapes.h"
#include "eds/Fields.h"
#include "platform/Hex.h"
#include "platform/LittleEndian.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace orv::eds {
namespace {

// Wide enough for any 64-bit value times a 32-bit scale, and for what a user can type.
using Wide = __int128;

// With at most 15 decimal places, 22 digits stay far inside Wide; anything beyond kLargestShown
// is outside every parameter's range (a 64-bit value times a 32-bit scale is below 10^29).
constexpr int kMostDigitsTyped = 22;
const Wide kLargestShown = static_cast<Wide>(1'000'000'000'000'000ULL) * 1'000'000'000'000'000ULL;

bool IsNumber(const Value& value)
{
    return std::holds_alternative<std::int64_t>(value) || std::holds_alternative<std::uint64_t>(value);
}

Wide ToWide(const Value& value)
{
    if (const auto* x = std::get_if<std::int64_t>(&value)) {
        return *x;
    }
    if (const auto* x = std::get_if<std::uint64_t>(&value)) {
        return *x;
    }
    return 0;
}

Value FromWide(const DataType& type, Wide wide)
{
    if (type.kind == TypeKind::Signed) {
        return static_cast<std::int64_t>(wide);
    }
    return static_cast<std::uint64_t>(wide);
}

Wide Power10(int exponent)
{
    Wide value = 1;
    for (int i = 0; i < exponent; ++i) {
        value *= 10;
    }
    return value;
}

// n / d rounded half away from zero; d > 0.
Wide RoundDivide(Wide n, Wide d)
{
    const Wide half = d / 2;
    return n >= 0 ? (n + half) / d : -((-n + half) / d);
}

std::string WideText(Wide value)
{
    const bool negative = value < 0;
    auto magnitude = static_cast<unsigned __int128>(negative ? -value : value);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    return negative ? "-" + digits : digits;
}

// `q` in units of 10^-places as a decimal number with `places` decimals.
std::string DecimalText(Wide q, int places)
{
    const bool negative = q < 0;
    std::string digits = WideText(negative ? -q : q);
    if (places > 0) {
        if (digits.size() <= static_cast<std::size_t>(places)) {
            digits.insert(0, static_cast<std::size_t>(places) + 1 - digits.size(), '0');
        }
        digits.insert(digits.size() - static_cast<std::size_t>(places), ".");
    }
    return negative ? "-" + digits : digits;
}

// The value as shown, in units of 10^-decimal places.
Wide Shown(const Param& param, Wide raw)
{
    if (!param.Scaled()) {
        return raw;
    }
    const Scaling& s = param.scaling;
    return RoundDivide((raw + s.offset) * s.multiplier * s.base, s.divisor);
}

std::string ScaledText(const Param& param, Wide raw)
{
    return DecimalText(Shown(param, raw), param.decimalPlaces);
}

std::string WithUnits(std::string text, const Param& param)
{
    return param.units.empty() ? text : text + " " + param.units;
}

struct Limits {
    Wide low;
    Wide high;
};

Limits IntegerLimits(const Param& param, const DataType& type)
{
    const IntegerRange range = RangeOf(type);
    Limits limits = type.kind == TypeKind::Signed ? Limits{range.signedLow, range.signedHigh}
                                                  : Limits{0, static_cast<Wide>(range.unsignedHigh)};
    if (IsNumber(param.minimum)) {
        limits.low = ToWide(param.minimum);
    }
    if (IsNumber(param.maximum)) {
        limits.high = ToWide(param.maximum);
    }
    return limits;
}

std::string HexValue(const DataType& type, Wide value)
{
    return "0x" + platform::HexNumber(static_cast<std::uint64_t>(value), 2 * type.size, true);
}

std::string BitNames(const Param& param, Wide value)
{
    std::string names;
    for (unsigned bit = 0; bit < 64; ++bit) {
        if (((static_cast<std::uint64_t>(value) >> bit) & 1u) == 0) {
            continue;
        }
        std::string name = "bit " + std::to_string(bit);
        for (const EnumEntry& entry : param.enumeration) {
            if (ToWide(entry.value) == bit) {
                name = entry.name;
                break;
            }
        }
        names += (names.empty() ? "" : ", ") + name;
    }
    return names;
}

bool SameText(std::string_view a, std::string_view b)
{
    return SameName(a, b);
}

std::string Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// A decimal number as typed, in units of 10^-places; nullopt when it is no number or has more
// decimals than `places` that are not zeros.
std::optional<Wide> TypedDecimal(std::string_view text, int places, bool& tooPrecise)
{
    tooPrecise = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const auto value = ParseUnsigned(text);
        return value ? std::optional<Wide>(static_cast<Wide>(*value) * Power10(places)) : std::nullopt;
    }
    const bool negative = !text.empty() && text[0] == '-';
    if (negative || (!text.empty() && text[0] == '+')) {
        text.remove_prefix(1);
    }
    Wide q = 0;
    int digits = 0;
    int decimals = -1;
    for (const char c : text) {
        if (c == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9' || ++digits > kMostDigitsTyped) {
            return std::nullopt;
        }
        if (decimals >= 0 && ++decimals > places) {
            tooPrecise = tooPrecise || c != '0';
            continue;
        }
        q = q * 10 + (c - '0');
    }
    if (digits == 0) {
        return std::nullopt;
    }
    q *= Power10(places - (decimals < 0 ? 0 : std::min(decimals, places)));
    return negative ? -q : q;
}

bool Refuse(std::string& why, std::string text)
{
    why = std::move(text);
    return false;
}

bool IntegerFromText(const Param& param, const DataType& type, std::string_view text, Value& value,
                     std::string& why)
{
    const Limits limits = IntegerLimits(param, type);
    const bool bits = type.kind == TypeKind::BitString;
    Wide raw = 0;
    bool named = false;
    if (!param.enumeration.empty()) {
        if (bits) {
            // Bit names joined by '+'.
            std::string_view rest = text;
            bool all = true;
            Wide mask = 0;
            while (all && !rest.empty()) {
                const std::size_t plus = rest.find('+');
                const std::string name = Trimmed(rest.substr(0, plus));
                rest = plus == std::string_view::npos ? std::string_view() : rest.substr(plus + 1);
                all = false;
                for (const EnumEntry& entry : param.enumeration) {
                    if (SameText(entry.name, name)) {
                        mask |= Wide{1} << static_cast<int>(ToWide(entry.value));
                        all = true;
                    }
                }
            }
            if (all) {
                raw = mask;
                named = true;
            }
        } else {
            for (const EnumEntry& entry : param.enumeration) {
                if (SameText(entry.name, text)) {
                    raw = ToWide(entry.value);
                    named = true;
                    break;
                }
            }
        }
    }
    if (!named) {
        bool tooPrecise = false;
        const int places = bits ? 0 : param.decimalPlaces;
        const auto typed = TypedDecimal(text, places, tooPrecise);
        if (!typed || (bits && *typed < 0)) {
            return Refuse(why, "'" + std::string(text) + "' is no value of " + param.name +
                                   (param.enumeration.empty() ? " (a number)" : " (a number or a name)"));
        }
        if (tooPrecise) {
            return Refuse(why, "'" + std::string(text) + "' has more decimals than the " +
                                   std::to_string(param.decimalPlaces) + " of " + param.name);
        }
        if (*typed > kLargestShown || *typed < -kLargestShown) {
            return Refuse(why, "'" + std::string(text) + "' is outside the range of " + param.name + " (" +
                                   RangeText(param) + ")");
        }
        raw = *typed;
        if (!bits && param.Scaled()) {
            const Scaling& s = param.scaling;
            raw = RoundDivide(*typed * s.divisor, Wide{s.multiplier} * s.base) - s.offset;
            if (Shown(param, raw) != *typed) {
                return Refuse(why, "'" + std::string(text) + "' is not a value " + param.name +
                                       " can hold; the nearest is " + WithUnits(ScaledText(param, raw), param));
            }
        }
    }
    if (!param.enumeration.empty()) {
        if (bits) {
            for (unsigned bit = 0; bit < 64; ++bit) {
                if (((static_cast<std::uint64_t>(raw) >> bit) & 1u) != 0 &&
                    BitNames(param, Wide{1} << bit).starts_with("bit ")) {
                    return Refuse(why, "bit " + std::to_string(bit) + " is not in the enumeration of " + param.name +
                                           " (" + RangeText(param) + ")");
                }
            }
        } else if (EnumName(param, FromWide(type, raw)).empty()) {
            return Refuse(why, "'" + std::string(text) + "' is not in the enumeration of " + param.name + " (" +
                                   RangeText(param) + ")");
        }
    }
    if (raw < limits.low || raw > limits.high) {
        return Refuse(why, "'" + std::string(text) + "' is outside the range of " + param.name + " (" +
                               RangeText(param) + ")");
    }
    value = FromWide(type, raw);
    return true;
}

} // namespace

std::optional<Value> DecodeValue(const Param& param, std::span<const std::uint8_t> bytes, std::string& why)
{
    const DataType type = FindDataType(param.dataType);
    const auto wrongSize = [&](std::string expected) {
        why = "expected " + expected + ", got " + std::to_string(bytes.size()) +
              (bytes.size() == 1 ? " byte" : " bytes");
        return std::nullopt;
    };
    switch (type.kind) {
    case TypeKind::Boolean:
    case TypeKind::Unsigned:
    case TypeKind::BitString:
    case TypeKind::Signed: {
        if (bytes.size() != type.size) {
            return wrongSize(std::to_string(type.size) + " bytes of " + std::string(type.name));
        }
        const std::uint64_t bits = platform::GetLe64(bytes);
        if (type.kind != TypeKind::Signed) {
            return Value(bits);
        }
        const unsigned shift = 64u - 8u * type.size;
        return Value(static_cast<std::int64_t>(bits << shift) >> shift);
    }
    case TypeKind::Real:
        if (bytes.size() != type.size) {
            return wrongSize(std::to_string(type.size) + " bytes of " + std::string(type.name));
        }
        if (type.size == 4) {
            return Value(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(platform::GetLe64(bytes)))));
        }
        return Value(std::bit_cast<double>(platform::GetLe64(bytes)));
    case TypeKind::ShortString:
    case TypeKind::String: {
        const std::size_t head = type.kind == TypeKind::ShortString ? 1 : 2;
        const std::string what = "a " + std::string(type.name) + " of at most " + std::to_string(param.dataSize) +
                                 " characters";
        if (bytes.size() < head) {
            return wrongSize(what);
        }
        const std::size_t length = head == 1 ? bytes[0] : platform::GetLe16(bytes.data());
        if (bytes.size() != head + length || length > param.dataSize) {
            return wrongSize(what + (length > param.dataSize ? "" : " (its length says " + std::to_string(length) + ")"));
        }
        return Value(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(head), bytes.end()));
    }
    case TypeKind::Other:
        if (param.dataSize != 0 && bytes.size() != param.dataSize) {
            return wrongSize(std::to_string(param.dataSize) + " bytes");
        }
        return Value(std::string(bytes.begin(), bytes.end()));
    }
    return std::nullopt;
}

std::vector<std::uint8_t> EncodeValue(const Param& param, const Value& value)
{
    const DataType type = FindDataType(param.dataType);
    std::vector<std::uint8_t> bytes;
    switch (type.kind) {
    case TypeKind::Boolean:
    case TypeKind::Unsigned:
    case TypeKind::BitString:
    case TypeKind::Signed: platform::AppendLe(bytes, static_cast<std::uint64_t>(ToWide(value)), type.size); break;
    case TypeKind::Real: {
        const double* real = std::get_if<double>(&value);
        const double number = real != nullptr ? *real : 0.0;
        if (type.size == 4) {
            platform::AppendLe32(bytes, std::bit_cast<std::uint32_t>(static_cast<float>(number)));
        } else {
            platform::AppendLe(bytes, std::bit_cast<std::uint64_t>(number), 8);
        }
        break;
    }
    case TypeKind::ShortString:
    case TypeKind::String:
    case TypeKind::Other: {
        const std::string* text = std::get_if<std::string>(&value);
        const std::string empty;
        const std::string& chars = text != nullptr ? *text : empty;
        if (type.kind == TypeKind::ShortString) {
            bytes.push_back(static_cast<std::uint8_t>(chars.size()));
        } else if (type.kind == TypeKind::String) {
            platform::AppendLe16(bytes, static_cast<std::uint16_t>(chars.size()));
        }
        bytes.insert(bytes.end(), chars.begin(), chars.end());
        break;
    }
    }
    return bytes;
}

std::string EnumName(const Param& param, const Value& value)
{
    if (FindDataType(param.dataType).kind == TypeKind::BitString || !IsNumber(value)) {
        return {};
    }
    for (const EnumEntry& entry : param.enumeration) {
        if (ToWide(entry.value) == ToWide(value)) {
            return entry.name;
        }
    }
    return {};
}

std::string ValueText(const Param& param, const Value& value)
{
    const DataType type = FindDataType(param.dataType);
    if (std::holds_alternative<std::monostate>(value)) {
        return {};
    }
    if (const auto* real = std::get_if<double>(&value)) {
        char text[64];
        if (param.decimalPlaces > 0) {
            std::snprintf(text, sizeof text, "%.*f", static_cast<int>(param.decimalPlaces), *real);
        } else {
            std::snprintf(text, sizeof text, "%g", *real);
        }
        return WithUnits(text, param);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (type.kind == TypeKind::Other) {
            return platform::HexText(std::span(reinterpret_cast<const std::uint8_t*>(text->data()), text->size()),
                                     " ", true);
        }
        return "\"" + Escape(*text) + "\"";
    }
    const Wide raw = ToWide(value);
    if (type.kind == TypeKind::BitString) {
        const std::string names = BitNames(param, raw);
        return HexValue(type, raw) + (names.empty() ? "" : " (" + names + ")");
    }
    if (!param.enumeration.empty()) {
        const std::string name = EnumName(param, value);
        return name.empty() ? ScaledText(param, raw) + " (not in the enumeration)" : name;
    }
    return WithUnits(ScaledText(param, raw), param);
}

std::string RangeText(const Param& param)
{
    const DataType type = FindDataType(param.dataType);
    switch (type.kind) {
    case TypeKind::ShortString:
    case TypeKind::String: return "up to " + std::to_string(param.dataSize) + " characters";
    case TypeKind::Other: return std::to_string(param.dataSize) + " bytes";
    case TypeKind::Real: {
        const auto bound = [&](const Value& v, const char* none) {
            const auto* real = std::get_if<double>(&v);
            char text[64];
            std::snprintf(text, sizeof text, "%g", real != nullptr ? *real : 0.0);
            return real != nullptr ? std::string(text) : std::string(none);
        };
        return WithUnits(bound(param.minimum, "any") + " to " + bound(param.maximum, "any"), param);
    }
    default: break;
    }
    const Limits limits = IntegerLimits(param, type);
    if (type.kind == TypeKind::BitString) {
        std::string text = HexValue(type, limits.low) + " to " + HexValue(type, limits.high);
        std::string bits;
        for (const EnumEntry& entry : param.enumeration) {
            bits += (bits.empty() ? "" : ", ") + WideText(ToWide(entry.value)) + " " + entry.name;
        }
        return bits.empty() ? text : text + " (bits: " + bits + ")";
    }
    if (!param.enumeration.empty()) {
        std::string names;
        for (const EnumEntry& entry : param.enumeration) {
            names += (names.empty() ? "" : ", ") + entry.name;
        }
        return names;
    }
    return WithUnits(ScaledText(param, limits.low) + " to " + ScaledText(param, limits.high), param);
}

bool ValueFromText(const Param& param, std::string_view typed, Value& value, std::string& why)
{
    if (param.ReadOnly()) {
        return Refuse(why, param.name + " is read-only");
    }
    const DataType type = FindDataType(param.dataType);
    const std::string text = type.kind == TypeKind::ShortString || type.kind == TypeKind::String ? std::string(typed)
                                                                                                 : Trimmed(typed);
    switch (type.kind) {
    case TypeKind::ShortString:
    case TypeKind::String: {
        std::string chars = Unescape(text);
        if (chars.size() > param.dataSize) {
            return Refuse(why, "\"" + Escape(chars) + "\" is longer than the " + std::to_string(param.dataSize) +
                                   " characters of " + param.name);
        }
        value = std::move(chars);
        return true;
    }
    case TypeKind::Other: {
        const auto bytes = ParsePathBytes(text);
        if (!bytes || (param.dataSize != 0 && bytes->size() != param.dataSize)) {
            return Refuse(why, "expected " + std::to_string(param.dataSize) + " hexadecimal bytes for " + param.name);
        }
        value = std::string(bytes->begin(), bytes->end());
        return true;
    }
    case TypeKind::Real: {
        const auto real = ParseReal(text);
        if (!real) {
            return Refuse(why, "'" + text + "' is no number");
        }
        const auto* low = std::get_if<double>(&param.minimum);
        const auto* high = std::get_if<double>(&param.maximum);
        if ((low != nullptr && *real < *low) || (high != nullptr && *real > *high)) {
            return Refuse(why, "'" + text + "' is outside the range of " + param.name + " (" + RangeText(param) + ")");
        }
        value = *real;
        return true;
    }
    default: return IntegerFromText(param, type, text, value, why);
    }
}

} // namespace orv::eds
