#include "viewer/model/ValueConversions.h"

#include <bit>
#include <charconv>
#include <limits>

namespace orv::viewer {
namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view SkipSpace(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && IsSpace(text[at])) {
        ++at;
    }
    return text.substr(at);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::int16_t ReadInt16(const std::uint8_t* bytes)
{
    return static_cast<std::int16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t ReadInt32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

float ReadFloat(const std::uint8_t* bytes)
{
    return std::bit_cast<float>(ReadInt32(bytes));
}

void WriteInt16(std::int32_t value, std::uint8_t* bytes)
{
    const auto bits = static_cast<std::uint32_t>(value);
    bytes[0] = static_cast<std::uint8_t>(bits);
    bytes[1] = static_cast<std::uint8_t>(bits >> 8);
}

void WriteInt32(std::uint32_t value, std::uint8_t* bytes)
{
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

bool ParseDecimal(std::string_view text, std::int32_t& value, std::size_t* consumed)
{
    const std::size_t whole = text.size();
    text = SkipSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    constexpr std::uint64_t kCeiling = std::numeric_limits<std::uint64_t>::max() / 10 - 9;
    std::uint64_t magnitude = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        magnitude = magnitude < kCeiling ? magnitude * 10 + static_cast<std::uint64_t>(text[digits] - '0') : magnitude;
    }
    if (digits == 0) {
        return false;
    }
    // As a 64-bit long first, saturated, then its low 32 bits.
    constexpr auto kLongMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t wide = magnitude > kLongMax ? (negative ? kLongMax + 1 : kLongMax) : magnitude;
    if (negative) {
        wide = ~wide + 1;
    }
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
    if (consumed != nullptr) {
        *consumed = whole - text.size() + digits;
    }
    return true;
}

bool ParseFloat(std::string_view text, float& value)
{
    text = SkipSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    float parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (end == text.data()) {
        return false;
    }
    // Out of range: from_chars leaves the value alone; scanf gives infinity or zero.
    if (error == std::errc::result_out_of_range) {
        std::string_view mantissa = text.substr(0, static_cast<std::size_t>(end - text.data()));
        const std::size_t exponent = mantissa.find_first_of("eE");
        const bool tiny = exponent != std::string_view::npos && mantissa.substr(exponent + 1).starts_with('-');
        parsed = tiny ? 0.0f : std::numeric_limits<float>::infinity();
    }
    value = negative ? -parsed : parsed;
    return true;
}

bool ParseHexBytes(std::string_view text, std::size_t count, std::uint8_t* destination)
{
    if (text.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (2 * i + 1 >= text.size()) {
            return false;
        }
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        destination[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

std::string HexText(const std::uint8_t* bytes, std::size_t count, std::string_view separator)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * (2 + separator.size()));
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
        text += separator;
    }
    return text;
}

std::string FloatText(float value, int decimals)
{
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, static_cast<double>(value), std::chars_format::fixed, decimals);
    if (error != std::errc()) {
        return {};
    }
    return std::string(text, end);
}

} // namespace orv::viewer
