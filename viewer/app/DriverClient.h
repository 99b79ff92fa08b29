#pragma once
// The one client of the driver library's automation interface, used by the viewer and by dnet: an
// IDispatch of OrvDeviceNetCom bound by ProgID, and its methods, each called by DISPID with a local
// rval by reference first.
//
// Buffers and the two records (DriverSettings at Init, ModuleConfig at OpenModule) cross as the
// caller's own addresses, as byte buffers; the library writes into them only during the call and
// the caller sizes them for the largest reply it provokes. A call the automation layer refuses,
// or any call without a bound object, leaves rval at -1: -1 or false, and InvokeError() says why.

#include "driver/automation/server/Identities.h"
#include "platform/automation/DispatchDriver.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orv::viewer {

class DriverClient {
public:
    static constexpr std::string_view kProgId = automation::kOrvDeviceNetComProgId;

    // The buffer handed to DNGetAttribute, DNSetAttribute and CANRcv: the driver bounds a reply
    // (header, service code and value from byte 6) by it.
    static constexpr std::size_t kReplyBufferSize = 152;
    // Room for the longest trace text a card keeps, its NUL included, with a margin.
    static constexpr std::size_t kTraceTextSize = 2048;

    DriverClient() = default;
    DriverClient(const DriverClient&) = delete;
    DriverClient& operator=(const DriverClient&) = delete;

    // Creates the automation object by kProgId. On failure the client stays unbound and
    // `errorText` (may be null) receives the runtime's report, e.g. "Invalid class string: ProgID
    // "OrvDeviceNetDriver.OrvDeviceNetCom.1" is not registered".
    platform::automation::HRESULT Create(std::string* errorText = nullptr);
    // Takes over `dispatch` and its reference (for a client that has created the object itself).
    void Attach(platform::automation::IDispatch* dispatch);
    // Releases the object; the client becomes unbound.
    void Release();
    bool IsBound() const { return static_cast<bool>(driver_); }

    // The ten operations the viewer uses.

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

    // What scripts need beyond the viewer (dnet). Each returns rval.

    std::int32_t SetTimeout(std::uint32_t milliseconds);
    std::int32_t DNAllocate(std::int16_t nodeAddress, std::int16_t connectionType, std::uint8_t* scratch);
    std::int32_t DNFree(std::int16_t nodeAddress, std::int16_t connectionType, std::uint8_t* scratch);
    // Any service: `len` request bytes at the start of `buffer`, the reply after them.
    std::int32_t DNService(std::int16_t nodeAddress, std::int16_t cls, std::int16_t inst, std::int16_t srv,
                           std::int16_t len, std::uint8_t* buffer);
    // The card's CAN trace; `text` must hold kTraceTextSize bytes.
    std::int32_t GetCANMessage(char* text);

    // The rval of the last call (-1 when it was refused).
    std::int32_t LastRval() const { return lastRval_; }
    // The automation status of the last call (S_OK unless the call was refused or nothing is
    // bound), for diagnostics.
    platform::automation::HRESULT LastStatus() const { return lastStatus_; }
    // Why the last call was refused by the automation layer; empty when it was not.
    const std::string& InvokeError() const { return invokeError_; }

private:
    // Makes the call and keeps its status; rval as the method left it, -1 when the call failed.
    std::int32_t Call(platform::automation::DISPID dispId, std::int32_t& rval, std::initializer_list<platform::automation::VARIANT> args);

    platform::automation::DispatchDriver driver_;
    platform::automation::HRESULT lastStatus_ = platform::automation::S_OK;
    std::int32_t lastRval_ = -1;
    std::string invokeError_;
};

} // namespace orv::viewer
