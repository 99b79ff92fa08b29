// Get_Attribute_Single exchanges per second through the driver object and each card back-end, on
// the stand-in card libraries and the in-process simulated Brelin.

#include "driver/automation/CardFactory.h"
#include "driver/automation/DriverObject.h"
#include "driver/cards/CardTypes.h"
#include "driver/devicenet/Clock.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <filesystem>

namespace {

// The system clock with its sleeps skipped.
class NoPauseClock final : public orv::devicenet::SystemClock {
public:
    void Sleep(std::uint32_t) override {}
};

using namespace orv::automation;

constexpr int kNode = 63;

void GetAttributeThroughCard(benchmark::State& state)
{
    const int driverType = static_cast<int>(state.range(0));
    char folder[] = "/tmp/orv-bench-XXXXXX";
    setenv("XDG_CONFIG_HOME", mkdtemp(folder), 1);
    // The cards on the system clock, without the SYSTEC start pause.
    static NoPauseClock clock;
    SetCardFactory([](int driverType) { return orv::cards::CreateCardWithClock(driverType, clock); });

    DriverSettings settings;
    settings.SetDriverType(driverType);
    ModuleConfig module;
    module.SetExplicitEnabled(1);
    module.SetExplicitPacketRate(0);
    std::int32_t rval = -1;
    methods::Init(rval, settings.Data());
    if (rval == 0) {
        methods::OpenModule(rval, kNode, module.Data());
    }
    if (rval != 0) {
        state.SkipWithError("the card or the node did not open");
        methods::Close(rval);
        return;
    }
    std::array<std::uint8_t, 152> buffer{};
    std::array<std::uint8_t, 1032> trace{};
    std::int64_t n = 0;
    for (auto _ : state) {
        methods::DNGetAttribute(rval, kNode, 1, 1, 1, buffer.data());
        if (rval != 0 || buffer[7] != 0x8E) {
            state.SkipWithError("exchange failed");
            break;
        }
        if (++n % 16 == 0) {
            methods::GetCANMessage(rval, trace.data()); // keep the trace formatting in the measurement
        }
    }
    state.counters["exchanges/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    methods::CloseModule(rval, kNode);
    methods::Close(rval);
    std::filesystem::remove_all(folder);
}

} // namespace

BENCHMARK(GetAttributeThroughCard)->ArgName("driverType")->Arg(0)->Arg(1)->Arg(2);
BENCHMARK_MAIN();
