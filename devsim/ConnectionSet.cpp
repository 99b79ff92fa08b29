#include "devsim/ConnectionSet.h"

#include "devsim/DeviceNet.h"
#include "devsim/Timers.h"

namespace devsim {

namespace {

using namespace devicenet::error;
constexpr std::uint8_t kSupportedChoices = devicenet::kChoiceExplicit | devicenet::kChoicePoll;

std::uint32_t WatchdogLimit(const Connection& connection)
{
    return kWatchdogMultiplier * connection.expectedPacketRate;
}

bool Expired(const Connection& connection, std::uint32_t nowMs)
{
    return connection.expectedPacketRate != 0 && nowMs - connection.lastActivityMs >= WatchdogLimit(connection);
}

std::optional<std::uint32_t> ExpiresIn(const Connection& connection, std::uint32_t nowMs)
{
    if (connection.expectedPacketRate == 0) {
        return std::nullopt;
    }
    return MillisecondsUntil(nowMs, connection.lastActivityMs + WatchdogLimit(connection));
}

} // namespace

Outcome ConnectionSet::Allocate(std::uint8_t choice, std::uint8_t allocator, std::uint32_t nowMs)
{
    if (choice == 0 || (choice & ~kSupportedChoices) != 0) {
        return Outcome::Error(kInvalidParameter, kInvalidAllocationChoice);
    }
    if (allocator > devicenet::kMacMask) {
        return Outcome::Error(kInvalidParameter);
    }
    if (owner_ != kNoOwner && owner_ != allocator) {
        return Outcome::Error(kObjectStateConflict, kAllocationConflict);
    }
    if ((allocated_ & choice) != 0) {
        return Outcome::Error(kAlreadyInState, kInvalidAllocationChoice);
    }
    owner_ = allocator;
    allocated_ |= choice;
    if (choice & devicenet::kChoiceExplicit) {
        Explicit() = Connection{};
        Explicit().state = ConnectionState::Established;
        Explicit().expectedPacketRate = kExplicitDefaultPacketRate;
        Explicit().watchdogAction = WatchdogAction::AutoDelete;
        Explicit().lastActivityMs = nowMs;
        Explicit().producedSize = kExplicitMessageSize;
        Explicit().consumedSize = kExplicitMessageSize;
    }
    if (choice & devicenet::kChoicePoll) {
        // An I/O connection stays configuring until the master sets its expected packet rate.
        Poll() = Connection{};
        Poll().state = ConnectionState::Configuring;
        Poll().watchdogAction = WatchdogAction::TimedOut;
        Poll().lastActivityMs = nowMs;
    }
    return Outcome::Success(Bytes{0x00});
}

Outcome ConnectionSet::Release(std::uint8_t choice, std::uint8_t requester)
{
    if (choice == 0 || (choice & ~kSupportedChoices) != 0) {
        return Outcome::Error(kInvalidParameter, kInvalidAllocationChoice);
    }
    if (owner_ != kNoOwner && owner_ != requester) {
        return Outcome::Error(kObjectStateConflict, kAllocationConflict);
    }
    if ((allocated_ & choice) != choice) {
        return Outcome::Error(kAlreadyInState, kInvalidAllocationChoice);
    }
    if (choice & devicenet::kChoicePoll) {
        Delete(devicenet::kChoicePoll);
    }
    if (choice & devicenet::kChoiceExplicit) {
        Delete(devicenet::kChoiceExplicit);
    }
    return Outcome::Success();
}

void ConnectionSet::ReleaseAll()
{
    Explicit() = Connection{};
    Poll() = Connection{};
    allocated_ = 0;
    owner_ = kNoOwner;
}

bool ConnectionSet::ExplicitOpen() const
{
    return Explicit().state == ConnectionState::Established || Explicit().state == ConnectionState::DeferredDelete;
}

void ConnectionSet::Kick(Connection& connection, std::uint32_t nowMs)
{
    connection.lastActivityMs = nowMs;
    if (connection.state == ConnectionState::DeferredDelete) {
        connection.state = ConnectionState::Established;
    }
}

std::uint16_t ConnectionSet::SetExpectedPacketRate(std::uint8_t instance, std::uint16_t rate, std::uint32_t nowMs)
{
    Connection& connection = At(instance);
    connection.expectedPacketRate = rate;
    connection.lastActivityMs = nowMs;
    if (connection.state == ConnectionState::Configuring || connection.state == ConnectionState::TimedOut) {
        connection.state = ConnectionState::Established;
    }
    return rate;
}

void ConnectionSet::Tick(std::uint32_t nowMs)
{
    if (PollEstablished() && Expired(Poll(), nowMs)) {
        switch (Poll().watchdogAction) {
        case WatchdogAction::TimedOut: Poll().state = ConnectionState::TimedOut; break;
        case WatchdogAction::AutoDelete: Delete(devicenet::kChoicePoll); break;
        case WatchdogAction::AutoReset: Poll().lastActivityMs = nowMs; break;
        case WatchdogAction::DeferredDelete: Delete(devicenet::kChoicePoll); break;
        }
    }
    if (Explicit().state == ConnectionState::Established && Expired(Explicit(), nowMs)) {
        if (Explicit().watchdogAction == WatchdogAction::DeferredDelete && (allocated_ & devicenet::kChoicePoll)) {
            Explicit().state = ConnectionState::DeferredDelete;
        } else {
            Delete(devicenet::kChoiceExplicit);
        }
    }
}

std::optional<std::uint32_t> ConnectionSet::NextExpiry(std::uint32_t nowMs) const
{
    Soonest soonest;
    if (PollEstablished()) {
        soonest.Offer(ExpiresIn(Poll(), nowMs));
    }
    if (Explicit().state == ConnectionState::Established) {
        soonest.Offer(ExpiresIn(Explicit(), nowMs));
    }
    return soonest.Get();
}

void ConnectionSet::Delete(std::uint8_t choiceBit)
{
    if (choiceBit == devicenet::kChoicePoll) {
        Poll() = Connection{};
        // An explicit connection waiting for its I/O connections to go goes with the last one.
        if (Explicit().state == ConnectionState::DeferredDelete) {
            Explicit() = Connection{};
            allocated_ &= static_cast<std::uint8_t>(~devicenet::kChoiceExplicit);
        }
    } else {
        Explicit() = Connection{};
    }
    allocated_ &= static_cast<std::uint8_t>(~choiceBit);
    if (allocated_ == 0) {
        owner_ = kNoOwner;
    }
}

} // namespace devsim
