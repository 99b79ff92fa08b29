// What each card back-end does on its own: the loading paths with their status codes and texts,
// the cards' own results, and the points where the SST and SYSTEC cards differ.

#include "CardTestSupport.h"

#include "driver/automation/CardConfig.h"
#include "driver/cards/SstCard.h"
#include "driver/cards/SystecCard.h"
#include "driver/cards/VoraCard.h"
#include "platform/Profile.h"

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>

namespace orv::cardtest {
namespace {

using automation::CardConfig;

const std::string kBin = ORV_BIN_DIR;

std::array<std::uint8_t, CardConfig::kSize> Config(std::uint8_t bitTiming0 = 0x03)
{
    std::array<std::uint8_t, CardConfig::kSize> config{};
    config[CardConfig::kMacIdOffset] = 0;
    config[CardConfig::kFixedFFOffset] = 0xFF;
    config[CardConfig::kBitTiming0Offset] = bitTiming0;
    config[CardConfig::kBitTiming1Offset] = 0x1C;
    return config;
}

void SetInterfaceDriver(const std::string& key, const std::string& value)
{
    platform::Profile profile("OrvDeviceNetDriver");
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", key, value));
}

std::string InterfaceDriver(const std::string& key)
{
    platform::Profile profile("OrvDeviceNetDriver");
    return profile.GetProfileString("INTERFACEDRIVER", key, "<absent>");
}

std::string TraceOf(automation::CardInterface& card)
{
    std::array<char, 1032> text{};
    card.GetCANMessage(text.data());
    return text.data();
}

// --- SST -------------------------------------------------------------------------------------

class SstCardTest : public ::testing::Test {
protected:
    CardEnvironment env;
    cards::SstCard card{env.clock};
};

TEST_F(SstCardTest, OpensWithTheDefaultFilesAndReopensOnASecondLoad)
{
    auto config = Config();
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0);
    EXPECT_EQ(config[0], 0) << "the status byte is left alone on success";
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0) << "closes and opens again";
    EXPECT_EQ(card.DNAllocate(kNode, 1, nullptr), 0);
    EXPECT_EQ(card.UnloadVXD(), 0);
    EXPECT_EQ(card.UnloadVXD(), 0) << "always 0";
    EXPECT_EQ(card.DNAllocate(kNode, 1, nullptr), -1) << "closed";
    EXPECT_TRUE(env.prompts.messages.empty());
    EXPECT_EQ(InterfaceDriver("SST"), "<absent>") << "defaults are not written";
}

struct SstRefusal {
    const char* function;
    std::uint8_t status;
    const char* message; // null: no message box
};

class SstRefusalTest : public SstCardTest, public ::testing::WithParamInterface<SstRefusal> {};

TEST_P(SstRefusalTest, WritesTheStatusAndShowsTheMessage)
{
    setenv("ORV_CARDLIB_REFUSE", GetParam().function, 1);
    auto config = Config();
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), -1);
    EXPECT_EQ(config[0], GetParam().status);
    if (GetParam().message == nullptr) {
        EXPECT_TRUE(env.prompts.messages.empty());
    } else {
        ASSERT_EQ(env.prompts.messages.size(), 1u);
        EXPECT_EQ(env.prompts.messages[0], std::string(GetParam().message) + "5") << "EIO as upper-case hex";
    }
    unsetenv("ORV_CARDLIB_REFUSE");
    config[0] = 0;
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0) << "the card was closed cleanly and opens again";
}

INSTANTIATE_TEST_SUITE_P(Statuses, SstRefusalTest,
                         ::testing::Values(SstRefusal{"C2A_OpenCard", 4, "SST C2A_OpenCard Error: "},
                                           SstRefusal{"C2A_GetModuleHeader", 5, nullptr},
                                           SstRefusal{"C2A_Online", 6, "SST C2A_Online Error: "},
                                           SstRefusal{"C2A_ModifyFilter", 7, "SST C2A_ModifyFilter Error: "}));

TEST_F(SstCardTest, RefusesALibraryLackingOneEntryPoint)
{
    SetInterfaceDriver("SST", kBin + "/variants/no_version/ssc2a32.dll");
    auto config = Config();
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), -1);
    EXPECT_EQ(config[0], 2);
    EXPECT_TRUE(env.prompts.messages.empty()) << "no message for a missing entry point";
}

