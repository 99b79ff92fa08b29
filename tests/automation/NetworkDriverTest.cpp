// NetworkDriver against the recording fake card: Init and Close, the OpenModule and CloseModule
// sequences, and the Request gate.

#include "FakeCard.h"

#include "driver/automation/NetworkDriver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

namespace orv::automation {
namespace {

using testing::CardScript;
using testing::ScopedFakeCards;
using testing::SettingsBytes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

DriverSettings Settings(int driverType, int dataRate = 0)
{
    const auto bytes = SettingsBytes(63, dataRate, 0x12340378, 0xFFFF0005, driverType, "sim:node=10");
    return DriverSettings::FromBytes(bytes.data());
}

ModuleConfig Module(std::uint8_t explicitEnabled, std::uint8_t pollEnabled)
{
    ModuleConfig config;
    config.SetExplicitEnabled(explicitEnabled);
    config.SetPollEnabled(pollEnabled);
    config.SetExplicitPacketRate(0x09C4); // 2500 ms
    config.SetPollPacketRate(0x0064);     // 100 ms
    return config;
}

class NetworkDriverTest : public ::testing::Test {
protected:
    std::shared_ptr<CardScript> script = std::make_shared<CardScript>();
    ScopedFakeCards cards{script};
};

TEST_F(NetworkDriverTest, InitCreatesTheCardOfItsTypeAndOpensIt)
{
    for (int type : {0, 1, 2}) {
        SCOPED_TRACE(type);
        auto local = std::make_shared<CardScript>();
        ScopedFakeCards localCards(local);
        NetworkDriver driver(Settings(type, 1));
        ASSERT_TRUE(driver.Init());
        EXPECT_TRUE(driver.Initialized());
        EXPECT_NE(driver.GetCard(), nullptr);
        EXPECT_THAT(local->CreatedTypes(), ElementsAre(type));
        // Port and interrupt reach the card with their low 16 bits only.
        ASSERT_THAT(local->Texts(), ElementsAre("LoadVXD(888, 5)"));
        const auto config = local->Call(0).bytes;
        ASSERT_EQ(config.size(), 80u);
        EXPECT_THAT(std::vector<std::uint8_t>(config.begin() + 4, config.begin() + 10),
                    ElementsAre(63, 0xFF, 0x01, 0x1C, 0xFA, 0x4E));
        const std::string name(config.begin() + 16, config.begin() + 27);
        EXPECT_EQ(name, "sim:node=10");
    }
}

TEST_F(NetworkDriverTest, FailedLoadDestroysTheCardWithoutUnloading)
{
    script->Answer("LoadVXD", 0x9FFF);
    NetworkDriver driver(Settings(0));
    EXPECT_FALSE(driver.Init());
    EXPECT_FALSE(driver.Initialized());
    EXPECT_EQ(driver.GetCard(), nullptr);
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)", "~Card"));
    EXPECT_EQ(script->CardsAlive(), 0);
}

TEST_F(NetworkDriverTest, InitTwiceKeepsTheFirstCard)
{
    NetworkDriver driver(Settings(2));
    ASSERT_TRUE(driver.Init());
    CardInterface* card = driver.GetCard();
    EXPECT_FALSE(driver.Init());
    EXPECT_TRUE(driver.Initialized());
    EXPECT_EQ(driver.GetCard(), card);
    EXPECT_THAT(script->CreatedTypes(), ElementsAre(2));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)"));
}

TEST_F(NetworkDriverTest, UnknownTypeNeverReachesTheFactory)
{
    for (int type : {3, -1, 0x10000}) {
        SCOPED_TRACE(type);
        NetworkDriver driver(Settings(type));
        EXPECT_FALSE(driver.Init());
        EXPECT_EQ(driver.GetCard(), nullptr);
    }
    EXPECT_THAT(script->CreatedTypes(), IsEmpty());
}

TEST_F(NetworkDriverTest, CardThatCannotBeCreatedFailsInit)
{
    script->refuseCreation = true;
    NetworkDriver driver(Settings(1));
    EXPECT_FALSE(driver.Init());
    EXPECT_FALSE(driver.Initialized());
    EXPECT_THAT(script->Texts(), IsEmpty());
}

TEST_F(NetworkDriverTest, CloseUnloadsThenDestroysAndIsHarmlessTwice)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    EXPECT_TRUE(driver.Close());
    EXPECT_FALSE(driver.Initialized());
    EXPECT_EQ(driver.GetCard(), nullptr);
    EXPECT_TRUE(driver.Close());
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)", "UnloadVXD()", "~Card"));
}

