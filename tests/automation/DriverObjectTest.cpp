// The automation methods over the process's driver object, against the recording fake card.

#include "FakeCard.h"

#include "driver/automation/DriverObject.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orv::automation {
namespace {

using testing::CardScript;
using testing::ScopedFakeCards;
using testing::SettingsBytes;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DriverObjectTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        std::int32_t rval = 0;
        methods::Close(rval);
        ASSERT_EQ(CurrentDriver(), nullptr);
    }

    std::int32_t Init(int driverType, int dataRate = 0)
    {
        settings = SettingsBytes(63, dataRate, 760, 3, driverType, "sim");
        std::int32_t rval = 0;
        methods::Init(rval, settings.data());
        return rval;
    }

    static std::int32_t IsInitialized()
    {
        std::int32_t rval = 0;
        methods::IsInitialized(rval);
        return rval;
    }

    static std::int32_t GetAttribute(std::uint8_t* buffer)
    {
        std::int32_t rval = 0;
        methods::DNGetAttribute(rval, 10, 1, 1, 7, buffer);
        return rval;
    }

    std::shared_ptr<CardScript> script = std::make_shared<CardScript>();
    ScopedFakeCards cards{script};
    std::vector<std::uint8_t> settings;
};

TEST_F(DriverObjectTest, InitOpensTheCardWithTheCallersSettings)
{
    EXPECT_EQ(Init(0, 1), 0);
    EXPECT_EQ(IsInitialized(), 0);
    ASSERT_NE(CurrentDriver(), nullptr);
    EXPECT_THAT(script->CreatedTypes(), ElementsAre(0));
    ASSERT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)"));
    const auto config = script->Call(0).bytes;
    EXPECT_THAT(std::vector<std::uint8_t>(config.begin() + 4, config.begin() + 10),
                ElementsAre(63, 0xFF, 0x01, 0x1C, 0xFA, 0x4E));
    // The settings were copied: later changes of the caller's record do not reach the driver.
    settings[16] = 2;
    EXPECT_EQ(CurrentDriver()->Settings().DriverType(), 0);
}

TEST_F(DriverObjectTest, SecondInitIsRefusedAndChangesNothing)
{
    ASSERT_EQ(Init(2), 0);
    NetworkDriver* first = CurrentDriver();
    EXPECT_EQ(Init(1), -1);
    EXPECT_EQ(CurrentDriver(), first);
    EXPECT_EQ(IsInitialized(), 0);
    EXPECT_THAT(script->CreatedTypes(), ElementsAre(2));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)"));
}

TEST_F(DriverObjectTest, UnknownDriverTypeLeavesNoDriverObject)
{
    EXPECT_EQ(Init(3), -1);
    EXPECT_EQ(IsInitialized(), -1);
    EXPECT_EQ(CurrentDriver(), nullptr);
    EXPECT_THAT(script->CreatedTypes(), IsEmpty());
}

TEST_F(DriverObjectTest, FailedLoadLeavesNoDriverObjectAndAllowsANewInit)
{
    script->Answer("LoadVXD", -1);
    EXPECT_EQ(Init(1), -1);
    EXPECT_EQ(CurrentDriver(), nullptr);
    EXPECT_EQ(script->CardsAlive(), 0);
    EXPECT_EQ(Init(1), 0);
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)", "~Card", "LoadVXD(760, 3)"));
}

TEST_F(DriverObjectTest, InitWithoutSettingsAddressFails)
{
    std::int32_t rval = 0;
    methods::Init(rval, nullptr);
    EXPECT_EQ(rval, -1);
    EXPECT_EQ(CurrentDriver(), nullptr);
}

TEST_F(DriverObjectTest, CloseBeforeInitYieldsMinusOne)
{
    std::int32_t rval = 0;
    methods::Close(rval);
    EXPECT_EQ(rval, -1);
    EXPECT_EQ(IsInitialized(), -1);
}

