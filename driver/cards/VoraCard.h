#pragma once
// The CAN712 card: its library speaks DeviceNet itself, so most operations are locked
// pass-throughs. Only DNService is built here, from the library's raw frame functions, on the
// master's fragmentation code (Fragmentation.h) with rules of its own: source MAC ID 0, fixed
// waits before it looks for frames, and a reply body of at most 250 bytes.

#include "driver/automation/CardInterface.h"
#include "driver/cards/CardLibraries.h"
#include "driver/devicenet/CanFrame.h"
#include "driver/devicenet/Clock.h"
#include "platform/Mutex.h"

#include <cstddef>
#include <cstdint>

namespace orv::cards {

class VoraCard final : public automation::CardInterface {
public:
    // Results of the card itself; every other result is the library's own.
    static constexpr std::int32_t kEntryPointMissing = 0x8FFF;
    static constexpr std::int32_t kAlreadyOpen = 0x9FFF;
    static constexpr std::int32_t kNotOpen = 0xAFFF;

    // DNService's waits, in milliseconds: it sleeps that long on its clock, then takes what came.
    // It ends within kDrainWait + 100 ms per request fragment (at most 22) + 500 ms per answer
    // frame (at most 64), plus the time to read at most CanPort::kDrainLimit pending frames after
    // each wait.
    static constexpr std::uint32_t kDrainWait = 500;
    static constexpr std::uint32_t kFragmentAckWait = 100;
    static constexpr std::uint32_t kResponseWait = 500;
    static constexpr std::size_t kReplyBodyLimit = 250;

    // Loads the library by the profile (key VORA).
    explicit VoraCard(devicenet::Clock& clock = devicenet::TheSystemClock());
    // On a library already loaded (tests hand in their own functions).
    VoraCard(VoraLibrary library, devicenet::Clock& clock);
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

private:
    // Runs a library call under the card lock: 0x8FFF without the entry point, 0xAFFF while closed.
    template <typename Function, typename... Args>
    std::int32_t Call(Function function, Args... args);

    struct Frame;
    std::int32_t Receive(Frame& frame);
    std::int32_t ReceiveFrom(std::uint16_t identifier, Frame& frame);
    std::int32_t Send(const devicenet::CanFrame& frame);
    std::int32_t SendRequest(int nodeAddress, const std::uint8_t* body, std::size_t bodyLength);

    VoraLibrary library_;
    devicenet::Clock& clock_;
    bool open_ = false;
    platform::RecursiveMutex lock_;
};

} // namespace orv::cards
