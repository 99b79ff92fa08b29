// Connection object (class 5): instance 1 the explicit connection, instance 2 the poll connection
// of the predefined master/slave connection set. An instance that is not allocated answers with
// state 0 (non-existent); its settable attributes then refuse writes.

#include "devsim/ObjectHelpers.h"

namespace devsim {

namespace {

using namespace tables;
using namespace devicenet::error;

constexpr std::uint8_t kExplicit = ConnectionSet::kExplicitInstance;

// The poll connection's paths point at the input (100) and output (150) assemblies, attribute 3.
const Bytes kProducedPath{0x20, 0x04, 0x24, 100, 0x30, 0x03};
const Bytes kConsumedPath{0x20, 0x04, 0x24, 150, 0x30, 0x03};

bool Exists(const Model& m, std::uint8_t instance)
{
    return m.connections.At(instance).state != ConnectionState::NonExistent;
}

const AttributeEntry kClassAttributes[] = {
    {1, Kind::Uint, 0, Revision1, nullptr},
};

const AttributeEntry kInstanceAttributes[] = {
    {1, Kind::Usint, 0,
     [](const Model& m, std::uint8_t i) { return Number(static_cast<std::uint8_t>(m.connections.At(i).state)); },
     nullptr},
    {2, Kind::Usint, 0, [](const Model&, std::uint8_t i) { return Number(i == kExplicit ? 0 : 1); }, nullptr},
    // Server, cyclic trigger, transport class 3 (explicit) or 2 (poll).
    {3, Kind::Usint, 0, [](const Model&, std::uint8_t i) { return Number(i == kExplicit ? 0x83 : 0x82); }, nullptr},
    {4, Kind::Uint, 0,
     [](const Model& m, std::uint8_t i) {
         return Number(i == kExplicit ? devicenet::Group2Id(m.activeMacId, devicenet::Group2::ExplicitResponse)
                                      : devicenet::PollResponseId(m.activeMacId));
     },
     nullptr},
    {5, Kind::Uint, 0,
     [](const Model& m, std::uint8_t i) {
         return Number(devicenet::Group2Id(m.activeMacId,
                                      i == kExplicit ? devicenet::Group2::ExplicitRequest : devicenet::Group2::PollCommand));
     },
     nullptr},
    // Produced on message group 2 (source) or 1; consumed on group 2 (destination).
    {6, Kind::Usint, 0, [](const Model&, std::uint8_t i) { return Number(i == kExplicit ? 0x21 : 0x01); }, nullptr},
    {7, Kind::Uint, 0,
     [](const Model& m, std::uint8_t i) { return Number(i == kExplicit ? kExplicitMessageSize : m.PollProducedSize()); },
     nullptr},
    {8, Kind::Uint, 0,
     [](const Model& m, std::uint8_t i) { return Number(i == kExplicit ? kExplicitMessageSize : m.PollConsumedSize()); },
     nullptr},
    {9, Kind::Uint, 0, [](const Model& m, std::uint8_t i) { return Number(m.connections.At(i).expectedPacketRate); },
     [](Model& m, std::uint8_t i, const Value& v) {
         if (!Exists(m, i)) {
             return Outcome::Error(kObjectStateConflict);
         }
         const std::uint16_t inhibit = m.connections.At(i).productionInhibitTime;
         if (v.number != 0 && inhibit > v.number) {
             return Invalid();
         }
         // The answer carries the rate in use.
         Bytes actual;
         AppendLe16(actual, m.connections.SetExpectedPacketRate(i, static_cast<std::uint16_t>(v.number), m.nowMs));
         return Outcome::Success(std::move(actual));
     }},
    {12, Kind::Usint, 0,
     [](const Model& m, std::uint8_t i) { return Number(static_cast<std::uint8_t>(m.connections.At(i).watchdogAction)); },
     [](Model& m, std::uint8_t i, const Value& v) {
         if (!Exists(m, i)) {
             return Outcome::Error(kObjectStateConflict);
         }
         // Explicit connections delete themselves (at once or deferred); I/O connections time out,
         // delete or restart.
         if (i == kExplicit ? !OneOf(v.number, {1, 3}) : !OneOf(v.number, {0, 1, 2})) {
             return Invalid();
         }
         m.connections.At(i).watchdogAction = static_cast<WatchdogAction>(v.number);
         return Done();
     }},
    {13, Kind::Uint, 0,
     [](const Model&, std::uint8_t i) { return Number(i == kExplicit ? 0 : static_cast<std::uint32_t>(kProducedPath.size())); },
     nullptr},
    {14, Kind::Octets, 0, [](const Model&, std::uint8_t i) { return Raw(i == kExplicit ? Bytes{} : kProducedPath); },
     nullptr},
    {15, Kind::Uint, 0,
     [](const Model&, std::uint8_t i) { return Number(i == kExplicit ? 0 : static_cast<std::uint32_t>(kConsumedPath.size())); },
     nullptr},
    {16, Kind::Octets, 0, [](const Model&, std::uint8_t i) { return Raw(i == kExplicit ? Bytes{} : kConsumedPath); },
     nullptr},
    {17, Kind::Uint, 0, [](const Model& m, std::uint8_t i) { return Number(m.connections.At(i).productionInhibitTime); },
     [](Model& m, std::uint8_t i, const Value& v) {
         if (!Exists(m, i)) {
             return Outcome::Error(kObjectStateConflict);
         }
         const std::uint16_t rate = m.connections.At(i).expectedPacketRate;
         if (rate != 0 && v.number > rate) {
             return Invalid();
         }
         m.connections.At(i).productionInhibitTime = static_cast<std::uint16_t>(v.number);
         return Done();
     }},
};

// Reset of a connection restarts its watchdog and brings a timed-out connection back.
Outcome ConnectionService(Model& model, std::uint8_t instance, std::uint8_t service, ByteView data)
{
    if (service != devicenet::service::kReset || instance == 0) {
        return Outcome::Error(kServiceNotSupported);
    }
    if (!data.empty()) {
        return Outcome::Error(kTooMuchData);
    }
    Connection& connection = model.connections.At(instance);
    switch (connection.state) {
    case ConnectionState::NonExistent:
    case ConnectionState::Configuring: return Outcome::Error(kObjectStateConflict);
    case ConnectionState::TimedOut: connection.state = ConnectionState::Established; break;
    default: break;
    }
    model.connections.Kick(connection, model.nowMs);
    return Done();
}

const ObjectClass kConnection{5, kClassAttributes, kInstanceAttributes,
                            [](const Model&, std::uint8_t instance) { return instance == 1 || instance == 2; },
                            ConnectionService};

} // namespace

const ObjectClass& ConnectionClass() { return kConnection; }

} // namespace devsim
