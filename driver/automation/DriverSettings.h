#pragma once
// The caller's 88-byte network settings record, handed to Init by address and kept as a verbatim
// copy. Little-endian, read and written at fixed offsets:
//   0  int32    scnId       the master's MAC ID (low byte used)
//   4  int32    dataRate    0 = 125 kbit/s, 1 = 250 kbit/s, 2 = 500 kbit/s
//   8  int32    port        card port address (low 16 bits used)
//  12  int32    interrupt   card interrupt line (low 16 bits used)
//  16  int32    driverType  0 = VORA card, 1 = SST card, 2 = SYSTEC adapter
//  20  uint8    installed   carried, never read by the driver
//  21  char[64] driverName  NUL-terminated name, handed to the card in CardConfig
//  85  3 bytes  reserved

#include "platform/LittleEndian.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace orv::automation {

class DriverSettings {
public:
    static constexpr std::size_t kScnIdOffset = 0;
    static constexpr std::size_t kDataRateOffset = 4;
    static constexpr std::size_t kPortOffset = 8;
    static constexpr std::size_t kInterruptOffset = 12;
    static constexpr std::size_t kDriverTypeOffset = 16;
    static constexpr std::size_t kInstalledOffset = 20;
    static constexpr std::size_t kDriverNameOffset = 21;
    static constexpr std::size_t kDriverNameSize = 64;
    static constexpr std::size_t kReservedOffset = 85;
    static constexpr std::size_t kSize = 88;

    // All bytes zero.
    DriverSettings() = default;

    // Copies kSize bytes from a caller's record.
    static DriverSettings FromBytes(const std::uint8_t* bytes)
    {
        DriverSettings settings;
        std::memcpy(settings.bytes_.data(), bytes, kSize);
        return settings;
    }

    std::int32_t ScnId() const { return GetInt32(kScnIdOffset); }
    std::int32_t DataRate() const { return GetInt32(kDataRateOffset); }
    std::int32_t Port() const { return GetInt32(kPortOffset); }
    std::int32_t Interrupt() const { return GetInt32(kInterruptOffset); }
    std::int32_t DriverType() const { return GetInt32(kDriverTypeOffset); }
    std::uint8_t Installed() const { return bytes_[kInstalledOffset]; }
    // The kDriverNameSize bytes of the name field, as stored.
    const std::uint8_t* DriverName() const { return bytes_.data() + kDriverNameOffset; }
    // The name up to its NUL, never past the field.
    std::string DriverNameText() const
    {
        const auto* begin = DriverName();
        return std::string(begin, std::find(begin, begin + kDriverNameSize, std::uint8_t{0}));
    }

    void SetScnId(std::int32_t value) { PutInt32(kScnIdOffset, value); }
    void SetDataRate(std::int32_t value) { PutInt32(kDataRateOffset, value); }
    void SetPort(std::int32_t value) { PutInt32(kPortOffset, value); }
    void SetInterrupt(std::int32_t value) { PutInt32(kInterruptOffset, value); }
    void SetDriverType(std::int32_t value) { PutInt32(kDriverTypeOffset, value); }
    void SetInstalled(std::uint8_t value) { bytes_[kInstalledOffset] = value; }
    // Stores at most kDriverNameSize - 1 characters and fills the rest of the field with NULs.
    void SetDriverName(std::string_view name) { StoreName(name, kDriverNameSize - 1); }
    // Stores the first kDriverNameSize characters, so that a name of the field's full size keeps
    // no NUL inside the field (DriverNameText still stops at its end); the rest is NULs.
    void SetDriverNameField(std::string_view name) { StoreName(name, kDriverNameSize); }

    std::uint8_t* Data() { return bytes_.data(); }
    const std::uint8_t* Data() const { return bytes_.data(); }

private:
    std::int32_t GetInt32(std::size_t offset) const
    {
        return static_cast<std::int32_t>(platform::GetLe32(bytes_.data() + offset));
    }
    void PutInt32(std::size_t offset, std::int32_t value)
    {
        platform::PutLe32(bytes_.data() + offset, static_cast<std::uint32_t>(value));
    }
    void StoreName(std::string_view name, std::size_t most)
    {
        auto* field = bytes_.data() + kDriverNameOffset;
        std::fill(field, field + kDriverNameSize, std::uint8_t{0});
        std::memcpy(field, name.data(), std::min(name.size(), most));
    }

    std::array<std::uint8_t, kSize> bytes_{};
};

static_assert(DriverSettings::kDriverNameOffset + DriverSettings::kDriverNameSize == DriverSettings::kReservedOffset);
static_assert(DriverSettings::kReservedOffset + 3 == DriverSettings::kSize);
static_assert(sizeof(DriverSettings) == DriverSettings::kSize);

} // namespace orv::automation
