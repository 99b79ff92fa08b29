#pragma once
// A simulated Brelin that the test process hosts itself, on a TCP bus on loopback of which the test
// is the hub; the driver's card library joins it as a client through the bus string. Unlike the
// `sim` bus inside a card library, the test reaches this device: its serial line, its faults, its
// state.

#include "canbus/Bus.h"
#include "devsim/BrelinDevice.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orv::viewer::test {

class DeviceHost {
public:
    // A device at `macId` on a free port. Check Ready() before use.
    explicit DeviceHost(std::uint8_t macId = 63);
    ~DeviceHost();
    DeviceHost(const DeviceHost&) = delete;
    DeviceHost& operator=(const DeviceHost&) = delete;

    bool Ready() const { return bus_ != nullptr; }
    const std::string& Error() const { return error_; }
    // "tcp://127.0.0.1:PORT/can0": the driver name (or ORV_CANBUS) that puts a card on this bus.
    const std::string& BusString() const { return busString_; }

    // Runs `action` on the device between two of its steps.
    void WithDevice(const std::function<void(devsim::BrelinDevice&)>& action);
    // Bytes arriving on the device's serial line, as if typed into its terminal.
    void SerialInput(const std::vector<std::uint8_t>& bytes);
    // What the device has written to its serial line so far.
    std::vector<std::uint8_t> SerialOutput();
    // While silent the device is off the bus: it hears and answers nothing, as a node that has
    // gone silent, and keeps its state.
    void SetSilent(bool silent)
    {
        WithDevice([silent](devsim::BrelinDevice& device) { device.SetOffBus(silent); });
    }

private:
    void Run();

    std::string busString_;
    std::string error_;
    std::unique_ptr<canbus::Bus> bus_;
    std::mutex mutex_;
    std::unique_ptr<devsim::BrelinDevice> device_;
    std::vector<std::uint8_t> serialOutput_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace orv::viewer::test
