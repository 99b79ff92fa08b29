#pragma once
// Small pieces the class tables share.

#include "devsim/DeviceNet.h"
#include "devsim/Model.h"
#include "devsim/ObjectModel.h"

#include <initializer_list>
#include <string>

namespace devsim::tables {

inline Value Number(std::uint32_t number) { return Value{number, {}}; }
inline Value Text(const std::string& text) { return Value{0, Bytes(text.begin(), text.end())}; }
inline Value Raw(Bytes bytes) { return Value{0, std::move(bytes)}; }
inline std::string AsText(const Value& value) { return std::string(value.bytes.begin(), value.bytes.end()); }

inline bool OneOf(std::uint32_t value, std::initializer_list<std::uint32_t> allowed)
{
    for (const auto a : allowed) {
        if (a == value) {
            return true;
        }
    }
    return false;
}

inline Outcome Invalid() { return Outcome::Error(devicenet::error::kInvalidAttributeValue); }
inline Outcome Done() { return Outcome::Success(); }

// Stores a setting and marks the device as configured.
template <class T, class U>
Outcome Store(Model& model, T& field, U value)
{
    field = static_cast<T>(value);
    model.configured = true;
    return Done();
}

// Class attribute 1 (revision) and 2 (highest instance) of a class.
inline Value Revision1(const Model&, std::uint8_t) { return Number(1); }
inline Value Revision2(const Model&, std::uint8_t) { return Number(2); }

} // namespace devsim::tables
