#pragma once
// Paths into a device's objects as an EDS writes them: a string of hexadecimal bytes
// ("20 40 24 01 30 03"), the logical segments of a class, an instance and an attribute.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::eds {

struct AttributeAddress {
    std::uint32_t classId = 0;
    std::uint32_t instance = 0;
    std::uint32_t attribute = 0;

    bool operator==(const AttributeAddress&) const = default;
};

struct LinkPath {
    std::vector<std::uint8_t> bytes;
    // Where the path is exactly a class, an instance and an attribute segment (8 or 16 bits each).
    std::optional<AttributeAddress> address;
};

// The bytes of `text`: pairs of hexadecimal digits, blanks between bytes allowed; nullopt when
// anything else is there.
std::optional<std::vector<std::uint8_t>> ParsePathBytes(std::string_view text);

// The class, instance and attribute that `bytes` addresses, when it is just those three segments.
std::optional<AttributeAddress> AddressOf(std::span<const std::uint8_t> bytes);

// "64/1/3"
std::string AddressText(const AttributeAddress& address);

} // namespace orv::eds
