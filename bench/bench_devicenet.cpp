// Throughput of the DeviceNet master engine against an in-process peer that answers at once:
// the software path only, with no wire in between.

#include "driver/devicenet/DeviceNetMaster.h"
#include "driver/devicenet/Identifiers.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

namespace {

using namespace orv::devicenet;

constexpr std::uint8_t kNode = 63;
constexpr std::uint8_t kMaster = 0;

// A slave that answers every request on the spot: a one-frame Get_Attribute_Single answer, an
// acknowledgement for every request fragment, a one-frame Set answer, and a fragmented 20-byte
// poll response.
class InstantPeer final : public CanLibrary {
public:
    bool SendFrame(const CanFrame& frame) override
    {
        if (frame.identifier == Group2Identifier(kNode, Group2Message::ExplicitRequest)) {
            AnswerExplicit(frame);
        } else if (frame.identifier == Group2Identifier(kNode, Group2Message::PollCommand)) {
            AnswerPoll(frame);
        }
        return true;
    }

    bool ReceiveFrame(CanFrame& frame) override
    {
        if (head_ == tail_) {
            return false;
        }
        frame = queue_[head_++ % queue_.size()];
        return true;
    }

private:
    void Push(std::uint16_t id, std::initializer_list<std::uint8_t> bytes)
    {
        CanFrame& f = queue_[tail_++ % queue_.size()];
        f.identifier = id;
        f.length = static_cast<std::uint8_t>(bytes.size());
        std::size_t i = 0;
        for (auto b : bytes) {
            f.data[i++] = b;
        }
    }

    void AnswerExplicit(const CanFrame& frame)
    {
        const std::uint16_t response = Group2Identifier(kNode, Group2Message::ExplicitResponse);
        if ((frame.data[0] & kHeaderFragment) == 0) {
            Push(response, {kMaster, static_cast<std::uint8_t>(frame.data[1] | kServiceReplyBit), 0x2C, 0x01});
            return;
        }
        const std::uint8_t fragment = frame.data[1];
        Push(response, {static_cast<std::uint8_t>(kHeaderFragment | kMaster),
                        static_cast<std::uint8_t>(kFragmentAck | (fragment & kFragmentCountMask)), 0x00});
        if ((fragment & kFragmentTypeMask) == kFragmentLast) {
            Push(response, {kMaster, 0x90});
        }
    }

    void AnswerPoll(const CanFrame& frame)
    {
        const bool lastCommandFrame = frame.length <= 8 && (frame.data[0] & kFragmentTypeMask) != kFragmentFirst &&
                                      (frame.data[0] & kFragmentTypeMask) != kFragmentMiddle;
        if (!lastCommandFrame) {
            return;
        }
        const std::uint16_t response = 0x3C0 + kNode; // Group 1 message 15
        Push(response, {0x00, 1, 2, 3, 4, 5, 6, 7});
        Push(response, {0x41, 8, 9, 10, 11, 12, 13, 14});
        Push(response, {0x82, 15, 16, 17, 18, 19, 20});
    }

    std::array<CanFrame, 64> queue_{};
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
};

struct Fixture {
    InstantPeer peer;
    SystemClock clock;
    DeviceNetMaster master{peer, clock, MasterPolicy::Sst()};
    std::array<std::uint8_t, 512> buffer{};
    Fixture() { master.Port().Open(kMaster); }
    // The trace fills after a few dozen frames and is then only checked; empty it now and then so
    // that the formatting cost stays in the measurement.
    void Fetch(std::size_t iteration)
    {
        if (iteration % 16 == 0) {
            static char text[1032];
            master.Port().Trace().GetCANMessage(text);
        }
    }
};

void GetAttributeSingle(benchmark::State& state)
{
    Fixture f;
    std::size_t i = 0;
    for (auto _ : state) {
        if (f.master.DNGetAttribute(kNode, 1, 1, 1, f.buffer.data()) != 0) {
            state.SkipWithError("exchange failed");
            break;
        }
        f.Fetch(++i);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["exchanges/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void FragmentedSetAttribute128(benchmark::State& state)
{
    Fixture f;
    std::size_t i = 0;
    for (auto _ : state) {
        if (f.master.DNSetAttribute(kNode, 0x40, 1, 5, 128, f.buffer.data()) != 0) {
            state.SkipWithError("exchange failed");
            break;
        }
        f.Fetch(++i);
    }
    state.counters["exchanges/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void FragmentedPoll20(benchmark::State& state)
{
    Fixture f;
    std::size_t i = 0;
    for (auto _ : state) {
        std::uint16_t rxId = 0;
        std::uint16_t rxLength = 20;
        if (f.master.DNPoll(Group2Identifier(kNode, Group2Message::PollCommand), 20, &rxId, &rxLength,
                            f.buffer.data()) != 0 ||
            rxLength != 20) {
            state.SkipWithError("exchange failed");
            break;
        }
        f.Fetch(++i);
    }
    state.counters["exchanges/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(GetAttributeSingle);
BENCHMARK(FragmentedSetAttribute128);
BENCHMARK(FragmentedPoll20);
BENCHMARK_MAIN();
