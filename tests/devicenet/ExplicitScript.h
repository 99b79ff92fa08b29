#pragma once
// Scripts for fragmented explicit answers, shared by the explicit messaging tests.

#include "MasterFixture.h"

#include <cstdio>

namespace orv::test {

// "463: 81 00 01 02" from an identifier and bytes.
inline std::string FrameText(unsigned identifier, const std::vector<std::uint8_t>& bytes)
{
    char head[8];
    std::snprintf(head, sizeof head, "%03X:", identifier);
    return bytes.empty() ? std::string(head) : std::string(head) + " " + FormatBytes(bytes);
}

// Scripts `request` answered by a fragmented answer from 0x463: fragment k carries sizes[k] body
// bytes (the reply service code `replyService`, then a running count from 1), type first for
// k = 0, last for the final one, middle between; the master's acknowledgement "464: 81 Ck 00"
// (its header `ackHeader`) must follow each fragment before the next arrives. Returns the whole
// body the slave sent.
inline std::vector<std::uint8_t> ScriptFragmentedAnswer(ScriptedPeer& peer, const std::string& request,
                                                        std::uint8_t replyService, const std::vector<std::size_t>& sizes,
                                                        std::uint8_t lastHeader = 0x81, std::uint8_t ackHeader = 0x81)
{
    std::vector<std::uint8_t> body;
    ScriptedPeer::Step* step = &peer.Expect(request);
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        const bool last = k + 1 == sizes.size();
        const std::uint8_t type = k == 0 ? 0x00 : last ? 0x80 : 0x40;
        std::vector<std::uint8_t> frame{last ? lastHeader : std::uint8_t{0x81},
                                        static_cast<std::uint8_t>(type | k)};
        for (std::size_t i = 0; i < sizes[k]; ++i) {
            const auto value = body.empty() ? replyService : static_cast<std::uint8_t>(body.size());
            frame.push_back(value);
            body.push_back(value);
        }
        step->Reply(FrameText(0x463, frame));
        step = &peer.Expect(FrameText(0x464, {ackHeader, static_cast<std::uint8_t>(0xC0 | k), 0x00}));
    }
    step->NoReply();
    return body;
}

} // namespace orv::test
