// Assembly object (class 4): the poll data as the poll connection's paths name it. Instance 100
// is the input (what the poll response carries), instance 150 the output (what the poll command
// carried last).

#include "devsim/ObjectHelpers.h"

namespace devsim {

namespace {

using namespace tables;

constexpr std::uint8_t kInput = 100;
constexpr std::uint8_t kOutput = 150;

PollLayout LayoutInUse(const Model& m)
{
    return m.connections.Poll().state == ConnectionState::NonExistent ? m.gateway.CurrentLayout() : m.pollLayout;
}

Bytes OutputData(const Model& m)
{
    const PollLayout layout = LayoutInUse(m);
    Bytes out;
    for (std::size_t k = 0; k < layout.transmit.size(); ++k) {
        const Bytes& data = m.gateway.transmit[layout.transmit[k]].data;
        for (std::size_t i = 0; i < layout.transmitSizes[k]; ++i) {
            out.push_back(i < data.size() ? data[i] : 0);
        }
    }
    return out;
}

Bytes Data(const Model& m, std::uint8_t instance)
{
    return instance == kInput ? m.gateway.Produce(LayoutInUse(m)) : OutputData(m);
}

const AttributeEntry kClassAttributes[] = {
    {1, Kind::Uint, 0, Revision2, nullptr},
    {2, Kind::Uint, 0, [](const Model&, std::uint8_t) { return Number(kOutput); }, nullptr},
};

const AttributeEntry kInstanceAttributes[] = {
    {3, Kind::Octets, 0, [](const Model& m, std::uint8_t i) { return Raw(Data(m, i)); }, nullptr},
    {4, Kind::Uint, 0,
     [](const Model& m, std::uint8_t i) { return Number(static_cast<std::uint32_t>(Data(m, i).size())); }, nullptr},
};

const ObjectClass kAssembly{4, kClassAttributes, kInstanceAttributes,
                          [](const Model&, std::uint8_t instance) { return instance == kInput || instance == kOutput; },
                          nullptr};

} // namespace

const ObjectClass& AssemblyClass() { return kAssembly; }

} // namespace devsim
