// poll: one polled I/O exchange on the node's poll connection, sized by its Connection object.

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"
#include "tools/dnet/commands/Explicit.h"

#include "cardlibs/Drv712Results.h"
#include "driver/devicenet/DeviceNetMaster.h"
#include "driver/devicenet/Identifiers.h"

#include <algorithm>

namespace orv::dnet {
namespace {

// Connection instance 2 is the poll connection; attributes 7 and 8 its produced and consumed sizes.
constexpr int kConnectionClass = 5;
constexpr int kPollConnection = 2;
constexpr int kProducedSize = 7;
constexpr int kConsumedSize = 8;

} // namespace

CommandResult RunPoll(Session& session, const Command& command)
{
    PollResult started;
    started.node = command.node;
    CommandResult result{{}, session.EnsureNode(command.node, true), started};
    if (!result.outcome.Ok()) {
        return result;
    }
    PollResult& poll = std::get<PollResult>(result.body);
    // The poll connection's sizes: what the node produces (the answer) and consumes (the command).
    std::uint16_t produced = 0;
    std::uint16_t consumed = 0;
    if (result.outcome = GetUInt16(session, command.node, kConnectionClass, kPollConnection, kProducedSize, produced);
        !result.outcome.Ok()) {
        return result;
    }
    if (result.outcome = GetUInt16(session, command.node, kConnectionClass, kPollConnection, kConsumedSize, consumed);
        !result.outcome.Ok()) {
        return result;
    }
    poll.produced = produced;
    poll.consumed = consumed;
    if (produced > kMaxPollData) {
        result.outcome = {kExitFailure, "the node produces " + std::to_string(produced) + " bytes per poll; at most " +
                                            std::to_string(kMaxPollData) + " are supported"};
        return result;
    }
    std::uint8_t buffer[kReplyBufferSize] = {};
    std::copy(command.data.begin(), command.data.end(), buffer);
    std::int16_t rxIdentifierField = 0;
    auto rxLengthField = static_cast<std::int16_t>(produced);
    const std::int32_t rval = session.Driver().DNPoll(
        static_cast<std::int16_t>(devicenet::Group2Identifier(command.node, devicenet::Group2Message::PollCommand)),
        static_cast<std::int16_t>(command.data.size()), &rxIdentifierField, &rxLengthField, buffer);
    const auto rxIdentifier = static_cast<std::uint16_t>(rxIdentifierField);
    const auto rxLength = static_cast<std::uint16_t>(rxLengthField);
    poll.sent = command.data;
    if (rval != 0) {
        // The driver tells a refused command and a malformed response from silence; the VORA
        // library does so by codes of its own.
        const bool vora = session.Settings().card == CardKind::Vora;
        std::string what = "no poll response from node ";
        if (rval == (vora ? cardlibs::drv712::kMalformedResponse : devicenet::DeviceNetMaster::kPollMalformedResponse)) {
            what = "malformed poll response from node ";
        } else if (rval == (vora ? cardlibs::drv712::kBusUnavailable : devicenet::DeviceNetMaster::kPollCommandRefused)) {
            what = "the card refused the poll command to node ";
        }
        std::string message = session.WithReason(what + std::to_string(command.node));
        if (!command.data.empty() && command.data.size() != consumed) {
            // A node discards a poll command of another size than its connection consumes.
            message += " (it consumes " + std::to_string(consumed) + " bytes per poll command; " +
                       std::to_string(command.data.size()) + " were sent)";
        }
        result.outcome = {kExitFailure, message};
        return result;
    }
    if (rxLength != produced) {
        result.outcome = {kExitFailure, "poll response of " + std::to_string(rxLength) + " bytes, expected " +
                                            std::to_string(produced)};
        return result;
    }
    poll.rxId = rxIdentifier;
    poll.response.assign(buffer, buffer + produced);
    return result;
}

} // namespace orv::dnet
