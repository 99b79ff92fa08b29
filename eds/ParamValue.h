#pragma once
// The values of a parameter: the bytes a device holds it in, the text people read (scaled, with its
// units, its enumeration's name or its named bits) and the text they type to set it, checked
// against the parameter before anything goes to the device.
//
// A scaled value is ((value + offset) x multiplier x base) / (divisor x 10^decimal places); the
// scaling applies when the descriptor says so, the decimal places always. Integer arithmetic
// throughout, so that a value read, shown and typed again is the value that was read.

#include "eds/Model.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::eds {

// The value in the bytes a device answered for `param`; nullopt with `why` when the bytes do not
// have the parameter's type and size.
std::optional<Value> DecodeValue(const Param& param, std::span<const std::uint8_t> bytes, std::string& why);

// The bytes that carry `value` (of the parameter's type) to the device.
std::vector<std::uint8_t> EncodeValue(const Param& param, const Value& value);

// For people: "500 ms", "None", "0x03 (list, timeout)", "\"\\r\"".
std::string ValueText(const Param& param, const Value& value);

// The name `value` has in the parameter's enumeration (not for bit strings); empty when none.
std::string EnumName(const Param& param, const Value& value);

// What the parameter may be set to: "10 to 2550 ms", "None, Odd, Even", "up to 8 characters".
std::string RangeText(const Param& param);

// The value to write for what a user typed (a scaled number, an enumeration's name, bit names
// joined by '+', a string with escapes); false with `why` when the parameter is read-only or the
// value is outside its range, not in its enumeration or not one it can hold exactly.
bool ValueFromText(const Param& param, std::string_view text, Value& value, std::string& why);

} // namespace orv::eds
