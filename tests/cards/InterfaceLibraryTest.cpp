#include "driver/cards/CardLibraries.h"
#include "platform/UserPrompt.h"
#include "tests/platform/TestEnvironment.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <deque>

namespace orv::cards {
namespace {

namespace fs = std::filesystem;
using platform::DynamicLibrary;
using platform::Profile;
using test::ReadText;
using test::WriteText;

const std::string kVoraMessage = "Unable to load \"DRV712.DLL\".\r\nPlease select directory path.";
const std::string kVoraFilter = "VORA Interface DLL (DRV712.DLL)|Drv712.dll|All Files (*.*)|*.*||";

// Answers dialogs from a script and records what it was shown, with the profile's text at each
// message (to see what was written before the next attempt). An exhausted script cancels.
class ScriptedPrompts final : public platform::PromptHandler {
public:
    explicit ScriptedPrompts(fs::path profileFile) : profileFile_(std::move(profileFile)) {}

    void MessageBox(const std::string& text) override
    {
        messages.push_back(text);
        profileAtMessage.push_back(ReadText(profileFile_));
    }
    std::optional<std::string> OpenFile(const platform::OpenFileRequest& request) override
    {
        requests.push_back(request);
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> messages;
    std::vector<std::string> profileAtMessage;
    std::vector<platform::OpenFileRequest> requests;

private:
    fs::path profileFile_;
};

int FixtureId(const DynamicLibrary& library)
{
    const auto id = library.FindFunction<int (*)()>("orv_fixture_id");
    return id != nullptr ? id() : -1;
}

bool IsMapped(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

class LibraryLoadingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.Path().empty()); }

    Profile DriverProfileHere() { return DriverProfile(); }
    fs::path ProfileFile() const { return folder_ / "config" / "OrvDeviceNetDriver.ini"; }
    std::string Missing(const std::string& name) const { return (folder_ / "absent" / name).string(); }

    // Libraries found by bare name must be the test copies, which LD_LIBRARY_PATH puts first.
    static bool DefaultsReachable()
    {
        const char* searchPath = std::getenv("LD_LIBRARY_PATH");
        return searchPath != nullptr && std::string(searchPath).find(ORV_DEFAULT_FIXTURE_DIR) != std::string::npos;
    }

