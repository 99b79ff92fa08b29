// DeviceNet object (class 3), instance 1: MAC ID and data rate (stored now, in use from the next
// Reset; settable unless a switch sets them), bus-off interrupt and counter, the allocation of the
// connection set, the switches (a device without them reports the MAC ID and data rate in use).

#include "devsim/ObjectHelpers.h"

namespace devsim {

namespace {

using namespace tables;
using namespace devicenet::error;

const AttributeEntry kClassAttributes[] = {
    {1, Kind::Uint, 0, Revision2, nullptr},
};

const AttributeEntry kInstanceAttributes[] = {
    {1, Kind::Usint, 0, [](const Model& m, std::uint8_t) { return Number(m.devicenet.macId); },
     [](Model& m, std::uint8_t, const Value& v) {
         return v.number > kMaxMacId ? Invalid() : Store(m, m.devicenet.macId, v.number);
     },
     [](const Model& m, std::uint8_t) { return SetOverNetwork(m.devicenet.macSwitch, kMaxMacId); }},
    {2, Kind::Usint, 0, [](const Model& m, std::uint8_t) { return Number(m.devicenet.baudRate); },
     [](Model& m, std::uint8_t, const Value& v) {
         return v.number > kMaxBaudRate ? Invalid() : Store(m, m.devicenet.baudRate, v.number);
     },
     [](const Model& m, std::uint8_t) { return SetOverNetwork(m.devicenet.baudSwitch, kMaxBaudRate); }},
    {3, Kind::Usint, 0, [](const Model& m, std::uint8_t) { return Number(m.devicenet.busOffInterrupt ? 1 : 0); },
     [](Model& m, std::uint8_t, const Value& v) {
         return v.number > 1 ? Invalid() : Store(m, m.devicenet.busOffInterrupt, v.number != 0);
     }},
    {4, Kind::Usint, 0, [](const Model& m, std::uint8_t) { return Number(m.devicenet.busOffCounter); },
     [](Model& m, std::uint8_t, const Value& v) {
         // The counter can only be cleared.
         if (v.number != 0) {
             return Invalid();
         }
         m.devicenet.busOffCounter = 0;
         return Done();
     }},
    {5, Kind::Octets, 2,
     [](const Model& m, std::uint8_t) { return Raw({m.connections.Allocated(), m.connections.Owner()}); }, nullptr},
    {6, Kind::Usint, 0,
     [](const Model& m, std::uint8_t) { return Number(m.devicenet.macSwitch != m.devicenet.macSwitchAtStart); },
     nullptr},
    {7, Kind::Usint, 0,
     [](const Model& m, std::uint8_t) { return Number(m.devicenet.baudSwitch != m.devicenet.baudSwitchAtStart); },
     nullptr},
    {8, Kind::Usint, 0,
     [](const Model& m, std::uint8_t) {
         return Number(static_cast<std::uint32_t>(m.devicenet.macSwitch == kNoSwitch ? m.activeMacId : m.devicenet.macSwitch));
     },
     nullptr},
    {9, Kind::Usint, 0,
     [](const Model& m, std::uint8_t) {
         return Number(
             static_cast<std::uint32_t>(m.devicenet.baudSwitch == kNoSwitch ? m.activeBaudRate : m.devicenet.baudSwitch));
     },
     nullptr},
};

// Allocate and Release may also come over the explicit connection.
Outcome DeviceNetService(Model& model, std::uint8_t instance, std::uint8_t service, ByteView data)
{
    if (instance != 1) {
        return Outcome::Error(kServiceNotSupported);
    }
    switch (service) {
    case devicenet::service::kAllocate:
        if (data.size() != 2) {
            return Outcome::Error(data.size() < 2 ? kNotEnoughData : kTooMuchData);
        }
        return model.Allocate(data[0], data[1]);
    case devicenet::service::kRelease:
        if (data.size() != 1) {
            return Outcome::Error(data.empty() ? kNotEnoughData : kTooMuchData);
        }
        return model.Release(data[0], model.requester);
    default: return Outcome::Error(kServiceNotSupported);
    }
}

const ObjectClass kDeviceNet{3, kClassAttributes, kInstanceAttributes,
                           [](const Model&, std::uint8_t instance) { return instance == 1; }, DeviceNetService};

} // namespace

const ObjectClass& DeviceNetClass() { return kDeviceNet; }

} // namespace devsim
