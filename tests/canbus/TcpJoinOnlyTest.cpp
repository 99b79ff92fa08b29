// A tcp:// bus opened join-only (a listener such as dnet monitor): it connects to the hub, never
// becomes it, and fails when there is no hub to join.

#include "canbus/TcpBus.h"

#include "Frames.h"
#include "LoopbackSockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace canbus {
namespace {

using namespace canbus::testing;

std::unique_ptr<Bus> Open(const std::string& busString, bool joinOnly, std::string& error)
{
    OpenOptions options;
    options.joinOnly = joinOnly;
    return OpenBus(busString, 125000, error, options);
}

TEST(TcpJoinOnly, NoHubToJoinIsAnError)
{
    const std::string busString = "tcp://127.0.0.1:" + std::to_string(FreePort()) + "/can0";
    std::string error;
    EXPECT_FALSE(Open(busString, true, error));
    EXPECT_NE(error.find("no hub to join at 127.0.0.1:"), std::string::npos) << error;
}

TEST(TcpJoinOnly, HearsTheBusAndLeavesTheHubToOthers)
{
    const std::string busString = "tcp://127.0.0.1:" + std::to_string(FreePort()) + "/can0";
    std::string error;
    auto hub = Open(busString, false, error);
    ASSERT_TRUE(hub) << error;
    auto listener = Open(busString, true, error);
    ASSERT_TRUE(listener) << error;
    EXPECT_FALSE(dynamic_cast<TcpBus&>(*listener).IsHub());

    // A client that joins after the listener sends; the listener hears it through the hub.
    auto sender = Open(busString, false, error);
    ASSERT_TRUE(sender) << error;
    ASSERT_TRUE(Eventually([&] { return dynamic_cast<TcpBus&>(*hub).Subscribers() == 2; }));
    ASSERT_TRUE(sender->Send(MakeFrame(0x5FC, {0x00, 0x0E, 0x01, 0x01, 0x07})));
    ASSERT_TRUE(listener->WaitForFrame(std::chrono::seconds(10)));
    Frame frame;
    ASSERT_TRUE(listener->TryReceive(frame));
    EXPECT_EQ(frame.id, 0x5FCu);

    // The hub goes: the next endpoint to open becomes the hub, not the listener (without the
    // option the listener might have taken the port first).
    sender.reset();
    hub.reset();
    auto next = Open(busString, false, error);
    ASSERT_TRUE(next) << error;
    EXPECT_TRUE(dynamic_cast<TcpBus&>(*next).IsHub());
    EXPECT_FALSE(dynamic_cast<TcpBus&>(*listener).IsHub());
}

} // namespace
} // namespace canbus
