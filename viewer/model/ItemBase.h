#pragma once
// Base of the device model's items: a named exchange with the open node. Read, Write and Format
// answer false here; Encode is the one conversion of a value into its bytes that every item uses.

#include "platform/Mutex.h"

#include <cstdint>
#include <span>
#include <string>

namespace orv::viewer {

class ItemBase {
public:
    ItemBase() = default;
    ItemBase(const ItemBase&) = delete;
    ItemBase& operator=(const ItemBase&) = delete;
    virtual ~ItemBase() = default;

    virtual bool Read();
    // `value` points at what `kind` (ValueKind) says; `size` is the byte count the caller expects.
    virtual bool Write(const void* value, int kind, int size);
    // Converts `value` into `destination`. `size` goes in as the byte count for raw kinds and for
    // hex text (-1: half the text length) and comes back as the number of bytes written. Fails,
    // writing nothing, when the value does not parse or its bytes would not fit `destination`.
    //
    //   kind 1, 2, 3, 5, 6   the byte, 16-bit, 32-bit pattern, 32-bit, unsigned 16-bit; little-endian
    //   kind 4 (text)        by the item's value type: decimal ("%d") stored in 1, 2 or 4 bytes, a
    //                        float ("%f"), a short string (length byte and characters), or, for
    //                        raw types, two upper-case hex digits per byte: exactly 2 x size digits
    //   any other kind       `size` bytes copied unchanged
    virtual bool Encode(std::span<std::uint8_t> destination, const void* value, int kind, int& size);
    // The item's value as text; `type` -1 stands for the item's own value type.
    virtual bool Format(std::string& text, int type);

    const std::string& Name() const { return name_; }

protected:
    // The value type that text (kind 4) is converted by.
    virtual int TextType() const { return 0; }

    std::string name_;
    // Taken only while a reply is copied into an item's value buffer.
    platform::RecursiveMutex lock_;
};

} // namespace orv::viewer