TEST_F(DriverObjectTest, CloseAfterInitTakesTheCardOffLineAndForgetsTheDriver)
{
    ASSERT_EQ(Init(1), 0);
    std::int32_t rval = 0;
    methods::Close(rval);
    EXPECT_EQ(rval, -1);
    EXPECT_EQ(IsInitialized(), -1);
    EXPECT_EQ(CurrentDriver(), nullptr);

    std::array<std::uint8_t, 152> buffer{};
    EXPECT_EQ(GetAttribute(buffer.data()), -1);
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)", "UnloadVXD()", "~Card"));
}

// Every method but Init and Close before any Init: -1 and no card touched.
TEST_F(DriverObjectTest, EveryMethodBeforeInitYieldsMinusOne)
{
    std::array<std::uint8_t, 152> buffer{};
    std::uint16_t a = 0;
    std::uint16_t b = 0;
    const std::uint8_t module[6] = {1, 1, 0, 0, 0, 0};
    std::vector<std::int32_t> results;
    auto run = [&](auto method) {
        std::int32_t rval = 12345;
        method(rval);
        results.push_back(rval);
    };
    run([&](std::int32_t& r) { methods::LoadVXD(r, 760, 3, buffer.data()); });
    run([&](std::int32_t& r) { methods::UnloadVXD(r); });
    run([&](std::int32_t& r) { methods::DNAllocate(r, 10, 1, buffer.data()); });
    run([&](std::int32_t& r) { methods::DNFree(r, 10, 1, buffer.data()); });
    run([&](std::int32_t& r) { methods::DNGetAttribute(r, 10, 1, 1, 7, buffer.data()); });
    run([&](std::int32_t& r) { methods::DNSetAttribute(r, 10, 1, 1, 7, 2, buffer.data()); });
    run([&](std::int32_t& r) { methods::CANRcv(r, &a, &b, buffer.data()); });
    run([&](std::int32_t& r) { methods::CANXmit(r, 0x454, 4, buffer.data()); });
    run([&](std::int32_t& r) { methods::DNPoll(r, 0x455, 2, &a, &b, buffer.data()); });
    run([&](std::int32_t& r) { methods::NetworkWho(r, 10, buffer.data()); });
    run([&](std::int32_t& r) { methods::OpenModule(r, 10, module); });
    run([&](std::int32_t& r) { methods::CloseModule(r, 10); });
    run([&](std::int32_t& r) { methods::IsInitialized(r); });
    run([&](std::int32_t& r) { methods::SetTimeout(r, 500); });
    run([&](std::int32_t& r) { methods::GetCANMessage(r, buffer.data()); });
    run([&](std::int32_t& r) { methods::DNService(r, 10, 1, 1, 5, 0, buffer.data()); });
    EXPECT_EQ(results, std::vector<std::int32_t>(16, -1));
    EXPECT_THAT(script->Texts(), IsEmpty());
    EXPECT_EQ(CurrentDriver(), nullptr);
}

TEST_F(DriverObjectTest, NetworkWhoYieldsMinusOneInEveryState)
{
    std::array<std::uint8_t, 8> buffer{};
    std::int32_t rval = 0;
    methods::NetworkWho(rval, 10, buffer.data());
    EXPECT_EQ(rval, -1);
    ASSERT_EQ(Init(1), 0);
    rval = 0;
    methods::NetworkWho(rval, 10, buffer.data());
    EXPECT_EQ(rval, -1);
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)"));
}

