// DriverClient: the exact calls it makes (DISPID, argument kinds, the caller's own addresses), how
// it reads their outcome, creation failure, and the ten operations against the built driver
// library on the simulated Brelin.

#include "viewer/app/DriverClient.h"

#include "tests/automation_com/ServerEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>

namespace orv::viewer {
namespace {

using platform::automation::VARIANT;
using comtest::Call;
using comtest::GetLe16;
using comtest::kNode;

// One argument as it arrived: its kind, and its address or its integer value.
struct Argument {
    platform::automation::VARTYPE type;
    const void* address;
    std::int64_t value;

    bool operator==(const Argument&) const = default;
};

Argument Ref(platform::automation::VARTYPE type, const void* address)
{
    return {static_cast<platform::automation::VARTYPE>(type | platform::automation::VT_BYREF), address, 0};
}

Argument Value(platform::automation::VARTYPE type, std::int64_t value)
{
    return {type, nullptr, value};
}

std::ostream& operator<<(std::ostream& out, const Argument& argument)
{
    return out << "{vt " << argument.type << ", " << argument.address << ", " << argument.value << "}";
}

struct Invocation {
    platform::automation::DISPID dispId;
    std::uint16_t flags;
    bool resultAsked;
    std::vector<Argument> args; // first to last
};

// An IDispatch that records each call and writes `answer` through the first argument.
class RecordingDispatch final : public platform::automation::IDispatch {
public:
    std::vector<Invocation> calls;
    std::int32_t answer = 0;
    platform::automation::HRESULT status = platform::automation::S_OK;
    std::uint32_t references = 1;

    platform::automation::HRESULT QueryInterface(const platform::automation::IID& iid, void** object) override
    {
        if (iid == platform::automation::IID_IUnknown || iid == platform::automation::IID_IDispatch) {
            *object = this;
            AddRef();
            return platform::automation::S_OK;
        }
        *object = nullptr;
        return platform::automation::E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++references; }
    std::uint32_t Release() override { return --references; } // lives on the test's stack
    platform::automation::HRESULT GetTypeInfoCount(std::uint32_t* count) override
    {
        *count = 0;
        return platform::automation::S_OK;
    }
    platform::automation::HRESULT GetTypeInfo(std::uint32_t, const platform::automation::InterfaceInfo**) override { return platform::automation::DISP_E_BADINDEX; }
    platform::automation::HRESULT GetIDsOfNames(const char* const*, std::uint32_t, platform::automation::DISPID*) override
    {
        return platform::automation::DISP_E_UNKNOWNNAME;
    }
    platform::automation::HRESULT Invoke(platform::automation::DISPID dispId, std::uint16_t flags, platform::automation::DISPPARAMS* params, platform::automation::VARIANT* result,
                        std::uint32_t*) override
    {
        Invocation call{dispId, flags, result != nullptr, {}};
        for (std::uint32_t i = params->cArgs; i-- > 0;) {
            const VARIANT& v = params->rgvarg[i];
            if ((v.vt & platform::automation::VT_BYREF) != 0) {
                call.args.push_back(Ref(v.vt & platform::automation::VT_TYPEMASK, v.byref));
            } else if (v.vt == platform::automation::VT_I2) {
                call.args.push_back(Value(v.vt, v.iVal));
            } else {
                call.args.push_back(Value(v.vt, v.lVal));
            }
        }
        calls.push_back(call);
        if (params->cArgs > 0 && params->rgvarg[params->cArgs - 1].vt == (platform::automation::VT_I4 | platform::automation::VT_BYREF)) {
            *params->rgvarg[params->cArgs - 1].plVal = answer;
        }
        return status;
    }
};

class DriverClientCalls : public ::testing::Test {
protected:
    DriverClientCalls() { client_.Attach(&fake_); }

    // The call just made, with its rval argument checked and removed.
    Invocation Last()
    {
        EXPECT_FALSE(fake_.calls.empty());
        if (fake_.calls.empty()) {
            return {};
        }
        Invocation call = fake_.calls.back();
        EXPECT_EQ(call.flags, platform::automation::DISPATCH_METHOD) << "a method call, not a property";
        EXPECT_FALSE(call.resultAsked) << "no return value";
        EXPECT_FALSE(call.args.empty());
        if (!call.args.empty()) {
            EXPECT_EQ(call.args.front().type, platform::automation::VT_I4 | platform::automation::VT_BYREF) << "rval: long by reference first";
            call.args.erase(call.args.begin());
        }
        return call;
    }

