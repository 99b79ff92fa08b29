#include "driver/automation/DriverObject.h"

#include "driver/automation/DriverSettings.h"
#include "driver/automation/ModuleConfig.h"

#include <memory>
#include <utility>

namespace orv::automation {

namespace {

// The driver object, created and destroyed only by Init and Close, which the apartment runs on one
// thread, so the pointer itself needs no lock. A plain pointer on purpose: no static destructor
// runs for it. A client that exits (or unloads the library) without Close leaves the object and
// its card as they are, and the process takes them away; closing the card during static
// destruction would call into a card library whose own statics may already be gone.
NetworkDriver*& DriverSlot()
{
    static NetworkDriver* driver = nullptr;
    return driver;
}

// True while Init opens the card. A Close arriving then (from an event loop a loading prompt
// runs) must not destroy the object under the running Init.
bool& InitRunning()
{
    static bool running = false;
    return running;
}

CardInterface* CurrentCard()
{
    NetworkDriver* driver = CurrentDriver();
    return driver != nullptr ? driver->GetCard() : nullptr;
}

// Runs `body` unless it would throw past the method: an exception leaves rval at -1.
template <typename Body>
void Guarded(std::int32_t& rval, Body&& body) noexcept
{
    rval = -1;
    try {
        body();
    } catch (...) {
        rval = -1;
    }
}

} // namespace

NetworkDriver* CurrentDriver()
{
    return DriverSlot();
}

namespace methods {

void LoadVXD(std::int32_t& rval, std::int16_t portAddress, std::int16_t irq, std::uint8_t* config) noexcept
{
    Guarded(rval, [&] {
        if (CardInterface* card = CurrentCard(); card != nullptr && config != nullptr) {
            rval = card->LoadVXD(portAddress, irq, config);
        }
    });
}

void UnloadVXD(std::int32_t& rval) noexcept
{
    Guarded(rval, [&] {
        if (CardInterface* card = CurrentCard()) {
            rval = card->UnloadVXD();
        }
    });
}

void DNAllocate(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t connectionType,
                std::uint8_t* buffer) noexcept
{
    Guarded(rval, [&] {
        if (CardInterface* card = CurrentCard(); card != nullptr && buffer != nullptr) {
            rval = card->DNAllocate(nodeAddress, connectionType, buffer);
        }
    });
}

void DNFree(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t connectionType,
            std::uint8_t* buffer) noexcept
{
    Guarded(rval, [&] {
        if (CardInterface* card = CurrentCard(); card != nullptr && buffer != nullptr) {
            rval = card->DNFree(nodeAddress, connectionType, buffer);
        }
    });
}

void DNGetAttribute(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance,
                    std::int16_t attr, std::uint8_t* buffer) noexcept
{
    Guarded(rval, [&] {
        if (CurrentCard() != nullptr && buffer != nullptr) {
            rval = CurrentDriver()->Request(RequestKind::GetAttribute, nodeAddress, clss, instance, attr, buffer,
                                            0, 0, 0, nullptr, nullptr);
        }
    });
}

void DNSetAttribute(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance,
                    std::int16_t attr, std::int16_t rlen, std::uint8_t* buffer) noexcept
{
    Guarded(rval, [&] {
        if (CurrentCard() != nullptr && buffer != nullptr) {
            rval = CurrentDriver()->Request(RequestKind::SetAttribute, nodeAddress, clss, instance, attr, buffer,
                                            rlen, 0, 0, nullptr, nullptr);
        }
    });
}

void CANRcv(std::int32_t& rval, std::uint16_t* radd, std::uint16_t* rlen, std::uint8_t* buf) noexcept
{
    Guarded(rval, [&] {
        if (CardInterface* card = CurrentCard();
            card != nullptr && radd != nullptr && rlen != nullptr && buf != nullptr) {
            rval = card->CANRcv(radd, rlen, buf);
        }
    });
}

void CANXmit(std::int32_t& rval, std::int16_t addr, std::int16_t xlen, const std::uint8_t* bptr) noexcept
{
    Guarded(rval, [&] {
        if (CardInterface* card = CurrentCard(); card != nullptr && bptr != nullptr) {
            rval = card->CANXmit(addr, xlen, bptr);
        }
    });
}

void DNPoll(std::int32_t& rval, std::int16_t txid, std::int16_t ntxbytes, std::uint16_t* rxid,
            std::uint16_t* nrxbytes, std::uint8_t* buffer) noexcept
{
    Guarded(rval, [&] {
        if (CurrentCard() != nullptr && rxid != nullptr && nrxbytes != nullptr && buffer != nullptr) {
            rval = CurrentDriver()->Request(RequestKind::Poll, 0, 0, 0, 0, buffer, 0, txid, ntxbytes, rxid,
                                            nrxbytes);
        }
    });
}

void NetworkWho(std::int32_t& rval, std::int16_t /*nodeAddress*/, std::uint8_t* /*buf*/) noexcept
{
    rval = -1;
}

void Init(std::int32_t& rval, const std::uint8_t* dwParam) noexcept
{
    rval = -1;
    NetworkDriver*& slot = DriverSlot();
    if (slot != nullptr || dwParam == nullptr) {
        return;
    }
    InitRunning() = true;
    try {
        // In place before the card opens, so that a call arriving while the card's library is
        // loaded finds a driver that is not yet initialised, and a second Init is refused.
        slot = new NetworkDriver(DriverSettings::FromBytes(dwParam));
        if (slot->Init()) {
            rval = 0;
        }
    } catch (...) {
        rval = -1;
    }
    InitRunning() = false;
    if (rval != 0) {
        std::unique_ptr<NetworkDriver> failed(std::exchange(slot, nullptr));
    }
}

void Close(std::int32_t& rval) noexcept
{
    rval = -1;
    if (InitRunning()) {
        return;
    }
    try {
        // Forgotten first: the object is destroyed even if closing its card fails.
        if (std::unique_ptr<NetworkDriver> driver{std::exchange(DriverSlot(), nullptr)}) {
            driver->Close();
        }
    } catch (...) {
        // Nothing to report: Close yields -1 in every case.
    }
}

void OpenModule(std::int32_t& rval, std::int32_t address, const std::uint8_t* dwParam) noexcept
{
    Guarded(rval, [&] {
        if (NetworkDriver* driver = CurrentDriver(); driver != nullptr && dwParam != nullptr) {
            const ModuleConfig config = ModuleConfig::FromBytes(dwParam);
            if (driver->OpenModule(address, &config)) {
                rval = 0;
            }
        }
    });
}

void CloseModule(std::int32_t& rval, std::int32_t address) noexcept
{
    Guarded(rval, [&] {
        if (NetworkDriver* driver = CurrentDriver(); driver != nullptr && driver->CloseModule(address)) {
            rval = 0;
        }
    });
}

void IsInitialized(std::int32_t& rval) noexcept
{
    rval = -1;
    if (NetworkDriver* driver = CurrentDriver(); driver != nullptr && driver->Initialized()) {
        rval = 0;
    }
}

void SetTimeout(std::int32_t& rval, std::uint32_t iTimeout) noexcept
{
    Guarded(rval, [&] {
        if (CardInterface* card = CurrentCard()) {
            rval = card->SetTimeout(static_cast<int>(iTimeout));
        }
    });
}

void GetCANMessage(std::int32_t& rval, std::uint8_t* str) noexcept
{
    Guarded(rval, [&] {
        if (CardInterface* card = CurrentCard(); card != nullptr && str != nullptr) {
            rval = card->GetCANMessage(reinterpret_cast<char*>(str));
        }
    });
}

void DNService(std::int32_t& rval, std::int16_t nodeAddress, std::int16_t cls, std::int16_t inst,
               std::int16_t srv, std::int16_t len, std::uint8_t* buffer) noexcept
{
    Guarded(rval, [&] {
        if (CurrentCard() != nullptr && buffer != nullptr) {
            rval = CurrentDriver()->Request(RequestKind::Service, nodeAddress, cls, inst, srv, buffer, len, 0, 0,
                                            nullptr, nullptr);
        }
    });
}

} // namespace methods
} // namespace orv::automation
