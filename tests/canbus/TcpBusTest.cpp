#include "canbus/TcpBus.h"

#include "Frames.h"
#include "LoopbackSockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <poll.h>

#include <sys/socket.h>

namespace canbus {
namespace {

using namespace canbus::testing;

std::string BusString(std::uint16_t port, int channel = 0)
{
    return "tcp://127.0.0.1:" + std::to_string(port) + "/can" + std::to_string(channel);
}

std::unique_ptr<TcpBus> OpenTcp(const std::string& busString)
{
    std::string error;
    std::unique_ptr<Bus> bus = OpenBus(busString, 125000, error);
    EXPECT_TRUE(bus) << error;
    auto* tcp = dynamic_cast<TcpBus*>(bus.get());
    EXPECT_TRUE(tcp) << busString;
    if (tcp == nullptr) {
        return nullptr;
    }
    bus.release();
    return std::unique_ptr<TcpBus>(tcp);
}

std::unique_ptr<TcpBus> OpenWith(std::uint16_t port, const TcpBus::Limits& limits, std::string& error)
{
    BusAddress address;
    if (!ParseBusString(BusString(port), address, error)) {
        return nullptr;
    }
    return TcpBus::Open(address, error, limits);
}

std::unique_ptr<TcpBus> OpenWith(std::uint16_t port, const TcpBus::Limits& limits)
{
    std::string error;
    auto bus = OpenWith(port, limits, error);
    EXPECT_TRUE(bus) << error;
    return bus;
}

TEST(TcpBus, HubRelaysBetweenItsOwnEndpointAndItsClients)
{
    const std::string busString = BusString(FreePort());
    auto hub = OpenTcp(busString);
    auto b = OpenTcp(busString);
    auto c = OpenTcp(busString);
    ASSERT_TRUE(hub && b && c);
    EXPECT_TRUE(hub->IsHub());
    EXPECT_FALSE(b->IsHub());
    EXPECT_FALSE(c->IsHub());
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 2; }));

    const Frame fromHub = MakeFrame(0x123, {0x01, 0xAB, 0xFF});
    ASSERT_TRUE(hub->Send(fromHub));
    Frame got;
    ASSERT_TRUE(ReceiveWithin(*b, got));
    EXPECT_TRUE(SameFrame(got, fromHub));
    ASSERT_TRUE(ReceiveWithin(*c, got));
    EXPECT_TRUE(SameFrame(got, fromHub));

    // Relayed by the hub's thread while nobody reads the hub's endpoint.
    const Frame fromB = MakeFrame(0x1ABCDEF, {1, 2, 3, 4, 5, 6, 7, 8}, true);
    ASSERT_TRUE(b->Send(fromB));
    ASSERT_TRUE(ReceiveWithin(*c, got));
    EXPECT_TRUE(SameFrame(got, fromB));

    const Frame fromC = MakeFrame(0x7FF, {}, false, false);
    ASSERT_TRUE(c->Send(fromC));
    ASSERT_TRUE(ReceiveWithin(*b, got));
    EXPECT_TRUE(SameFrame(got, fromC)) << "b never gets its own frame back";

    ASSERT_TRUE(ReceiveWithin(*hub, got));
    EXPECT_TRUE(SameFrame(got, fromB));
    ASSERT_TRUE(ReceiveWithin(*hub, got));
    EXPECT_TRUE(SameFrame(got, fromC));
    EXPECT_FALSE(hub->TryReceive(got));
    EXPECT_FALSE(c->TryReceive(got));

    const BusCounters counters = hub->Counters();
    EXPECT_EQ(counters.sent, 1u);
    EXPECT_EQ(counters.received, 2u);
    EXPECT_EQ(counters.dropped, 0u);
    EXPECT_EQ(counters.malformed, 0u);
}

