// send and recv: raw CAN frames through the card.

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"

#include "driver/cards/Drv712Api.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace orv::dnet {
namespace {

constexpr std::size_t kFrameBufferSize = 64;

} // namespace

CommandResult RunSend(Session& session, const Command& command)
{
    CommandResult result{{}, {}, SendResult{command.canId, command.data}};
    std::uint8_t data[kFrameBufferSize] = {};
    std::copy(command.data.begin(), command.data.end(), data);
    if (session.Driver().CANXmit(command.canId, static_cast<int>(command.data.size()), data) != 0) {
        result.outcome = {kExitFailure, session.WithReason("the card refused the frame")};
    }
    return result;
}

CommandResult RunRecv(Session& session, const Command&)
{
    namespace drv712 = cards::drv712;
    DriverClient& driver = session.Driver();
    std::int16_t identifier = 0;
    std::int16_t length = 0;
    std::uint8_t frame[kFrameBufferSize] = {};
    std::int32_t rval = -1;
    std::size_t offset = 0;
    if (session.Settings().card == CardKind::Vora) {
        // This card's CANRcv never waits: dnet waits for it.
        offset = drv712::kReceiveDataOffset;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(session.ReceiveTimeout());
        for (;;) {
            rval = driver.CANRcv(&identifier, &length, frame);
            if (rval != drv712::kNothingReceived || std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } else {
        rval = driver.CANRcv(&identifier, &length, frame);
    }
    CommandResult result{{}, {}, RecvResult{}};
    if (rval != 0) {
        result.outcome = {kExitFailure, session.WithReason("no frame received within " +
                                                           std::to_string(session.ReceiveTimeout()) + " ms")};
        return result;
    }
    const std::size_t count = std::min<std::size_t>(static_cast<std::uint16_t>(length), kMaxFrameData);
    result.body = RecvResult{identifier & 0x7FF, Bytes(frame + offset, frame + offset + count)};
    return result;
}

} // namespace orv::dnet
