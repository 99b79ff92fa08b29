// Allocate and Release of the predefined master/slave connection set, frame by frame.

#include "MasterFixture.h"

namespace orv::test {
namespace {

using ConnectionSet = SstMaster;

TEST_F(ConnectionSet, AllocateSendsTheChoiceAndTheAllocatorAndTakesTheNodesAnswer)
{
    peer.Stale("463: 01 CB 00");
    peer.Expect("466: 01 4B 03 01 01 01").Reply("463: 01 CB 00");
    peer.Expect("466: 01 4B 03 01 02 01").Reply("7FF:").Reply("463: 01 CB 00");
    EXPECT_EQ(master.DNAllocate(kSlave, 1), 0);
    EXPECT_EQ(master.DNAllocate(kSlave, 2), 0);
}

TEST_F(ConnectionSet, ReleaseSendsTheChoice)
{
    peer.Expect("466: 01 4C 03 01 01").Reply("463: 01 CC");
    peer.Expect("466: 01 4C 03 01 02").Reply("463: 01 CC");
    EXPECT_EQ(master.DNFree(kSlave, 1), 0);
    EXPECT_EQ(master.DNFree(kSlave, 2), 0);
}

TEST_F(ConnectionSet, ErrorResponseIsASuccessfulExchange)
{
    peer.Expect("466: 01 4B 03 01 01 01").Reply("463: 01 94 02 00");
    peer.Expect("466: 01 4C 03 01 01").Reply("463: 01 94 0C 00");
    EXPECT_EQ(master.DNAllocate(kSlave, 1), 0);
    EXPECT_EQ(master.DNFree(kSlave, 1), 0);
}

TEST_F(ConnectionSet, NodeAddressIsTakenModulo64)
{
    peer.Expect("466: 01 4B 03 01 01 01").Reply("463: 01 CB 00");
    peer.Expect("5FE: 01 4C 03 01 02").Reply("5FB: 01 CC");
    peer.Expect("406: 01 4B 03 01 03 01").Reply("403: 01 CB 00");
    EXPECT_EQ(master.DNAllocate(76, 1), 0);
    EXPECT_EQ(master.DNFree(-1, 2), 0);
    EXPECT_EQ(master.DNAllocate(64, 3), 0);
}

TEST_F(ConnectionSet, NothingAnsweringTimesOut)
{
    peer.Expect("466: 01 4B 03 01 01 01").NoReply();
    peer.Expect("466: 01 4C 03 01 01").NoReply();
    EXPECT_EQ(master.DNAllocate(kSlave, 1), -1);
    EXPECT_EQ(peer.Elapsed(), 1001u);
    EXPECT_EQ(master.DNFree(kSlave, 1), -1);
    EXPECT_EQ(peer.Elapsed(), 2002u);
}

// A scan allocates at every address: a busy network or another node's answer must not make an
// absent node look present.
TEST_F(ConnectionSet, OnlyTheAskedNodeAnswers)
{
    peer.Expect("466: 01 4B 03 01 01 01").Reply("100: 01 02").Reply("453: 01 CB 00").ReplyAfter(500, "100: 03");
    peer.Expect("466: 01 4C 03 01 01").Reply("100: 04").Reply("463: 01 CC");
    EXPECT_EQ(master.DNAllocate(kSlave, 1), -1);
    EXPECT_EQ(peer.Elapsed(), 1001u);
    EXPECT_EQ(master.DNFree(kSlave, 1), 0);
    const std::string trace(port().Trace().Text());
    EXPECT_NE(trace.find("[453] 01 CB 00"), std::string::npos) << trace;
    EXPECT_NE(trace.find("[100] 03"), std::string::npos) << trace;
}

TEST_F(ConnectionSet, LateAnswerWithinTheTimeoutCounts)
{
    peer.Expect("466: 01 4B 03 01 01 01").ReplyAfter(999, "463: 01 CB 00");
    EXPECT_EQ(master.DNAllocate(kSlave, 1), 0);
}

TEST_F(ConnectionSet, RefusedRequestFailsWithoutWaiting)
{
    peer.Expect("466: 01 4B 03 01 01 01").Refuse();
    peer.Expect("466: 01 4C 03 01 01").Refuse();
    EXPECT_EQ(master.DNAllocate(kSlave, 1), -1);
    EXPECT_EQ(master.DNFree(kSlave, 1), -1);
    EXPECT_EQ(peer.Elapsed(), 2u);
}

TEST_F(ConnectionSet, ClosedCardSendsNothingAndDoesNotDrain)
{
    peer.Stale("463: 01 CB 00");
    port().Close();
    EXPECT_EQ(master.DNAllocate(kSlave, 1), -1);
    EXPECT_EQ(master.DNFree(kSlave, 1), -1);
    EXPECT_EQ(peer.ReceiveCalls(), 0u);
    port().Open(kMasterMac);
    port().DrainReceive();
}

TEST_F(ConnectionSet, TimeoutZeroFailsOnceTheRequestIsOut)
{
    port().SetTimeout(0);
    peer.Expect("466: 01 4B 03 01 01 01").Reply("463: 01 CB 00");
    EXPECT_EQ(master.DNAllocate(kSlave, 1), -1);
    port().DrainReceive();
}

TEST_F(SystecMaster, AllocateAndReleaseAlternateTheTransactionBit)
{
    peer.Expect("466: 41 4B 03 01 01 01").Reply("463: 41 CB 00");
    peer.Expect("466: 01 4B 03 01 02 01").Reply("463: 01 CB 00");
    peer.Expect("466: 41 4C 03 01 02").Reply("463: 41 CC");
    peer.Expect("464: 01 0E 05 02 08").Reply("463: 01 8E 08 00");
    EXPECT_EQ(master.DNAllocate(kSlave, 1), 0);
    EXPECT_EQ(master.DNAllocate(kSlave, 2), 0);
    EXPECT_EQ(master.DNFree(kSlave, 2), 0);
    GuardedBuffer reply;
    EXPECT_EQ(master.DNGetAttribute(kSlave, 5, 2, 8, reply.data()), 0);
}

TEST_F(SystecMaster, AllocatorIsTheMastersOwnMacId)
{
    port().Open(0x3F);
    peer.Expect("466: 7F 4B 03 01 01 3F").Reply("463: 41 CB 00");
    peer.Expect("466: 3F 4C 03 01 01").Reply("463: 01 CC");
    EXPECT_EQ(master.DNAllocate(kSlave, 1), 0);
    EXPECT_EQ(master.DNFree(kSlave, 1), 0);
}

} // namespace
} // namespace orv::test
