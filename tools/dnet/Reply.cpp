#include "tools/dnet/Reply.h"

#include "tools/dnet/Decoding.h"

#include "driver/devicenet/Identifiers.h"
#include "driver/devicenet/ReplyBuffer.h"
#include "platform/LittleEndian.h"

#include <cstdio>

namespace orv::dnet {

using devicenet::ReplyBuffer;

Reply ReadReply(const std::uint8_t* buffer, std::size_t bufferSize, std::uint8_t requestService)
{
    Reply reply;
    if (bufferSize < ReplyBuffer::kDataOffset) {
        return reply;
    }
    reply.length = platform::GetLe16(buffer + ReplyBuffer::kLengthOffset);
    if (reply.length < 2 || reply.length > bufferSize - ReplyBuffer::kHeaderOffset) {
        return reply;
    }
    reply.service = buffer[ReplyBuffer::kServiceOffset];
    const std::uint8_t* data = buffer + ReplyBuffer::kDataOffset;
    const std::size_t dataLength = reply.length - 2;
    if (reply.service == devicenet::kServiceErrorResponse) {
        reply.kind = Reply::Kind::ErrorResponse;
        reply.hasGeneralCode = dataLength >= 1;
        reply.generalCode = dataLength >= 1 ? data[0] : 0;
        reply.additionalCode = dataLength >= 2 ? data[1] : kNoAdditionalCode;
        reply.data.assign(data, data + dataLength);
    } else if (reply.service == (requestService | devicenet::kServiceReplyBit)) {
        reply.kind = Reply::Kind::Success;
        reply.data.assign(data, data + dataLength);
    }
    return reply;
}

std::string ErrorResponseText(std::optional<std::uint8_t> generalCode, std::optional<std::uint8_t> additionalCode)
{
    std::string text = generalCode ? GeneralErrorText(*generalCode) : "error response without an error code";
    if (additionalCode) {
        char additional[40];
        std::snprintf(additional, sizeof additional, ", additional code 0x%02X", *additionalCode);
        text += additional;
    }
    return text;
}

} // namespace orv::dnet
