#include "driver/devicenet/ReplyBuffer.h"

#include "platform/LittleEndian.h"

#include <cstring>

namespace orv::devicenet {

void ReplyBuffer::StoreFrame(std::uint8_t* buffer, const CanFrame& frame)
{
    const std::uint8_t length = frame.dataLength();
    platform::PutLe16(buffer + kLengthOffset, length);
    std::memcpy(buffer + kHeaderOffset, frame.data.data(), length);
}

void ReplyBuffer::StoreReassembled(std::uint8_t* buffer, std::uint8_t header, const std::uint8_t* body,
                                   std::size_t bodyLength)
{
    platform::PutLe16(buffer + kLengthOffset, static_cast<std::uint16_t>(bodyLength + 1));
    buffer[kHeaderOffset] = header;
    if (bodyLength > 0) {
        std::memcpy(buffer + kServiceOffset, body, bodyLength);
    }
}

} // namespace orv::devicenet
