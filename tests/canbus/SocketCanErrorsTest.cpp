// The SocketCAN bus's answers to what the kernel says, on a fake socket layer and a fake clock:
// refusals at open, an interface lost and opened again, the kernel's drop counts.

#include "canbus/SocketCanBus.h"

#include "FakeCanSockets.h"
#include "Frames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace canbus {
namespace {

using namespace canbus::testing;

constexpr std::uint64_t kMs = 1'000'000;

class SocketCanErrors : public ::testing::Test {
protected:
    std::unique_ptr<SocketCanBus> Open(std::string& error)
    {
        SocketCanOptions options;
        options.retryMs = 100;
        options.noticeCapacity = noticeCapacity;
        options.clock = [this] { return nowNs; };
        options.sockets = &sockets;
        return SocketCanBus::Open("can0", error, options);
    }

    std::unique_ptr<SocketCanBus> Open()
    {
        std::string error;
        auto bus = Open(error);
        EXPECT_TRUE(bus) << error;
        return bus;
    }

    static std::vector<BusNotice> Notices(Bus& bus)
    {
        std::vector<BusNotice> notices;
        for (BusNotice notice; bus.TakeNotice(notice);) {
            notices.push_back(notice);
        }
        return notices;
    }

    static std::vector<BusNotice::Kind> Kinds(const std::vector<BusNotice>& notices)
    {
        std::vector<BusNotice::Kind> kinds;
        for (const auto& notice : notices) {
            kinds.push_back(notice.kind);
        }
        return kinds;
    }

    FakeCanSockets sockets;
    std::uint64_t nowNs = 1000 * kMs;
    std::size_t noticeCapacity = 16;
};

TEST_F(SocketCanErrors, OpenRefusalsNameTheirCauseAndLeaveNoSocketOpen)
{
    struct Row {
        const char* name;
        int openResult;
        int interfaceResult;
        bool up;
        int bindResult;
        const char* message;
    };
    const Row rows[] = {
        {"no CAN in the kernel", -EAFNOSUPPORT, 0, true, 0,
         "socketcan:can0: this kernel has no SocketCAN support (EAFNOSUPPORT: Address family not supported by "
         "protocol)"},
        {"no such interface", 0, -ENODEV, true, 0, "socketcan:can0: no network interface 'can0'"},
        {"interface down", 0, 0, false, 0,
         "socketcan:can0: the interface is down (ENETDOWN: Network is down); bring it up first: ip link set can0 up"},
        {"bind refused", 0, 0, true, -EADDRNOTAVAIL,
         "socketcan:can0: cannot bind to the interface (EADDRNOTAVAIL: Cannot assign requested address)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sockets = FakeCanSockets{};
        sockets.openResult = row.openResult;
        sockets.interfaceResult = row.interfaceResult;
        sockets.up = row.up;
        sockets.bindResult = row.bindResult;
        std::string error;
        EXPECT_EQ(Open(error), nullptr);
        EXPECT_EQ(error, row.message);
        EXPECT_EQ(sockets.closed, row.openResult < 0 ? 0 : 1);
    }
}

TEST_F(SocketCanErrors, AReceiveErrorOfAGoneInterfaceIsReportedAndTheSocketLetGo)
{
    struct Row {
        int error;
        const char* notice; // empty: not lost
    };
    const Row rows[] = {
        {-ENODEV, "socketcan:can0: interface lost (ENODEV: No such device); opening it again when it returns"},
        {-ENETDOWN, "socketcan:can0: interface lost (ENETDOWN: Network is down); opening it again when it returns"},
        {-EAGAIN, ""},
        {-EINTR, ""}, // taken again: the frame behind it comes
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
        sockets = FakeCanSockets{};
        auto bus = Open();
        sockets.QueueError(row.error);
        sockets.QueueFrame(0x123);
        Frame frame;
        const bool lost = *row.notice != '\0';
        EXPECT_EQ(bus->TryReceive(frame) || bus->TryReceive(frame), !lost);
        const auto notices = Notices(*bus);
        if (lost) {
            ASSERT_EQ(notices.size(), 1u);
            EXPECT_EQ(notices[0].kind, BusNotice::Kind::Lost);
            EXPECT_EQ(notices[0].text, row.notice);
            EXPECT_EQ(sockets.closed, 1);
            EXPECT_FALSE(bus->Send(MakeFrame(0x10, {1})));
            EXPECT_EQ(bus->Counters().dropped, 1u);
        } else {
            EXPECT_THAT(notices, ::testing::IsEmpty());
            EXPECT_EQ(frame.id, 0x123u);
            EXPECT_EQ(sockets.closed, 0);
        }
    }
}

TEST_F(SocketCanErrors, ASendErrorOfAGoneInterfaceLosesItAndAFullQueueOnlyTheFrame)
{
    struct Row {
        int error;
        bool lost;
    };
    for (const Row row : {Row{-ENOBUFS, false}, Row{-EAGAIN, false}, Row{-ENETDOWN, true}, Row{-ENODEV, true}}) {
        SCOPED_TRACE(row.error);
        sockets = FakeCanSockets{};
        auto bus = Open();
        sockets.sendResult = row.error;
        EXPECT_FALSE(bus->Send(MakeFrame(0x10, {1})));
        EXPECT_EQ(bus->Counters().dropped, 1u);
        EXPECT_EQ(Kinds(Notices(*bus)), row.lost ? std::vector{BusNotice::Kind::Lost} : std::vector<BusNotice::Kind>{});
        EXPECT_EQ(sockets.closed, row.lost ? 1 : 0);
    }
}

TEST_F(SocketCanErrors, ALostInterfaceIsTriedAgainOnItsScheduleAndCarriesFramesWhenBack)
{
    auto bus = Open();
    Frame frame;
    sockets.dropCount = 10; // the old socket had dropped 10
    sockets.QueueFrame(0x100, 10u);
    ASSERT_TRUE(bus->TryReceive(frame));
    sockets.QueueError(-ENODEV);
    sockets.interfaceResult = -ENODEV;
    EXPECT_FALSE(bus->TryReceive(frame));
    EXPECT_EQ(Kinds(Notices(*bus)), (std::vector{BusNotice::Kind::Dropped, BusNotice::Kind::Lost}));
    EXPECT_EQ(sockets.opened, 1);

    struct Step {
        std::uint64_t afterMs;
        bool interfaceBack;
        int opened; // Open calls so far
    };
    const Step steps[] = {
        {99, false, 1},  // not yet due
        {1, false, 2},   // due: tried, still missing
        {50, false, 2},  // the next try is 100 ms after that one
        {50, true, 3},   // there again
        {500, true, 3},  // open: nothing more to try
    };
    for (const Step& step : steps) {
        nowNs += step.afterMs * kMs;
        sockets.interfaceResult = step.interfaceBack ? 0 : -ENODEV;
        EXPECT_FALSE(bus->TryReceive(frame));
        EXPECT_EQ(sockets.opened, step.opened) << "after " << step.afterMs << " ms";
    }
    const auto back = Notices(*bus);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].kind, BusNotice::Kind::Back);
    EXPECT_EQ(back[0].text, "socketcan:can0: interface back; the bus carries frames again");