TEST(TcpBus, HubSkipsMalformedLinesAndNeverHandsOnMoreThanEightBytes)
{
    const std::uint16_t port = FreePort();
    auto hub = OpenTcp(BusString(port));
    auto b = OpenTcp(BusString(port));
    ASSERT_TRUE(hub && b);
    RawPeer raw = RawPeer::Connect(port);
    RawPeer can1 = RawPeer::Connect(port);
    RawPeer can1Too = RawPeer::Connect(port);
    ASSERT_TRUE(raw.Valid() && can1.Valid() && can1Too.Valid());
    ASSERT_TRUE(raw.Write("connect:can0\n"));
    ASSERT_TRUE(can1.Write("connect:can1\n"));
    ASSERT_TRUE(can1Too.Write("connect:can1\n"));
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 2; }));

    ASSERT_TRUE(raw.Write("garbage\n"
                          "can0:1##zz\n"
                          "can0:5##010203040506070809\n"
                          "can0:6#F#00\n" +
                          std::string(300, 'x') + "\n"
                          "can0:7##0a0b\r\n"));
    Frame got;
    ASSERT_TRUE(ReceiveWithin(*hub, got));
    EXPECT_TRUE(SameFrame(got, MakeFrame(7, {0x0A, 0x0B})));
    ASSERT_TRUE(ReceiveWithin(*b, got));
    EXPECT_TRUE(SameFrame(got, MakeFrame(7, {0x0A, 0x0B})));
    EXPECT_EQ(hub->Counters().malformed, 5u);
    EXPECT_EQ(b->Counters().malformed, 0u);

    // What the others read is exactly the line format: decimal id, flags, lower-case hex.
    ASSERT_TRUE(hub->Send(MakeFrame(0x65, {0x01, 0xAB, 0xFF})));
    EXPECT_EQ(raw.ReadLine(), "101##01abff\n");
    ASSERT_TRUE(b->Send(MakeFrame(0x1234, {0, 0, 0}, true, true)));
    EXPECT_EQ(raw.ReadLine(), "4660#RX#000000\n");
    ASSERT_TRUE(ReceiveWithin(*hub, got));
    EXPECT_TRUE(SameFrame(got, MakeFrame(0x1234, {0, 0, 0}, true, true)));

    // Channels stay apart: a can1 frame reaches can1 only.
    ASSERT_TRUE(can1.Write("can1:9##\n"));
    EXPECT_EQ(can1Too.ReadLine(), "9##\n");
    EXPECT_FALSE(hub->TryReceive(got));
    EXPECT_EQ(raw.ReadLine(std::chrono::milliseconds(20)), "");
    EXPECT_EQ(can1.ReadLine(std::chrono::milliseconds(20)), "") << "nor back to its origin";
}

TEST(TcpBus, ClientSpeaksTheLineProtocolExactly)
{
    const std::uint16_t port = FreePort();
    RawListener listener(port);
    ASSERT_TRUE(listener.Valid());
    auto bus = OpenTcp(BusString(port, 1));
    ASSERT_TRUE(bus);
    EXPECT_FALSE(bus->IsHub());
    RawPeer hubSide = listener.Accept();
    ASSERT_TRUE(hubSide.Valid());
    EXPECT_EQ(hubSide.ReadLine(), "connect:can1\n");

    ASSERT_TRUE(bus->Send(MakeFrame(0x123, {0x01, 0x02}, true)));
    EXPECT_EQ(hubSide.ReadLine(), "can1:291#X#0102\n");
    ASSERT_TRUE(bus->Send(MakeFrame(5, {})));
    EXPECT_EQ(hubSide.ReadLine(), "can1:5##\n");
    Frame tooLong = MakeFrame(5, {1, 2, 3, 4, 5, 6, 7, 8});
    tooLong.length = 9;
    EXPECT_FALSE(bus->Send(tooLong));
    EXPECT_EQ(bus->Counters().malformed, 1u);

    ASSERT_TRUE(hubSide.Write("5##0a\n"
                              "bad\n"
                              "7##000102030405060708\n"
                              "8#F#00\n"
                              "\n"
                              "9#X#\n"));
    Frame got;
    ASSERT_TRUE(ReceiveWithin(*bus, got));
    EXPECT_TRUE(SameFrame(got, MakeFrame(5, {0x0A})));
    ASSERT_TRUE(ReceiveWithin(*bus, got));
    EXPECT_TRUE(SameFrame(got, MakeFrame(9, {}, true)));
    EXPECT_EQ(bus->Counters().malformed, 5u);
    EXPECT_EQ(bus->Counters().received, 2u);

    bus->Close();
    EXPECT_EQ(hubSide.ReadLine(), "disconnect:can1\n");
    EXPECT_FALSE(bus->Send(MakeFrame(1, {})));
    EXPECT_EQ(bus->Counters().dropped, 1u);
}

