// Polled I/O of the DeviceNet master, frame by frame: poll commands and responses with I/O
// fragmentation both ways. The slave answers from 0x3CC (Group 1 message 15 of MAC ID 12).

#include "MasterFixture.h"

#include <cstdio>

namespace orv::test {
namespace {

using devicenet::DeviceNetMaster;

std::string Frame(unsigned identifier, const std::vector<std::uint8_t>& bytes)
{
    char head[8];
    std::snprintf(head, sizeof head, "%03X:", identifier);
    return bytes.empty() ? std::string(head) : std::string(head) + " " + FormatBytes(bytes);
}

// The I/O fragments of `data` (fragmentation byte, then up to seven bytes), as the master sends
// them and as a well-behaved slave answers: first 0x00, middles 0x40 | count, last 0x80 | count.
std::vector<std::string> IoFragments(unsigned identifier, const std::vector<std::uint8_t>& data)
{
    std::vector<std::string> frames;
    std::size_t offset = 0;
    for (unsigned count = 0; offset < data.size(); ++count) {
        const std::size_t take = std::min<std::size_t>(7, data.size() - offset);
        const bool last = offset + take == data.size();
        const std::uint8_t type = count == 0 ? 0x00 : last ? 0x80 : 0x40;
        std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(type | count)};
        for (std::size_t i = 0; i < take; ++i) {
            frame.push_back(data[offset + i]);
        }
        frames.push_back(Frame(identifier, frame));
        offset += take;
    }
    return frames;
}

struct PollOutcome {
    int result;
    std::uint16_t rxIdentifier;
    std::uint16_t rxLength;
};

class PollTest : public EitherMaster {
protected:
    PollOutcome Poll(int txLength, std::uint16_t expected, GuardedBuffer& buffer)
    {
        PollOutcome out{0, 0xBEEF, expected};
        out.result = master.DNPoll(kPollIdentifier, txLength, &out.rxIdentifier, &out.rxLength, buffer.data());
        return out;
    }
};

// ---- the command ----------------------------------------------------------------------------

struct CommandCase {
    int txLength;
    std::vector<std::string> frames;
};

class PollCommand : public testing::TestWithParam<std::tuple<Carrier, CommandCase>>, protected MasterFixture {
protected:
    PollCommand() : MasterFixture(std::get<0>(GetParam())) {}
};

TEST_P(PollCommand, IsSentInTheseFramesWithoutWaitingBetweenThem)
{
    const CommandCase& c = std::get<1>(GetParam());
    for (std::size_t i = 0; i + 1 < c.frames.size(); ++i) {
        peer.Expect(c.frames[i]).NoReply();
    }
    peer.Expect(c.frames.back()).Reply("3CC: 5A");
    GuardedBuffer buffer(400, Counting(static_cast<std::size_t>(c.txLength)));
    std::uint16_t rxIdentifier = 0;
    std::uint16_t rxLength = 1;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, c.txLength, &rxIdentifier, &rxLength, buffer.data()), 0);
    EXPECT_EQ(rxIdentifier, 0x3CC);
    EXPECT_EQ(rxLength, 1);
    EXPECT_EQ(buffer[0], 0x5A);
    EXPECT_EQ(peer.Elapsed(), 1u); // the drain only
    EXPECT_EQ(master.TransactionBit(), 0);
}

const CommandCase kCommands[] = {
    {0, {"465:"}},
    {1, {"465: A0"}},
    {8, {"465: A0 A1 A2 A3 A4 A5 A6 A7"}},
    {9, {"465: 00 A0 A1 A2 A3 A4 A5 A6", "465: 81 A7 A8"}},
    {14, {"465: 00 A0 A1 A2 A3 A4 A5 A6", "465: 81 A7 A8 A9 AA AB AC AD"}},
    {15, {"465: 00 A0 A1 A2 A3 A4 A5 A6", "465: 41 A7 A8 A9 AA AB AC AD", "465: 82 AE"}},
    {22,
     {"465: 00 A0 A1 A2 A3 A4 A5 A6", "465: 41 A7 A8 A9 AA AB AC AD", "465: 42 AE AF B0 B1 B2 B3 B4",
      "465: 83 B5"}},
};

