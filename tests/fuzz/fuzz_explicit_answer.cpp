// The master's explicit messaging against a node that answers whatever the input says, at the
// pace the input says: Get_Attribute_Single, Set_Attribute_Single, any other service, Allocate and
// Release, on either carrier. Each caller buffer is exactly as large as the interface asks, so
// that a write beyond it stops the run, and a call that outlasts its deadline stops it too.

#include "driver/devicenet/Deadline.h"
#include "driver/devicenet/DeviceNetMaster.h"
#include "tests/fuzz/ScriptedBus.h"

#include <algorithm>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using orv::devicenet::CanFrame;
using orv::devicenet::DeviceNetMaster;
using orv::devicenet::MasterPolicy;
using orv::devicenet::ReplyBuffer;

constexpr int kMaster = 1;
constexpr std::uint32_t kTimeout = 50;
constexpr int kSlave = 12;
constexpr std::uint16_t kExplicitResponseId = 0x400 + 8 * kSlave + 3;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orv::fuzz::FuzzInput input(data, size);
    const std::uint8_t choice = input.Byte();
    const int requestLength = input.Byte() % (DeviceNetMaster::kMaxRequestLength + 1);
    orv::fuzz::ScriptedBus bus(input, kExplicitResponseId);
    DeviceNetMaster master(bus, bus, (choice & 0x80) != 0 ? MasterPolicy::Systec() : MasterPolicy::Sst());
    master.Port().Open(kMaster);
    master.Port().SetTimeout(static_cast<int>(kTimeout));

    const auto bufferOf = [&](std::size_t replySize) {
        return std::vector<std::uint8_t>(std::max<std::size_t>(replySize, static_cast<std::size_t>(requestLength)), 0x5A);
    };
    switch (choice % 5) {
    case 0: {
        std::vector<std::uint8_t> buffer = bufferOf(ReplyBuffer::kCallerSize);
        master.DNGetAttribute(kSlave, 1, 1, 7, buffer.data());
        break;
    }
    case 1: {
        std::vector<std::uint8_t> buffer = bufferOf(14);
        master.DNSetAttribute(kSlave, 100, 1, 1, requestLength, buffer.data());
        break;
    }
    case 2: {
        std::vector<std::uint8_t> buffer = bufferOf(ReplyBuffer::kServiceOffset + DeviceNetMaster::kServiceBodyLimit);
        master.DNService(kSlave, 1, 1, 0x4B, requestLength, buffer.data());
        break;
    }
    default: {
        CanFrame answer;
        const int connection = 1 + ((choice >> 3) & 1);
        if (choice % 5 == 3) {
            master.DNAllocate(kSlave, connection, &answer);
        } else {
            master.DNFree(kSlave, connection, &answer);
        }
        break;
    }
    }
    // Whatever the node sent, the call ended at its deadline at the latest (and the one library
    // call under way then).
    if (bus.TickCount() > orv::devicenet::Deadline::CallBudget(kTimeout) + 1) {
        std::abort();
    }
    return 0;
}
