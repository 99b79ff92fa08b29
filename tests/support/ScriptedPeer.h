#pragma once
// A scripted CAN peer for the DeviceNet master: the card library and the clock in one object.
//
//   peer.Expect("464: 01 0E 01 01 07").Reply("463: 01 8E 2C 01");
//   peer.Expect("464: 81 C0 00").NoReply();
//
// Each frame the master sends is checked against the next expectation (identifier, length field,
// data bytes within the length); a mismatch fails the test with both frames as hex and the frame
// is refused. The replies of an expectation become pending only once the master has sent the
// expected frame, so a script also pins down the order of sends and receives (an acknowledgement
// must go out before the next fragment can arrive).
//
// Time is fake: the clock stands still except that every request for a frame that finds none
// pending advances it by 1 ms, and a sleep advances it by its length. A wait of the master therefore ends after exactly its time-out worth
// of empty polls, at once in real time; a drain that finds the queue empty costs 1 ms.
//
// When the peer is destroyed, every expectation must have been met and every scripted frame taken;
// anything left fails the test (unless an earlier mismatch already did).

#include "driver/devicenet/CanFrame.h"
#include "driver/devicenet/CanLibrary.h"
#include "driver/devicenet/Clock.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace orv::test {

class ScriptedPeer final : public devicenet::CanLibrary, public devicenet::Clock {
public:
    enum class Direction { FromMaster, ToMaster };

    struct LoggedFrame {
        Direction direction;
        devicenet::CanFrame frame;
        bool stale; // pre-loaded before the operation; the master should have drained it
    };

    // One expected frame of the master and what happens when it is sent.
    class Step {
    public:
        // Queues an answer, pending as soon as the expected frame has been sent.
        Step& Reply(std::string_view frame) { return ReplyAfter(0, frame); }
        // Queues an answer that becomes pending `milliseconds` after the expected frame was sent.
        Step& ReplyAfter(std::uint32_t milliseconds, std::string_view frame);
        // States that nothing answers this frame (the master's next wait times out).
        void NoReply() {}
        // The library refuses the frame: SendFrame returns false, nothing reaches the bus.
        void Refuse() { refuse_ = true; }

    private:
        friend class ScriptedPeer;
        struct Answer {
            std::uint32_t delay;
            devicenet::CanFrame frame;
        };
        std::string text_;
        devicenet::CanFrame expected_;
        std::vector<Answer> answers_;
        bool refuse_ = false;
    };

    static constexpr std::uint32_t kDefaultStartTick = 0x00010000;

    explicit ScriptedPeer(std::uint32_t startTick = kDefaultStartTick);
    ~ScriptedPeer() override;
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    Step& Expect(std::string_view frame);

    // A frame already waiting in the library before the next operation starts; the drain at the
    // start of a protocol operation must throw it away.
    void Stale(std::string_view frame);
    // A frame that becomes pending `milliseconds` from now, without any expectation (raw CANRcv).
    void Deliver(std::string_view frame, std::uint32_t milliseconds = 0);

    // CanLibrary
    bool SendFrame(const devicenet::CanFrame& frame) override;
    bool ReceiveFrame(devicenet::CanFrame& frame) override;
    // Clock: a sleep lets its time pass at once.
    std::uint32_t TickCount() override { return now_; }
    void Sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }

    std::uint32_t Now() const { return now_; }
    // Fake milliseconds since the peer was created (an unsigned 32-bit difference).
    std::uint32_t Elapsed() const { return now_ - startTick_; }
    // How often the master asked the library for a frame, with or without success.
    std::size_t ReceiveCalls() const { return receiveCalls_; }
    // Frames queued for the master, due or not.
    std::size_t PendingFrames() const { return pending_.size(); }
    // Expectations not yet met.
    std::size_t OpenExpectations() const { return script_.size(); }

    // Every frame that crossed the bus, in order (refused sends are not on the bus).
    const std::vector<LoggedFrame>& Log() const { return log_; }
    // The log as text, one line per frame: "> 464: 01 0E 01 01 07" from the master,
    // "< 463: 01 8E 2C 01" to it, "< 463: ... (stale)" for a pre-loaded frame.
    std::string Transcript() const;
    // Frames sent by the master, formatted, in order.
    std::vector<std::string> SentFrames() const;

    // Everything scripted has happened.
    testing::AssertionResult Consumed() const;

private:
    struct Pending {
        devicenet::CanFrame frame;
        std::uint32_t scheduledAt;
        std::uint32_t delay;
        bool stale;
    };

    void Queue(const devicenet::CanFrame& frame, std::uint32_t delay, bool stale);

    std::uint32_t startTick_;
    std::uint32_t now_;
    std::deque<Step> script_;
    std::deque<Pending> pending_;
    std::vector<LoggedFrame> log_;
    std::size_t receiveCalls_ = 0;
    std::size_t emptyPolls_ = 0;
    std::size_t sendCount_ = 0;
    bool broken_ = false;
};

} // namespace orv::test
