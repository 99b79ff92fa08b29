#include "eds/DataType.h"

#include <limits>

namespace orv::eds {
namespace {

constexpr DataType kTypes[] = {
    {0xC1, "BOOL", 1, TypeKind::Boolean},
    {0xC2, "SINT", 1, TypeKind::Signed},
    {0xC3, "INT", 2, TypeKind::Signed},
    {0xC4, "DINT", 4, TypeKind::Signed},
    {0xC5, "LINT", 8, TypeKind::Signed},
    {0xC6, "USINT", 1, TypeKind::Unsigned},
    {0xC7, "UINT", 2, TypeKind::Unsigned},
    {0xC8, "UDINT", 4, TypeKind::Unsigned},
    {0xC9, "ULINT", 8, TypeKind::Unsigned},
    {0xCA, "REAL", 4, TypeKind::Real},
    {0xCB, "LREAL", 8, TypeKind::Real},
    {0xCC, "STIME", 4, TypeKind::Signed},
    {0xCD, "DATE", 2, TypeKind::Unsigned},
    {0xCE, "TIME_OF_DAY", 4, TypeKind::Unsigned},
    {0xD0, "STRING", 0, TypeKind::String},
    {0xD1, "BYTE", 1, TypeKind::BitString},
    {0xD2, "WORD", 2, TypeKind::BitString},
    {0xD3, "DWORD", 4, TypeKind::BitString},
    {0xD4, "LWORD", 8, TypeKind::BitString},
    {0xD6, "FTIME", 4, TypeKind::Signed},
    {0xD7, "LTIME", 8, TypeKind::Signed},
    {0xD8, "ITIME", 2, TypeKind::Signed},
    {0xDA, "SHORT_STRING", 0, TypeKind::ShortString},
    {0xDB, "TIME", 4, TypeKind::Signed},
    {0xDD, "ENGUNIT", 2, TypeKind::Unsigned},
};

} // namespace

DataType FindDataType(std::uint8_t code)
{
    for (const DataType& type : kTypes) {
        if (type.code == code) {
            return type;
        }
    }
    return {code, "", 0, TypeKind::Other};
}

IntegerRange RangeOf(const DataType& type)
{
    if (type.kind == TypeKind::Boolean) {
        return {0, 1, 1};
    }
    const unsigned bits = 8u * (type.size == 0 || type.size > 8 ? 8u : type.size);
    if (bits == 64) {
        return {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
                std::numeric_limits<std::uint64_t>::max()};
    }
    const std::int64_t half = std::int64_t{1} << (bits - 1);
    return {-half, half - 1, (std::uint64_t{1} << bits) - 1};
}

} // namespace orv::eds
