#include "eds/Path.h"

#include "platform/Hex.h"
#include "platform/LittleEndian.h"

namespace orv::eds {
namespace {

// Logical segments: the type in bits 2 to 4 (class 0, instance 1, attribute 4), the format in
// bits 0 and 1 (0: an 8-bit value follows; 1: a pad byte, then a 16-bit value).
constexpr std::uint8_t kLogicalSegment = 0x20;
constexpr std::uint8_t kClassType = 0x00;
constexpr std::uint8_t kInstanceType = 0x04;
constexpr std::uint8_t kAttributeType = 0x10;

// One logical segment of `type` at `at`; advances `at` past it.
std::optional<std::uint32_t> Segment(std::span<const std::uint8_t> bytes, std::size_t& at, std::uint8_t type)
{
    if (at >= bytes.size()) {
        return std::nullopt;
    }
    const std::uint8_t head = bytes[at];
    if (head == (kLogicalSegment | type) && at + 2 <= bytes.size()) {
        at += 2;
        return bytes[at - 1];
    }
    if (head == (kLogicalSegment | type | 1) && at + 4 <= bytes.size()) {
        at += 4;
        return platform::GetLe16(bytes.data() + at - 2);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::uint8_t>> ParsePathBytes(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) {
            return std::nullopt;
        }
        const int high = platform::HexDigitValue(text[i]);
        const int low = platform::HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
        i += 2;
    }
    return bytes;
}

std::optional<AttributeAddress> AddressOf(std::span<const std::uint8_t> bytes)
{
    std::size_t at = 0;
    const auto classId = Segment(bytes, at, kClassType);
    const auto instance = Segment(bytes, at, kInstanceType);
    const auto attribute = Segment(bytes, at, kAttributeType);
    if (!classId || !instance || !attribute || at != bytes.size()) {
        return std::nullopt;
    }
    return AttributeAddress{*classId, *instance, *attribute};
}

std::string AddressText(const AttributeAddress& address)
{
    return std::to_string(address.classId) + "/" + std::to_string(address.instance) + "/" +
           std::to_string(address.attribute);
}

} // namespace orv::eds
