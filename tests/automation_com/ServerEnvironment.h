#pragma once
// What the tests of the built server library share: a temporary class registry and config folder,
// the library registered there, prompts that fail the test, the records a client hands over by
// address (built at their fixed offsets, as a client builds them), and calls in a few words.

#include "driver/automation/server/OrvDeviceNetCom.h"
#include "platform/UserPrompt.h"
#include "platform/automation/Creation.h"
#include "platform/automation/DispatchDriver.h"
#include "platform/automation/Registration.h"
#include "platform/automation/ServerExports.h"
#include "tests/platform/TestEnvironment.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::comtest {


// The built library as the build registers it (the unversioned name).
inline const std::string kLibraryPath = std::filesystem::path(ORV_DRIVER_LIBRARY).lexically_normal().string();

inline constexpr int kNode = 63;
inline constexpr int kSstCard = 1;
// Group 2 identifiers of node 63: explicit request to it, its explicit response, its poll command.
inline constexpr int kExplicitRequestId = 0x404 + 8 * kNode;
inline constexpr int kExplicitResponseId = 0x403 + 8 * kNode;
inline constexpr int kPollCommandId = 0x405 + 8 * kNode;

// Fails the test when the library shows anything: these tests need no user.
class FailingPrompts final : public platform::PromptHandler {
public:
    void MessageBox(const std::string& text) override { ADD_FAILURE() << "unexpected message box: " << text; }
    std::optional<std::string> OpenFile(const platform::OpenFileRequest& request) override
    {
        ADD_FAILURE() << "unexpected open-file dialog: " << request.filter;
        return std::nullopt;
    }
};

inline void PutLe32(std::uint8_t* at, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

inline std::uint16_t GetLe16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// The 88-byte network settings: scnId at 0, dataRate at 4, driverType at 16, driverName at 21.
inline std::array<std::uint8_t, 88> SettingsRecord(int driverType, int dataRate = 0, int scnId = 0,
                                                   std::string_view driverName = {})
{
    std::array<std::uint8_t, 88> record{};
    PutLe32(record.data() + 0, scnId);
    PutLe32(record.data() + 4, dataRate);
    PutLe32(record.data() + 8, 760);
    PutLe32(record.data() + 12, 3);
    PutLe32(record.data() + 16, driverType);
    if (!driverName.empty()) {
        std::memcpy(record.data() + 21, driverName.data(), std::min<std::size_t>(driverName.size(), 63));
    }
    return record;
}

// The 6-byte module configuration: two enables, two little-endian expected packet rates.
inline std::array<std::uint8_t, 6> ModuleRecord(bool poll, std::uint16_t explicitRate = 2500,
                                                std::uint16_t pollRate = 1000)
{
    return {1,
            static_cast<std::uint8_t>(poll ? 1 : 0),
            static_cast<std::uint8_t>(explicitRate & 0xFF),
            static_cast<std::uint8_t>(explicitRate >> 8),
            static_cast<std::uint8_t>(pollRate & 0xFF),
            static_cast<std::uint8_t>(pollRate >> 8)};
}

// Sentinel for rval: a method sets -1 first, so a refused call is one that left this.
inline constexpr std::int32_t kUntouched = 77;

struct Outcome {
    platform::automation::HRESULT status;
    std::int32_t rval;
};

// Calls `dispId` with a fresh rval by reference and then `rest`.
inline Outcome Call(platform::automation::IDispatch* dispatch, platform::automation::DISPID dispId, std::initializer_list<platform::automation::VARIANT> rest = {})
{
    Outcome outcome{platform::automation::E_FAIL, kUntouched};
    std::vector<platform::automation::VARIANT> args{platform::automation::VARIANT::Ref(&outcome.rval)};
    args.insert(args.end(), rest.begin(), rest.end());
    outcome.status = platform::automation::InvokeMethod(dispatch, dispId, args);
    return outcome;
}

// True while the library is mapped into the process.
inline bool LibraryLoaded()
{
    void* handle = dlopen(kLibraryPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

// Closes the process's driver object through the loaded library's own class factory, whatever
// the registry says now. Nothing happens when the library is not loaded.
inline void CloseDriverIfLoaded()
{
    void* handle = dlopen(kLibraryPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return;
    }
    const auto getClassObject = reinterpret_cast<platform::automation::DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    platform::automation::ComPtr<platform::automation::IClassFactory> factory;
    if (getClassObject != nullptr &&
        getClassObject(&automation::kOrvDeviceNetComClsid, &platform::automation::IID_IClassFactory, factory.Receive()) == platform::automation::S_OK) {
        platform::automation::ComPtr<platform::automation::IDispatch> dispatch;
        if (factory->CreateInstance(nullptr, platform::automation::IID_IDispatch, dispatch.Receive()) == platform::automation::S_OK) {
            Call(dispatch.Get(), 12);
        }
    }
    dlclose(handle);
}

// A fresh registry with the library registered, a fresh driver profile, the default bus, and no
// prompts. The driver object is closed and unused libraries released afterwards.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_EQ(platform::automation::RegisterServerLibrary(kLibraryPath, &why), platform::automation::S_OK) << why;
    }
    void TearDown() override
    {
        CloseDriverIfLoaded();
        platform::automation::CoFreeUnusedLibraries();
    }

    platform::automation::ComPtr<platform::automation::IDispatch> Create(std::string_view progId = automation::kOrvDeviceNetComProgId)
    {
        platform::automation::ComPtr<platform::automation::IDispatch> dispatch;
        std::string why;
        EXPECT_EQ(platform::automation::CreateDispatch(progId, dispatch, &why), platform::automation::S_OK) << why;
        return dispatch;
    }

    std::filesystem::path RegistryFile() const { return folder_ / "registry.ini"; }

    test::TempFolder folder_;
    test::ScopedEnvironment registryVariable_{"ORV_REGISTRY", (folder_ / "registry.ini").string()};
    test::ScopedEnvironment configVariable_{"XDG_CONFIG_HOME", (folder_ / "config").string()};
    test::ScopedEnvironment busVariable_{"ORV_CANBUS", std::nullopt};
    test::ScopedEnvironment refuseVariable_{"ORV_CARDLIB_REFUSE", std::nullopt};
    FailingPrompts prompts_;
    platform::ScopedPromptHandler promptScope_{prompts_};
};

} // namespace orv::comtest
