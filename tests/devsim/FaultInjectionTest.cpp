// Faults the device injects on request: their text form, lost, repeated, late and stray answers,
// malformed fragment sequences.

#include "DeviceFixture.h"

namespace devsim::test {
namespace {

TEST(FaultText, ParsesEachFaultAndListsThemBack)
{
    Faults faults;
    std::string error;
    ASSERT_TRUE(ParseFaults("drop=3", faults, error)) << error;
    ASSERT_TRUE(ParseFaults("dup,delay=50", faults, error)) << error;
    ASSERT_TRUE(ParseFaults("second-mac=12", faults, error)) << error;
    ASSERT_TRUE(ParseFaults("bad-fragments=missing-first", faults, error)) << error;
    ASSERT_TRUE(ParseFaults("switches=99/9", faults, error)) << error;
    EXPECT_EQ(faults.dropEvery, 3u);
    EXPECT_TRUE(faults.duplicate);
    EXPECT_EQ(faults.delayMs, 50u);
    EXPECT_EQ(faults.secondMacId, 12);
    EXPECT_EQ(faults.fragments, FragmentFault::MissingFirst);
    EXPECT_EQ(faults.macSwitch, 99);
    EXPECT_EQ(faults.baudSwitch, 9);
    EXPECT_EQ(DescribeFaults(faults), "drop=3,dup,delay=50,second-mac=12,bad-fragments=missing-first,switches=99/9");
    ASSERT_TRUE(ParseFaults("none", faults, error));
    EXPECT_EQ(DescribeFaults(faults), "none");
}

TEST(FaultText, RefusesWhatItDoesNotKnowAndKeepsTheFaults)
{
    for (const char* text : {"drop=0", "drop=x", "drop", "delay=70000", "second-mac=64", "bad-fragments=odd", "dup=1",
                             "", "dup,,drop=2", "loss=3", "switches=99",
                             "switches=256/9", "switches=1/x", "switches=/2"}) {
        Faults faults;
        faults.duplicate = true;
        std::string error;
        EXPECT_FALSE(ParseFaults(text, faults, error)) << text;
        EXPECT_NE(error.find("expected drop=N"), std::string::npos) << error;
        EXPECT_EQ(DescribeFaults(faults), "dup") << text;
    }
}

class FaultyDevice : public DeviceTest {
protected:
    void WithFaults(const std::string& text)
    {
        Faults faults;
        std::string error;
        ASSERT_TRUE(ParseFaults(text, faults, error)) << error;
        device->SetFaults(faults);
    }
};

TEST_F(FaultyDevice, DropsEveryNthFrame)
{
    WithFaults("drop=2");
    EXPECT_EQ(Send("5FE: 00 4B 03 01 01 00"), Frames{"5FB: 00 CB 00"});
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty());
    EXPECT_EQ(Send("5FC: 00 0E 01 01 01"), Frames{"5FB: 00 8E B7 04"});
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 08").empty());
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x01, 0x00})) << "a dropped answer was still carried out";
}

TEST_F(FaultyDevice, SendsEveryFrameTwice)
{
    WithFaults("dup");
    EXPECT_EQ(Send("5FE: 00 4B 03 01 01 00"), (Frames{"5FB: 00 CB 00", "5FB: 00 CB 00"}));
    EXPECT_EQ(Send("5FC: 00 0E 01 01 07"), (Frames{"5FB: 80 00 8E 09 42 72 65 6C", "5FB: 80 00 8E 09 42 72 65 6C"}));
}

TEST_F(FaultyDevice, HoldsFramesAndKeepsTheirOrder)
{
    WithFaults("delay=50");
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty());
    EXPECT_TRUE(Wait(20).empty());
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty());
    EXPECT_EQ(Wait(30), Frames{"5FB: 00 CB 00"});
    EXPECT_EQ(Wait(20), Frames{"5FB: 00 8E B7 04"});
}

