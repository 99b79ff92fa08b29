#include "devsim/ObjectModel.h"

#include "devsim/DeviceNet.h"

#include <algorithm>
#include <array>

namespace devsim {

namespace {

using namespace dnet::error;

const AttributeSpec* Find(std::span<const AttributeSpec> table, std::uint8_t id)
{
    const auto found = std::find_if(table.begin(), table.end(), [id](const AttributeSpec& a) { return a.id == id; });
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
Outcome Decode(const AttributeSpec& spec, ByteView data, Value& value)
{
    const auto lengthError = [](std::size_t have, std::size_t want) {
        return Outcome::Error(have < want ? kNotEnoughData : kTooMuchData);
    };
    switch (spec.kind) {
    case Kind::Usint:
    case Kind::Uint:
    case Kind::Udint:
        if (data.size() != FixedLength(spec.kind)) {
            return lengthError(data.size(), FixedLength(spec.kind));
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
        if (length > spec.size) {
            return Outcome::Error(kInvalidAttributeValue);
        }
        value.bytes.assign(data.begin() + 1, data.end());
        return Outcome::Success();
    }
    case Kind::Octets:
        if (spec.size != 0 && data.size() != spec.size) {
            return lengthError(data.size(), spec.size);
        }
        value.bytes.assign(data.begin(), data.end());
        return Outcome::Success();
    }
    return Outcome::Error(kInvalidAttributeValue);
}

Outcome GetAttribute(const Model& model, std::span<const AttributeSpec> table, std::uint8_t instance, ByteView data)
{
    if (data.empty()) {
        return Outcome::Error(kNotEnoughData);
    }
    const AttributeSpec* spec = Find(table, data[0]);
    if (!spec) {
        return Outcome::Error(kAttributeNotSupported);
    }
    if (data.size() > 1) {
        return Outcome::Error(kTooMuchData);
    }
    if (!spec->get) {
        return Outcome::Error(kAttributeNotGettable);
    }
    return Outcome::Success(EncodeValue(*spec, spec->get(model, instance)));
}

Outcome SetAttribute(Model& model, std::span<const AttributeSpec> table, std::uint8_t instance, ByteView data)
{
    if (data.empty()) {
        return Outcome::Error(kNotEnoughData);
    }
    const AttributeSpec* spec = Find(table, data[0]);
    if (!spec) {
        return Outcome::Error(kAttributeNotSupported);
    }
    if (!spec->set || (spec->writable && !spec->writable(model, instance))) {
        return Outcome::Error(kAttributeNotSettable);
    }
    Value value;
    if (Outcome decoded = Decode(*spec, data.subspan(1), value); !decoded.Ok()) {
        return decoded;
    }
    return spec->set(model, instance, value);
}

} // namespace

Bytes EncodeValue(const AttributeSpec& spec, const Value& value)
{
    Bytes out;
    switch (spec.kind) {
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

Outcome Execute(Model& model, std::span<const ClassSpec* const> classes, std::uint8_t service, std::uint8_t classId,
                std::uint8_t instance, ByteView data)
{
    const auto found =
        std::find_if(classes.begin(), classes.end(), [classId](const ClassSpec* c) { return c->id == classId; });
    if (found == classes.end()) {
        return Outcome::Error(kObjectDoesNotExist);
    }
    const ClassSpec& cls = **found;
    if (instance != 0 && !cls.hasInstance(model, instance)) {
        return Outcome::Error(kObjectDoesNotExist);
    }
    const std::span<const AttributeSpec> table = instance == 0 ? cls.classAttributes : cls.instanceAttributes;
    switch (service) {
    case dnet::service::kGetAttributeSingle: return GetAttribute(model, table, instance, data);
    case dnet::service::kSetAttributeSingle: return SetAttribute(model, table, instance, data);
    default:
        return cls.otherServices ? cls.otherServices(model, instance, service, data)
                                 : Outcome::Error(kServiceNotSupported);
    }
}

std::span<const ClassSpec* const> BrelinClasses()
{
    static const std::array<const ClassSpec*, 7> classes{&IdentityClass(),     &DeviceNetClass(),
                                                         &AssemblyClass(),     &ConnectionClass(),
                                                         &SerialStreamClass(), &SerialReceiveClass(),
                                                         &SerialTransmitClass()};
    return classes;
}

} // namespace devsim
