#include "canbus/SimBus.h"

#include "Frames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace canbus {
namespace {

using namespace canbus::testing;

using ::testing::HasSubstr;

Frame FrameOfLength(std::uint8_t length)
{
    Frame frame;
    frame.id = 0x100 + length;
    frame.length = length;
    for (std::uint8_t i = 0; i < length; ++i) {
        frame.data[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    return frame;
}

// A node that records what it sees and answers as the test tells it.
class FakeNode final : public SimNode {
public:
    struct Seen {
        Frame frame;
        std::uint32_t nowMs;
    };

    explicit FakeNode(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~FakeNode() override
    {
        if (destroyed_ != nullptr) {
            *destroyed_ = true;
        }
    }

    void SetSink(Sink sink) override { sink_ = std::move(sink); }
    void OnFrame(const Frame& frame, std::uint32_t nowMs) override
    {
        seen.push_back({frame, nowMs});
        if (answer) {
            answer(frame);
        }
    }
    void Poll(std::uint32_t nowMs) override
    {
        polls.push_back(nowMs);
        if (onPoll) {
            onPoll(nowMs);
        }
    }

    std::optional<std::uint32_t> NextTimer(std::uint32_t) const override { return nextTimer; }

    void Emit(const Frame& frame) { sink_(frame); }

    std::vector<Seen> seen;
    std::vector<std::uint32_t> polls;
    std::optional<std::uint32_t> nextTimer;
    std::function<void(const Frame&)> answer;
    std::function<void(std::uint32_t)> onPoll;

private:
    Sink sink_;
    bool* destroyed_;
};

class SimBusTest : public ::testing::Test {
protected:
    std::shared_ptr<SimBus> MakeBus(SimBusOptions options = {})
    {
        auto node = std::make_unique<FakeNode>(&nodeDestroyed);
        node_ = node.get();
        options.clock = [this] { return nowNs; };
        // A wait records when it would wake; then either `meanwhile` happens, as another thread
        // would act while this one sleeps (which wakes it), or the time passes.
        options.sleep = [this](std::condition_variable&, std::unique_lock<std::mutex>& lock, std::uint64_t untilNs) {
            wakes.push_back(untilNs);
            if (meanwhile) {
                const auto act = std::exchange(meanwhile, nullptr);
                lock.unlock();
                act();
                lock.lock();
                return;
            }
            nowNs = untilNs;
        };
        return SimBus::Create(std::move(node), std::move(options));
    }

    static std::uint64_t Us(std::uint64_t microseconds) { return microseconds * 1000; }

    std::uint64_t nowNs = 0;
    std::vector<std::uint64_t> wakes;
    std::function<void()> meanwhile;
    FakeNode* node_ = nullptr;
    bool nodeDestroyed = false;
};

TEST_F(SimBusTest, EndpointsSeeEachOthersFramesButNotTheirOwn)
{
    auto bus = MakeBus();
    auto a = bus->Attach();
    auto b = bus->Attach();
    auto c = bus->Attach();
    nowNs = 7'500'000;

    const Frame sent = MakeFrame(0x5FC, {0x00, 0x0E, 0x01, 0x01, 0x07});
    ASSERT_TRUE(a->Send(sent));

    Frame got;
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, sent));
    ASSERT_TRUE(c->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, sent));
    EXPECT_FALSE(a->TryReceive(got));
    EXPECT_FALSE(b->TryReceive(got));

    ASSERT_EQ(node_->seen.size(), 1u);
    EXPECT_TRUE(SameFrame(node_->seen[0].frame, sent));
    EXPECT_EQ(node_->seen[0].nowMs, 7u);

    EXPECT_EQ(a->Counters().sent, 1u);
    EXPECT_EQ(b->Counters().received, 1u);
    EXPECT_EQ(a->Counters().received, 0u);
}

TEST_F(SimBusTest, NodeAnswersReachEveryEndpointBehindTheRequest)
{
    auto bus = MakeBus();
    auto a = bus->Attach();
    auto b = bus->Attach();
    const Frame answer = MakeFrame(0x5FB, {0x00, 0x8E, 0x01});
    node_->answer = [&](const Frame&) { node_->Emit(answer); };

    const Frame request = MakeFrame(0x5FC, {0x00, 0x0E, 0x01, 0x01, 0x07});
    ASSERT_TRUE(a->Send(request));

    Frame got;
    ASSERT_TRUE(a->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, answer));
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, request));
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, answer));
    EXPECT_EQ(node_->seen.size(), 1u) << "the node does not see its own frames";
}

