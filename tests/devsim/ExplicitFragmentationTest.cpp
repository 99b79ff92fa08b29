// Explicit messages longer than one frame: the answer goes out fragment by fragment as the master
// acknowledges; a fragmented request is acknowledged fragment by fragment and reassembled, and a
// broken or stalled series is discarded.

#include "DeviceFixture.h"

namespace devsim::test {
namespace {

class FragmentedAnswer : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        Allocate(0x01);
    }
};

TEST_F(FragmentedAnswer, ProductNameGoesOutAsEachFragmentIsAcknowledged)
{
    EXPECT_EQ(Send("5FC: 00 0E 01 01 07"), Frames{"5FB: 80 00 8E 09 42 72 65 6C"});
    EXPECT_EQ(Send("5FC: 80 C0 00"), Frames{"5FB: 80 81 69 6E 20 47 57"});
    EXPECT_TRUE(Send("5FC: 80 C1 00").empty());
    EXPECT_EQ(Send("5FC: 00 0E 01 01 01"), Frames{"5FB: 00 8E B7 04"}) << "ready for the next request";
}

TEST_F(FragmentedAnswer, EchoesTheTransactionBitInEveryFragment)
{
    EXPECT_EQ(Send("5FC: 40 0E 01 01 07"), Frames{"5FB: C0 00 8E 09 42 72 65 6C"});
    EXPECT_EQ(Send("5FC: 80 C0 00"), Frames{"5FB: C0 81 69 6E 20 47 57"});
}

TEST_F(FragmentedAnswer, FirstMiddleAndLastFragments)
{
    const std::string line = "HELLO WORLD 1234\r";
    device->SerialInput(std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()), now);
    EXPECT_EQ(Send("5FC: 00 0E 41 01 03"), Frames{"5FB: 80 00 8E 48 45 4C 4C 4F"});
    EXPECT_EQ(Send("5FC: 80 C0 00"), Frames{"5FB: 80 41 20 57 4F 52 4C 44"});
    EXPECT_EQ(Send("5FC: 80 C1 00"), Frames{"5FB: 80 82 20 31 32 33 34"});
    EXPECT_TRUE(Send("5FC: 80 C2 00").empty());
}

TEST_F(FragmentedAnswer, AnAcknowledgementOfAnotherFragmentIsIgnored)
{
    Send("5FC: 00 0E 01 01 07");
    EXPECT_TRUE(Send("5FC: 80 C1 00").empty());
    EXPECT_TRUE(Send("5FC: 80 C0").empty()) << "no status byte";
    EXPECT_EQ(Send("5FC: 80 C0 00"), Frames{"5FB: 80 81 69 6E 20 47 57"});
}

TEST_F(FragmentedAnswer, AMissingAcknowledgementRepeatsTheFragmentOnceThenGivesUp)
{
    Send("5FC: 00 0E 01 01 07");
    EXPECT_TRUE(Wait(990).empty());
    EXPECT_EQ(Wait(10), Frames{"5FB: 80 00 8E 09 42 72 65 6C"});
    EXPECT_TRUE(Wait(2000).empty());
    EXPECT_TRUE(Send("5FC: 80 C0 00").empty()) << "given up";
}

TEST_F(FragmentedAnswer, AnErrorAcknowledgementEndsTheAnswer)
{
    Send("5FC: 00 0E 01 01 07");
    EXPECT_TRUE(Send("5FC: 80 C0 01").empty());
    EXPECT_TRUE(Send("5FC: 80 C0 00").empty());
    EXPECT_TRUE(Wait(3000).empty());
}

TEST_F(FragmentedAnswer, ANewRequestEndsTheAnswerInProgress)
{
    Send("5FC: 00 0E 01 01 07");
    EXPECT_EQ(Send("5FC: 00 0E 01 01 08"), Frames{"5FB: 00 8E 03"});
    EXPECT_TRUE(Send("5FC: 80 C0 00").empty());
}

class FragmentedRequest : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        Allocate(0x01);
    }
};

TEST_F(FragmentedRequest, IsAcknowledgedFragmentByFragmentAndAnsweredWhenWhole)
{
    EXPECT_EQ(Send("5FC: 80 00 10 42 01 03 41 42"), Frames{"5FB: 80 C0 00"});
    EXPECT_EQ(Send("5FC: 80 81 43 44 45 46 47 48"), (Frames{"5FB: 80 C1 00", "5FB: 00 90"}));
    EXPECT_EQ(Value(66, 1, 3), (Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));
}

TEST_F(FragmentedRequest, WithTheTransactionBitAndAMiddleFragment)
{
    ASSERT_EQ(Set(66, 1, 10, {16}), Bytes{0x90});
    EXPECT_EQ(Send("5FC: C0 00 10 42 01 03 30 31"), Frames{"5FB: C0 C0 00"});
    EXPECT_EQ(Send("5FC: C0 41 32 33 34 35 36 37"), Frames{"5FB: C0 C1 00"});
    EXPECT_EQ(Send("5FC: C0 42 38 39 41 42 43 44"), Frames{"5FB: C0 C2 00"});
    EXPECT_EQ(Send("5FC: C0 43 45 46"), Frames{"5FB: C0 C3 00"});
    EXPECT_EQ(Send("5FC: C0 84"), (Frames{"5FB: C0 C4 00", "5FB: 40 90"})) << "an empty last fragment";
    EXPECT_EQ(Value(66, 1, 3), ParseHex("30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46"));
}

