#pragma once
// Names from each node's EDS, for the monitor. It learns a node's identity from the answers to
// Identity reads that pass on the bus (vendor id, device type, product code and revision, one by
// one or all at once), asks for the EDS of that identity once, and from then on names the
// attributes that the EDS's parameters lead to, with their values as the parameters show them.
// Attributes with a built-in meaning (the standard objects) keep it. What it holds is bounded: one
// entry per MAC ID, and the parameters of the EDS it was handed.

#include "tools/dnet/monitor/Message.h"

#include "eds/Model.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

namespace orv::dnet::monitor {

class EdsNames {
public:
    // The EDS of a device, or null; asked once for each identity a node answers with.
    using Finder = std::function<std::shared_ptr<const eds::Eds>(const eds::DeviceKey& key)>;

    explicit EdsNames(Finder find) : find_(std::move(find)) {}

    // Learns from `message` and, where the node's EDS names its attribute, fills its EDS fields.
    void Annotate(Message& message);

private:
    struct Node {
        std::optional<std::uint16_t> vendorId;
        std::optional<std::uint16_t> deviceType;
        std::optional<std::uint16_t> productCode;
        std::optional<std::uint8_t> majorRevision;
        std::optional<eds::DeviceKey> asked; // the identity the EDS was asked for
        std::shared_ptr<const eds::Eds> eds;
        std::unordered_map<std::uint64_t, const eds::Param*> byAddress;
    };

    void Learn(Node& node, const Message& message);
    void Ask(Node& node);

    Finder find_;
    std::array<Node, 64> nodes_{};
};

} // namespace orv::dnet::monitor
