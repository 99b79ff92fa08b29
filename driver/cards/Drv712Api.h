#pragma once
// The VORA CAN712 card library as the driver calls it: nine DeviceNet functions looked up by name,
// C calling convention, every argument a 32-bit integer or an address, 0 meaning success.

#include <cstddef>
#include <cstdint>

namespace orv::cards::drv712 {

// CANRcv puts the data bytes of a frame at this offset of the caller's buffer.
inline constexpr std::size_t kReceiveDataOffset = 6;
// CANRcv's result while no frame has been received.
inline constexpr std::int32_t kNothingReceived = 0xFFFC;

extern "C" {
using DNAllocateFn = std::int32_t (*)(std::int32_t nodeAddress, std::int32_t connectionType, std::uint8_t* buffer);
using DNFreeFn = std::int32_t (*)(std::int32_t nodeAddress, std::int32_t connectionType, std::uint8_t* buffer);
using DNGetAttributeFn = std::int32_t (*)(std::int32_t nodeAddress, std::int32_t classId, std::int32_t instance,
                                          std::int32_t attribute, std::uint8_t* buffer);
using DNSetAttributeFn = std::int32_t (*)(std::int32_t nodeAddress, std::int32_t classId, std::int32_t instance,
                                          std::int32_t attribute, std::int32_t length, std::uint8_t* buffer);
using CANRcvFn = std::int32_t (*)(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* buffer);
using CANXmitFn = std::int32_t (*)(std::int32_t identifier, std::int32_t length, const std::uint8_t* data);
using LoadVXDFn = std::int32_t (*)(std::int32_t portAddress, std::int32_t irq, std::uint8_t* config);
using UnloadVXDFn = std::int32_t (*)();
using DNPollFn = std::int32_t (*)(std::int32_t txIdentifier, std::int32_t txLength, std::uint16_t* rxIdentifier,
                                  std::uint16_t* rxLength, std::uint8_t* buffer);
}

} // namespace orv::cards::drv712
