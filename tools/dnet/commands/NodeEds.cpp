#include "tools/dnet/commands/NodeEds.h"

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Explicit.h"

#include "driver/devicenet/Identifiers.h"

namespace orv::dnet {
namespace {

// Identity object, instance 1.
constexpr int kIdentityClass = 1;
constexpr int kVendorId = 1;
constexpr int kDeviceType = 2;
constexpr int kProductCode = 3;
constexpr int kRevision = 4;

} // namespace

Outcome ReadIdentity(Session& session, int node, NodeIdentity& identity)
{
    NodeIdentity read;
    Outcome outcome = GetUInt16(session, node, kIdentityClass, 1, kVendorId, read.key.vendorId);
    if (outcome.Ok()) {
        outcome = GetUInt16(session, node, kIdentityClass, 1, kDeviceType, read.key.deviceType);
    }
    if (outcome.Ok()) {
        outcome = GetUInt16(session, node, kIdentityClass, 1, kProductCode, read.key.productCode);
    }
    if (!outcome.Ok()) {
        return outcome;
    }
    std::uint8_t buffer[kReplyBufferSize] = {};
    Bytes revision;
    const std::string what = "reading the revision 1/1/4: ";
    outcome = JudgeReply(session, session.Driver().DNGetAttribute(node, kIdentityClass, 1, kRevision, buffer), buffer,
                         devicenet::kServiceGetAttributeSingle, what, node, revision);
    outcome.generalCode.reset();
    outcome.additionalCode.reset();
    if (!outcome.Ok()) {
        return outcome;
    }
    if (revision.size() != 2) {
        return {kExitFailure, what + "expected 2 bytes, got " + std::to_string(revision.size())};
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
