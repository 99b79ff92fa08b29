#pragma once
// The one slave node the viewer talks to: opening it allocates its explicit connection (and its
// poll connection when asked) through the driver, and sizes the module's poll item from the poll
// connection's produced and consumed sizes.
//
// Every exchange of the items goes through Ask and Answered, so that a node that stops answering
// costs the window one wait, not one per read: after an exchange without an answer the node is
// silent, and Ask refuses every exchange until a try is due, at most one a second (kRetryMs after
// the last wait ended). A try is a single allocation request; when the node answers it (it came
// back, maybe restarted without its connections), the module is opened again with the allocation
// it was opened with, as Close and Open do, and the exchange goes ahead.

#include "viewer/model/ModuleBase.h"
#include "viewer/model/PollItem.h"
#include "viewer/model/TickSource.h"

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

    // After an exchange without an answer, the time before the node is tried again.
    static constexpr std::uint32_t kRetryMs = 1000;

    explicit Module(TickSource& ticks = SystemTicks());
    // Does not close the node: the owner closes it first.
    ~Module() override;

    // The clock of the tries of a silent node.
    void UseTicks(TickSource& ticks) { ticks_ = &ticks; }

    // Also names the poll item "Poll <address>".
    bool SetAddress(int address) override;
    // First asks the node whether it is there (one allocation request; false when nothing
    // answers, and the node is silent), then allocates the connections: explicit always, poll when
    // `flags` has Allocation::kPoll, and then sizes the poll item (Connection 5/2 attributes 8 and
    // 7; a size that cannot be read is -1). False, without a driver call, when the module is open
    // already; false when OpenModule fails.
    bool Open(int flags) override;
    // Releases the node's connections (a silent node's are left as they are). True when it closed
    // an open node.
    bool Close() override;
    bool RemoveAll() override;
    DriverClient* GetDriver() override { return driver_; }
    void SetDriver(DriverClient* driver) override { driver_ = driver; }

    PollItem& Poll() { return *pollItem_; }

    // The driver for one exchange with the open node, or null: the module is closed, or its node is
    // silent and no try is due. A due try is made first.
    DriverClient* Ask();
    // Whether the exchange that Ask allowed was answered (its driver call succeeded); one that was
    // not makes the node silent.
    void Answered(bool answered);
    // The last exchange had no answer, nor has any try since.
    bool Silent() const { return silent_; }
    // How many times the node was opened, by Open or by a try that found it again.
    int Openings() const { return openings_; }

    // Where the card in use puts a received frame's data in the CANRcv buffer.
    void SetFrameDataOffset(int offset) { frameDataOffset_ = offset; }
    int FrameDataOffset() const { return frameDataOffset_; }

private:
    // One allocation request of the explicit connection: true when the node answered it at all.
    bool Answers();
    // OpenModule with `flags`, then the poll item's sizes.
    bool Allocate(int flags);
    // A try of a silent node: Answers, then Close and Allocate with the flags of the last Open.
    bool Retake();
    void BecomeSilent();
    // The 16-bit attribute of Connection instance 2, or -1 when it cannot be read.
    int ReadPollSize(int attribute);

    TickSource* ticks_;
    DriverClient* driver_ = nullptr;
    int flags_ = 0;
    bool silent_ = false;
    std::uint32_t silentSinceMs_ = 0;
    int openings_ = 0;
    std::uint16_t explicitPacketRate_ = 0;
    std::uint16_t pollPacketRate_ = 0;
    std::unique_ptr<PollItem> pollItem_;
    std::vector<std::unique_ptr<ItemBase>> registered_; // nothing registers yet
    int frameDataOffset_ = kFrameDataOffset;
};

} // namespace orv::viewer
