#pragma once
// Conversions between the byte form of DeviceNet values (least significant byte first, whatever
// the host's order) and the viewer's numbers and texts.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orv::viewer {

std::int16_t ReadInt16(const std::uint8_t* bytes);
// The 32-bit pattern; the caller treats it as signed or unsigned.
std::uint32_t ReadInt32(const std::uint8_t* bytes);
float ReadFloat(const std::uint8_t* bytes);
// The low 16 bits of `value`.
void WriteInt16(std::int32_t value, std::uint8_t* bytes);
void WriteInt32(std::uint32_t value, std::uint8_t* bytes);

// Scans like the C library's "%d" and "%f": leading white space is skipped, an optional sign is
// taken, then as many characters as form a number; the rest is ignored. False when no number was
// read ("7 apples" gives 7, "x7" fails). A decimal beyond 32 bits wraps to its low 32 bits, as
// glibc's scanf does up to 64 bits (and saturated beyond). Independent of the C locale.
// `consumed`, when given, receives how many characters the number took, white space included, so
// that a caller can scan what follows it.
bool ParseDecimal(std::string_view text, std::int32_t& value, std::size_t* consumed = nullptr);
bool ParseFloat(std::string_view text, float& value);

// Converts `count` pairs of upper-case hex digits ("0"-"9", "A"-"F") from the start of `text` into
// `destination`. Fails at once, writing nothing, when the text length is odd; fails at the first
// character that is not such a digit, keeping the bytes converted before it. The caller passes a
// `count` no larger than half the text length.
bool ParseHexBytes(std::string_view text, std::size_t count, std::uint8_t* destination);

// "%.2X" of each byte, concatenated, with `separator` after each byte when given.
std::string HexText(const std::uint8_t* bytes, std::size_t count, std::string_view separator = {});

// "%f" (six decimals) and "%.4f" of a float, with a point whatever the C locale says.
std::string FloatText(float value, int decimals);

} // namespace orv::viewer