TEST(TcpBus, ClientsCarryOnWhenTheHubLeaves)
{
    const std::string busString = BusString(FreePort());
    auto hub = OpenTcp(busString);
    auto b = OpenTcp(busString);
    auto c = OpenTcp(busString);
    ASSERT_TRUE(hub && b && c);
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 2; }));
    hub.reset();

    ASSERT_TRUE(Eventually([&] {
        return (b->IsHub() && b->Subscribers() == 1 && c->Subscribers() == 1) ||
               (c->IsHub() && c->Subscribers() == 1 && b->Subscribers() == 1);
    }));
    const Frame frame = MakeFrame(0x42, {0x42});
    ASSERT_TRUE(b->Send(frame));
    Frame got;
    ASSERT_TRUE(ReceiveWithin(*c, got));
    EXPECT_TRUE(SameFrame(got, frame));
}

TEST(TcpBus, SendNeverWaitsForAStalledPeerAndCountsWhatItLoses)
{
    const std::uint16_t port = FreePort();
    BusAddress address;
    std::string error;
    ASSERT_TRUE(ParseBusString(BusString(port), address, error));
    TcpBus::Limits limits;
    limits.sendBuffer = 1024;
    auto hub = TcpBus::Open(address, error, limits);
    ASSERT_TRUE(hub) << error;

    // A subscriber that never reads, with a small window.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 2048;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in loopback = Loopback(port);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback), 0);
    RawPeer stalled(fd);
    ASSERT_TRUE(stalled.Write("connect:can0\n"));
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 1; }));

    constexpr std::uint64_t kFrames = 100000;
    for (std::uint64_t i = 0; i < kFrames; ++i) {
        ASSERT_TRUE(hub->Send(MakeFrame(0x7FF, {1, 2, 3, 4, 5, 6, 7, 8})));
    }
    EXPECT_EQ(hub->Counters().sent, kFrames);
    EXPECT_GT(hub->Counters().dropped, 0u);
    EXPECT_LT(hub->Counters().dropped, kFrames);
}

bool Readable(const Bus& bus)
{
    pollfd ready{bus.ReadyDescriptor(), POLLIN, 0};
    return ::poll(&ready, 1, 0) == 1;
}

TEST(TcpBus, AWaitSleepsUntilAFrameComesAndTheDescriptorFollowsTheQueue)
{
    const std::string busString = BusString(FreePort());
    auto hub = OpenTcp(busString);
    auto client = OpenTcp(busString);
    ASSERT_TRUE(hub && client);
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 1; }));
    EXPECT_FALSE(Readable(*client));
    EXPECT_FALSE(client->WaitForFrame(std::chrono::milliseconds(20))) << "nothing comes: false after the time-out";

    ASSERT_TRUE(hub->Send(MakeFrame(0x101, {1})));
    ASSERT_TRUE(hub->Send(MakeFrame(0x102, {2})));
    ASSERT_TRUE(client->WaitForFrame(kPatience));
    Frame got;
    ASSERT_TRUE(client->TryReceive(got));
    if (!client->TryReceive(got)) {
        ASSERT_TRUE(client->WaitForFrame(kPatience)); // the second line may come in a second read
        ASSERT_TRUE(client->TryReceive(got));
    }
    EXPECT_EQ(got.id, 0x102u);
    EXPECT_FALSE(Readable(*client)) << "an empty queue wakes nobody";

    ASSERT_TRUE(client->Send(MakeFrame(0x103, {3})));
    ASSERT_TRUE(hub->WaitForFrame(kPatience));
    EXPECT_TRUE(Readable(*hub));
    ASSERT_TRUE(hub->TryReceive(got));
    EXPECT_EQ(got.id, 0x103u);
}

TEST(TcpBus, CloseFromAnotherThreadEndsAWait)
{
    auto bus = OpenTcp(BusString(FreePort()));
    ASSERT_TRUE(bus);
    auto waited = std::async(std::launch::async, [&bus] { return bus->WaitForFrame(std::chrono::seconds(20)); });
    bus->Close();
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(waited.get());
    EXPECT_TRUE(Readable(*bus)) << "a poll on a closed bus does not sleep either";
}

TEST(TcpBus, RefusesWhenThePortIsTakenButNobodyListens)
{
    // A socket bound to the port without listening: no hub can start there, and none answers.
    const std::uint16_t port = FreePort();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in loopback = Loopback(port);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback), 0);
    RawPeer holder(fd);

    std::string error;
    EXPECT_EQ(OpenBus(BusString(port), 125000, error), nullptr);
    EXPECT_EQ(error, "tcp bus 127.0.0.1:" + std::to_string(port) + "/can0: cannot listen on or connect to 127.0.0.1:" +
                         std::to_string(port) + " (Connection refused)");
}

