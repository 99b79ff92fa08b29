#pragma once
// The CAN port of a back-end that carries the DeviceNet master: send a frame, wait for a frame
// within the receive time-out, drain stale frames. Its CANXmit, CANRcv and SetTimeout are also the
// back-end's raw-frame operations seen by automation clients.

#include "driver/devicenet/CanFrame.h"
#include "driver/devicenet/CanLibrary.h"
#include "driver/devicenet/CanTrace.h"
#include "driver/devicenet/Clock.h"
#include "driver/devicenet/Deadline.h"
#include "driver/devicenet/FrameFilter.h"
#include "driver/devicenet/MasterPolicy.h"
#include "platform/Mutex.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orv::devicenet {

class CanPort {
public:
    static constexpr std::uint32_t kDefaultReceiveTimeout = 1000;
    // The most frames one drain throws away: more than any library's receive queue holds, so that
    // a node flooding the bus faster than the master reads cannot hold an operation in its drain.
    static constexpr std::size_t kDrainLimit = 8192;

    CanPort(CanLibrary& library, Clock& clock, MasterPolicy policy);

    // Card state set by the back-end's LoadVXD / UnloadVXD. Close may come from another thread while
    // CANRcv waits: the wait ends with -1 as soon as the library's wait returns.
    void Open(std::uint8_t masterMacId);
    void Close();
    bool IsOpen() const { return isOpen_; }
    std::uint8_t MasterMacId() const { return masterMacId_; }
    const MasterPolicy& Policy() const { return policy_; }

    // Sends one standard data frame (identifier: low 16 bits, must fit 11 bits; length 0..8, or
    // cut to 8 where the policy says so). 0 when the library accepted it, else -1.
    int CANXmit(int identifier, int length, const std::uint8_t* data);

    // Waits up to the receive time-out, measured on the tick count, for one frame: between two
    // questions to the library it sleeps in the library's wait. 0 with the identifier, the length
    // (0..8) and that many data bytes written to `data` (which must hold 8), -1 when the card is
    // closed or nothing came in time.
    int CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data);

    // Stores the receive time-out; a negative value is taken as unsigned. Returns 0.
    int SetTimeout(int milliseconds);
    std::uint32_t ReceiveTimeout() const { return receiveTimeout_; }

    // Steps of the master.
    int SendFrame(const CanFrame& frame);
    // The deadline of a protocol call that starts now: twice the receive time-out.
    Deadline CallDeadline();
    // Waits up to the receive time-out, and never past the call's `deadline`, for a frame that
    // `filter` takes: the others are taken and traced but neither end the wait nor become data.
    // Leaves `frame` as it was on -1.
    int Receive(const FrameFilter& filter, const Deadline& deadline, CanFrame& frame);
    // Waits up to the receive time-out for any frame.
    int ReceiveFrame(CanFrame& frame);
    void DrainReceive();

    CanTrace& Trace() { return trace_; }

private:
    std::uint8_t ReceivedLength(std::uint8_t raw) const;
    int Wait(const FrameFilter& filter, const Deadline* deadline, CanFrame& frame);

    CanLibrary& library_;
    Clock& clock_;
    const MasterPolicy policy_;
    platform::RecursiveMutex mutex_;
    std::atomic<bool> isOpen_ = false;
    std::uint8_t masterMacId_ = 0;
    std::uint32_t receiveTimeout_ = kDefaultReceiveTimeout;
    CanTrace trace_;
};

} // namespace orv::devicenet
