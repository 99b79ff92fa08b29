#include "devsim/Model.h"

#include "devsim/DeviceNet.h"

namespace devsim {

Outcome Model::Allocate(std::uint8_t choice, std::uint8_t allocator)
{
    Outcome outcome = connections.Allocate(choice, allocator, nowMs);
    if (outcome.Ok() && (choice & devicenet::kChoicePoll)) {
        pollLayout = gateway.CurrentLayout();
        pollIdle = true;
        connections.Poll().producedSize = pollLayout.Produced();
        connections.Poll().consumedSize = pollLayout.Consumed();
    }
    return outcome;
}

Outcome Model::Release(std::uint8_t choice, std::uint8_t from)
{
    return connections.Release(choice, from);
}

std::uint16_t Model::IdentityStatus() const
{
    std::uint16_t status = 0;
    if (connections.Owner() != ConnectionSet::kNoOwner) {
        status |= 0x0001; // owned
    }
    if (configured) {
        status |= 0x0004;
    }
    // Extended device status (bits 4..7).
    std::uint16_t extended = 3; // no I/O connection established
    switch (connections.Poll().state) {
    case ConnectionState::TimedOut: extended = 2; break; // an I/O connection faulted
    case ConnectionState::Established: extended = pollIdle ? 7 : 6; break; // idle, or run
    default: break;
    }
    status |= static_cast<std::uint16_t>(extended << 4);
    if (gateway.status != 0) {
        status |= 0x0100; // minor recoverable fault: a serial line error
    }
    return status;
}

std::uint16_t Model::PollProducedSize() const
{
    return connections.Poll().state == ConnectionState::NonExistent ? gateway.CurrentLayout().Produced()
                                                                      : connections.Poll().producedSize;
}

std::uint16_t Model::PollConsumedSize() const
{
    return connections.Poll().state == ConnectionState::NonExistent ? gateway.CurrentLayout().Consumed()
                                                                      : connections.Poll().consumedSize;
}

} // namespace devsim
