// Cost of the automation layer: Get_Attribute_Single exchanges per second through
// IDispatch::Invoke (a DispatchDriver on OrvDeviceNetCom) against the same exchange through the
// driver object's method directly, on the SST card and the simulated Brelin of the in-process sim
// bus: with frames delivered at once (/0, the software path alone) and after their time on a
// 500 kbit/s wire (/1). Calls that reach no card show the layer's own cost per call.

#include "driver/automation/CardFactory.h"
#include "driver/automation/DriverObject.h"
#include "driver/automation/ModuleConfig.h"
#include "driver/automation/server/OrvDeviceNetCom.h"
#include "driver/cards/CardTypes.h"
#include "platform/automation/DispatchDriver.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace orv::automation;

constexpr std::int16_t kNode = 63;

// The driver open on the SST card on `bus` at `dataRate` with node 63's explicit connection, and
// one automation object.
class Session {
public:
    Session(const std::string& bus, int dataRate) : bus_(bus)
    {
        char pattern[] = "/tmp/orv-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            configDir_ = pattern;
            setenv("XDG_CONFIG_HOME", configDir_.c_str(), 1); // a fresh driver profile
        }
        unsetenv("ORV_CANBUS");
        SetCardFactory(orv::cards::CreateCardOfType);
        orv::platform::automation::IDispatch* dispatch = nullptr;
        if (CreateOrvDeviceNetCom(nullptr, orv::platform::automation::IID_IDispatch, reinterpret_cast<void**>(&dispatch)) == orv::platform::automation::S_OK) {
            driver_.AttachDispatch(dispatch);
        }
        DriverSettings settings;
        settings.SetDriverType(orv::cards::kSstCardType);
        settings.SetDataRate(dataRate);
        settings.SetDriverName(bus); // the SST card's name names its bus
        std::int32_t rval = -1;
        methods::Init(rval, settings.Data());
        if (rval != 0) {
            error_ = "the SST card did not open";
            return;
        }
        methods::SetTimeout(rval, 250);
        ModuleConfig module;
        module.SetExplicitEnabled(1);
        module.SetExplicitPacketRate(2500);
        methods::OpenModule(rval, kNode, module.Data());
        if (rval != 0) {
            error_ = "the simulated Brelin did not open its explicit connection";
        }
    }
    ~Session()
    {
        driver_.ReleaseDispatch();
        std::int32_t rval = -1;
        methods::Close(rval);
        if (!configDir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(configDir_, ignored);
        }
    }

    const std::string& Bus() const { return bus_; }
    const std::string& Error() const { return error_; }
    const orv::platform::automation::DispatchDriver& Driver() const { return driver_; }

private:
    std::string bus_;
    std::string configDir_;
    std::string error_;
    orv::platform::automation::DispatchDriver driver_;
};

// The session on `bus`; one at a time, since the card library serves one card.
Session& TheSession(const std::string& bus = "sim", int dataRate = 0)
{
    static std::unique_ptr<Session> session;
    if (!session || session->Bus() != bus) {
        session.reset();
        session = std::make_unique<Session>(bus, dataRate);
    }
    return *session;
}

// Range 0: frames delivered at once; 1: each frame after its time on a 500 kbit/s wire.
Session& SessionFor(const benchmark::State& state)
{
    return state.range(0) == 0 ? TheSession("sim") : TheSession("sim:timing=wire", 2);
}

void BM_GetAttributeDirect(benchmark::State& state)
{
    Session& session = SessionFor(state);
    if (!session.Error().empty()) {
        state.SkipWithError(session.Error().c_str());
        return;
    }
    std::array<std::uint8_t, 152> buffer{};
    for (auto _ : state) {
        std::int32_t rval = -1;
        methods::DNGetAttribute(rval, kNode, 1, 1, 1, buffer.data());
        if (rval != 0 || buffer[7] != 0x8E) {
            state.SkipWithError("Get_Attribute_Single failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetAttributeDirect)->Arg(0);

void BM_GetAttributeInvoke(benchmark::State& state)
{
    Session& session = SessionFor(state);
    if (!session.Error().empty()) {
        state.SkipWithError(session.Error().c_str());
        return;
    }
    std::array<std::uint8_t, 152> buffer{};
    for (auto _ : state) {
        std::int32_t rval = -1;
        const orv::platform::automation::HRESULT status =
            session.Driver().InvokeMethod(5, {orv::platform::automation::VARIANT::Ref(&rval), orv::platform::automation::VARIANT::I2(kNode), orv::platform::automation::VARIANT::I2(1),
                                              orv::platform::automation::VARIANT::I2(1), orv::platform::automation::VARIANT::I2(1),
                                              orv::platform::automation::VARIANT::Bytes(buffer.data())});
        if (status != orv::platform::automation::S_OK || rval != 0 || buffer[7] != 0x8E) {
            state.SkipWithError("Get_Attribute_Single through Invoke failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetAttributeInvoke)->Arg(0);
BENCHMARK(BM_GetAttributeDirect)->Arg(1)->UseRealTime();
BENCHMARK(BM_GetAttributeInvoke)->Arg(1)->UseRealTime();

// The layer alone: NetworkWho reaches no card.
void BM_NetworkWhoDirect(benchmark::State& state)
{
    std::array<std::uint8_t, 8> buffer{};
    for (auto _ : state) {
        std::int32_t rval = 0;
        methods::NetworkWho(rval, kNode, buffer.data());
        benchmark::DoNotOptimize(rval);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NetworkWhoDirect);

void BM_NetworkWhoInvoke(benchmark::State& state)
{
    Session& session = TheSession();
    std::array<std::uint8_t, 8> buffer{};
    for (auto _ : state) {
        std::int32_t rval = 0;
        session.Driver().InvokeMethod(10, {orv::platform::automation::VARIANT::Ref(&rval), orv::platform::automation::VARIANT::I2(kNode),
                                           orv::platform::automation::VARIANT::Bytes(buffer.data())});
        benchmark::DoNotOptimize(rval);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NetworkWhoInvoke);

// The same through IDispatch::Invoke with the arguments laid out once, as DISPPARAMS holds them.
void BM_NetworkWhoInvokeDispParams(benchmark::State& state)
{
    Session& session = TheSession();
    std::array<std::uint8_t, 8> buffer{};
    std::int32_t rval = 0;
    std::array<orv::platform::automation::VARIANT, 3> args{orv::platform::automation::VARIANT::Bytes(buffer.data()), orv::platform::automation::VARIANT::I2(kNode),
                                     orv::platform::automation::VARIANT::Ref(&rval)};
    orv::platform::automation::DISPPARAMS params{args.data(), nullptr, 3, 0};
    orv::platform::automation::IDispatch* dispatch = session.Driver().Dispatch();
    for (auto _ : state) {
        dispatch->Invoke(10, orv::platform::automation::DISPATCH_METHOD, &params, nullptr, nullptr);
        benchmark::DoNotOptimize(rval);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NetworkWhoInvokeDispParams);

} // namespace

BENCHMARK_MAIN();