TEST_F(NetworkDriverTest, CloseOfAnUninitialisedDriverTouchesNoCard)
{
    NetworkDriver driver(Settings(1));
    EXPECT_TRUE(driver.Close());
    EXPECT_THAT(script->Texts(), IsEmpty());
}

TEST_F(NetworkDriverTest, DestructionClosesTheCard)
{
    {
        NetworkDriver driver(Settings(1));
        ASSERT_TRUE(driver.Init());
    }
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)", "UnloadVXD()", "~Card"));
    EXPECT_EQ(script->CardsAlive(), 0);
}

TEST_F(NetworkDriverTest, CloseDestroysTheCardEvenWhenUnloadThrows)
{
    script->Throw("UnloadVXD");
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    EXPECT_ANY_THROW(driver.Close());
    EXPECT_EQ(driver.GetCard(), nullptr);
    EXPECT_FALSE(driver.Initialized());
    EXPECT_EQ(script->CardsAlive(), 0);
}

// The full opening: both connections freed, then allocated with their rates, then the poll size.
TEST_F(NetworkDriverTest, OpenModuleSequenceWithBothConnections)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    // Consumed connection size 0x0123: length 4, header, 0x8E, two value bytes.
    script->Reply(5, 2, 8, {0x04, 0x00, 0x0A, 0x8E, 0x23, 0x01});

    const ModuleConfig config = Module(1, 1);
    EXPECT_TRUE(driver.OpenModule(10, &config));
    const auto calls = script->Calls();
    ASSERT_THAT(script->Texts(),
                ElementsAre("LoadVXD(888, 5)", "DNFree(10, 1)", "DNFree(10, 2)", "DNAllocate(10, 1)",
                            "DNSetAttribute(10, 5, 1, 9, 2)", "DNGetAttribute(10, 5, 1, 9)", "DNAllocate(10, 2)",
                            "DNSetAttribute(10, 5, 2, 9, 2)", "DNGetAttribute(10, 5, 2, 8)",
                            "SetPollCommandSize(291)"));
    // The rate bytes go into the request byte for byte.
    EXPECT_THAT(calls[4].bytes, ElementsAre(0xC4, 0x09));
    EXPECT_THAT(calls[7].bytes, ElementsAre(0x64, 0x00));
    // One scratch area serves every card call.
    for (std::size_t i = 1; i <= 8; ++i) {
        EXPECT_EQ(calls[i].buffer, calls[1].buffer) << calls[i].text;
    }
    EXPECT_NE(calls[1].buffer, nullptr);
}

TEST_F(NetworkDriverTest, OpenModuleWithNothingEnabledOnlyFrees)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    const ModuleConfig config = Module(0, 0);
    EXPECT_TRUE(driver.OpenModule(63, &config));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)", "DNFree(63, 1)", "DNFree(63, 2)"));
}

TEST_F(NetworkDriverTest, OpenModuleExplicitOnlyStopsBeforePoll)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    const ModuleConfig config = Module(1, 0);
    EXPECT_TRUE(driver.OpenModule(3, &config));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)", "DNFree(3, 1)", "DNFree(3, 2)", "DNAllocate(3, 1)",
                                             "DNSetAttribute(3, 5, 1, 9, 2)", "DNGetAttribute(3, 5, 1, 9)"));
}

TEST_F(NetworkDriverTest, OpenModulePollOnlySkipsTheExplicitConnection)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    script->Reply(5, 2, 8, {0x04, 0x00, 0x0A, 0x8E, 0x08, 0x00});
    const ModuleConfig config = Module(0, 1);
    EXPECT_TRUE(driver.OpenModule(3, &config));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)", "DNFree(3, 1)", "DNFree(3, 2)", "DNAllocate(3, 2)",
                                             "DNSetAttribute(3, 5, 2, 9, 2)", "DNGetAttribute(3, 5, 2, 8)",
                                             "SetPollCommandSize(8)"));
}

TEST_F(NetworkDriverTest, ErrorReplyToThePollSizeLeavesThePollSizeAlone)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    // Error response: general code 0x14 (attribute not supported) where the size would be.
    script->Reply(5, 2, 8, {0x04, 0x00, 0x0A, 0x94, 0x14, 0xFF});
    const ModuleConfig config = Module(1, 1);
    EXPECT_TRUE(driver.OpenModule(10, &config));
    const auto texts = script->Texts();
    EXPECT_EQ(texts.back(), "DNGetAttribute(10, 5, 2, 8)");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "SetPollCommandSize(5140)"), 0);
}

