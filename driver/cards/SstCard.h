#pragma once
// The SST card: the C2A library used as a raw CAN port, with the driver's own DeviceNet master on
// it. The C2A library is loaded at every LoadVXD and released when the card closes.

#include "driver/cards/CardLibraries.h"
#include "driver/cards/MasterCard.h"

#include <array>
#include <cstdint>

namespace orv::cards {

class SstCard final : public MasterCard {
public:
    // Status codes written into CardConfig byte 0 when LoadVXD fails.
    enum Status : std::uint8_t {
        kLibraryCancelled = 1,
        kEntryPointMissing = 2,
        kCardDriverCancelled = 3,
        kOpenCardFailed = 4,
        kModuleHeaderFailed = 5,
        kOnlineFailed = 6,
        kModifyFilterFailed = 7,
    };

    explicit SstCard(devicenet::Clock& clock = devicenet::TheSystemClock());
    ~SstCard() override;

    std::int32_t LoadVXD(int portAddress, int irq, std::uint8_t* config) override;
    std::int32_t UnloadVXD() override;

private:
    // The raw CAN port over C2A_Send / C2A_Receive, waiting in C2A_WaitReceive where the library
    // has it.
    bool SendFrame(const devicenet::CanFrame& frame) override;
    bool ReceiveFrame(devicenet::CanFrame& frame) override;
    void WaitForFrame(std::uint32_t milliseconds) override;

    void CloseCard();
    void ReportFailure(const char* what, int errorCode);

    C2aLibrary c2a_;
    std::uint32_t cardHandle_ = 0;
    std::array<std::uint8_t, c2a::kModuleHeaderSize> moduleHeader_{};
};

} // namespace orv::cards
