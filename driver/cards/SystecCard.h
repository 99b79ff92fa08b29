#pragma once
// The SYSTEC USB-CAN adapter: its library used as a raw CAN port, with the driver's own DeviceNet
// master on it. The library is loaded once, when the card is created.

#include "driver/cards/CardLibraries.h"
#include "driver/cards/MasterCard.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace orv::cards {

class SystecCard final : public MasterCard {
public:
    static constexpr std::int32_t kAlreadyOpen = 255;
    // The pause after the CAN controller starts, so that the adapter is on the bus before use.
    static constexpr std::uint32_t kStartPause = 2000;

    using Pause = std::function<void(std::uint32_t milliseconds)>;

    SystecCard();
    ~SystecCard() override;

    std::int32_t LoadVXD(int portAddress, int irq, std::uint8_t* config) override;
    std::int32_t UnloadVXD() override;
    std::int32_t CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data) override;
    std::int32_t CANXmit(int identifier, int length, const std::uint8_t* data) override;

    // Tests replace the pause after a successful start: for this card, or for cards created later.
    void SetPause(Pause pause) { pause_ = std::move(pause); }
    static Pause SetDefaultPause(Pause pause);

private:
    // The raw CAN port over UcanWriteCanMsg / UcanReadCanMsg, waiting in UcanWaitCanMsg where the
    // library has it.
    bool SendFrame(const devicenet::CanFrame& frame) override;
    bool ReceiveFrame(devicenet::CanFrame& frame) override;
    void WaitForFrame(std::uint32_t milliseconds) override;

    UsbCanLibrary library_;
    std::atomic<std::uint8_t> moduleHandle_ = 0; // a wait may read it while UnloadVXD clears it
    Pause pause_;
};

} // namespace orv::cards