TEST_F(SimBusTest, NodeTimersRunOncePerMillisecondOfBusTime)
{
    auto bus = MakeBus();
    auto a = bus->Attach();
    const Frame heartbeat = MakeFrame(0x3FF, {0x01});
    node_->onPoll = [&](std::uint32_t nowMs) {
        if (nowMs == 5) {
            node_->Emit(heartbeat);
        }
    };

    Frame got;
    nowNs = 4'999'999;
    EXPECT_FALSE(a->TryReceive(got));
    EXPECT_FALSE(a->TryReceive(got));
    nowNs = 5'000'000;
    ASSERT_TRUE(a->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, heartbeat));
    nowNs = 5'900'000;
    EXPECT_FALSE(a->TryReceive(got));
    EXPECT_EQ(node_->polls, (std::vector<std::uint32_t>{4, 5}));
}

TEST_F(SimBusTest, RefusesAndCountsFramesThatCannotExist)
{
    auto bus = MakeBus();
    auto a = bus->Attach();
    auto b = bus->Attach();

    Frame tooLong = FrameOfLength(8);
    tooLong.length = 9;
    EXPECT_FALSE(a->Send(tooLong));
    EXPECT_FALSE(a->Send(MakeFrame(0x800, {1})));
    EXPECT_FALSE(a->Send(MakeFrame(0x20000000, {1}, true)));
    EXPECT_TRUE(a->Send(MakeFrame(0x800, {1}, true)));

    EXPECT_EQ(a->Counters().malformed, 3u);
    EXPECT_EQ(a->Counters().sent, 1u);
    Frame got;
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_EQ(got.id, 0x800u);
    EXPECT_FALSE(b->TryReceive(got));
    EXPECT_EQ(node_->seen.size(), 1u);

    // A node's malformed frame goes nowhere either.
    Frame fromNode = FrameOfLength(3);
    fromNode.length = 200;
    node_->Emit(fromNode);
    EXPECT_FALSE(b->TryReceive(got));
}

TEST_F(SimBusTest, FullReceiveQueueKeepsTheOldestAndCountsTheRest)
{
    SimBusOptions options;
    options.receiveCapacity = 4;
    auto bus = MakeBus(options);
    auto a = bus->Attach();
    auto b = bus->Attach();
    for (std::uint8_t i = 0; i < 6; ++i) {
        EXPECT_TRUE(a->Send(MakeFrame(i, {i})));
    }
    Frame got;
    for (std::uint32_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(b->TryReceive(got));
        EXPECT_EQ(got.id, i);
    }
    EXPECT_FALSE(b->TryReceive(got));
    EXPECT_EQ(b->Counters().dropped, 2u);
    EXPECT_EQ(b->Counters().received, 4u);
    EXPECT_EQ(a->Counters().sent, 6u);
    EXPECT_EQ(a->Counters().dropped, 0u);

    // The queue takes frames again once drained.
    ASSERT_TRUE(a->Send(MakeFrame(9, {})));
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_EQ(got.id, 9u);
}

TEST_F(SimBusTest, ClosedEndpointRefusesAndTheLastOneTakesTheNodeAlong)
{
    auto bus = MakeBus();
    auto a = bus->Attach();
    auto b = bus->Attach();
    bus.reset(); // the endpoints hold it

    a->Close();
    a->Close();
    EXPECT_FALSE(a->Send(MakeFrame(1, {})));
    EXPECT_EQ(a->Counters().dropped, 1u);
    Frame got;
    EXPECT_FALSE(a->TryReceive(got));

    ASSERT_TRUE(b->Send(MakeFrame(2, {})));
    EXPECT_EQ(node_->seen.size(), 1u);
    EXPECT_FALSE(nodeDestroyed);
    b.reset();
    EXPECT_TRUE(nodeDestroyed);
}

TEST_F(SimBusTest, WorksWithoutANode)
{
    auto bus = SimBus::Create(nullptr, {});
    auto a = bus->Attach();
    auto b = bus->Attach();
    ASSERT_TRUE(a->Send(MakeFrame(3, {1, 2})));
    Frame got;
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_EQ(got.id, 3u);
}

