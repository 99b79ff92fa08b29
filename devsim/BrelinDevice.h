#pragma once
// The simulated Brelin: a DeviceNet Group 2 only slave with the Brelin's objects. It owns no bus
// and no clock: it is fed the frames it sees and the current time, and sends through a sink.

#include "canbus/SimNode.h"

#include <cstdint>
#include <memory>

namespace devsim {

class BrelinDevice final : public canbus::SimNode {
public:
    struct Options {
        std::uint8_t macId = 63;
    };

    explicit BrelinDevice(Options options);
    ~BrelinDevice() override;

    void SetSink(Sink sink) override;
    void OnFrame(const canbus::Frame& frame, std::uint32_t nowMs) override;
    void Poll(std::uint32_t nowMs) override;

    std::uint8_t MacId() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace devsim
