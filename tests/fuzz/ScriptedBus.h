#pragma once
// A card library and a clock for the DeviceNet master, both driven by a fuzz input: once the
// master has sent its first frame, every frame it asks for is the next one the input describes,
// and time passes only as the master works and waits, so that every call ends within its
// deadline however the input looks. Nothing is pending before the first frame goes out, so the
// master's drain at the start of a call leaves the input to the exchange.
//
// An entry in the input: one byte of flags, then
// - with bit 1 set, a pause: one byte, the milliseconds during which nothing more arrives (a node
//   that drips its frames);
// - else a frame: unless bit 0 is set (on the identifier the master expects, `answerId`) two
//   bytes of identifier, then one byte whose low four bits are the library's length field (up to
//   15, as a classic CAN DLC), then the data bytes.

#include "driver/devicenet/CanLibrary.h"
#include "driver/devicenet/Clock.h"
#include "tests/fuzz/FuzzInput.h"

#include <algorithm>
#include <cstdint>

namespace orv::fuzz {

class ScriptedBus final : public devicenet::CanLibrary, public devicenet::Clock {
public:
    ScriptedBus(FuzzInput& input, std::uint16_t answerId) : input_(input), answerId_(answerId) {}

    bool SendFrame(const devicenet::CanFrame&) override
    {
        ++now_;
        sent_ = true;
        return true;
    }

    bool ReceiveFrame(devicenet::CanFrame& frame) override
    {
        ++now_;
        while (sent_ && now_ >= quietUntil_ && !input_.Empty()) {
            const std::uint8_t flags = input_.Byte();
            if ((flags & 2) != 0) {
                quietUntil_ = now_ + input_.Byte();
                continue;
            }
            frame.identifier = (flags & 1) != 0 ? answerId_ : static_cast<std::uint16_t>(input_.Le16() & 0x7FF);
            frame.length = input_.Byte() & 0x0F;
            const auto data = input_.Bytes(std::min<std::size_t>(frame.length, frame.data.size()));
            std::copy(data.begin(), data.end(), frame.data.begin());
            return true;
        }
        return false;
    }

    // Sleeps until the pause is over or the wait ends.
    void WaitForFrame(std::uint32_t milliseconds) override
    {
        const std::uint32_t quiet = quietUntil_ > now_ ? quietUntil_ - now_ : 0;
        now_ += quiet > 0 && !input_.Empty() ? std::min(milliseconds, quiet) : milliseconds;
    }

    std::uint32_t TickCount() override { return now_; }
    void Sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }

private:
    FuzzInput& input_;
    std::uint16_t answerId_;
    std::uint32_t now_ = 0;
    std::uint32_t quietUntil_ = 0;
    bool sent_ = false;
};

} // namespace orv::fuzz
