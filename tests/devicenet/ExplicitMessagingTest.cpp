// Explicit messaging of the DeviceNet master, frame by frame: Get_Attribute_Single,
// Set_Attribute_Single and free services, with fragmentation both ways and acknowledgements.

#include "ExplicitScript.h"

namespace orv::test {
namespace {

using devicenet::DeviceNetMaster;

constexpr const char* kGetRequest = "464: 01 0E 01 01 07";

// ---- Get_Attribute_Single: one-frame answers -------------------------------------------------

using GetAttribute = SstMaster;

TEST_F(GetAttribute, OneFrameAnswerIsStoredAsReceived)
{
    peer.Stale("463: 01 8E 99");
    peer.Stale("463: 01 8E 98");
    peer.Expect(kGetRequest).Reply("463: 01 8E 2C 01");
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 4);
    EXPECT_EQ(reply.Hex(6, 4), "01 8E 2C 01");
    EXPECT_EQ(reply.Hex(0, 4), "AA AA AA AA");
}

TEST_F(GetAttribute, ErrorResponseIsASuccessfulExchange)
{
    peer.Expect(kGetRequest).Reply("463: 01 94 14 00");
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 4);
    EXPECT_EQ(reply.Hex(6, 4), "01 94 14 00");
}

TEST_F(GetAttribute, ArgumentsAreSentAsTheirLowBits)
{
    peer.Expect("464: 01 0E 01 02 07").Reply("463: 01 8E 00");
    peer.Expect("404: 01 0E 40 01 01").Reply("403: 01 8E 00");
    peer.Expect("5FC: 01 0E 05 02 09").Reply("5FB: 01 8E 00");
    peer.Expect("5FC: 01 0E 01 01 01").Reply("5FB: 01 8E 00");
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(76, 0x101, 0x202, 0x307, reply.data()), 0);
    EXPECT_EQ(master.DNGetAttribute(64, 0x40, 1, 1, reply.data()), 0);
    EXPECT_EQ(master.DNGetAttribute(63, 5, 2, 9, reply.data()), 0);
    EXPECT_EQ(master.DNGetAttribute(-1, 1, 1, 1, reply.data()), 0);
}

// ---- only the asked node answers ------------------------------------------------------------

// Frames of others (a busy network, another node's answers, the node's own poll or request
// identifiers) arrive before the node's answer: they are traced, but neither end the wait nor
// become data, and nothing is acknowledged for them.
struct OtherTraffic {
    const char* name;
    std::vector<std::string> frames;
};

class ForeignFrames : public testing::TestWithParam<OtherTraffic>, protected MasterFixture {
protected:
    ForeignFrames() : MasterFixture(Carrier::Sst) {}
};

TEST_P(ForeignFrames, AreSkippedUntilTheNodesOwnAnswer)
{
    ScriptedPeer::Step& step = peer.Expect(kGetRequest);
    for (const std::string& frame : GetParam().frames) {
        step.Reply(frame);
    }
    step.Reply("463: 01 8E 2C 01");
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 4);
    EXPECT_EQ(reply.Hex(6, 4), "01 8E 2C 01");
    EXPECT_EQ(peer.SentFrames().size(), 1u) << "no acknowledgement of a stranger's fragment";
    const std::string trace(port().Trace().Text());
    for (const std::string& frame : GetParam().frames) {
        EXPECT_NE(trace.find("[" + frame.substr(0, 3) + "]"), std::string::npos) << "traced: " << frame;
    }
}

TEST_P(ForeignFrames, AloneTheyLeaveTheWaitToTimeOut)
{
    ScriptedPeer::Step& step = peer.Expect(kGetRequest);
    for (const std::string& frame : GetParam().frames) {
        step.Reply(frame);
    }
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 1u + 1000u) << "foreign frames neither end nor lengthen the wait";
    EXPECT_EQ(reply.WrittenFrom(0), "");
}

INSTANTIATE_TEST_SUITE_P(Traffic, ForeignFrames,
                         testing::Values(OtherTraffic{"BusyNetwork", {"100: 01 02 03", "100: 04 05 06", "100: 07"}},
                                         OtherTraffic{"AnotherNodesAnswer", {"453: 05 8E 01 02 03", "4A3: 81 80 8E 01"}},
                                         OtherTraffic{"OtherMessageIds", {"3FF: 81 00 AA BB", "465: 81 80 8E 01",
                                                                          "3CC: 01", "464: 01 0E 01 01 07"}},
                                         OtherTraffic{"BabblingNode", std::vector<std::string>(200, "5FB: 80 40 00 00")}),
                         [](const testing::TestParamInfo<OtherTraffic>& info) { return std::string(info.param.name); });

