#pragma once
// The elementary data types of CIP as an EDS names them by code (0xC7 UINT): how many bytes a
// value takes and how its bytes are read. The one table of them for the reader, the values and
// the tools.

#include <cstdint>
#include <string_view>

namespace orv::eds {

enum class TypeKind {
    Boolean,     // BOOL: 0 or 1 in one byte
    Signed,      // two's complement, little-endian
    Unsigned,    // little-endian
    Real,        // IEEE 754, little-endian
    BitString,   // BYTE, WORD, DWORD, LWORD: bits, whose enumeration names bit numbers
    ShortString, // a length byte, then the characters
    String,      // a 16-bit length, then the characters
    Other,       // bytes the tools show as they are
};

struct DataType {
    std::uint8_t code;
    std::string_view name; // "UINT"
    std::uint8_t size;     // bytes of a value; 0 for the strings (the parameter's data size says)
    TypeKind kind;
};

// The type of `code`; an unknown code reads as raw bytes of the size the parameter states.
DataType FindDataType(std::uint8_t code);

// True when the type holds numbers that can be scaled, compared and enumerated.
constexpr bool IsInteger(TypeKind kind)
{
    return kind == TypeKind::Boolean || kind == TypeKind::Signed || kind == TypeKind::Unsigned ||
           kind == TypeKind::BitString;
}

// The least and the greatest value of an integer type of `size` bytes (1 to 8); a BOOL is 0 or 1.
struct IntegerRange {
    std::int64_t signedLow = 0;
    std::int64_t signedHigh = 0;
    std::uint64_t unsignedHigh = 0;
};
IntegerRange RangeOf(const DataType& type);

} // namespace orv::eds
