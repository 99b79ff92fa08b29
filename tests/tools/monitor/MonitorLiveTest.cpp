// dnet monitor live: brelinsim serves a TCP bus, dnet monitor joins it as a listener, and a dnet
// session against the device shows up in the monitor as whole DeviceNet messages.

#include "ChildProcess.h"
#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <thread>

namespace orv::test {
namespace {

namespace fs = std::filesystem;

// True when `text` holds `parts` one after the other.
bool HoldsInOrder(const std::string& text, std::initializer_list<std::string> parts)
{
    std::size_t from = 0;
    for (const std::string& part : parts) {
        from = text.find(part, from);
        if (from == std::string::npos) {
            return false;
        }
        from += part.size();
    }
    return true;
}

// True once `file` holds `parts` in that order, looking again until `limit`: the monitor prints as
// the bus carries the frames, in another process, and may lag behind a session that has ended.
bool EventuallyHolds(const fs::path& file, std::initializer_list<std::string> parts, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!HoldsInOrder(ReadText(file), parts)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(DnetMonitorLive, ShowsADnetSessionOnATcpBus)
{
    TempFolder folder;
    setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
    setenv("ORV_REGISTRY", (folder / "registry.ini").c_str(), 1);
    unsetenv("ORV_CANBUS");
    const ProgramResult registered = RunProgram({ORV_REGSVR, ORV_DRIVER_LIBRARY});
    ASSERT_EQ(registered.status, 0) << registered.err;

    const int port = FreeTcpPort();
    ASSERT_GT(port, 0);
    const std::string bus = "tcp://127.0.0.1:" + std::to_string(port) + "/can0";

    // Without a hub the monitor does not become one: it says so and ends.
    const ProgramResult alone = RunProgram({ORV_DNET, "monitor", "--bus", bus});
    EXPECT_EQ(alone.status, 3);
    EXPECT_NE(alone.err.find("no hub to join"), std::string::npos) << alone.err;

    BackgroundProgram simulator({ORV_BRELINSIM, "--bus", bus, "--node", "63", "--no-mac-check"},
                                (folder / "brelinsim.out").string());
    ASSERT_TRUE(WaitForListener(port, std::chrono::seconds(10)));
    const fs::path watched = folder / "monitor.out";
    {
        BackgroundProgram monitor({ORV_DNET, "monitor", "--bus", bus}, watched.string());
        ASSERT_TRUE(EventuallyHolds(watched, {"dnet: watching " + bus}, std::chrono::seconds(10)));
        const ProgramResult session = RunProgram({ORV_DNET, "--bus", bus, "get", "63", "1", "1", "7"});
        ASSERT_EQ(session.status, 0) << session.err;
        // The session's last message: the Release of the poll connection after the explicit one, at close.
        EXPECT_TRUE(EventuallyHolds(watched, {"Release OK: explicit", "error response to Release poll"},
                                    std::chrono::seconds(10)))
            << ReadText(watched);
    }
    const std::string text = ReadText(watched);
    EXPECT_NE(text.find("  0 -> 63   G2/6   Allocate explicit (choice 0x01), allocator 0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  63 -> 0    G2/3   Get_Attribute_Single reply Identity(1) 1/7 product name: \"Brelin GW\" "
                        "[2 fragments, 2 acknowledged]\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(simulator.Running()) << "brelinsim ended early";
}

} // namespace
} // namespace orv::test