TEST_F(GetAttribute, ForeignFramesBetweenFragmentsAreSkipped)
{
    peer.Expect(kGetRequest).Reply("100: 01").Reply("463: 81 00 8E 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Reply("4A3: 81 41 AA BB").Reply("100: 02").Reply("463: 81 81 06");
    peer.Expect("464: 81 C1 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 8);
    EXPECT_EQ(reply.Hex(6, 8), "01 8E 01 02 03 04 05 06");
}

// ---- Get_Attribute_Single: reassembly -------------------------------------------------------

TEST_F(GetAttribute, FirstAndLastFragment)
{
    peer.Expect(kGetRequest).Reply("463: 81 00 8E 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Reply("463: C1 81 06 07");
    peer.Expect("464: 81 C1 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 9);
    // Byte 6 is the header of the last fragment with its fragment bit cleared.
    EXPECT_EQ(reply.Hex(6, 9), "41 8E 01 02 03 04 05 06 07");
    EXPECT_EQ(reply.WrittenFrom(15), "");
    EXPECT_EQ(reply.Hex(0, 4), "AA AA AA AA");
}

TEST_F(GetAttribute, FirstMiddleAndLastFragment)
{
    peer.Expect(kGetRequest).Reply("463: 81 00 8E 10 11 12 13 14");
    peer.Expect("464: 81 C0 00").Reply("463: 81 41 15 16 17 18 19 1A");
    peer.Expect("464: 81 C1 00").Reply("463: 81 82 1B 1C 1D");
    peer.Expect("464: 81 C2 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 16);
    EXPECT_EQ(reply.Hex(6, 16), "01 8E 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D");
    EXPECT_EQ(reply.WrittenFrom(22), "");
}

TEST_F(GetAttribute, LaterFragmentsAreNotTestedForTheirFragmentBitOrType)
{
    peer.Expect(kGetRequest).Reply("463: 81 00 8E 01 02 03 04 05");
    // No fragment bit: still a middle fragment, acknowledged by its count.
    peer.Expect("464: 81 C0 00").Reply("463: 00 41 AA BB");
    // A first-type fragment after the first one counts as a middle fragment.
    peer.Expect("464: 81 C1 00").Reply("463: 81 02 CC");
    peer.Expect("464: 81 C2 00").Reply("463: 81 83 DD");
    peer.Expect("464: 81 C3 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 11);
    EXPECT_EQ(reply.Hex(6, 11), "01 8E 01 02 03 04 05 AA BB CC DD");
}

// ---- Get_Attribute_Single: a series that ends -------------------------------------------------

// Each row: the node's fragments after the request; the master acknowledges each accepted one
// and fails at the first that cannot continue the series, sending nothing for it.
struct BrokenSeries {
    const char* name;
    std::vector<std::string> fragments;
    std::size_t acknowledged;
};

class SeriesEnd : public testing::TestWithParam<BrokenSeries>, protected MasterFixture {
protected:
    SeriesEnd() : MasterFixture(Carrier::Sst) {}
};

TEST_P(SeriesEnd, FailsAtTheFragmentThatBreaksIt)
{
    const BrokenSeries& c = GetParam();
    ScriptedPeer::Step* step = &peer.Expect(kGetRequest);
    for (std::size_t k = 0; k < c.fragments.size(); ++k) {
        step->Reply(c.fragments[k]);
        if (k < c.acknowledged) {
            const auto count = static_cast<std::uint8_t>(ParseFrame(c.fragments[k]).data[1] & 0x3F);
            step = &peer.Expect(FrameText(0x464, {0x81, static_cast<std::uint8_t>(0xC0 | count), 0x00}));
        }
    }
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.SentFrames().size(), 1 + c.acknowledged);
    EXPECT_EQ(reply.WrittenFrom(0), "");
}

INSTANTIATE_TEST_SUITE_P(
    Fragments, SeriesEnd,
    testing::Values(BrokenSeries{"CountSkips", {"463: 81 00 8E 01 02 03 04 05", "463: 81 82 06"}, 1},
                    BrokenSeries{"CountRepeats", {"463: 81 00 8E 01 02 03 04 05", "463: 81 40 06 07"}, 1},
                    BrokenSeries{"CountGoesBack",
                                 {"463: 81 00 8E 01 02 03 04 05", "463: 81 41 06", "463: 81 80 07"}, 2},
                    BrokenSeries{"NoFragmentationByte", {"463: 81 00 8E 01 02 03 04 05", "463: 81"}, 1},
                    BrokenSeries{"EmptyFrame", {"463: 81 00 8E 01 02 03 04 05", "463:"}, 1},
                    BrokenSeries{"FirstFrameTooShort", {"463: 81"}, 0}),
    [](const testing::TestParamInfo<BrokenSeries>& info) { return std::string(info.param.name); });

TEST_F(GetAttribute, ASeriesStopsAtSixtyFourFragments)
{
    // The node keeps sending fragments in order: the master acknowledges 64 and refuses the 65th.
    ScriptedPeer::Step* step = &peer.Expect(kGetRequest);
    for (unsigned k = 0; k < 65; ++k) {
        const auto type = static_cast<std::uint8_t>(k == 0 ? 0x00 : 0x40);
        step->Reply(FrameText(0x463, {0x81, static_cast<std::uint8_t>(type | (k & 0x3F)), 0x8E}));
        if (k < 64) {
            step = &peer.Expect(FrameText(0x464, {0x81, static_cast<std::uint8_t>(0xC0 | (k & 0x3F)), 0x00}));
        }
    }
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.SentFrames().size(), 65u);
    EXPECT_EQ(reply.WrittenFrom(0), "");
}

TEST_F(GetAttribute, HostileAnswerOf300BytesStopsAtTheCallersBuffer)
{
    static_assert(DeviceNetMaster::kGetBodyLimit == 145);
    const std::vector<std::size_t> sizes(50, 6);
    const std::vector<std::uint8_t> body = ScriptFragmentedAnswer(peer, kGetRequest, 0x8E, sizes);
    ASSERT_EQ(body.size(), 300u);
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    // Whole fragments are kept while fewer than 140 bytes are held: 24 fragments.
    EXPECT_EQ(reply.ReplyLength(), 145);
    EXPECT_EQ(reply[6], 0x01);
    EXPECT_EQ(reply.Hex(7, 144), FormatBytes(body.data(), 144));
    EXPECT_EQ(reply.WrittenFrom(152), "");
}

TEST_F(GetAttribute, ReassemblyMayFillTheBufferToItsLastByte)
{
    // 23 x 6 + 1 = 139 bytes held, so one more fragment of 6 is kept (145) and the next dropped.
    std::vector<std::size_t> sizes(23, 6);
    sizes.insert(sizes.end(), {1, 6, 6});
    const std::vector<std::uint8_t> body = ScriptFragmentedAnswer(peer, kGetRequest, 0x8E, sizes);
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 146);
    EXPECT_EQ(reply.Hex(7, 145), FormatBytes(body.data(), 145));
    EXPECT_EQ(reply.WrittenFrom(152), "");
}

TEST_F(GetAttribute, HostileLengthInAFragmentCarriesAtMostSixBodyBytes)
{
    peer.Expect(kGetRequest).Reply("463/15: 81 00 8E 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Reply("463/15: 81 41 06 07 08 09 0A 0B");
    peer.Expect("464: 81 C1 00").Reply("463: 81 82 0C");
    peer.Expect("464: 81 C2 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), 14);
    EXPECT_EQ(reply.Hex(6, 14), "01 8E 01 02 03 04 05 06 07 08 09 0A 0B 0C");
    EXPECT_EQ(reply.WrittenFrom(20), "");
}

// ---- Get_Attribute_Single: failures ---------------------------------------------------------

TEST_F(GetAttribute, NoAnswerTimesOutAfterTheReceiveTimeout)
{
    peer.Expect(kGetRequest).NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 1u + 1000u); // the drain's empty look, then the wait
    EXPECT_EQ(reply.WrittenFrom(0), "");
}

TEST_F(GetAttribute, MissingAnswerFragmentTimesOut)
{
    port().SetTimeout(300);
    peer.Expect(kGetRequest).Reply("463: 81 00 8E 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Reply("463: 81 41 06 07 08 09 0A 0B");
    peer.Expect("464: 81 C1 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 1u + 300u);
}

TEST_F(GetAttribute, RefusedRequestFailsWithoutWaiting)
{
    peer.Expect(kGetRequest).Refuse();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.ReceiveCalls(), 1u); // the drain only
}

TEST_F(GetAttribute, RefusedAcknowledgementFailsWithoutWaiting)
{
    peer.Expect(kGetRequest).Reply("463: 81 00 8E 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Refuse();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.ReceiveCalls(), 2u);
    EXPECT_EQ(peer.Elapsed(), 1u);
}

TEST_F(GetAttribute, TimeoutZeroFailsAfterSendingTheRequest)
{
    port().SetTimeout(0);
    peer.Expect(kGetRequest).Reply("463: 01 8E 00");
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.ReceiveCalls(), 1u); // the drain only; the wait never asks
    port().DrainReceive();
}

// The tick counter wraps while the master waits for the answer.
class GetNearTheWrap : public testing::Test, protected MasterFixture {
protected:
    GetNearTheWrap() : MasterFixture(Carrier::Sst, 0xFFFFFE00) {}
};

TEST_F(GetNearTheWrap, AnswerAfterTheWrapIsTakenAndTimeoutsRunTheirFullLength)
{
    peer.Expect(kGetRequest).ReplyAfter(900, "463: 01 8E 2C 01");
    peer.Expect(kGetRequest).NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(peer.Now(), 0x185u); // 0xFFFFFE00 + 1 + 900
    EXPECT_EQ(reply.Hex(4, 6), "04 00 01 8E 2C 01");
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.Now(), 0x185u + 1u + 1000u);
}

// ---- the carriers' received-length handling in answers --------------------------------------

struct AnswerLength {
    Carrier carrier;
    std::uint8_t field;
    std::size_t kept;
};

class AnswerHostileLength : public testing::TestWithParam<AnswerLength>, protected MasterFixture {
protected:
    AnswerHostileLength() : MasterFixture(GetParam().carrier) {}
    std::string Request() const
    {
        return GetParam().carrier == Carrier::Sst ? "464: 01 0E 01 01 07" : "464: 41 0E 01 01 07";
    }
    // The answer's header, with the XID bit of the request.
    std::string Header(bool fragment) const
    {
        if (GetParam().carrier == Carrier::Sst) {
            return fragment ? "81" : "01";
        }
        return fragment ? "C1" : "41";
    }
};

TEST_P(AnswerHostileLength, OneFrameAnswerCopiesAtMostEightBytes)
{
    const std::string sent = Header(false) + " 8E 01 02 03 04 05 06";
    peer.Expect(Request()).Reply("463/" + std::to_string(GetParam().field) + ": " + sent);
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.ReplyLength(), GetParam().kept);
    EXPECT_EQ(reply.Hex(6, GetParam().kept), sent.substr(0, GetParam().kept * 3 - 1));
    EXPECT_EQ(reply.WrittenFrom(6 + GetParam().kept), "");
}

TEST_P(AnswerHostileLength, FragmentKeepsItsBytesWithinTheNormalisedLength)
{
    peer.Expect(Request()).Reply("463/" + std::to_string(GetParam().field) + ": " + Header(true) + " 00 8E 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Reply("463: 81 81 0C");
    peer.Expect("464: 81 C1 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    const std::size_t body = GetParam().kept - 2 + 1;
    EXPECT_EQ(reply.ReplyLength(), body + 1);
    EXPECT_EQ(reply.WrittenFrom(7 + body), "");
    EXPECT_EQ(reply[7 + body - 1], 0x0C);
}

INSTANTIATE_TEST_SUITE_P(Fields, AnswerHostileLength,
                         testing::Values(AnswerLength{Carrier::Sst, 15, 8}, AnswerLength{Carrier::Sst, 0x13, 8},
                                         AnswerLength{Carrier::Systec, 15, 8},
                                         AnswerLength{Carrier::Systec, 0x13, 3},
                                         AnswerLength{Carrier::Systec, 0x1A, 8}),
                         [](const testing::TestParamInfo<AnswerLength>& info) {
                             return std::string(info.param.carrier == Carrier::Sst ? "Sst" : "Systec") +
                                    "Field" + std::to_string(info.param.field);
                         });

// ---- Set_Attribute_Single -------------------------------------------------------------------

using SetAttribute = SstMaster;

TEST_F(SetAttribute, LengthZeroSendsFiveBytes)
{
    peer.Expect("464: 01 10 01 01 07").Reply("463: 01 90");
    GuardedBuffer buffer;
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 0, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 2);
    EXPECT_EQ(buffer.Hex(6, 2), "01 90");
    EXPECT_EQ(buffer.WrittenFrom(8), "");
}

TEST_F(SetAttribute, ThreeBytesGoInOneFrameOfEight)
{
    peer.Expect("464: 01 10 01 01 07 A0 A1 A2").Reply("463: 01 90");
    GuardedBuffer buffer(400, Counting(3));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 3, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 2);
    EXPECT_EQ(buffer.Hex(6, 2), "01 90");
    EXPECT_EQ(buffer.Hex(0, 3), "A0 A1 A2");
}

TEST_F(SetAttribute, FourBytesGoInAFirstAndALastFragment)
{
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: 81 81 A2 A3").Reply("463: 81 C1 00").Reply("463: 01 90");
    GuardedBuffer buffer(400, Counting(4));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 4, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 2);
    EXPECT_EQ(buffer.Hex(6, 2), "01 90");
}

TEST_F(SetAttribute, NineBytesGoInFirstMiddleAndLastFragments)
{
    // The answer overwrites request bytes 4.. only after the whole request has gone out.
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: 81 41 A2 A3 A4 A5 A6 A7").Reply("463: 81 C1 00");
    peer.Expect("464: 81 82 A8").Reply("463: 81 C2 00").Reply("463: 01 90 11 22 33 44 55 66");
    GuardedBuffer buffer(400, Counting(9));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 9, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 8);
    EXPECT_EQ(buffer.Hex(0, 14), "A0 A1 A2 A3 08 00 01 90 11 22 33 44 55 66");
}

TEST_F(SetAttribute, OneHundredTwentyEightBytesGoInTwentyTwoFragments)
{
    const std::vector<std::uint8_t> data = Counting(128, 0x00);
    peer.Expect("464: 81 00 10 01 01 07 00 01").Reply("463: 81 C0 00");
    for (std::uint8_t count = 1; count <= 20; ++count) {
        std::vector<std::uint8_t> frame{0x81, static_cast<std::uint8_t>(0x40 | count)};
        frame.insert(frame.end(), data.begin() + 2 + 6 * (count - 1), data.begin() + 2 + 6 * count);
        peer.Expect(FrameText(0x464, frame)).Reply(FrameText(0x463, {0x81, static_cast<std::uint8_t>(0xC0 | count), 0}));
    }
    peer.Expect("464: 81 95 7A 7B 7C 7D 7E 7F").Reply("463: 81 D5 00").Reply("463: 01 90");
    GuardedBuffer buffer(400, data);
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 128, buffer.data()), 0);
    EXPECT_EQ(peer.SentFrames().size(), 22u);
    EXPECT_EQ(peer.SentFrames()[1], "464: 81 41 02 03 04 05 06 07");
    EXPECT_EQ(peer.SentFrames()[20], "464: 81 54 74 75 76 77 78 79");
}

