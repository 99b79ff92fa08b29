#pragma once
// The predefined master/slave connection set of a Group 2 only slave: which master owns it, the
// explicit (instance 1) and poll (instance 2) connections with their states, expected packet
// rates and inactivity watchdogs. Allocate and Release answer as the connection set does on the
// bus, with the standard error codes.

#include "devsim/ObjectModel.h"

#include <cstdint>
#include <optional>

namespace devsim {

enum class ConnectionState : std::uint8_t {
    NonExistent = 0,
    Configuring = 1,
    WaitingForId = 2,
    Established = 3,
    TimedOut = 4,
    DeferredDelete = 5,
};

enum class WatchdogAction : std::uint8_t { TimedOut = 0, AutoDelete = 1, AutoReset = 2, DeferredDelete = 3 };

struct Connection {
    ConnectionState state = ConnectionState::NonExistent;
    std::uint16_t expectedPacketRate = 0; // ms; 0: no watchdog
    WatchdogAction watchdogAction = WatchdogAction::TimedOut;
    std::uint16_t productionInhibitTime = 0; // ms
    std::uint32_t lastActivityMs = 0;
    std::uint16_t producedSize = 0; // latched at allocation
    std::uint16_t consumedSize = 0;
};

// Sizes of the explicit connection's messages (bodies without the header byte).
inline constexpr std::uint16_t kExplicitMessageSize = 64;
// Expected packet rate an explicit connection starts with.
inline constexpr std::uint16_t kExplicitDefaultPacketRate = 2500;
// The inactivity watchdog runs out after this many expected packet rates.
inline constexpr std::uint32_t kWatchdogMultiplier = 4;

class ConnectionSet {
public:
    static constexpr std::uint8_t kNoOwner = 0xFF;
    static constexpr std::uint8_t kExplicitInstance = 1;
    static constexpr std::uint8_t kPollInstance = 2;

    // Allocate_Master/Slave_Connection_Set: `choice` bits, `allocator` the master's MAC ID.
    // Success data: the message body format (0: 8-bit class, 8-bit instance).
    Outcome Allocate(std::uint8_t choice, std::uint8_t allocator, std::uint32_t nowMs);
    // Release_Master/Slave_Connection_Set from `requester`.
    Outcome Release(std::uint8_t choice, std::uint8_t requester);
    void ReleaseAll();

    std::uint8_t Owner() const { return owner_; }
    std::uint8_t Allocated() const { return allocated_; }

    Connection& Explicit() { return connections_[0]; }
    const Connection& Explicit() const { return connections_[0]; }
    Connection& Poll() { return connections_[1]; }
    const Connection& Poll() const { return connections_[1]; }
    // Instance 1 or 2.
    Connection& At(std::uint8_t instance) { return connections_[instance - 1]; }
    const Connection& At(std::uint8_t instance) const { return connections_[instance - 1]; }

    // The explicit connection carries requests (established, or waiting for deletion).
    bool ExplicitOpen() const;
    bool PollEstablished() const { return Poll().state == ConnectionState::Established; }

    // A message arrived on the connection: restarts its watchdog.
    void Kick(Connection& connection, std::uint32_t nowMs);

    // Sets the expected packet rate: moves a configuring connection to established and restarts
    // the watchdog. Returns the rate in use.
    std::uint16_t SetExpectedPacketRate(std::uint8_t instance, std::uint16_t rate, std::uint32_t nowMs);

    // Runs the inactivity watchdogs.
    void Tick(std::uint32_t nowMs);
    // Milliseconds until Tick next has a watchdog to run out; nullopt while none runs.
    std::optional<std::uint32_t> NextExpiry(std::uint32_t nowMs) const;

private:
    void Delete(std::uint8_t choiceBit);

    Connection connections_[2];
    std::uint8_t owner_ = kNoOwner;
    std::uint8_t allocated_ = 0;
};

} // namespace devsim
