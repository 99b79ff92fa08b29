#pragma once
// The SYSTEC USB-CAN library as the driver calls it: six entry points looked up by name, byte
// results (0 success), and the message record the driver fills and reads.

#include <cstddef>
#include <cstdint>

namespace orv::cards::usbcan {

// Message record: identifier (32-bit LE) at 0, frame format at 4 (0 = standard data frame),
// length at 5, data at 6..13, time stamp (32-bit LE) at 14.
inline constexpr std::size_t kMessageSize = 18;
inline constexpr std::size_t kMessageIdentifier = 0;
inline constexpr std::size_t kMessageFormat = 4;
inline constexpr std::size_t kMessageLength = 5;
inline constexpr std::size_t kMessageData = 6;
inline constexpr std::size_t kMessageTimeStamp = 14;
static_assert(kMessageTimeStamp + 4 == kMessageSize);

inline constexpr std::uint8_t kAnyModule = 0xFF;
inline constexpr std::uint32_t kAcceptanceMask = 0xFFEFFFFF; // every identifier bit free, data frames only
inline constexpr std::uint32_t kAcceptanceCode = 0;

inline constexpr std::uint8_t kSuccessful = 0x00;

extern "C" {
using InitHardwareFn = std::uint8_t (*)(std::uint8_t* moduleHandle, std::uint8_t deviceNumber, void* callback);
using DeinitHardwareFn = std::uint8_t (*)(std::uint8_t moduleHandle);
using InitCanFn = std::uint8_t (*)(std::uint8_t moduleHandle, std::uint8_t bitTiming0, std::uint8_t bitTiming1,
                                   std::uint32_t acceptanceMask, std::uint32_t acceptanceCode);
using DeinitCanFn = std::uint8_t (*)(std::uint8_t moduleHandle);
using ReadCanMsgFn = std::uint8_t (*)(std::uint8_t moduleHandle, std::uint8_t* message);
using WriteCanMsgFn = std::uint8_t (*)(std::uint8_t moduleHandle, const std::uint8_t* message);
// Not every USB-CAN library has it: sleeps until a message is pending (0) or `milliseconds` have
// passed or the adapter closed (non-zero). Without it the driver asks UcanReadCanMsg again and
// again while it waits.
using WaitCanMsgFn = std::uint8_t (*)(std::uint8_t moduleHandle, std::uint32_t milliseconds);
}

} // namespace orv::cards::usbcan