TEST_F(SetAttribute, AcknowledgementOfARequestFragmentIsNotExamined)
{
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("5FF:").Reply("463:");
    peer.Expect("464: 81 81 A2 A3").Reply("463: 01 94 08 FF").Reply("463: 01 90");
    GuardedBuffer buffer(400, Counting(4));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 4, buffer.data()), 0);
    EXPECT_EQ(buffer.Hex(6, 2), "01 90");
}

TEST_F(SetAttribute, AnswerIsNeverReassembled)
{
    // Its service code is byte 1 whatever the fragment bit says, and it is stored as it came.
    peer.Expect("464: 01 10 01 01 07 A0").Reply("463: 81 90 01 02 03 04 05 06");
    GuardedBuffer buffer(400, Counting(1));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 1, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 8);
    EXPECT_EQ(buffer.Hex(6, 8), "81 90 01 02 03 04 05 06");
}

TEST_F(SetAttribute, ArgumentsAreSentAsTheirLowBits)
{
    peer.Expect("404: 01 10 05 01 09 A0").Reply("403: 01 90");
    GuardedBuffer buffer(400, Counting(1));
    EXPECT_EQ(master.DNSetAttribute(0, 0x105, 0x201, 0x309, 1, buffer.data()), 0);
}

TEST_F(SetAttribute, HostileLengthInTheAnswerCopiesAtMostEightBytes)
{
    peer.Expect("464: 01 10 01 01 07 A0").Reply("463/15: 01 90 01 02 03 04 05 06");
    GuardedBuffer buffer(400, Counting(1));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 1, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 8);
    EXPECT_EQ(buffer.Hex(6, 8), "01 90 01 02 03 04 05 06");
    EXPECT_EQ(buffer.WrittenFrom(14), "");
}