    RecordingDispatch fake_;
    DriverClient client_;
};

TEST_F(DriverClientCalls, EachOperationCallsItsDispidWithTheArgumentsTheClientSends)
{
    fake_.answer = 0x1234;
    std::array<std::uint8_t, 152> buffer{};
    std::int16_t first = 0;
    std::int16_t second = 0;

    EXPECT_EQ(client_.DNGetAttribute(63, 1, 2, 3, buffer.data()), 0x1234);
    Invocation call = Last();
    EXPECT_EQ(call.dispId, 5);
    EXPECT_EQ(call.args, (std::vector<Argument>{Value(platform::automation::VT_I2, 63), Value(platform::automation::VT_I2, 1), Value(platform::automation::VT_I2, 2),
                                                Value(platform::automation::VT_I2, 3), Ref(platform::automation::VT_UI1, buffer.data())}));

    EXPECT_EQ(client_.DNSetAttribute(62, 5, 1, 9, 2, buffer.data()), 0x1234);
    call = Last();
    EXPECT_EQ(call.dispId, 6);
    EXPECT_EQ(call.args, (std::vector<Argument>{Value(platform::automation::VT_I2, 62), Value(platform::automation::VT_I2, 5), Value(platform::automation::VT_I2, 1),
                                                Value(platform::automation::VT_I2, 9), Value(platform::automation::VT_I2, 2),
                                                Ref(platform::automation::VT_UI1, buffer.data())}));

    EXPECT_EQ(client_.CANRcv(&first, &second, buffer.data()), 0x1234);
    call = Last();
    EXPECT_EQ(call.dispId, 7);
    EXPECT_EQ(call.args, (std::vector<Argument>{Ref(platform::automation::VT_I2, &first), Ref(platform::automation::VT_I2, &second),
                                                Ref(platform::automation::VT_UI1, buffer.data())}));

    EXPECT_EQ(client_.CANXmit(0x5FC, 5, buffer.data()), 0x1234);
    call = Last();
    EXPECT_EQ(call.dispId, 8);
    EXPECT_EQ(call.args, (std::vector<Argument>{Value(platform::automation::VT_I2, 0x5FC), Value(platform::automation::VT_I2, 5),
                                                Ref(platform::automation::VT_UI1, buffer.data())}));

    EXPECT_EQ(client_.DNPoll(0x5FD, 4, &first, &second, buffer.data()), 0x1234);
    call = Last();
    EXPECT_EQ(call.dispId, 9);
    EXPECT_EQ(call.args, (std::vector<Argument>{Value(platform::automation::VT_I2, 0x5FD), Value(platform::automation::VT_I2, 4), Ref(platform::automation::VT_I2, &first),
                                                Ref(platform::automation::VT_I2, &second), Ref(platform::automation::VT_UI1, buffer.data())}));

    std::array<std::uint8_t, 88> settings{};
    std::array<std::uint8_t, 6> config{};
    EXPECT_FALSE(client_.Init(settings.data()));
    call = Last();
    EXPECT_EQ(call.dispId, 11);
    EXPECT_EQ(call.args, (std::vector<Argument>{Ref(platform::automation::VT_UI1, settings.data())})) << "the record's address";

    EXPECT_FALSE(client_.Close());
    call = Last();
    EXPECT_EQ(call.dispId, 12);
    EXPECT_TRUE(call.args.empty());

    EXPECT_FALSE(client_.OpenModule(63, config.data()));
    call = Last();
    EXPECT_EQ(call.dispId, 13);
    EXPECT_EQ(call.args, (std::vector<Argument>{Value(platform::automation::VT_I4, 63), Ref(platform::automation::VT_UI1, config.data())}))
        << "the address goes as a long";

    EXPECT_FALSE(client_.CloseModule(63));
    call = Last();
    EXPECT_EQ(call.dispId, 14);
    EXPECT_EQ(call.args, (std::vector<Argument>{Value(platform::automation::VT_I4, 63)}));

    EXPECT_FALSE(client_.IsInitialized());
    call = Last();
    EXPECT_EQ(call.dispId, 15);
    EXPECT_TRUE(call.args.empty());
    EXPECT_EQ(fake_.calls.size(), 10u);
}

TEST_F(DriverClientCalls, TheOperationsScriptsUseCallTheirDispids)
{
    fake_.answer = 7;
    std::array<std::uint8_t, 152> buffer{};
    char text[DriverClient::kTraceTextSize] = {};
    struct Row {
        std::int32_t rval;
        platform::automation::DISPID dispId;
        std::vector<Argument> args;
    };
    const Row rows[] = {
        {client_.SetTimeout(250), 17, {Value(platform::automation::VT_UI4, 250)}},
        {client_.DNAllocate(5, 1, buffer.data()), 3,
         {Value(platform::automation::VT_I2, 5), Value(platform::automation::VT_I2, 1), Ref(platform::automation::VT_UI1, buffer.data())}},
        {client_.DNFree(5, 3, buffer.data()), 4,
         {Value(platform::automation::VT_I2, 5), Value(platform::automation::VT_I2, 3), Ref(platform::automation::VT_UI1, buffer.data())}},
        {client_.DNService(5, 1, 1, 5, 0, buffer.data()), 19,
         {Value(platform::automation::VT_I2, 5), Value(platform::automation::VT_I2, 1), Value(platform::automation::VT_I2, 1), Value(platform::automation::VT_I2, 5), Value(platform::automation::VT_I2, 0),
          Ref(platform::automation::VT_UI1, buffer.data())}},
        {client_.GetCANMessage(text), 18, {Ref(platform::automation::VT_UI1, text)}},
    };
    ASSERT_EQ(fake_.calls.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i].rval, 7);
        EXPECT_EQ(fake_.calls[i].dispId, rows[i].dispId);
        std::vector<Argument> args = fake_.calls[i].args;
        args.erase(args.begin()); // rval
        EXPECT_EQ(args, rows[i].args) << "DISPID " << rows[i].dispId;
    }
    EXPECT_EQ(client_.LastRval(), 7);
    EXPECT_TRUE(client_.InvokeError().empty());
}

