#include "viewer/model/Module.h"

#include "driver/automation/ModuleConfig.h"
#include "driver/devicenet/Identifiers.h"
#include "driver/devicenet/ReplyBuffer.h"
#include "platform/Tick.h"
#include "viewer/app/DriverClient.h"
#include "viewer/model/ValueConversions.h"

#include <array>

namespace orv::viewer {
namespace {

using devicenet::ReplyBuffer;

constexpr int kConnectionClass = 5;
constexpr int kPollConnectionInstance = 2;
constexpr int kProducedSizeAttribute = 7;
constexpr int kConsumedSizeAttribute = 8;
// The allocation choice of the explicit connection, and of the poll connection.
constexpr std::int16_t kExplicitConnection = 1;

using Scratch = std::array<std::uint8_t, DriverClient::kReplyBufferSize>;

} // namespace

Module::Module(TickSource& ticks) : ticks_(&ticks), pollItem_(std::make_unique<PollItem>(this)) {}

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
    // A node that is not there costs one wait, not one per step of OpenModule.
    if (!Answers()) {
        BecomeSilent();
        return false;
    }
    silent_ = false;
    open_ = Allocate(flags);
    flags_ = flags;
    return open_;
}

bool Module::Answers()
{
    Scratch scratch{};
    return driver_->DNAllocate(static_cast<std::int16_t>(address_), kExplicitConnection, scratch.data()) == 0;
}

bool Module::Allocate(int flags)
{
    const bool poll = (flags & Allocation::kPoll) != 0;
    automation::ModuleConfig config;
    config.SetExplicitEnabled(1);
    config.SetPollEnabled(poll ? 1 : 0);
    config.SetExplicitPacketRate(explicitPacketRate_);
    config.SetPollPacketRate(poll ? pollPacketRate_ : 0);
    if (!driver_->OpenModule(address_, config.Data())) {
        return false;
    }
    ++openings_;
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
    Scratch reply{};
    const std::int32_t status =
        driver_->DNGetAttribute(static_cast<std::int16_t>(address_), kConnectionClass, kPollConnectionInstance,
                                static_cast<std::int16_t>(attribute), reply.data());
    // Header, service code and the two value bytes, nothing more.
    const int length = reply[ReplyBuffer::kLengthOffset] | (reply[ReplyBuffer::kLengthOffset + 1] << 8);
    if (status != 0 ||
        reply[ReplyBuffer::kServiceOffset] != (devicenet::kServiceGetAttributeSingle | devicenet::kServiceReplyBit) ||
        length != 4) {
        return -1;
    }
    return static_cast<std::uint16_t>(ReadInt16(reply.data() + ReplyBuffer::kDataOffset));
}

bool Module::Close()
{
    if (driver_ == nullptr || !open_) {
        return false;
    }
    if (!silent_) {
        driver_->CloseModule(address_);
    }
    open_ = false;
    silent_ = false;
    return true;
}

DriverClient* Module::Ask()
{
    if (!open_ || driver_ == nullptr) {
        return nullptr;
    }
    if (!silent_) {
        return driver_;
    }
    if (platform::TicksBetween(silentSinceMs_, ticks_->Now()) < kRetryMs || !Retake()) {
        return nullptr;
    }
    return driver_;
}

void Module::Answered(bool answered)
{
    if (!answered) {
        BecomeSilent();
    }
}

bool Module::Retake()
{
    if (!Answers()) {
        BecomeSilent();
        return false;
    }
    // As Select Node does: release what is left, allocate again, the rates, the poll sizes.
    driver_->CloseModule(address_);
    if (!Allocate(flags_)) {
        BecomeSilent();
        return false;
    }
    silent_ = false;
    return true;
}

void Module::BecomeSilent()
{
    silent_ = true;
    silentSinceMs_ = ticks_->Now();
}

bool Module::RemoveAll()
{
    registered_.clear();
    return true;
}

} // namespace orv::viewer
