// The predefined master/slave connection set on the unconnected port, who may use the explicit
// connection, the inactivity watchdogs and the duplicate MAC ID check.

#include "DeviceFixture.h"

namespace devsim::test {
namespace {

class ConnectionSet : public DeviceTest {};

TEST_F(ConnectionSet, AllocatesAndReleasesEachConnection)
{
    EXPECT_EQ(Send("5FE: 00 4B 03 01 01 00"), Frames{"5FB: 00 CB 00"}) << "message body format 8/8";
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x01, 0x00})) << "explicit, allocated by master 0";
    EXPECT_EQ(Send("5FE: 00 4B 03 01 02 00"), Frames{"5FB: 00 CB 00"});
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x03, 0x00}));
    EXPECT_EQ(Value(5, 2, 1), Bytes{1}) << "the poll connection waits for its expected packet rate";

    EXPECT_EQ(Send("5FE: 00 4C 03 01 02"), Frames{"5FB: 00 CC"});
    EXPECT_EQ(Value(5, 2, 1), Bytes{0});
    EXPECT_EQ(Send("5FE: 00 4C 03 01 01"), Frames{"5FB: 00 CC"});
    EXPECT_EQ(Send("5FE: 00 4B 03 01 01 00"), Frames{"5FB: 00 CB 00"});
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x01, 0x00}));
}

TEST_F(ConnectionSet, AllocatesBothAtOnceAndEchoesTheTransactionBit)
{
    EXPECT_EQ(Send("5FE: 45 4B 03 01 03 05"), Frames{"5FB: 45 CB 00"});
    EXPECT_EQ(Send("5FC: 45 0E 03 01 05"), Frames{"5FB: 45 8E 03 05"});
    EXPECT_EQ(Send("5FE: 05 4C 03 01 03"), Frames{"5FB: 05 CC"});
    EXPECT_TRUE(Get(3, 1, 5).empty()) << "nothing allocated: nothing answers";
}

struct ErrorCase {
    const char* name;
    const char* before; // an allocation made first, or ""
    const char* request;
    const char* answer;
};

class ConnectionSetErrors : public DeviceTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ConnectionSetErrors, AnswersWithTheStandardErrorResponse)
{
    if (*GetParam().before) {
        ASSERT_EQ(Send(GetParam().before).size(), 1u);
    }
    EXPECT_EQ(Send(GetParam().request), Frames{GetParam().answer});
}

INSTANTIATE_TEST_SUITE_P(
    Unconnected, ConnectionSetErrors,
    ::testing::Values(
        ErrorCase{"ChoiceZero", "", "5FE: 00 4B 03 01 00 00", "5FB: 00 94 20 02"},
        ErrorCase{"BitStrobeNotSupported", "", "5FE: 00 4B 03 01 04 00", "5FB: 00 94 20 02"},
        ErrorCase{"ChangeOfStateNotSupported", "", "5FE: 00 4B 03 01 11 00", "5FB: 00 94 20 02"},
        ErrorCase{"AllocatorMacIdOutOfRange", "", "5FE: 00 4B 03 01 01 40", "5FB: 00 94 20 FF"},
        ErrorCase{"AlreadyAllocated", "5FE: 00 4B 03 01 01 00", "5FE: 00 4B 03 01 03 00", "5FB: 00 94 0B 02"},
        ErrorCase{"ReleaseOfWhatIsNotAllocated", "5FE: 00 4B 03 01 01 00", "5FE: 00 4C 03 01 02", "5FB: 00 94 0B 02"},
        ErrorCase{"ReleaseWhenNothingIsAllocated", "", "5FE: 00 4C 03 01 01", "5FB: 00 94 0B 02"},
        ErrorCase{"SecondMasterAllocates", "5FE: 00 4B 03 01 01 00", "5FE: 07 4B 03 01 02 07", "5FB: 07 94 0C 01"},
        ErrorCase{"SecondMasterReleases", "5FE: 00 4B 03 01 01 00", "5FE: 07 4C 03 01 01", "5FB: 07 94 0C 01"},
        ErrorCase{"ReleaseChoiceInvalid", "5FE: 00 4B 03 01 01 00", "5FE: 00 4C 03 01 80", "5FB: 00 94 20 02"},
        ErrorCase{"OtherServiceOnTheUnconnectedPort", "", "5FE: 00 0E 01 01 01", "5FB: 00 94 08 03"},
        ErrorCase{"WrongClass", "", "5FE: 00 4B 01 01 01 00", "5FB: 00 94 16 FF"},
        ErrorCase{"WrongInstance", "", "5FE: 00 4B 03 02 01 00", "5FB: 00 94 16 FF"},
        ErrorCase{"AllocateTooShort", "", "5FE: 00 4B 03 01 01", "5FB: 00 94 13 FF"},
        ErrorCase{"AllocateTooLong", "", "5FE: 00 4B 03 01 01 00 00", "5FB: 00 94 15 FF"},
        ErrorCase{"ReleaseTooLong", "5FE: 00 4B 03 01 01 00", "5FE: 00 4C 03 01 01 00", "5FB: 00 94 15 FF"},
        ErrorCase{"PathMissing", "", "5FE: 00 4B 03", "5FB: 00 94 13 FF"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionSet, RefusedAllocationChangesNothing)
{
    Allocate(0x01);
    EXPECT_EQ(Send("5FE: 07 4B 03 01 02 07"), Frames{"5FB: 07 94 0C 01"});
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x01, 0x00}));
    EXPECT_EQ(Value(5, 2, 1), Bytes{0});
}

