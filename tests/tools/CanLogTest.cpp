// The CAN trace as dnet keeps it: the card's trace lines read back into frames, and written as
// candump -L lines.

#include "tools/dnet/CanLog.h"

#include "canbus/CandumpFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace orv::dnet {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::system_clock;

system_clock::time_point At(long long micros)
{
    return system_clock::time_point(std::chrono::microseconds(micros));
}

TEST(DnetTraceLines, FramesAsTheCardWritesThem)
{
    auto frame = ParseTraceLine("[454] 00 0E 01 01 07 \r\n");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->identifier, 0x454);
    EXPECT_EQ(frame->data, (Bytes{0x00, 0x0E, 0x01, 0x01, 0x07}));

    auto empty = ParseTraceLine("[005] \r\n");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->identifier, 0x005);
    EXPECT_TRUE(empty->data.empty());

    auto full = ParseTraceLine("[7FF] 01 02 03 04 05 06 07 08 ");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->data.size(), 8u);
}

TEST(DnetTraceLines, OtherTextIsNoFrame)
{
    EXPECT_FALSE(ParseTraceLine("hello"));
    EXPECT_FALSE(ParseTraceLine("[XYZ] 00"));
    EXPECT_FALSE(ParseTraceLine("[800] 00"));                          // beyond 11 bits
    EXPECT_FALSE(ParseTraceLine("[454] 0E0"));                         // not pairs
    EXPECT_FALSE(ParseTraceLine("[454] 01 02 03 04 05 06 07 08 09 ")); // nine bytes
    EXPECT_FALSE(ParseTraceLine("[454 00"));
}

TEST(DnetTraceLines, RoundTripThroughTheTraceFormat)
{
    TracedFrame frame;
    frame.identifier = 0x5FC;
    frame.data = {0x00, 0x0E, 0x01, 0x01, 0x01};
    EXPECT_EQ(TraceLine(frame), "[5FC] 00 0E 01 01 01");
    const auto back = ParseTraceLine(TraceLine(frame));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->data, frame.data);
    frame.data.clear();
    EXPECT_EQ(TraceLine(frame), "[5FC]");
}

std::string CandumpLine(const TracedFrame& frame, std::string_view interfaceName)
{
    return canbus::CandumpLine(AsCanFrame(frame), Microseconds(frame.time), interfaceName);
}

TEST(DnetCandump, TracedFramesAsCandumpLines)
{
    TracedFrame frame;
    frame.time = At(1700000000000123LL);
    frame.identifier = 0x454;
    frame.data = {0x00, 0x0E, 0x01, 0x01, 0x07};
    EXPECT_EQ(CandumpLine(frame, "can0"), "(1700000000.000123) can0 454#000E010107");

    frame.identifier = 0x05;
    frame.data = {0xAB};
    frame.time = At(1999999);
    EXPECT_EQ(CandumpLine(frame, "vcan1"), "(1.999999) vcan1 005#AB");

    frame.data.clear();
    EXPECT_EQ(CandumpLine(frame, "can0"), "(1.999999) can0 005#");
}

TEST(DnetCanLog, AppendsEveryFrameOfAFetchWithItsTime)
{
    CanLog log;
    log.Append("[5FC] 00 0E 01 01 01 \r\n[5FB] 00 8E 4B 01 \r\n", At(10));
    log.Append("", At(20));
    log.Append("[5FC] 00 0E 01 01 07 \r\nnot a frame\r\n\r\n", At(30));
    ASSERT_EQ(log.Frames().size(), 3u);
    EXPECT_EQ(log.Frames()[0].identifier, 0x5FC);
    EXPECT_EQ(log.Frames()[1].data, (Bytes{0x00, 0x8E, 0x4B, 0x01}));
    EXPECT_EQ(log.Frames()[1].time, At(10));
    EXPECT_EQ(log.Frames()[2].time, At(30));
    EXPECT_EQ(log.UnreadableLines(), 1u);
    EXPECT_FALSE(log.MayHaveLostFrames());
}

TEST(DnetCanLog, AFullCardTraceIsFlagged)
{
    std::string text;
    while (text.size() < kCardTraceLimit) {
        text += "[5FC] 00 0E 01 01 01 \r\n";
    }
    CanLog log;
    log.Append(text.substr(0, 999 - 999 % 23), At(1)); // below the limit
    EXPECT_FALSE(log.MayHaveLostFrames());
    log.Append(text, At(2));
    EXPECT_TRUE(log.MayHaveLostFrames());
}

} // namespace
} // namespace orv::dnet
