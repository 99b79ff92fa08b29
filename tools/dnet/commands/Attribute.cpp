// get, set and service: one explicit request each, on the node's explicit connection.

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"
#include "tools/dnet/commands/Explicit.h"

#include "driver/devicenet/Identifiers.h"

#include <algorithm>

namespace orv::dnet {
namespace {

// set and service: the request data goes in the buffer the answer comes back in.
CommandResult Write(Session& session, const Command& command, WriteResult request, std::uint8_t service)
{
    const bool setAttribute = request.attribute.has_value();
    CommandResult result{{}, session.EnsureNode(command.node, false), std::move(request)};
    if (!result.outcome.Ok()) {
        return result;
    }
    std::uint8_t buffer[kReplyBufferSize] = {};
    std::copy(command.data.begin(), command.data.end(), buffer);
    const auto length = static_cast<int>(command.data.size());
    DriverClient& driver = session.Driver();
    const std::int32_t rval =
        setAttribute
            ? driver.DNSetAttribute(command.node, command.classId, command.instance, command.attribute, length, buffer)
            : driver.DNService(command.node, command.classId, command.instance, service, length, buffer);
    Bytes reply;
    result.outcome = JudgeReply(session, rval, buffer, service, "", command.node, reply);
    if (result.outcome.Ok()) {
        std::get<WriteResult>(result.body).reply = std::move(reply);
    }
    return result;
}

} // namespace

CommandResult RunGet(Session& session, const Command& command)
{
    CommandResult result{
        {}, session.EnsureNode(command.node, false), GetResult{command.node, command.classId, command.instance,
                                                               command.attribute, std::nullopt, std::nullopt}};
    if (!result.outcome.Ok()) {
        return result;
    }
    std::uint8_t buffer[kReplyBufferSize] = {};
    const std::int32_t rval =
        session.Driver().DNGetAttribute(command.node, command.classId, command.instance, command.attribute, buffer);
    Bytes value;
    result.outcome =
        JudgeReply(session, rval, buffer, devicenet::kServiceGetAttributeSingle, "", command.node, value);
    if (result.outcome.Ok()) {
        GetResult& get = std::get<GetResult>(result.body);
        get.decoded = DecodeAttribute(command.classId, command.instance, command.attribute, value);
        get.value = std::move(value);
    }
    return result;
}

CommandResult RunSet(Session& session, const Command& command)
{
    return Write(session, command,
                 WriteResult{command.node, command.classId, command.instance, command.attribute, std::nullopt,
                             command.data, std::nullopt},
                 devicenet::kServiceSetAttributeSingle);
}

CommandResult RunService(Session& session, const Command& command)
{
    return Write(session, command,
                 WriteResult{command.node, command.classId, command.instance, std::nullopt, command.service,
                             command.data, std::nullopt},
                 static_cast<std::uint8_t>(command.service));
}

} // namespace orv::dnet
