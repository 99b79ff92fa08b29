#pragma once
// The browse behind `scan`: who is on the network, with their identity, at the speed of the wire.
//
// An Allocate of the explicit connection goes to every MAC ID but the master's, back to back as raw
// frames; the answers are taken as they come until the window closes. Only the nodes that answered
// are read, and only the nodes this browse allocated are released, again back to back. A node that
// refuses the allocation (another master holds it: object state conflict) is listed with the error
// response and left alone: neither read nor released. A node that answers "already in requested
// mode/state" is allocated to this master already (an open node of the session): it is read and
// left allocated.
//
// The window closes `waitMs` after the wire can have carried every request sent and every frame
// received so far, each counted at its worst-case length at the data rate: the card sends the
// requests one after another, so the last MAC ID hears its request only when all others went out.
// A run of requests ends early once every node asked has answered.
//
// The browse does no I/O of its own: it sends, receives and reads through a BrowseLink (the card's
// automation operations in dnet, a scripted peer in the tests), and takes time from it.

#include "tools/dnet/Reply.h"
#include "tools/dnet/Results.h"

#include "driver/devicenet/CanFrame.h"

#include <cstdint>
#include <optional>

namespace orv::dnet {

class BrowseLink {
public:
    virtual ~BrowseLink() = default;
    // Hands one frame to the card; false when the card refused it.
    virtual bool Send(const devicenet::CanFrame& frame) = 0;
    // Waits up to `milliseconds` (1 or more) for one received frame of any identifier; false when
    // none came in that time (or the card cannot receive).
    virtual bool Receive(devicenet::CanFrame& frame, std::uint32_t milliseconds) = 0;
    // A monotonic millisecond count; differences are taken modulo 2^32.
    virtual std::uint32_t NowMs() = 0;
    // Get_Attribute_Single through the driver's explicit messaging; nullopt when no answer came.
    virtual std::optional<Reply> GetAttribute(int node, int classId, int instance, int attribute) = 0;
};

struct BrowseSettings {
    int masterMacId = 0;
    std::uint32_t bitrate = 125000; // bits per second on the wire
    std::uint32_t waitMs = 50;      // the window after the wire time
};

// Fills `result` with the nodes that answered, by MAC ID. A failure when the card refused a request
// even after a pause: the nodes found until then are kept and those allocated are released.
Outcome Browse(BrowseLink& link, const BrowseSettings& settings, ScanResult& result);

} // namespace orv::dnet