INSTANTIATE_TEST_SUITE_P(Lengths, PollCommand,
                         testing::Combine(testing::Values(Carrier::Sst, Carrier::Systec), testing::ValuesIn(kCommands)),
                         [](const testing::TestParamInfo<std::tuple<Carrier, CommandCase>>& info) {
                             return std::string(std::get<0>(info.param) == Carrier::Sst ? "Sst" : "Systec") +
                                    "Tx" + std::to_string(std::get<1>(info.param).txLength);
                         });

// txLength 0: with a command size above 8 the fragment sequence goes out with the fragmentation
// bytes only.
struct EmptyCommandCase {
    std::uint16_t pollCommandSize;
    std::vector<std::string> frames;
};

class EmptyPollCommand : public testing::TestWithParam<std::tuple<Carrier, EmptyCommandCase>>,
                         protected MasterFixture {
protected:
    EmptyPollCommand() : MasterFixture(std::get<0>(GetParam())) {}
};

TEST_P(EmptyPollCommand, SendsFragmentationBytesOnly)
{
    const EmptyCommandCase& c = std::get<1>(GetParam());
    EXPECT_TRUE(master.SetPollCommandSize(c.pollCommandSize));
    EXPECT_EQ(master.PollCommandSize(), c.pollCommandSize);
    for (std::size_t i = 0; i + 1 < c.frames.size(); ++i) {
        peer.Expect(c.frames[i]).NoReply();
    }
    peer.Expect(c.frames.back()).Reply("3CC: 5A");
    GuardedBuffer buffer;
    std::uint16_t rxIdentifier = 0;
    std::uint16_t rxLength = 1;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, 0, &rxIdentifier, &rxLength, buffer.data()), 0);
    EXPECT_EQ(buffer[0], 0x5A);
}

std::vector<std::string> LengthOneFragments(std::size_t count)
{
    std::vector<std::string> frames;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t type = k == 0 ? 0x00 : k + 1 == count ? 0x80 : 0x40;
        frames.push_back(Frame(0x465, {static_cast<std::uint8_t>(type | k)}));
    }
    return frames;
}

const EmptyCommandCase kEmptyCommands[] = {
    {0, {"465:"}},
    {8, {"465:"}},
    {9, {"465: 00", "465: 81"}},
    {14, {"465: 00", "465: 81"}},
    {15, {"465: 00", "465: 41", "465: 82"}},
    {448, LengthOneFragments(64)},
};

INSTANTIATE_TEST_SUITE_P(Sizes, EmptyPollCommand,
                         testing::Combine(testing::Values(Carrier::Sst, Carrier::Systec),
                                          testing::ValuesIn(kEmptyCommands)),
                         [](const testing::TestParamInfo<std::tuple<Carrier, EmptyCommandCase>>& info) {
                             return std::string(std::get<0>(info.param) == Carrier::Sst ? "Sst" : "Systec") +
                                    "Size" + std::to_string(std::get<1>(info.param).pollCommandSize);
                         });

TEST_P(PollTest, LongestCommandIs64Fragments)
{
    const std::vector<std::uint8_t> data = Counting(448, 0);
    const std::vector<std::string> frames = IoFragments(0x465, data);
    ASSERT_EQ(frames.size(), 64u);
    EXPECT_EQ(frames.back(), "465: BF B9 BA BB BC BD BE BF");
    for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
        peer.Expect(frames[i]).NoReply();
    }
    peer.Expect(frames.back()).Reply("3CC: 01");
    GuardedBuffer buffer(600, data);
    EXPECT_EQ(Poll(448, 1, buffer).result, 0);
}

