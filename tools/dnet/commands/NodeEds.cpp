#include "tools/dnet/commands/NodeEds.h"

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Explicit.h"

#include "driver/devicenet/Identifiers.h"

namespace orv::dnet {
Outcome ReadIdentity(Session& session, int node, NodeIdentity& identity)
{
    namespace dn = devicenet;
    NodeIdentity read;
    Bytes revision;
    Outcome outcome = GetUInt16(session, node, dn::kIdentityClass, 1, dn::kIdentityVendorId, read.key.vendorId);
    if (outcome.Ok()) {
        outcome = GetUInt16(session, node, dn::kIdentityClass, 1, dn::kIdentityDeviceType, read.key.deviceType);
    }
    if (outcome.Ok()) {
        outcome = GetUInt16(session, node, dn::kIdentityClass, 1, dn::kIdentityProductCode, read.key.productCode);
    }
    if (outcome.Ok()) {
        outcome = GetFixedSize(session, node, dn::kIdentityClass, 1, dn::kIdentityRevision, 2, revision);
    }
    if (!outcome.Ok()) {
        return outcome;
    }
    read.key.majorRevision = revision[0];
    read.minorRevision = revision[1];
    identity = read;
    return {};
}

Outcome IdentifyNode(Session& session, int node, NodeEds& found)
{
    Outcome outcome = ReadIdentity(session, node, found.identity);
    if (outcome.Ok()) {
        found.file = session.EdsLibrary().Find(found.identity.key);
    }
    return outcome;
}

std::string IdentityText(const NodeIdentity& identity)
{
    return "vendor " + std::to_string(identity.key.vendorId) + ", device type " +
           std::to_string(identity.key.deviceType) + ", product code " + std::to_string(identity.key.productCode) +
           ", revision " + std::to_string(identity.key.majorRevision) + "." + std::to_string(identity.minorRevision);
}

} // namespace orv::dnet
