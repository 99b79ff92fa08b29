// How long `dnet scan`'s browse of all 64 MAC IDs takes, through the driver's automation interface
// as dnet runs it (the browse over the card's CANXmit, CANRcv and DNGetAttribute):
// - BrowseOnTheWire: the in-process sim bus with wire timing, the simulated Brelin at MAC ID 63
//   alone. Besides the time, the frames the master exchanged (from the card's trace), their time
//   on the wire at worst-case length, and the ratio of the browse's time to that wire time.
// - BrowseFourOverTcp: four brelinsim processes at different MAC IDs on one tcp:// bus.
// - CardStartUp: Init and Close of each card, the cost a dnet run adds before its browse.

#include "bench/ChildProgram.h"
#include "driver/automation/CardFactory.h"
#include "driver/automation/DriverObject.h"
#include "driver/automation/DriverSettings.h"
#include "driver/automation/server/OrvDeviceNetCom.h"
#include "driver/cards/CardTypes.h"
#include "tools/dnet/Browse.h"
#include "tools/dnet/CanLog.h"
#include "tools/dnet/CardLink.h"
#include "tools/dnet/Session.h"
#include "tools/dnet/WireRate.h"
#include "viewer/app/DriverClient.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace orv;
using dnet::CardKind;

int RateIndex(std::uint32_t bitrate)
{
    return bitrate == 250000 ? 1 : bitrate == 500000 ? 2 : 0;
}

// The driver open on one card on one bus, behind an automation object of this process.
class OpenDriver {
public:
    OpenDriver(int driverType, const std::string& bus, std::uint32_t bitrate)
    {
        char pattern[] = "/tmp/orv-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            configDir_ = pattern;
            setenv("XDG_CONFIG_HOME", configDir_.c_str(), 1); // a fresh driver profile
        }
        setenv("ORV_CANBUS", bus.c_str(), 1); // the SYSTEC card's bus
        automation::SetCardFactory(cards::CreateCardOfType);
        platform::automation::IDispatch* dispatch = nullptr;
        if (automation::CreateOrvDeviceNetCom(nullptr, platform::automation::IID_IDispatch,
                                              reinterpret_cast<void**>(&dispatch)) != platform::automation::S_OK) {
            return;
        }
        client_.Attach(dispatch);
        automation::DriverSettings settings;
        settings.SetDriverType(driverType);
        settings.SetDataRate(RateIndex(bitrate));
        settings.SetDriverName(bus);
        open_ = client_.Init(settings.Data());
    }
    ~OpenDriver()
    {
        client_.Close();
        client_.Release();
        if (!configDir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(configDir_, ignored);
        }
    }

    bool Open() const { return open_; }
    viewer::DriverClient& Client() { return client_; }

private:
    std::string configDir_;
    viewer::DriverClient client_;
    bool open_ = false;
};

// One browse with its time, and the frames of the card's trace when the card keeps one.
struct Browsed {
    dnet::Outcome outcome;
    dnet::ScanResult scan;
    double seconds = 0;
    dnet::CanLog trace;
    bool traced = true;
};

Browsed BrowseOnce(viewer::DriverClient& client, CardKind card, std::uint32_t bitrate)
{
    Browsed browsed;
    char text[viewer::DriverClient::kTraceTextSize] = {};
    const auto fetch = [&] {
        if (browsed.traced && client.GetCANMessage(text) == 0) {
            text[sizeof text - 1] = '\0';
            browsed.trace.Append(text, std::chrono::system_clock::now());
        } else {
            browsed.traced = false;
        }
    };
    fetch(); // what came before
    browsed.trace = {};
    dnet::CardLink link(client, card, dnet::kCardDefaultTimeoutMs, fetch);
    const auto start = std::chrono::steady_clock::now();
    browsed.outcome = dnet::Browse(link, {0, bitrate, dnet::kDefaultScanWaitMs}, browsed.scan);
    link.RestoreTimeout();
    browsed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fetch();
    return browsed;
}

// Every node of `expected` listed with its whole identity.
bool FoundAll(const Browsed& browsed, const std::vector<int>& expected)
{
    if (!browsed.outcome.Ok() || browsed.scan.nodes.size() != expected.size()) {
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const dnet::ScannedNode& node = browsed.scan.nodes[i];
        if (node.node != expected[i] || node.identity.size() != std::size(dnet::kScanIdentityAttributes) ||
            node.release != dnet::ScannedNode::Release::Released) {
            return false;
        }
    }
    return true;
}

