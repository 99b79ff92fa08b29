#pragma once
// The simulated Brelin: a DeviceNet Group 2 only slave with the Brelin's objects, a gateway
// between the poll data and a serial line. It owns no bus, no clock and no serial port: it is fed
// the frames it sees, the bytes arriving on its serial line and the current time, and sends frames
// and serial bytes through two sinks. Frames go out only from within OnFrame and Poll; NextTimer
// says when Poll next has something to do, so that whoever drives the device sleeps until then.
//
// On the bus it answers, at its MAC ID:
//   - Group 2 message 6 (unconnected port): Allocate and Release of the explicit and poll
//     connections, with the standard error responses;
//   - Group 2 message 4 (explicit requests, only from the master that allocated the explicit
//     connection): Get/Set_Attribute_Single, Reset and Allocate/Release, fragmented both ways;
//   - Group 2 message 5 (poll command, once the poll connection is established, that is after the
//     master set its expected packet rate): the poll response on Group 1 message 15;
//   - Group 2 message 7: the duplicate MAC ID check.

#include "canbus/SimNode.h"
#include "devsim/FaultInjection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace devsim {

class BrelinDevice final : public canbus::SimNode {
public:
    struct Options {
        std::uint8_t macId = 63;
        std::uint8_t baudRate = 0;  // stored data rate: 0 125K, 1 250K, 2 500K
        int busBaudRate = -1;       // the bus's data rate; -1: always the device's own. On a
                                    // mismatch the device hears and sends nothing.
        // Switch positions 0..255: at or below 63 and 2 they set the MAC ID and data rate at
        // power-up and Reset; above, the values are set over the network. -1: the device has no
        // such switch and reports the value in use. The faults' switches=M/B, when given, win.
        int macSwitch = -1;
        int baudSwitch = -1;
        bool duplicateMacCheck = false; // go on line through the duplicate MAC ID check (2 x 1 s)
        std::uint32_t restartMs = 0;    // off line this long after power-up and after a Reset
        std::uint32_t reassemblyTimeoutMs = 1000; // a fragmented request waits this long per fragment
        std::uint32_t ackTimeoutMs = 1000;        // a response fragment waits this long for its ack
        std::uint16_t password = 1234;            // identity attribute 0
        Faults faults;
    };

    using SerialSink = std::function<void(std::span<const std::uint8_t>)>;

    explicit BrelinDevice(Options options);
    ~BrelinDevice() override;

    void SetSink(Sink sink) override;
    void OnFrame(const canbus::Frame& frame, std::uint32_t nowMs) override;
    void Poll(std::uint32_t nowMs) override;
    std::optional<std::uint32_t> NextTimer(std::uint32_t nowMs) const override;

    // The serial line: bytes the device transmits go to the sink; bytes arriving are fed here.
    void SetSerialSink(SerialSink sink);
    void SerialInput(std::span<const std::uint8_t> bytes, std::uint32_t nowMs);
    // Line errors: a parity error or an overrun of the receive or the transmit side.
    void InjectSerialErrors(bool receiveParity, bool receiveOverrun, bool transmitOverrun);

    // The CAN controller went bus-off: counted; with the bus-off interrupt disabled the device
    // stays off the bus until it is powered again.
    void InjectBusOff();
    // Moves the rotary switches; they are read at power-up and at Reset.
    void SetSwitches(std::uint8_t macSwitch, std::uint8_t baudSwitch);
    // Takes the device off the bus (`off`) or puts it back, as with its cable pulled and plugged in
    // again: while off it hears and sends nothing; it keeps its state and its timers run.
    void SetOffBus(bool off);
    // Power off and on: the device starts again at the next Poll.
    void PowerCycle();

    void SetFaults(const Faults& faults);
    const Faults& GetFaults() const;
    // Frames the delay fault dropped because it held as many as it may (OutputStage).
    std::uint64_t HeldOverflow() const;

    // The MAC ID in use on the bus.
    std::uint8_t MacId() const;
    // Answering on the bus (not restarting, checking its MAC ID, faulted, bus-off, deaf or off it).
    bool Online() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace devsim