TEST_P(PollTest, TooLongCommandIsRefusedWithNothingSent)
{
    GuardedBuffer buffer(600, Counting(449, 0));
    EXPECT_EQ(Poll(449, 1, buffer).result, -1);
    EXPECT_TRUE(master.SetPollCommandSize(449));
    EXPECT_EQ(Poll(0, 1, buffer).result, -1);
    EXPECT_TRUE(peer.SentFrames().empty());
}

TEST_P(PollTest, TooLongResponseIsRefusedWithNothingSent)
{
    GuardedBuffer buffer(600, Counting(4));
    EXPECT_EQ(Poll(4, 449, buffer).result, -1);
    EXPECT_TRUE(peer.SentFrames().empty());
    EXPECT_EQ(buffer.WrittenFrom(4), "");
}

TEST_P(PollTest, ClosedCardSendsNothingAndDoesNotDrain)
{
    peer.Stale("3CC: 01");
    port().Close();
    GuardedBuffer buffer(400, Counting(4));
    EXPECT_EQ(Poll(4, 1, buffer).result, -1);
    EXPECT_EQ(peer.ReceiveCalls(), 0u);
    port().Open(kMasterMac);
    port().DrainReceive();
}

TEST_P(PollTest, RefusedCommandFrameFailsAtOnce)
{
    peer.Expect("465: A0 A1").Refuse();
    // The fragments already sent stay sent.
    peer.Expect("465: 00 A0 A1 A2 A3 A4 A5 A6").NoReply();
    peer.Expect("465: 41 A7 A8 A9 AA AB AC AD").Refuse();
    GuardedBuffer buffer(400, Counting(15));
    const PollOutcome first = Poll(2, 1, buffer);
    EXPECT_EQ(first.result, DeviceNetMaster::kPollCommandRefused);
    EXPECT_EQ(first.rxLength, 1) << "left alone";
    EXPECT_EQ(Poll(15, 1, buffer).result, DeviceNetMaster::kPollCommandRefused);
    EXPECT_EQ(peer.Elapsed(), 2u);
    EXPECT_EQ(peer.SentFrames(), std::vector<std::string>{"465: 00 A0 A1 A2 A3 A4 A5 A6"});
}

// ---- the response ---------------------------------------------------------------------------

TEST_P(PollTest, OneFrameResponseOfTheNodeIsCopiedWhateverItsLength)
{
    peer.Stale("3CC: FF FF");
    peer.Expect("465: A0").Reply("3CC: 01 02 03");
    peer.Expect("465: A0").Reply("7FF: 99").Reply("3CD: 98").Reply("3CC: 11 22 33 44 55 66");
    peer.Expect("465: A0").Reply("3CC:");
    GuardedBuffer buffer(400, Counting(1));
    PollOutcome out = Poll(1, 8, buffer);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.rxIdentifier, 0x3CC);
    EXPECT_EQ(out.rxLength, 3); // short
    EXPECT_EQ(buffer.Hex(0, 3), "01 02 03");
    EXPECT_EQ(buffer.WrittenFrom(8), "");

    GuardedBuffer second(400, Counting(1));
    out = Poll(1, 2, second);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.rxIdentifier, 0x3CC);
    EXPECT_EQ(out.rxLength, 6); // long
    EXPECT_EQ(second.Hex(0, 6), "11 22 33 44 55 66");
    EXPECT_EQ(second.WrittenFrom(8), "");

    GuardedBuffer third(400, Counting(1));
    out = Poll(1, 0, third);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.rxLength, 0);
}

