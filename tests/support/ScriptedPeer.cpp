#include "support/ScriptedPeer.h"

#include "support/FrameText.h"

#include <sstream>

namespace orv::test {
namespace {

// A master that never stops waiting (a time-out taken as signed, a missed wrap) would spin forever
// on the fake clock; past this many empty polls the clock jumps so that any finite wait ends.
constexpr std::size_t kRunawayPolls = 20'000'000;
constexpr std::uint32_t kRunawayStep = 1u << 20;

} // namespace

ScriptedPeer::Step& ScriptedPeer::Step::ReplyAfter(std::uint32_t milliseconds, std::string_view frame)
{
    answers_.push_back({milliseconds, ParseFrame(frame)});
    return *this;
}

ScriptedPeer::ScriptedPeer(std::uint32_t startTick) : startTick_(startTick), now_(startTick) {}

ScriptedPeer::~ScriptedPeer()
{
    if (!broken_) {
        EXPECT_TRUE(Consumed());
    }
}

ScriptedPeer::Step& ScriptedPeer::Expect(std::string_view frame)
{
    Step& step = script_.emplace_back();
    step.text_ = std::string(frame);
    step.expected_ = ParseFrame(frame);
    return step;
}

void ScriptedPeer::Stale(std::string_view frame)
{
    Queue(ParseFrame(frame), 0, true);
}

void ScriptedPeer::Deliver(std::string_view frame, std::uint32_t milliseconds)
{
    Queue(ParseFrame(frame), milliseconds, false);
}

void ScriptedPeer::Queue(const devicenet::CanFrame& frame, std::uint32_t delay, bool stale)
{
    pending_.push_back({frame, now_, delay, stale});
}

bool ScriptedPeer::SendFrame(const devicenet::CanFrame& frame)
{
    const std::size_t index = sendCount_++;
    if (broken_) {
        return false;
    }
    if (script_.empty()) {
        broken_ = true;
        ADD_FAILURE() << "send #" << index << ": the master sent " << FormatFrame(frame)
                      << " after the end of the script\n"
                      << Transcript();
        return false;
    }
    Step step = std::move(script_.front());
    script_.pop_front();
    if (!SameFrame(step.expected_, frame)) {
        broken_ = true;
        ADD_FAILURE() << "send #" << index << ": expected " << FormatFrame(step.expected_)
                      << "\n              the master sent " << FormatFrame(frame) << "\n"
                      << Transcript();
        return false;
    }
    if (step.refuse_) {
        return false;
    }
    log_.push_back({Direction::FromMaster, frame, false});
    for (const Step::Answer& answer : step.answers_) {
        Queue(answer.frame, answer.delay, false);
    }
    return true;
}

bool ScriptedPeer::ReceiveFrame(devicenet::CanFrame& frame)
{
    ++receiveCalls_;
    if (!pending_.empty()) {
        const Pending& next = pending_.front();
        if (static_cast<std::uint32_t>(now_ - next.scheduledAt) >= next.delay) {
            frame = next.frame;
            log_.push_back({Direction::ToMaster, next.frame, next.stale});
            pending_.pop_front();
            return true;
        }
    }
    ++emptyPolls_;
    if (emptyPolls_ == kRunawayPolls) {
        ADD_FAILURE() << "the master has polled an empty queue " << kRunawayPolls
                      << " times; the fake clock now jumps ahead to end the wait";
    }
    now_ += emptyPolls_ >= kRunawayPolls ? kRunawayStep : 1;
    return false;
}

std::string ScriptedPeer::Transcript() const
{
    std::ostringstream text;
    for (const LoggedFrame& entry : log_) {
        text << (entry.direction == Direction::FromMaster ? "> " : "< ") << FormatFrame(entry.frame)
             << (entry.stale ? " (stale)" : "") << '\n';
    }
    return text.str();
}

std::vector<std::string> ScriptedPeer::SentFrames() const
{
    std::vector<std::string> frames;
    for (const LoggedFrame& entry : log_) {
        if (entry.direction == Direction::FromMaster) {
            frames.push_back(FormatFrame(entry.frame));
        }
    }
    return frames;
}

testing::AssertionResult ScriptedPeer::Consumed() const
{
    if (script_.empty() && pending_.empty()) {
        return testing::AssertionSuccess();
    }
    testing::AssertionResult result = testing::AssertionFailure();
    result << "the script was not played to its end";
    for (const Step& step : script_) {
        result << "\n  never sent by the master: " << step.text_;
    }
    for (const Pending& frame : pending_) {
        result << "\n  never taken by the master: " << FormatFrame(frame.frame)
               << (frame.stale ? " (stale)" : "");
    }
    result << "\nbus so far:\n" << Transcript();
    return result;
}

} // namespace orv::test
