#include "tools/dnet/commands/Explicit.h"

#include "tools/dnet/Reply.h"
#include "tools/dnet/Session.h"

#include "driver/devicenet/Identifiers.h"
#include "driver/devicenet/ReplyBuffer.h"
#include "platform/Hex.h"
#include "platform/LittleEndian.h"

#include <algorithm>
#include <span>

namespace orv::dnet {

using devicenet::ReplyBuffer;

Outcome JudgeReply(const Session& session, std::int32_t rval, const std::uint8_t* buffer, std::uint8_t service,
                   const std::string& what, int node, Bytes& data)
{
    if (rval != 0) {
        return {kExitFailure, session.WithReason(what + "no answer from node " + std::to_string(node))};
    }
    const Reply reply = ReadReply(buffer, kReplyBufferSize, service);
    switch (reply.kind) {
    case Reply::Kind::Success: data = reply.data; return {};
    case Reply::Kind::ErrorResponse: {
        Outcome outcome{kExitErrorResponse, what};
        if (reply.hasGeneralCode) {
            outcome.generalCode = reply.generalCode;
        }
        if (reply.additionalCode != kNoAdditionalCode) {
            outcome.additionalCode = reply.additionalCode;
        }
        outcome.message += ErrorResponseText(outcome.generalCode, outcome.additionalCode);
        return outcome;
    }
    case Reply::Kind::Unexpected: break;
    }
    // A length beyond the buffer is not shown: the bytes it claims are not there.
    const bool fits = reply.length <= kReplyBufferSize - ReplyBuffer::kHeaderOffset;
    const std::span<const std::uint8_t> shown(buffer + ReplyBuffer::kHeaderOffset,
                                              fits ? std::min<std::size_t>(reply.length, 16) : 0);
    return {kExitFailure, what + "unexpected reply from node " + std::to_string(node) + " (length " +
                              std::to_string(reply.length) + ": " + platform::HexText(shown, " ", true) + ")"};
}

Outcome GetFixedSize(Session& session, int node, int classId, int instance, int attribute, std::size_t size,
                     Bytes& value)
{
    std::uint8_t buffer[kReplyBufferSize] = {};
    const std::int32_t rval = session.Driver().DNGetAttribute(node, classId, instance, attribute, buffer);
    const std::string what = "reading " + std::to_string(classId) + "/" + std::to_string(instance) + "/" +
                             std::to_string(attribute) + ": ";
    Outcome outcome = JudgeReply(session, rval, buffer, devicenet::kServiceGetAttributeSingle, what, node, value);
    outcome.generalCode.reset();
    outcome.additionalCode.reset();
    if (!outcome.Ok()) {
        return outcome;
    }
    if (value.size() != size) {
        return {kExitFailure, what + "expected " + std::to_string(size) + " bytes, got " + std::to_string(value.size())};
    }
    return {};
}

Outcome GetUInt16(Session& session, int node, int classId, int instance, int attribute, std::uint16_t& value)
{
    Bytes data;
    Outcome outcome = GetFixedSize(session, node, classId, instance, attribute, 2, data);
    if (outcome.Ok()) {
        value = platform::GetLe16(data.data());
    }
    return outcome;
}

} // namespace orv::dnet
