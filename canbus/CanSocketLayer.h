#pragma once
// The system calls behind a SocketCAN bus, as an interface of their own, so that tests can answer
// them with whatever the kernel may say (ENODEV, ENETDOWN, a drop count) on a machine without CAN.
// Every call returns a count or 0 on success and the negated errno on failure.

#include <cstdint>
#include <optional>
#include <string>

#include <linux/can.h>

namespace canbus {

struct InterfaceState {
    int index = 0;
    bool up = false;
};

class CanSocketLayer {
public:
    virtual ~CanSocketLayer() = default;

    // A non-blocking raw CAN socket that hands the kernel's drop count along with each frame:
    // its descriptor, which polls readable while a frame or an error is pending.
    virtual int Open() = 0;
    // The index and state of the network interface `name` (-ENODEV when there is none).
    virtual int QueryInterface(int fd, const std::string& name, InterfaceState& state) = 0;
    virtual int Bind(int fd, int index) = 0;
    virtual int Send(int fd, const can_frame& frame) = 0;
    // One frame without waiting: the bytes received. `dropCount` is set when the frame carried the
    // socket's running count of frames the kernel dropped from its receive queue.
    virtual int Receive(int fd, can_frame& frame, std::optional<std::uint32_t>& dropCount) = 0;
    // That running count, read without a frame.
    virtual int DropCount(int fd, std::uint32_t& count) = 0;
    virtual void Close(int fd) = 0;
};

// The kernel's.
CanSocketLayer& SystemCanSockets();

} // namespace canbus