TEST_F(DriverClientCalls, TrueOnlyForAnRvalOfZero)
{
    std::array<std::uint8_t, 88> record{};
    for (const std::int32_t answer : {0, -1, 1, 0xFFFC}) {
        fake_.answer = answer;
        const bool expected = answer == 0;
        EXPECT_EQ(client_.Init(record.data()), expected) << answer;
        EXPECT_EQ(client_.Close(), expected) << answer;
        EXPECT_EQ(client_.OpenModule(1, record.data()), expected) << answer;
        EXPECT_EQ(client_.CloseModule(1), expected) << answer;
        EXPECT_EQ(client_.IsInitialized(), expected) << answer;
        EXPECT_EQ(client_.DNGetAttribute(1, 1, 1, 1, record.data()), answer) << "rval passed on as it is";
    }
}

TEST_F(DriverClientCalls, ACallTheAutomationLayerFailsYieldsMinusOne)
{
    fake_.answer = 0; // written, then the call fails anyway
    fake_.status = platform::automation::DISP_E_MEMBERNOTFOUND;
    std::array<std::uint8_t, 152> buffer{};
    EXPECT_EQ(client_.DNGetAttribute(63, 1, 1, 1, buffer.data()), -1);
    EXPECT_EQ(client_.LastStatus(), platform::automation::DISP_E_MEMBERNOTFOUND);
    EXPECT_NE(client_.InvokeError().find("(DISPID 5)"), std::string::npos) << client_.InvokeError();
    EXPECT_FALSE(client_.IsInitialized());
    fake_.status = platform::automation::S_OK;
    EXPECT_TRUE(client_.IsInitialized());
    EXPECT_EQ(client_.LastStatus(), platform::automation::S_OK);
}

TEST(DriverClientUnbound, AnswersEveryOperationWithFailure)
{
    DriverClient client;
    EXPECT_FALSE(client.IsBound());
    std::array<std::uint8_t, 152> buffer{};
    std::int16_t value = 0;
    EXPECT_EQ(client.DNGetAttribute(63, 1, 1, 1, buffer.data()), -1);
    EXPECT_EQ(client.LastStatus(), platform::automation::E_POINTER);
    EXPECT_EQ(client.DNSetAttribute(63, 1, 1, 1, 1, buffer.data()), -1);
    EXPECT_EQ(client.CANRcv(&value, &value, buffer.data()), -1);
    EXPECT_EQ(client.CANXmit(0x5FC, 1, buffer.data()), -1);
    EXPECT_EQ(client.DNPoll(0x5FD, 1, &value, &value, buffer.data()), -1);
    EXPECT_FALSE(client.Init(buffer.data()));
    EXPECT_FALSE(client.Close());
    EXPECT_FALSE(client.OpenModule(63, buffer.data()));
    EXPECT_FALSE(client.CloseModule(63));
    EXPECT_FALSE(client.IsInitialized());
}