TEST_F(ConnectionSet, IgnoresWhatIsNotARequestOnTheUnconnectedPort)
{
    EXPECT_TRUE(Send("5FE: 80 4B 03 01 01 00").empty()) << "fragmented";
    EXPECT_TRUE(Send("5FE: 00 CB 00").empty()) << "a response";
    EXPECT_TRUE(Send("5FE: 00").empty()) << "no service";
    EXPECT_TRUE(Send("5F6: 00 4B 03 01 01 00").empty()) << "another node's unconnected port";
    canbus::Frame extended = ParseFrame("5FE: 00 4B 03 01 01 00");
    extended.extended = true;
    sent.clear();
    device->OnFrame(extended, now);
    EXPECT_TRUE(sent.empty()) << "an extended frame";
}

TEST_F(ConnectionSet, ExplicitRequestsOnlyFromTheOwnerWhileAllocated)
{
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty()) << "nothing allocated";
    Allocate(0x02);
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty()) << "only the poll connection is allocated";
    Allocate(0x01);
    EXPECT_EQ(Send("5FC: 00 0E 01 01 01"), Frames{"5FB: 00 8E B7 04"});
    EXPECT_TRUE(Send("5FC: 05 0E 01 01 01").empty()) << "another master";
    EXPECT_TRUE(Send("5F4: 00 0E 01 01 01").empty()) << "another node";
    EXPECT_EQ(Send("5FE: 00 4C 03 01 01"), Frames{"5FB: 00 CC"});
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty()) << "released";
}

TEST_F(ConnectionSet, AllocateAndReleaseOverTheExplicitConnection)
{
    Allocate(0x01);
    EXPECT_EQ(Request({0x4B, 0x03, 0x01, 0x02, 0x00}), (Bytes{0xCB, 0x00}));
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x03, 0x00}));
    EXPECT_EQ(Request({0x4B, 0x03, 0x01, 0x02, 0x00}), Error(0x0B, 0x02));
    EXPECT_EQ(Request({0x4C, 0x03, 0x01, 0x03}), (Bytes{0xCC}));
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty()) << "the explicit connection released itself";
}

TEST_F(ConnectionSet, ConnectionInstancesFollowTheAllocation)
{
    Allocate(0x01);
    EXPECT_EQ(Value(5, 1, 1), Bytes{3}) << "established";
    EXPECT_EQ(Value(5, 1, 9), (Bytes{0xC4, 0x09})) << "2500 ms";
    EXPECT_EQ(Value(5, 1, 12), Bytes{1}) << "auto delete";
    EXPECT_EQ(Value(5, 2, 1), Bytes{0}) << "non-existent";
    EXPECT_EQ(Set(5, 2, 9, {0x64, 0x00}), Error(0x0C)) << "a connection that does not exist";
    Allocate(0x02);
    EXPECT_EQ(Value(5, 2, 1), Bytes{1}) << "configuring";
    EXPECT_EQ(Set(5, 2, 9, {0x64, 0x00}), (Bytes{0x90, 0x64, 0x00})) << "the answer carries the rate in use";
    EXPECT_EQ(Value(5, 2, 1), Bytes{3}) << "established by its expected packet rate";
}

class Watchdog : public DeviceTest {};

TEST_F(Watchdog, ExplicitConnectionDeletesItselfAfterFourPacketRates)
{
    Allocate(0x01);
    Wait(9990);
    EXPECT_EQ(Value(1, 1, 1), (Bytes{0xB7, 0x04})) << "a request keeps the connection";
    Wait(9990);
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x01, 0x00}));
    Wait(10000);
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty()) << "deleted after 4 x 2500 ms";
    EXPECT_EQ(Send("5FE: 07 4B 03 01 01 07"), Frames{"5FB: 07 CB 00"}) << "the set is free for another master";
}

