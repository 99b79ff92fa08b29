// What the master takes as the answer of a call, for every call kind frame by frame: only an
// answer that fits the request (its reply code or the error response, on SYSTEC the XID bit of
// the request, a fragment series that starts with a first fragment of count 0). Anything else
// from the node, a late answer of an earlier request above all, is neither data nor the end of the
// wait: the call takes the fitting answer after it, or times out after one receive time-out.

#include "CallScript.h"

namespace orv::test {
namespace {

struct FitCase {
    const char* name;
    Carrier carrier;
    Call call;
    int length; // request data (Set, Service)
    std::vector<Step> script;
    int result;
    std::string reply;
    std::uint32_t elapsed; // the drain's look, then 0 for an answer at once or the whole time-out
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

class AnswerFitTable : public testing::TestWithParam<FitCase>, protected MasterFixture {
protected:
    AnswerFitTable() : MasterFixture(GetParam().carrier) {}
};

TEST_P(AnswerFitTable, OnlyAnAnswerThatFitsTheRequestIsTaken)
{
    const FitCase& c = GetParam();
    Play(peer, c.script);
    const Outcome out = RunCall(master, c.call, c.length);
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.reply, c.reply);
    EXPECT_EQ(peer.Elapsed(), c.elapsed);
}

constexpr const char* kGet = "464: 01 0E 01 01 07";
constexpr const char* kSystecGet = "464: 41 0E 01 01 07";
constexpr const char* kService = "464: 01 32 40 01";
constexpr const char* kAllocate = "466: 01 4B 03 01 01 01";
constexpr const char* kFree = "466: 01 4C 03 01 01";

const FitCase kFitCases[] = {
    // A late answer of an earlier request of another kind, then the call's own answer.
    {"GetAfterALateSetAnswer", Carrier::Sst, Call::Get, 0,
     {{kGet, {{0, "463: 01 90"}, {0, "463: 01 8E 2C 01"}}}}, 0, "04 00 01 8E 2C 01", 1},
    {"SetAfterALateGetAnswer", Carrier::Sst, Call::Set, 1,
     {{"464: 01 10 01 01 07 A0", {{0, "463: 01 8E 2C 01"}, {0, "463: 01 90"}}}}, 0, "02 00 01 90", 1},
    {"ServiceAfterALateGetAnswerTakesItsErrorResponse", Carrier::Sst, Call::Service, 0,
     {{kService, {{0, "463: 01 8E 00"}, {0, "463: 01 94 08 00"}}}}, 0, "04 00 01 94 08 00", 1},
    {"AllocateAfterALateReleaseAnswer", Carrier::Sst, Call::Allocate, 0,
     {{kAllocate, {{0, "463: 01 CC"}, {0, "463: 01 CB 00"}}}}, 0, "463: 01 CB 00", 1},
    {"FreeAfterALateAllocateAnswer", Carrier::Sst, Call::Free, 0,
     {{kFree, {{0, "463: 01 CB 00"}, {0, "463: 01 CC"}}}}, 0, "463: 01 CC", 1},
    {"LateAnswersAloneLeaveTheWaitToTimeOut", Carrier::Sst, Call::Allocate, 0,
     {{kAllocate, {{0, "463: 01 CC"}, {900, "463: 01 CC"}}}}, -1, "", 1001},
    {"NoServiceCodeIsNoAnswer", Carrier::Sst, Call::Get, 0, {{kGet, {{0, "463: 01"}, {0, "463:"}}}}, -1, "", 1001},

    // A fragment series is an answer only from its first fragment of count 0 on.
    {"SeriesStartingWithAMiddleFragment", Carrier::Sst, Call::Get, 0,
     {{kGet, {{0, "463: 81 45 8E 01 02 03 04 05"}, {0, "463: 81 86 06"}}}}, -1, "", 1001},
    {"SeriesStartingWithAFirstFragmentOfAnotherCount", Carrier::Sst, Call::Get, 0,
     {{kGet, {{0, "463: 81 05 8E 01 02 03 04 05"}}}}, -1, "", 1001},
    {"LoneLastFragment", Carrier::Sst, Call::Get, 0, {{kGet, {{0, "463: 81 85 8E 01 02"}}}}, -1, "", 1001},
    {"Acknowledgement", Carrier::Sst, Call::Get, 0, {{kGet, {{0, "463: 81 C0 00"}}}}, -1, "", 1001},
    {"FirstFragmentWithoutAServiceCode", Carrier::Sst, Call::Get, 0, {{kGet, {{0, "463: 81 00"}}}}, -1, "", 1001},
    {"FirstFragmentOfAnotherService", Carrier::Sst, Call::Get, 0, {{kGet, {{0, "463: 81 00 90 01 02"}}}}, -1, "",
     1001},
    {"ServiceSeriesStartingWithAMiddleFragment", Carrier::Sst, Call::Service, 0,
     {{kService, {{0, "463: 81 41 B2 01 02"}, {0, "463: 81 82 03"}}}}, -1, "", 1001},
    {"TailOfAnEarlierSeriesThenTheAnswer", Carrier::Sst, Call::Get, 0,
     {{kGet, {{0, "463: 81 41 AA BB"}, {0, "463: 81 82 CC"}, {0, "463: 81 00 8E 01 02 03 04 05"}}},
      {"464: 81 C0 00", {{0, "463: 81 81 06"}}},
      {"464: 81 C1 00", {}}},
     0, "08 00 01 8E 01 02 03 04 05 06", 1},

    // The SYSTEC card alternates the transaction bit: an answer carries the request's.
    {"SystecGetWithTheOtherTransactionBit", Carrier::Systec, Call::Get, 0, {{kSystecGet, {{0, "463: 01 8E 99"}}}},
     -1, "", 1001},
    {"SystecGetTakesTheRightBitAfterTheWrongOne", Carrier::Systec, Call::Get, 0,
     {{kSystecGet, {{0, "463: 01 8E 99"}, {0, "463: 41 8E 2C 01"}}}}, 0, "04 00 41 8E 2C 01", 1},
    {"SystecGetFirstFragmentWithTheOtherBit", Carrier::Systec, Call::Get, 0,
     {{kSystecGet, {{0, "463: 81 00 8E 01 02 03 04 05"}}}}, -1, "", 1001},
    {"SystecSetWithTheOtherTransactionBit", Carrier::Systec, Call::Set, 1,
     {{"464: 41 10 01 01 07 A0", {{0, "463: 01 90"}}}}, -1, "", 1001},
    {"SystecServiceIsAnsweredWithXidZero", Carrier::Systec, Call::Service, 0,
     {{kService, {{0, "463: 41 B2"}, {0, "463: 01 B2"}}}}, 0, "02 00 01 B2", 1},
    {"SystecAllocateWithTheOtherTransactionBit", Carrier::Systec, Call::Allocate, 0,
     {{"466: 41 4B 03 01 01 01", {{0, "463: 01 CB 00"}}}}, -1, "", 1001},
    {"SystecFreeWithTheOtherTransactionBit", Carrier::Systec, Call::Free, 0,
     {{"466: 41 4C 03 01 01", {{0, "463: 01 CC"}}}}, -1, "", 1001},
};

INSTANTIATE_TEST_SUITE_P(Answers, AnswerFitTable, testing::ValuesIn(kFitCases),
                         [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv::test
