#include "driver/devicenet/CanPort.h"

#include "platform/Tick.h"

#include <algorithm>
#include <cstring>

namespace orv::devicenet {

CanPort::CanPort(CanLibrary& library, Clock& clock, MasterPolicy policy)
    : library_(library), clock_(clock), policy_(policy)
{
}

void CanPort::Open(std::uint8_t masterMacId)
{
    masterMacId_ = masterMacId;
    isOpen_ = true;
}

void CanPort::Close()
{
    isOpen_ = false;
}

std::uint8_t CanPort::ReceivedLength(std::uint8_t raw) const
{
    const std::uint8_t length = policy_.maskReceivedLength ? static_cast<std::uint8_t>(raw & 0x0F) : raw;
    return std::min(length, kMaxDataLength);
}

int CanPort::CANXmit(int identifier, int length, const std::uint8_t* data)
{
    if (!isOpen_) {
        return -1;
    }
    const auto id = static_cast<std::uint16_t>(identifier);
    if (id > kMaxStandardIdentifier) {
        return -1; // not a standard identifier: no such frame exists on this bus
    }
    auto count = static_cast<std::uint16_t>(length);
    if (count > kMaxDataLength) {
        if (!policy_.cutTransmitLength) {
            return -1; // a frame carries at most 8 data bytes; refuse rather than send a wrong one
        }
        count = kMaxDataLength;
    }
    if (count > 0 && data == nullptr) {
        return -1;
    }
    CanFrame frame;
    frame.identifier = id;
    frame.length = static_cast<std::uint8_t>(count);
    if (count > 0) {
        std::memcpy(frame.data.data(), data, count);
    }

    platform::Lock lock(mutex_);
    if (!library_.SendFrame(frame)) {
        return -1;
    }
    trace_.Append(frame);
    return 0;
}

int CanPort::CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data)
{
    CanFrame frame;
    if (ReceiveFrame(frame) != 0) {
        return -1;
    }
    if (identifier != nullptr) {
        *identifier = frame.identifier;
    }
    if (length != nullptr) {
        *length = frame.length;
    }
    if (data != nullptr) {
        std::memcpy(data, frame.data.data(), frame.length);
    }
    return 0;
}

int CanPort::Wait(const FrameFilter& filter, const Deadline* deadline, CanFrame& out)
{
    if (!isOpen_ || !library_.CanReceive()) {
        return -1;
    }
    platform::Lock lock(mutex_);
    const std::uint32_t start = clock_.TickCount();
    for (;;) {
        // Both ends are fixed before the first frame: traffic the filter refuses never lengthens
        // the wait. The unsigned difference stays right across the wrap of the tick counter.
        const std::uint32_t now = clock_.TickCount();
        const std::uint32_t waited = platform::TicksBetween(start, now);
        if (waited >= receiveTimeout_) {
            return -1;
        }
        std::uint32_t left = receiveTimeout_ - waited;
        if (deadline != nullptr) {
            left = std::min(left, deadline->Remaining(now));
            if (left == 0) {
                return -1;
            }
        }
        CanFrame frame;
        if (!library_.ReceiveFrame(frame)) {
            library_.WaitForFrame(left);
            if (!isOpen_) {
                return -1; // closed while it waited
            }
            continue;
        }
        frame.length = ReceivedLength(frame.length);
        std::fill(frame.data.begin() + frame.length, frame.data.end(), std::uint8_t{0});
        trace_.Append(frame);
        if (filter.Takes(frame)) {
            out = frame;
            return 0;
        }
    }
}

int CanPort::SetTimeout(int milliseconds)
{
    receiveTimeout_ = static_cast<std::uint32_t>(milliseconds);
    return 0;
}

int CanPort::SendFrame(const CanFrame& frame)
{
    return CANXmit(frame.identifier, frame.length, frame.data.data());
}

Deadline CanPort::CallDeadline()
{
    return Deadline::ForCall(clock_.TickCount(), receiveTimeout_);
}

int CanPort::Receive(const FrameFilter& filter, const Deadline& deadline, CanFrame& frame)
{
    return Wait(filter, &deadline, frame);
}

int CanPort::ReceiveFrame(CanFrame& frame)
{
    return Wait(AnyFrame{}, nullptr, frame);
}

void CanPort::DrainReceive()
{
    CanFrame stale;
    for (std::size_t n = 0; n < kDrainLimit && library_.ReceiveFrame(stale); ++n) {
    }
}

} // namespace orv::devicenet
