#pragma once
// The SYSTEC USB-CAN adapter: its library used as a raw CAN port, with the driver's own DeviceNet
// master on it. The library is loaded once, when the card is created.

#include "driver/cards/CardLibraries.h"
#include "driver/cards/MasterCard.h"

#include <atomic>
#include <cstdint>

namespace orv::cards {

class SystecCard final : public MasterCard {
public:
    static constexpr std::int32_t kAlreadyOpen = 255;
    // The pause after the CAN controller starts, so that the adapter is on the bus before use.
    static constexpr std::uint32_t kStartPause = 2000;

    // The start pause is a Sleep of `clock`.
    explicit SystecCard(devicenet::Clock& clock = devicenet::TheSystemClock());
    ~SystecCard() override;

    std::int32_t LoadVXD(int portAddress, int irq, std::uint8_t* config) override;
    std::int32_t UnloadVXD() override;

private:
    // The raw CAN port over UcanWriteCanMsg / UcanReadCanMsg, waiting in UcanWaitCanMsg where the
    // library has it.
    bool SendFrame(const devicenet::CanFrame& frame) override;
    bool ReceiveFrame(devicenet::CanFrame& frame) override;
    void WaitForFrame(std::uint32_t milliseconds) override;
    // Without UcanReadCanMsg every receive fails at once; without UcanWriteCanMsg every send does.
    bool CanReceive() const override { return library_.functions.UcanReadCanMsg != nullptr; }

    UsbCanLibrary library_;
    std::atomic<std::uint8_t> moduleHandle_ = 0; // a wait may read it while UnloadVXD clears it
};

} // namespace orv::cards
