#pragma once
// The reply area in which an explicit answer is handed back to the caller:
//   bytes 0..3  not written (request data of a set or service may lie there)
//   bytes 4..5  reply length n, little-endian: the bytes from byte 6 on
//   byte  6     header byte of the answer, fragment bit cleared for a reassembled answer
//   byte  7     reply service code (request service | 0x80, or 0x94 for an error response)
//   bytes 8..   service data

#include "driver/devicenet/CanFrame.h"

#include <cstddef>
#include <cstdint>

namespace orv::devicenet {

struct ReplyBuffer {
    static constexpr std::size_t kLengthOffset = 4;
    static constexpr std::size_t kHeaderOffset = 6;
    static constexpr std::size_t kServiceOffset = 7;
    static constexpr std::size_t kDataOffset = 8;

    // The size of the reply buffers every caller of this system hands in.
    static constexpr std::size_t kCallerSize = 152;

    // Stores a one-frame answer: length = the frame's data length, bytes 6.. = its data.
    static void StoreFrame(std::uint8_t* buffer, const CanFrame& frame);

    // Stores a reassembled answer: length = body length + 1, header, body.
    static void StoreReassembled(std::uint8_t* buffer, std::uint8_t header, const std::uint8_t* body,
                                 std::size_t bodyLength);
};

} // namespace orv::devicenet