TEST_F(SstCardTest, CancelledPromptsGiveStatusOneAndThree)
{
    SetInterfaceDriver("SST", kBin + "/variants/broken/ssc2a32.dll");
    auto config = Config();
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), -1);
    EXPECT_EQ(config[0], 1);
    ASSERT_EQ(env.prompts.messages.size(), 1u);
    EXPECT_EQ(env.prompts.messages[0], "Unable to load \"SSC2A32.DLL\".\r\nPlease select directory path.");
    EXPECT_EQ(env.prompts.filters[0], "SST Interface DLL (SSC2A32.DLL)|ssc2a32.dll|All Files (*.*)|*.*||");
    EXPECT_EQ(InterfaceDriver("SST"), kBin + "/variants/broken/ssc2a32.dll") << "a cancel leaves the profile";

    SetInterfaceDriver("SST", "ssc2a32.dll");
    SetInterfaceDriver("SST_SPECIFIC", kBin + "/variants/broken/ssdn32.dll");
    config[0] = 0;
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), -1);
    EXPECT_EQ(config[0], 3);
    ASSERT_EQ(env.prompts.messages.size(), 2u);
    EXPECT_EQ(env.prompts.messages[1], "Unable to load \"SSDN32.DLL\".\r\nPlease select directory path.");
    EXPECT_EQ(env.prompts.filters[1], "SST Interface DLL (SSDN32.DLL)|ssdn32.dll|All Files (*.*)|*.*||");
}

TEST_F(SstCardTest, APickedPathIsRememberedAndLoadedWithoutAskingNextTime)
{
    SetInterfaceDriver("SST", "/nonexistent/ssc2a32.dll");
    env.prompts.answers = {kBin + "/ssc2a32.dll"};
    auto config = Config();
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0);
    EXPECT_EQ(env.prompts.messages.size(), 1u);
    EXPECT_EQ(InterfaceDriver("SST"), kBin + "/ssc2a32.dll");

    cards::SstCard second{env.clock};
    EXPECT_EQ(card.UnloadVXD(), 0);
    EXPECT_EQ(second.LoadVXD(0, 0, config.data()), 0);
    EXPECT_EQ(env.prompts.messages.size(), 1u) << "no second prompt";
}

// --- VORA ------------------------------------------------------------------------------------

TEST(VoraCardTest, ResultsOfTheCardItself)
{
    CardEnvironment env;
    cards::VoraCard card{env.clock};
    std::array<std::uint8_t, 152> buffer{};
    EXPECT_EQ(card.DNGetAttribute(kNode, 1, 1, 1, buffer.data()), 0xAFFF) << "not open";
    EXPECT_EQ(card.UnloadVXD(), 0xAFFF);
    auto config = Config();
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0);
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0x9FFF) << "already open";
    EXPECT_TRUE(card.IsOpen());
    EXPECT_EQ(card.UnloadVXD(), 0);
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0) << "opens again";
    EXPECT_EQ(card.NetworkWho(kNode, buffer.data()), -1);
    EXPECT_EQ(card.SetTimeout(100), -1);
    EXPECT_FALSE(card.SetPollCommandSize(8));
    EXPECT_EQ(card.DNService(kNode, 1, 1, 0x0E, 129, buffer.data()), -1) << "request over 128 bytes";
}

TEST(VoraCardTest, ALibraryLackingDNPollStillOpens)
{
    CardEnvironment env;
    SetInterfaceDriver("VORA", kBin + "/variants/no_dnpoll/Drv712.dll");
    ASSERT_EQ(Init(Settings(cards::kVoraCardType)), 0);
    ASSERT_EQ(OpenModule(kNode, true), 0);
    EXPECT_EQ(Get(kNode, 1, 1, 1).rval, 0);
    std::array<std::uint8_t, 64> io{};
    std::uint16_t rxId = 0;
    std::uint16_t rxLength = 8;
    std::int32_t rval = 0;
    automation::methods::DNPoll(rval, 0x405 + 8 * kNode, 0, &rxId, &rxLength, io.data());
    EXPECT_EQ(rval, 0x8FFF);
    EXPECT_TRUE(env.prompts.messages.empty());
}

