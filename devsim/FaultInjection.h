#pragma once
// Faults the device injects into what it sends, for testing masters: lost, repeated and late
// frames, answers that seem to come from a second MAC ID, malformed fragment sequences; and switch
// positions that a master's display may not expect.
//
// Text form (brelinsim's --fault, one or more comma-separated):
//   drop=N            drop every Nth frame the device sends (1: every frame)
//   dup               send every frame twice
//   delay=MS          hold every frame MS milliseconds (at most OutputStage::kMaxHeldFrames at a
//                     time; beyond, frames are dropped and counted)
//   second-mac=M      precede every answer by a copy sent from MAC ID M
//   bad-fragments=K   K = skip-count | missing-first | truncate
//   switches=M/B      the MAC ID and baud-rate switches at positions M and B (0..255; above 63
//                     and 2 the values are set over the network: 99/9 reports those positions)
//   none              no faults

#include "canbus/Frame.h"
#include "devsim/Fragmentation.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace devsim {

struct Faults {
    std::uint32_t dropEvery = 0;
    bool duplicate = false;
    std::uint32_t delayMs = 0;
    int secondMacId = -1; // -1: none
    FragmentFault fragments = FragmentFault::None;
    int macSwitch = -1; // switch positions; -1: as the device's options say
    int baudSwitch = -1;
};

// Adds the faults of `text` to `faults`. False with a one-line `error` when the text is not
// understood; `faults` is then unchanged.
bool ParseFaults(std::string_view text, Faults& faults, std::string& error);

// The text form of `faults` ("none" when there are none).
std::string DescribeFaults(const Faults& faults);

// The last stage of the device's output: applies the faults and hands frames to the sink.
class OutputStage {
public:
    using Sink = std::function<void(const canbus::Frame&)>;

    // Frames held at once. A master that keeps asking faster than the delay lets answers go would
    // otherwise make the device hold them without bound; what comes beyond is dropped.
    static constexpr std::size_t kMaxHeldFrames = 1024;

    void SetFaults(const Faults& faults) { faults_ = faults; }
    const Faults& GetFaults() const { return faults_; }

    // A frame the device sends at `nowMs`. `answer` marks the frames a second MAC ID imitates.
    void Send(const canbus::Frame& frame, bool answer, std::uint32_t nowMs, const Sink& sink);
    // Hands on the held frames that are due.
    void Release(std::uint32_t nowMs, const Sink& sink);
    // Milliseconds until Release hands on a held frame; nullopt while none is held.
    std::optional<std::uint32_t> NextRelease(std::uint32_t nowMs) const;
    // Frames dropped because kMaxHeldFrames were held.
    std::uint64_t HeldOverflow() const { return heldOverflow_; }

private:
    struct Held {
        canbus::Frame frame;
        std::uint32_t dueMs;
    };
    void Out(const canbus::Frame& frame, std::uint32_t nowMs, const Sink& sink);

    Faults faults_;
    std::uint64_t offered_ = 0;
    std::uint64_t heldOverflow_ = 0;
    std::deque<Held> held_;
};

} // namespace devsim
