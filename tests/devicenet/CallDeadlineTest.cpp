// One deadline for a whole call, for every call kind frame by frame: a node that drips fragments or
// acknowledgements just before each receive time-out T would hold a call of per-frame waits for
// up to 64 T; with the deadline fixed when the call starts, the call ends at 2 T with a failure
// and writes nothing back.

#include "CallScript.h"
#include "driver/devicenet/Deadline.h"

namespace orv::test {
namespace {

using devicenet::Deadline;

static_assert(Deadline::CallBudget(1000) == 2000);
static_assert(Deadline::CallBudget(0) == 0);
static_assert(Deadline::CallBudget(0x80000000u) == 0xFFFFFFFFu, "saturates where the tick count can no longer measure");

struct DeadlineCase {
    const char* name;
    Carrier carrier;
    Call call;
    int length;
    std::uint32_t timeout;
    std::uint32_t startTick;
    std::vector<Step> script;
    std::uint32_t elapsed; // the deadline: twice the time-out from the start of the call
    std::size_t late;      // frames the node had yet to send when the call ended
};

void PrintTo(const DeadlineCase& c, std::ostream* os) { *os << c.name; }

class CallDeadlineTable : public testing::TestWithParam<DeadlineCase>, protected MasterFixture {
protected:
    CallDeadlineTable() : MasterFixture(GetParam().carrier, GetParam().startTick) {}
};

TEST_P(CallDeadlineTable, EndsTheCallAtTwiceTheTimeOut)
{
    const DeadlineCase& c = GetParam();
    port().SetTimeout(static_cast<int>(c.timeout));
    Play(peer, c.script);
    const Outcome out = RunCall(master, c.call, c.length);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.reply, "") << "nothing written back";
    EXPECT_EQ(peer.Elapsed(), c.elapsed);
    EXPECT_EQ(peer.PendingFrames(), c.late);
    peer.Sleep(10 * c.timeout);
    port().DrainReceive(); // the rest of the drip
}

std::string Hex(std::uint8_t byte) { return FormatBytes(&byte, 1); }

// An answer the node drips: its first fragment at once, and each next one `every` ms after the
// master acknowledged the one before; `fragments` in all, the last of them after the call's end.
std::vector<Step> DrippedAnswer(const std::string& request, std::uint8_t header, std::uint8_t replyService,
                                std::uint32_t every, unsigned fragments)
{
    std::vector<Step> script{{request, {{0, "463: " + Hex(header) + " 00 " + Hex(replyService) + " AA"}}}};
    for (unsigned k = 0; k + 1 < fragments; ++k) {
        const auto next = static_cast<std::uint8_t>(0x40 | (k + 1));
        script.push_back({"464: 81 " + Hex(static_cast<std::uint8_t>(0xC0 | k)) + " 00",
                          {{every, "463: " + Hex(header) + " " + Hex(next) + " AA"}}});
    }
    return script;
}

// Request fragments each acknowledged `every` ms after the master sent it.
std::vector<Step> SlowAcknowledgements(const std::vector<std::string>& fragments, std::uint32_t every)
{
    std::vector<Step> script;
    for (std::size_t k = 0; k < fragments.size(); ++k) {
        script.push_back({fragments[k], {{every, "463: 81 " + Hex(static_cast<std::uint8_t>(0xC0 | k)) + " 00"}}});
    }
    return script;
}

// A poll response whose fragments come `every` ms apart, `fragments` of them.
std::vector<Step> DrippedPollResponse(std::uint32_t every, unsigned fragments)
{
    std::vector<Answer> answers{{0, "3CC: 00 01 02 03 04 05 06 07"}};
    for (unsigned k = 1; k < fragments; ++k) {
        answers.push_back({every * k, "3CC: " + Hex(static_cast<std::uint8_t>(0x40 | k)) + " 01 02 03 04 05 06 07"});
    }
    return {{"465: A0", answers}};
}

const std::vector<std::string> kSetOfNine = {"464: 81 00 10 01 01 07 A0 A1", "464: 81 41 A2 A3 A4 A5 A6 A7",
                                             "464: 81 82 A8"};

std::vector<Step> SlowServiceThenDrippedAnswer()
{
    // Both request fragments acknowledged after 900 ms, the answer's fragments 900 ms apart.
    std::vector<Step> script = SlowAcknowledgements({"464: 81 00 32 40 01 A0 A1 A2", "464: 81 81 A3 A4"}, 900);
    script.back().answers.push_back({900, "463: 81 00 B2 AA"});
    script.push_back({"464: 81 C0 00", {{900, "463: 81 41 AA"}}});
    return script;
}

constexpr std::uint32_t kStart = ScriptedPeer::kDefaultStartTick;

const DeadlineCase kDeadlineCases[] = {
    // Drain (1 ms), request at 1, fragments at 1, 901, 1801 acknowledged; the one due at 2701 is late.
    {"GetAnswerDrippedEvery900", Carrier::Sst, Call::Get, 0, 1000, kStart,
     DrippedAnswer("464: 01 0E 01 01 07", 0x81, 0x8E, 900, 4), 2000, 1},
    {"SystecGetAnswerDrippedEvery900", Carrier::Systec, Call::Get, 0, 1000, kStart,
     DrippedAnswer("464: 41 0E 01 01 07", 0xC1, 0x8E, 900, 4), 2000, 1},
    {"GetAnswerDrippedAcrossTheWrap", Carrier::Sst, Call::Get, 0, 1000, 0xFFFFFC00u,
     DrippedAnswer("464: 01 0E 01 01 07", 0x81, 0x8E, 900, 4), 2000, 1},
    {"ServiceAnswerDrippedEvery900", Carrier::Sst, Call::Service, 0, 1000, kStart,
     DrippedAnswer("464: 01 32 40 01", 0x81, 0xB2, 900, 4), 2000, 1},
    {"GetAnswerDrippedEvery270WithATimeOutOf300", Carrier::Sst, Call::Get, 0, 300, kStart,
     DrippedAnswer("464: 01 0E 01 01 07", 0x81, 0x8E, 270, 4), 600, 1},
    // Acknowledgements at 901 and 1801; the last one, due at 2701, is late.
    {"SetFragmentsAcknowledgedAfter900", Carrier::Sst, Call::Set, 9, 1000, kStart, SlowAcknowledgements(kSetOfNine, 900),
     2000, 1},
    // Acknowledgements at 901 and 1801, the answer's first fragment at 1801; its next one is late.
    {"ServiceAcknowledgedSlowlyThenAnswerDripped", Carrier::Sst, Call::Service, 5, 1000, kStart,
     SlowServiceThenDrippedAnswer(), 2000, 1},
    // 448 bytes expected, 64 fragments: three of them in time.
    {"PollResponseFragmentsEvery900", Carrier::Sst, Call::Poll, 448, 1000, kStart, DrippedPollResponse(900, 4), 2000, 1},
    {"SystecPollResponseFragmentsEvery900", Carrier::Systec, Call::Poll, 448, 1000, kStart,
     DrippedPollResponse(900, 4), 2000, 1},
};

INSTANTIATE_TEST_SUITE_P(Drips, CallDeadlineTable, testing::ValuesIn(kDeadlineCases),
                         [](const testing::TestParamInfo<DeadlineCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv::test
