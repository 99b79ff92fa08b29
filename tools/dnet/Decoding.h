#pragma once
// What dnet knows about the meaning of DeviceNet answers: the general error codes by name, and
// decoded forms of the attributes whose meaning is fixed (Identity, DeviceNet and Connection
// objects, and the class attributes every object shares).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orv::dnet {

// "attribute not supported (0x14)"; an unknown code reads "error 0x42".
std::string GeneralErrorText(std::uint8_t code);

// The name of a service code, bit 7 (the response bit) ignored: "Get_Attribute_Single"; an
// unknown code reads "service 0x33".
std::string ServiceName(std::uint8_t code);

// The name of a class the Brelin has ("Identity", "Serial Stream"); empty when not known.
std::string_view ClassName(int classId);

// The name of attribute `attribute` of `classId`/`instance` where its meaning is known ("product
// name"); empty otherwise.
std::string_view AttributeName(int classId, int instance, int attribute);

struct DecodedValue {
    std::string name;      // "vendor id"
    std::string text;      // for people: "331", "\"Brelin\"", "1.2", "0x0004 (configured)"
    std::string jsonValue; // the value as JSON: a number, a string, or an object (revision)
    std::string meaning;   // the name of the value where one is known ("established"), else empty
};

// The decoded form of attribute `attribute` of `classId`/`instance` with the value bytes `value`;
// nullopt when its meaning is not known or the bytes do not have the attribute's size.
std::optional<DecodedValue> DecodeAttribute(int classId, int instance, int attribute,
                                            std::span<const std::uint8_t> value);

// The connections an allocation choice byte names, "explicit, poll"; empty when none.
std::string AllocationChoiceNames(unsigned choice);

// The text of a Short String value (length byte, then characters), bounded by the value bytes;
// nullopt when the length byte claims more characters than there are.
std::optional<std::string> ShortString(std::span<const std::uint8_t> value);

// The name of the common device profile with device type `deviceType` (Identity attribute 2):
// "communications adapter"; empty when not known.
std::string_view DeviceTypeName(std::uint16_t deviceType);

} // namespace orv::dnet
