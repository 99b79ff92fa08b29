#pragma once
// The device's objects as tables: one table per class lists its attributes (identifier, data kind
// and size, a getter, a setter that validates and stores). One routine executes Get and Set
// requests on any table with the standard error responses, so that the classes only state what
// their attributes are and what values they take.

#include "devsim/Bytes.h"

#include <cstdint>
#include <span>

namespace devsim {

struct Model;

// What a service gives back: success with the reply data that follows the reply service code, or
// a general and an additional error code.
struct Outcome {
    std::uint8_t general = 0; // 0: success
    std::uint8_t additional = 0xFF;
    Bytes data;

    bool Ok() const { return general == 0; }
    static Outcome Success(Bytes data = {}) { return Outcome{0, 0xFF, std::move(data)}; }
    static Outcome Error(std::uint8_t general, std::uint8_t additional = 0xFF) { return Outcome{general, additional, {}}; }
};

// How an attribute's value travels.
enum class Kind : std::uint8_t {
    Usint,       // 1 byte
    Uint,        // 2 bytes, little-endian
    Udint,       // 4 bytes, little-endian
    ShortString, // length byte, then the characters
    Octets,      // raw bytes
};

// A decoded value: `number` for the integer kinds; `bytes` for a string (its characters, without
// the length byte) or for octets.
struct Value {
    std::uint32_t number = 0;
    Bytes bytes;
};

using Getter = Value (*)(const Model& model, std::uint8_t instance);
using Setter = Outcome (*)(Model& model, std::uint8_t instance, const Value& value);
using Gate = bool (*)(const Model& model, std::uint8_t instance);

struct AttributeEntry {
    std::uint8_t id;
    Kind kind;
    std::uint8_t size; // ShortString: most characters; Octets: exact length, 0 when the setter checks
    Getter get;        // null: not gettable
    Setter set;        // null: not settable
    Gate writable = nullptr; // settable only while this holds; null: always
};

using InstanceTest = bool (*)(const Model& model, std::uint8_t instance);
using ServiceHandler = Outcome (*)(Model& model, std::uint8_t instance, std::uint8_t service, ByteView data);

struct ObjectClass {
    std::uint8_t id;
    std::span<const AttributeEntry> classAttributes;    // instance 0
    std::span<const AttributeEntry> instanceAttributes; // instances the class has
    InstanceTest hasInstance;                          // for instances above 0
    ServiceHandler otherServices;                      // services beside Get/Set; null: none
};

// Runs one request on the object model. `data` is what follows the instance byte (the attribute
// and the value for Get and Set). Order of checks: class, instance, service, attribute, access,
// length, value.
Outcome Execute(Model& model, std::span<const ObjectClass* const> classes, std::uint8_t service, std::uint8_t classId,
                std::uint8_t instance, ByteView data);

// The wire form of a value of an attribute.
Bytes EncodeValue(const AttributeEntry& entry, const Value& value);

// Setter shortcuts for values that are one of a set, or within a range.
inline Outcome InvalidValue() { return Outcome::Error(0x09); }

// The classes of the Brelin, in the order the router searches them.
std::span<const ObjectClass* const> BrelinClasses();

const ObjectClass& IdentityClass();
const ObjectClass& DeviceNetClass();
const ObjectClass& AssemblyClass();
const ObjectClass& ConnectionClass();
const ObjectClass& SerialStreamClass();
const ObjectClass& SerialReceiveClass();
const ObjectClass& SerialTransmitClass();

} // namespace devsim
