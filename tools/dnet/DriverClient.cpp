#include "tools/dnet/DriverClient.h"

// Only the byte offsets of the two records are taken from the driver's headers; nothing of the
// driver is linked.
#include "driver/automation/DriverSettings.h"
#include "driver/automation/ModuleConfig.h"
#include "platform/automation/Result.h"

#include <algorithm>

namespace orv::dnet {
namespace {

using automation::DriverSettings;
using automation::ModuleConfig;

static_assert(SettingsRecord::kSize == DriverSettings::kSize);
static_assert(SettingsRecord::kDriverNameSize == DriverSettings::kDriverNameSize);
static_assert(ModuleRecord::kSize == ModuleConfig::kSize);

void PutLe16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* at, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(u >> (8 * i));
    }
}

std::int16_t Short(int value)
{
    return static_cast<std::int16_t>(value);
}

} // namespace

SettingsRecord::SettingsRecord(int masterMac, int dataRateIndex, int driverType, std::string_view driverName)
{
    PutLe32(bytes_.data() + DriverSettings::kScnIdOffset, masterMac);
    PutLe32(bytes_.data() + DriverSettings::kDataRateOffset, dataRateIndex);
    PutLe32(bytes_.data() + DriverSettings::kDriverTypeOffset, driverType);
    // The name keeps its terminating NUL inside the field.
    const std::size_t length = std::min(driverName.size(), kDriverNameSize - 1);
    std::copy_n(driverName.begin(), length, bytes_.begin() + DriverSettings::kDriverNameOffset);
}

ModuleRecord::ModuleRecord(bool explicitEnabled, bool pollEnabled, std::uint16_t explicitRate, std::uint16_t pollRate)
{
    bytes_[ModuleConfig::kExplicitEnabledOffset] = explicitEnabled ? 1 : 0;
    bytes_[ModuleConfig::kPollEnabledOffset] = pollEnabled ? 1 : 0;
    PutLe16(bytes_.data() + ModuleConfig::kExplicitPacketRateOffset, explicitRate);
    PutLe16(bytes_.data() + ModuleConfig::kPollPacketRateOffset, pollRate);
}

bool DriverClient::Create(std::string& why)
{
    return com::SUCCEEDED(driver_.CreateDispatch(kDriverProgId, &why));
}

std::int32_t DriverClient::Call(com::DISPID dispId, std::initializer_list<com::VARIANT> args, std::int32_t& rval)
{
    invokeError_.clear();
    if (!driver_) {
        invokeError_ = "no driver object";
        return rval = -1;
    }
    std::uint32_t argErr = 0;
    const com::HRESULT status = driver_.InvokeMethod(dispId, args, &argErr);
    if (com::FAILED(status)) {
        invokeError_ = com::ResultText(status) + " (DISPID " + std::to_string(dispId) + ")";
        return rval = -1;
    }
    return rval;
}

std::int32_t DriverClient::Init(SettingsRecord& settings)
{
    std::int32_t rval = -1;
    return Call(dispid::kInit, {com::VARIANT::Ref(&rval), com::VARIANT::Bytes(settings.Data())}, rval);
}

std::int32_t DriverClient::Close()
{
    std::int32_t rval = -1;
    return Call(dispid::kClose, {com::VARIANT::Ref(&rval)}, rval);
}

std::int32_t DriverClient::IsInitialized()
{
    std::int32_t rval = -1;
    return Call(dispid::kIsInitialized, {com::VARIANT::Ref(&rval)}, rval);
}

std::int32_t DriverClient::OpenModule(int node, ModuleRecord& config)
{
    std::int32_t rval = -1;
    return Call(dispid::kOpenModule,
                {com::VARIANT::Ref(&rval), com::VARIANT::Int(node), com::VARIANT::Bytes(config.Data())}, rval);
}

