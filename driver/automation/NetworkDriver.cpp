#include "driver/automation/NetworkDriver.h"

#include "driver/automation/CardConfig.h"
#include "driver/automation/CardFactory.h"

#include <array>
#include <cstring>
#include <utility>

namespace orv::automation {

NetworkDriver::NetworkDriver(const DriverSettings& settings)
    : settings_(settings)
{
}

NetworkDriver::~NetworkDriver()
{
    try {
        NetworkDriver::Close();
    } catch (...) {
        // A card that throws while going off line is still destroyed by Close; nothing to add.
    }
}

bool NetworkDriver::Init()
{
    if (initialized_) {
        return false;
    }
    card_ = CreateCard(settings_.DriverType());
    if (!card_) {
        return false;
    }

    CardConfig config;
    BuildCardConfig(settings_, config);
    // Only the low 16 bits of port and interrupt reach the card.
    const int port = static_cast<std::uint16_t>(settings_.Port());
    const int irq = static_cast<std::uint16_t>(settings_.Interrupt());
    if (card_->LoadVXD(port, irq, config.Data()) == 0) {
        initialized_ = true;
        return true;
    }
    Close();
    return false;
}

bool NetworkDriver::Close()
{
    // The card leaves the object before it goes off line, so that it is destroyed even if going
    // off line fails.
    std::unique_ptr<CardInterface> card = std::move(card_);
    if (std::exchange(initialized_, false) && card) {
        card->UnloadVXD();
    }
    return true;
}

bool NetworkDriver::OpenModule(std::int32_t nodeAddress, const ModuleConfig* config)
{
    if (!initialized_ || !card_ || config == nullptr) {
        return false;
    }
    // Zeroed so that no stale byte can pass for a reply.
    std::array<std::uint8_t, kScratchSize> scratchArea{};
    std::uint8_t* scratch = scratchArea.data();

    // A connection left over from an earlier opening is released first.
    card_->DNFree(nodeAddress, kExplicitConnection, scratch);
    card_->DNFree(nodeAddress, kPollConnection, scratch);

    if (config->ExplicitEnabled()) {
        if (card_->DNAllocate(nodeAddress, kExplicitConnection, scratch) != 0) {
            return false;
        }
        std::memcpy(scratch, config->ExplicitPacketRateBytes(), ModuleConfig::kPacketRateSize);
        if (card_->DNSetAttribute(nodeAddress, kConnectionClass, kExplicitConnection, kExpectedPacketRateAttribute,
                                  ModuleConfig::kPacketRateSize, scratch) != 0) {
            return false;
        }
        // Read back for the node's benefit only; the answer is not used.
        card_->DNGetAttribute(nodeAddress, kConnectionClass, kExplicitConnection, kExpectedPacketRateAttribute,
                              scratch);
    }

    if (!config->PollEnabled()) {
        return true;
    }
    if (card_->DNAllocate(nodeAddress, kPollConnection, scratch) != 0) {
        return false;
    }
    std::memcpy(scratch, config->PollPacketRateBytes(), ModuleConfig::kPacketRateSize);
    if (card_->DNSetAttribute(nodeAddress, kConnectionClass, kPollConnection, kExpectedPacketRateAttribute,
                              ModuleConfig::kPacketRateSize, scratch) != 0) {
        return false;
    }

    // The consumed connection size is the length of the poll commands the node accepts.
    if (card_->DNGetAttribute(nodeAddress, kConnectionClass, kPollConnection, kConsumedConnectionSizeAttribute,
                              scratch) == 0 &&
        scratch[7] == kGetAttributeSingleReply) {
        card_->SetPollCommandSize(static_cast<std::uint16_t>(scratch[8] + 256 * scratch[9]));
    }
    return true;
}

bool NetworkDriver::CloseModule(std::int32_t nodeAddress)
{
    if (!initialized_ || !card_) {
        return false;
    }
    std::array<std::uint8_t, kScratchSize> scratch{};
    card_->DNFree(nodeAddress, kExplicitConnection, scratch.data());
    card_->DNFree(nodeAddress, kPollConnection, scratch.data());
    return true;
}

std::int32_t NetworkDriver::Request(RequestKind kind, int nodeAddress, int classId, int instance,
                                    int attributeOrService, std::uint8_t* buffer, int length, int txIdentifier,
                                    int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength)
{
    platform::Lock lock(requestLock_);
    if (!card_) {
        return -1;
    }
    switch (kind) {
    case RequestKind::GetAttribute:
        return card_->DNGetAttribute(nodeAddress, classId, instance, attributeOrService, buffer);
    case RequestKind::SetAttribute:
        return card_->DNSetAttribute(nodeAddress, classId, instance, attributeOrService, length, buffer);
    case RequestKind::Poll:
        return card_->DNPoll(txIdentifier, txLength, rxIdentifier, rxLength, buffer);
    case RequestKind::Service:
        return card_->DNService(nodeAddress, classId, instance, attributeOrService, length, buffer);
    }
    return -1;
}

} // namespace orv::automation
