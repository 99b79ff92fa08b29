#pragma once
// One attribute of the open node (class, instance, attribute), read with Get_Attribute_Single and
// written with Set_Attribute_Single. The last value read or encoded stays in a 64-byte value
// buffer; pages and controls re-target the item with Setup before every use.

#include "viewer/model/ItemBase.h"
#include "viewer/model/ValueType.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orv::viewer {

class Module;

class AttributeItem final : public ItemBase {
public:
    AttributeItem() = default;

    // Re-targets the item; the value buffer is left as it is. An empty name becomes
    // "Attr <class>,<instance>,<attribute>". True.
    bool Setup(Module* module, int classId, int instance, int attribute, int valueType, int size,
               const std::string& name, int tag);

    // One Get_Attribute_Single. True when the value arrived, exactly, and is in the buffer. The
    // value is the item's size in bytes, or the length byte and that many bytes for size -1; a
    // value longer than the buffer, or a reply shorter or longer than its value, fails and leaves
    // the buffer alone.
    bool Read() override;
    // The item's size is the first bytes of a longer value (one that does not fit the buffer): a
    // read keeps them and drops the rest. Setup ends it.
    void TakeFirstBytes(bool first) { firstBytes_ = first; }
    // Encodes `value` into the buffer and sends it with Set_Attribute_Single. `size` must equal the
    // item's size (nothing is sent otherwise). True when the node accepted it.
    bool Write(const void* value, int kind, int size) override;
    // The value as text by `type` (-1: the item's own value type): "%d", "%f", the characters of a
    // short string, "%u", or two hex digits per byte. Never past the bytes last stored.
    bool Format(std::string& text, int type) override;

    float GetFloat() const;
    std::int16_t GetInt16() const;
    std::uint32_t GetUInt32() const;
    std::uint8_t GetByte() const;
    // Copies `count` bytes of the buffer (at most its size) into `destination`.
    void GetBytes(std::uint8_t* destination, std::size_t count) const;

    int ClassId() const { return class_; }
    int Instance() const { return instance_; }
    int Attribute() const { return attribute_; }
    int Type() const { return valueType_; }
    int Size() const { return size_; }
    int Tag() const { return tag_; }
    // How many bytes of the buffer hold the last value read or encoded.
    std::size_t StoredLength() const { return stored_; }

protected:
    int TextType() const override { return valueType_; }

private:
    Module* owner_ = nullptr;
    int class_ = 0;
    int instance_ = 0;
    int attribute_ = 0;
    int valueType_ = 0;
    int size_ = 0;
    int tag_ = 0;
    std::array<std::uint8_t, kValueBufferSize> value_{};
    std::size_t stored_ = 0;
    bool firstBytes_ = false;
};

} // namespace orv::viewer