// Worst-case stuffing and the interframe space: 55 + 10n bits for a standard data frame, 8 µs a
// bit at 125 kbit/s.
TEST_F(SimBusTest, WireTimingDeliversAFrameWhenItsLastBitHasPassed)
{
    const std::uint64_t expectedUs[9] = {440, 520, 600, 680, 760, 840, 920, 1000, 1080};
    SimBusOptions options;
    options.wireTiming = true;
    options.bitrate = 125000;
    auto bus = MakeBus(options);
    auto a = bus->Attach();
    auto b = bus->Attach();

    for (std::uint8_t length = 0; length <= 8; ++length) {
        const std::uint64_t start = Us(10'000) * (length + 1); // the wire is idle by then
        nowNs = start;
        const Frame frame = FrameOfLength(length);
        ASSERT_TRUE(a->Send(frame));
        Frame got;
        nowNs = start + Us(expectedUs[length]) - 1;
        EXPECT_FALSE(b->TryReceive(got)) << "length " << int(length);
        nowNs = start + Us(expectedUs[length]);
        ASSERT_TRUE(b->TryReceive(got)) << "length " << int(length);
        EXPECT_TRUE(SameFrame(got, frame));
        EXPECT_EQ(node_->seen.back().nowMs, (start + Us(expectedUs[length])) / 1'000'000);
    }
}

TEST_F(SimBusTest, WireTimeOfExtendedAndRemoteFramesAndOtherRates)
{
    struct Case {
        Frame frame;
        std::uint32_t bitrate;
        std::uint64_t expectedUs;
    };
    Frame remote = FrameOfLength(8);
    remote.remote = true; // asks for 8 bytes, carries none
    const Case cases[] = {
        {MakeFrame(0x1234, {}, true), 125000, 640},                          // 80 bits
        {MakeFrame(0x1234, {1, 2, 3, 4, 5, 6, 7, 8}, true), 125000, 1280},   // 160 bits
        {remote, 125000, 440},                                               // 55 bits
        {FrameOfLength(8), 250000, 540},                                     // 135 bits
        {FrameOfLength(8), 500000, 270},
        {FrameOfLength(0), 500000, 110},
    };
    for (const Case& c : cases) {
        SimBusOptions options;
        options.wireTiming = true;
        options.bitrate = c.bitrate;
        auto bus = MakeBus(options);
        auto a = bus->Attach();
        auto b = bus->Attach();
        nowNs = 0;
        ASSERT_TRUE(a->Send(c.frame));
        Frame got;
        nowNs = Us(c.expectedUs) - 1;
        EXPECT_FALSE(b->TryReceive(got)) << c.bitrate << " " << c.expectedUs;
        nowNs = Us(c.expectedUs);
        EXPECT_TRUE(b->TryReceive(got)) << c.bitrate << " " << c.expectedUs;
    }
}

TEST_F(SimBusTest, FramesQueueBehindEachOtherOnTheWire)
{
    SimBusOptions options;
    options.wireTiming = true;
    auto bus = MakeBus(options);
    auto a = bus->Attach();
    auto b = bus->Attach();
    auto c = bus->Attach();
    const Frame echo = FrameOfLength(8);
    node_->answer = [&](const Frame& frame) {
        if (frame.id == 0x600) {
            node_->Emit(echo);
        }
    };

    ASSERT_TRUE(a->Send(FrameOfLength(8)));                    // on the wire 0..1080 µs
    ASSERT_TRUE(c->Send(MakeFrame(0x600, {1, 2, 3, 4, 5, 6, 7, 8}))); // 1080..2160, then the echo to 3240

    Frame got;
    nowNs = Us(1079);
    EXPECT_FALSE(b->TryReceive(got));
    nowNs = Us(1080);
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_EQ(got.id, 0x108u);
    EXPECT_FALSE(b->TryReceive(got));
    nowNs = Us(2160);
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_EQ(got.id, 0x600u);
    ASSERT_TRUE(c->TryReceive(got));
    EXPECT_EQ(got.id, 0x108u);
    EXPECT_FALSE(c->TryReceive(got)) << "the node's echo follows the request on the wire";
    ASSERT_EQ(node_->seen.size(), 2u);
    EXPECT_EQ(node_->seen[1].nowMs, 2u);
    nowNs = Us(3239);
    EXPECT_FALSE(c->TryReceive(got));
    nowNs = Us(3240);
    ASSERT_TRUE(c->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, echo));

    // Sent long after: starts when sent, not when the wire last went idle.
    nowNs = Us(10'000);
    ASSERT_TRUE(a->Send(FrameOfLength(0)));
    nowNs = Us(10'440);
    ASSERT_TRUE(c->TryReceive(got));
    EXPECT_EQ(got.id, 0x100u);
}

TEST_F(SimBusTest, FullWireRefusesTheSenderAndCountsIt)
{
    SimBusOptions options;
    options.wireTiming = true;
    options.wireCapacity = 2;
    auto bus = MakeBus(options);
    auto a = bus->Attach();
    auto b = bus->Attach();
    EXPECT_TRUE(a->Send(FrameOfLength(1)));
    EXPECT_TRUE(a->Send(FrameOfLength(2)));
    EXPECT_FALSE(a->Send(FrameOfLength(3)));
    EXPECT_EQ(a->Counters().dropped, 1u);
    EXPECT_EQ(a->Counters().sent, 2u);

    // The node's frames lost to the full wire count as dropped for every endpoint.
    node_->Emit(FrameOfLength(4));
    EXPECT_EQ(b->Counters().dropped, 1u);
    EXPECT_EQ(a->Counters().dropped, 2u);

    nowNs = Us(1'000'000);
    Frame got;
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_EQ(got.length, 1);
    ASSERT_TRUE(b->TryReceive(got));
    EXPECT_EQ(got.length, 2);
    EXPECT_FALSE(b->TryReceive(got));
}

// ---- waiting for a frame ----------------------------------------------------------------------

TEST_F(SimBusTest, WaitSleepsUntilEachFramesLastBitHasPassed)
{
    SimBusOptions options;
    options.wireTiming = true;
    auto bus = MakeBus(options);
    auto a = bus->Attach();
    const Frame echo = FrameOfLength(8);
    node_->answer = [&](const Frame&) { node_->Emit(echo); };

    ASSERT_TRUE(a->Send(FrameOfLength(8)));
    EXPECT_TRUE(a->WaitForFrame(std::chrono::milliseconds(10)));
    // Once when the request has passed and the node answers, once when the answer has.
    EXPECT_EQ(wakes, (std::vector<std::uint64_t>{Us(1080), Us(2160)}));
    Frame got;
    ASSERT_TRUE(a->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, echo));
}

TEST_F(SimBusTest, WaitWithNothingToComeEndsAtItsTimeOut)
{
    SimBusOptions options;
    options.wireTiming = true;
    auto bus = MakeBus(options);
    auto a = bus->Attach();
    nowNs = Us(250);
    EXPECT_FALSE(a->WaitForFrame(std::chrono::milliseconds(5)));
    EXPECT_EQ(wakes, std::vector<std::uint64_t>{Us(5250)});
    EXPECT_EQ(nowNs, Us(5250));
}

TEST_F(SimBusTest, WaitWakesForTheNodesNextTimer)
{
    auto bus = MakeBus();
    auto a = bus->Attach();
    const Frame heartbeat = MakeFrame(0x3FF, {0x01});
    node_->nextTimer = 3;
    node_->onPoll = [&](std::uint32_t nowMs) {
        if (nowMs == 3) {
            node_->Emit(heartbeat);
            node_->nextTimer.reset();
        }
    };
    nowNs = Us(400);
    EXPECT_TRUE(a->WaitForFrame(std::chrono::milliseconds(10)));
    EXPECT_EQ(wakes, std::vector<std::uint64_t>{Us(3000)}) << "at the start of the node's millisecond";
    EXPECT_EQ(node_->polls, (std::vector<std::uint32_t>{0, 3}));
}

TEST_F(SimBusTest, WaitReturnsTheFrameAnotherEndpointSendsMeanwhile)
{
    auto bus = MakeBus();
    auto a = bus->Attach();
    auto b = bus->Attach();
    const Frame frame = MakeFrame(0x123, {0x01});
    meanwhile = [&] { ASSERT_TRUE(b->Send(frame)); };
    EXPECT_TRUE(a->WaitForFrame(std::chrono::milliseconds(1000)));
    EXPECT_EQ(wakes.size(), 1u);
    EXPECT_EQ(nowNs, 0u) << "no time passed";
    Frame got;
    ASSERT_TRUE(a->TryReceive(got));
    EXPECT_TRUE(SameFrame(got, frame));
}

TEST_F(SimBusTest, CloseDuringAWaitEndsIt)
{
    auto bus = MakeBus();
    auto a = bus->Attach();
    meanwhile = [&] { a->Close(); };
    EXPECT_FALSE(a->WaitForFrame(std::chrono::milliseconds(1000)));
    EXPECT_EQ(wakes.size(), 1u);
    EXPECT_FALSE(a->WaitForFrame(std::chrono::milliseconds(1000))) << "closed: at once";
    EXPECT_EQ(wakes.size(), 1u);
}

TEST(SimBusThreads, CloseFromAnotherThreadEndsAWaitOnTheRealClock)
{
    auto bus = SimBus::Create(nullptr, {});
    std::shared_ptr<Bus> a = bus->Attach();
    bus.reset(); // the endpoint holds it, as the card libraries do
    auto waited = std::async(std::launch::async, [a] { return a->WaitForFrame(std::chrono::seconds(20)); });
    a->Close();
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(waited.get());
}

TEST_F(SimBusTest, EndpointsOnSeveralThreadsLoseNothingUncounted)
{
    auto bus = SimBus::Create(nullptr, {});
    auto a = bus->Attach();
    auto b = bus->Attach();
    constexpr std::uint32_t kFrames = 20000;
    std::thread sender([&] {
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            a->Send(MakeFrame(i & 0x7FF, {static_cast<std::uint8_t>(i)}));
        }
    });
    std::uint64_t got = 0;
    Frame frame;
    while (got + b->Counters().dropped < kFrames) {
        if (b->TryReceive(frame)) {
            ++got;
        }
    }
    sender.join();
    EXPECT_EQ(a->Counters().sent, kFrames);
    EXPECT_EQ(b->Counters().received, got);
    EXPECT_EQ(got + b->Counters().dropped, kFrames);
}

