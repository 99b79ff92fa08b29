#pragma once
// Globally unique identifiers of classes, interfaces and type libraries, in the memory layout and
// the text form ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}") automation uses.

#include "platform/Hex.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orv::com {

// 16 bytes: Data1 to Data3 in host byte order, Data4 as written. A plain C record, so that the
// server entry points can take it across the C boundary.
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;

constexpr bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

namespace detail {

void InvalidGuidLiteral(); // not constexpr: reaching it at compile time stops the build

} // namespace detail

// Parses exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hexadecimal digits of either case,
// braces required, nothing before or after).
constexpr std::optional<GUID> ParseGuid(std::string_view text)
{
    constexpr std::size_t kLength = 38;
    if (text.size() != kLength || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-') {
        return std::nullopt;
    }
    const auto data1 = platform::ParseHexNumber(text.substr(1, 8));
    const auto data2 = platform::ParseHexNumber(text.substr(10, 4));
    const auto data3 = platform::ParseHexNumber(text.substr(15, 4));
    if (!data1 || !data2 || !data3) {
        return std::nullopt;
    }
    GUID guid{static_cast<std::uint32_t>(*data1), static_cast<std::uint16_t>(*data2),
              static_cast<std::uint16_t>(*data3), {}};
    constexpr std::size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        const auto byte = platform::ParseHexNumber(text.substr(kByteAt[i], 2));
        if (!byte) {
            return std::nullopt;
        }
        guid.Data4[i] = static_cast<std::uint8_t>(*byte);
    }
    return guid;
}

// A GUID written in the source: `constexpr CLSID kClsid = MakeGuid("{...}");`. Malformed text
// does not compile.
consteval GUID MakeGuid(std::string_view text)
{
    const std::optional<GUID> guid = ParseGuid(text);
    if (!guid) {
        detail::InvalidGuidLiteral();
    }
    return *guid;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case digits, as the registry holds it.
std::string GuidToString(const GUID& guid);

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_IUnknown = MakeGuid("{00000000-0000-0000-C000-000000000046}");
inline constexpr IID IID_IClassFactory = MakeGuid("{00000001-0000-0000-C000-000000000046}");
inline constexpr IID IID_IDispatch = MakeGuid("{00020400-0000-0000-C000-000000000046}");

} // namespace orv::com