TEST_F(Watchdog, NoWatchdogWithoutAnExpectedPacketRate)
{
    Allocate(0x01);
    ASSERT_EQ(Set(5, 1, 9, {0x00, 0x00}), (Bytes{0x90, 0x00, 0x00}));
    Wait(600000, 1000);
    EXPECT_EQ(Value(5, 1, 1), Bytes{3});
}

TEST_F(Watchdog, DeferredDeleteWaitsForThePollConnection)
{
    OpenPoll(1000);
    ASSERT_EQ(Set(5, 1, 12, {0x03}), Bytes{0x90});
    ASSERT_EQ(Set(5, 2, 12, {0x02}), Bytes{0x90}) << "the poll connection restarts its own watchdog";
    Wait(10000);
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x03, 0x00})) << "a message brings the deferred connection back";
    Wait(10000);
    EXPECT_EQ(Send("5FE: 00 4C 03 01 02"), Frames{"5FB: 00 CC"});
    EXPECT_TRUE(Send("5FC: 00 0E 01 01 01").empty()) << "deleted with the last I/O connection";
}

TEST_F(Watchdog, PollConnectionTimesOutAndIsResetByTheMaster)
{
    OpenPoll(100);
    EXPECT_EQ(Send("5FD:").size(), 3u) << "a 17-byte response in three fragments";
    Wait(399);
    EXPECT_EQ(Send("5FD:").size(), 3u);
    Wait(400);
    EXPECT_TRUE(Send("5FD:").empty()) << "timed out: commands are not consumed";
    EXPECT_EQ(Value(5, 2, 1), Bytes{4});
    EXPECT_EQ(Value(1, 1, 5), (Bytes{0x21, 0x00})) << "owned, an I/O connection faulted";
    EXPECT_EQ(Request({0x05, 0x05, 0x02}), Bytes{0x85});
    EXPECT_EQ(Value(5, 2, 1), Bytes{3});
    EXPECT_EQ(Send("5FD:").size(), 3u);
}

TEST_F(Watchdog, PollConnectionAutoDeleteAndAutoReset)
{
    OpenPoll(100);
    ASSERT_EQ(Set(5, 2, 12, {0x02}), Bytes{0x90});
    Wait(1000);
    EXPECT_EQ(Value(5, 2, 1), Bytes{3}) << "auto reset keeps it established";
    ASSERT_EQ(Set(5, 2, 12, {0x01}), Bytes{0x90});
    ASSERT_EQ(Set(5, 1, 9, {0x00, 0x00}).at(0), 0x90);
    Wait(400);
    EXPECT_EQ(Value(5, 2, 1), Bytes{0}) << "auto delete";
    EXPECT_EQ(Value(3, 1, 5), (Bytes{0x01, 0x00}));
}

class DuplicateMacCheck : public DeviceTest {
protected:
    void SetUp() override
    {
        Options options;
        options.duplicateMacCheck = true;
        Make(options);
    }
};

TEST_F(DuplicateMacCheck, GoesOnLineAfterTwoUnansweredRequests)
{
    EXPECT_EQ(sent, Frames{"5FF: 00 B7 04 C5 E1 B7 00"}) << "port 0, vendor 1207, serial number";
    EXPECT_FALSE(device->Online());
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty()) << "not on line yet";
    EXPECT_EQ(Wait(1000), Frames{"5FF: 00 B7 04 C5 E1 B7 00"});
    EXPECT_TRUE(Wait(990).empty());
    Wait(10);
    EXPECT_TRUE(device->Online());
    EXPECT_EQ(Send("5FF: 00 11 11 22 22 22 22"), Frames{"5FF: 80 B7 04 C5 E1 B7 00"})
        << "another node checking our MAC ID gets our response";
    EXPECT_TRUE(Send("5FF: 80 11 11 22 22 22 22").empty()) << "a response is not answered";
    EXPECT_TRUE(Send("5FF:").empty());
    EXPECT_TRUE(device->Online());
    Allocate(0x01);
}

TEST_F(DuplicateMacCheck, StaysOffLineWhenAnotherNodeHasItsMacId)
{
    EXPECT_TRUE(Send("5FF: 80 11 11 22 22 22 22").empty());
    EXPECT_TRUE(Wait(5000).empty());
    EXPECT_FALSE(device->Online());
    EXPECT_TRUE(Send("5FE: 00 4B 03 01 01 00").empty());
}

} // namespace
} // namespace devsim::test
