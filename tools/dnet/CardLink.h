#pragma once
// The browse's link over the driver's automation interface: raw frames by CANXmit and CANRcv,
// attribute reads by DNGetAttribute, waiting for frames as each card allows.
//
// SST and SYSTEC: CANRcv blocks until a frame comes or the card's receive time-out passes, so the
// link sets that time-out to each wait (SetTimeout) and back to the reading time-out before a read.
// VORA: CANRcv answers 0xFFFC at once while nothing was received, and the card offers nothing to
// wait on (no time-out, no event): the link asks again after a pause of 1 ms, never past the end
// of the wait. A pause is shorter than the wire time of one answer at 125 kbit/s (85 bits for an
// Allocate answer), so polling adds at most about one frame's time to a wait and at most one
// automation call per millisecond.

#include "tools/dnet/Browse.h"
#include "tools/dnet/CommandLine.h"

#include "viewer/app/DriverClient.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace orv::dnet {

class CardLink final : public BrowseLink {
public:
    // `readTimeoutMs`: the receive time-out of the card while it reads attributes (the session's).
    // `keepTrace`, when set, is called after every few frames and after every read, to move the
    // card's trace (which holds a few dozen frames) out before it fills.
    CardLink(viewer::DriverClient& driver, CardKind card, std::uint32_t readTimeoutMs,
             std::function<void()> keepTrace = {});

    bool Send(const devicenet::CanFrame& frame) override;
    bool Receive(devicenet::CanFrame& frame, std::uint32_t milliseconds) override;
    std::uint32_t NowMs() override;
    std::optional<Reply> GetAttribute(int node, int classId, int instance, int attribute) override;

    // Puts the card's receive time-out back to the reading time-out where the link changed it;
    // false when the card refused a time-out at any time (a wait then ended at once).
    bool RestoreTimeout();

private:
    bool SetTimeout(std::uint32_t milliseconds);
    void Traffic(std::size_t frames);

    viewer::DriverClient& driver_;
    const CardKind card_;
    const std::uint32_t readTimeoutMs_;
    std::function<void()> keepTrace_;
    std::optional<std::uint32_t> timeout_; // as last set; unknown at first
    bool timeoutRefused_ = false;
    std::size_t untraced_ = 0;
};

} // namespace orv::dnet
