#include "canbus/Bus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace canbus {
namespace {

// The interface to try: ORV_SOCKETCAN_IFACE, else vcan0
// (`ip link add dev vcan0 type vcan && ip link set vcan0 up` where the kernel has CAN).
std::string Interface()
{
    const char* chosen = std::getenv("ORV_SOCKETCAN_IFACE");
    return chosen != nullptr && *chosen != '\0' ? chosen : "vcan0";
}

TEST(SocketCanBus, FramesPassBetweenTwoSocketsOnOneInterface)
{
    const std::string busString = "socketcan:" + Interface();
    std::string error;
    auto a = OpenBus(busString, 125000, error);
    if (!a) {
        EXPECT_THAT(error, ::testing::StartsWith(busString + ": "));
        GTEST_SKIP() << "SocketCAN unavailable: " << error;
    }
    auto b = OpenBus(busString, 125000, error);
    ASSERT_TRUE(b) << error;

    Frame frame;
    frame.id = 0x1ABCDEF;
    frame.extended = true;
    frame.length = 3;
    frame.data = {1, 2, 3};
    ASSERT_TRUE(a->Send(frame));
    Frame got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!b->TryReceive(got) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_EQ(got.id, 0x1ABCDEFu);
    EXPECT_TRUE(got.extended);
    EXPECT_EQ(got.length, 3);
    EXPECT_EQ(got.data[2], 3);
    EXPECT_FALSE(a->TryReceive(got)) << "a socket does not get its own frames";

    Frame tooLong = frame;
    tooLong.length = 9;
    EXPECT_FALSE(a->Send(tooLong));
    EXPECT_EQ(a->Counters().malformed, 1u);
}

TEST(SocketCanBus, MissingInterfaceIsRefusedWithAMessage)
{
    std::string error;
    EXPECT_EQ(OpenBus("socketcan:nosuchcan9", 125000, error), nullptr);
    // Whichever comes first: no CAN in this kernel, or no such interface.
    EXPECT_THAT(error, ::testing::AnyOf(::testing::HasSubstr("this kernel has no SocketCAN support"),
                                        ::testing::HasSubstr("no network interface 'nosuchcan9'")))
        << error;
}

} // namespace
} // namespace canbus
