#pragma once
// The one slave node the viewer talks to: opening it allocates its explicit connection (and its
// poll connection when asked) through the driver, and sizes the module's poll item from the poll
// connection's produced and consumed sizes.

#include "viewer/model/ModuleBase.h"
#include "viewer/model/PollItem.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orv::viewer {

// Bits of the allocation flags.
namespace Allocation {
inline constexpr int kExplicit = 1;
inline constexpr int kPoll = 2;
} // namespace Allocation

class Module final : public ModuleBase {
public:
    // The CAN data of a received frame starts here in the CANRcv buffer of most cards; the
    // CAN712 card's library puts it at kVoraFrameDataOffset.
    static constexpr int kFrameDataOffset = 0;
    static constexpr int kVoraFrameDataOffset = 6;

    Module();
    // Does not close the node: the owner closes it first.
    ~Module() override;

    // Also names the poll item "Poll <address>".
    bool SetAddress(int address) override;
    // Allocates the connections: explicit always, poll when `flags` has Allocation::kPoll, and then
    // sizes the poll item (Connection 5/2 attributes 8 and 7; a size that cannot be read is -1).
    // False, without a driver call, when the module is open already; false when OpenModule fails.
    bool Open(int flags) override;
    // Releases the node's connections. True when it closed an open node.
    bool Close() override;
    bool RemoveAll() override;
    DriverClient* GetDriver() override { return driver_; }
    void SetDriver(DriverClient* driver) override { driver_ = driver; }

    PollItem& Poll() { return *pollItem_; }

    // Where the card in use puts a received frame's data in the CANRcv buffer.
    void SetFrameDataOffset(int offset) { frameDataOffset_ = offset; }
    int FrameDataOffset() const { return frameDataOffset_; }

private:
    // The 16-bit attribute of Connection instance 2, or -1 when it cannot be read.
    int ReadPollSize(int attribute);

    DriverClient* driver_ = nullptr;
    std::uint16_t explicitPacketRate_ = 0;
    std::uint16_t pollPacketRate_ = 0;
    std::unique_ptr<PollItem> pollItem_;
    std::vector<std::unique_ptr<ItemBase>> registered_; // nothing registers yet
    int frameDataOffset_ = kFrameDataOffset;
};

} // namespace orv::viewer
