// OrvDeviceNetCom created in process: each DISPID reaching its card operation with its arguments
// and the caller's own buffers, the SYSTEC adapter opened through Init, and reply buffers filled
// by the simulated Brelin.

#include "driver/automation/CardFactory.h"
#include "driver/automation/DriverObject.h"
#include "driver/automation/server/OrvDeviceNetCom.h"
#include "driver/cards/CardTypes.h"
#include "driver/cards/SystecCard.h"
#include "tests/automation_com/ServerEnvironment.h"
#include "tests/support/RecordingClock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <sstream>

namespace orv::comtest {
namespace {

using com::VARIANT;

// Records each operation as "Name(arguments)" and answers the result set for it.
class RecordingCard final : public automation::CardInterface {
public:
    std::vector<std::string>& log;
    std::map<std::string, std::int32_t>& results;

    RecordingCard(std::vector<std::string>& log, std::map<std::string, std::int32_t>& results)
        : log(log), results(results)
    {
    }

    std::int32_t LoadVXD(int port, int irq, std::uint8_t* config) override
    {
        return Record("LoadVXD", {port, irq, config[4], config[6]});
    }
    std::int32_t UnloadVXD() override { return Record("UnloadVXD", {}); }
    std::int32_t DNAllocate(int node, int type, std::uint8_t* buffer) override
    {
        buffer[0] = 0xA1;
        return Record("DNAllocate", {node, type});
    }
    std::int32_t DNFree(int node, int type, std::uint8_t* buffer) override
    {
        buffer[0] = 0xF1;
        return Record("DNFree", {node, type});
    }
    std::int32_t DNGetAttribute(int node, int cls, int inst, int attr, std::uint8_t* buffer) override
    {
        buffer[7] = 0x8E;
        return Record("DNGetAttribute", {node, cls, inst, attr});
    }
    std::int32_t DNSetAttribute(int node, int cls, int inst, int attr, int length, std::uint8_t* buffer) override
    {
        return Record("DNSetAttribute", {node, cls, inst, attr, length, buffer[0], buffer[1]});
    }
    std::int32_t CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data) override
    {
        *identifier = 0x5FB;
        *length = 2;
        data[0] = 0x11;
        data[1] = 0x22;
        return Record("CANRcv", {});
    }
    std::int32_t CANXmit(int identifier, int length, const std::uint8_t* data) override
    {
        return Record("CANXmit", {identifier, length, data[0], data[length - 1]});
    }
    std::int32_t DNPoll(int txId, int txLength, std::uint16_t* rxId, std::uint16_t* rxLength,
                        std::uint8_t* buffer) override
    {
        const int expected = *rxLength;
        *rxId = 0x3FF;
        *rxLength = 3;
        buffer[0] = 0x33;
        return Record("DNPoll", {txId, txLength, expected});
    }
    std::int32_t NetworkWho(int node, std::uint8_t*) override { return Record("NetworkWho", {node}); }
    std::int32_t SetTimeout(int milliseconds) override { return Record("SetTimeout", {milliseconds}); }
    std::int32_t GetCANMessage(char* text) override
    {
        std::strcpy(text, "[5FC] 00\r\n");
        return Record("GetCANMessage", {});
    }
    std::int32_t DNService(int node, int cls, int inst, int service, int length, std::uint8_t* buffer) override
    {
        return Record("DNService", {node, cls, inst, service, length, buffer[0]});
    }
    bool SetPollCommandSize(std::uint16_t size) override { return Record("SetPollCommandSize", {size}) == 0; }

private:
    std::int32_t Record(const std::string& name, std::initializer_list<int> arguments)
    {
        std::ostringstream text;
        text << name << "(";
        const char* separator = "";
        for (const int argument : arguments) {
            text << separator << argument;
            separator = ",";
        }
        text << ")";
        log.push_back(text.str());
        const auto result = results.find(name);
        return result != results.end() ? result->second : 0;
    }
};

// The class made in process, its driver object closed again afterwards, no prompts, a fresh
// profile folder and the SYSTEC start pause recorded instead of waited.
class InProcess : public ::testing::Test {
protected:
    ~InProcess() override
    {
        std::int32_t rval = 0;
        automation::methods::Close(rval);
        automation::SetCardFactory(previousFactory_);
    }

    void SetUp() override
    {
        ASSERT_EQ(automation::CreateOrvDeviceNetCom(nullptr, com::IID_IDispatch, dispatch_.Receive()), com::S_OK);
    }

    void UseRecordingCard()
    {
        automation::SetCardFactory([this](int) { return std::make_unique<RecordingCard>(log_, results_); });
    }