TEST(TcpBus, ManyClientsEachHearEveryOtherOnce)
{
    constexpr std::size_t kClients = 40;
    const std::uint16_t port = FreePort();
    auto hub = OpenTcp(BusString(port));
    ASSERT_TRUE(hub);
    TcpBus::Limits quick;
    quick.verdictMs = 0; // the hub has room for all
    std::vector<std::unique_ptr<TcpBus>> clients;
    for (std::size_t i = 0; i < kClients; ++i) {
        clients.push_back(OpenWith(port, quick));
        ASSERT_TRUE(clients.back());
    }
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == kClients; }));

    for (std::size_t i = 0; i < kClients; ++i) {
        ASSERT_TRUE(clients[i]->Send(MakeFrame(static_cast<std::uint32_t>(i), {static_cast<std::uint8_t>(i)})));
    }
    const auto heard = [](Bus& bus, std::size_t count) {
        std::set<std::uint32_t> ids;
        Frame got;
        while (ids.size() < count && ReceiveWithin(bus, got)) {
            EXPECT_TRUE(ids.insert(got.id).second) << "twice: " << got.id;
        }
        return ids;
    };
    EXPECT_EQ(heard(*hub, kClients).size(), kClients);
    for (std::size_t i = 0; i < kClients; ++i) {
        const auto ids = heard(*clients[i], kClients - 1);
        EXPECT_EQ(ids.size(), kClients - 1);
        EXPECT_EQ(ids.count(static_cast<std::uint32_t>(i)), 0u) << "never its own";
        EXPECT_EQ(clients[i]->Counters().dropped, 0u);
    }
    EXPECT_EQ(hub->Counters().dropped, 0u);
}

TEST(TcpBus, AFullHubTurnsClientsAwayAndTheirOpenSaysSo)
{
    const std::uint16_t port = FreePort();
    TcpBus::Limits two;
    two.maxConnections = 2;
    auto hub = OpenWith(port, two);
    ASSERT_TRUE(hub);
    RawPeer a = RawPeer::Connect(port);
    RawPeer b = RawPeer::Connect(port);
    ASSERT_TRUE(a.Write("connect:can0\n"));
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 1; }));
    ASSERT_TRUE(b.Write("can0:1##\n")) << "a frame line joins, too";
    Frame got;
    ASSERT_TRUE(ReceiveWithin(*hub, got));
    EXPECT_EQ(a.ReadLine(), "1##\n");

    // A third hears a disconnect line for its channel, as Qt's clients understand, then the end;
    // nothing it sends goes anywhere.
    RawPeer c = RawPeer::Connect(port);
    ASSERT_TRUE(c.Write("can1:2##\nconnect:can0\ncan0:3##\n"));
    EXPECT_EQ(c.ReadLine(), "disconnect:can1 full\n");
    EXPECT_TRUE(c.ClosedWithin());
    EXPECT_EQ(a.ReadLine(std::chrono::milliseconds(20)), "");

    // Our client fails to open, with words that say so.
    TcpBus::Limits patient;
    patient.verdictMs = static_cast<std::uint32_t>(std::chrono::milliseconds(kPatience).count());
    std::string error;
    EXPECT_EQ(OpenWith(port, patient, error), nullptr);
    const std::string where = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(error, "tcp bus " + where + "/can0: the hub on " + where + " is full: it serves as many clients as it takes");

    // Once one leaves, the next gets in.
    ASSERT_TRUE(a.Write("disconnect:can0\n"));
    ASSERT_TRUE(a.ClosedWithin());
    std::unique_ptr<TcpBus> client;
    ASSERT_TRUE(Eventually([&] {
        client = OpenWith(port, TcpBus::Limits{}, error);
        return client != nullptr;
    })) << error;
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 1; }));
    ASSERT_TRUE(hub->Send(MakeFrame(4, {})));
    ASSERT_TRUE(ReceiveWithin(*client, got));
    EXPECT_EQ(got.id, 4u);
    EXPECT_EQ(b.ReadLine(std::chrono::milliseconds(20)), "") << "b joined to send; it subscribed to nothing";
}