TEST(DelayFault, HoldsAtMostItsCapAndCountsWhatItDrops)
{
    OutputStage stage;
    Faults faults;
    faults.delayMs = 50;
    stage.SetFaults(faults);
    std::vector<std::uint32_t> out;
    const OutputStage::Sink sink = [&out](const canbus::Frame& frame) { out.push_back(frame.id); };
    constexpr std::size_t kFlood = OutputStage::kMaxHeldFrames + 10;
    for (std::size_t i = 0; i < kFlood; ++i) {
        canbus::Frame frame;
        frame.id = static_cast<std::uint32_t>(i);
        stage.Send(frame, true, 0, sink);
    }
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(stage.HeldOverflow(), 10u);
    stage.Release(50, sink);
    ASSERT_EQ(out.size(), OutputStage::kMaxHeldFrames);
    EXPECT_EQ(out.back(), OutputStage::kMaxHeldFrames - 1) << "the first ones are kept, in order";
    EXPECT_EQ(stage.NextRelease(50), std::nullopt);

    // Room again once the held frames are gone.
    stage.Send(canbus::Frame{}, true, 60, sink);
    EXPECT_EQ(stage.HeldOverflow(), 10u);
    EXPECT_EQ(stage.NextRelease(60), 50u);
}

TEST_F(FaultyDevice, AnswersAlsoFromASecondMacId)
{
    WithFaults("second-mac=12");
    EXPECT_EQ(Send("5FE: 00 4B 03 01 03 00"), (Frames{"463: 00 CB 00", "5FB: 00 CB 00"}));
    ASSERT_EQ(Send("5FC: 00 10 05 02 09 00 00"), (Frames{"463: 00 90 00 00", "5FB: 00 90 00 00"}));
    const Frames poll = Send("5FD:");
    ASSERT_EQ(poll.size(), 6u);
    EXPECT_EQ(poll[0], "3CC: 00 00 00 00 00 00 00 00");
    EXPECT_EQ(poll[1], "3FF: 00 00 00 00 00 00 00 00");
}

TEST_F(FaultyDevice, SkipsAFragmentCount)
{
    Allocate(0x03);
    ASSERT_EQ(Set(5, 2, 9, {0x00, 0x00}).at(0), 0x90);
    WithFaults("bad-fragments=skip-count");
    EXPECT_EQ(Send("5FC: 00 0E 01 01 07"), Frames{"5FB: 80 00 8E 09 42 72 65 6C"});
    EXPECT_TRUE(Send("5FC: 80 C1 00").empty());
    EXPECT_EQ(Send("5FC: 80 C0 00"), Frames{"5FB: 80 82 69 6E 20 47 57"});
    EXPECT_EQ(Send("5FD:"),
              (Frames{"3FF: 00 00 00 00 00 00 00 00", "3FF: 42 00 00 00 00 00 00 00", "3FF: 83 00 00 00"}));
}

TEST_F(FaultyDevice, LeavesOutTheFirstFragment)
{
    Allocate(0x03);
    ASSERT_EQ(Set(5, 2, 9, {0x00, 0x00}).at(0), 0x90);
    WithFaults("bad-fragments=missing-first");
    EXPECT_EQ(Send("5FC: 00 0E 01 01 07"), Frames{"5FB: 80 40 8E 09 42 72 65 6C"});
    EXPECT_EQ(Send("5FD:"),
              (Frames{"3FF: 40 00 00 00 00 00 00 00", "3FF: 41 00 00 00 00 00 00 00", "3FF: 82 00 00 00"}));
}

TEST_F(FaultyDevice, StopsAfterTheFirstFragment)
{
    Allocate(0x03);
    ASSERT_EQ(Set(5, 2, 9, {0x00, 0x00}).at(0), 0x90);
    WithFaults("bad-fragments=truncate");
    EXPECT_EQ(Send("5FC: 00 0E 01 01 07"), Frames{"5FB: 80 00 8E 09 42 72 65 6C"});
    EXPECT_TRUE(Send("5FC: 80 C0 00").empty());
    EXPECT_TRUE(Wait(3000).empty());
    EXPECT_EQ(Send("5FD:"), Frames{"3FF: 00 00 00 00 00 00 00 00"});
}

} // namespace
} // namespace devsim::test
