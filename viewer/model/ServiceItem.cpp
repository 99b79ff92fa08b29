#include "viewer/model/ServiceItem.h"

#include "driver/devicenet/Identifiers.h"
#include "platform/Tick.h"
#include "viewer/app/DriverClient.h"
#include "viewer/model/Module.h"

#include <algorithm>

namespace orv::viewer {
namespace {

constexpr std::int32_t kNothingReceived = 0xFFFC;
constexpr std::size_t kHeaderLength = 4;
constexpr std::size_t kCanDataLength = 8;

// Group 2 message 4 of a node: the explicit request to it.
std::int16_t ExplicitRequestIdentifier(int node)
{
    return static_cast<std::int16_t>(
        devicenet::Group2Identifier(static_cast<unsigned>(node), devicenet::Group2Message::ExplicitRequest));
}

} // namespace

bool ServiceItem::Setup(Module* module, int sourceMacId, int classId, int instance, int serviceCode, int valueType,
                        int size)
{
    owner_ = module;
    sourceMacId_ = sourceMacId;
    class_ = classId;
    instance_ = instance;
    service_ = serviceCode;
    valueType_ = valueType;
    size_ = size;
    return true;
}

bool ServiceItem::Execute(const void* value, int kind, int length)
{
    if (owner_ == nullptr || !owner_->IsOpen()) {
        return false;
    }
    // Header (fragment and transaction bits clear), service, 8-bit class and instance, then the
    // request data: one CAN frame.
    std::array<std::uint8_t, DriverClient::kReplyBufferSize> request{};
    request[0] = static_cast<std::uint8_t>(sourceMacId_ & 0x3F);
    request[1] = static_cast<std::uint8_t>(service_);
    request[2] = static_cast<std::uint8_t>(class_);
    request[3] = static_cast<std::uint8_t>(instance_);
    int dataLength = 0;
    if (length > 0) {
        dataLength = length;
        if (!Encode(std::span<std::uint8_t>(request.data() + kHeaderLength, kCanDataLength - kHeaderLength), value,
                    kind, dataLength)) {
            return false;
        }
    }
    DriverClient* driver = owner_->Ask();
    if (driver == nullptr) {
        return false;
    }
    const int node = owner_->Address();
    if (driver->CANXmit(ExplicitRequestIdentifier(node), static_cast<std::int16_t>(dataLength + kHeaderLength),
                       request.data()) != 0) {
        owner_->Answered(false);
        return false;
    }

    const std::uint32_t start = ticks_.Now();
    const auto offset = static_cast<std::size_t>(std::clamp(owner_->FrameDataOffset(), 0, 64));
    for (;;) {
        std::array<std::uint8_t, DriverClient::kReplyBufferSize> received{};
        std::int16_t identifier = 0;
        std::int16_t receivedLength = 0;
        const std::int32_t status = driver->CANRcv(&identifier, &receivedLength, received.data());
        if (status == 0 &&
            (identifier & 0x7FF) == devicenet::ExplicitResponseIdentifier(static_cast<unsigned>(node))) {
            owner_->Answered(true);
            frameLength_ = std::min<std::size_t>(static_cast<std::uint16_t>(receivedLength), kCanDataLength);
            frame_.fill(0);
            std::copy_n(received.begin() + static_cast<std::ptrdiff_t>(offset), frameLength_, frame_.begin());
            // The service code follows the message header.
            return frameLength_ >= 2 && frame_[1] != devicenet::kServiceErrorResponse;
        }
        if ((status != 0 && status != kNothingReceived) ||
            platform::TicksBetween(start, ticks_.Now()) >= kReplyTimeoutMs) {
            owner_->Answered(false);
            return false;
        }
        if (status == kNothingReceived) {
            ticks_.Pause(1); // this card's CANRcv does not wait by itself
        }
    }
}

} // namespace orv::viewer