// The direct card operations pass their arguments on and hand back the card's own result.
TEST_F(DriverObjectTest, DirectOperationsForwardArgumentsAndResults)
{
    ASSERT_EQ(Init(0), 0);
    std::array<std::uint8_t, 152> buffer{};
    std::array<std::uint8_t, 80> config{};
    script->Answer("LoadVXD", 0x9FFF);
    script->Answer("UnloadVXD", 0xAFFF);
    script->Answer("DNAllocate", 2);
    script->Answer("DNFree", 3);
    script->Answer("CANRcv", 0xFFFC);
    script->Answer("CANXmit", 5);
    script->Answer("SetTimeout", 6);
    script->Answer("GetCANMessage", 7);
    script->rcvIdentifier = 0x3F3;
    script->rcvData = {0x3F, 0x8E, 0x01};
    script->traceText = "rx 3F3";

    std::int32_t rval = 0;
    methods::LoadVXD(rval, -2, 11, config.data());
    EXPECT_EQ(rval, 0x9FFF);
    methods::UnloadVXD(rval);
    EXPECT_EQ(rval, 0xAFFF);
    methods::DNAllocate(rval, 10, 2, buffer.data());
    EXPECT_EQ(rval, 2);
    methods::DNFree(rval, 10, 1, buffer.data());
    EXPECT_EQ(rval, 3);
    std::uint16_t radd = 0;
    std::uint16_t rlen = 0;
    methods::CANRcv(rval, &radd, &rlen, buffer.data());
    EXPECT_EQ(rval, 0xFFFC);
    EXPECT_EQ(radd, 0x3F3);
    EXPECT_EQ(rlen, 3);
    EXPECT_THAT(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 3), ElementsAre(0x3F, 0x8E, 0x01));
    const std::uint8_t frame[] = {0x3F, 0x0E, 0x01, 0x01, 0x07};
    methods::CANXmit(rval, 0x454, 5, frame);
    EXPECT_EQ(rval, 5);
    methods::SetTimeout(rval, 250);
    EXPECT_EQ(rval, 6);
    std::array<std::uint8_t, 64> text{};
    text.fill('#');
    methods::GetCANMessage(rval, text.data());
    EXPECT_EQ(rval, 7);
    EXPECT_STREQ(reinterpret_cast<const char*>(text.data()), "rx 3F3");

    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)", "LoadVXD(-2, 11)", "UnloadVXD()", "DNAllocate(10, 2)",
                                             "DNFree(10, 1)", "CANRcv()", "CANXmit(1108, 5)", "SetTimeout(250)",
                                             "GetCANMessage()"));
    // The caller's own record and buffers reach the card, not copies.
    EXPECT_EQ(script->Call(1).buffer, config.data());
    EXPECT_EQ(script->Call(3).buffer, buffer.data());
    EXPECT_THAT(script->Call(6).bytes, ElementsAre(0x3F, 0x0E, 0x01, 0x01, 0x07));
    // Unloading through the method leaves the driver object initialised.
    EXPECT_EQ(IsInitialized(), 0);
}

TEST_F(DriverObjectTest, MessageRequestsPassTheirArgumentsAndZerosForTheRest)
{
    ASSERT_EQ(Init(1), 0);
    std::array<std::uint8_t, 152> buffer{0xAA, 0xBB, 0xCC};
    script->Answer("DNGetAttribute", 0);
    script->Answer("DNSetAttribute", 0x8FFF);
    script->Answer("DNPoll", 0);
    script->Answer("DNService", 4);
    script->Reply(1, 1, 7, {0x04, 0x00, 0x0A, 0x8E, 0x34, 0x12});
    script->pollRxIdentifier = 0x3EF;
    script->pollRxLength = 2;
    script->pollRxData = {0x55, 0x66};

    std::int32_t rval = 0;
    methods::DNGetAttribute(rval, 10, 1, 1, 7, buffer.data());
    EXPECT_EQ(rval, 0);
    EXPECT_THAT(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 10),
                ElementsAre(0xAA, 0xBB, 0xCC, 0x00, 0x04, 0x00, 0x0A, 0x8E, 0x34, 0x12));
    methods::DNSetAttribute(rval, 10, 64, 1, 3, 2, buffer.data());
    EXPECT_EQ(rval, 0x8FFF);
    std::uint16_t rxid = 0;
    std::uint16_t nrx = 4;
    methods::DNPoll(rval, 0x455, 3, &rxid, &nrx, buffer.data());
    EXPECT_EQ(rval, 0);
    EXPECT_EQ(rxid, 0x3EF);
    EXPECT_EQ(nrx, 2);
    EXPECT_EQ(buffer[0], 0x55);
    methods::DNService(rval, 10, 1, 1, 5, 1, buffer.data());
    EXPECT_EQ(rval, 4);

    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)", "DNGetAttribute(10, 1, 1, 7)",
                                             "DNSetAttribute(10, 64, 1, 3, 2)", "DNPoll(1109, 3, 4)",
                                             "DNService(10, 1, 1, 5, 1)"));
    EXPECT_THAT(script->Call(2).bytes, ElementsAre(0xAA, 0xBB));
    EXPECT_THAT(script->Call(3).bytes, ElementsAre(0xAA, 0xBB, 0xCC));
}

