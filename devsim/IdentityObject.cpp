// Identity object (class 1), instance 1. The identity attributes are fixed at the factory: they
// can be written only after the factory password was written to attribute 0, until the next Reset.

#include "devsim/ObjectHelpers.h"

namespace devsim {

namespace {

using namespace tables;
using namespace devicenet::error;

bool Unlocked(const Model& model, std::uint8_t) { return model.identity.unlocked; }

const AttributeEntry kClassAttributes[] = {
    {1, Kind::Uint, 0, Revision1, nullptr},
    {2, Kind::Uint, 0, [](const Model&, std::uint8_t) { return Number(1); }, nullptr}, // highest instance
    {6, Kind::Uint, 0, [](const Model&, std::uint8_t) { return Number(7); }, nullptr}, // highest class attribute
    {7, Kind::Uint, 0, [](const Model&, std::uint8_t) { return Number(8); }, nullptr}, // highest instance attribute
};

const AttributeEntry kInstanceAttributes[] = {
    {0, Kind::Uint, 0, nullptr,
     [](Model& m, std::uint8_t, const Value& v) {
         if (v.number != m.identity.password) {
             return Outcome::Error(kPrivilegeViolation);
         }
         m.identity.unlocked = true;
         return Done();
     }},
    {1, Kind::Uint, 0, [](const Model& m, std::uint8_t) { return Number(m.identity.vendorId); },
     [](Model& m, std::uint8_t, const Value& v) {
         if (v.number == 0) {
             return Invalid();
         }
         m.identity.vendorId = static_cast<std::uint16_t>(v.number);
         return Done();
     },
     Unlocked},
    {2, Kind::Uint, 0, [](const Model& m, std::uint8_t) { return Number(m.identity.deviceType); },
     [](Model& m, std::uint8_t, const Value& v) {
         m.identity.deviceType = static_cast<std::uint16_t>(v.number);
         return Done();
     },
     Unlocked},
    {3, Kind::Uint, 0, [](const Model& m, std::uint8_t) { return Number(m.identity.productCode); },
     [](Model& m, std::uint8_t, const Value& v) {
         m.identity.productCode = static_cast<std::uint16_t>(v.number);
         return Done();
     },
     Unlocked},
    {4, Kind::Octets, 2,
     [](const Model& m, std::uint8_t) { return Raw({m.identity.majorRevision, m.identity.minorRevision}); },
     [](Model& m, std::uint8_t, const Value& v) {
         // A major revision is 1 to 127.
         if (v.bytes[0] == 0 || v.bytes[0] > 127) {
             return Invalid();
         }
         m.identity.majorRevision = v.bytes[0];
         m.identity.minorRevision = v.bytes[1];
         return Done();
     },
     Unlocked},
    {5, Kind::Uint, 0, [](const Model& m, std::uint8_t) { return Number(m.IdentityStatus()); }, nullptr},
    {6, Kind::Udint, 0, [](const Model& m, std::uint8_t) { return Number(m.identity.serialNumber); },
     [](Model& m, std::uint8_t, const Value& v) {
         m.identity.serialNumber = v.number;
         return Done();
     },
     Unlocked},
    {7, Kind::ShortString, identity::kMaxProductName,
     [](const Model& m, std::uint8_t) { return Text(m.identity.productName); },
     [](Model& m, std::uint8_t, const Value& v) {
         if (v.bytes.empty()) {
             return Invalid();
         }
         m.identity.productName = AsText(v);
         return Done();
     },
     Unlocked},
    {8, Kind::Usint, 0, [](const Model&, std::uint8_t) { return Number(identity::kStateOperational); }, nullptr},
};

Outcome IdentityService(Model& model, std::uint8_t instance, std::uint8_t service, ByteView data)
{
    if (service != devicenet::service::kReset || instance == 0) {
        return Outcome::Error(kServiceNotSupported);
    }
    if (data.size() > 1) {
        return Outcome::Error(kTooMuchData);
    }
    // Type 0: as a power cycle; type 1: out-of-box configuration, then as a power cycle.
    const std::uint8_t type = data.empty() ? 0 : data[0];
    if (type > 1) {
        return Outcome::Error(kInvalidParameter);
    }
    model.resetRequested = type;
    return Done();
}

const ObjectClass kIdentity{1, kClassAttributes, kInstanceAttributes,
                          [](const Model&, std::uint8_t instance) { return instance == 1; }, IdentityService};

} // namespace

const ObjectClass& IdentityClass() { return kIdentity; }

} // namespace devsim