TEST_P(PollTest, TenBytesComeAsFirstAndLastOfLengthFour)
{
    peer.Expect("465: A0").Reply("3CC: 00 B0 B1 B2 B3 B4 B5 B6").Reply("3CC: 81 B7 B8 B9");
    GuardedBuffer buffer(400, Counting(1));
    const PollOutcome out = Poll(1, 10, buffer);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.rxIdentifier, 0x3CC); // the last fragment's
    EXPECT_EQ(out.rxLength, 10);
    EXPECT_EQ(buffer.Hex(0, 10), "B0 B1 B2 B3 B4 B5 B6 B7 B8 B9");
    EXPECT_EQ(buffer.WrittenFrom(10), "");
}

TEST_P(PollTest, FourteenAndFifteenBytes)
{
    peer.Expect("465: A0").Reply("3CC: 00 01 02 03 04 05 06 07").Reply("3CC: 81 08 09 0A 0B 0C 0D 0E");
    peer.Expect("465: A0")
        .Reply("3CC: 00 01 02 03 04 05 06 07")
        .Reply("3CC: 41 08 09 0A 0B 0C 0D 0E")
        .Reply("3CC: 82 0F");
    GuardedBuffer buffer(400, Counting(1));
    EXPECT_EQ(Poll(1, 14, buffer).rxLength, 14);
    EXPECT_EQ(buffer.Hex(0, 14), "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E");
    GuardedBuffer second(400, Counting(1));
    const PollOutcome out = Poll(1, 15, second);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.rxLength, 15);
    EXPECT_EQ(second.Hex(0, 15), "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    EXPECT_EQ(second.WrittenFrom(15), "");
}

TEST_P(PollTest, LongestResponseIs64Fragments)
{
    const std::vector<std::uint8_t> data = Counting(448, 0x10);
    ScriptedPeer::Step& step = peer.Expect("465: A0");
    for (const std::string& frame : IoFragments(0x3CC, data)) {
        step.Reply(frame);
    }
    GuardedBuffer buffer(600, Counting(1));
    const PollOutcome out = Poll(1, 448, buffer);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.rxLength, 448);
    EXPECT_EQ(buffer.Hex(0, 448), FormatBytes(data));
    EXPECT_EQ(buffer.WrittenFrom(448), "");
}

// A wrong fragment ends the exchange as a malformed response; the buffer keeps the bytes accepted
// so far and rxLength is left as the caller set it.
struct BadResponse {
    const char* name;
    std::uint16_t expected;
    std::vector<std::string> frames;
    std::uint16_t accepted;
};

class PollBadResponse : public testing::TestWithParam<std::tuple<Carrier, BadResponse>>, protected MasterFixture {
protected:
    PollBadResponse() : MasterFixture(std::get<0>(GetParam())) {}
};

TEST_P(PollBadResponse, FailsKeepingTheAcceptedBytes)
{
    const BadResponse& c = std::get<1>(GetParam());
    ScriptedPeer::Step& step = peer.Expect("465: A0");
    for (const std::string& frame : c.frames) {
        step.Reply(frame);
    }
    GuardedBuffer buffer(400, Counting(1));
    std::uint16_t rxIdentifier = 0;
    std::uint16_t rxLength = c.expected;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, 1, &rxIdentifier, &rxLength, buffer.data()),
              DeviceNetMaster::kPollMalformedResponse);
    EXPECT_EQ(rxLength, c.expected);
    EXPECT_EQ(buffer.Hex(0, c.accepted), FormatBytes(Counting(c.accepted, 0x01)));
    EXPECT_EQ(buffer.WrittenFrom(c.accepted == 0 ? 1 : c.accepted), "");
}