    test::TempFolder folder_;
    test::ScopedEnvironment configVariable_{"XDG_CONFIG_HOME", (folder_ / "config").string()};
    test::ScopedEnvironment busVariable_{"ORV_CANBUS", std::nullopt};
    FailingPrompts prompts_;
    platform::ScopedPromptHandler promptScope_{prompts_};
    test::RecordingClock clock_;
    automation::CardFactory previousFactory_ = automation::SetCardFactory(
        [this](int driverType) { return cards::CreateCardWithClock(driverType, clock_); });
    std::vector<std::string> log_;
    std::map<std::string, std::int32_t> results_;
    com::ComPtr<com::IDispatch> dispatch_;
};

TEST_F(InProcess, EachMethodReachesItsCardOperationWithTheCallersBuffers)
{
    UseRecordingCard();
    std::array<std::uint8_t, 88> settings = SettingsRecord(1, 2, 5);
    ASSERT_EQ(Call(dispatch_.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, 0);
    EXPECT_EQ(log_, (std::vector<std::string>{"LoadVXD(760,3,5,0)"}));
    log_.clear();
    int next = 101;
    for (const char* name : {"LoadVXD", "UnloadVXD", "DNAllocate", "DNFree", "DNGetAttribute", "DNSetAttribute",
                             "CANRcv", "CANXmit", "DNPoll", "SetTimeout", "GetCANMessage", "DNService"}) {
        results_[name] = next++;
    }

    std::array<std::uint8_t, 80> config{};
    config[4] = 9;
    EXPECT_EQ(Call(dispatch_.Get(), 1, {VARIANT::I2(0x2F8), VARIANT::I2(5), VARIANT::Bytes(config.data())}).rval, 101);
    EXPECT_EQ(Call(dispatch_.Get(), 2).rval, 102);
    std::array<std::uint8_t, 152> buffer{};
    EXPECT_EQ(Call(dispatch_.Get(), 3, {VARIANT::I2(10), VARIANT::I2(2), VARIANT::Bytes(buffer.data())}).rval, 103);
    EXPECT_EQ(buffer[0], 0xA1);
    EXPECT_EQ(Call(dispatch_.Get(), 4, {VARIANT::I2(11), VARIANT::I2(1), VARIANT::Bytes(buffer.data())}).rval, 104);
    EXPECT_EQ(buffer[0], 0xF1);
    EXPECT_EQ(Call(dispatch_.Get(), 5,
                   {VARIANT::I2(12), VARIANT::I2(1), VARIANT::I2(2), VARIANT::I2(3), VARIANT::Bytes(buffer.data())})
                  .rval,
              105);
    EXPECT_EQ(buffer[7], 0x8E);
    buffer[0] = 0xC4;
    buffer[1] = 0x09;
    EXPECT_EQ(Call(dispatch_.Get(), 6,
                   {VARIANT::I2(13), VARIANT::I2(5), VARIANT::I2(1), VARIANT::I2(9), VARIANT::I2(2),
                    VARIANT::Bytes(buffer.data())})
                  .rval,
              106);
    std::int16_t radd = 0;
    std::int16_t rlen = 0;
    std::array<std::uint8_t, 8> data{};
    EXPECT_EQ(Call(dispatch_.Get(), 7, {VARIANT::Ref(&radd), VARIANT::Ref(&rlen), VARIANT::Bytes(data.data())}).rval,
              107);
    EXPECT_EQ(radd, 0x5FB);
    EXPECT_EQ(rlen, 2);
    EXPECT_EQ(data[1], 0x22);
    std::array<std::uint8_t, 5> frame{0x00, 0x0E, 0x01, 0x01, 0x07};
    EXPECT_EQ(Call(dispatch_.Get(), 8, {VARIANT::I2(0x5FC), VARIANT::I2(5), VARIANT::Bytes(frame.data())}).rval, 108);
    std::int16_t rxid = 0;
    std::int16_t nrxbytes = 6;
    EXPECT_EQ(Call(dispatch_.Get(), 9,
                   {VARIANT::I2(0x5FD), VARIANT::I2(4), VARIANT::Ref(&rxid), VARIANT::Ref(&nrxbytes),
                    VARIANT::Bytes(buffer.data())})
                  .rval,
              109);
    EXPECT_EQ(rxid, 0x3FF);
    EXPECT_EQ(nrxbytes, 3);
    EXPECT_EQ(buffer[0], 0x33);
    EXPECT_EQ(Call(dispatch_.Get(), 10, {VARIANT::I2(14), VARIANT::Bytes(buffer.data())}).rval, -1);
    EXPECT_EQ(Call(dispatch_.Get(), 17, {VARIANT::UI4(250)}).rval, 110);
    std::array<char, 1032> trace{};
    EXPECT_EQ(Call(dispatch_.Get(), 18, {VARIANT::Bytes(trace.data())}).rval, 111);
    EXPECT_STREQ(trace.data(), "[5FC] 00\r\n");
    buffer[0] = 0x05;
    EXPECT_EQ(Call(dispatch_.Get(), 19,
                   {VARIANT::I2(15), VARIANT::I2(0x40), VARIANT::I2(1), VARIANT::I2(0x4B), VARIANT::I2(1),
                    VARIANT::Bytes(buffer.data())})
                  .rval,
              112);

    EXPECT_EQ(log_, (std::vector<std::string>{"LoadVXD(760,5,9,0)", "UnloadVXD()", "DNAllocate(10,2)",
                                              "DNFree(11,1)", "DNGetAttribute(12,1,2,3)",
                                              "DNSetAttribute(13,5,1,9,2,196,9)", "CANRcv()", "CANXmit(1532,5,0,7)",
                                              "DNPoll(1533,4,6)", "SetTimeout(250)", "GetCANMessage()",
                                              "DNService(15,64,1,75,1,5)"}))
        << "NetworkWho reaches no card";

    // The module methods run the driver object's sequences on the same card.
    log_.clear();
    results_.clear();
    std::array<std::uint8_t, 6> module = ModuleRecord(false, 0x1234);
    EXPECT_EQ(Call(dispatch_.Get(), 13, {VARIANT::I4(kNode), VARIANT::Bytes(module.data())}).rval, 0);
    EXPECT_EQ(Call(dispatch_.Get(), 14, {VARIANT::I4(kNode)}).rval, 0);
    EXPECT_EQ(log_, (std::vector<std::string>{"DNFree(63,1)", "DNFree(63,2)", "DNAllocate(63,1)",
                                              "DNSetAttribute(63,5,1,9,2,52,18)", "DNGetAttribute(63,5,1,9)",
                                              "DNFree(63,1)", "DNFree(63,2)"}));
    log_.clear();
    EXPECT_EQ(Call(dispatch_.Get(), 12).rval, -1);
    EXPECT_EQ(log_, (std::vector<std::string>{"UnloadVXD()"}));
}

TEST_F(InProcess, InitOpensTheSystecAdapterOnceAndRefusesASecondInit)
{
    std::array<std::uint8_t, 88> settings = SettingsRecord(2);
    ASSERT_EQ(Call(dispatch_.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, 0);
    EXPECT_EQ(clock_.Sleeps(), (std::vector<std::uint32_t>{cards::SystecCard::kStartPause}));
    EXPECT_EQ(Call(dispatch_.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, -1);
    EXPECT_EQ(clock_.Sleeps().size(), 1u) << "the adapter was not opened again";
    EXPECT_EQ(Call(dispatch_.Get(), 15).rval, 0);
}

// The SST card on the default bus, node 63 opened with its explicit connection.
class OnTheSimulatedDevice : public InProcess {
protected:
    void SetUp() override
    {
        InProcess::SetUp();
        std::array<std::uint8_t, 88> settings = SettingsRecord(kSstCard);
        ASSERT_EQ(Call(dispatch_.Get(), 11, {VARIANT::Bytes(settings.data())}).rval, 0);
        ASSERT_EQ(Call(dispatch_.Get(), 17, {VARIANT::UI4(250)}).rval, 0);
        std::array<std::uint8_t, 6> module = ModuleRecord(false);
        ASSERT_EQ(Call(dispatch_.Get(), 13, {VARIANT::I4(kNode), VARIANT::Bytes(module.data())}).rval, 0)
            << "the simulated Brelin does not answer the connection set up";
    }
};

TEST_F(OnTheSimulatedDevice, ATwoByteAttributeFillsTheReplyFromByteFour)
{
    std::array<std::uint8_t, 152> buffer{};
    buffer.fill(0xEE);
    const Outcome get = Call(dispatch_.Get(), 5,
                             {VARIANT::I2(kNode), VARIANT::I2(1), VARIANT::I2(1), VARIANT::I2(1),
                              VARIANT::Bytes(buffer.data())});
    ASSERT_EQ(get.rval, 0);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(buffer[1], 0xEE);
    EXPECT_EQ(buffer[2], 0xEE);
    EXPECT_EQ(buffer[3], 0xEE);
    EXPECT_EQ(GetLe16(buffer.data() + 4), 4) << "header, service code and two value bytes";
    EXPECT_EQ(buffer[7], 0x8E);
    EXPECT_EQ(buffer[12], 0xEE) << "nothing written past the reply";
}

TEST_F(OnTheSimulatedDevice, AnErrorResponseIsASuccessfulExchange)
{
    std::array<std::uint8_t, 152> buffer{};
    buffer[0] = 0x34;
    buffer[1] = 0x12;
    const Outcome set = Call(dispatch_.Get(), 6,
                             {VARIANT::I2(kNode), VARIANT::I2(1), VARIANT::I2(1), VARIANT::I2(1), VARIANT::I2(2),
                              VARIANT::Bytes(buffer.data())});
    ASSERT_EQ(set.rval, 0) << "the vendor id is read-only, and the device says so";
    EXPECT_EQ(buffer[7], 0x94);
    EXPECT_GE(GetLe16(buffer.data() + 4), 3) << "with its general error code";
}

} // namespace
} // namespace orv::comtest
