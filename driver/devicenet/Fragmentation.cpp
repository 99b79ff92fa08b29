#include "driver/devicenet/Fragmentation.h"

#include "driver/devicenet/Identifiers.h"
#include "driver/devicenet/ReplyBuffer.h"

#include <algorithm>
#include <cstring>

namespace orv::devicenet {

CanFrame ExplicitFrame(std::uint16_t identifier, std::uint8_t header, const std::uint8_t* body,
                       std::size_t bodyLength)
{
    CanFrame frame;
    frame.identifier = identifier;
    frame.data[0] = header;
    const std::size_t n = std::min<std::size_t>(bodyLength, kMaxDataLength - 1);
    if (n > 0) {
        std::memcpy(frame.data.data() + 1, body, n);
    }
    frame.length = static_cast<std::uint8_t>(1 + n);
    return frame;
}

CanFrame FragmentAcknowledgement(std::uint16_t identifier, std::uint8_t header, std::uint8_t fragmentByte)
{
    CanFrame frame;
    frame.identifier = identifier;
    frame.data[0] = header;
    frame.data[1] = static_cast<std::uint8_t>(kFragmentAck | (fragmentByte & kFragmentCountMask));
    frame.data[2] = 0x00;
    frame.length = 3;
    return frame;
}

RequestFragments::RequestFragments(std::uint16_t identifier, std::uint8_t fragmentHeader, const std::uint8_t* body,
                                   std::size_t bodyLength)
    : identifier_(identifier), header_(fragmentHeader), body_(body), length_(bodyLength)
{
}

bool RequestFragments::Next(CanFrame& frame)
{
    if (offset_ >= length_) {
        return false;
    }
    const std::size_t remaining = length_ - offset_;
    std::uint8_t type = kFragmentFirst;
    std::size_t chunk = std::min(remaining, kFragmentBodyBytes);
    if (offset_ > 0) {
        type = remaining > kFragmentBodyBytes ? kFragmentMiddle : kFragmentLast;
    }
    frame = CanFrame{};
    frame.identifier = identifier_;
    frame.data[0] = header_;
    frame.data[1] = static_cast<std::uint8_t>(type | (count_ & kFragmentCountMask));
    std::memcpy(frame.data.data() + 2, body_ + offset_, chunk);
    frame.length = static_cast<std::uint8_t>(2 + chunk);
    offset_ += chunk;
    ++count_;
    return true;
}

AnswerAssembly::AnswerAssembly(std::size_t bodyLimit) : limit_(std::min(bodyLimit, kMaxAnswerBody)) {}

AnswerAssembly::Step AnswerAssembly::Take(const CanFrame& fragment)
{
    const std::uint8_t length = fragment.dataLength();
    const std::uint8_t fragmentByte = fragment.data[1];
    const auto type = static_cast<std::uint8_t>(fragmentByte & kFragmentTypeMask);
    const auto count = static_cast<std::uint8_t>(fragmentByte & kFragmentCountMask);
    const bool first = taken_ == 0;
    if (length < 2) {
        return Step::Fail; // no fragmentation byte: not a fragment at all
    }
    if (first ? !StartsSeries(fragmentByte)
              : count != ((lastCount_ + 1) & kFragmentCountMask) || taken_ >= kMaxAnswerFragments) {
        return Step::Fail;
    }
    ++taken_;
    lastCount_ = count;
    header_ = static_cast<std::uint8_t>(fragment.data[0] & ~kHeaderFragment);
    if (held_ + kFragmentBodyBytes <= limit_) {
        const std::size_t n = length - 2u;
        std::memcpy(body_.data() + held_, fragment.data.data() + 2, n);
        held_ += n;
    }
    return type == kFragmentLast ? Step::Done : Step::Continue;
}

void AnswerAssembly::Store(std::uint8_t* buffer) const
{
    ReplyBuffer::StoreReassembled(buffer, header_, body_.data(), held_);
}

} // namespace orv::devicenet