TEST_F(SetAttribute, NodeAddressOutsideTheNetworkIsRefused)
{
    GuardedBuffer buffer(400, Counting(1));
    for (int node : {64, 76, -1, 255}) {
        EXPECT_EQ(master.DNSetAttribute(node, 1, 1, 7, 1, buffer.data()), -1) << node;
    }
    EXPECT_TRUE(peer.Log().empty());
}

TEST_F(SetAttribute, TimeoutWaitingForTheFragmentAcknowledgementSendsNoMore)
{
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").NoReply();
    GuardedBuffer buffer(400, Counting(4));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 4, buffer.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 1u + 1000u);
}

TEST_F(SetAttribute, TimeoutWaitingForTheAnswer)
{
    peer.Expect("464: 01 10 01 01 07 A0").NoReply();
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: 81 81 A2 A3").Reply("463: 81 C1 00");
    GuardedBuffer buffer(400, Counting(4));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 1, buffer.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 1001u);
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 4, buffer.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 2002u);
    EXPECT_EQ(buffer.WrittenFrom(4), "");
}

TEST_F(SetAttribute, RefusedFrameAtEachStepFailsWithoutWaiting)
{
    peer.Expect("464: 01 10 01 01 07 A0").Refuse();
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Refuse();
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: 81 41 A2 A3 A4 A5 A6 A7").Refuse();
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: 81 41 A2 A3 A4 A5 A6 A7").Reply("463: 81 C1 00");
    peer.Expect("464: 81 82 A8").Refuse();
    GuardedBuffer buffer(400, Counting(9));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 1, buffer.data()), -1);
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 9, buffer.data()), -1);
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 9, buffer.data()), -1);
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 9, buffer.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 4u); // four drains, no wait
}

