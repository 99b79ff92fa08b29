#include "devsim/ObjectModel.h"

#include "devsim/DeviceNet.h"

#include <algorithm>
#include <array>

namespace devsim {

namespace {

using namespace devicenet::error;

const AttributeEntry* Find(std::span<const AttributeEntry> table, std::uint8_t id)
{
    const auto found = std::find_if(table.begin(), table.end(), [id](const AttributeEntry& a) { return a.id == id; });
    return found == table.end() ? nullptr : &*found;
}

std::size_t FixedLength(Kind kind)
{
    switch (kind) {
    case Kind::Usint: return 1;
    case Kind::Uint: return 2;
    case Kind::Udint: return 4;
    default: return 0;
    }
}

// Decodes the request data of a Set into a value, or says why it cannot.
Outcome Decode(const AttributeEntry& entry, ByteView data, Value& value)
{
    const auto lengthError = [](std::size_t have, std::size_t want) {
        return Outcome::Error(have < want ? kNotEnoughData : kTooMuchData);
    };
    switch (entry.kind) {
    case Kind::Usint:
    case Kind::Uint:
    case Kind::Udint:
        if (data.size() != FixedLength(entry.kind)) {
            return lengthError(data.size(), FixedLength(entry.kind));
        }
        value.number = GetLe(data);
        return Outcome::Success();
    case Kind::ShortString: {
        if (data.empty()) {
            return Outcome::Error(kNotEnoughData);
        }
        const std::size_t length = data[0];
        if (data.size() - 1 != length) {
            return lengthError(data.size() - 1, length);
        }
        if (length > entry.size) {
            return Outcome::Error(kInvalidAttributeValue);
        }
        value.bytes.assign(data.begin() + 1, data.end());
        return Outcome::Success();
    }
    case Kind::Octets:
        if (entry.size != 0 && data.size() != entry.size) {
            return lengthError(data.size(), entry.size);
        }
        value.bytes.assign(data.begin(), data.end());
        return Outcome::Success();
    }
    return Outcome::Error(kInvalidAttributeValue);
}

Outcome GetAttribute(const Model& model, std::span<const AttributeEntry> table, std::uint8_t instance, ByteView data)
{
    if (data.empty()) {
        return Outcome::Error(kNotEnoughData);
    }
    const AttributeEntry* entry = Find(table, data[0]);
    if (!entry) {
        return Outcome::Error(kAttributeNotSupported);
    }
    if (data.size() > 1) {
        return Outcome::Error(kTooMuchData);
    }
    if (!entry->get) {
        return Outcome::Error(kAttributeNotGettable);
    }
    return Outcome::Success(EncodeValue(*entry, entry->get(model, instance)));
}

Outcome SetAttribute(Model& model, std::span<const AttributeEntry> table, std::uint8_t instance, ByteView data)
{
    if (data.empty()) {
        return Outcome::Error(kNotEnoughData);
    }
    const AttributeEntry* entry = Find(table, data[0]);
    if (!entry) {
        return Outcome::Error(kAttributeNotSupported);
    }
    if (!entry->set || (entry->writable && !entry->writable(model, instance))) {
        return Outcome::Error(kAttributeNotSettable);
    }
    Value value;
    if (Outcome decoded = Decode(*entry, data.subspan(1), value); !decoded.Ok()) {
        return decoded;
    }
    return entry->set(model, instance, value);
}

} // namespace

Bytes EncodeValue(const AttributeEntry& entry, const Value& value)
{
    Bytes out;
    switch (entry.kind) {
    case Kind::Usint: out.push_back(static_cast<std::uint8_t>(value.number)); break;
    case Kind::Uint: AppendLe16(out, static_cast<std::uint16_t>(value.number)); break;
    case Kind::Udint: AppendLe32(out, value.number); break;
    case Kind::ShortString: {
        const std::size_t length = std::min<std::size_t>(value.bytes.size(), 255);
        out.assign(1 + length, 0);
        out[0] = static_cast<std::uint8_t>(length);
        std::copy_n(value.bytes.begin(), length, out.begin() + 1);
        break;
    }
    case Kind::Octets: out = value.bytes; break;
    }
    return out;
}

Outcome Execute(Model& model, std::span<const ObjectClass* const> classes, std::uint8_t service, std::uint8_t classId,
                std::uint8_t instance, ByteView data)
{
    const auto found =
        std::find_if(classes.begin(), classes.end(), [classId](const ObjectClass* c) { return c->id == classId; });
    if (found == classes.end()) {
        return Outcome::Error(kObjectDoesNotExist);
    }
    const ObjectClass& cls = **found;
    if (instance != 0 && !cls.hasInstance(model, instance)) {
        return Outcome::Error(kObjectDoesNotExist);
    }
    const std::span<const AttributeEntry> table = instance == 0 ? cls.classAttributes : cls.instanceAttributes;
    switch (service) {
    case devicenet::service::kGetAttributeSingle: return GetAttribute(model, table, instance, data);
    case devicenet::service::kSetAttributeSingle: return SetAttribute(model, table, instance, data);
    default:
        return cls.otherServices ? cls.otherServices(model, instance, service, data)
                                 : Outcome::Error(kServiceNotSupported);
    }
}

std::span<const ObjectClass* const> BrelinClasses()
{
    static const std::array<const ObjectClass*, 7> classes{&IdentityClass(),     &DeviceNetClass(),
                                                         &AssemblyClass(),     &ConnectionClass(),
                                                         &SerialStreamClass(), &SerialReceiveClass(),
                                                         &SerialTransmitClass()};
    return classes;
}

} // namespace devsim
