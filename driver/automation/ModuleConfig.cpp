#include "driver/automation/ModuleConfig.h"

#include "driver/devicenet/ByteOrder.h"

#include <cstring>

namespace orv::automation {

using devicenet::GetLe16;
using devicenet::PutLe16;

ModuleConfig ModuleConfig::FromBytes(const std::uint8_t* bytes)
{
    ModuleConfig config;
    std::memcpy(config.bytes_.data(), bytes, kSize);
    return config;
}

std::uint16_t ModuleConfig::ExplicitPacketRate() const
{
    return GetLe16(bytes_.data() + kExplicitPacketRateOffset);
}

std::uint16_t ModuleConfig::PollPacketRate() const
{
    return GetLe16(bytes_.data() + kPollPacketRateOffset);
}

void ModuleConfig::SetExplicitPacketRate(std::uint16_t value)
{
    PutLe16(bytes_.data() + kExplicitPacketRateOffset, value);
}

void ModuleConfig::SetPollPacketRate(std::uint16_t value)
{
    PutLe16(bytes_.data() + kPollPacketRateOffset, value);
}

} // namespace orv::automation
