// The simulated Brelin fed frames and serial bytes from the input, with time passing between
// them: Allocate and Release, explicit requests and their fragments and acknowledgements, poll
// commands, duplicate MAC ID checks, frames for others, and the serial line.
//
// The input: one byte of faults, then events. An event byte's low bit chooses a serial input
// (its length in the next byte) or a frame: bit 1 set sends it to the device's own Group 2
// identifiers (message in bits 2..4), else two bytes of identifier follow; then a length byte
// (low four bits, up to 15) and the data. Every event lets as many milliseconds pass as the next
// byte says.

#include "devsim/BrelinDevice.h"
#include "tests/fuzz/FuzzInput.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

constexpr std::uint8_t kMac = 63;

devsim::Faults FaultsOf(std::uint8_t bits)
{
    devsim::Faults faults;
    faults.duplicate = (bits & 0x01) != 0;
    faults.dropEvery = (bits & 0x02) != 0 ? 3 : 0;
    faults.delayMs = (bits & 0x04) != 0 ? 20 : 0;
    faults.secondMacId = (bits & 0x08) != 0 ? 12 : -1;
    faults.fragments = static_cast<devsim::FragmentFault>((bits >> 4) % 4);
    return faults;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orv::fuzz::FuzzInput input(data, size);
    devsim::BrelinDevice::Options options;
    options.macId = kMac;
    options.faults = FaultsOf(input.Byte());
    devsim::BrelinDevice device(options);
    std::size_t sent = 0;
    device.SetSink([&sent](const canbus::Frame& frame) {
        if (!canbus::IsWellFormed(frame)) {
            __builtin_trap();
        }
        ++sent;
    });
    device.SetSerialSink([](std::span<const std::uint8_t>) {});

    std::uint32_t now = 0;
    device.Poll(now);
    while (!input.Empty()) {
        const std::uint8_t event = input.Byte();
        if ((event & 1) != 0) {
            device.SerialInput(input.Bytes(input.Byte()), now);
        } else {
            canbus::Frame frame;
            frame.id = (event & 2) != 0 ? 0x400u | kMac << 3 | ((event >> 2) & 7) : input.Le16() & 0x7FFu;
            frame.length = input.Byte() & 0x0F;
            const auto bytes = input.Bytes(std::min<std::size_t>(frame.length, frame.data.size()));
            std::copy(bytes.begin(), bytes.end(), frame.data.begin());
            device.OnFrame(frame, now);
        }
        now += input.Byte();
        device.Poll(now);
    }
    // Whatever is left to happen, happens.
    for (int i = 0; i < 16; ++i) {
        const std::optional<std::uint32_t> next = device.NextTimer(now);
        if (!next) {
            break;
        }
        now += std::max<std::uint32_t>(*next, 1);
        device.Poll(now);
    }
    return 0;
}
