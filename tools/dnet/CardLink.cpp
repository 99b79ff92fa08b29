#include "tools/dnet/CardLink.h"

#include "driver/cards/Drv712Api.h"
#include "driver/devicenet/Identifiers.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace orv::dnet {
namespace {

// Room for CANRcv's data on every card: the VORA card writes it from offset 6.
constexpr std::size_t kFrameBufferSize = 64;
// The card's trace holds about 35 frames: it is moved out well before.
constexpr std::size_t kTraceEvery = 16;
constexpr auto kVoraPause = std::chrono::milliseconds(1);

} // namespace

CardLink::CardLink(viewer::DriverClient& driver, CardKind card, std::uint32_t readTimeoutMs,
                   std::function<void()> keepTrace)
    : driver_(driver), card_(card), readTimeoutMs_(readTimeoutMs), keepTrace_(std::move(keepTrace))
{
}

bool CardLink::Send(const devicenet::CanFrame& frame)
{
    std::uint8_t data[kFrameBufferSize] = {};
    std::copy_n(frame.data.begin(), frame.dataLength(), data);
    const bool sent = driver_.CANXmit(static_cast<std::int16_t>(frame.identifier), frame.dataLength(), data) == 0;
    Traffic(1);
    return sent;
}

bool CardLink::Receive(devicenet::CanFrame& frame, std::uint32_t milliseconds)
{
    std::int16_t identifier = 0;
    std::int16_t length = 0;
    std::uint8_t data[kFrameBufferSize] = {};
    std::size_t offset = 0;
    if (card_ == CardKind::Vora) {
        offset = cards::drv712::kReceiveDataOffset;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            const std::int32_t rval = driver_.CANRcv(&identifier, &length, data);
            if (rval == 0) {
                break;
            }
            const auto now = std::chrono::steady_clock::now();
            if (rval != cards::drv712::kNothingReceived || now >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kVoraPause, deadline - now));
        }
    } else if (!SetTimeout(milliseconds) || driver_.CANRcv(&identifier, &length, data) != 0) {
        return false;
    }
    frame.identifier = static_cast<std::uint16_t>(identifier) & devicenet::kMaxStandardIdentifier;
    frame.length = static_cast<std::uint8_t>(std::min<std::uint16_t>(static_cast<std::uint16_t>(length),
                                                                     devicenet::kMaxDataLength));
    std::copy_n(data + offset, frame.length, frame.data.begin());
    Traffic(1);
    return true;
}

std::uint32_t CardLink::NowMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::optional<Reply> CardLink::GetAttribute(int node, int classId, int instance, int attribute)
{
    if (card_ != CardKind::Vora && !SetTimeout(readTimeoutMs_)) {
        return std::nullopt;
    }
    std::uint8_t buffer[viewer::DriverClient::kReplyBufferSize] = {};
    const std::int32_t rval = driver_.DNGetAttribute(static_cast<std::int16_t>(node), static_cast<std::int16_t>(classId),
                                                     static_cast<std::int16_t>(instance),
                                                     static_cast<std::int16_t>(attribute), buffer);
    Traffic(kTraceEvery); // a read of a long value takes several frames
    if (rval != 0) {
        return std::nullopt;
    }
    return ReadReply(buffer, sizeof buffer, devicenet::kServiceGetAttributeSingle);
}

bool CardLink::RestoreTimeout()
{
    if (timeout_ && *timeout_ != readTimeoutMs_) {
        SetTimeout(readTimeoutMs_);
    }
    return !timeoutRefused_;
}

bool CardLink::SetTimeout(std::uint32_t milliseconds)
{
    if (timeout_ == milliseconds) {
        return true;
    }
    if (driver_.SetTimeout(milliseconds) != 0) {
        timeoutRefused_ = true;
        timeout_.reset();
        return false;
    }
    timeout_ = milliseconds;
    return true;
}

void CardLink::Traffic(std::size_t frames)
{
    untraced_ += frames;
    if (keepTrace_ && untraced_ >= kTraceEvery) {
        keepTrace_();
        untraced_ = 0;
    }
}

} // namespace orv::dnet