TEST(TcpBus, ConnectionsThatNeverSpeakLockNobodyOut)
{
    const std::uint16_t port = FreePort();
    auto hub = OpenTcp(BusString(port));
    ASSERT_TRUE(hub);
    RawPeer quiet = RawPeer::Connect(port); // joined, then silent for as long as it likes
    ASSERT_TRUE(quiet.Write("connect:can0\n"));
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 1; }));

    std::vector<RawPeer> idle;
    for (int i = 0; i < 100; ++i) {
        idle.push_back(RawPeer::Connect(port));
        ASSERT_TRUE(idle.back().Valid());
    }
    EXPECT_TRUE(idle.front().ClosedWithin()) << "the one that waited longest makes room";

    auto client = OpenTcp(BusString(port));
    ASSERT_TRUE(client);
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 2; }));
    ASSERT_TRUE(client->Send(MakeFrame(0x10, {1})));
    EXPECT_EQ(quiet.ReadLine(), "16##01\n");
    Frame got;
    ASSERT_TRUE(ReceiveWithin(*hub, got));
    EXPECT_FALSE(idle.back().ClosedWithin(std::chrono::milliseconds(20))) << "the latest still wait";
}

TEST(TcpBus, ABurstOfClientsThatSpeakAtOnceAllGetIn)
{
    const std::uint16_t port = FreePort();
    auto hub = OpenTcp(BusString(port));
    ASSERT_TRUE(hub);
    constexpr std::size_t kClients = 60; // many more than may wait to join at once
    std::vector<RawPeer> clients;
    for (std::size_t i = 0; i < kClients; ++i) {
        clients.push_back(RawPeer::Connect(port));
        ASSERT_TRUE(clients.back().Write("connect:can0\n"));
    }
    ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == kClients; })) << hub->Subscribers();
}

TEST(TcpBus, AFloodOfConnectLinesCostsTheHubAHandfulOfNames)
{
    const std::uint16_t port = FreePort();
    auto hub = OpenTcp(BusString(port));
    ASSERT_TRUE(hub);
    RawPeer flood = RawPeer::Connect(port);
    RawPeer other = RawPeer::Connect(port);
    ASSERT_TRUE(other.Write("connect:c99\n"));

    constexpr int kLines = 100000;
    std::string lines = "connect:can0\n";
    for (int i = 1; i < kLines; ++i) {
        lines += "connect:c" + std::to_string(i) + "\n";
    }
    lines += "can0:5##01\n";
    ASSERT_TRUE(flood.Write(lines));
    Frame got;
    ASSERT_TRUE(ReceiveWithin(*hub, got)) << "the lines behind the flood are read";
    EXPECT_EQ(got.id, 5u);
    constexpr std::uint64_t kChannelsPerClient = TcpBus::Limits{}.maxChannels;
    EXPECT_EQ(hub->Counters().malformed, kLines - kChannelsPerClient);

    // Subscribed: can0 and the first names after it; not the rest.
    ASSERT_TRUE(other.Write("c7:7##\nc8:8##\ncan0:9##\n"));
    EXPECT_EQ(flood.ReadLine(), "7##\n");
    EXPECT_EQ(flood.ReadLine(), "9##\n");
}

TEST(TcpBus, BecomesTheHubOnAPortItsLastHubLeftInTimeWait)
{
    const std::uint16_t port = FreePort();
    {
        auto hub = OpenTcp(BusString(port));
        ASSERT_TRUE(hub);
        RawPeer peer = RawPeer::Connect(port);
        ASSERT_TRUE(peer.Write("connect:can0\n"));
        ASSERT_TRUE(Eventually([&] { return hub->Subscribers() == 1; }));
        hub.reset(); // the hub closes first: its side of the connection waits in TIME-WAIT
        ASSERT_TRUE(peer.ClosedWithin());
    }
    auto again = OpenTcp(BusString(port));
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->IsHub());
}

TEST(TcpBus, BecomesTheHubOnAPortOneOfItsClientsLeftInTimeWait)
{
    const std::uint16_t hubPort = FreePort();
    RawListener listener(hubPort);
    ASSERT_TRUE(listener.Valid());
    auto client = OpenTcp(BusString(hubPort));
    ASSERT_TRUE(client);
    RawPeer hubSide = listener.Accept();
    ASSERT_TRUE(hubSide.Valid());
    const std::uint16_t clientPort = hubSide.PeerPort();
    client->Close(); // the client closes first: its side waits in TIME-WAIT on its local port
    EXPECT_EQ(hubSide.ReadLine(), "connect:can0\n");
    EXPECT_EQ(hubSide.ReadLine(), "disconnect:can0\n");
    ASSERT_TRUE(hubSide.ClosedWithin());
    hubSide = RawPeer();

    auto hub = OpenTcp(BusString(clientPort));
    ASSERT_TRUE(hub);
    EXPECT_TRUE(hub->IsHub());
}

} // namespace
} // namespace canbus