TEST_F(DriverObjectTest, OpenModuleReadsTheCallersModuleConfig)
{
    ASSERT_EQ(Init(1), 0);
    script->Reply(5, 2, 8, {0x04, 0x00, 0x0A, 0x8E, 0x02, 0x00});
    const std::uint8_t module[6] = {1, 1, 0xE8, 0x03, 0x0A, 0x00};
    std::int32_t rval = 0;
    methods::OpenModule(rval, 10, module);
    EXPECT_EQ(rval, 0);
    const auto calls = script->Calls();
    ASSERT_EQ(calls.size(), 10u);
    EXPECT_THAT(calls[4].bytes, ElementsAre(0xE8, 0x03));
    EXPECT_THAT(calls[7].bytes, ElementsAre(0x0A, 0x00));
    EXPECT_EQ(calls[9].text, "SetPollCommandSize(2)");

    script->Answer("DNAllocate", -1);
    methods::OpenModule(rval, 10, module);
    EXPECT_EQ(rval, -1);
    rval = 0;
    methods::OpenModule(rval, 10, nullptr);
    EXPECT_EQ(rval, -1);

    methods::CloseModule(rval, 10);
    EXPECT_EQ(rval, 0);
    const auto texts = script->Texts();
    EXPECT_THAT(std::vector<std::string>(texts.end() - 2, texts.end()), ElementsAre("DNFree(10, 1)", "DNFree(10, 2)"));
}

TEST_F(DriverObjectTest, OpenModuleWithBothEnablesZeroFreesAndSucceeds)
{
    ASSERT_EQ(Init(1), 0);
    const std::uint8_t module[6] = {0, 0, 0, 0, 0, 0};
    std::int32_t rval = -1;
    methods::OpenModule(rval, 10, module);
    EXPECT_EQ(rval, 0);
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)", "DNFree(10, 1)", "DNFree(10, 2)"));
}

TEST_F(DriverObjectTest, NullBuffersAreRefusedBeforeTheCard)
{
    ASSERT_EQ(Init(1), 0);
    std::array<std::uint8_t, 16> buffer{};
    std::uint16_t value = 0;
    std::vector<std::int32_t> results;
    auto run = [&](auto method) {
        std::int32_t rval = 0;
        method(rval);
        results.push_back(rval);
    };
    run([&](std::int32_t& r) { methods::LoadVXD(r, 760, 3, nullptr); });
    run([&](std::int32_t& r) { methods::DNAllocate(r, 10, 1, nullptr); });
    run([&](std::int32_t& r) { methods::DNFree(r, 10, 1, nullptr); });
    run([&](std::int32_t& r) { methods::DNGetAttribute(r, 10, 1, 1, 7, nullptr); });
    run([&](std::int32_t& r) { methods::DNSetAttribute(r, 10, 1, 1, 7, 2, nullptr); });
    run([&](std::int32_t& r) { methods::CANRcv(r, nullptr, &value, buffer.data()); });
    run([&](std::int32_t& r) { methods::CANRcv(r, &value, nullptr, buffer.data()); });
    run([&](std::int32_t& r) { methods::CANRcv(r, &value, &value, nullptr); });
    run([&](std::int32_t& r) { methods::CANXmit(r, 0x454, 4, nullptr); });
    run([&](std::int32_t& r) { methods::DNPoll(r, 0x455, 2, nullptr, &value, buffer.data()); });
    run([&](std::int32_t& r) { methods::DNPoll(r, 0x455, 2, &value, nullptr, buffer.data()); });
    run([&](std::int32_t& r) { methods::DNPoll(r, 0x455, 2, &value, &value, nullptr); });
    run([&](std::int32_t& r) { methods::GetCANMessage(r, nullptr); });
    run([&](std::int32_t& r) { methods::DNService(r, 10, 1, 1, 5, 0, nullptr); });
    EXPECT_EQ(results, std::vector<std::int32_t>(14, -1));
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)"));
}

