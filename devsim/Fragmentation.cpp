#include "devsim/Fragmentation.h"

#include "devsim/DeviceNet.h"
#include "devsim/Timers.h"

#include <algorithm>

namespace devsim {

namespace {

constexpr std::size_t kExplicitFragmentBody = 6;
constexpr std::size_t kIoFragmentData = 7;

std::uint8_t Type(std::uint8_t fragmentByte) { return fragmentByte & devicenet::kFragmentTypeMask; }
std::uint8_t Count(std::uint8_t fragmentByte) { return fragmentByte & devicenet::kFragmentCountMask; }
std::uint8_t NextCount(std::uint8_t count) { return static_cast<std::uint8_t>((count + 1) & devicenet::kFragmentCountMask); }

constexpr std::uint8_t kFirst = static_cast<std::uint8_t>(devicenet::FragmentType::First);
constexpr std::uint8_t kMiddle = static_cast<std::uint8_t>(devicenet::FragmentType::Middle);
constexpr std::uint8_t kLast = static_cast<std::uint8_t>(devicenet::FragmentType::Last);

} // namespace

RequestReassembly::Step RequestReassembly::OnFragment(ByteView frame, std::uint32_t nowMs, std::size_t limit)
{
    Step step;
    const std::uint8_t type = Type(frame[1]);
    const std::uint8_t count = Count(frame[1]);
    const ByteView body = frame.subspan(2);
    if (type == kFirst) {
        if (count != 0) {
            return step; // not a first fragment: no series starts with another count
        }
        active_ = true;
        header_ = frame[0];
        body_.clear();
    } else if (!active_) {
        return step; // a middle or last fragment of no series
    } else if (count == lastCount_) {
        // The master repeats the fragment: our acknowledgement was lost. Acknowledge it again.
        lastMs_ = nowMs;
        step.acknowledge = true;
        step.count = count;
        return step;
    } else if (count != NextCount(lastCount_)) {
        active_ = false; // a fragment is missing: the series is discarded
        return step;
    }
    lastCount_ = count;
    lastMs_ = nowMs;
    step.acknowledge = true;
    step.count = count;
    if (body_.size() + body.size() > limit) {
        step.status = devicenet::kAckTooMuchData;
        active_ = false;
        return step;
    }
    body_.insert(body_.end(), body.begin(), body.end());
    if (type == kLast) {
        step.complete = true;
        active_ = false;
    }
    return step;
}

std::optional<std::uint32_t> RequestReassembly::ExpiresIn(std::uint32_t nowMs, std::uint32_t timeoutMs) const
{
    return active_ ? std::optional(MillisecondsUntil(nowMs, lastMs_ + timeoutMs)) : std::nullopt;
}

void ResponseSender::Start(std::uint8_t header, Bytes body, std::uint32_t nowMs, FragmentFault fault)
{
    header_ = header;
    body_ = std::move(body);
    index_ = 0;
    offset_ = 0;
    active_ = true;
    resent_ = false;
    sentMs_ = nowMs;
    fault_ = fault;
}

std::uint8_t ResponseSender::CountOf(std::size_t index) const
{
    const std::size_t count = (fault_ == FragmentFault::SkipCount && index > 0) ? index + 1 : index;
    return static_cast<std::uint8_t>(count & devicenet::kFragmentCountMask);
}

Payload ResponseSender::Current() const
{
    Payload payload;
    payload.Push(static_cast<std::uint8_t>(header_ | devicenet::kFragBit));
    const std::size_t rest = body_.size() - offset_;
    std::uint8_t type = index_ == 0 ? kFirst : rest <= kExplicitFragmentBody ? kLast : kMiddle;
    if (index_ == 0 && fault_ == FragmentFault::MissingFirst) {
        type = kMiddle;
    }
    payload.Push(static_cast<std::uint8_t>(type | CountOf(index_)));
    for (std::size_t i = 0; i < std::min(rest, kExplicitFragmentBody); ++i) {
        payload.Push(body_[offset_ + i]);
    }
    return payload;
}

ResponseSender::AckResult ResponseSender::OnAck(std::uint8_t count, std::uint8_t status, std::uint32_t nowMs)
{
    if (!active_ || count != CountOf(index_)) {
        return AckResult::Ignored;
    }
    if (status != devicenet::kAckSuccess) {
        active_ = false;
        return AckResult::Aborted;
    }
    const bool wasLast = index_ > 0 && body_.size() - offset_ <= kExplicitFragmentBody;
    if (wasLast || fault_ == FragmentFault::Truncate || body_.size() <= kExplicitFragmentBody) {
        active_ = false;
        return AckResult::Done;
    }
    offset_ += kExplicitFragmentBody;
    ++index_;
    resent_ = false;
    sentMs_ = nowMs;
    return AckResult::Next;
}

ResponseSender::TimerResult ResponseSender::OnTime(std::uint32_t nowMs, std::uint32_t timeoutMs)
{
    if (!active_ || nowMs - sentMs_ < timeoutMs) {
        return TimerResult::Nothing;
    }
    if (resent_) {
        active_ = false;
        return TimerResult::GiveUp;
    }
    resent_ = true;
    sentMs_ = nowMs;
    return TimerResult::Resend;
}

std::optional<std::uint32_t> ResponseSender::TimerIn(std::uint32_t nowMs, std::uint32_t timeoutMs) const
{
    return active_ ? std::optional(MillisecondsUntil(nowMs, sentMs_ + timeoutMs)) : std::nullopt;
}

IoReassembly::Result IoReassembly::OnFrame(ByteView frame, std::size_t limit)
{
    if (frame.empty()) {
        active_ = false;
        return Result::Discarded;
    }
    const std::uint8_t type = Type(frame[0]);
    const std::uint8_t count = Count(frame[0]);
    if (type == kFirst && count == 0) {
        active_ = true;
        data_.clear();
    } else if (!active_ || type == kFirst || type == static_cast<std::uint8_t>(devicenet::FragmentType::Ack) ||
               count != NextCount(lastCount_)) {
        active_ = false;
        return Result::Discarded;
    }
    lastCount_ = count;
    if (data_.size() + frame.size() - 1 > limit) {
        active_ = false;
        return Result::Discarded;
    }
    data_.insert(data_.end(), frame.begin() + 1, frame.end());
    if (type == kLast) {
        active_ = false;
        return Result::Complete;
    }
    return Result::Pending;
}

std::vector<Payload> SplitIo(ByteView data, FragmentFault fault)
{
    std::vector<Payload> fragments;
    std::size_t offset = 0;
    std::size_t index = 0;
    do {
        const std::size_t rest = data.size() - offset;
        std::uint8_t type = index == 0 ? kFirst : rest <= kIoFragmentData ? kLast : kMiddle;
        if (index == 0 && fault == FragmentFault::MissingFirst) {
            type = kMiddle;
        }
        const std::size_t count = (fault == FragmentFault::SkipCount && index > 0) ? index + 1 : index;
        Payload payload;
        payload.Push(static_cast<std::uint8_t>(type | (count & devicenet::kFragmentCountMask)));
        for (std::size_t i = 0; i < std::min(rest, kIoFragmentData); ++i) {
            payload.Push(data[offset + i]);
        }
        fragments.push_back(payload);
        offset += std::min(rest, kIoFragmentData);
        ++index;
        if (fault == FragmentFault::Truncate) {
            break;
        }
    } while (offset < data.size());
    return fragments;
}

} // namespace devsim
