#include "driver/cards/SstCard.h"

#include "driver/automation/CardConfig.h"
#include "platform/LittleEndian.h"
#include "platform/UserPrompt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orv::cards {
namespace {

using automation::CardConfig;
constexpr std::size_t kConfigStatus = CardConfig::kStatusOffset;
constexpr std::size_t kConfigMacId = CardConfig::kMacIdOffset;
constexpr std::size_t kConfigBitTiming0 = CardConfig::kBitTiming0Offset;
constexpr std::size_t kConfigBitTiming1 = CardConfig::kBitTiming1Offset;
constexpr std::size_t kConfigDriverName = CardConfig::kDriverNameOffset;
constexpr std::size_t kDriverNameSize = CardConfig::kDriverNameSize;

std::int32_t RateCode(std::uint8_t bitTiming0, std::uint8_t bitTiming1)
{
    if (bitTiming1 == 0x1C && bitTiming0 == 0x01) {
        return c2a::kRate250k;
    }
    if (bitTiming1 == 0x1C && bitTiming0 == 0x00) {
        return c2a::kRate500k;
    }
    return c2a::kRate125k; // 0x03/0x1C, and any pair we do not know
}

} // namespace

SstCard::SstCard(devicenet::Clock& clock) : MasterCard(devicenet::MasterPolicy::Sst(), clock) {}

SstCard::~SstCard()
{
    // The driver object unloads an open card before deleting it; a card deleted while open is
    // still closed here so that its library does not stay loaded.
    if (Port().IsOpen()) {
        CloseCard();
    }
}

void SstCard::ReportFailure(const char* what, int errorCode)
{
    char text[64];
    std::snprintf(text, sizeof text, "SST %s Error: %X", what, static_cast<unsigned>(errorCode));
    platform::ShowMessageBox(text);
}

std::int32_t SstCard::LoadVXD(int, int, std::uint8_t* config)
{
    if (config == nullptr) {
        return -1;
    }
    if (Port().IsOpen()) {
        CloseCard();
    }

    c2a_ = LoadC2aLibrary();
    if (c2a_.outcome != C2aLoadOutcome::Loaded) {
        config[kConfigStatus] =
            c2a_.outcome == C2aLoadOutcome::Cancelled ? kLibraryCancelled : kEntryPointMissing;
        c2a_ = C2aLibrary{};
        return -1;
    }
    const C2aFunctions& fn = c2a_.functions;

    if (!LoadSstCardDriver(fn.C2A_LoadDriver)) {
        config[kConfigStatus] = kCardDriverCancelled;
        c2a_ = C2aLibrary{};
        return -1;
    }

    // The card name is the configured driver name; it is NUL-terminated here whatever the record holds.
    char cardName[kDriverNameSize + 1] = {};
    std::memcpy(cardName, config + kConfigDriverName, kDriverNameSize);
    errno = 0;
    if (fn.C2A_OpenCard(&cardHandle_, cardName, c2a::kOpenCardArg3, c2a::kOpenCardArg4, c2a::kOpenCardArg5) == 0) {
        const int error = errno;
        ReportFailure("C2A_OpenCard", error);
        fn.C2A_FreeDriver();
        c2a_ = C2aLibrary{};
        config[kConfigStatus] = kOpenCardFailed;
        return -1;
    }
    if (fn.C2A_GetModuleHeader(cardHandle_, moduleHeader_.data()) == 0) {
        config[kConfigStatus] = kModuleHeaderFailed;
        CloseCard();
        return -1;
    }
    const std::uint8_t masterMacId = config[kConfigMacId];
    errno = 0;
    if (fn.C2A_Online(cardHandle_, RateCode(config[kConfigBitTiming0], config[kConfigBitTiming1]), 0, 0) == 0) {
        const int error = errno;
        config[kConfigStatus] = kOnlineFailed;
        ReportFailure("C2A_Online", error);
        CloseCard();
        return -1;
    }
    errno = 0;
    if (fn.C2A_ModifyFilter(cardHandle_, c2a::kFilterMask, c2a::kFilterEnable) == 0) {
        const int error = errno;
        config[kConfigStatus] = kModifyFilterFailed;
        ReportFailure("C2A_ModifyFilter", error);
        CloseCard();
        return -1;
    }
    Port().Open(masterMacId);
    return 0;
}

void SstCard::CloseCard()
{
    // C2A_Offline is not called: closing the card takes it off the bus.
    if (c2a_.outcome == C2aLoadOutcome::Loaded) {
        c2a_.functions.C2A_CloseCard(cardHandle_);
        c2a_.functions.C2A_FreeDriver();
    }
    c2a_ = C2aLibrary{};
    Port().Close();
}

std::int32_t SstCard::UnloadVXD()
{
    CloseCard();
    return 0;
}

bool SstCard::SendFrame(const devicenet::CanFrame& frame)
{
    if (c2a_.functions.C2A_Send == nullptr) {
        return false;
    }
    std::array<std::uint8_t, c2a::kMessageSize> message{};
    platform::PutLe16(message.data() + c2a::kMessageIdentifier, frame.identifier);
    message[c2a::kMessageLength] = frame.length;
    std::memcpy(message.data() + c2a::kMessageData, frame.data.data(), frame.dataLength());
    return c2a_.functions.C2A_Send(cardHandle_, message.data()) != 0;
}

void SstCard::WaitForFrame(std::uint32_t milliseconds)
{
    if (c2a_.functions.C2A_WaitReceive != nullptr) {
        c2a_.functions.C2A_WaitReceive(cardHandle_, milliseconds);
    }
}

bool SstCard::ReceiveFrame(devicenet::CanFrame& frame)
{
    if (c2a_.functions.C2A_Receive == nullptr) {
        return false;
    }
    std::array<std::uint8_t, c2a::kMessageSize> message{};
    if (c2a_.functions.C2A_Receive(cardHandle_, message.data()) != 1) {
        return false;
    }
    frame.identifier = platform::GetLe16(message.data() + c2a::kMessageIdentifier);
    frame.length = message[c2a::kMessageLength]; // bounded by the port
    std::memcpy(frame.data.data(), message.data() + c2a::kMessageData, frame.data.size());
    return true;
}

} // namespace orv::cards
