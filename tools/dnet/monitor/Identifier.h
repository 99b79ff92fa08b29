#pragma once
// DeviceNet's reading of an 11-bit CAN identifier: message group, message ID and the MAC ID the
// identifier carries, and the name the predefined master/slave connection set gives the message.

#include <cstdint>
#include <string_view>

namespace orv::dnet::monitor {

struct Identifier {
    int group = 0;      // 1 to 4; 0 for 0x7F0..0x7FF, which DeviceNet does not use
    int messageId = -1; // within the group
    int mac = -1;       // the MAC ID in the identifier; -1 in group 4
};

Identifier ClassifyIdentifier(std::uint32_t id);

// Group 2 identifiers of the predefined master/slave connection set: 0x400 + 8 x MAC + message.
inline constexpr int kG2BitStrobeCommand = 0;
inline constexpr int kG2MulticastPoll = 1;
inline constexpr int kG2CosAcknowledge = 2;
inline constexpr int kG2ExplicitResponse = 3;
inline constexpr int kG2ExplicitRequest = 4;
inline constexpr int kG2PollCommand = 5;
inline constexpr int kG2UnconnectedRequest = 6;
inline constexpr int kG2DuplicateMacCheck = 7;
// Group 1 messages of a slave's I/O connections: (message << 6) | MAC.
inline constexpr int kG1MulticastPollResponse = 12;
inline constexpr int kG1CosCyclic = 13;
inline constexpr int kG1BitStrobeResponse = 14;
inline constexpr int kG1PollResponse = 15;

// What the message is in the predefined master/slave connection set (and groups 3 and 4):
// "explicit request", "poll response"; empty where the set gives the message no meaning.
std::string_view MessageName(const Identifier& identifier);

// True when the MAC ID of the identifier is the sender's (else it is the receiver's).
bool CarriesSource(const Identifier& identifier);

} // namespace orv::dnet::monitor
