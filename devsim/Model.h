#pragma once
// Everything the Brelin knows: the values behind its objects, its connection set and its serial
// gateway. The object tables read and change it; the device feeds it time and frames.

#include "devsim/ConnectionSet.h"
#include "devsim/SerialGateway.h"

#include <cstdint>
#include <optional>
#include <string>

namespace devsim {

// Out-of-box identity of the Brelin.
namespace identity {
inline constexpr std::uint16_t kVendorId = 1207;
inline constexpr std::uint16_t kDeviceType = 12; // communications adapter
inline constexpr std::uint16_t kProductCode = 4201;
inline constexpr std::uint8_t kMajorRevision = 1;
inline constexpr std::uint8_t kMinorRevision = 4;
inline constexpr std::uint32_t kSerialNumber = 0x00B7E1C5;
inline constexpr const char* kProductName = "Brelin GW";
inline constexpr std::size_t kMaxProductName = 32;
inline constexpr std::uint8_t kStateOperational = 3;
} // namespace identity

struct IdentityState {
    std::uint16_t vendorId = identity::kVendorId;
    std::uint16_t deviceType = identity::kDeviceType;
    std::uint16_t productCode = identity::kProductCode;
    std::uint8_t majorRevision = identity::kMajorRevision;
    std::uint8_t minorRevision = identity::kMinorRevision;
    std::uint32_t serialNumber = identity::kSerialNumber;
    std::string productName = identity::kProductName;
    std::uint16_t password = 1234; // opens the identity attributes for writing until the next Reset
    bool unlocked = false;
};

// Switch positions at or below these are switch settings, which win at power-up and at Reset;
// above, the value is set over the network.
inline constexpr std::uint8_t kMaxMacId = 63;
inline constexpr std::uint8_t kMaxBaudRate = 2;
// The position of a device without that switch: it reports the value in use, which is set over the
// network.
inline constexpr int kNoSwitch = -1;

// Whether the value behind a switch at `position` is set over the network.
inline bool SetOverNetwork(int position, int highestSetting)
{
    return position == kNoSwitch || position > highestSetting;
}

struct DeviceNetState {
    std::uint8_t macId = 63;   // stored; in use from the next Reset
    std::uint8_t baudRate = 0; // stored; 0 125K, 1 250K, 2 500K
    bool busOffInterrupt = false;
    std::uint8_t busOffCounter = 0;
    int macSwitch = kNoSwitch; // switch positions, 0..255 or kNoSwitch
    int baudSwitch = kNoSwitch;
    int macSwitchAtStart = kNoSwitch; // positions read at power-up
    int baudSwitchAtStart = kNoSwitch;
};

struct Model {
    std::uint32_t nowMs = 0;
    std::uint8_t activeMacId = 63;   // the MAC ID on the bus
    std::uint8_t activeBaudRate = 0; // the data rate in use
    IdentityState identity;
    DeviceNetState devicenet;
    ConnectionSet connections;
    SerialGateway gateway;
    PollLayout pollLayout;     // latched when the poll connection was allocated
    bool pollIdle = true;      // the last poll command carried no data
    bool configured = false;   // some setting differs from out of the box
    std::uint8_t requester = 0; // MAC ID of the master whose request runs
    std::optional<std::uint8_t> resetRequested; // Reset type, acted on after the response went out

    // Allocation and release through the connection set, latching the poll layout.
    Outcome Allocate(std::uint8_t choice, std::uint8_t allocator);
    Outcome Release(std::uint8_t choice, std::uint8_t requester);

    // Identity status word: owned, configured, extended device status, minor recoverable fault.
    std::uint16_t IdentityStatus() const;
    // The produced and consumed sizes of the poll connection: latched while it exists, else what an
    // allocation would latch now.
    std::uint16_t PollProducedSize() const;
    std::uint16_t PollConsumedSize() const;
};

} // namespace devsim
