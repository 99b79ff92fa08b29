// Polled I/O: the command on Group 2 message 5, the response on Group 1 message 15, I/O
// fragmentation both ways, the sizes of the poll connection.

#include "DeviceFixture.h"

namespace devsim::test {
namespace {

class PolledIo : public DeviceTest {
protected:
    void Line(const std::string& text)
    {
        device->SerialInput(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), now);
    }
};

TEST_F(PolledIo, OutOfTheBoxA17ByteResponseInThreeFragments)
{
    OpenPoll();
    EXPECT_EQ(Send("5FD: 41 42 43 00 00 00 00 00"),
              (Frames{"3FF: 00 00 00 00 00 00 00 00", "3FF: 41 00 00 00 00 00 00 00", "3FF: 82 00 00 00"}));
    EXPECT_EQ(serial, "ABC\r\n") << "transmit channel 1: the string, then CR LF";
    serial.clear();
    EXPECT_EQ(Send("5FD: 41 42 43 00 00 00 00 00").size(), 3u);
    EXPECT_EQ(serial, "") << "unchanged data is not sent again";
    EXPECT_EQ(Send("5FD: 41 42 43 44 00 00 00 00").size(), 3u);
    EXPECT_EQ(serial, "ABCD\r\n");
}

TEST_F(PolledIo, ALineFromTheSerialSideArrivesInTheResponse)
{
    OpenPoll();
    Line("hi\r");
    EXPECT_EQ(Send("5FD: 00 00 00 00 00 00 00 00"),
              (Frames{"3FF: 00 01 68 69 20 20 20 20", "3FF: 41 20 20 20 20 20 20 20", "3FF: 82 20 20 20"}))
        << "toggle of channel 1 set, then 'hi' padded with blanks";
    Line("abcdefghijklmnopqrstuvwxyz\r");
    EXPECT_EQ(Send("5FD:"),
              (Frames{"3FF: 00 00 61 62 63 64 65 66", "3FF: 41 67 68 69 6A 6B 6C 6D", "3FF: 82 6E 6F 70"}))
        << "toggle back to 0; the first 16 characters";
}

TEST_F(PolledIo, AnEmptyCommandIsAnsweredAndSendsNothing)
{
    OpenPoll();
    EXPECT_EQ(Value(1, 1, 5), (Bytes{0x71, 0x00})) << "owned, an I/O connection established and idle";
    EXPECT_EQ(Send("5FD:").size(), 3u);
    EXPECT_EQ(serial, "");
    Send("5FD: 31 00 00 00 00 00 00 00");
    EXPECT_EQ(Value(1, 1, 5), (Bytes{0x61, 0x00})) << "run mode";
}

TEST_F(PolledIo, ACommandOfAnotherSizeIsDiscarded)
{
    OpenPoll();
    EXPECT_TRUE(Send("5FD: 41 42 43 44 45").empty());
    EXPECT_EQ(serial, "");
}

TEST_F(PolledIo, NothingBeforeTheConnectionIsEstablished)
{
    Allocate(0x03);
    EXPECT_TRUE(Send("5FD: 41 42 43 00 00 00 00 00").empty()) << "configuring: no expected packet rate yet";
    ASSERT_EQ(Set(5, 2, 9, {0x00, 0x00}), (Bytes{0x90, 0x00, 0x00}));
    EXPECT_EQ(Send("5FD: 41 42 43 00 00 00 00 00").size(), 3u);
    EXPECT_TRUE(Send("5F5: 41 42 43 00 00 00 00 00").empty()) << "another node's poll";
    EXPECT_EQ(Send("5FE: 00 4C 03 01 02"), Frames{"5FB: 00 CC"});
    EXPECT_TRUE(Send("5FD: 41 42 43 00 00 00 00 00").empty()) << "released";
}

TEST_F(PolledIo, AResponseOfEightBytesTakesOneFrame)
{
    Allocate(0x01);
    ASSERT_EQ(Set(65, 1, 10, {7}), Bytes{0x90});
    Allocate(0x02);
    ASSERT_EQ(Set(5, 2, 9, {0x00, 0x00}).at(0), 0x90);
    EXPECT_EQ(Value(5, 2, 7), (Bytes{8, 0}));
    Line("ok\r");
    EXPECT_EQ(Send("5FD: 00 00 00 00 00 00 00 00"), Frames{"3FF: 01 6F 6B 20 20 20 20 20"});
}

class FragmentedCommand : public PolledIo {
protected:
    void SetUp() override
    {
        PolledIo::SetUp();
        Allocate(0x01);
        ASSERT_EQ(Set(66, 1, 10, {12}), Bytes{0x90});
        Allocate(0x02);
        ASSERT_EQ(Set(5, 2, 9, {0x00, 0x00}).at(0), 0x90);
        ASSERT_EQ(Value(5, 2, 8), (Bytes{12, 0}));
    }
};

TEST_F(FragmentedCommand, IsReassembledAndAnswered)
{
    EXPECT_TRUE(Send("5FD: 00 41 42 43 44 45 46 47").empty());
    EXPECT_EQ(Send("5FD: 81 48 49 4A 4B 4C").size(), 3u);
    EXPECT_EQ(serial, "ABCDEFGHIJKL\r\n");
    EXPECT_EQ(Value(4, 150, 3), ParseHex("41 42 43 44 45 46 47 48 49 4A 4B 4C"));
}

TEST_F(FragmentedCommand, EmptyFragmentsMakeAnIdleCommand)
{
    EXPECT_TRUE(Send("5FD: 00").empty());
    EXPECT_EQ(Send("5FD: 81").size(), 3u);
    EXPECT_EQ(serial, "");
}

TEST_F(FragmentedCommand, BrokenSeriesAreDiscarded)
{
    EXPECT_TRUE(Send("5FD: 00 41 42 43 44 45 46 47").empty());
    EXPECT_TRUE(Send("5FD: 82 48 49 4A 4B 4C").empty()) << "count 2 after 0";
    EXPECT_TRUE(Send("5FD: 81 48 49 4A 4B 4C").empty()) << "the series is gone";
    EXPECT_TRUE(Send("5FD: 41 48 49 4A 4B 4C 4D 4E").empty()) << "a middle without a first";
    EXPECT_TRUE(Send("5FD: 00 41 42 43 44 45 46 47").empty());
    EXPECT_TRUE(Send("5FD: 41 48 49 4A 4B 4C 4D 4E").empty());
    EXPECT_TRUE(Send("5FD: 82 4F").empty()) << "15 bytes for a 12-byte connection";
    EXPECT_TRUE(Send("5FD: 41 42 43 00 00 00 00 00").empty()) << "an unfragmented command";
    EXPECT_EQ(serial, "");
    EXPECT_TRUE(Send("5FD: 00 41 42 43 44 45 46 47").empty());
    EXPECT_EQ(Send("5FD: 81 48 49 4A 4B 4C").size(), 3u) << "a new series starts with a first fragment";
}

TEST_F(PolledIo, SizesAreLatchedWhenThePollConnectionIsAllocated)
{
    OpenPoll();
    ASSERT_EQ(Set(65, 1, 10, {4}), Bytes{0x90});
    EXPECT_EQ(Value(64, 1, 20), (Bytes{5, 0})) << "the configured size";
    EXPECT_EQ(Value(5, 2, 7), (Bytes{17, 0})) << "the connection's size";
    EXPECT_EQ(Send("5FD:").size(), 3u) << "still 17 bytes";
    EXPECT_EQ(Send("5FE: 00 4C 03 01 02"), Frames{"5FB: 00 CC"});
    Allocate(0x02);
    ASSERT_EQ(Set(5, 2, 9, {0x00, 0x00}).at(0), 0x90);
    EXPECT_EQ(Value(5, 2, 7), (Bytes{5, 0}));
    EXPECT_EQ(Send("5FD:"), Frames{"3FF: 00 00 00 00 00"});
}

TEST_F(PolledIo, SeveralChannelsInTheirInstanceOrder)
{
    Allocate(0x01);
    ASSERT_EQ(Set(65, 1, 10, {2}), Bytes{0x90});
    ASSERT_EQ(Set(65, 3, 15, {1}), Bytes{0x90});
    ASSERT_EQ(Set(65, 3, 16, {1}), Bytes{0x90});
    ASSERT_EQ(Set(65, 3, 9, {0xC7}), Bytes{0x90}) << "unsigned 16-bit";
    ASSERT_EQ(Set(65, 3, 6, {0x03}), Bytes{0x90}) << "data after a pre-string";
    ASSERT_EQ(Set(65, 3, 7, Text("T=")), Bytes{0x90});
    ASSERT_EQ(Set(66, 1, 10, {2}), Bytes{0x90});
    ASSERT_EQ(Set(66, 2, 15, {1}), Bytes{0x90});
    ASSERT_EQ(Set(66, 2, 9, {0xC3}), Bytes{0x90}) << "signed 16-bit";
    Allocate(0x02);
    ASSERT_EQ(Set(5, 2, 9, {0x00, 0x00}).at(0), 0x90);
    ASSERT_EQ(Value(5, 2, 7), (Bytes{5, 0}));
    ASSERT_EQ(Value(5, 2, 8), (Bytes{4, 0}));
    Line("T=1234\r");
    Line("xy\r");
    EXPECT_EQ(Send("5FD: 4F 4B FE FF"), Frames{"3FF: 05 78 79 D2 04"})
        << "toggles of channels 1 and 3, 'xy', then 1234";
    EXPECT_EQ(serial, "OK\r\n-2");
}

} // namespace
} // namespace devsim::test
