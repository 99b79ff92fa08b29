// The scripted peer must catch what the DeviceNet tests rely on it to catch.

#include "support/FrameText.h"
#include "support/ScriptedPeer.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace orv::test {
namespace {

using devicenet::CanFrame;

TEST(FrameText, ParsesIdentifierLengthAndBytes)
{
    const CanFrame frame = ParseFrame("464: 01 0e 01 01 07");
    EXPECT_EQ(frame.identifier, 0x464);
    EXPECT_EQ(frame.length, 5);
    EXPECT_EQ(FormatBytes(frame.data.data(), 8), "01 0E 01 01 07 EE EE EE");
    EXPECT_EQ(FormatFrame(frame), "464: 01 0E 01 01 07");
}

TEST(FrameText, EmptyFrameAndExplicitLengthField)
{
    EXPECT_EQ(ParseFrame("454:").length, 0);
    EXPECT_EQ(FormatFrame(ParseFrame("454:")), "454:");
    const CanFrame hostile = ParseFrame("463/15: 01 02 03 04 05 06 07 08");
    EXPECT_EQ(hostile.length, 15);
    EXPECT_EQ(FormatFrame(hostile), "463/15: 01 02 03 04 05 06 07 08");
}

TEST(FrameText, MalformedTextFails)
{
    EXPECT_NONFATAL_FAILURE(ParseFrame("464 01 02"), "lacks the ':'");
    EXPECT_NONFATAL_FAILURE(ParseFrame("4G4: 01"), "malformed identifier");
    EXPECT_NONFATAL_FAILURE(ParseBytes("01 2"), "malformed hex");
    EXPECT_NONFATAL_FAILURE(ParseFrame("464: 01 02 03 04 05 06 07 08 09"), "more than 8");
}

TEST(FrameText, SameFrameComparesOnlyTheBytesWithinTheLength)
{
    CanFrame a = ParseFrame("464: 01 02");
    CanFrame b = a;
    b.data[5] = 0x55;
    EXPECT_TRUE(SameFrame(a, b));
    b.data[1] = 0x03;
    EXPECT_FALSE(SameFrame(a, b));
    EXPECT_FALSE(SameFrame(ParseFrame("464: 01 02"), ParseFrame("464: 01 02 00")));
    EXPECT_FALSE(SameFrame(ParseFrame("464: 01 02"), ParseFrame("465: 01 02")));
}

TEST(ScriptedPeer, RepliesBecomePendingOnlyAfterTheExpectedSend)
{
    ScriptedPeer peer;
    peer.Expect("464: 01 0E 01 01 07").Reply("463: 01 8E 2C 01");
    CanFrame frame;
    EXPECT_FALSE(peer.ReceiveFrame(frame));
    EXPECT_TRUE(peer.SendFrame(ParseFrame("464: 01 0E 01 01 07")));
    ASSERT_TRUE(peer.ReceiveFrame(frame));
    EXPECT_EQ(FormatFrame(frame), "463: 01 8E 2C 01");
    EXPECT_EQ(peer.Transcript(), "> 464: 01 0E 01 01 07\n< 463: 01 8E 2C 01\n");
}

TEST(ScriptedPeer, ClockAdvancesOneMillisecondPerEmptyPoll)
{
    ScriptedPeer peer(0xFFFFFFFE);
    CanFrame frame;
    EXPECT_EQ(peer.TickCount(), 0xFFFFFFFEu);
    EXPECT_EQ(peer.TickCount(), 0xFFFFFFFEu);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(peer.ReceiveFrame(frame));
    }
    EXPECT_EQ(peer.TickCount(), 1u);
    EXPECT_EQ(peer.Elapsed(), 3u);
    EXPECT_EQ(peer.ReceiveCalls(), 3u);
}

TEST(ScriptedPeer, DelayedFrameIsDueAfterItsDelayAcrossTheWrap)
{
    ScriptedPeer peer(0xFFFFFFFF);
    peer.Deliver("463: 01", 2);
    CanFrame frame;
    EXPECT_FALSE(peer.ReceiveFrame(frame));
    EXPECT_FALSE(peer.ReceiveFrame(frame));
    EXPECT_TRUE(peer.ReceiveFrame(frame));
    EXPECT_EQ(peer.Now(), 1u);
}

TEST(ScriptedPeer, MismatchFailsWithBothFrames)
{
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPeer peer;
            peer.Expect("464: 01 0E 01 01 07");
            EXPECT_FALSE(peer.SendFrame(ParseFrame("464: 01 0E 01 01 08")));
        },
        "expected 464: 01 0E 01 01 07\n              the master sent 464: 01 0E 01 01 08");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPeer peer;
            peer.Expect("464: 01 0E");
            peer.SendFrame(ParseFrame("464: 01 0E 00"));
        },
        "the master sent 464: 01 0E 00");
}

TEST(ScriptedPeer, FrameAfterTheScriptFails)
{
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPeer peer;
            EXPECT_FALSE(peer.SendFrame(ParseFrame("465:")));
        },
        "after the end of the script");
}

TEST(ScriptedPeer, UnconsumedScriptFailsAtTheEnd)
{
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPeer peer;
            peer.Expect("464: 01 0E 01 01 07");
        },
        "never sent by the master: 464: 01 0E 01 01 07");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPeer peer;
            peer.Expect("464:").Reply("463: 01");
            peer.SendFrame(ParseFrame("464:"));
        },
        "never taken by the master: 463: 01");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPeer peer;
            peer.Stale("463: 02");
        },
        "never taken by the master: 463: 02 (stale)");
}

TEST(ScriptedPeer, RefusedFrameIsNotOnTheBus)
{
    ScriptedPeer peer;
    peer.Expect("464: 01").Refuse();
    EXPECT_FALSE(peer.SendFrame(ParseFrame("464: 01")));
    EXPECT_TRUE(peer.Log().empty());
    EXPECT_TRUE(peer.Consumed());
}

} // namespace
} // namespace orv::test
