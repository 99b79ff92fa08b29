#pragma once
// DeviceNet identifiers of the predefined master/slave connection set (Group 2).

#include <cstdint>

namespace orv::devicenet {

// Group 2 message IDs used by the master.
enum class Group2Message : std::uint8_t {
    ExplicitResponse = 3,   // slave -> master; also acknowledges request fragments
    ExplicitRequest = 4,    // master -> slave; also acknowledges response fragments
    PollCommand = 5,        // master -> slave
    UnconnectedRequest = 6, // master -> slave: Allocate / Release
};

inline constexpr std::uint16_t kGroup2Base = 0x400;
inline constexpr std::uint8_t kMaxMacId = 63;

// 0x400 + 8 * MAC ID + message ID; the MAC ID is taken modulo 64.
constexpr std::uint16_t Group2Identifier(unsigned macId, Group2Message message)
{
    return static_cast<std::uint16_t>(kGroup2Base + 8u * (macId & 0x3Fu) + static_cast<unsigned>(message));
}

// A Group 2 explicit response (message ID 3) from any MAC ID.
constexpr bool IsExplicitResponse(std::uint16_t identifier)
{
    return (identifier & 0x607u) == 0x403u;
}

// Where a slave answers the master: explicit responses, fragment acknowledgements and the answers
// to Allocate and Release on Group 2 message 3, poll responses on Group 1 message 15.
constexpr std::uint16_t ExplicitResponseIdentifier(unsigned macId)
{
    return Group2Identifier(macId, Group2Message::ExplicitResponse);
}
constexpr std::uint16_t PollResponseIdentifier(unsigned macId)
{
    return static_cast<std::uint16_t>((15u << 6) | (macId & 0x3Fu));
}

// A Group 2 poll command identifier (message ID 5) names the polled slave.
constexpr bool IsPollCommand(std::uint16_t identifier)
{
    return (identifier & 0x607u) == 0x405u;
}
constexpr unsigned MacIdOf(std::uint16_t group2Identifier)
{
    return (group2Identifier >> 3) & 0x3Fu;
}

// Explicit message header byte.
inline constexpr std::uint8_t kHeaderFragment = 0x80;
inline constexpr std::uint8_t kHeaderTransaction = 0x40;
inline constexpr std::uint8_t kHeaderMacMask = 0x3F;

// Fragmentation byte: type in bits 7..6, count in bits 5..0 (explicit and I/O fragments alike).
inline constexpr std::uint8_t kFragmentFirst = 0x00;
inline constexpr std::uint8_t kFragmentMiddle = 0x40;
inline constexpr std::uint8_t kFragmentLast = 0x80;
inline constexpr std::uint8_t kFragmentAck = 0xC0;
inline constexpr std::uint8_t kFragmentTypeMask = 0xC0;
inline constexpr std::uint8_t kFragmentCountMask = 0x3F;

// Services the master sends.
inline constexpr std::uint8_t kServiceGetAttributeSingle = 0x0E;
inline constexpr std::uint8_t kServiceSetAttributeSingle = 0x10;
inline constexpr std::uint8_t kServiceAllocate = 0x4B;
inline constexpr std::uint8_t kServiceRelease = 0x4C;
inline constexpr std::uint8_t kServiceErrorResponse = 0x94;
inline constexpr std::uint8_t kServiceReplyBit = 0x80;
inline constexpr std::uint8_t kServiceGetAttributesAll = 0x01;

inline constexpr std::uint8_t kDeviceNetClass = 0x03;

// The Identity object (instance 1) and the attributes that identify a device model.
inline constexpr std::uint8_t kIdentityClass = 0x01;
inline constexpr std::uint8_t kIdentityVendorId = 1;
inline constexpr std::uint8_t kIdentityDeviceType = 2;
inline constexpr std::uint8_t kIdentityProductCode = 3;
inline constexpr std::uint8_t kIdentityRevision = 4;

} // namespace orv::devicenet
