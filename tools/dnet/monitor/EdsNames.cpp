#include "tools/dnet/monitor/EdsNames.h"

#include "tools/dnet/Decoding.h"
#include "tools/dnet/EdsJson.h"

#include "driver/devicenet/Identifiers.h"
#include "eds/ParamValue.h"
#include "platform/LittleEndian.h"

namespace orv::dnet::monitor {
namespace {

namespace dn = devicenet;

std::uint64_t Key(std::uint32_t classId, std::uint32_t instance, std::uint32_t attribute)
{
    return (static_cast<std::uint64_t>(classId) << 40) | (static_cast<std::uint64_t>(instance) << 20) | attribute;
}

bool Whole(const Message& message)
{
    return message.data.size() == message.length;
}

// The node an explicit message concerns: the receiver of a request, the sender of an answer.
int NodeOf(const Message& message)
{
    return message.kind == MessageKind::ExplicitRequest ? message.to : message.from;
}

} // namespace

void EdsNames::Learn(Node& node, const Message& message)
{
    if (message.kind != MessageKind::ExplicitResponse || message.classId != dn::kIdentityClass || message.instance != 1 ||
        !Whole(message)) {
        return;
    }
    const std::span<const std::uint8_t> data(message.data);
    const int service = message.service & ~dn::kServiceReplyBit;
    if (service == dn::kServiceGetAttributesAll && data.size() >= 8) {
        node.vendorId = platform::GetLe16(data.data());
        node.deviceType = platform::GetLe16(data.data() + 2);
        node.productCode = platform::GetLe16(data.data() + 4);
        node.majorRevision = data[6];
    } else if (service == dn::kServiceGetAttributeSingle && data.size() == 2) {
        switch (message.attribute) {
        case dn::kIdentityVendorId: node.vendorId = platform::GetLe16(data.data()); break;
        case dn::kIdentityDeviceType: node.deviceType = platform::GetLe16(data.data()); break;
        case dn::kIdentityProductCode: node.productCode = platform::GetLe16(data.data()); break;
        case dn::kIdentityRevision: node.majorRevision = data[0]; break;
        default: return;
        }
    } else {
        return;
    }
    Ask(node);
}

void EdsNames::Ask(Node& node)
{
    if (!node.vendorId || !node.deviceType || !node.productCode || !node.majorRevision) {
        return;
    }
    const eds::DeviceKey key{*node.vendorId, *node.deviceType, *node.productCode, *node.majorRevision};
    if (node.asked == key) {
        return;
    }
    node.asked = key;
    node.eds = find_ ? find_(key) : nullptr;
    node.byAddress.clear();
    if (!node.eds) {
        return;
    }
    for (const eds::Param& param : node.eds->params) {
        if (const auto& at = param.path.address) {
            node.byAddress.emplace(Key(at->classId, at->instance, at->attribute), &param);
        }
    }
}

void EdsNames::Annotate(Message& message)
{
    const bool request = message.kind == MessageKind::ExplicitRequest;
    if (!request && message.kind != MessageKind::ExplicitResponse && message.kind != MessageKind::ErrorResponse) {
        return;
    }
    const int mac = NodeOf(message);
    if (mac < 0 || mac >= static_cast<int>(nodes_.size())) {
        return;
    }
    Node& node = nodes_[static_cast<std::size_t>(mac)];
    Learn(node, message);
    if (!node.eds || message.classId < 0 || message.instance < 0 || message.attribute < 0 ||
        !AttributeName(message.classId, message.instance, message.attribute).empty()) {
        return;
    }
    const auto found = node.byAddress.find(Key(static_cast<std::uint32_t>(message.classId),
                                               static_cast<std::uint32_t>(message.instance),
                                               static_cast<std::uint32_t>(message.attribute)));
    if (found == node.byAddress.end()) {
        return;
    }
    const eds::Param& param = *found->second;
    message.edsName = param.name;
    const int service = message.service & ~dn::kServiceReplyBit;
    const bool carriesValue = (request && service == dn::kServiceSetAttributeSingle) ||
                              (message.kind == MessageKind::ExplicitResponse && service == dn::kServiceGetAttributeSingle);
    std::string why;
    if (carriesValue && Whole(message)) {
        if (const auto value = eds::DecodeValue(param, message.data, why)) {
            message.edsText = eds::ValueText(param, *value);
            message.edsJson = ValueJson(param, *value);
        }
    }
}

} // namespace orv::dnet::monitor