TEST(VoraCardTest, CancelledLoadingLeavesACardThatCannotOpen)
{
    CardEnvironment env;
    SetInterfaceDriver("VORA", kBin + "/variants/broken/Drv712.dll");
    cards::VoraCard card{env.clock};
    ASSERT_EQ(env.prompts.messages.size(), 1u);
    EXPECT_EQ(env.prompts.messages[0], "Unable to load \"DRV712.DLL\".\r\nPlease select directory path.");
    EXPECT_EQ(env.prompts.filters[0], "VORA Interface DLL (DRV712.DLL)|Drv712.dll|All Files (*.*)|*.*||");
    auto config = Config();
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0x8FFF);
    EXPECT_EQ(Init(Settings(cards::kVoraCardType)), -1) << "Init fails with such a card";
}

// --- SYSTEC ----------------------------------------------------------------------------------

class SystecCardTest : public ::testing::Test {
protected:
    CardEnvironment env;
    cards::SystecCard card{env.clock};
};

TEST_F(SystecCardTest, PausesAfterStartingAndRefusesASecondOpen)
{
    auto config = Config(0x00);
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0);
    EXPECT_EQ(env.clock.Sleeps(), std::vector<std::uint32_t>{2000});
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 255);
    EXPECT_EQ(card.DNAllocate(kNode, 1, nullptr), 0) << "still open";
    EXPECT_EQ(card.UnloadVXD(), 0);
    EXPECT_EQ(card.UnloadVXD(), -1) << "not open";
    EXPECT_EQ(config[0], 0) << "nothing is written into the configuration";
}

// Time that passes only when the card sleeps.
class ManualClock final : public devicenet::Clock {
public:
    std::uint32_t TickCount() override { return now; }
    void Sleep(std::uint32_t milliseconds) override { now += milliseconds; }
    std::uint32_t now = 0x10000;
};

TEST(SystecPauseTest, TheStartPauseHoldsTheCallerTwoSecondsOnItsClock)
{
    CardEnvironment env;
    ManualClock clock;
    cards::SystecCard card{clock};
    auto config = Config();
    ASSERT_EQ(card.LoadVXD(0, 0, config.data()), 0);
    EXPECT_EQ(clock.now, 0x10000u + 2000u);
    EXPECT_EQ(card.UnloadVXD(), 0);
}

// Time that passes one millisecond with every reading: a wait that spins shows in the count.
class TickingClock final : public devicenet::Clock {
public:
    std::uint32_t TickCount() override { return ++reads; }
    void Sleep(std::uint32_t) override {}
    std::uint32_t reads = 0;
};

TEST(SystecReadMissing, EveryReceiveFailsAtOnce)
{
    CardEnvironment env;
    SetInterfaceDriver("SYSTEC", kBin + "/variants/no_read/usbcan32.dll");
    TickingClock clock;
    cards::SystecCard card{clock};
    auto config = Config();
    ASSERT_EQ(card.LoadVXD(0, 0, config.data()), 0);
    ASSERT_EQ(card.SetTimeout(100000), 0);
    std::array<std::uint8_t, 152> buffer{};
    std::uint16_t identifier = 0;
    std::uint16_t length = 0;
    EXPECT_EQ(card.CANRcv(&identifier, &length, buffer.data()), -1);
    EXPECT_EQ(card.DNAllocate(kNode, 1, nullptr), -1);
    EXPECT_EQ(card.DNGetAttribute(kNode, 1, 1, 1, buffer.data()), -1);
    EXPECT_EQ(card.DNService(kNode, 1, 1, 0x0E, 1, buffer.data()), -1);
    std::uint16_t rxId = 0;
    std::uint16_t rxLength = 4;
    EXPECT_EQ(card.DNPoll(0x405 + 8 * kNode, 0, &rxId, &rxLength, buffer.data()), -1);
    EXPECT_EQ(clock.reads, 4u) << "one reading per protocol call, for its deadline: no wait was even started";
    EXPECT_EQ(card.UnloadVXD(), 0);
}

TEST_F(SystecCardTest, PassesTheLibrarysCodesOn)
{
    auto config = Config();
    setenv("ORV_CARDLIB_REFUSE", "UcanInitHardware", 1);
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0x01);
    setenv("ORV_CARDLIB_REFUSE", "UcanInitCan", 1);
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0x01);
    unsetenv("ORV_CARDLIB_REFUSE");
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 0) << "the adapter was released after the failed start";
    setenv("ORV_CARDLIB_REFUSE", "UcanDeinitCan", 1);
    EXPECT_EQ(card.UnloadVXD(), -1);
    EXPECT_EQ(card.LoadVXD(0, 0, config.data()), 255) << "still marked open";
    unsetenv("ORV_CARDLIB_REFUSE");
    EXPECT_EQ(card.UnloadVXD(), 0);
    EXPECT_TRUE(env.prompts.messages.empty());
}

