#pragma once
// DeviceNet identifiers, service codes and error codes as a Group 2 only slave uses them.

#include <cstdint>

namespace devsim::devicenet {

// Group 2 identifiers carry the slave's MAC ID: 0x400 + 8 x MAC + message ID.
enum class Group2 : std::uint8_t {
    ExplicitResponse = 3,    // slave: explicit and unconnected responses, request fragment acks
    ExplicitRequest = 4,     // master: explicit requests, response fragment acks
    PollCommand = 5,         // master: poll command
    UnconnectedRequest = 6,  // master: Allocate and Release on the unconnected port
    DuplicateMacCheck = 7,   // everyone: duplicate MAC ID check request and response
};

constexpr std::uint32_t Group2Id(std::uint8_t mac, Group2 message)
{
    return 0x400u | (static_cast<std::uint32_t>(mac & 0x3F) << 3) | static_cast<std::uint32_t>(message);
}

constexpr bool IsGroup2(std::uint32_t id) { return (id & 0x600u) == 0x400u; }
constexpr std::uint8_t Group2Mac(std::uint32_t id) { return static_cast<std::uint8_t>((id >> 3) & 0x3F); }
constexpr std::uint8_t Group2Message(std::uint32_t id) { return static_cast<std::uint8_t>(id & 0x07); }

// The poll response: Group 1 message 15, identifier (15 << 6) | MAC.
constexpr std::uint32_t PollResponseId(std::uint8_t mac) { return (15u << 6) | (mac & 0x3Fu); }

// Explicit message header byte.
inline constexpr std::uint8_t kFragBit = 0x80;
inline constexpr std::uint8_t kXidBit = 0x40;
inline constexpr std::uint8_t kMacMask = 0x3F;

// Fragmentation byte: type in bits 7..6, count in bits 5..0.
enum class FragmentType : std::uint8_t { First = 0x00, Middle = 0x40, Last = 0x80, Ack = 0xC0 };
inline constexpr std::uint8_t kFragmentTypeMask = 0xC0;
inline constexpr std::uint8_t kFragmentCountMask = 0x3F;

// Acknowledge status of a fragment.
inline constexpr std::uint8_t kAckSuccess = 0x00;
inline constexpr std::uint8_t kAckTooMuchData = 0x01;

namespace service {
inline constexpr std::uint8_t kReset = 0x05;
inline constexpr std::uint8_t kGetAttributeSingle = 0x0E;
inline constexpr std::uint8_t kSetAttributeSingle = 0x10;
inline constexpr std::uint8_t kAllocate = 0x4B;
inline constexpr std::uint8_t kRelease = 0x4C;
inline constexpr std::uint8_t kErrorResponse = 0x94;
inline constexpr std::uint8_t kResponseBit = 0x80;
} // namespace service

// General error codes.
namespace error {
inline constexpr std::uint8_t kResourceUnavailable = 0x02;
inline constexpr std::uint8_t kServiceNotSupported = 0x08;
inline constexpr std::uint8_t kInvalidAttributeValue = 0x09;
inline constexpr std::uint8_t kAlreadyInState = 0x0B;
inline constexpr std::uint8_t kObjectStateConflict = 0x0C;
inline constexpr std::uint8_t kAttributeNotSettable = 0x0E;
inline constexpr std::uint8_t kPrivilegeViolation = 0x0F;
inline constexpr std::uint8_t kDeviceStateConflict = 0x10;
inline constexpr std::uint8_t kNotEnoughData = 0x13;
inline constexpr std::uint8_t kAttributeNotSupported = 0x14;
inline constexpr std::uint8_t kTooMuchData = 0x15;
inline constexpr std::uint8_t kObjectDoesNotExist = 0x16;
inline constexpr std::uint8_t kInvalidParameter = 0x20;
inline constexpr std::uint8_t kAttributeNotGettable = 0x2C;

inline constexpr std::uint8_t kNoAdditionalCode = 0xFF;
// Additional codes of the predefined master/slave connection set.
inline constexpr std::uint8_t kAllocationConflict = 0x01;
inline constexpr std::uint8_t kInvalidAllocationChoice = 0x02;
inline constexpr std::uint8_t kGroup2OnlyServer = 0x03;
} // namespace error

// Allocation choice bits.
inline constexpr std::uint8_t kChoiceExplicit = 0x01;
inline constexpr std::uint8_t kChoicePoll = 0x02;

} // namespace devsim::devicenet
