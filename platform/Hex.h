#pragma once
// Hexadecimal text both ways: digits, numbers and byte strings. The one home of these rules for
// the bus lines, the logs, the command line, the identities and the simulated device.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::platform {

// The value of one hexadecimal digit of either case, or -1.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The digit for `value` (0 to 15).
constexpr char HexDigitChar(unsigned value, bool upper = false)
{
    return (upper ? "0123456789ABCDEF" : "0123456789abcdef")[value & 0x0F];
}

inline void AppendHexByte(std::string& out, std::uint8_t byte, bool upper = false)
{
    out.push_back(HexDigitChar(byte >> 4, upper));
    out.push_back(HexDigitChar(byte, upper));
}

// Two digits per byte, `separator` between bytes.
inline std::string HexText(std::span<const std::uint8_t> bytes, std::string_view separator = {}, bool upper = false)
{
    std::string out;
    out.reserve(bytes.size() * (2 + separator.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += separator;
        }
        AppendHexByte(out, bytes[i], upper);
    }
    return out;
}

// `count` digits of `value`, most significant first, zero-padded.
inline std::string HexNumber(std::uint64_t value, int count, bool upper = false)
{
    std::string out(static_cast<std::size_t>(count), '0');
    for (int i = count - 1; i >= 0; --i, value >>= 4) {
        out[static_cast<std::size_t>(i)] = HexDigitChar(static_cast<unsigned>(value), upper);
    }
    return out;
}

// The value of a string made only of hexadecimal digits (1 to 16 of them), or nothing.
constexpr std::optional<std::uint64_t> ParseHexNumber(std::string_view text)
{
    if (text.empty() || text.size() > 16) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return value;
}

// The bytes of an even run of hexadecimal digits without separators ("0A1b" -> 0A 1B), or nothing.
inline std::optional<std::vector<std::uint8_t>> ParseHexPairs(std::string_view text)
{
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

} // namespace orv::platform
