#include "driver/devicenet/AnswerFit.h"

#include "driver/devicenet/Fragmentation.h"
#include "driver/devicenet/Identifiers.h"

namespace orv::devicenet {

AnswerFit::AnswerFit(std::uint16_t identifier, std::uint8_t requestService, Shape shape,
                     std::optional<std::uint8_t> xid)
    : identifier_(identifier), replyService_(static_cast<std::uint8_t>(requestService | kServiceReplyBit)),
      shape_(shape), xid_(xid)
{
}

bool AnswerFit::Takes(const CanFrame& frame) const
{
    if (frame.identifier != identifier_) {
        return false;
    }
    const std::uint8_t length = frame.dataLength();
    std::size_t serviceAt = 1;
    if (shape_ == Shape::MayBeFragmented && length > 0 && (frame.data[0] & kHeaderFragment) != 0) {
        if (length < 2 || !StartsSeries(frame.data[1])) {
            return false;
        }
        serviceAt = 2;
    }
    if (length <= serviceAt) {
        return false;
    }
    const std::uint8_t service = frame.data[serviceAt];
    if (service != replyService_ && service != kServiceErrorResponse) {
        return false;
    }
    return !xid_ || (frame.data[0] & kHeaderTransaction) == *xid_;
}

} // namespace orv::devicenet
