#pragma once
// dnet's client of the driver library's automation interface: the object created by ProgID and
// its methods called by dispatch identifier. Each call returns the method's rval (-1 first, then
// 0 or the card's result); when the automation layer itself refuses a call, rval stays -1 and
// InvokeError() says why.

#include "platform/automation/DispatchDriver.h"

#include <array>
#include <cstdint>
#include <string>

namespace orv::dnet {

inline constexpr std::string_view kDriverProgId = "OrvDeviceNetDriver.OrvDeviceNetCom.1";

namespace dispid {
inline constexpr com::DISPID kDNAllocate = 3;
inline constexpr com::DISPID kDNFree = 4;
inline constexpr com::DISPID kDNGetAttribute = 5;
inline constexpr com::DISPID kDNSetAttribute = 6;
inline constexpr com::DISPID kCANRcv = 7;
inline constexpr com::DISPID kCANXmit = 8;
inline constexpr com::DISPID kDNPoll = 9;
inline constexpr com::DISPID kInit = 11;
inline constexpr com::DISPID kClose = 12;
inline constexpr com::DISPID kOpenModule = 13;
inline constexpr com::DISPID kCloseModule = 14;
inline constexpr com::DISPID kIsInitialized = 15;
inline constexpr com::DISPID kSetTimeout = 17;
inline constexpr com::DISPID kGetCANMessage = 18;
inline constexpr com::DISPID kDNService = 19;
} // namespace dispid

// The 88-byte network settings record Init copies, written at its fixed offsets.
class SettingsRecord {
public:
    static constexpr std::size_t kSize = 88;
    static constexpr std::size_t kDriverNameSize = 64;

    SettingsRecord(int masterMac, int dataRateIndex, int driverType, std::string_view driverName);
    std::uint8_t* Data() { return bytes_.data(); }
    const std::uint8_t* Data() const { return bytes_.data(); }

private:
    std::array<std::uint8_t, kSize> bytes_{};
};

// The 6-byte record OpenModule reads: which connections to allocate and their expected packet
// rates.
class ModuleRecord {
public:
    static constexpr std::size_t kSize = 6;

    ModuleRecord(bool explicitEnabled, bool pollEnabled, std::uint16_t explicitRate, std::uint16_t pollRate);
    std::uint8_t* Data() { return bytes_.data(); }
    const std::uint8_t* Data() const { return bytes_.data(); }

private:
    std::array<std::uint8_t, kSize> bytes_{};
};

class DriverClient {
public:
    // Creates the driver object by its ProgID; false with `why` set when that fails.
    bool Create(std::string& why);
    explicit operator bool() const { return static_cast<bool>(driver_); }

    std::int32_t Init(SettingsRecord& settings);
    std::int32_t Close();
    std::int32_t IsInitialized();
    std::int32_t OpenModule(int node, ModuleRecord& config);
    std::int32_t CloseModule(int node);
    std::int32_t SetTimeout(std::uint32_t milliseconds);
    std::int32_t DNAllocate(int node, int connectionType, std::uint8_t* scratch);
    std::int32_t DNFree(int node, int connectionType, std::uint8_t* scratch);
    std::int32_t DNGetAttribute(int node, int classId, int instance, int attribute, std::uint8_t* buffer);
    std::int32_t DNSetAttribute(int node, int classId, int instance, int attribute, int length, std::uint8_t* buffer);
    std::int32_t DNService(int node, int classId, int instance, int service, int length, std::uint8_t* buffer);
    std::int32_t DNPoll(int txIdentifier, int txLength, std::uint16_t& rxIdentifier, std::uint16_t& rxLength,
                        std::uint8_t* buffer);
    std::int32_t CANXmit(int identifier, int length, std::uint8_t* data);
    std::int32_t CANRcv(std::uint16_t& identifier, std::uint16_t& length, std::uint8_t* buffer);
    // `text` must hold kTraceTextSize bytes.
    std::int32_t GetCANMessage(char* text);

    // Room for the longest trace text a card keeps, its NUL included, with a margin.
    static constexpr std::size_t kTraceTextSize = 2048;

    // Why the last call was refused by the automation layer; empty when it was not.
    const std::string& InvokeError() const { return invokeError_; }

private:
    std::int32_t Call(com::DISPID dispId, std::initializer_list<com::VARIANT> args, std::int32_t& rval);

    com::DispatchDriver driver_;
    std::string invokeError_;
};

} // namespace orv::dnet