TEST_F(NetworkDriverTest, FailedPollSizeReadLeavesThePollSizeAlone)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    // A success code in the buffer does not count when the read itself failed.
    script->Reply(5, 2, 8, {0x04, 0x00, 0x0A, 0x8E, 0x08, 0x00});
    script->Answer("DNGetAttribute", 0); // explicit rate read-back
    script->Answer("DNGetAttribute", -1);
    const ModuleConfig config = Module(1, 1);
    EXPECT_TRUE(driver.OpenModule(10, &config));
    EXPECT_EQ(script->Texts().back(), "DNGetAttribute(10, 5, 2, 8)");
}

TEST_F(NetworkDriverTest, OpenModuleIgnoresFreeAndReadBackResults)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    script->Answer("DNFree", -1);
    script->Answer("DNFree", -1);
    script->Answer("DNGetAttribute", -1);
    const ModuleConfig config = Module(1, 0);
    EXPECT_TRUE(driver.OpenModule(10, &config));
    EXPECT_EQ(script->Texts().size(), 6u);
}

// OpenModule stops at the first failing allocation or rate setting; what was allocated stays.
TEST_F(NetworkDriverTest, OpenModuleStopsAtTheFirstFailure)
{
    const std::vector<std::string> full = {
        "DNFree(10, 1)",   "DNFree(10, 2)",     "DNAllocate(10, 1)", "DNSetAttribute(10, 5, 1, 9, 2)",
        "DNGetAttribute(10, 5, 1, 9)", "DNAllocate(10, 2)", "DNSetAttribute(10, 5, 2, 9, 2)"};
    struct Case {
        std::string op;
        int occurrence; // which call of that operation fails
        std::size_t callsMade;
    };
    for (const Case& c : {Case{"DNAllocate", 1, 3}, Case{"DNSetAttribute", 1, 4}, Case{"DNAllocate", 2, 6},
                          Case{"DNSetAttribute", 2, 7}}) {
        SCOPED_TRACE(c.op + " #" + std::to_string(c.occurrence));
        auto local = std::make_shared<CardScript>();
        ScopedFakeCards localCards(local);
        NetworkDriver driver(Settings(1));
        ASSERT_TRUE(driver.Init());
        if (c.occurrence == 2) {
            local->Answer(c.op, 0);
        }
        local->Answer(c.op, 0xAFFF);
        const ModuleConfig config = Module(1, 1);
        EXPECT_FALSE(driver.OpenModule(10, &config));
        auto texts = local->Texts();
        texts.erase(texts.begin()); // LoadVXD
        EXPECT_THAT(texts, ElementsAreArray(full.begin(), full.begin() + c.callsMade));
    }
}

TEST_F(NetworkDriverTest, ModuleOperationsNeedAnInitialisedDriver)
{
    NetworkDriver driver(Settings(1));
    const ModuleConfig config = Module(1, 1);
    EXPECT_FALSE(driver.OpenModule(10, &config));
    EXPECT_FALSE(driver.CloseModule(10));

    script->Answer("LoadVXD", -1);
    EXPECT_FALSE(driver.Init());
    EXPECT_FALSE(driver.OpenModule(10, &config));
    EXPECT_FALSE(driver.CloseModule(10));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)", "~Card"));
}

TEST_F(NetworkDriverTest, OpenModuleWithoutConfigFails)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    EXPECT_FALSE(driver.OpenModule(10, nullptr));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)"));
}

TEST_F(NetworkDriverTest, CloseModuleFreesBothConnectionsIgnoringResults)
{
    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    script->Answer("DNFree", -1);
    script->Answer("DNFree", -1);
    EXPECT_TRUE(driver.CloseModule(0x3F));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)", "DNFree(63, 1)", "DNFree(63, 2)"));
}

TEST_F(NetworkDriverTest, RequestWithoutCardOrWithUnknownKindCallsNothing)
{
    std::array<std::uint8_t, 152> buffer{};
    NetworkDriver idle(Settings(1));
    EXPECT_EQ(idle.Request(RequestKind::GetAttribute, 10, 1, 1, 7, buffer.data(), 0, 0, 0, nullptr, nullptr), -1);

    NetworkDriver driver(Settings(1));
    ASSERT_TRUE(driver.Init());
    for (std::int32_t kind : {4, -1, 0x100}) {
        EXPECT_EQ(driver.Request(static_cast<RequestKind>(kind), 10, 1, 1, 7, buffer.data(), 0, 0, 0, nullptr,
                                 nullptr),
                  -1);
    }
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(888, 5)"));
}

} // namespace
} // namespace orv::automation
