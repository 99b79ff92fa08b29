#pragma once
// Puts the DeviceNet master engine straight onto a canbus bus: the CAN712 stand-in runs its own
// master this way.

#include "canbus/Bus.h"
#include "driver/devicenet/CanLibrary.h"

#include <algorithm>

namespace orv::cardlibs {

class BusCanLibrary final : public devicenet::CanLibrary {
public:
    explicit BusCanLibrary(canbus::Bus& bus) : bus_(bus) {}

    bool SendFrame(const devicenet::CanFrame& frame) override
    {
        canbus::Frame out;
        out.id = frame.identifier;
        out.length = frame.dataLength();
        std::copy_n(frame.data.begin(), out.length, out.data.begin());
        return bus_.Send(out);
    }

    void WaitForFrame(std::uint32_t milliseconds) override
    {
        bus_.WaitForFrame(std::chrono::milliseconds(milliseconds));
    }

    bool ReceiveFrame(devicenet::CanFrame& frame) override
    {
        canbus::Frame in;
        while (bus_.TryReceive(in)) {
            if (in.extended || in.remote) {
                continue; // the master works with standard data frames only
            }
            frame.identifier = static_cast<std::uint16_t>(in.id);
            frame.length = in.length;
            std::copy_n(in.data.begin(), std::min<std::size_t>(in.length, frame.data.size()), frame.data.begin());
            return true;
        }
        return false;
    }

private:
    canbus::Bus& bus_;
};

} // namespace orv::cardlibs
