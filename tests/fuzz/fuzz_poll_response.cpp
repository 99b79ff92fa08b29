// The master's polled I/O against a node that answers whatever the input says, at the pace the
// input says: poll commands of any size (fragmented or not), responses expected of any size, on
// either carrier. The buffer is exactly as large as the interface asks, so that a write beyond it
// stops the run, and a poll that outlasts its deadline stops it too.

#include "driver/devicenet/Deadline.h"
#include "driver/devicenet/DeviceNetMaster.h"
#include "tests/fuzz/ScriptedBus.h"

#include <algorithm>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using orv::devicenet::DeviceNetMaster;
using orv::devicenet::MasterPolicy;

constexpr int kMaster = 1;
constexpr std::uint32_t kTimeout = 50;
constexpr int kSlave = 12;
constexpr std::uint16_t kPollCommandId = 0x400 + 8 * kSlave + 5;
constexpr std::uint16_t kPollResponseId = 0x3C0 + kSlave; // Group 1 message 15

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orv::fuzz::FuzzInput input(data, size);
    const std::uint8_t choice = input.Byte();
    constexpr int kSizes = DeviceNetMaster::kMaxIoLength + 1;
    const auto commandSize = static_cast<std::uint16_t>(input.Le16() % kSizes);
    const auto txLength = static_cast<std::uint16_t>(input.Le16() % kSizes);
    std::uint16_t rxLength = static_cast<std::uint16_t>(input.Le16() % kSizes);
    orv::fuzz::ScriptedBus bus(input, kPollResponseId);
    DeviceNetMaster master(bus, bus, (choice & 0x80) != 0 ? MasterPolicy::Systec() : MasterPolicy::Sst());
    master.Port().Open(kMaster);
    master.Port().SetTimeout(static_cast<int>(kTimeout));
    master.SetPollCommandSize(commandSize);

    std::vector<std::uint8_t> buffer(std::max<std::size_t>({8, txLength, rxLength}), 0x5A);
    std::uint16_t rxIdentifier = 0;
    master.DNPoll(kPollCommandId, txLength, &rxIdentifier, &rxLength, buffer.data());
    // Whatever the node sent, the call ended at its deadline at the latest (and the one library
    // call under way then).
    if (bus.TickCount() > orv::devicenet::Deadline::CallBudget(kTimeout) + 1) {
        std::abort();
    }
    return 0;
}
