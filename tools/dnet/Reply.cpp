#include "tools/dnet/Reply.h"

namespace orv::dnet {

Reply ReadReply(const std::uint8_t* buffer, std::size_t bufferSize, std::uint8_t requestService)
{
    Reply reply;
    if (bufferSize < kReplyDataOffset) {
        return reply;
    }
    reply.length = buffer[kReplyLengthOffset] | (buffer[kReplyLengthOffset + 1] << 8);
    if (reply.length < 2 || reply.length > bufferSize - kReplyHeaderOffset) {
        return reply;
    }
    reply.service = buffer[kReplyServiceOffset];
    const std::uint8_t* data = buffer + kReplyDataOffset;
    const std::size_t dataLength = reply.length - 2;
    if (reply.service == kErrorResponse) {
        reply.kind = Reply::Kind::ErrorResponse;
        reply.hasGeneralCode = dataLength >= 1;
        reply.generalCode = dataLength >= 1 ? data[0] : 0;
        reply.additionalCode = dataLength >= 2 ? data[1] : kNoAdditionalCode;
        reply.data.assign(data, data + dataLength);
    } else if (reply.service == (requestService | kReplyBit)) {
        reply.kind = Reply::Kind::Success;
        reply.data.assign(data, data + dataLength);
    }
    return reply;
}

} // namespace orv::dnet
