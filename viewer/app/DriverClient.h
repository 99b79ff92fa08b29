#pragma once
// The viewer's client of the driver library: an IDispatch of OrvDeviceNetCom, bound by ProgID, and
// the ten methods the viewer calls, each by its DISPID with a local rval by reference first.
//
// Buffers and the two records (DriverSettings at Init, ModuleConfig at OpenModule) cross as the
// viewer's own addresses, as byte buffers; the library writes into them only during the call and
// the caller sizes them for the largest reply it provokes. A call the automation layer refuses,
// or any call without a bound object, leaves rval at -1: -1 or false.

#include "platform/automation/DispatchDriver.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orv::viewer {

class DriverClient {
public:
    static constexpr std::string_view kProgId = "OrvDeviceNetDriver.OrvDeviceNetCom.1";

    // DISPIDs of the methods the viewer calls.
    static constexpr com::DISPID kDNGetAttribute = 5;
    static constexpr com::DISPID kDNSetAttribute = 6;
    static constexpr com::DISPID kCANRcv = 7;
    static constexpr com::DISPID kCANXmit = 8;
    static constexpr com::DISPID kDNPoll = 9;
    static constexpr com::DISPID kInit = 11;
    static constexpr com::DISPID kClose = 12;
    static constexpr com::DISPID kOpenModule = 13;
    static constexpr com::DISPID kCloseModule = 14;
    static constexpr com::DISPID kIsInitialized = 15;

    DriverClient() = default;
    DriverClient(const DriverClient&) = delete;
    DriverClient& operator=(const DriverClient&) = delete;

    // Creates the automation object by kProgId. On failure the client stays unbound and
    // `errorText` (may be null) receives the runtime's report, e.g. "Invalid class string: ProgID
    // "OrvDeviceNetDriver.OrvDeviceNetCom.1" is not registered".
    com::HRESULT Create(std::string* errorText = nullptr);
    // Takes over `dispatch` and its reference (for a client that has created the object itself).
    void Attach(com::IDispatch* dispatch);
    // Releases the object; the client becomes unbound.
    void Release();
    bool IsBound() const { return static_cast<bool>(driver_); }

    // Get_Attribute_Single into `buffer` (the reply from byte 4, the value from byte 8). rval.
    std::int32_t DNGetAttribute(std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance, std::int16_t attr,
                                std::uint8_t* buffer);
    // Set_Attribute_Single of the `rlen` bytes at the start of `buffer`; the reply follows. rval.
    std::int32_t DNSetAttribute(std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance, std::int16_t attr,
                                std::int16_t rlen, std::uint8_t* buffer);
    // One received CAN frame: identifier, data length and data bytes. rval.
    std::int32_t CANRcv(std::int16_t* radd, std::int16_t* rlen, std::uint8_t* buf);
    // Sends the `xlen` bytes at `bptr` with identifier `addr`. rval.
    std::int32_t CANXmit(std::int16_t addr, std::int16_t xlen, std::uint8_t* bptr);
    // One polled I/O exchange: `ntxbytes` output bytes from `buffer`, the input bytes back into it;
    // `nrxbytes` goes in as the number of input bytes expected. rval.
    std::int32_t DNPoll(std::int16_t txid, std::int16_t ntxbytes, std::int16_t* rxid, std::int16_t* nrxbytes,
                        std::uint8_t* buffer);
    // Opens the driver with the 88-byte DriverSettings at `settings`. True when rval is 0.
    bool Init(std::uint8_t* settings);
    // Closes the driver. True when rval is 0, which the driver never answers.
    bool Close();
    // Opens node `address` with the 6-byte ModuleConfig at `config`. True when rval is 0.
    bool OpenModule(std::int32_t address, std::uint8_t* config);
    bool CloseModule(std::int32_t address);
    // True when the driver is open.
    bool IsInitialized();

    // The automation status of the last call (S_OK unless the call was refused or nothing is
    // bound), for diagnostics.
    com::HRESULT LastStatus() const { return lastStatus_; }

private:
    // Makes the call and keeps its status; rval as the method left it, -1 when the call failed.
    std::int32_t Call(com::DISPID dispId, std::int32_t& rval, std::initializer_list<com::VARIANT> args);

    com::DispatchDriver driver_;
    com::HRESULT lastStatus_ = com::S_OK;
};

} // namespace orv::viewer
