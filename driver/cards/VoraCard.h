#pragma once
// The CAN712 card: its library speaks DeviceNet itself, so most operations are locked
// pass-throughs. Only DNService is built here, from the library's raw frame functions, on the
// master's fragmentation code (Fragmentation.h) and answer test (AnswerFit.h) with rules of its
// own: source MAC ID 0, waits of its own, and a reply body of at most 250 bytes.

#include "driver/automation/CardInterface.h"
#include "driver/cards/CardLibraries.h"
#include "driver/devicenet/CanFrame.h"
#include "driver/devicenet/CanPort.h"
#include "driver/devicenet/Clock.h"
#include "driver/devicenet/Deadline.h"
#include "driver/devicenet/FrameFilter.h"
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

    // DNService's waits, in milliseconds. It sleeps kDrainWait before it throws away what is
    // pending; then it looks for each frame it awaits as soon as it has sent what the frame answers,
    // and again every kLookInterval (the library cannot wait for a frame itself), for at most
    // kFragmentAckWait for a request fragment's acknowledgement and kResponseWait for the answer and
    // each answer fragment. The whole call ends within kCallBound of its start, whatever the node
    // sends, plus the reading of at most CanPort::kDrainLimit pending frames in the drain.
    static constexpr std::uint32_t kDrainWait = 500;
    static constexpr std::uint32_t kFragmentAckWait = 100;
    static constexpr std::uint32_t kResponseWait = 500;
    static constexpr std::uint32_t kLookInterval = 5;
    // The card keeps no receive time-out of its own (SetTimeout is refused): the driver's default.
    static constexpr std::uint32_t kReceiveTimeout = devicenet::CanPort::kDefaultReceiveTimeout;
    static constexpr std::uint32_t kCallBound = devicenet::Deadline::CallBudget(kReceiveTimeout);
    static_assert(kDrainWait + kFragmentAckWait + kResponseWait < kCallBound);
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
    std::int32_t Await(const devicenet::FrameFilter& filter, std::uint32_t wait, const devicenet::Deadline& deadline,
                       devicenet::CanFrame& frame);
    std::int32_t Send(const devicenet::CanFrame& frame);
    std::int32_t SendRequest(int nodeAddress, const std::uint8_t* body, std::size_t bodyLength,
                             const devicenet::Deadline& deadline);

    VoraLibrary library_;
    devicenet::Clock& clock_;
    bool open_ = false;
    platform::RecursiveMutex lock_;
};

} // namespace orv::cards