// ---- lengths above 128 and a closed card, for Set and Service alike -------------------------

struct LongRequest {
    const char* operation;
    int length;
};

class RequestLimit : public testing::TestWithParam<LongRequest>, protected MasterFixture {
protected:
    RequestLimit() : MasterFixture(Carrier::Sst) {}
    int Run(int length, std::uint8_t* buffer)
    {
        return std::string(GetParam().operation) == "Set"
                   ? master.DNSetAttribute(kSlave, 1, 1, 7, length, buffer)
                   : master.DNService(kSlave, 0x40, 1, 0x32, length, buffer);
    }
};

TEST_P(RequestLimit, TooLongIsRefusedAfterTheDrainWithNothingSent)
{
    peer.Stale("463: 01 90");
    GuardedBuffer buffer(400, Counting(200));
    EXPECT_EQ(Run(GetParam().length, buffer.data()), -1);
    EXPECT_EQ(peer.PendingFrames(), 0u);
    EXPECT_EQ(peer.SentFrames().size(), 0u);
    EXPECT_EQ(buffer.Hex(0, 8), "A0 A1 A2 A3 A4 A5 A6 A7");
    EXPECT_EQ(buffer.WrittenFrom(200), "");
}

TEST_P(RequestLimit, ClosedCardSendsNothingAndDoesNotDrain)
{
    peer.Stale("463: 01 90");
    port().Close();
    GuardedBuffer buffer(400, Counting(4));
    EXPECT_EQ(Run(4, buffer.data()), -1);
    EXPECT_EQ(peer.ReceiveCalls(), 0u);
    EXPECT_EQ(peer.PendingFrames(), 1u);
    port().Open(kMasterMac);
    port().DrainReceive();
}