    test::TempFolder folder_;
    test::ScopedEnvironment configHome_{"XDG_CONFIG_HOME", (folder_ / "config").string()};
    ScriptedPrompts prompts_{ProfileFile()};
    platform::ScopedPromptHandler promptScope_{prompts_};
};

TEST_F(LibraryLoadingTest, WithoutTheSectionEachCardTriesItsDefaultFileName)
{
    if (!DefaultsReachable()) {
        GTEST_SKIP() << "the test libraries are not on LD_LIBRARY_PATH; run this test through ctest";
    }
    WriteText(ProfileFile(), "[OTHER]\nVORA=elsewhere.dll\n");
    Profile profile = DriverProfile();

    VoraLibrary vora = LoadVoraLibrary(profile);
    ASSERT_TRUE(vora.library);
    EXPECT_EQ(FixtureId(vora.library), 1);

    C2aLibrary c2a = LoadC2aLibrary(profile);
    ASSERT_EQ(c2a.outcome, C2aLoadOutcome::Loaded);
    EXPECT_EQ(FixtureId(c2a.library), 1);

    UsbCanLibrary usbcan = LoadUsbCanLibrary(profile);
    ASSERT_TRUE(usbcan.library);
    EXPECT_EQ(FixtureId(usbcan.library), 1);

    std::vector<std::string> handed;
    EXPECT_TRUE(LoadSstCardDriver(profile, [&handed](const char* path) {
        handed.emplace_back(path);
        return 1;
    }));
    EXPECT_EQ(handed, std::vector<std::string>{"ssdn32.dll"});

    // The same through the driver library's own profile.
    EXPECT_EQ(FixtureId(LoadVoraLibrary().library), 1);
    EXPECT_TRUE(prompts_.messages.empty());
    EXPECT_EQ(ReadText(ProfileFile()), "[OTHER]\nVORA=elsewhere.dll\n");
}

TEST_F(LibraryLoadingTest, StoredPathIsLoadedWithoutAsking)
{
    Profile profile = DriverProfile();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", FIXTURE_VORA_PICKED));
    ASSERT_TRUE(profile.WriteProfileString("interfacedriver", "systec", FIXTURE_USBCAN_PICKED));
    EXPECT_EQ(FixtureId(LoadVoraLibrary(profile).library), 2);
    EXPECT_EQ(FixtureId(LoadUsbCanLibrary(profile).library), 2);
    EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(LibraryLoadingTest, PickedPathIsRememberedBeforeItIsTriedAndUsedOnTheNextRun)
{
    Profile profile = DriverProfile();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", Missing("Drv712.dll")));
    const std::string before = ReadText(ProfileFile());
    prompts_.answers = {FIXTURE_VORA_PICKED};

    VoraLibrary first = LoadVoraLibrary(profile);
    ASSERT_TRUE(first.library);
    EXPECT_EQ(FixtureId(first.library), 2);
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.profileAtMessage[0], before);
    EXPECT_EQ(ReadText(ProfileFile()), "[INTERFACEDRIVER]\nVORA=" + std::string(FIXTURE_VORA_PICKED) + "\n");

    VoraLibrary second = LoadVoraLibrary(profile);
    EXPECT_EQ(FixtureId(second.library), 2);
    EXPECT_EQ(prompts_.messages.size(), 1u);
}

TEST_F(LibraryLoadingTest, EachLibraryShowsItsOwnMessageAndFilter)
{
    struct Case {
        InterfaceLibraryId id;
        const char* key;
        std::string message;
        std::string filter;
    };
    const Case cases[] = {
        {InterfaceLibraryId::Vora, "VORA", kVoraMessage, kVoraFilter},
        {InterfaceLibraryId::Sst, "SST", "Unable to load \"SSC2A32.DLL\".\r\nPlease select directory path.",
         "SST Interface DLL (SSC2A32.DLL)|ssc2a32.dll|All Files (*.*)|*.*||"},
        {InterfaceLibraryId::SstSpecific, "SST_SPECIFIC",
         "Unable to load \"SSDN32.DLL\".\r\nPlease select directory path.",
         "SST Interface DLL (SSDN32.DLL)|ssdn32.dll|All Files (*.*)|*.*||"},
        {InterfaceLibraryId::Systec, "SYSTEC", "Unable to load \"USBCAN32.DLL\".\r\nPlease select directory path.",
         "SYSTEC Interface DLL (USBCAN32.DLL)|usbcan32.dll|All Files (*.*)|*.*||"},
    };
    Profile profile = DriverProfile();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", c.key, Missing("x.dll")));
        prompts_.messages.clear();
        prompts_.requests.clear();
        switch (c.id) {
        case InterfaceLibraryId::Vora: EXPECT_FALSE(LoadVoraLibrary(profile).library); break;
        case InterfaceLibraryId::Sst: EXPECT_EQ(LoadC2aLibrary(profile).outcome, C2aLoadOutcome::Cancelled); break;
        case InterfaceLibraryId::SstSpecific:
            EXPECT_FALSE(LoadSstCardDriver(profile, [](const char*) { return 0; }));
            break;
        case InterfaceLibraryId::Systec: EXPECT_FALSE(LoadUsbCanLibrary(profile).library); break;
        }
        ASSERT_EQ(prompts_.messages.size(), 1u);
        EXPECT_EQ(prompts_.messages[0], c.message);
        ASSERT_EQ(prompts_.requests.size(), 1u);
        EXPECT_EQ(prompts_.requests[0].filter, c.filter);
        EXPECT_EQ(prompts_.requests[0].defaultExtension, "dll");
    }
}

TEST_F(LibraryLoadingTest, CancelLeavesTheProfileUnchangedAndNoLibrary)
{
    const std::string before = "; kept as it is\n[INTERFACEDRIVER]\nVORA=" + Missing("Drv712.dll") +
                               "\nSST=" + Missing("ssc2a32.dll") + "\nSST_SPECIFIC=" + Missing("ssdn32.dll") +
                               "\nSYSTEC=" + Missing("usbcan32.dll") + "\n";
    WriteText(ProfileFile(), before);
    Profile profile = DriverProfile();

    VoraLibrary vora = LoadVoraLibrary(profile);
    EXPECT_FALSE(vora.library);
    EXPECT_EQ(vora.functions.DNAllocate, nullptr);
    EXPECT_EQ(vora.functions.LoadVXD, nullptr);
    EXPECT_EQ(vora.functions.DNPoll, nullptr);

    C2aLibrary c2a = LoadC2aLibrary(profile);
    EXPECT_EQ(c2a.outcome, C2aLoadOutcome::Cancelled);
    EXPECT_EQ(static_cast<int>(c2a.outcome), 1);
    EXPECT_FALSE(c2a.library);
    EXPECT_EQ(c2a.functions.C2A_OpenCard, nullptr);

    EXPECT_FALSE(LoadSstCardDriver(profile, [](const char*) { return 0; }));

    UsbCanLibrary usbcan = LoadUsbCanLibrary(profile);
    EXPECT_FALSE(usbcan.library);
    EXPECT_EQ(usbcan.functions.UcanInitHardware, nullptr);
    EXPECT_EQ(usbcan.functions.UcanWriteCanMsg, nullptr);

    EXPECT_EQ(prompts_.messages.size(), 4u);
    EXPECT_EQ(ReadText(ProfileFile()), before);
}

