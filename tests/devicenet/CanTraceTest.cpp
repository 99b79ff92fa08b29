// The CAN traffic trace: line format, what is logged, the 1000-character rule, GetCANMessage.

#include "MasterFixture.h"

#include <cstring>

namespace orv::test {
namespace {

using devicenet::CanTrace;

// Fetches the trace into a guarded buffer larger than the largest trace.
struct Fetched {
    int result;
    std::string text;
    std::string beyond; // what GetCANMessage wrote past text and its NUL, if anything
};

Fetched Fetch(CanTrace& trace)
{
    std::vector<char> buffer(CanTrace::kCapacity + 64, '#');
    Fetched f;
    f.result = trace.GetCANMessage(buffer.data());
    const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', buffer.size()));
    if (end == nullptr) {
        f.beyond = "no terminating NUL";
        return f;
    }
    f.text.assign(static_cast<const char*>(buffer.data()), end);
    for (const char* p = end + 1; p < buffer.data() + buffer.size(); ++p) {
        if (*p != '#') {
            f.beyond = "byte " + std::to_string(p - buffer.data()) + " written";
            break;
        }
    }
    return f;
}

using TraceLines = EitherMaster;

TEST_P(TraceLines, LineFormat)
{
    peer.Expect("454: 00 0E 01 01 07");
    peer.Expect("454:");
    peer.Expect("005: 0A");
    peer.Expect("7AB: AB CD EF 01 23 45 67 89");
    const std::vector<std::uint8_t> five{0x00, 0x0E, 0x01, 0x01, 0x07};
    const std::vector<std::uint8_t> eight{0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89};
    const std::uint8_t one[8] = {0x0A};
    port().CANXmit(0x454, 5, five.data());
    port().CANXmit(0x454, 0, five.data());
    port().CANXmit(0x005, 1, one);
    port().CANXmit(0x7AB, 8, eight.data());
    EXPECT_EQ(port().Trace().Text(), "[454] 00 0E 01 01 07 \r\n"
                                     "[454] \r\n"
                                     "[005] 0A \r\n"
                                     "[7AB] AB CD EF 01 23 45 67 89 \r\n");
}

TEST_P(TraceLines, GetExchangeLeavesRequestAndAnswer)
{
    peer.Stale("463: 01 8E 99");
    peer.Expect(GetParam() == Carrier::Sst ? "464: 01 0E 01 01 07" : "464: 41 0E 01 01 07")
        .Reply(GetParam() == Carrier::Sst ? "463: 01 8E 2C 01" : "463: 41 8E 2C 01");
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(port().Trace().Text(), GetParam() == Carrier::Sst ? "[464] 01 0E 01 01 07 \r\n[463] 01 8E 2C 01 \r\n"
                                                                : "[464] 41 0E 01 01 07 \r\n[463] 41 8E 2C 01 \r\n");
}

TEST_P(TraceLines, FragmentedExchangeLogsEveryFragmentAndAcknowledgementInOrder)
{
    peer.Expect("464: 01 32 40 01").Reply("463: 81 00 B2 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Reply("463: 81 81 06");
    peer.Expect("464: 81 C1 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, reply.data()), 0);
    EXPECT_EQ(port().Trace().Text(), "[464] 01 32 40 01 \r\n"
                                     "[463] 81 00 B2 01 02 03 04 05 \r\n"
                                     "[464] 81 C0 00 \r\n"
                                     "[463] 81 81 06 \r\n"
                                     "[464] 81 C1 00 \r\n");
}

TEST_P(TraceLines, PollFramesAreLogged)
{
    peer.Expect("465: 00 A0 A1 A2 A3 A4 A5 A6").NoReply();
    peer.Expect("465: 81 A7 A8").Reply("3CC: 5A");
    GuardedBuffer buffer(400, Counting(9));
    std::uint16_t rxIdentifier = 0;
    std::uint16_t rxLength = 1;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, 9, &rxIdentifier, &rxLength, buffer.data()), 0);
    EXPECT_EQ(port().Trace().Text(), "[465] 00 A0 A1 A2 A3 A4 A5 A6 \r\n[465] 81 A7 A8 \r\n[3CC] 5A \r\n");
}

TEST_P(TraceLines, DrainedRefusedAndMissingFramesLeaveNoLine)
{
    peer.Stale("463: 01 02");
    peer.Stale("463: 03 04");
    peer.Expect(GetParam() == Carrier::Sst ? "466: 01 4B 03 01 01 01" : "466: 41 4B 03 01 01 01").Refuse();
    peer.Expect("466: 01 4C 03 01 01").NoReply();
    EXPECT_EQ(master.DNAllocate(kSlave, 1), -1);
    EXPECT_EQ(master.DNFree(kSlave, 1), -1);
    EXPECT_EQ(port().Trace().Text(), "[466] 01 4C 03 01 01 \r\n");
}

TEST_P(TraceLines, SurvivesClosingAndReopening)
{
    peer.Deliver("463: 01");
    std::uint16_t identifier = 0;
    std::uint16_t length = 0;
    std::uint8_t data[8] = {};
    EXPECT_EQ(port().CANRcv(&identifier, &length, data), 0);
    port().Close();
    port().Open(kMasterMac);
    EXPECT_EQ(Fetch(port().Trace()).text, "[463] 01 \r\n");
}

TEST_P(TraceLines, GetCanMessageEmptiesTheTrace)
{
    peer.Expect("454: 00");
    const std::uint8_t data[8] = {};
    port().CANXmit(0x454, 1, data);
    const Fetched first = Fetch(port().Trace());
    EXPECT_EQ(first.result, 0);
    EXPECT_EQ(first.text, "[454] 00 \r\n");
    EXPECT_EQ(first.beyond, "");
    const Fetched second = Fetch(port().Trace());
    EXPECT_EQ(second.result, 0);
    EXPECT_EQ(second.text, "");
    EXPECT_EQ(second.beyond, "");
    EXPECT_TRUE(port().Trace().Text().empty());
}

INSTANTIATE_TEST_SUITE_P(Carriers, TraceLines, testing::Values(Carrier::Sst, Carrier::Systec), CarrierName);

// ---- capacity -------------------------------------------------------------------------------

devicenet::CanFrame FrameOf(std::uint16_t identifier, std::uint8_t length)
{
    devicenet::CanFrame frame;
    frame.identifier = identifier;
    frame.length = length;
    for (std::uint8_t i = 0; i < 8; ++i) {
        frame.data[i] = static_cast<std::uint8_t>(0x10 + i);
    }
    return frame;
}

// Lines are 8 + 3 * n characters for n data bytes and a three-digit identifier.
void Fill(CanTrace& trace, const std::vector<std::uint8_t>& lengths)
{
    for (std::uint8_t n : lengths) {
        trace.Append(FrameOf(0x123, n));
    }
}

std::vector<std::uint8_t> Lengths(std::size_t eights, std::vector<std::uint8_t> rest)
{
    std::vector<std::uint8_t> lengths(eights, 8);
    lengths.insert(lengths.end(), rest.begin(), rest.end());
    return lengths;
}

TEST(CanTraceCapacity, At999CharactersOneMoreLineIsAppended)
{
    CanTrace trace;
    Fill(trace, Lengths(30, {5, 0, 0})); // 30 * 32 + 23 + 8 + 8
    ASSERT_EQ(trace.Text().size(), 999u);
    trace.Append(FrameOf(0x7FF, 8));
    EXPECT_EQ(trace.Text().size(), 1031u);
    EXPECT_EQ(trace.Text().substr(999), "[7FF] 10 11 12 13 14 15 16 17 \r\n");
    trace.Append(FrameOf(0x7FF, 0));
    EXPECT_EQ(trace.Text().size(), 1031u);

    const Fetched f = Fetch(trace);
    EXPECT_EQ(f.text.size(), 1031u);
    EXPECT_EQ(f.text.substr(0, 32), "[123] 10 11 12 13 14 15 16 17 \r\n");
    EXPECT_EQ(f.text.substr(960, 23), "[123] 10 11 12 13 14 \r\n");
    EXPECT_EQ(Fetch(trace).text, "");
    EXPECT_EQ(f.beyond, "");
}

TEST(CanTraceCapacity, At1000CharactersNothingMoreIsAppended)
{
    CanTrace trace;
    Fill(trace, Lengths(31, {0})); // 31 * 32 + 8
    ASSERT_EQ(trace.Text().size(), 1000u);
    trace.Append(FrameOf(0x123, 0));
    EXPECT_EQ(trace.Text().size(), 1000u);

    // The oldest lines stay; fetching makes room again.
    EXPECT_EQ(Fetch(trace).text.substr(0, 32), "[123] 10 11 12 13 14 15 16 17 \r\n");
    trace.Append(FrameOf(0x123, 0));
    EXPECT_EQ(trace.Text(), "[123] \r\n");
}

TEST(CanTraceCapacity, FrameWithALengthFieldAbove8ShowsEightBytes)
{
    CanTrace trace;
    trace.Append(FrameOf(0x463, 15));
    EXPECT_EQ(trace.Text(), "[463] 10 11 12 13 14 15 16 17 \r\n");
}

TEST(CanTraceCapacity, IdentifierHasAtLeastThreeUpperCaseDigits)
{
    CanTrace trace;
    trace.Append(FrameOf(0x00A, 1));
    trace.Append(FrameOf(0x3CC, 0));
    EXPECT_EQ(trace.Text(), "[00A] 10 \r\n[3CC] \r\n");
}

} // namespace
} // namespace orv::test