// The process-wide sim buses that OpenBus hands out, each with a node from the registered factory:
// here a fake that stays silent, so what one endpoint receives comes from another endpoint. The
// tests look at extended frames only, which a DeviceNet device neither sends nor answers.
bool ReceiveExtended(Bus& bus, Frame& frame)
{
    while (bus.TryReceive(frame)) {
        if (frame.extended) {
            return true;
        }
    }
    return false;
}

class OpenSimBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSimNodeFactory([this](std::uint8_t macId) {
            macIds.push_back(macId);
            return std::make_unique<FakeNode>();
        });
    }
    void TearDown() override { SetSimNodeFactory(nullptr); }

    std::vector<std::uint8_t> macIds; // of the nodes made, in order
};

TEST_F(OpenSimBus, TheRegisteredFactoryMakesTheNodeOfEachNewBus)
{
    std::string error;
    auto a = OpenBus("sim:node=12", 125000, error);
    auto b = OpenBus("sim:node=12", 125000, error);
    auto c = OpenBus("sim", 125000, error);
    ASSERT_TRUE(a && b && c) << error;
    EXPECT_EQ(macIds, (std::vector<std::uint8_t>{12, 63})) << "one node per bus, at the MAC ID named";

    SetSimNodeFactory(nullptr);
    auto d = OpenBus("sim:node=12", 125000, error);
    EXPECT_TRUE(d) << "a bus already open is shared without a factory: " << error;
    EXPECT_EQ(OpenBus("sim:node=13", 125000, error), nullptr);
    EXPECT_EQ(error, "no simulated device is registered for the sim bus in this program");
}

