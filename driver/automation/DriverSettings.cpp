#include "driver/automation/DriverSettings.h"

#include "driver/devicenet/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace orv::automation {

using devicenet::GetLe32;
using devicenet::PutLe32;

DriverSettings DriverSettings::FromBytes(const std::uint8_t* bytes)
{
    DriverSettings settings;
    std::memcpy(settings.bytes_.data(), bytes, kSize);
    return settings;
}

std::string DriverSettings::DriverNameText() const
{
    const auto* begin = DriverName();
    const auto* end = std::find(begin, begin + kDriverNameSize, std::uint8_t{0});
    return std::string(begin, end);
}

void DriverSettings::SetDriverName(std::string_view name)
{
    auto* field = bytes_.data() + kDriverNameOffset;
    const std::size_t length = std::min(name.size(), kDriverNameSize - 1);
    std::fill(field, field + kDriverNameSize, std::uint8_t{0});
    std::memcpy(field, name.data(), length);
}

std::int32_t DriverSettings::GetInt32(std::size_t offset) const
{
    return static_cast<std::int32_t>(GetLe32(bytes_.data() + offset));
}

void DriverSettings::PutInt32(std::size_t offset, std::int32_t value)
{
    PutLe32(bytes_.data() + offset, static_cast<std::uint32_t>(value));
}

} // namespace orv::automation
