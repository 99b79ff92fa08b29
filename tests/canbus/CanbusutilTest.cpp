// Qt's own canbusutil, listening with its virtualcan plugin, must see the frames our endpoints
// exchange on a hub of ours.

#include "canbus/TcpBus.h"

#include "LoopbackSockets.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace canbus {
namespace {

using namespace canbus::testing;

std::string FindCanbusutil()
{
    std::vector<std::string> places;
    if (const char* path = std::getenv("PATH"); path != nullptr) {
        std::stringstream dirs(path);
        for (std::string dir; std::getline(dirs, dir, ':');) {
            places.push_back(dir + "/canbusutil");
        }
    }
    places.push_back("/usr/lib/qt6/bin/canbusutil"); // where Debian puts it, off the PATH
    for (const auto& place : places) {
        if (::access(place.c_str(), X_OK) == 0) {
            return place;
        }
    }
    return {};
}

// A child process whose standard output we read.
class Child {
public:
    Child(const std::vector<std::string>& args)
    {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out_ = pipeFds[0];
    }

    ~Child()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }

    bool Running() const { return pid_ > 0; }

    // Reads output until `done` holds for what has come so far, or the time is up.
    template <typename Done>
    bool ReadUntil(Done done, std::chrono::milliseconds within = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (!done(output_)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd waiting{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) != 1) {
                return false;
            }
            char buffer[512];
            const ssize_t got = ::read(out_, buffer, sizeof buffer);
            if (got <= 0) {
                return false;
            }
            output_.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }

    const std::string& Output() const { return output_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

// canbusutil pads its columns; one blank between words is enough to compare.
std::string Squeezed(const std::string& text)
{
    std::string squeezed;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            if (!squeezed.empty() && squeezed.back() != ' ' && squeezed.back() != '\n') {
                squeezed.push_back(' ');
            }
        } else {
            if (c == '\n' && !squeezed.empty() && squeezed.back() == ' ') {
                squeezed.pop_back();
            }
            squeezed.push_back(c);
        }
    }
    return squeezed;
}

TEST(Canbusutil, ListensToWhatOurEndpointsExchangeOnTheDefaultPort)
{
    const std::string tool = FindCanbusutil();
    if (tool.empty()) {
        GTEST_SKIP() << "canbusutil is not installed (Debian package libqt6serialbus6-bin)";
    }
    const std::string busString = "tcp://127.0.0.1:35468/can0";
    BusAddress address;
    std::string error;
    ASSERT_TRUE(ParseBusString(busString, address, error));
    auto hub = TcpBus::Open(address, error);
    if (!hub || !hub->IsHub()) {
        GTEST_SKIP() << "port 35468 is in use by another process; cannot be the hub there";
    }
    auto peer = TcpBus::Open(address, error);
    ASSERT_TRUE(peer) << error;

    Child listener({tool, "-l", "virtualcan", "can0"});
    ASSERT_TRUE(listener.Running()) << "cannot start " << tool;
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 2; })) << "canbusutil did not subscribe";

    Frame request;
    request.id = 0x7B;
    request.length = 3;
    request.data = {0x01, 0x02, 0xAB};
    ASSERT_TRUE(hub->Send(request));
    Frame got;
    ASSERT_TRUE(ReceiveWithin(*peer, got));
    EXPECT_EQ(got.id, 0x7Bu);

    Frame answer;
    answer.id = 0x123;
    answer.extended = true;
    answer.length = 1;
    answer.data[0] = 0x11;
    ASSERT_TRUE(peer->Send(answer));
    ASSERT_TRUE(ReceiveWithin(*hub, got));
    EXPECT_EQ(got.id, 0x123u);

    const std::string expected = "07B [3] 01 02 AB\n00000123 [1] 11\n";
    EXPECT_TRUE(listener.ReadUntil([&](const std::string& output) { return Squeezed(output) == expected; }))
        << "canbusutil printed:\n" << listener.Output();
}

// The other way round: canbusutil's process is the hub, and our endpoints join it as clients.
TEST(Canbusutil, OurEndpointsTalkThroughQtsHub)
{
    const std::string tool = FindCanbusutil();
    if (tool.empty()) {
        GTEST_SKIP() << "canbusutil is not installed (Debian package libqt6serialbus6-bin)";
    }
    const std::uint16_t port = FreePort();
    const std::string busString = "tcp://127.0.0.1:" + std::to_string(port) + "/can0";
    Child listener({tool, "-l", "virtualcan", busString});
    ASSERT_TRUE(listener.Running()) << "cannot start " << tool;

    BusAddress address;
    std::string error;
    ASSERT_TRUE(ParseBusString(busString, address, error));
    // Opening ours before canbusutil listens would make us the hub; a bare connection tells.
    ASSERT_TRUE(Eventually([&] { return RawPeer::Connect(port).Valid(); }))
        << "canbusutil did not start its hub on port " << port;
    auto a = TcpBus::Open(address, error);
    ASSERT_TRUE(a && !a->IsHub()) << error;
    auto b = TcpBus::Open(address, error);
    ASSERT_TRUE(b && !b->IsHub()) << error;

    Frame frame;
    frame.id = 0x5FC;
    frame.length = 5;
    frame.data = {0x00, 0x0E, 0x01, 0x01, 0x07};
    // Qt's hub relays only to connections whose "connect:can0" it has read: send until b has one.
    Frame got;
    ASSERT_TRUE(Eventually([&] {
        a->Send(frame);
        return ReceiveWithin(*b, got, std::chrono::milliseconds(5));
    }));
    EXPECT_EQ(got.id, 0x5FCu);
    EXPECT_EQ(got.length, 5);
    EXPECT_EQ(got.data[4], 0x07);
    EXPECT_TRUE(listener.ReadUntil([](const std::string& output) { return output.find('\n') != std::string::npos; }));
    EXPECT_EQ(Squeezed(listener.Output()).substr(0, 23), "5FC [5] 00 0E 01 01 07\n") << listener.Output();
    EXPECT_FALSE(a->TryReceive(got)) << "Qt's hub does not send a frame back to its origin";
}

} // namespace
} // namespace canbus
