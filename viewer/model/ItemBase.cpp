#include "viewer/model/ItemBase.h"

#include "viewer/model/ValueConversions.h"
#include "viewer/model/ValueType.h"

#include <bit>
#include <cstring>
#include <string_view>

namespace orv::viewer {
namespace {

// Puts `count` bytes into `destination` when they fit.
bool Put(std::span<std::uint8_t> destination, const std::uint8_t* bytes, std::size_t count, int& size)
{
    if (count > destination.size()) {
        return false;
    }
    std::memcpy(destination.data(), bytes, count);
    size = static_cast<int>(count);
    return true;
}

bool EncodeText(std::span<std::uint8_t> destination, std::string_view text, int type, int& size)
{
    std::uint8_t bytes[4] = {};
    std::int32_t number = 0;
    switch (type) {
    case ValueType::kByte:
        if (!ParseDecimal(text, number)) {
            return false;
        }
        bytes[0] = static_cast<std::uint8_t>(number);
        return Put(destination, bytes, 1, size);
    case ValueType::kInt16:
    case ValueType::kUInt16:
        if (!ParseDecimal(text, number)) {
            return false;
        }
        WriteInt16(number, bytes);
        return Put(destination, bytes, 2, size);
    case ValueType::kInt32:
        if (!ParseDecimal(text, number)) {
            return false;
        }
        WriteInt32(static_cast<std::uint32_t>(number), bytes);
        return Put(destination, bytes, 4, size);
    case ValueType::kFloat: {
        float real = 0;
        if (!ParseFloat(text, real)) {
            return false;
        }
        WriteInt32(std::bit_cast<std::uint32_t>(real), bytes);
        return Put(destination, bytes, 4, size);
    }
    case ValueType::kShortString: {
        // A text whose length does not fit the length byte, or the destination, is refused rather
        // than cut to a different string.
        if (text.size() > 255 || text.size() + 1 > destination.size()) {
            return false;
        }
        destination[0] = static_cast<std::uint8_t>(text.size());
        std::memcpy(destination.data() + 1, text.data(), text.size());
        size = static_cast<int>(text.size() + 1);
        return true;
    }
    default: {
        // Hex text: two digits per byte, exactly the item's size when it has one.
        const std::size_t count = size == kVariableSize ? text.size() / 2 : static_cast<std::size_t>(size);
        if (size < kVariableSize || (size != kVariableSize && text.size() != 2 * count) ||
            count > destination.size()) {
            return false;
        }
        if (!ParseHexBytes(text, count, destination.data())) {
            return false;
        }
        size = static_cast<int>(count);
        return true;
    }
    }
}

} // namespace

bool ItemBase::Read()
{
    return false;
}

bool ItemBase::Write(const void*, int, int)
{
    return false;
}

bool ItemBase::Format(std::string&, int)
{
    return false;
}

bool ItemBase::Encode(std::span<std::uint8_t> destination, const void* value, int kind, int& size)
{
    if (value == nullptr) {
        return false;
    }
    std::uint8_t bytes[4] = {};
    switch (kind) {
    case ValueKind::kByte:
        return Put(destination, static_cast<const std::uint8_t*>(value), 1, size);
    case ValueKind::kInt16:
        WriteInt16(*static_cast<const std::int16_t*>(value), bytes);
        return Put(destination, bytes, 2, size);
    case ValueKind::kUInt16:
        WriteInt16(*static_cast<const std::uint16_t*>(value), bytes);
        return Put(destination, bytes, 2, size);
    case ValueKind::kBits32: {
        std::uint32_t bits = 0;
        std::memcpy(&bits, value, sizeof bits); // an integer or a float
        WriteInt32(bits, bytes);
        return Put(destination, bytes, 4, size);
    }
    case ValueKind::kInt32:
        WriteInt32(static_cast<std::uint32_t>(*static_cast<const std::int32_t*>(value)), bytes);
        return Put(destination, bytes, 4, size);
    case ValueKind::kText:
        return EncodeText(destination, static_cast<const char*>(value), TextType(), size);
    default:
        if (size < 0) {
            return false;
        }
        return Put(destination, static_cast<const std::uint8_t*>(value), static_cast<std::size_t>(size), size);
    }
}

} // namespace orv::viewer