TEST(DriverClientAttach, ReleasesTheObjectItHolds)
{
    RecordingDispatch fake;
    {
        DriverClient client;
        fake.AddRef(); // the reference the client takes over
        client.Attach(&fake);
        EXPECT_TRUE(client.IsBound());
        EXPECT_EQ(fake.references, 2u);
    }
    EXPECT_EQ(fake.references, 1u);
    DriverClient client;
    fake.AddRef();
    client.Attach(&fake);
    client.Release();
    EXPECT_FALSE(client.IsBound());
    EXPECT_EQ(fake.references, 1u);
}

// The built library through a temporary registry.
class DriverClientWithLibrary : public comtest::ServerTest {
protected:
    std::array<std::uint8_t, 88> settings_ = comtest::SettingsRecord(comtest::kSstCard);
};

TEST_F(DriverClientWithLibrary, ReportsCreationFailureWithTheRuntimesText)
{
    std::string why;
    ASSERT_EQ(platform::automation::UnregisterServerLibrary(comtest::kLibraryPath, &why), platform::automation::S_OK) << why;
    DriverClient client;
    EXPECT_EQ(client.Create(&why), platform::automation::CO_E_CLASSSTRING);
    EXPECT_EQ(why, "Invalid class string: ProgID \"OrvDeviceNetDriver.OrvDeviceNetCom.1\" is not registered");
    EXPECT_FALSE(client.IsBound());
    EXPECT_FALSE(client.IsInitialized());
}

TEST_F(DriverClientWithLibrary, OpensAndClosesTheDriver)
{
    DriverClient client;
    std::string why;
    ASSERT_EQ(client.Create(&why), platform::automation::S_OK) << why;
    EXPECT_FALSE(client.IsInitialized());
    EXPECT_FALSE(client.CloseModule(kNode)) << "no driver to close the module on";
    ASSERT_TRUE(client.Init(settings_.data()));
    EXPECT_TRUE(client.IsInitialized());
    EXPECT_FALSE(client.Init(settings_.data())) << "the driver is open already";

    DriverClient other;
    ASSERT_EQ(other.Create(&why), platform::automation::S_OK) << why;
    EXPECT_TRUE(other.IsInitialized()) << "a second client finds the open driver";

    EXPECT_FALSE(client.Close()) << "Close never answers 0";
    EXPECT_FALSE(client.IsInitialized());
    EXPECT_FALSE(other.IsInitialized());
}

// The driver open on the SST card (sim bus) and node 63 opened with its explicit and poll
// connections, as the viewer opens a device.
class DriverClientOnDevice : public DriverClientWithLibrary {
protected:
    void SetUp() override
    {
        DriverClientWithLibrary::SetUp();
        std::string why;
        ASSERT_EQ(client_.Create(&why), platform::automation::S_OK) << why;
        ASSERT_TRUE(client_.Init(settings_.data()));
        // A short receive time-out through another instance of the same driver object, so that a
        // device that does not answer fails the test quickly.
        platform::automation::ComPtr<platform::automation::IDispatch> other = Create();
        ASSERT_TRUE(other);
        ASSERT_EQ(Call(other.Get(), 17, {VARIANT::UI4(250)}).rval, 0);
        std::array<std::uint8_t, 6> module = comtest::ModuleRecord(true);
        ASSERT_TRUE(client_.OpenModule(kNode, module.data())) << "the simulated Brelin did not take the connections";
    }
    void TearDown() override
    {
        client_.Close();
        client_.Release();
        DriverClientWithLibrary::TearDown();
    }

    // A Get_Attribute_Single that must succeed; its value bytes.
    std::vector<std::uint8_t> Get(int cls, int inst, int attr)
    {
        std::array<std::uint8_t, 152> buffer{};
        const std::int32_t rval = client_.DNGetAttribute(kNode, static_cast<std::int16_t>(cls),
                                                         static_cast<std::int16_t>(inst),
                                                         static_cast<std::int16_t>(attr), buffer.data());
        EXPECT_EQ(rval, 0) << cls << "/" << inst << "/" << attr;
        EXPECT_EQ(buffer[7], 0x8E) << cls << "/" << inst << "/" << attr;
        const int length = GetLe16(buffer.data() + 4);
        if (rval != 0 || buffer[7] != 0x8E || length < 2 || length > 144) {
            return {};
        }
        return {buffer.begin() + 8, buffer.begin() + 8 + (length - 2)};
    }