TEST_F(FragmentedRequest, ARepeatedFragmentIsAcknowledgedAgainAndNotAppended)
{
    EXPECT_EQ(Send("5FC: 80 00 10 42 01 03 41 42"), Frames{"5FB: 80 C0 00"});
    EXPECT_EQ(Send("5FC: 80 00 10 42 01 03 41 42"), Frames{"5FB: 80 C0 00"}) << "the first again: starts over";
    EXPECT_EQ(Send("5FC: 80 41 43 44 45 46 47 48"), Frames{"5FB: 80 C1 00"});
    EXPECT_EQ(Send("5FC: 80 41 43 44 45 46 47 48"), Frames{"5FB: 80 C1 00"});
    EXPECT_EQ(Send("5FC: 80 82"), (Frames{"5FB: 80 C2 00", "5FB: 00 90"}));
    EXPECT_EQ(Value(66, 1, 3), (Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));
}

TEST_F(FragmentedRequest, AWrongCountDiscardsTheSeriesSilently)
{
    EXPECT_EQ(Send("5FC: 80 00 10 42 01 03 41 42"), Frames{"5FB: 80 C0 00"});
    EXPECT_TRUE(Send("5FC: 80 82 43 44 45 46 47 48").empty()) << "fragment 1 is missing";
    EXPECT_TRUE(Send("5FC: 80 81 43 44 45 46 47 48").empty()) << "the series is gone";
    EXPECT_EQ(Value(66, 1, 3), Bytes(8, 0));
}

TEST_F(FragmentedRequest, FragmentsWithoutAFirstAreIgnored)
{
    EXPECT_TRUE(Send("5FC: 80 41 43 44 45 46 47 48").empty());
    EXPECT_TRUE(Send("5FC: 80 81 43 44").empty());
    EXPECT_TRUE(Send("5FC: 80 05 10 42 01 03 41 42").empty()) << "a first fragment counts from 0";
    EXPECT_TRUE(Send("5FC: 80").empty()) << "no fragmentation byte";
}

TEST_F(FragmentedRequest, AStalledSeriesIsDiscardedAfterItsTimeout)
{
    EXPECT_EQ(Send("5FC: 80 00 10 42 01 03 41 42"), Frames{"5FB: 80 C0 00"});
    Wait(999, 1);
    EXPECT_EQ(Send("5FC: 80 41 43 44 45 46 47 48"), Frames{"5FB: 80 C1 00"}) << "999 ms after the last one";
    Wait(1000);
    EXPECT_TRUE(Send("5FC: 80 82").empty()) << "1000 ms: discarded";
    EXPECT_EQ(Value(66, 1, 3), Bytes(8, 0));
}

TEST_F(FragmentedRequest, MoreThanTheConnectionTakesIsRefusedWithTooMuchData)
{
    // 64 body bytes fit: 4 of path and attribute, 60 of value.
    EXPECT_EQ(Send("5FC: 80 00 10 42 01 03 00 00"), Frames{"5FB: 80 C0 00"});
    std::uint8_t count = 1;
    for (; count < 10; ++count) {
        EXPECT_EQ(Send("5FC: 80 " + Hex({static_cast<std::uint8_t>(0x40 | count)}) + " 00 00 00 00 00 00"),
                  Frames{"5FB: 80 " + Hex({static_cast<std::uint8_t>(0xC0 | count)}) + " 00"});
    }
    EXPECT_EQ(Send("5FC: 80 4A 00 00 00 00 00 00"), Frames{"5FB: 80 CA 01"}) << "66 bytes: too much data";
    EXPECT_TRUE(Send("5FC: 80 8B 00").empty()) << "the rest is not taken";
}

TEST_F(FragmentedRequest, AnErrorAnswerFollowsTheLastAcknowledgement)
{
    EXPECT_EQ(Send("5FC: 80 00 10 42 01 03 41 42"), Frames{"5FB: 80 C0 00"});
    EXPECT_EQ(Send("5FC: 80 81 43"), (Frames{"5FB: 80 C1 00", "5FB: 00 94 13 FF"})) << "three of eight bytes";
}

TEST_F(FragmentedRequest, AWholeRequestEndsASeries)
{
    EXPECT_EQ(Send("5FC: 80 00 10 42 01 03 41 42"), Frames{"5FB: 80 C0 00"});
    EXPECT_EQ(Send("5FC: 00 0E 01 01 01"), Frames{"5FB: 00 8E B7 04"});
    EXPECT_TRUE(Send("5FC: 80 81 43 44 45 46 47 48").empty());
}

} // namespace
} // namespace devsim::test