INSTANTIATE_TEST_SUITE_P(Lengths, RequestLimit,
                         testing::Values(LongRequest{"Set", 129}, LongRequest{"Set", 200},
                                         LongRequest{"Set", 0xFFFF}, LongRequest{"Service", 129},
                                         LongRequest{"Service", 0xFFFF}),
                         [](const testing::TestParamInfo<LongRequest>& info) {
                             return std::string(info.param.operation) + std::to_string(info.param.length);
                         });

TEST_F(GetAttribute, ClosedCardSendsNothingAndDoesNotDrain)
{
    peer.Stale("463: 01 8E 00");
    port().Close();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), -1);
    EXPECT_EQ(peer.ReceiveCalls(), 0u);
    EXPECT_EQ(reply.WrittenFrom(0), "");
    port().Open(kMasterMac);
    port().DrainReceive();
}

// ---- free services (no transaction bit on either carrier, so the same frames) ---------------

using Service = EitherMaster;

TEST_P(Service, LengthZeroSendsFourBytes)
{
    peer.Expect("464: 01 05 01 01").Reply("463: 01 85");
    GuardedBuffer buffer;
    EXPECT_EQ(master.DNService(kSlave, 1, 1, 0x05, 0, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 2);
    EXPECT_EQ(buffer.Hex(6, 2), "01 85");
}

TEST_P(Service, FourBytesGoInOneFrameOfEight)
{
    peer.Expect("464: 01 32 40 01 A0 A1 A2 A3").Reply("463: 01 B2 00");
    GuardedBuffer buffer(400, Counting(4));
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 4, buffer.data()), 0);
    EXPECT_EQ(buffer.Hex(4, 5), "03 00 01 B2 00");
}

TEST_P(Service, FiveBytesGoInAFirstAndALastFragment)
{
    peer.Stale("463: 81 C0 00");
    peer.Expect("464: 81 00 32 40 01 A0 A1 A2").Reply("463: 81 C0 00");
    peer.Expect("464: 81 81 A3 A4").Reply("463: 81 C1 00").Reply("463: 01 B2");
    GuardedBuffer buffer(400, Counting(5));
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 5, buffer.data()), 0);
    EXPECT_EQ(buffer.Hex(4, 4), "02 00 01 B2");
}

