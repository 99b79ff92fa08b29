// Throughput of the in-process sim bus: raw frame exchanges with an echoing node, and
// Get_Attribute_Single exchanges with the simulated Brelin; at once and with wire timing, where the
// figure that counts is the achieved rate over the rate the wire allows (worst-case stuffing).

#include "canbus/SimBus.h"
#include "canbus/WireTime.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace {

using namespace canbus;

// Answers every frame at once with a frame of the answer length.
class EchoNode final : public SimNode {
public:
    explicit EchoNode(std::uint8_t answerLength) { answer_.id = 0x5FB, answer_.length = answerLength; }
    void SetSink(Sink sink) override { sink_ = std::move(sink); }
    void OnFrame(const Frame&, std::uint32_t) override { sink_(answer_); }
    void Poll(std::uint32_t) override {}
    std::optional<std::uint32_t> NextTimer(std::uint32_t) const override { return std::nullopt; }

private:
    Sink sink_;
    Frame answer_;
};

Frame Request(std::uint8_t length)
{
    Frame frame;
    frame.id = 0x5FC;
    frame.length = length;
    return frame;
}

// Request and answer of a Get_Attribute_Single: 5 bytes out, 4 back.
constexpr std::uint8_t kRequestLength = 5;
constexpr std::uint8_t kAnswerLength = 4;

void SimEndpointToEndpoint(benchmark::State& state)
{
    auto bus = SimBus::Create(nullptr, {});
    auto a = bus->Attach();
    auto b = bus->Attach();
    const Frame frame = Request(8);
    Frame got;
    for (auto _ : state) {
        a->Send(frame);
        b->TryReceive(got);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SimEndpointToEndpoint);

void SimEchoExchange(benchmark::State& state)
{
    auto bus = SimBus::Create(std::make_unique<EchoNode>(kAnswerLength), {});
    auto master = bus->Attach();
    const Frame request = Request(kRequestLength);
    Frame got;
    for (auto _ : state) {
        master->Send(request);
        while (!master->TryReceive(got)) {
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SimEchoExchange);

void SimEchoExchangeOnTheWire(benchmark::State& state)
{
    SimBusOptions options;
    options.wireTiming = true;
    options.bitrate = static_cast<std::uint32_t>(state.range(0));
    auto bus = SimBus::Create(std::make_unique<EchoNode>(kAnswerLength), options);
    auto master = bus->Attach();
    const Frame request = Request(kRequestLength);
    Frame got;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        master->Send(request);
        while (!master->TryReceive(got)) {
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double wireLimited = double(options.bitrate) / (FrameBits(request) + FrameBits(got));
    state.counters["exchanges_per_s"] = double(state.iterations()) / seconds;
    state.counters["wire_limited_per_s"] = wireLimited;
    state.counters["ratio"] = double(state.iterations()) / seconds / wireLimited;
}
BENCHMARK(SimEchoExchangeOnTheWire)->Arg(125000)->Arg(250000)->Arg(500000)->UseRealTime()->MinTime(0.5);

// DeviceNet Group 2 identifiers of the device at MAC ID 63 and the master at 0.
constexpr std::uint8_t kDevice = 63;
constexpr std::uint8_t kMaster = 0;
constexpr std::uint32_t Group2(std::uint8_t mac, std::uint8_t message) { return 0x400u | (mac << 3) | message; }
constexpr std::uint32_t kResponseId = Group2(kDevice, 3);

// Waits for the device's answer with this service reply code; false after 200 ms.
bool AwaitAnswer(Bus& bus, std::uint8_t service, Frame& got)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < deadline) {
        if (bus.TryReceive(got) && got.id == kResponseId && got.length >= 2 && (got.data[1] & 0x7F) == service) {
            return true;
        }
    }
    return false;
}

// Allocates the explicit connection of the predefined master/slave set, then reads Identity
// vendor ID (class 1, instance 1, attribute 1) over and over.
void GetAttributeSingle(benchmark::State& state, const std::string& busString, std::uint32_t bitrate)
{
    std::string error;
    auto bus = OpenBus(busString, bitrate, error);
    if (!bus) {
        state.SkipWithError(error.c_str());
        return;
    }
    Frame allocate;
    allocate.id = Group2(kDevice, 6);
    allocate.length = 6;
    allocate.data = {kMaster, 0x4B, 0x03, 0x01, 0x01, kMaster};
    Frame got;
    if (!bus->Send(allocate) || !AwaitAnswer(*bus, 0x4B, got)) {
        state.SkipWithError("the simulated device does not answer Allocate");
        return;
    }
    Frame request;
    request.id = Group2(kDevice, 4);
    request.length = 5;
    request.data = {kMaster, 0x0E, 0x01, 0x01, 0x01};
    std::uint32_t answerBits = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        bus->Send(request);
        if (!AwaitAnswer(*bus, 0x0E, got) || got.data[1] != 0x8E) {
            state.SkipWithError("no Get_Attribute_Single answer");
            return;
        }
        answerBits = FrameBits(got);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["exchanges_per_s"] = double(state.iterations()) / seconds;
    if (busString.find("timing=wire") != std::string::npos) {
        const double wireLimited = double(bitrate) / (FrameBits(request) + answerBits);
        state.counters["wire_limited_per_s"] = wireLimited;
        state.counters["ratio"] = double(state.iterations()) / seconds / wireLimited;
    }
}

void GetAttributeSingleAtOnce(benchmark::State& state) { GetAttributeSingle(state, "sim", 125000); }
BENCHMARK(GetAttributeSingleAtOnce)->UseRealTime();

void GetAttributeSingleOnTheWire(benchmark::State& state)
{
    GetAttributeSingle(state, "sim:timing=wire", static_cast<std::uint32_t>(state.range(0)));
}
BENCHMARK(GetAttributeSingleOnTheWire)->Arg(125000)->Arg(250000)->Arg(500000)->UseRealTime()->MinTime(0.5);

} // namespace

BENCHMARK_MAIN();
