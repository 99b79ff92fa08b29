#include "canbus/VirtualCanLine.h"

#include "Frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace canbus {
namespace {

using namespace canbus::testing;

TEST(VirtualCanLine, WritesDecimalIdentifierFlagsAndLowerCaseHex)
{
    EXPECT_EQ(FrameText(MakeFrame(0x123, {0x01, 0xAB, 0xFF})), "291##01abff");
    EXPECT_EQ(FrameText(MakeFrame(5, {})), "5##");
    EXPECT_EQ(FrameText(MakeFrame(0x1FFFFFFF, {0x10}, true)), "536870911#X#10");
    // A remote request says how many bytes it asks for, with zeros.
    EXPECT_EQ(FrameText(MakeFrame(0x1234, {0xAA, 0xBB, 0xCC}, true, true)), "4660#RX#000000");
    EXPECT_EQ(FrameText(MakeFrame(0x7FF, {1, 2, 3, 4, 5, 6, 7, 8})), "2047##0102030405060708");
}

TEST(VirtualCanLine, ReadsWhatQtWrites)
{
    Frame frame;
    ASSERT_TRUE(ParseFrameText("123##0102AB", frame));
    EXPECT_EQ(frame.id, 123u);
    EXPECT_FALSE(frame.extended);
    EXPECT_FALSE(frame.remote);
    ASSERT_EQ(frame.length, 3);
    EXPECT_EQ(frame.data[0], 0x01);
    EXPECT_EQ(frame.data[2], 0xAB);

    ASSERT_TRUE(ParseFrameText("536870911#X#", frame));
    EXPECT_EQ(frame.id, 0x1FFFFFFFu);
    EXPECT_TRUE(frame.extended);
    EXPECT_EQ(frame.length, 0);

    ASSERT_TRUE(ParseFrameText("5#R#000000", frame));
    EXPECT_TRUE(frame.remote);
    EXPECT_EQ(frame.length, 3);

    ASSERT_TRUE(ParseFrameText("7#L#01", frame)); // a local echo is a frame like any other
    EXPECT_EQ(frame.length, 1);
}

TEST(VirtualCanLine, RefusesWhatIsNoClassicFrame)
{
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"1##010203040506070809", "more than 8 data bytes"},
        {"1#F#00", "CAN FD frame"},
        {"1#B#00", "CAN FD frame"},
        {"1#E#00", "CAN FD frame"},
        {"1#Q#00", "unknown flag"},
        {"1##0", "odd number of hex digits"},
        {"1##zz", "bad hex digit"},
        {"2048##", "bad identifier"},
        {"536870912#X#", "bad identifier"},
        {"-1##", "bad identifier"},
        {"+1##", "bad identifier"},
        {"0x10##", "bad identifier"},
        {"##", "bad identifier"},
        {"12345678901#X#", "bad identifier"},
        {"1#", "not three fields"},
        {"1##00#", "not three fields"},
        {"", "not three fields"},
    };
    for (const auto& c : cases) {
        Frame frame = MakeFrame(99, {9});
        std::string_view why;
        EXPECT_FALSE(ParseFrameText(c.text, frame, &why)) << c.text;
        EXPECT_EQ(why, c.why) << c.text;
        EXPECT_EQ(frame.id, 99u) << "a refused line leaves the frame alone: " << c.text;
    }
    Frame frame;
    EXPECT_TRUE(ParseFrameText("2048#X#", frame)) << "an extended identifier may exceed 11 bits";
}

TEST(VirtualCanLine, TellsClientLinesApart)
{
    ClientLine line = ParseClientLine("connect:can0");
    EXPECT_EQ(line.kind, ClientLine::Kind::Connect);
    EXPECT_EQ(line.channel, "can0");

    line = ParseClientLine("disconnect:can1");
    EXPECT_EQ(line.kind, ClientLine::Kind::Disconnect);
    EXPECT_EQ(line.channel, "can1");

    line = ParseClientLine("can1:291#X#0102");
    ASSERT_EQ(line.kind, ClientLine::Kind::Frame);
    EXPECT_EQ(line.channel, "can1");
    EXPECT_EQ(line.frame.id, 291u);
    EXPECT_TRUE(line.frame.extended);
    EXPECT_EQ(line.frame.length, 2);

    for (const char* bad : {"connect:", "can0", "can0:", ":1##", "can0:1##0g", "can 0:1##", "291##01"}) {
        EXPECT_EQ(ParseClientLine(bad).kind, ClientLine::Kind::Malformed) << bad;
    }
}

TEST(VirtualCanLine, TellsHubLinesApart)
{
    const struct {
        const char* text;
        HubLine::Kind kind;
        const char* channel;
        const char* reason;
    } cases[] = {
        {"291##0102", HubLine::Kind::Frame, "", ""},
        {"disconnect:can0", HubLine::Kind::Disconnect, "can0", ""},
        {"disconnect:can1 full", HubLine::Kind::Disconnect, "can1", "full"},
        {"disconnect:", HubLine::Kind::Malformed, "", ""},
        {"disconnect: full", HubLine::Kind::Malformed, "", ""},
        {"connect:can0", HubLine::Kind::Malformed, "", ""},
        {"can0:1##", HubLine::Kind::Malformed, "", ""},
    };
    for (const auto& c : cases) {
        const HubLine line = ParseHubLine(c.text);
        EXPECT_EQ(line.kind, c.kind) << c.text;
        EXPECT_EQ(line.channel, c.channel) << c.text;
        EXPECT_EQ(line.reason, c.reason) << c.text;
    }
    EXPECT_EQ(ParseHubLine("291##0102").frame.id, 291u);
}

TEST(LineReader, SplitsAStreamIntoTrimmedLinesAndSkipsOverlongOnes)
{
    LineReader reader(8);
    std::vector<std::string> lines;
    int overlong = 0;
    const auto feed = [&](std::string_view bytes) {
        reader.Feed(
            bytes.data(), bytes.size(), [&](std::string_view line) { lines.emplace_back(line); }, [&] { ++overlong; });
    };
    feed("5##0");
    EXPECT_TRUE(lines.empty());
    feed("1\r\n 6## \n");
    feed("123456789##\n7##\n");
    feed("12345678\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"5##01", "6##", "7##", "12345678"}));
    EXPECT_EQ(overlong, 1);
}

} // namespace
} // namespace canbus
