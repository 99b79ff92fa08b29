// bench: Get_Attribute_Single exchanges per second, and on a wire-timed bus how close that comes
// to what the wire allows.

#include "tools/dnet/Session.h"
#include "tools/dnet/WireRate.h"
#include "tools/dnet/commands/Commands.h"
#include "tools/dnet/commands/Explicit.h"

#include "driver/devicenet/Identifiers.h"
#include "driver/devicenet/ReplyBuffer.h"
#include "platform/LittleEndian.h"

#include <chrono>

namespace orv::dnet {

CommandResult RunBench(Session& session, const Command& command)
{
    using devicenet::ReplyBuffer;
    CommandResult result{{}, session.EnsureNode(command.node, false), BenchResult{command.node, std::nullopt}};
    if (!result.outcome.Ok()) {
        return result;
    }
    // Identity vendor id: a two-byte value, answered in one frame by every device.
    constexpr int kClass = 1;
    constexpr int kInstance = 1;
    constexpr int kAttribute = 1;
    constexpr std::size_t kRequestBytes = 5; // header, service, class, instance, attribute
    constexpr std::uint8_t kService = devicenet::kServiceGetAttributeSingle;
    DriverClient& driver = session.Driver();
    std::uint8_t buffer[kReplyBufferSize] = {};
    Bytes value;
    // One exchange first: the node must answer, and the answer's size is needed for the limit.
    result.outcome = JudgeReply(session, driver.DNGetAttribute(command.node, kClass, kInstance, kAttribute, buffer),
                                buffer, kService, "", command.node, value);
    if (!result.outcome.Ok()) {
        return result;
    }
    const std::size_t answerBytes = platform::GetLe16(buffer + ReplyBuffer::kLengthOffset);
    session.FetchTrace();

    const bool tracing = session.Tracing();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < command.count; ++i) {
        const std::int32_t rval = driver.DNGetAttribute(command.node, kClass, kInstance, kAttribute, buffer);
        if (rval != 0 || buffer[ReplyBuffer::kServiceOffset] != (kService | devicenet::kServiceReplyBit)) {
            result.outcome = JudgeReply(session, rval, buffer, kService, "exchange " + std::to_string(i + 1) + ": ",
                                        command.node, value);
            if (!result.outcome.Ok()) {
                return result;
            }
        }
        if (tracing) {
            session.FetchTrace(); // the card's trace holds only a few exchanges
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    BenchFigures figures;
    figures.count = command.count;
    figures.seconds = seconds;
    figures.perSecond = seconds > 0 ? command.count / seconds : 0;
    figures.requestBytes = kRequestBytes;
    figures.answerBytes = answerBytes;
    figures.rateKbit = session.Settings().rateKbit;
    figures.wireTimed = IsWireTimedBus(session.BusString());
    if (figures.wireTimed) {
        const std::uint32_t bitrate = static_cast<std::uint32_t>(figures.rateKbit) * 1000;
        BenchFigures::Wire wire;
        wire.requestBits = WorstCaseFrameBits(kRequestBytes);
        wire.answerBits = WorstCaseFrameBits(answerBytes);
        wire.limit = WireLimitedRate(bitrate, kRequestBytes, answerBytes);
        wire.ratio = wire.limit > 0 ? figures.perSecond / wire.limit : 0.0;
        figures.wire = wire;
    }
    std::get<BenchResult>(result.body).figures = figures;
    return result;
}

} // namespace orv::dnet
