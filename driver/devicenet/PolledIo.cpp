// Polled I/O: the poll command (Group 2 message 5) and its response, with I/O fragmentation in
// both directions (fragmentation byte first, up to seven data bytes, no acknowledgement).

#include "driver/devicenet/DeviceNetMaster.h"

#include "driver/devicenet/Identifiers.h"

#include <cstring>

namespace orv::devicenet {
namespace {

constexpr std::uint16_t kIoFragmentBytes = 7;

} // namespace

int DeviceNetMaster::DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
                            std::uint8_t* buffer)
{
    if (!port_.IsOpen()) {
        return -1;
    }
    const Deadline deadline = port_.CallDeadline();
    port_.DrainReceive();
    if (rxIdentifier == nullptr || rxLength == nullptr || buffer == nullptr) {
        return -1;
    }
    const auto commandLength = static_cast<std::uint16_t>(txLength);
    const std::uint16_t expected = *rxLength;
    // Six count bits number at most 64 fragments of seven bytes.
    if (commandLength > kMaxIoLength || expected > kMaxIoLength ||
        (commandLength == 0 && pollCommandSize_ > kMaxIoLength)) {
        return -1;
    }
    const auto identifier = static_cast<std::uint16_t>(txIdentifier);
    if (SendPollCommand(identifier, commandLength, buffer) != 0) {
        return kPollCommandRefused;
    }
    if (IsPollCommand(identifier)) {
        const FromIdentifier fromNode(PollResponseIdentifier(MacIdOf(identifier)));
        return ReceivePollResponse(fromNode, deadline, expected, rxIdentifier, rxLength, buffer);
    }
    return ReceivePollResponse(AnyFrame{}, deadline, expected, rxIdentifier, rxLength, buffer);
}

int DeviceNetMaster::SendPollCommand(std::uint16_t identifier, std::uint16_t txLength, const std::uint8_t* buffer)
{
    // Without command data the slave still gets its fragment sequence when it consumes more than
    // one frame: each fragment then carries only its fragmentation byte.
    const bool emptyFragments = txLength == 0 && pollCommandSize_ > kMaxDataLength;
    const std::uint16_t total = emptyFragments ? pollCommandSize_ : txLength;

    if (total <= kMaxDataLength) {
        CanFrame frame;
        frame.identifier = identifier;
        frame.length = static_cast<std::uint8_t>(txLength);
        if (txLength > 0) {
            std::memcpy(frame.data.data(), buffer, txLength);
        }
        return port_.SendFrame(frame);
    }

    std::uint16_t offset = 0;
    std::uint8_t count = 0;
    while (offset < total) {
        const std::uint16_t remaining = static_cast<std::uint16_t>(total - offset);
        std::uint8_t type = kFragmentMiddle;
        std::uint16_t chunk = kIoFragmentBytes;
        if (offset == 0) {
            type = kFragmentFirst;
        } else if (remaining < kMaxDataLength) {
            type = kFragmentLast;
            chunk = remaining;
        }
        CanFrame frame;
        frame.identifier = identifier;
        frame.data[0] = static_cast<std::uint8_t>(type | (count & kFragmentCountMask));
        if (emptyFragments) {
            frame.length = 1;
        } else {
            std::memcpy(frame.data.data() + 1, buffer + offset, chunk);
            frame.length = static_cast<std::uint8_t>(chunk + 1);
        }
        if (port_.SendFrame(frame) != 0) {
            return -1;
        }
        offset = static_cast<std::uint16_t>(offset + chunk);
        ++count;
    }
    return 0;
}

int DeviceNetMaster::ReceivePollResponse(const FrameFilter& from, const Deadline& deadline, std::uint16_t expected,
                                         std::uint16_t* rxIdentifier, std::uint16_t* rxLength, std::uint8_t* buffer)
{
    auto receive = [&](CanFrame& frame) { return port_.Receive(from, deadline, frame); };
    // rxLength reports the bytes written into the buffer, so that a short or long response never
    // passes a caller's exact-length check with stale bytes. It is written on success only.
    CanFrame frame;
    if (expected <= kMaxDataLength) {
        if (receive(frame) != 0) {
            return kPollNoResponse;
        }
        *rxIdentifier = frame.identifier;
        std::memcpy(buffer, frame.data.data(), frame.dataLength());
        *rxLength = frame.dataLength();
        return 0;
    }

    std::uint16_t received = 0;
    std::uint8_t count = 0;
    for (;;) {
        if (receive(frame) != 0) {
            return kPollNoResponse;
        }
        const std::uint16_t remaining = static_cast<std::uint16_t>(expected - received);
        const bool last = remaining <= kIoFragmentBytes;
        const std::uint8_t type = received == 0 ? kFragmentFirst : (last ? kFragmentLast : kFragmentMiddle);
        const auto wantByte = static_cast<std::uint8_t>(type | (type == kFragmentFirst ? 0 : (count & kFragmentCountMask)));
        const std::uint16_t wantLength = last ? static_cast<std::uint16_t>(remaining + 1) : kMaxDataLength;
        if (frame.data[0] != wantByte || frame.dataLength() != wantLength) {
            return kPollMalformedResponse;
        }
        const std::uint16_t chunk = static_cast<std::uint16_t>(wantLength - 1);
        std::memcpy(buffer + received, frame.data.data() + 1, chunk);
        received = static_cast<std::uint16_t>(received + chunk);
        if (last) {
            *rxIdentifier = frame.identifier;
            *rxLength = received;
            return 0;
        }
        ++count;
    }
}

} // namespace orv::devicenet
