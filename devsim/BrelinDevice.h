#pragma once
// The simulated Brelin: a DeviceNet Group 2 only slave with the Brelin's objects. It owns no bus
// and no clock: it is fed the frames it sees and the current time, and sends through a sink.

#include "canbus/Frame.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace devsim {

class BrelinDevice {
public:
    using Sink = std::function<void(const canbus::Frame&)>;

    struct Options {
        std::uint8_t macId = 63;
    };

    explicit BrelinDevice(Options options);
    ~BrelinDevice();

    // Where the device's frames go.
    void SetSink(Sink sink);

    // A frame seen on the bus at `nowMs` (a wrapping millisecond count).
    void OnFrame(const canbus::Frame& frame, std::uint32_t nowMs);

    // Lets time pass: timers (reassembly time-out, delayed answers) run here.
    void Poll(std::uint32_t nowMs);

    std::uint8_t MacId() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace devsim
