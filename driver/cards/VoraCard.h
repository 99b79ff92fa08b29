#pragma once
// The CAN712 card: its library speaks DeviceNet itself, so most operations are locked
// pass-throughs. Only DNService is built here, from the library's raw frame functions.

#include "driver/automation/CardInterface.h"
#include "driver/cards/CardLibraries.h"
#include "platform/Mutex.h"

#include <cstdint>
#include <functional>

namespace orv::cards {

class VoraCard final : public automation::CardInterface {
public:
    // Results of the card itself; every other result is the library's own.
    static constexpr std::int32_t kEntryPointMissing = 0x8FFF;
    static constexpr std::int32_t kAlreadyOpen = 0x9FFF;
    static constexpr std::int32_t kNotOpen = 0xAFFF;

    // DNService's waits, in milliseconds: it sleeps that long, then takes what came.
    static constexpr std::uint32_t kDrainWait = 500;
    static constexpr std::uint32_t kFragmentAckWait = 100;
    static constexpr std::uint32_t kResponseWait = 500;

    using Wait = std::function<void(std::uint32_t milliseconds)>;

    VoraCard();
    ~VoraCard() override;

    std::int32_t LoadVXD(int portAddress, int irq, std::uint8_t* config) override;
    std::int32_t UnloadVXD() override;
    std::int32_t DNAllocate(int nodeAddress, int connectionType, std::uint8_t* buffer) override;
    std::int32_t DNFree(int nodeAddress, int connectionType, std::uint8_t* buffer) override;
    std::int32_t DNGetAttribute(int nodeAddress, int classId, int instance, int attribute,
                                std::uint8_t* buffer) override;
    std::int32_t DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                std::uint8_t* buffer) override;
    std::int32_t CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data) override;
    std::int32_t CANXmit(int identifier, int length, const std::uint8_t* data) override;
    std::int32_t DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
                        std::uint8_t* buffer) override;
    std::int32_t NetworkWho(int nodeAddress, std::uint8_t* buffer) override;
    std::int32_t SetTimeout(int milliseconds) override;
    std::int32_t GetCANMessage(char* text) override;
    std::int32_t DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                           std::uint8_t* buffer) override;
    bool SetPollCommandSize(std::uint16_t size) override;

    bool IsOpen() const { return open_; }

    // The waits of DNService sleep (platform::Sleep); tests may shorten them for cards created later.
    static Wait SetDefaultWait(Wait wait);

private:
    // Runs a library call under the card lock: 0x8FFF without the entry point, 0xAFFF while closed.
    template <typename Function, typename... Args>
    std::int32_t Call(Function function, Args... args);

    struct Frame;
    std::int32_t Receive(Frame& frame);
    std::int32_t Acknowledge(std::uint16_t identifier, std::uint8_t fragmentByte);

    VoraLibrary library_;
    bool open_ = false;
    platform::RecursiveMutex lock_;
    Wait wait_;
};

} // namespace orv::cards