const BadResponse kBadResponses[] = {
    {"LastTooShort", 10, {"3CC: 00 01 02 03 04 05 06 07", "3CC: 81 08 09"}, 7},
    {"LastTooLong", 10, {"3CC: 00 01 02 03 04 05 06 07", "3CC: 81 08 09 0A 0B"}, 7},
    {"LastFull", 10, {"3CC: 00 01 02 03 04 05 06 07", "3CC: 81 08 09 0A 0B 0C 0D 0E"}, 7},
    {"FirstWrongType", 20, {"3CC: 40 01 02 03 04 05 06 07"}, 0},
    {"FirstWrongCount", 20, {"3CC: 01 01 02 03 04 05 06 07"}, 0},
    {"FirstTooShort", 20, {"3CC: 00 01 02 03 04 05 06"}, 0},
    {"FirstEmpty", 20, {"3CC:"}, 0},
    {"MiddleWrongCount", 22, {"3CC: 00 01 02 03 04 05 06 07", "3CC: 42 08 09 0A 0B 0C 0D 0E"}, 7},
    {"MiddleAsLast", 22, {"3CC: 00 01 02 03 04 05 06 07", "3CC: 81 08 09 0A 0B 0C 0D 0E"}, 7},
    {"MiddleTooShort", 22, {"3CC: 00 01 02 03 04 05 06 07", "3CC: 41 08 09 0A 0B 0C 0D"}, 7},
    {"LastWrongCount",
     15,
     {"3CC: 00 01 02 03 04 05 06 07", "3CC: 41 08 09 0A 0B 0C 0D 0E", "3CC: 83 0F"},
     14},
    {"LastAsMiddle", 15, {"3CC: 00 01 02 03 04 05 06 07", "3CC: 41 08 09 0A 0B 0C 0D 0E", "3CC: 42 0F"}, 14},
};

INSTANTIATE_TEST_SUITE_P(Frames, PollBadResponse,
                         testing::Combine(testing::Values(Carrier::Sst, Carrier::Systec),
                                          testing::ValuesIn(kBadResponses)),
                         [](const testing::TestParamInfo<std::tuple<Carrier, BadResponse>>& info) {
                             return std::string(std::get<0>(info.param) == Carrier::Sst ? "Sst" : "Systec") +
                                    std::get<1>(info.param).name;
                         });

TEST_P(PollTest, ResponseTimeouts)
{
    peer.Expect("465: A0").NoReply();
    peer.Expect("465: A0").Reply("3CC: 00 01 02 03 04 05 06 07");
    GuardedBuffer buffer(400, Counting(1));
    PollOutcome out = Poll(1, 4, buffer);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(peer.Elapsed(), 1001u);
    EXPECT_EQ(buffer.WrittenFrom(1), "");

    out = Poll(1, 20, buffer);
    EXPECT_EQ(out.result, DeviceNetMaster::kPollNoResponse);
    EXPECT_EQ(peer.Elapsed(), 2002u);
    EXPECT_EQ(out.rxLength, 20) << "a failed exchange leaves rxLength alone";
    EXPECT_EQ(buffer.Hex(0, 7), "01 02 03 04 05 06 07");
}

TEST_P(PollTest, OnlyTheNodesPollResponseAnswers)
{
    // A busy network and another node's poll responses, around and between the fragments.
    peer.Expect("465: A0")
        .Reply("100: 01")
        .Reply("3C0: 00 EE EE EE EE EE EE EE")
        .Reply("3CC: 00 B0 B1 B2 B3 B4 B5 B6")
        .Reply("3CD: 81 EE EE EE")
        .Reply("100: 02")
        .Reply("3CC: 81 B7 B8 B9");
    peer.Expect("465: A0").Reply("100: 01").Reply("3CB: 01");
    GuardedBuffer buffer(400, Counting(1));
    const PollOutcome out = Poll(1, 10, buffer);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.rxIdentifier, 0x3CC);
    EXPECT_EQ(buffer.Hex(0, 10), "B0 B1 B2 B3 B4 B5 B6 B7 B8 B9");
    GuardedBuffer second(400, Counting(1));
    const PollOutcome none = Poll(1, 1, second);
    EXPECT_EQ(none.result, DeviceNetMaster::kPollNoResponse);
    EXPECT_EQ(peer.Elapsed(), 2u + 1000u) << "foreign frames neither end nor lengthen the wait";
}