std::int32_t DriverClient::CloseModule(int node)
{
    std::int32_t rval = -1;
    return Call(dispid::kCloseModule, {com::VARIANT::Ref(&rval), com::VARIANT::Int(node)}, rval);
}

std::int32_t DriverClient::SetTimeout(std::uint32_t milliseconds)
{
    std::int32_t rval = -1;
    return Call(dispid::kSetTimeout, {com::VARIANT::Ref(&rval), com::VARIANT::UI4(milliseconds)}, rval);
}

std::int32_t DriverClient::DNAllocate(int node, int connectionType, std::uint8_t* scratch)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNAllocate,
                {com::VARIANT::Ref(&rval), com::VARIANT::I2(Short(node)), com::VARIANT::I2(Short(connectionType)),
                 com::VARIANT::Bytes(scratch)},
                rval);
}

std::int32_t DriverClient::DNFree(int node, int connectionType, std::uint8_t* scratch)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNFree,
                {com::VARIANT::Ref(&rval), com::VARIANT::I2(Short(node)), com::VARIANT::I2(Short(connectionType)),
                 com::VARIANT::Bytes(scratch)},
                rval);
}

std::int32_t DriverClient::DNGetAttribute(int node, int classId, int instance, int attribute, std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNGetAttribute,
                {com::VARIANT::Ref(&rval), com::VARIANT::I2(Short(node)), com::VARIANT::I2(Short(classId)),
                 com::VARIANT::I2(Short(instance)), com::VARIANT::I2(Short(attribute)), com::VARIANT::Bytes(buffer)},
                rval);
}

std::int32_t DriverClient::DNSetAttribute(int node, int classId, int instance, int attribute, int length,
                                          std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNSetAttribute,
                {com::VARIANT::Ref(&rval), com::VARIANT::I2(Short(node)), com::VARIANT::I2(Short(classId)),
                 com::VARIANT::I2(Short(instance)), com::VARIANT::I2(Short(attribute)), com::VARIANT::I2(Short(length)),
                 com::VARIANT::Bytes(buffer)},
                rval);
}

std::int32_t DriverClient::DNService(int node, int classId, int instance, int service, int length,
                                     std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNService,
                {com::VARIANT::Ref(&rval), com::VARIANT::I2(Short(node)), com::VARIANT::I2(Short(classId)),
                 com::VARIANT::I2(Short(instance)), com::VARIANT::I2(Short(service)), com::VARIANT::I2(Short(length)),
                 com::VARIANT::Bytes(buffer)},
                rval);
}

std::int32_t DriverClient::DNPoll(int txIdentifier, int txLength, std::uint16_t& rxIdentifier,
                                  std::uint16_t& rxLength, std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNPoll,
                {com::VARIANT::Ref(&rval), com::VARIANT::I2(Short(txIdentifier)), com::VARIANT::I2(Short(txLength)),
                 com::VARIANT::Ref(&rxIdentifier), com::VARIANT::Ref(&rxLength), com::VARIANT::Bytes(buffer)},
                rval);
}

std::int32_t DriverClient::CANXmit(int identifier, int length, std::uint8_t* data)
{
    std::int32_t rval = -1;
    return Call(dispid::kCANXmit,
                {com::VARIANT::Ref(&rval), com::VARIANT::I2(Short(identifier)), com::VARIANT::I2(Short(length)),
                 com::VARIANT::Bytes(data)},
                rval);
}

std::int32_t DriverClient::CANRcv(std::uint16_t& identifier, std::uint16_t& length, std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kCANRcv,
                {com::VARIANT::Ref(&rval), com::VARIANT::Ref(&identifier), com::VARIANT::Ref(&length),
                 com::VARIANT::Bytes(buffer)},
                rval);
}

std::int32_t DriverClient::GetCANMessage(char* text)
{
    std::int32_t rval = -1;
    return Call(dispid::kGetCANMessage, {com::VARIANT::Ref(&rval), com::VARIANT::Bytes(text)}, rval);
}

} // namespace orv::dnet