    DriverClient client_;
};

TEST_F(DriverClientOnDevice, ReadsTheIdentityVendorId)
{
    std::array<std::uint8_t, 152> buffer{};
    buffer.fill(0xEE);
    ASSERT_EQ(client_.DNGetAttribute(kNode, 1, 1, 1, buffer.data()), 0);
    EXPECT_EQ(GetLe16(buffer.data() + 4), 4) << "header, service and a 16-bit vendor id";
    EXPECT_EQ(buffer[7], 0x8E);
    EXPECT_EQ(buffer[3], 0xEE) << "bytes 0-3 are not the reply's";
    EXPECT_EQ(buffer[10], 0xEE) << "nothing past the reply";
}

TEST_F(DriverClientOnDevice, WritesTheExpectedPacketRateOfTheExplicitConnection)
{
    std::array<std::uint8_t, 152> buffer{};
    buffer[0] = 0x88; // 5000 ms, little-endian
    buffer[1] = 0x13;
    ASSERT_EQ(client_.DNSetAttribute(kNode, 5, 1, 9, 2, buffer.data()), 0);
    EXPECT_EQ(buffer[7], 0x90) << "the success reply to Set_Attribute_Single";
    EXPECT_EQ(Get(5, 1, 9), (std::vector<std::uint8_t>{0x88, 0x13}));
}

TEST_F(DriverClientOnDevice, PollsTheNode)
{
    const std::vector<std::uint8_t> produced = Get(5, 2, 7);
    const std::vector<std::uint8_t> consumed = Get(5, 2, 8);
    ASSERT_EQ(produced.size(), 2u);
    ASSERT_EQ(consumed.size(), 2u);
    const std::int16_t inputSize = static_cast<std::int16_t>(GetLe16(produced.data()));
    const std::int16_t outputSize = static_cast<std::int16_t>(GetLe16(consumed.data()));
    std::vector<std::uint8_t> io(512, 0);
    for (int i = 0; i < outputSize; ++i) {
        io[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>('0' + i % 10);
    }
    std::int16_t rxid = 0;
    std::int16_t nrxbytes = inputSize;
    ASSERT_EQ(client_.DNPoll(static_cast<std::int16_t>(comtest::kPollCommandId), outputSize, &rxid, &nrxbytes, io.data()),
              0);
    EXPECT_EQ(nrxbytes, inputSize);
    EXPECT_EQ(rxid, 0x3C0 + kNode) << "the poll response of node 63 (Group 1, message 15)";
}

TEST_F(DriverClientOnDevice, SendsARawRequestAndReceivesItsAnswer)
{
    const std::vector<std::uint8_t> vendor = Get(1, 1, 1);
    ASSERT_EQ(vendor.size(), 2u);
    // Header (the master's MAC ID 0), Get_Attribute_Single, class 1, instance 1, attribute 1.
    std::array<std::uint8_t, 8> request{0x00, 0x0E, 0x01, 0x01, 0x01};
    ASSERT_EQ(client_.CANXmit(static_cast<std::int16_t>(comtest::kExplicitRequestId), 5, request.data()), 0);

    std::int16_t radd = 0;
    std::int16_t rlen = 0;
    std::array<std::uint8_t, 16> data{};
    std::int32_t rval = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    do {
        rval = client_.CANRcv(&radd, &rlen, data.data());
    } while (rval == 0xFFFC && std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(rval, 0);
    EXPECT_EQ(radd, comtest::kExplicitResponseId);
    EXPECT_EQ(rlen, 4);
    EXPECT_EQ(data[1], 0x8E);
    EXPECT_EQ(data[2], vendor[0]);
    EXPECT_EQ(data[3], vendor[1]);
}

TEST_F(DriverClientOnDevice, ClosesTheModuleAndTheDriver)
{
    EXPECT_TRUE(client_.CloseModule(kNode));
    std::array<std::uint8_t, 152> buffer{};
    EXPECT_NE(client_.DNGetAttribute(kNode, 1, 1, 1, buffer.data()), 0) << "the explicit connection is released";
    EXPECT_TRUE(client_.IsInitialized()) << "closing a module leaves the driver open";
    EXPECT_FALSE(client_.Close());
    EXPECT_FALSE(client_.IsInitialized());
}

} // namespace
} // namespace orv::viewer