// The figures of a run of browses: the mean time and, from the card's trace, the frames and their
// wire time per browse and the ratio of the two times.
class Figures {
public:
    void Add(const Browsed& browsed, std::uint32_t bitrate)
    {
        ++browses_;
        seconds_ += browsed.seconds;
        traced_ = traced_ && browsed.traced && !browsed.trace.MayHaveLostFrames();
        for (const dnet::TracedFrame& frame : browsed.trace.Frames()) {
            wireSeconds_ += double(dnet::WorstCaseFrameBits(frame.data.size())) / bitrate;
            ++frames_;
        }
    }
    // `wireTimed`: the bus delivers frames after their wire time, so the wire figures mean something.
    void Report(benchmark::State& state, bool wireTimed) const
    {
        if (browses_ == 0) {
            return;
        }
        state.counters["browse_ms"] = 1000 * seconds_ / browses_;
        if (!wireTimed) {
            state.counters["frames"] = double(frames_) / browses_;
        } else if (traced_ && wireSeconds_ > 0) {
            state.counters["frames"] = double(frames_) / browses_;
            state.counters["wire_ms"] = 1000 * wireSeconds_ / browses_;
            state.counters["ratio_to_wire"] = seconds_ / wireSeconds_;
        } else {
            state.SetLabel("the card keeps no trace: no wire figures");
        }
    }

private:
    int browses_ = 0;
    double seconds_ = 0;
    double wireSeconds_ = 0;
    std::size_t frames_ = 0;
    bool traced_ = true;
};

// Args: driver type (0 VORA, 1 SST, 2 SYSTEC), data rate in bit/s.
void BrowseOnTheWire(benchmark::State& state)
{
    const auto driverType = static_cast<int>(state.range(0));
    const auto bitrate = static_cast<std::uint32_t>(state.range(1));
    unsetenv("ORV_CANBUS");
    OpenDriver driver(driverType, "sim:timing=wire", bitrate);
    if (!driver.Open()) {
        state.SkipWithError("the card did not open");
        return;
    }
    Figures figures;
    for (auto _ : state) {
        const Browsed browsed = BrowseOnce(driver.Client(), static_cast<CardKind>(driverType), bitrate);
        state.SetIterationTime(browsed.seconds);
        if (!FoundAll(browsed, {63})) {
            state.SkipWithError("the browse did not list node 63 with its identity");
            return;
        }
        figures.Add(browsed, bitrate);
    }
    figures.Report(state, true);
}
BENCHMARK(BrowseOnTheWire)
    ->ArgNames({"driverType", "bitrate"})
    ->Args({1, 125000})
    ->Args({1, 250000})
    ->Args({1, 500000})
    ->Args({0, 125000})
    ->Args({2, 125000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// Four brelinsim processes on one tcp:// bus, the SST card.
void BrowseFourOverTcp(benchmark::State& state)
{
    const std::vector<int> nodes{10, 21, 42, 63};
    const std::string bus = "tcp://127.0.0.1:" + std::to_string(bench::FreePort()) + "/can0";
    std::vector<std::unique_ptr<bench::Child>> simulators;
    for (const int node : nodes) {
        simulators.push_back(std::make_unique<bench::Child>(std::vector<std::string>{
            BRELINSIM_PATH, "--bus", bus, "--node", std::to_string(node), "--no-mac-check"}));
        if (!simulators.back()->Await("brelinsim: MAC ID " + std::to_string(node))) {
            state.SkipWithError("brelinsim did not start");
            return;
        }
    }
    OpenDriver driver(orv::cards::kSstCardType, bus, 125000);
    if (!driver.Open()) {
        state.SkipWithError("the card did not open");
        return;
    }
    // A device is off line for half a second after it starts: browse until all four are there.
    bool ready = false;
    for (int attempt = 0; attempt < 20 && !ready; ++attempt) {
        ready = FoundAll(BrowseOnce(driver.Client(), CardKind::Sst, 125000), nodes);
    }
    if (!ready) {
        state.SkipWithError("the four nodes did not all answer");
        return;
    }
    Figures figures;
    for (auto _ : state) {
        const Browsed browsed = BrowseOnce(driver.Client(), CardKind::Sst, 125000);
        state.SetIterationTime(browsed.seconds);
        if (!FoundAll(browsed, nodes)) {
            state.SkipWithError("the browse did not list the four nodes with their identity");
            return;
        }
        figures.Add(browsed, 125000);
    }
    figures.Report(state, false);
}
BENCHMARK(BrowseFourOverTcp)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Init and Close of each card on the sim bus with the system clock (the SYSTEC card's pause
// after it opens included). Arg: driver type.
void CardStartUp(benchmark::State& state)
{
    unsetenv("ORV_CANBUS");
    for (auto _ : state) {
        OpenDriver driver(static_cast<int>(state.range(0)), "sim", 125000);
        if (!driver.Open()) {
            state.SkipWithError("the card did not open");
            return;
        }
    }
}
BENCHMARK(CardStartUp)->ArgName("driverType")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
