#pragma once
// Explicit fragmentation, the part that does not depend on how frames travel or how long a sender
// waits: the frames of a request, the acknowledgement of an answer fragment, and the reassembly of
// a fragmented answer. The master and the VORA card's own DNService both build on it.
//
// A fragment frame: byte 0 header with the fragment bit, byte 1 the fragmentation byte (type in
// bits 7..6, count in bits 5..0), bytes 2..7 up to six bytes of the message body.

#include "driver/devicenet/CanFrame.h"
#include "driver/devicenet/Identifiers.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orv::devicenet {

inline constexpr std::size_t kFragmentBodyBytes = 6;
// Six count bits number 64 fragments; an answer whose count would wrap is longer than any reply
// area of this driver can hold (64 fragments carry up to 384 bytes).
inline constexpr std::size_t kMaxAnswerFragments = 64;
// The longest body a reassembled answer may keep.
inline constexpr std::size_t kMaxAnswerBody = 250;

// A fragment series starts with a first fragment of count 0; a series that seems to begin with any
// other fragment lost its start (or is the tail of an earlier one) and is no message.
constexpr bool StartsSeries(std::uint8_t fragmentByte)
{
    return fragmentByte == (kFragmentFirst | 0); // type first, count 0
}

// A whole (unfragmented) explicit message: header, then the body (at most 7 bytes).
CanFrame ExplicitFrame(std::uint16_t identifier, std::uint8_t header, const std::uint8_t* body,
                       std::size_t bodyLength);

// The acknowledgement of an answer fragment whose fragmentation byte was `fragmentByte`: 3 bytes,
// header, the count with both type bits set, status 0 (success).
CanFrame FragmentAcknowledgement(std::uint16_t identifier, std::uint8_t header, std::uint8_t fragmentByte);

// The fragments of a request body too long for one frame, in order: the first and every middle
// fragment carry six body bytes, the last the rest (at least one).
class RequestFragments {
public:
    RequestFragments(std::uint16_t identifier, std::uint8_t fragmentHeader, const std::uint8_t* body,
                     std::size_t bodyLength);

    // The next fragment; false once all have been handed out.
    bool Next(CanFrame& frame);

private:
    std::uint16_t identifier_;
    std::uint8_t header_;
    const std::uint8_t* body_;
    std::size_t length_;
    std::size_t offset_ = 0;
    std::uint8_t count_ = 0;
};

// Reassembly of a fragmented answer, fed one fragment at a time (the first being the frame that
// carried the fragment bit). The series ends as follows:
// - the first fragment does not start a series (StartsSeries): Fail;
// - a later fragment's count is not the one after its predecessor's, or it is too short to carry
//   a fragmentation byte, or it would be fragment number 65: Fail;
// - a last fragment: Done. Any other type counts as a middle fragment.
// A fragment's bytes are kept whole, and only while a whole fragment still fits the body limit;
// past that the fragments are still acknowledged and their bytes dropped.
// On Continue and Done the caller acknowledges the fragment it fed; on Fail it sends nothing.
class AnswerAssembly {
public:
    enum class Step { Continue, Done, Fail };

    explicit AnswerAssembly(std::size_t bodyLimit);

    Step Take(const CanFrame& fragment);

    // The reply layout of a reassembled answer: the last fragment's header without its fragment
    // bit, then the body.
    void Store(std::uint8_t* buffer) const;

private:
    std::array<std::uint8_t, kMaxAnswerBody> body_{};
    std::size_t limit_;
    std::size_t held_ = 0;
    std::size_t taken_ = 0;
    std::uint8_t lastCount_ = 0;
    std::uint8_t header_ = 0;
};

} // namespace orv::devicenet
