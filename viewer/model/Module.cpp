#include "viewer/model/Module.h"

#include "driver/automation/ModuleConfig.h"
#include "viewer/app/DriverClient.h"
#include "viewer/model/ValueConversions.h"

#include <array>

namespace orv::viewer {
namespace {

constexpr int kConnectionClass = 5;
constexpr int kPollConnectionInstance = 2;
constexpr int kProducedSizeAttribute = 7;
constexpr int kConsumedSizeAttribute = 8;
constexpr std::uint8_t kGetAttributeSingleReply = 0x8E;

} // namespace

Module::Module() : pollItem_(std::make_unique<PollItem>(this)) {}

Module::~Module()
{
    RemoveAll();
}

bool Module::SetAddress(int address)
{
    ModuleBase::SetAddress(address);
    pollItem_->SetName("Poll " + std::to_string(address));
    return true;
}

bool Module::Open(int flags)
{
    if (open_ || driver_ == nullptr) {
        return false;
    }
    const bool poll = (flags & Allocation::kPoll) != 0;
    automation::ModuleConfig config;
    config.SetExplicitEnabled(1);
    config.SetPollEnabled(poll ? 1 : 0);
    config.SetExplicitPacketRate(explicitPacketRate_);
    config.SetPollPacketRate(poll ? pollPacketRate_ : 0);
    open_ = driver_->OpenModule(address_, config.Data());
    if (!open_) {
        return false;
    }
    if (poll) {
        // The master's output is what the node consumes, its input what the node produces.
        const int produced = ReadPollSize(kProducedSizeAttribute);
        const int consumed = ReadPollSize(kConsumedSizeAttribute);
        pollItem_->SetSizes(consumed, produced);
    }
    return true;
}

int Module::ReadPollSize(int attribute)
{
    std::array<std::uint8_t, DriverClient::kReplyBufferSize> reply{};
    const std::int32_t status =
        driver_->DNGetAttribute(static_cast<std::int16_t>(address_), kConnectionClass, kPollConnectionInstance,
                                static_cast<std::int16_t>(attribute), reply.data());
    // Header, service code and the two value bytes, nothing more.
    const int length = reply[4] | (reply[5] << 8);
    if (status != 0 || reply[7] != kGetAttributeSingleReply || length != 4) {
        return -1;
    }
    return static_cast<std::uint16_t>(ReadInt16(reply.data() + 8));
}

bool Module::Close()
{
    if (driver_ == nullptr || !open_) {
        return false;
    }
    driver_->CloseModule(address_);
    open_ = false;
    return true;
}

bool Module::RemoveAll()
{
    registered_.clear();
    return true;
}

} // namespace orv::viewer
