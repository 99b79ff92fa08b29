#pragma once
// The one driver object of a process: the caller's network settings, the open card and the lock
// that serialises message requests. Created by the automation method Init, destroyed by Close.

#include "driver/automation/CardInterface.h"
#include "driver/automation/DriverSettings.h"
#include "driver/automation/ModuleConfig.h"
#include "platform/Mutex.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orv::automation {

enum class RequestKind : std::int32_t {
    GetAttribute = 0,
    SetAttribute = 1,
    Poll = 2,
    Service = 3,
};

class NetworkDriver {
public:
    // Scratch area of OpenModule and CloseModule: large enough for any reply a card writes.
    static constexpr std::size_t kScratchSize = 152;

    // Connection classes and attributes OpenModule addresses.
    static constexpr int kExplicitConnection = 1;
    static constexpr int kPollConnection = 2;
    static constexpr int kConnectionClass = 5;
    static constexpr int kExpectedPacketRateAttribute = 9;
    static constexpr int kConsumedConnectionSizeAttribute = 8;
    static constexpr std::uint8_t kGetAttributeSingleReply = 0x8E;

    explicit NetworkDriver(const DriverSettings& settings);
    virtual ~NetworkDriver();

    NetworkDriver(const NetworkDriver&) = delete;
    NetworkDriver& operator=(const NetworkDriver&) = delete;

    // Creates the card for the settings' driver type and opens it. False when already initialised,
    // for an unknown type, when no card could be created or the card did not open (the card is then
    // destroyed again).
    virtual bool Init();
    // Takes an initialised card off line, then destroys the card. Always true; harmless twice.
    virtual bool Close();
    // Frees both connections of the node, then allocates the enabled ones, sets their expected
    // packet rates and sizes poll commands from the node's consumed connection size. False when
    // not initialised or at the first failing allocation or rate setting.
    virtual bool OpenModule(std::int32_t nodeAddress, const ModuleConfig* config);
    // Frees both connections of the node. False when not initialised.
    virtual bool CloseModule(std::int32_t nodeAddress);
    virtual CardInterface* GetCard() const { return card_.get(); }

    // The gate of the four message requests: calls the card under the request lock. -1 without a
    // card or for an unknown kind. Arguments a kind does not use are ignored.
    std::int32_t Request(RequestKind kind, int nodeAddress, int classId, int instance, int attributeOrService,
                         std::uint8_t* buffer, int length, int txIdentifier, int txLength,
                         std::uint16_t* rxIdentifier, std::uint16_t* rxLength);

    bool Initialized() const { return initialized_; }
    const DriverSettings& Settings() const { return settings_; }

private:
    std::unique_ptr<CardInterface> card_;
    DriverSettings settings_;
    bool initialized_ = false;
    platform::RecursiveMutex requestLock_;
};

} // namespace orv::automation
