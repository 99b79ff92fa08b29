#pragma once
// Whether a frame is the answer of one explicit request (Get_Attribute_Single,
// Set_Attribute_Single, any other service, Allocate, Release). It fits when it comes on the asked
// node's explicit response identifier, its service code is the request's reply code
// (request | 0x80) or the error response (0x94), and, where the card alternates the transaction
// bit, its XID bit is the one the request carried. Where the answer may come fragmented, a frame
// with the fragment bit must be the start of a series (a first fragment of count 0) and carries
// the service code after its fragmentation byte; a middle, last or acknowledge fragment never
// starts an answer. A late answer of an earlier request, a stray fragment or another node's
// traffic is thereby never taken for the answer.

#include "driver/devicenet/FrameFilter.h"

#include <cstdint>
#include <optional>

namespace orv::devicenet {

class AnswerFit final : public FrameFilter {
public:
    enum class Shape : std::uint8_t {
        OneFrame,        // stored as one frame whatever its bits say: the service code is byte 1
        MayBeFragmented, // Get_Attribute_Single and free services: one frame or a fragment series
    };

    // `xid` is the XID bit (0x00 or 0x40) of the request as sent, where the card alternates it.
    AnswerFit(std::uint16_t identifier, std::uint8_t requestService, Shape shape, std::optional<std::uint8_t> xid);

    bool Takes(const CanFrame& frame) const override;

private:
    std::uint16_t identifier_;
    std::uint8_t replyService_;
    Shape shape_;
    std::optional<std::uint8_t> xid_;
};

} // namespace orv::devicenet
