// Cost of the automation layer: Get_Attribute_Single exchanges per second through
// IDispatch::Invoke (a DispatchDriver on OrvDeviceNetCom) against the same exchange through the
// driver object's method directly, on the SST card and the simulated Brelin of the in-process sim
// bus. A pair of calls that reach no card shows the layer's own cost per call.

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
#include <string>

namespace {

namespace com = orv::com;
using namespace orv::automation;

constexpr std::int16_t kNode = 63;

// The driver open on the SST card with node 63's explicit connection, and one automation object.
class Session {
public:
    Session()
    {
        char pattern[] = "/tmp/orv-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            configDir_ = pattern;
            setenv("XDG_CONFIG_HOME", configDir_.c_str(), 1); // a fresh driver profile
        }
        unsetenv("ORV_CANBUS");
        SetCardFactory(orv::cards::CreateCardOfType);
        com::IDispatch* dispatch = nullptr;
        if (CreateOrvDeviceNetCom(nullptr, com::IID_IDispatch, reinterpret_cast<void**>(&dispatch)) == com::S_OK) {
            driver_.AttachDispatch(dispatch);
        }
        DriverSettings settings;
        settings.SetDriverType(orv::cards::kSstCardType);
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

    const std::string& Error() const { return error_; }
    const com::DispatchDriver& Driver() const { return driver_; }

private:
    std::string configDir_;
    std::string error_;
    com::DispatchDriver driver_;
};

Session& TheSession()
{
    static Session session;
    return session;
}

void BM_GetAttributeDirect(benchmark::State& state)
{
    Session& session = TheSession();
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
BENCHMARK(BM_GetAttributeDirect);

void BM_GetAttributeInvoke(benchmark::State& state)
{
    Session& session = TheSession();
    if (!session.Error().empty()) {
        state.SkipWithError(session.Error().c_str());
        return;
    }
    std::array<std::uint8_t, 152> buffer{};
    for (auto _ : state) {
        std::int32_t rval = -1;
        const com::HRESULT status =
            session.Driver().InvokeMethod(5, {com::VARIANT::Ref(&rval), com::VARIANT::I2(kNode), com::VARIANT::I2(1),
                                              com::VARIANT::I2(1), com::VARIANT::I2(1),
                                              com::VARIANT::Bytes(buffer.data())});
        if (status != com::S_OK || rval != 0 || buffer[7] != 0x8E) {
            state.SkipWithError("Get_Attribute_Single through Invoke failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetAttributeInvoke);

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
        session.Driver().InvokeMethod(10, {com::VARIANT::Ref(&rval), com::VARIANT::I2(kNode),
                                           com::VARIANT::Bytes(buffer.data())});
        benchmark::DoNotOptimize(rval);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NetworkWhoInvoke);

} // namespace

BENCHMARK_MAIN();