// Exceptions end at the method edge with rval -1.
TEST_F(DriverObjectTest, ThrowingCardOperationsYieldMinusOne)
{
    ASSERT_EQ(Init(1), 0);
    for (const char* op : {"DNGetAttribute", "CANXmit", "DNFree", "UnloadVXD"}) {
        script->Throw(op);
    }
    std::array<std::uint8_t, 152> buffer{};
    std::int32_t rval = 0;
    methods::DNGetAttribute(rval, 10, 1, 1, 7, buffer.data());
    EXPECT_EQ(rval, -1);
    rval = 0;
    methods::CANXmit(rval, 0x454, 1, buffer.data());
    EXPECT_EQ(rval, -1);
    rval = 0;
    methods::CloseModule(rval, 10);
    EXPECT_EQ(rval, -1);
    // The request lock was released on the way out: a further request gets through.
    script->Answer("DNSetAttribute", 0);
    methods::DNSetAttribute(rval, 10, 1, 1, 7, 1, buffer.data());
    EXPECT_EQ(rval, 0);
    // Close still destroys the card and forgets the driver.
    methods::Close(rval);
    EXPECT_EQ(rval, -1);
    EXPECT_EQ(CurrentDriver(), nullptr);
    EXPECT_EQ(script->CardsAlive(), 0);
}

TEST_F(DriverObjectTest, InitThatThrowsLeavesNoDriverObject)
{
    script->Throw("Create");
    EXPECT_EQ(Init(1), -1);
    EXPECT_EQ(CurrentDriver(), nullptr);

    auto loading = std::make_shared<CardScript>();
    ScopedFakeCards loadingCards(loading);
    loading->Throw("LoadVXD");
    EXPECT_EQ(Init(1), -1);
    EXPECT_EQ(CurrentDriver(), nullptr);
    EXPECT_EQ(loading->CardsAlive(), 0);
    EXPECT_THAT(loading->Texts(), ElementsAre("LoadVXD(760, 3)", "~Card"));
}

// A Close that arrives while the card is being opened (from an event loop run by a prompt) must
// not destroy the driver object under the running Init.
TEST_F(DriverObjectTest, CloseDuringInitIsIgnored)
{
    std::int32_t nestedClose = 0;
    std::int32_t nestedInit = 0;
    std::int32_t nestedIsInitialized = 0;
    const auto nestedSettings = SettingsBytes(1, 0, 760, 3, 1);
    script->onCall = [&](const std::string& op) {
        if (op == "LoadVXD") {
            methods::IsInitialized(nestedIsInitialized);
            methods::Init(nestedInit, nestedSettings.data());
            methods::Close(nestedClose);
        }
    };
    EXPECT_EQ(Init(1), 0);
    script->onCall = nullptr;
    EXPECT_EQ(nestedIsInitialized, -1);
    EXPECT_EQ(nestedInit, -1);
    EXPECT_EQ(nestedClose, -1);
    EXPECT_EQ(IsInitialized(), 0);
    EXPECT_THAT(script->CreatedTypes(), ElementsAre(1));
}

} // namespace
} // namespace orv::automation

namespace orv::automation {
namespace {

// A card that ends the process with its own code when it is closed or destroyed.
class TellingCard final : public testing::FakeCard {
public:
    using FakeCard::FakeCard;
    ~TellingCard() override { std::_Exit(3); }
    std::int32_t UnloadVXD() override { std::_Exit(4); }
};

// A client that exits without Close: the driver object is not closed by a static destructor (its
// card's library may be gone by then); the process ends cleanly and takes the object with it.
TEST(DriverObjectExit, AClientThatExitsWithoutCloseExitsCleanly)
{
    EXPECT_EXIT(
        {
            auto script = std::make_shared<testing::CardScript>();
            SetCardFactory([script](int) { return std::make_unique<TellingCard>(script); });
            const auto settings = testing::SettingsBytes(63, 0, 760, 3, 1);
            std::int32_t rval = -1;
            methods::Init(rval, settings.data());
            std::exit(rval == 0 ? 0 : 5);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace orv::automation