    // The new socket counts its drops from nothing.
    sockets.dropCount = 2;
    sockets.QueueFrame(0x321, 2u);
    ASSERT_TRUE(bus->TryReceive(frame));
    EXPECT_EQ(frame.id, 0x321u);
    EXPECT_EQ(bus->Counters().dropped, 12u);
    EXPECT_TRUE(bus->Send(MakeFrame(0x10, {1})));
    EXPECT_EQ(sockets.sent.size(), 1u);
}

TEST_F(SocketCanErrors, KernelDropsAreCountedOnceWhetherAFrameFollowsThemOrNot)
{
    struct Row {
        const char* name;
        std::vector<std::optional<std::uint32_t>> carried; // each queued frame's drop count, if any
        std::uint32_t socketCount;                          // the count the socket reads at the end
        std::uint64_t beforeClose;
        std::uint64_t afterClose;
    };
    const Row rows[] = {
        {"carried on frames", {std::nullopt, 2u, 5u}, 5, 5, 5},
        {"after the last frame, read when the queue runs dry", {std::nullopt, 3u}, 10, 10, 10},
        {"nothing received: read at close", {}, 4, 0, 4},
        {"a running count that wraps", {0xFFFFFFFEu, 1u}, 1, 0x100000001u, 0x100000001u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sockets = FakeCanSockets{};
        auto bus = Open();
        sockets.dropCount = row.socketCount;
        for (const auto& count : row.carried) {
            sockets.QueueFrame(0x100, count);
        }
        Frame frame;
        for (std::size_t frames = 0; frames < row.carried.size(); ++frames) {
            EXPECT_TRUE(bus->TryReceive(frame));
        }
        EXPECT_FALSE(bus->TryReceive(frame));
        EXPECT_EQ(bus->Counters().dropped, row.beforeClose);
        bus->Close();
        EXPECT_EQ(bus->Counters().dropped, row.afterClose);

        const auto notices = Notices(*bus);
        ASSERT_EQ(notices.size(), 1u) << "drops in a row are one notice";
        EXPECT_EQ(notices[0].kind, BusNotice::Kind::Dropped);
        EXPECT_EQ(notices[0].frames, row.afterClose);
        EXPECT_EQ(notices[0].text, "socketcan:can0: the kernel dropped " + std::to_string(row.afterClose) +
                                       " received frames (the socket's receive queue was full)");
    }
}

TEST_F(SocketCanErrors, AWaitEndsWithAFrameOrWithTheNoticeOfALostInterface)
{
    auto bus = Open();
    sockets.QueueFrame(0x101);
    EXPECT_TRUE(bus->WaitForFrame(std::chrono::seconds(30)));
    Frame frame;
    ASSERT_TRUE(bus->TryReceive(frame)) << "the frame the wait saw";
    EXPECT_EQ(frame.id, 0x101u);

    sockets.QueueError(-ENODEV);
    EXPECT_FALSE(bus->WaitForFrame(std::chrono::seconds(30)));
    EXPECT_EQ(Kinds(Notices(*bus)), std::vector{BusNotice::Kind::Lost});
}

TEST_F(SocketCanErrors, NoticesNobodyTakesKeepOnlyTheNewest)
{
    noticeCapacity = 2;
    auto bus = Open();
    Frame frame;
    for (int round = 0; round < 3; ++round) {
        sockets.QueueError(-ENODEV);
        bus->TryReceive(frame);
        nowNs += 100 * kMs;
        bus->TryReceive(frame);
    }
    EXPECT_EQ(Kinds(Notices(*bus)), (std::vector{BusNotice::Kind::Lost, BusNotice::Kind::Back}));
}

} // namespace
} // namespace canbus