TEST_F(LibraryLoadingTest, EveryFailedAttemptAsksAgain)
{
    Profile profile = DriverProfile();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SYSTEC", Missing("usbcan32.dll")));
    const auto notALibrary = folder_ / "text" / "usbcan32.dll";
    WriteText(notALibrary, "not a shared object\n");
    prompts_.answers = {Missing("second.dll"), notALibrary.string(), FIXTURE_USBCAN_PICKED};

    UsbCanLibrary usbcan = LoadUsbCanLibrary(profile);
    ASSERT_TRUE(usbcan.library);
    EXPECT_EQ(FixtureId(usbcan.library), 2);
    ASSERT_EQ(prompts_.messages.size(), 3u);
    EXPECT_EQ(prompts_.requests.size(), 3u);
    // Each pick was in the profile before it was tried, so the next message found it there.
    EXPECT_NE(prompts_.profileAtMessage[0].find("SYSTEC=" + Missing("usbcan32.dll")), std::string::npos);
    EXPECT_NE(prompts_.profileAtMessage[1].find("SYSTEC=" + Missing("second.dll")), std::string::npos);
    EXPECT_NE(prompts_.profileAtMessage[2].find("SYSTEC=" + notALibrary.string()), std::string::npos);
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "SYSTEC", ""), FIXTURE_USBCAN_PICKED);
}