TEST_P(Service, OneHundredTwentyEightBytesGoInTwentyTwoFragments)
{
    const std::vector<std::uint8_t> data = Counting(128, 0x00);
    peer.Expect("464: 81 00 32 40 01 00 01 02").Reply("463: 81 C0 00");
    for (std::uint8_t count = 1; count <= 20; ++count) {
        std::vector<std::uint8_t> frame{0x81, static_cast<std::uint8_t>(0x40 | count)};
        frame.insert(frame.end(), data.begin() + 3 + 6 * (count - 1), data.begin() + 3 + 6 * count);
        peer.Expect(FrameText(0x464, frame)).Reply(FrameText(0x463, {0x81, static_cast<std::uint8_t>(0xC0 | count), 0}));
    }
    peer.Expect("464: 81 95 7B 7C 7D 7E 7F").Reply("463: 81 D5 00").Reply("463: 01 B2");
    GuardedBuffer buffer(400, data);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 128, buffer.data()), 0);
    EXPECT_EQ(peer.SentFrames().size(), 22u);
    EXPECT_EQ(peer.SentFrames()[1], "464: 81 41 03 04 05 06 07 08");
}

TEST_P(Service, FragmentedAnswerIsReassembled)
{
    peer.Expect("464: 01 32 40 01").Reply("463: 81 00 B2 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Reply("463: 81 81 06 07");
    peer.Expect("464: 81 C1 00").NoReply();
    GuardedBuffer buffer;
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 9);
    EXPECT_EQ(buffer.Hex(6, 9), "01 B2 01 02 03 04 05 06 07");
}

TEST_P(Service, HostileAnswerOf300BytesKeeps246)
{
    static_assert(DeviceNetMaster::kServiceBodyLimit == 250);
    const std::vector<std::uint8_t> body = ScriptFragmentedAnswer(peer, "464: 01 32 40 01", 0xB2, std::vector<std::size_t>(50, 6));
    GuardedBuffer buffer;
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, buffer.data()), 0);
    // Whole fragments are kept while fewer than 245 bytes are held: 41 fragments.
    EXPECT_EQ(buffer.ReplyLength(), 247);
    EXPECT_EQ(buffer.Hex(7, 246), FormatBytes(body.data(), 246));
    EXPECT_EQ(buffer.WrittenFrom(7 + 246), "");
}

TEST_P(Service, ReassemblyMayHoldExactly250Bytes)
{
    std::vector<std::size_t> sizes(40, 6);
    sizes.insert(sizes.end(), {1, 1, 1, 1, 6, 6});
    const std::vector<std::uint8_t> body = ScriptFragmentedAnswer(peer, "464: 01 32 40 01", 0xB2, sizes);
    GuardedBuffer buffer;
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, buffer.data()), 0);
    EXPECT_EQ(buffer.ReplyLength(), 251);
    EXPECT_EQ(buffer.Hex(7, 250), FormatBytes(body.data(), 250));
    EXPECT_EQ(buffer.WrittenFrom(7 + 250), "");
}

TEST_P(Service, TimeoutAtEachWait)
{
    peer.Expect("464: 81 00 32 40 01 A0 A1 A2").NoReply();
    peer.Expect("464: 01 32 40 01").NoReply();
    peer.Expect("464: 01 32 40 01").Reply("463: 81 00 B2 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").NoReply();
    GuardedBuffer buffer(400, Counting(5));
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 5, buffer.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 1001u);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, buffer.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 2002u);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, buffer.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 3003u);
}

TEST_P(Service, RefusedFrameAtEachStepFailsWithoutWaiting)
{
    peer.Expect("464: 01 32 40 01").Refuse();
    peer.Expect("464: 81 00 32 40 01 A0 A1 A2").Refuse();
    peer.Expect("464: 81 00 32 40 01 A0 A1 A2").Reply("463: 81 C0 00");
    peer.Expect("464: 81 81 A3 A4").Refuse();
    peer.Expect("464: 01 32 40 01").Reply("463: 81 00 B2 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Refuse();
    GuardedBuffer buffer(400, Counting(5));
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, buffer.data()), -1);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 5, buffer.data()), -1);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 5, buffer.data()), -1);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, buffer.data()), -1);
    EXPECT_EQ(peer.Elapsed(), 4u);
}

TEST_P(Service, NodeAddressOutsideTheNetworkIsRefused)
{
    GuardedBuffer buffer;
    for (int node : {64, 76, -1}) {
        EXPECT_EQ(master.DNService(node, 0x40, 1, 0x32, 0, buffer.data()), -1) << node;
    }
    EXPECT_TRUE(peer.Log().empty());
}

TEST_P(Service, LeavesTheTransactionBitAlone)
{
    peer.Expect("464: 01 32 40 01").Reply("463: 01 B2");
    peer.Expect("464: 81 00 32 40 01 A0 A1 A2").Reply("463: 81 C0 00");
    peer.Expect("464: 81 81 A3 A4").Reply("463: 81 C1 00").Reply("463: 01 B2");
    GuardedBuffer buffer(400, Counting(5));
    GuardedBuffer reply;
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, reply.data()), 0);
    EXPECT_EQ(master.TransactionBit(), 0);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 5, buffer.data()), 0);
    EXPECT_EQ(master.TransactionBit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Carriers, Service, testing::Values(Carrier::Sst, Carrier::Systec), CarrierName);

