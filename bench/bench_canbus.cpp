// Throughput of the in-process sim bus: raw frame exchanges with an echoing node, and
// Get_Attribute_Single exchanges with the simulated Brelin; at once and with wire timing, where the
// figure that counts is the achieved rate over the rate the wire allows (worst-case stuffing).
// Then how long a TCP hub takes over a flood of distinct `connect:` lines from one client.
// Then the driver with each card on a TCP bus against brelinsim in another process, beside a short
// Python master (tcp_master.py) run on the same bus in the same run.

#include "bench/ChildProgram.h"
#include "canbus/SimBus.h"
#include "canbus/WireTime.h"
#include "devsim/SimBusDevice.h"
#include "driver/automation/CardFactory.h"
#include "driver/automation/DriverObject.h"
#include "driver/cards/CardTypes.h"
#include "driver/devicenet/Clock.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using orv::bench::Child;
using orv::bench::FreePort;

// The system clock with its sleeps skipped.
class NoPauseClock final : public orv::devicenet::SystemClock {
public:
    void Sleep(std::uint32_t) override {}
};

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
        master->TryReceive(got); // answered within Send
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
            master->WaitForFrame(std::chrono::milliseconds(100));
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
        if (!bus.TryReceive(got)) {
            bus.WaitForFrame(std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()));
        } else if (got.id == kResponseId && got.length >= 2 && (got.data[1] & 0x7F) == service) {
            return true;
        }
    }
    return false;
}

// Allocates the explicit connection of the predefined master/slave set, then reads Identity
// vendor ID (class 1, instance 1, attribute 1) over and over.
void GetAttributeSingle(benchmark::State& state, const std::string& busString, std::uint32_t bitrate)
{
    devsim::RegisterSimulatedDevice();
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

// ---- the driver on a TCP bus against brelinsim ------------------------------------------------

// One brelinsim for the whole run, node 63 on a bus of its own; null when it does not start.
Child* Simulator(std::string& bus)
{
    static std::string busString = "tcp://127.0.0.1:" + std::to_string(FreePort()) + "/can0";
    static std::unique_ptr<Child> simulator = [] {
        auto child = std::make_unique<Child>(std::vector<std::string>{BRELINSIM_PATH, "--bus", busString, "--node",
                                                                       "63", "--no-mac-check"});
        return child->Await("brelinsim: MAC ID 63") ? std::move(child) : nullptr;
    }();
    bus = busString;
    return simulator.get();
}

// The Python master's exchanges per second over `seconds` on `bus`; 0 when it could not run.
double PythonMasterRate(const std::string& bus, double seconds)
{
    Child master(
        {"/usr/bin/python3", TCP_MASTER_PATH, "--bus", bus, "--node", "63", "--seconds", std::to_string(seconds)});
    if (!master.Await("}")) {
        return 0;
    }
    const std::string& out = master.Output();
    const auto at = out.find("\"perSecond\": ");
    return at == std::string::npos ? 0 : std::atof(out.c_str() + at + 13);
}

// Get_Attribute_Single of Identity vendor ID through the driver object and one card, on the tcp bus
// brelinsim serves; then the Python master for as long.
void GetAttributeOverTcp(benchmark::State& state)
{
    using namespace orv::automation;
    std::string bus;
    if (Simulator(bus) == nullptr) {
        state.SkipWithError("brelinsim did not start");
        return;
    }
    char folder[] = "/tmp/orv-bench-XXXXXX";
    setenv("XDG_CONFIG_HOME", mkdtemp(folder), 1);
    setenv("ORV_CANBUS", bus.c_str(), 1);
    // The cards on the system clock, without the SYSTEC start pause.
    static NoPauseClock clock;
    SetCardFactory([](int driverType) { return orv::cards::CreateCardWithClock(driverType, clock); });

    DriverSettings settings;
    settings.SetDriverType(static_cast<int>(state.range(0)));
    ModuleConfig module;
    module.SetExplicitEnabled(1);
    module.SetExplicitPacketRate(0);
    std::int32_t rval = -1;
    methods::Init(rval, settings.Data());
    // The device is on line half a second after brelinsim starts: an early opening is tried again.
    bool opened = false;
    for (int attempt = 0; rval == 0 && !opened && attempt < 5; ++attempt) {
        std::int32_t open = -1;
        methods::OpenModule(open, kDevice, module.Data());
        opened = open == 0;
    }
    std::array<std::uint8_t, 152> buffer{};
    if (!opened) {
        state.SkipWithError("the card or the node did not open");
        methods::Close(rval);
        std::filesystem::remove_all(folder);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        methods::DNGetAttribute(rval, kDevice, 1, 1, 1, buffer.data());
        if (rval != 0 || buffer[7] != 0x8E) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    methods::CloseModule(rval, kDevice);
    methods::Close(rval);
    std::filesystem::remove_all(folder);

    const double rate = double(state.iterations()) / seconds;
    const double python = PythonMasterRate(bus, std::max(seconds, 0.5));
    state.counters["exchanges_per_s"] = rate;
    state.counters["python_per_s"] = python;
    if (python > 0) {
        state.counters["ratio_to_python"] = rate / python;
    }
}
BENCHMARK(GetAttributeOverTcp)->ArgName("driverType")->Arg(0)->Arg(1)->Arg(2)->UseRealTime()->MinTime(1.0);

// One client sends `range(0)` distinct `connect:` lines, then a frame; the time until the hub's own
// endpoint has that frame is the time the hub's I/O thread spent on the lines.
void HubConnectFlood(benchmark::State& state)
{
    const std::uint16_t port = FreePort();
    std::string error;
    auto hub = OpenBus("tcp://127.0.0.1:" + std::to_string(port) + "/can0", 125000, error);
    if (!hub) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::string lines;
    for (std::int64_t i = 0; i < state.range(0); ++i) {
        lines += "connect:c" + std::to_string(i) + "\n";
    }
    lines += "can0:5##01\n";
    for (auto _ : state) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            send(fd, lines.data(), lines.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(lines.size())) {
            close(fd);
            state.SkipWithError("cannot reach the hub");
            return;
        }
        Frame got;
        while (!hub->TryReceive(got)) {
            hub->WaitForFrame(std::chrono::seconds(10));
        }
        close(fd);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(HubConnectFlood)->Arg(1000)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
