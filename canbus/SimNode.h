#pragma once
// A node that lives on the in-process `sim` bus. It owns no bus and no clock: the bus feeds it the
// frames the other endpoints send and the current time, and the node sends through the sink.

#include "canbus/Frame.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace canbus {

class SimNode {
public:
    using Sink = std::function<void(const Frame&)>;

    virtual ~SimNode() = default;

    // Where the node's frames go.
    virtual void SetSink(Sink sink) = 0;

    // A frame seen on the bus at `nowMs` (a wrapping millisecond count).
    virtual void OnFrame(const Frame& frame, std::uint32_t nowMs) = 0;

    // Lets time pass: the node's timers run here.
    virtual void Poll(std::uint32_t nowMs) = 0;

    // Milliseconds from `nowMs` until Poll next has something to do; nullopt while no timer runs.
    // Whoever drives the node may sleep that long when no frame comes, and no longer.
    virtual std::optional<std::uint32_t> NextTimer(std::uint32_t nowMs) const = 0;
};

// Makes the node that a new `sim` bus attaches at `macId` (the bus string's node=N).
using SimNodeFactory = std::function<std::unique_ptr<SimNode>(std::uint8_t macId)>;

// Sets the node factory of every `sim` bus opened from now on; an empty one takes it away. The
// buses know no device of their own: whoever opens a `sim` bus registers the device it wants on
// it first. Buses already open keep their node.
void SetSimNodeFactory(SimNodeFactory factory);

} // namespace canbus
