#pragma once
// Byte strings and little-endian fields: every value on the bus is little-endian.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/LittleEndian.h"

namespace devsim {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

using orv::platform::AppendLe16;
using orv::platform::AppendLe32;
using orv::platform::GetLe;

} // namespace devsim