TEST_F(SystecCardTest, UnloadFromAnotherThreadEndsAReceiveThatWaits)
{
    auto config = Config();
    ASSERT_EQ(card.LoadVXD(0, 0, config.data()), 0);
    ASSERT_EQ(card.SetTimeout(20000), 0);
    auto received = std::async(std::launch::async, [this] {
        std::uint16_t identifier = 0;
        std::uint16_t length = 0;
        std::uint8_t data[8] = {};
        return card.CANRcv(&identifier, &length, data);
    });
    EXPECT_EQ(card.UnloadVXD(), 0);
    ASSERT_EQ(received.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(received.get(), -1);
}

// The stand-ins let the driver sleep while it waits for a frame; a library without the wait
// (InterfaceLibraryTest's fixtures) loads all the same.
TEST(StandInLibraries, OfferTheirReceiveWaits)
{
    const auto c2a = platform::DynamicLibrary::Load(kBin + "/ssc2a32.dll");
    const auto usbcan = platform::DynamicLibrary::Load(kBin + "/usbcan32.dll");
    ASSERT_TRUE(c2a && usbcan);
    const auto c2aFunctions = cards::ResolveC2aFunctions(c2a);
    ASSERT_TRUE(c2aFunctions);
    EXPECT_NE(c2aFunctions->C2A_WaitReceive, nullptr);
    EXPECT_NE(cards::ResolveUsbCanFunctions(usbcan).UcanWaitCanMsg, nullptr);
}

TEST(CardDifferences, TransactionBitAlternatesOnlyOnTheSystecCard)
{
    CardEnvironment env;
    cards::SstCard sst{env.clock};
    cards::SystecCard systec{env.clock};
    auto config = Config();
    ASSERT_EQ(sst.LoadVXD(0, 0, config.data()), 0);
    ASSERT_EQ(systec.LoadVXD(0, 0, config.data()), 0);
    std::array<std::uint8_t, 152> buffer{};
    for (automation::CardInterface* card : {static_cast<automation::CardInterface*>(&sst),
                                            static_cast<automation::CardInterface*>(&systec)}) {
        ASSERT_EQ(card->DNAllocate(kNode, 1, nullptr), 0);
        TraceOf(*card);
        ASSERT_EQ(card->DNGetAttribute(kNode, 1, 1, 1, buffer.data()), 0);
        ASSERT_EQ(card->DNGetAttribute(kNode, 1, 1, 1, buffer.data()), 0);
    }
    const std::string sstTrace = TraceOf(sst);
    const std::string systecTrace = TraceOf(systec);
    // Allocate flipped the SYSTEC bit once already, so its Gets carry 00 then 40.
    EXPECT_NE(sstTrace.find("[5FC] 00 0E 01 01 01 \r\n[5FB] "), std::string::npos) << sstTrace;
    EXPECT_EQ(sstTrace.find("[5FC] 40"), std::string::npos) << sstTrace;
    EXPECT_NE(systecTrace.find("[5FC] 00 0E 01 01 01 \r\n"), std::string::npos) << systecTrace;
    EXPECT_NE(systecTrace.find("[5FC] 40 0E 01 01 01 \r\n"), std::string::npos) << systecTrace;
}

TEST(CardDifferences, OverlongFramesAreCutBySystecAndRefusedBySst)
{
    CardEnvironment env;
    cards::SstCard sst{env.clock};
    cards::SystecCard systec{env.clock};
    auto config = Config();
    ASSERT_EQ(sst.LoadVXD(0, 0, config.data()), 0);
    ASSERT_EQ(systec.LoadVXD(0, 0, config.data()), 0);
    const std::uint8_t data[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(sst.CANXmit(0x123, 12, data), -1);
    EXPECT_EQ(TraceOf(sst), "");
    EXPECT_EQ(systec.CANXmit(0x123, 12, data), 0);
    EXPECT_EQ(TraceOf(systec), "[123] 01 02 03 04 05 06 07 08 \r\n");
}

TEST(CardFactoryTest, UnknownDriverTypeOpensNothing)
{
    CardEnvironment env;
    EXPECT_EQ(Init(Settings(3)), -1);
    std::int32_t rval = 0;
    automation::methods::IsInitialized(rval);
    EXPECT_EQ(rval, -1);
}

} // namespace
} // namespace orv::cardtest