// ---- the transaction bit --------------------------------------------------------------------

TEST_F(SstMaster, TransactionBitStaysZero)
{
    peer.Expect("464: 01 0E 01 01 07").Reply("463: 01 8E 00");
    peer.Expect("464: 01 10 01 01 07 A0").Reply("463: 01 90");
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: 81 81 A2 A3").Reply("463: 81 C1 00").Reply("463: 01 90");
    peer.Expect("464: 01 0E 01 01 07").Reply("463: 01 8E 00");
    GuardedBuffer buffer(400, Counting(4));
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, buffer.data()), 0);
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 1, buffer.data()), 0);
    GuardedBuffer data(400, Counting(4));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 4, data.data()), 0);
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, buffer.data()), 0);
    EXPECT_EQ(master.TransactionBit(), 0);
}

TEST_F(SystecMaster, TwoGetsAlternateTheTransactionBit)
{
    peer.Expect("464: 41 0E 01 01 07").Reply("463: 41 8E 00");
    peer.Expect("464: 01 0E 01 01 07").Reply("463: 01 8E 00");
    peer.Expect("464: 41 0E 01 01 07").Reply("463: 41 8E 00");
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(master.TransactionBit(), 0x40);
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(master.TransactionBit(), 0x00);
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
}

TEST_F(SystecMaster, OneFrameSetFlipsOnce)
{
    peer.Expect("464: 41 10 01 01 07 A0").Reply("463: 41 90");
    peer.Expect("464: 01 0E 01 01 07").Reply("463: 01 8E 00");
    GuardedBuffer buffer(400, Counting(1));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 1, buffer.data()), 0);
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, buffer.data()), 0);
}

TEST_F(SystecMaster, FragmentedSetFlipsBeforeEachFragmentWhichCarriesXidZero)
{
    // Two fragments: two flips, so the Get that follows flips from 0 again.
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: 81 81 A2 A3").Reply("463: 81 C1 00").Reply("463: 01 90");
    peer.Expect("464: 41 0E 01 01 07").Reply("463: 41 8E 00");
    // Three fragments: three flips, from 0x40 to 0x00.
    peer.Expect("464: 81 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: 81 41 A2 A3 A4 A5 A6 A7").Reply("463: 81 C1 00");
    peer.Expect("464: 81 82 A8").Reply("463: 81 C2 00").Reply("463: 01 90");
    peer.Expect("464: 41 0E 01 01 07").Reply("463: 41 8E 00");
    GuardedBuffer reply;
    GuardedBuffer four(400, Counting(4));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 4, four.data()), 0);
    EXPECT_EQ(master.TransactionBit(), 0x00);
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    GuardedBuffer nine(400, Counting(9));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 9, nine.data()), 0);
    EXPECT_EQ(master.TransactionBit(), 0x00);
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
}

TEST_F(SystecMaster, ServiceBetweenGetsDoesNotFlip)
{
    peer.Expect("464: 41 0E 01 01 07").Reply("463: 41 8E 00");
    peer.Expect("464: 01 32 40 01").Reply("463: 01 B2");
    peer.Expect("464: 01 0E 01 01 07").Reply("463: 01 8E 00");
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, reply.data()), 0);
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
}

TEST_F(SystecMaster, AcknowledgementsOfAnswerFragmentsCarryXidZero)
{
    peer.Expect("464: 41 0E 01 01 07").Reply("463: C1 00 8E 01 02 03 04 05");
    peer.Expect("464: 81 C0 00").Reply("463: C1 81 06");
    peer.Expect("464: 81 C1 00").NoReply();
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(reply.Hex(4, 10), "08 00 41 8E 01 02 03 04 05 06");
}

TEST_F(SystecMaster, MasterMacIdIsInEveryHeader)
{
    port().Open(0x3F);
    peer.Expect("464: 7F 0E 01 01 07").Reply("463: 41 8E 00");
    peer.Expect("464: 3F 32 40 01").Reply("463: 01 B2 00");
    peer.Expect("464: BF 00 10 01 01 07 A0 A1").Reply("463: 81 C0 00");
    peer.Expect("464: BF 81 A2 A3").Reply("463: 81 C1 00").Reply("463: 01 90");
    GuardedBuffer reply(400, Counting(4));
    EXPECT_EQ(master.DNGetAttribute(kSlave, 1, 1, 7, reply.data()), 0);
    EXPECT_EQ(master.DNService(kSlave, 0x40, 1, 0x32, 0, reply.data()), 0);
    GuardedBuffer four(400, Counting(4));
    EXPECT_EQ(master.DNSetAttribute(kSlave, 1, 1, 7, 4, four.data()), 0);
}

} // namespace
} // namespace orv::test
