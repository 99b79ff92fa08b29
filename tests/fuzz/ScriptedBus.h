#pragma once
// A card library and a clock for the DeviceNet master, both driven by a fuzz input: every frame
// the master asks for is the next one the input describes, and time passes only as the master
// waits, so that every call ends within its time-outs however the input looks.
//
// A frame in the input: one byte of flags (bit 0: on the identifier the master expects,
// `answerId`; else two bytes of identifier follow), then one byte whose low four bits are the
// library's length field (up to 15, as a classic CAN DLC), then the data bytes.

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
        return true;
    }

    bool ReceiveFrame(devicenet::CanFrame& frame) override
    {
        ++now_;
        if (input_.Empty()) {
            return false;
        }
        const std::uint8_t flags = input_.Byte();
        frame.identifier = (flags & 1) != 0 ? answerId_ : static_cast<std::uint16_t>(input_.Le16() & 0x7FF);
        frame.length = input_.Byte() & 0x0F;
        const auto data = input_.Bytes(std::min<std::size_t>(frame.length, frame.data.size()));
        std::copy(data.begin(), data.end(), frame.data.begin());
        return true;
    }

    void WaitForFrame(std::uint32_t milliseconds) override { now_ += milliseconds; }

    std::uint32_t TickCount() override { return now_; }
    void Sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }

private:
    FuzzInput& input_;
    std::uint16_t answerId_;
    std::uint32_t now_ = 0;
};

} // namespace orv::fuzz
