#pragma once
// The seam between the DeviceNet master and a card's interface library: the calls the port makes
// of a library that carries raw CAN frames. Card back-ends implement it over their vendor library;
// tests implement it with a scripted peer.

#include "driver/devicenet/CanFrame.h"

#include <cstdint>

namespace orv::devicenet {

class CanLibrary {
public:
    virtual ~CanLibrary() = default;

    // Hands one frame to the library. True when the library accepted it.
    virtual bool SendFrame(const CanFrame& frame) = 0;

    // Takes one pending frame without waiting. True when a frame was delivered. The length is the
    // library's own length field and may exceed 8; the port bounds every copy.
    virtual bool ReceiveFrame(CanFrame& frame) = 0;

    // Sleeps until a frame may be pending, `milliseconds` have passed or the library was closed,
    // whichever comes first; an early return is harmless. A library that has no way to wait returns
    // at once, and the port then asks it again without pause, as it must.
    virtual void WaitForFrame(std::uint32_t milliseconds) { (void)milliseconds; }

    // False when the library has no way to receive at all (its receive entry point is missing):
    // every receive then fails at once instead of waiting out its time-out.
    virtual bool CanReceive() const { return true; }
};

} // namespace orv::devicenet
