#pragma once
// How long a frame occupies the wire. Counted for a classic data or remote frame with the
// worst-case number of stuff bits and the 3-bit interframe space, n being the data bytes on the
// wire (0 for a remote frame):
//   standard (11-bit): 47 + 8n bits of fields, plus floor((34 + 8n - 1) / 4) stuff bits
//   extended (29-bit): 67 + 8n bits of fields, plus floor((54 + 8n - 1) / 4) stuff bits
// 34 + 8n (54 + 8n) are the bits from start of frame to the end of the CRC, where stuffing
// applies; after the first stuff bit every further four bits may need one. A standard frame thus
// takes 55 + 10n bits: 55 to 135.

#include "canbus/Frame.h"

#include <cstdint>

namespace canbus {

constexpr std::uint32_t FrameBits(const Frame& frame)
{
    const std::uint32_t dataBits = frame.remote ? 0u : 8u * (frame.length > kMaxDataLength ? kMaxDataLength : frame.length);
    const std::uint32_t fieldBits = (frame.extended ? 67u : 47u) + dataBits;
    const std::uint32_t stuffedBits = (frame.extended ? 54u : 34u) + dataBits;
    return fieldBits + (stuffedBits - 1) / 4;
}

// Nanoseconds the frame takes at `bitrate` bits per second, rounded up.
constexpr std::uint64_t WireTimeNs(const Frame& frame, std::uint32_t bitrate)
{
    return (std::uint64_t{FrameBits(frame)} * 1'000'000'000u + bitrate - 1) / bitrate;
}

} // namespace canbus
