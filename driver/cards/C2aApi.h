#pragma once
// The SST C2A interface library as the driver calls it: entry points looked up by name, C calling
// convention, and the message record the driver fills and reads.

#include <cstddef>
#include <cstdint>

namespace orv::cards::c2a {

// Message record: identifier (16-bit LE) at 0, length at 2, data at 3..10; 20 bytes reserved.
inline constexpr std::size_t kMessageSize = 20;
inline constexpr std::size_t kMessageIdentifier = 0;
inline constexpr std::size_t kMessageLength = 2;
inline constexpr std::size_t kMessageData = 3;
static_assert(kMessageData + 8 <= kMessageSize);

inline constexpr std::size_t kModuleHeaderSize = 132;

// Arguments of C2A_OpenCard and C2A_ModifyFilter the driver passes.
inline constexpr std::int32_t kOpenCardArg3 = 0;
inline constexpr std::int32_t kOpenCardArg4 = 25;
inline constexpr std::int32_t kOpenCardArg5 = 1;
inline constexpr std::int32_t kFilterMask = 0xFFFF;
inline constexpr std::int32_t kFilterEnable = 1;

extern "C" {
using CloseCardFn = int (*)(std::uint32_t cardHandle);
using DriverFn = int (*)();
using FreeDriverFn = int (*)();
using GetBusStatusFn = int (*)(std::uint32_t cardHandle, std::int32_t* status);
using GetCANCountersFn = int (*)(std::uint32_t cardHandle, std::uint32_t* counters);
using GetCardStatusFn = int (*)(std::uint32_t cardHandle, std::int32_t* status);
using GetModuleHeaderFn = int (*)(std::uint32_t cardHandle, std::uint8_t* header);
using LoadDriverFn = int (*)(const char* path);
using ModifyFilterFn = int (*)(std::uint32_t cardHandle, std::int32_t mask, std::int32_t enable);
using OfflineFn = int (*)(std::uint32_t cardHandle);
using OnlineFn = int (*)(std::uint32_t cardHandle, std::int32_t rateCode, std::int32_t, std::int32_t);
using OpenCardFn = int (*)(std::uint32_t* cardHandle, const char* cardName, std::int32_t, std::int32_t, std::int32_t);
using RegisterBusStatusEventFn = int (*)(std::uint32_t cardHandle, void* event);
using RegisterReceiveEventFn = int (*)(std::uint32_t cardHandle, void* event);
using ReceiveFn = int (*)(std::uint32_t cardHandle, std::uint8_t* message);
using SetEventNotificationIntervalFn = int (*)(std::uint32_t cardHandle, std::int32_t milliseconds);
using SendFn = int (*)(std::uint32_t cardHandle, const std::uint8_t* message);
using UnRegisterBusStatusEventFn = int (*)(std::uint32_t cardHandle);
using UnRegisterReceiveEventFn = int (*)(std::uint32_t cardHandle);
using VerifyCardHandleFn = int (*)(std::uint32_t cardHandle);
using VersionFn = int (*)();
// Not every C2A library has it: sleeps until a message is pending (1) or `milliseconds` have passed
// or the card closed (0). Without it the driver asks C2A_Receive again and again while it waits.
using WaitReceiveFn = int (*)(std::uint32_t cardHandle, std::uint32_t milliseconds);
}

// Rate codes of C2A_Online.
inline constexpr std::int32_t kRate125k = 0;
inline constexpr std::int32_t kRate250k = 1;
inline constexpr std::int32_t kRate500k = 2;

} // namespace orv::cards::c2a