TEST_F(LibraryLoadingTest, VoraAndUsbCanResolveEachFunctionOnItsOwn)
{
    Profile profile = DriverProfile();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", FIXTURE_VORA_NO_DNPOLL));
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SYSTEC", FIXTURE_USBCAN_NO_WRITE));

    VoraLibrary vora = LoadVoraLibrary(profile);
    ASSERT_TRUE(vora.library);
    const VoraFunctions& v = vora.functions;
    for (const void* f : {(void*)v.DNAllocate, (void*)v.DNFree, (void*)v.DNGetAttribute, (void*)v.DNSetAttribute,
                          (void*)v.CANRcv, (void*)v.CANXmit, (void*)v.LoadVXD, (void*)v.UnloadVXD}) {
        EXPECT_NE(f, nullptr);
    }
    EXPECT_EQ(v.DNPoll, nullptr);
    EXPECT_EQ((void*)v.LoadVXD, vora.library.Find("LoadVXD"));
    EXPECT_EQ((void*)v.DNAllocate, vora.library.Find("DNAllocate"));

    UsbCanLibrary usbcan = LoadUsbCanLibrary(profile);
    ASSERT_TRUE(usbcan.library);
    const UsbCanFunctions& u = usbcan.functions;
    for (const void* f : {(void*)u.UcanInitHardware, (void*)u.UcanDeinitHardware, (void*)u.UcanInitCan,
                          (void*)u.UcanDeinitCan, (void*)u.UcanReadCanMsg}) {
        EXPECT_NE(f, nullptr);
    }
    EXPECT_EQ(u.UcanWriteCanMsg, nullptr);
    EXPECT_EQ(u.UcanWaitCanMsg, nullptr) << "a library without the wait is polled";
    EXPECT_EQ((void*)u.UcanReadCanMsg, usbcan.library.Find("UcanReadCanMsg"));
    EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(LibraryLoadingTest, C2aLibraryNeedsAllTwentyOneFunctions)
{
    Profile profile = DriverProfile();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SST", FIXTURE_C2A_PICKED));
    C2aLibrary full = LoadC2aLibrary(profile);
    ASSERT_EQ(full.outcome, C2aLoadOutcome::Loaded);
    EXPECT_EQ(FixtureId(full.library), 2);
    const C2aFunctions& f = full.functions;
    const void* all[] = {(void*)f.C2A_CloseCard, (void*)f.C2A_Driver, (void*)f.C2A_FreeDriver,
                         (void*)f.C2A_GetBusStatus, (void*)f.C2A_GetCANCounters, (void*)f.C2A_GetCardStatus,
                         (void*)f.C2A_GetModuleHeader, (void*)f.C2A_LoadDriver, (void*)f.C2A_ModifyFilter,
                         (void*)f.C2A_Offline, (void*)f.C2A_Online, (void*)f.C2A_OpenCard,
                         (void*)f.C2A_RegisterBusStatusEvent, (void*)f.C2A_RegisterReceiveEvent,
                         (void*)f.C2A_Receive, (void*)f.C2A_SetEventNotificationInterval, (void*)f.C2A_Send,
                         (void*)f.C2A_UnRegisterBusStatusEvent, (void*)f.C2A_UnRegisterReceiveEvent,
                         (void*)f.C2A_VerifyCardHandle, (void*)f.C2A_Version};
    const char* names[] = {"C2A_CloseCard", "C2A_Driver", "C2A_FreeDriver", "C2A_GetBusStatus",
                           "C2A_GetCANCounters", "C2A_GetCardStatus", "C2A_GetModuleHeader", "C2A_LoadDriver",
                           "C2A_ModifyFilter", "C2A_Offline", "C2A_Online", "C2A_OpenCard",
                           "C2A_RegisterBusStatusEvent", "C2A_RegisterReceiveEvent", "C2A_Receive",
                           "C2A_SetEventNotificationInterval", "C2A_Send", "C2A_UnRegisterBusStatusEvent",
                           "C2A_UnRegisterReceiveEvent", "C2A_VerifyCardHandle", "C2A_Version"};
    static_assert(std::size(all) == 21 && std::size(names) == 21);
    for (std::size_t i = 0; i < 21; ++i) {
        EXPECT_EQ(all[i], full.library.Find(names[i])) << names[i];
        EXPECT_NE(all[i], nullptr) << names[i];
    }
    EXPECT_EQ(f.C2A_WaitReceive, nullptr) << "not one of the twenty-one: a library without it is polled";

    for (const char* lacking : {FIXTURE_C2A_NO_VERSION, FIXTURE_C2A_NO_CLOSECARD}) {
        SCOPED_TRACE(lacking);
        ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SST", lacking));
        C2aLibrary partial = LoadC2aLibrary(profile);
        EXPECT_EQ(partial.outcome, C2aLoadOutcome::EntryPointMissing);
        EXPECT_EQ(static_cast<int>(partial.outcome), 2);
        EXPECT_FALSE(partial.library);
        EXPECT_FALSE(IsMapped(lacking));
        EXPECT_EQ(partial.functions.C2A_CloseCard, nullptr);
        EXPECT_EQ(partial.functions.C2A_OpenCard, nullptr);
    }
    EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(LibraryLoadingTest, PickedLibraryLackingFunctionsIsStillRemembered)
{
    Profile profile = DriverProfile();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SST", Missing("ssc2a32.dll")));
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", Missing("Drv712.dll")));
    prompts_.answers = {FIXTURE_C2A_NO_VERSION, FIXTURE_VORA_NO_DNPOLL};

    EXPECT_EQ(LoadC2aLibrary(profile).outcome, C2aLoadOutcome::EntryPointMissing);
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "SST", ""), FIXTURE_C2A_NO_VERSION);

    VoraLibrary vora = LoadVoraLibrary(profile);
    ASSERT_TRUE(vora.library);
    EXPECT_EQ(vora.functions.DNPoll, nullptr);
    EXPECT_NE(vora.functions.DNGetAttribute, nullptr);
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "VORA", ""), FIXTURE_VORA_NO_DNPOLL);
    // A library that loads ends the asking, whatever it lacks.
    EXPECT_EQ(prompts_.messages.size(), 2u);
}

