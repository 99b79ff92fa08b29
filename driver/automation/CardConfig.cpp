#include "driver/automation/CardConfig.h"

#include <cstring>

namespace orv::automation {

CardConfig CardConfig::FromBytes(const std::uint8_t* bytes)
{
    CardConfig config;
    std::memcpy(config.bytes_.data(), bytes, kSize);
    return config;
}

void BuildCardConfig(const DriverSettings& settings, CardConfig& config)
{
    std::uint8_t* bytes = config.Data();
    bytes[CardConfig::kMacIdOffset] = static_cast<std::uint8_t>(settings.ScnId());
    bytes[CardConfig::kFixedFFOffset] = 0xFF;
    bytes[CardConfig::kBitTiming0Offset] = CardConfig::kBitTiming0At125K;
    bytes[CardConfig::kBitTiming1Offset] = CardConfig::kBitTiming1;
    bytes[CardConfig::kFixedFAOffset] = 0xFA;
    bytes[CardConfig::kFixed4EOffset] = 0x4E;
    std::memcpy(bytes + CardConfig::kDriverNameOffset, settings.DriverName(), CardConfig::kDriverNameSize);

    if (settings.DataRate() == 1) {
        bytes[CardConfig::kBitTiming0Offset] = CardConfig::kBitTiming0At250K;
    } else if (settings.DataRate() == 2) {
        bytes[CardConfig::kBitTiming0Offset] = CardConfig::kBitTiming0At500K;
    }
}

} // namespace orv::automation
