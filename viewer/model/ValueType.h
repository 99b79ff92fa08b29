#pragma once
// How a device value is held and shown (ValueType), and what a value handed to Write or Encode is
// (ValueKind). Multi-byte values are little-endian.

#include <cstddef>

namespace orv::viewer {

// Codes of an attribute's value type; any other code (0 is used) is raw bytes shown as hex.
namespace ValueType {
inline constexpr int kRaw = 0;
inline constexpr int kByte = 1;        // unsigned 8-bit, "%d"
inline constexpr int kInt16 = 2;       // signed 16-bit, "%d"
inline constexpr int kFloat = 3;       // IEEE single, "%f"
inline constexpr int kShortString = 4; // length byte, then the characters
inline constexpr int kInt32 = 5;       // signed 32-bit, "%d"
inline constexpr int kUInt16 = 6;      // unsigned 16-bit, "%u"
} // namespace ValueType

// What the value argument of Write and Encode points at; any other code is raw bytes, as many as
// the size says.
namespace ValueKind {
inline constexpr int kRaw = 0;
inline constexpr int kByte = 1;    // std::uint8_t
inline constexpr int kInt16 = 2;   // std::int16_t
inline constexpr int kBits32 = 3;  // a 32-bit pattern: std::uint32_t or float
inline constexpr int kText = 4;    // a NUL-terminated char string, converted by the item's value type
inline constexpr int kInt32 = 5;   // std::int32_t
inline constexpr int kUInt16 = 6;  // std::uint16_t
} // namespace ValueKind

// Size of an attribute whose value is a length byte and that many bytes.
inline constexpr int kVariableSize = -1;

// The value buffer of an attribute item and the frame buffer of a service item.
inline constexpr std::size_t kValueBufferSize = 64;

} // namespace orv::viewer