TEST_P(PollTest, OnAnIdentifierThatIsNoPollCommandAnyFrameAnswers)
{
    peer.Expect("123: A0").Reply("7FF: 42");
    GuardedBuffer buffer(400, Counting(1));
    PollOutcome out{0, 0, 1};
    out.result = master.DNPoll(0x123, 1, &out.rxIdentifier, &out.rxLength, buffer.data());
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.rxIdentifier, 0x7FF);
    EXPECT_EQ(buffer[0], 0x42);
}

TEST_P(PollTest, NetworkWhoIsRefused)
{
    EXPECT_EQ(master.NetworkWho(), -1);
    EXPECT_EQ(master.PollCommandSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(Carriers, PollTest, testing::Values(Carrier::Sst, Carrier::Systec), CarrierName);

// ---- received lengths: the two carriers differ -----------------------------------------------

TEST_F(SstMaster, PollResponseWithHostileLengthCopiesEightBytes)
{
    peer.Expect("465: A0").Reply("3CC/15: 01 02 03 04 05 06 07 08");
    // A last fragment whose length field reads 20 counts as 8 here: not the 4 expected.
    peer.Expect("465: A0").Reply("3CC/15: 00 01 02 03 04 05 06 07").Reply("3CC/20: 81 08 09 0A 0B 0C 0D 0E");
    GuardedBuffer buffer(400, Counting(1));
    std::uint16_t rxIdentifier = 0;
    std::uint16_t rxLength = 8;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, 1, &rxIdentifier, &rxLength, buffer.data()), 0);
    EXPECT_EQ(rxLength, 8);
    EXPECT_EQ(buffer.Hex(0, 8), "01 02 03 04 05 06 07 08");
    EXPECT_EQ(buffer.WrittenFrom(8), "");

    GuardedBuffer second(400, Counting(1));
    rxLength = 10;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, 1, &rxIdentifier, &rxLength, second.data()),
              DeviceNetMaster::kPollMalformedResponse);
    EXPECT_EQ(rxLength, 10);
    EXPECT_EQ(second.WrittenFrom(7), "");
}

TEST_F(SystecMaster, PollResponseLengthsAreTakenModulo16)
{
    peer.Expect("465: A0").Reply("3CC/19: 01 02 03 04 05 06 07 08");
    peer.Expect("465: A0").Reply("3CC/15: 00 01 02 03 04 05 06 07").Reply("3CC/20: 81 08 09 0A 0B 0C 0D 0E");
    GuardedBuffer buffer(400, Counting(1));
    std::uint16_t rxIdentifier = 0;
    std::uint16_t rxLength = 8;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, 1, &rxIdentifier, &rxLength, buffer.data()), 0);
    EXPECT_EQ(rxLength, 3);
    EXPECT_EQ(buffer.Hex(0, 3), "01 02 03");
    EXPECT_EQ(buffer.WrittenFrom(8), "");

    GuardedBuffer second(400, Counting(1));
    rxLength = 10;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, 1, &rxIdentifier, &rxLength, second.data()), 0);
    EXPECT_EQ(rxLength, 10);
    EXPECT_EQ(second.Hex(0, 10), "01 02 03 04 05 06 07 08 09 0A");
    EXPECT_EQ(second.WrittenFrom(10), "");
}

TEST_F(SystecMaster, PollLeavesTheTransactionBitAlone)
{
    peer.Expect("465: A0").Reply("3CC: 01");
    peer.Expect("464: 41 0E 01 01 07").Reply("463: 41 8E 00");
    GuardedBuffer buffer(400, Counting(1));
    std::uint16_t rxIdentifier = 0;
    std::uint16_t rxLength = 1;
    EXPECT_EQ(master.DNPoll(kPollIdentifier, 1, &rxIdentifier, &rxLength, buffer.data()), 0);
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, buffer.data()), 0);
}

} // namespace
} // namespace orv::test
