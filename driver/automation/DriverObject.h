#pragma once
// The process-wide driver object and the eighteen methods of the automation interface as plain
// functions. Every method sets `rval` to -1 first and reports its outcome only there: 0 or the
// card's own result. No exception leaves a method; a method that meets one leaves `rval` at -1.
// A null address where the method needs one yields -1 without calling anything.
//
// Buffers are the caller's byte arrays; their size is the caller's concern. Only the four message
// requests (DNGetAttribute, DNSetAttribute, DNPoll, DNService) go through the driver object's
// request lock; the other card operations are called directly.

#include "driver/automation/NetworkDriver.h"

#include <cstdint>

namespace orv::automation {

// The driver object of this process, or null before a successful Init and after Close.
NetworkDriver* CurrentDriver();

namespace methods {

void LoadVXD(std::int32_t& rval, std::int16_t portAddress, std::int16_t irq, std::uint8_t* config) noexcept;
void UnloadVXD(std::int32_t& rval) noexcept;
void DNAllocate(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t connectionType,
                std::uint8_t* buffer) noexcept;
void DNFree(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t connectionType,
            std::uint8_t* buffer) noexcept;
void DNGetAttribute(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance,
                    std::int16_t attr, std::uint8_t* buffer) noexcept;
void DNSetAttribute(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance,
                    std::int16_t attr, std::int16_t rlen, std::uint8_t* buffer) noexcept;
void CANRcv(std::int32_t& rval, std::uint16_t* radd, std::uint16_t* rlen, std::uint8_t* buf) noexcept;
void CANXmit(std::int32_t& rval, std::int16_t addr, std::int16_t xlen, const std::uint8_t* bptr) noexcept;
void DNPoll(std::int32_t& rval, std::int16_t txid, std::int16_t ntxbytes, std::uint16_t* rxid,
            std::uint16_t* nrxbytes, std::uint8_t* buffer) noexcept;
// Always -1.
void NetworkWho(std::int32_t& rval, std::int16_t nodeAddress, std::uint8_t* buf) noexcept;
// Creates the driver object from the caller's 88-byte DriverSettings and opens its card: 0 when
// the card is open. With a driver object already in place: -1, and that object stays as it is.
void Init(std::int32_t& rval, const std::uint8_t* dwParam) noexcept;
// Closes and destroys the driver object if there is one. `rval` stays -1 in every case.
void Close(std::int32_t& rval) noexcept;
// `dwParam` is the caller's 6-byte ModuleConfig.
void OpenModule(std::int32_t& rval, std::int32_t address, const std::uint8_t* dwParam) noexcept;
void CloseModule(std::int32_t& rval, std::int32_t address) noexcept;
// 0 when a driver object exists and is initialised.
void IsInitialized(std::int32_t& rval) noexcept;
void SetTimeout(std::int32_t& rval, std::uint32_t iTimeout) noexcept;
// `str` receives the card's CAN trace text with its NUL.
void GetCANMessage(std::int32_t& rval, std::uint8_t* str) noexcept;
void DNService(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t cls, std::int16_t inst,
               std::int16_t srv, std::int16_t len, std::uint8_t* buffer) noexcept;

} // namespace methods
} // namespace orv::automation
