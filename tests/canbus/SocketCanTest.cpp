// The SocketCAN bus on a real kernel: these run in the virtual machine stage, where the kernel has
// CAN and vcan interfaces. Elsewhere they skip, unless ORV_SOCKETCAN_REQUIRED is set (as it is in
// the virtual machine): then a missing interface fails them, so that a silent skip cannot pass.
//   ORV_SOCKETCAN_IFACE  the interface frames pass on (default vcan0), up
//   ORV_SOCKETCAN_SPARE  an interface the tests take down and up again (default vcan1), up

#include "canbus/Bus.h"
#include "canbus/SocketCanBus.h"

#include "Frames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include <linux/can.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace canbus {
namespace {

using namespace canbus::testing;
using ::testing::HasSubstr;

std::string FromEnvironment(const char* name, const char* otherwise)
{
    const char* chosen = std::getenv(name);
    return chosen != nullptr && *chosen != '\0' ? chosen : otherwise;
}

bool Required() { return !FromEnvironment("ORV_SOCKETCAN_REQUIRED", "").empty(); }

std::string Interface() { return FromEnvironment("ORV_SOCKETCAN_IFACE", "vcan0"); }
std::string Spare() { return FromEnvironment("ORV_SOCKETCAN_SPARE", "vcan1"); }

// Takes the interface up or down, as `ip link set NAME up|down` does.
void SetLink(const std::string& name, bool up)
{
    const int fd = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), sizeof request.ifr_name - 1);
    const bool asked = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
    const bool set = asked && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    const int cause = errno;
    ::close(fd);
    ASSERT_TRUE(set) << name << ": " << std::strerror(cause);
}

class SocketCan : public ::testing::Test {
protected:
    // Both interfaces open, or the test skips (fails where SocketCAN is required) saying why.
    void SetUp() override
    {
        for (const std::string& name : {Interface(), Spare()}) {
            std::string error;
            if (!OpenBus("socketcan:" + name, 125000, error)) {
                if (Required()) {
                    FAIL() << "SocketCAN is required here: " << error;
                }
                EXPECT_THAT(error, ::testing::StartsWith("socketcan:" + name + ": "));
                GTEST_SKIP() << "SocketCAN unavailable: " << error;
            }
        }
    }

    static std::unique_ptr<Bus> Open(const std::string& name)
    {
        std::string error;
        auto bus = OpenBus("socketcan:" + name, 125000, error);
        EXPECT_TRUE(bus) << error;
        return bus;
    }

    // Waits on the bus for a notice of `kind`, up to `limit`; the notices on the way are kept.
    static bool AwaitNotice(Bus& bus, BusNotice::Kind kind, BusNotice& notice, std::chrono::seconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            while (bus.TakeNotice(notice)) {
                if (notice.kind == kind) {
                    return true;
                }
            }
            Frame ignored;
            if (bus.WaitForFrame(std::chrono::milliseconds(200))) {
                bus.TryReceive(ignored);
            }
        }
        return false;
    }

    static bool Receive(Bus& bus, Frame& frame)
    {
        return bus.TryReceive(frame) || (bus.WaitForFrame(std::chrono::seconds(2)) && bus.TryReceive(frame));
    }
};

TEST_F(SocketCan, FramesPassBetweenTwoSocketsOnOneInterface)
{
    auto a = Open(Interface());
    auto b = Open(Interface());
    ASSERT_TRUE(a && b);

    const Frame frame = MakeFrame(0x1ABCDEF, {1, 2, 3}, true);
    ASSERT_TRUE(a->Send(frame));
    Frame got;
    ASSERT_TRUE(Receive(*b, got));
    EXPECT_TRUE(SameFrame(got, frame));
    EXPECT_FALSE(a->TryReceive(got)) << "a socket does not get its own frames";

    Frame tooLong = frame;
    tooLong.length = 9;
    EXPECT_FALSE(a->Send(tooLong));
    EXPECT_EQ(a->Counters().malformed, 1u);
}

TEST_F(SocketCan, AMissingInterfaceIsRefusedWithAMessage)
{
    std::string error;
    EXPECT_EQ(OpenBus("socketcan:nosuchcan9", 125000, error), nullptr);
    EXPECT_EQ(error, "socketcan:nosuchcan9: no network interface 'nosuchcan9'");
}

TEST_F(SocketCan, ADownInterfaceIsRefusedAtOpenNamingENETDOWN)
{
    SetLink(Spare(), false);
    std::string error;
    EXPECT_EQ(OpenBus("socketcan:" + Spare(), 125000, error), nullptr);
    EXPECT_THAT(error, HasSubstr("socketcan:" + Spare() + ": the interface is down (ENETDOWN: Network is down)"));
    SetLink(Spare(), true);
}

TEST_F(SocketCan, AnInterfaceTakenDownWhileOpenIsLostAndTakenUpAgain)
{
    auto bus = Open(Spare());
    ASSERT_TRUE(bus);
    SetLink(Spare(), false);
    BusNotice notice;
    ASSERT_TRUE(AwaitNotice(*bus, BusNotice::Kind::Lost, notice, std::chrono::seconds(5)));
    EXPECT_THAT(notice.text, HasSubstr("socketcan:" + Spare() + ": interface lost (ENETDOWN"));
    EXPECT_FALSE(bus->Send(MakeFrame(0x10, {1})));

    SetLink(Spare(), true);
    ASSERT_TRUE(AwaitNotice(*bus, BusNotice::Kind::Back, notice, std::chrono::seconds(5)));
    auto peer = Open(Spare());
    ASSERT_TRUE(peer);
    const Frame frame = MakeFrame(0x123, {4, 5});
    ASSERT_TRUE(peer->Send(frame));
    Frame got;
    ASSERT_TRUE(Receive(*bus, got));
    EXPECT_TRUE(SameFrame(got, frame));
}

TEST_F(SocketCan, FramesTheKernelDroppedWithNothingAfterThemAreCounted)
{
    auto reader = Open(Interface());
    auto idle = Open(Interface());
    auto sender = Open(Interface());
    ASSERT_TRUE(reader && idle && sender);
    // Far more than a receive queue holds, while nobody reads: no frame comes after the drops.
    std::uint64_t sent = 0;
    for (int i = 0; i < 5000; ++i) {
        sent += sender->Send(MakeFrame(0x200, {static_cast<std::uint8_t>(i)})) ? 1 : 0;
    }
    Frame frame;
    while (Receive(*reader, frame)) {
    }
    const BusCounters counters = reader->Counters();
    EXPECT_GT(counters.dropped, 0u);
    EXPECT_EQ(counters.received + counters.dropped, sent) << "every frame sent was received or counted as dropped";
    BusNotice notice;
    ASSERT_TRUE(reader->TakeNotice(notice));
    EXPECT_EQ(notice.kind, BusNotice::Kind::Dropped);
    EXPECT_EQ(notice.frames, counters.dropped);

    idle->Close(); // read nothing: its drops are counted at close
    EXPECT_EQ(idle->Counters().received, 0u);
    EXPECT_EQ(idle->Counters().dropped, counters.dropped);
}

} // namespace
} // namespace canbus
