// One suite, run against each card back-end on the simulated Brelin (the stand-in card libraries
// reach the in-process "sim" bus by default): the same scenarios from Init to Close.

#include "CardTestSupport.h"

#include "driver/cards/SstCard.h"

#include <cstring>
#include <string>

namespace orv::cardtest {
namespace {

using automation::methods::CANRcv;
using automation::methods::CANXmit;
using automation::methods::Close;
using automation::methods::CloseModule;
using automation::methods::DNPoll;
using automation::methods::GetCANMessage;
using automation::methods::IsInitialized;
using automation::methods::SetTimeout;

struct CardKind {
    const char* name;
    int driverType;
    bool ownMaster; // runs the driver's own master: trace, time-out, data at offset 0
};

void PrintTo(const CardKind& kind, std::ostream* os) { *os << kind.name; }

class CardConformance : public ::testing::TestWithParam<CardKind> {
protected:
    void OpenDriver(int dataRate = 0)
    {
        ASSERT_EQ(Init(Settings(GetParam().driverType, dataRate)), 0);
    }

    CardEnvironment env;
};

TEST_P(CardConformance, InitOpensTheCardAtEveryDataRate)
{
    for (int rate : {0, 1, 2}) {
        SCOPED_TRACE(rate);
        ASSERT_EQ(Init(Settings(GetParam().driverType, rate)), 0);
        std::int32_t rval = -1;
        IsInitialized(rval);
        EXPECT_EQ(rval, 0);
        EXPECT_EQ(Init(Settings(GetParam().driverType, rate)), -1) << "a second Init";
        Close(rval);
        EXPECT_EQ(rval, -1);
        IsInitialized(rval);
        EXPECT_EQ(rval, -1);
    }
    EXPECT_TRUE(env.prompts.messages.empty());
}

TEST_P(CardConformance, OpensTheNodeWithAndWithoutPoll)
{
    OpenDriver();
    EXPECT_EQ(OpenModule(kNode, false), 0);
    Reply rate = Get(kNode, 5, 1, 9);
    ASSERT_EQ(rate.rval, 0);
    ASSERT_EQ(rate.Service(), 0x8E);
    EXPECT_EQ(rate.Value16(), 2500) << "the explicit connection's expected packet rate was set";

    EXPECT_EQ(OpenModule(kNode, true), 0) << "a second opening frees and allocates again";
    Reply pollRate = Get(kNode, 5, 2, 9);
    ASSERT_EQ(pollRate.rval, 0);
    EXPECT_EQ(pollRate.Value16(), 1000);
}

TEST_P(CardConformance, ReadsOneFrameAndFragmentedAnswers)
{
    OpenDriver();
    ASSERT_EQ(OpenModule(kNode, false), 0);

    Reply vendor = Get(kNode, 1, 1, 1);
    ASSERT_EQ(vendor.rval, 0);
    EXPECT_EQ(vendor.Service(), 0x8E);
    EXPECT_EQ(vendor.Length(), 4) << "header, service and a 16-bit value";
    EXPECT_EQ(vendor.buffer[6] & 0x3F, 0) << "answered to the master's MAC ID";

    Reply name = Get(kNode, 1, 1, 7);
    ASSERT_EQ(name.rval, 0);
    EXPECT_EQ(name.Service(), 0x8E);
    EXPECT_GT(name.Length(), 8) << "the product name needs a fragmented answer";
    EXPECT_EQ(name.Value()[0], name.ValueLength() - 1) << "a short string: length byte, then the characters";

    Reply missing = Get(kNode, 1, 1, 99);
    ASSERT_EQ(missing.rval, 0) << "an error response is a successful exchange";
    EXPECT_EQ(missing.Service(), 0x94);
    EXPECT_EQ(missing.Value()[0], 0x14) << "attribute not supported";
}

TEST_P(CardConformance, WritesAndReadsBack)
{
    OpenDriver();
    ASSERT_EQ(OpenModule(kNode, false), 0);

    Reply set = Set(kNode, 5, 1, 9, {0x34, 0x12});
    ASSERT_EQ(set.rval, 0);
    EXPECT_EQ(set.Service(), 0x90);
    EXPECT_EQ(Get(kNode, 5, 1, 9).Value16(), 0x1234);

    Reply readOnly = Set(kNode, 1, 1, 1, {0x01, 0x00});
    ASSERT_EQ(readOnly.rval, 0);
    EXPECT_EQ(readOnly.Service(), 0x94);
    EXPECT_EQ(readOnly.Value()[0], 0x0E) << "attribute not settable";

    // Four or more data bytes go out fragmented; the device answers the whole request.
    Reply tooLong = Set(kNode, 5, 1, 9, {0x01, 0x02, 0x03, 0x04, 0x05});
    ASSERT_EQ(tooLong.rval, 0);
    EXPECT_EQ(tooLong.Service(), 0x94);
    EXPECT_EQ(tooLong.Value()[0], 0x15) << "too much data: the device saw all five bytes";
    EXPECT_EQ(Get(kNode, 5, 1, 9).Value16(), 0x1234) << "a refused write changes nothing";
}

TEST_P(CardConformance, SendsAnyServiceFragmentedBothWays)
{
    OpenDriver();
    ASSERT_EQ(OpenModule(kNode, false), 0);

    // Get_Attribute_Single as a free service: the attribute is the request data.
    Reply name = Service(kNode, 1, 1, 0x0E, {7});
    ASSERT_EQ(name.rval, 0);
    EXPECT_EQ(name.Service(), 0x8E);
    EXPECT_EQ(name.Length(), Get(kNode, 1, 1, 7).Length());

    // Set_Attribute_Single with attribute and value: five request bytes, a fragmented request.
    Reply set = Service(kNode, 5, 1, 0x10, {9, 0x10, 0x27, 0x00, 0x00});
    ASSERT_EQ(set.rval, 0);
    EXPECT_EQ(set.Service(), 0x94) << "two bytes too many for the packet rate";
    Reply shortSet = Service(kNode, 5, 1, 0x10, {9, 0x10, 0x27});
    ASSERT_EQ(shortSet.rval, 0);
    EXPECT_EQ(shortSet.Service(), 0x90);
    EXPECT_EQ(Get(kNode, 5, 1, 9).Value16(), 10000);
}

TEST_P(CardConformance, ExchangesPolledIo)
{
    OpenDriver();
    ASSERT_EQ(OpenModule(kNode, true), 0);
    Reply produced = Get(kNode, 5, 2, 7);
    Reply consumed = Get(kNode, 5, 2, 8);
    ASSERT_EQ(produced.rval, 0);
    ASSERT_EQ(consumed.rval, 0);
    const int inputSize = produced.Value16();
    const int outputSize = consumed.Value16();
    ASSERT_LE(inputSize, 448);
    ASSERT_LE(outputSize, 448);

    std::array<std::uint8_t, 512> io{};
    for (int i = 0; i < outputSize; ++i) {
        io[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    }
    for (int exchange = 0; exchange < 3; ++exchange) {
        std::uint16_t rxId = 0;
        std::uint16_t rxLength = static_cast<std::uint16_t>(inputSize);
        std::int32_t rval = -1;
        DNPoll(rval, static_cast<std::int16_t>(0x405 + 8 * kNode), static_cast<std::int16_t>(outputSize), &rxId,
               &rxLength, io.data());
        ASSERT_EQ(rval, 0) << "exchange " << exchange;
        EXPECT_EQ(rxLength, inputSize);
        EXPECT_EQ(rxId, 0x3C0 + kNode) << "poll responses come on Group 1 message 15";
    }
}

TEST_P(CardConformance, PassesRawFramesBothWays)
{
    OpenDriver();
    ASSERT_EQ(OpenModule(kNode, false), 0);
    const std::uint8_t request[] = {0x00, 0x0E, 0x01, 0x01, 0x01}; // Get vendor id
    std::int32_t rval = -1;
    CANXmit(rval, static_cast<std::int16_t>(0x404 + 8 * kNode), 5, request);
    ASSERT_EQ(rval, 0);

    std::uint16_t id = 0;
    std::uint16_t length = 0;
    std::array<std::uint8_t, 16> data{};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        CANRcv(rval, &id, &length, data.data());
        if (rval != 0xFFFC) {
            break; // the VORA library answers 0xFFFC while nothing has been received
        }
    }
    ASSERT_EQ(rval, 0);
    EXPECT_EQ(id, 0x403 + 8 * kNode);
    EXPECT_EQ(length, 4);
    const std::uint8_t* bytes = data.data() + (GetParam().ownMaster ? 0 : 6);
    EXPECT_EQ(bytes[1], 0x8E);
    EXPECT_EQ(platform::GetLe16(bytes + 2), Get(kNode, 1, 1, 1).Value16());
}

TEST_P(CardConformance, KeepsATraceWhereItRunsItsOwnMaster)
{
    OpenDriver();
    ASSERT_EQ(OpenModule(kNode, false), 0);
    std::array<char, 1032> text{};
    std::int32_t rval = -1;
    GetCANMessage(rval, reinterpret_cast<std::uint8_t*>(text.data()));
    ASSERT_EQ(Get(kNode, 1, 1, 1).rval, 0);
    text.fill('x');
    GetCANMessage(rval, reinterpret_cast<std::uint8_t*>(text.data()));
    if (!GetParam().ownMaster) {
        EXPECT_EQ(rval, -1);
        EXPECT_EQ(text[0], '\0');
        return;
    }
    ASSERT_EQ(rval, 0);
    const std::string trace(text.data());
    EXPECT_EQ(trace.find("[5FC] "), 0u) << trace;
    EXPECT_EQ(trace.find(" 0E 01 01 01 \r\n"), 8u) << "the request, then its answer: " << trace;
    EXPECT_NE(trace.find("\n[5FB] "), std::string::npos) << "the answer: " << trace;
}

TEST_P(CardConformance, ClosingTheNodeReleasesItsConnections)
{
    OpenDriver();
    ASSERT_EQ(OpenModule(kNode, true), 0);
    std::int32_t rval = -1;
    CloseModule(rval, kNode);
    EXPECT_EQ(rval, 0);
    SetTimeout(rval, 20);
    EXPECT_EQ(rval, GetParam().ownMaster ? 0 : -1);
    if (GetParam().ownMaster) {
        EXPECT_EQ(Get(kNode, 1, 1, 1).rval, -1) << "no explicit connection: the device stays silent";
    }
    EXPECT_EQ(OpenModule(kNode, true), 0) << "the node opens again";
    EXPECT_EQ(Get(kNode, 1, 1, 1).rval, 0);
}

INSTANTIATE_TEST_SUITE_P(Cards, CardConformance,
                         ::testing::Values(CardKind{"Vora", 0, false}, CardKind{"Sst", 1, true},
                                           CardKind{"Systec", 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv::cardtest