TEST_F(OpenSimBus, SameStringSharesOneBusWhileAnyEndpointIsOpen)
{
    std::string error;
    auto a = OpenBus("sim:node=5", 125000, error);
    auto b = OpenBus(" sim:node=5 ", 250000, error);
    auto other = OpenBus("sim:node=6", 125000, error);
    auto plain = OpenBus("sim", 125000, error);
    auto explicit63 = OpenBus("sim:node=63", 125000, error);
    ASSERT_TRUE(a && b && other && plain && explicit63) << error;

    const Frame frame = MakeFrame(0x1ABCDE, {7}, true);
    ASSERT_TRUE(a->Send(frame));
    Frame got;
    ASSERT_TRUE(ReceiveExtended(*b, got));
    EXPECT_TRUE(SameFrame(got, frame));
    EXPECT_FALSE(ReceiveExtended(*other, got));
    EXPECT_FALSE(ReceiveExtended(*plain, got));

    ASSERT_TRUE(plain->Send(frame));
    EXPECT_TRUE(ReceiveExtended(*explicit63, got));

    // Once every endpoint is gone, the same string opens a fresh bus.
    a.reset();
    b.reset();
    auto again = OpenBus("sim:node=5", 125000, error);
    auto again2 = OpenBus("sim:node=5", 125000, error);
    ASSERT_TRUE(again && again2);
    ASSERT_TRUE(again->Send(frame));
    EXPECT_TRUE(ReceiveExtended(*again2, got));
}

TEST_F(OpenSimBus, WireTimedBusRunsAtOneRate)
{
    std::string error;
    auto a = OpenBus("sim:node=9,timing=wire", 500000, error);
    ASSERT_TRUE(a) << error;
    EXPECT_EQ(OpenBus("sim:timing=wire,node=9", 250000, error), nullptr);
    EXPECT_THAT(error, HasSubstr("already runs at 500000 bit/s, not 250000"));
    auto b = OpenBus("sim:timing=wire,node=9", 500000, error);
    ASSERT_TRUE(b) << error;
    // The bus without wire timing is another bus.
    auto c = OpenBus("sim:node=9", 250000, error);
    ASSERT_TRUE(c) << error;
}

} // namespace
} // namespace canbus