TEST_F(LibraryLoadingTest, CardDriverFileGoesToTheGivenLoaderAndZeroMeansNotLoaded)
{
    Profile profile = DriverProfile();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SST", FIXTURE_C2A_PICKED));
    C2aLibrary c2a = LoadC2aLibrary(profile);
    ASSERT_EQ(c2a.outcome, C2aLoadOutcome::Loaded);
    const auto driverPaths = c2a.library.FindFunction<const char* (*)()>("orv_fixture_driver_paths");
    ASSERT_NE(driverPaths, nullptr);
    const std::string seenBefore = driverPaths();

    // The library's own C2A_LoadDriver refuses the missing file and accepts the picked one.
    const auto cardDriver = folder_ / "cards" / "ssdn32.dll";
    WriteText(cardDriver, "card driver\n");
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SST_SPECIFIC", Missing("ssdn32.dll")));
    prompts_.answers = {cardDriver.string()};
    EXPECT_TRUE(LoadSstCardDriver(profile, c2a.functions.C2A_LoadDriver));
    EXPECT_EQ(std::string(driverPaths()).substr(seenBefore.size()),
              Missing("ssdn32.dll") + "\n" + cardDriver.string() + "\n");
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "SST_SPECIFIC", ""), cardDriver.string());
    EXPECT_EQ(prompts_.messages.size(), 1u);

    // Next time the remembered file is handed over at once.
    EXPECT_TRUE(LoadSstCardDriver(profile, c2a.functions.C2A_LoadDriver));
    EXPECT_EQ(prompts_.messages.size(), 1u);

    // Any non-zero result is success; zero asks again.
    int calls = 0;
    prompts_.answers = {"/picked/one", "/picked/two"};
    EXPECT_TRUE(LoadSstCardDriver(profile, [&calls](const char*) { return ++calls == 3 ? -7 : 0; }));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(prompts_.messages.size(), 3u);
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "SST_SPECIFIC", ""), "/picked/two");

    // Without a loader nothing can be loaded and nobody is asked.
    EXPECT_FALSE(LoadSstCardDriver(profile, CardDriverLoader()));
    EXPECT_FALSE(LoadSstCardDriver(profile, c2a::LoadDriverFn(nullptr)));
    EXPECT_EQ(prompts_.messages.size(), 3u);
}

TEST_F(LibraryLoadingTest, PathsLongerThanSixtyThreeCharactersAreLoadedWhole)
{
    // A folder sized so that the first 63 characters of the long path name another library that
    // loads: cutting the path would load the wrong file.
    const std::string base = (folder_ / "long").string();
    const std::string name = "/Drv712.dll";
    ASSERT_LT(base.size() + name.size(), 63u) << "temporary folder path too long for this test";
    const std::size_t padding = 63 - base.size() - name.size();
    const fs::path dir = base + std::string(padding, 'p');
    fs::create_directories(dir);
    const fs::path shortFile = dir / "Drv712.dll";
    ASSERT_EQ(shortFile.string().size(), 63u);
    const fs::path longFile = dir / "Drv712.dll.the-one-that-was-picked.dll";
    fs::copy_file(FIXTURE_VORA_DEFAULT, shortFile);
    fs::copy_file(FIXTURE_VORA_PICKED, longFile);

    Profile profile = DriverProfile();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", Missing("Drv712.dll")));
    prompts_.answers = {longFile.string()};
    VoraLibrary picked = LoadVoraLibrary(profile);
    EXPECT_EQ(FixtureId(picked.library), 2);
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "VORA", ""), longFile.string());

    VoraLibrary stored = LoadVoraLibrary(profile);
    EXPECT_EQ(FixtureId(stored.library), 2);
    EXPECT_EQ(prompts_.messages.size(), 1u);
}

TEST_F(LibraryLoadingTest, PickedPathIsTriedEvenWhenTheProfileCannotBeWritten)
{
    // A file where the config folder should be: reads give defaults, writes fail.
    WriteText(folder_ / "config", "not a folder\n");
    Profile profile = DriverProfile();
    ASSERT_FALSE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", "x"));
    prompts_.answers = {Missing("Drv712.dll"), FIXTURE_VORA_PICKED};
    // Only the second pick counts as loadable, whatever this machine finds under the default name.
    int attempts = 0;
    const auto located = LocateInterfaceLibrary(profile, TextOf(InterfaceLibraryId::Vora),
                                                [&attempts](const std::string& path) {
                                                    ++attempts;
                                                    return path == FIXTURE_VORA_PICKED &&
                                                           DynamicLibrary::Load(path).IsLoaded();
                                                });
    EXPECT_EQ(located, std::string(FIXTURE_VORA_PICKED));
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(prompts_.messages.size(), 2u);
}

TEST(LibraryLoadingWithoutUserInterface, DefaultPromptReportsAndGivesUp)
{
    test::TempFolder folder;
    test::ScopedEnvironment configHome("XDG_CONFIG_HOME", (folder / "config").string());
    Profile profile = DriverProfile();
    const std::string missing = (folder / "absent" / "usbcan32.dll").string();
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SYSTEC", missing));

    ::testing::internal::CaptureStderr();
    UsbCanLibrary usbcan = LoadUsbCanLibrary();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Unable to load \"USBCAN32.DLL\".\nPlease select directory path.\n");
    EXPECT_FALSE(usbcan.library);
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "SYSTEC", ""), missing);
}

} // namespace
} // namespace orv::cards
