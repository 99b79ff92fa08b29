// Every attribute the viewer reads, with its out-of-box value in its wire form (so its type and
// size); writes that are kept; the error responses for values, access, lengths, unknown
// attributes, instances, classes and services.

#include "DeviceFixture.h"

namespace devsim::test {
namespace {

struct AttributeCase {
    std::uint8_t cls;
    std::uint8_t instance;
    std::uint8_t attribute;
    const char* value; // hex
};

std::string Name(const AttributeCase& c)
{
    return "C" + std::to_string(c.cls) + "I" + std::to_string(c.instance) + "A" + std::to_string(c.attribute);
}

class OutOfBox : public DeviceTest, public ::testing::WithParamInterface<AttributeCase> {};

TEST_P(OutOfBox, ReadsTheAttribute)
{
    Allocate(0x01);
    const AttributeCase& c = GetParam();
    Bytes expected{0x8E};
    const Bytes value = ParseHex(c.value);
    expected.insert(expected.end(), value.begin(), value.end());
    EXPECT_EQ(Hex(Get(c.cls, c.instance, c.attribute)), Hex(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Identity, OutOfBox,
    ::testing::Values(AttributeCase{1, 0, 1, "01 00"}, AttributeCase{1, 0, 2, "01 00"},
                      AttributeCase{1, 0, 6, "07 00"}, AttributeCase{1, 0, 7, "08 00"},
                      AttributeCase{1, 1, 1, "B7 04"},                       // vendor 1207
                      AttributeCase{1, 1, 2, "0C 00"},                       // communications adapter
                      AttributeCase{1, 1, 3, "69 10"},                       // product code 4201
                      AttributeCase{1, 1, 4, "01 04"},                       // revision 1.4
                      AttributeCase{1, 1, 5, "31 00"},                       // owned, no I/O connection
                      AttributeCase{1, 1, 6, "C5 E1 B7 00"},                 // serial number
                      AttributeCase{1, 1, 7, "09 42 72 65 6C 69 6E 20 47 57"}, // "Brelin GW": 10 bytes
                      AttributeCase{1, 1, 8, "03"}),                         // operational
    [](const auto& info) { return Name(info.param); });

INSTANTIATE_TEST_SUITE_P(
    DeviceNet, OutOfBox,
    ::testing::Values(AttributeCase{3, 0, 1, "02 00"}, AttributeCase{3, 1, 1, "3F"}, AttributeCase{3, 1, 2, "00"},
                      AttributeCase{3, 1, 3, "00"}, AttributeCase{3, 1, 4, "00"}, AttributeCase{3, 1, 5, "01 00"},
                      AttributeCase{3, 1, 6, "00"}, AttributeCase{3, 1, 7, "00"},
                      AttributeCase{3, 1, 8, "3F"}, // no switches: the MAC ID and data rate in use
                      AttributeCase{3, 1, 9, "00"}),
    [](const auto& info) { return Name(info.param); });

INSTANTIATE_TEST_SUITE_P(
    Connection, OutOfBox,
    ::testing::Values(AttributeCase{5, 0, 1, "01 00"}, AttributeCase{5, 1, 1, "03"}, AttributeCase{5, 1, 2, "00"},
                      AttributeCase{5, 1, 3, "83"}, AttributeCase{5, 1, 4, "FB 05"}, AttributeCase{5, 1, 5, "FC 05"},
                      AttributeCase{5, 1, 6, "21"}, AttributeCase{5, 1, 7, "40 00"}, AttributeCase{5, 1, 8, "40 00"},
                      AttributeCase{5, 1, 9, "C4 09"}, AttributeCase{5, 1, 12, "01"}, AttributeCase{5, 1, 13, "00 00"},
                      AttributeCase{5, 1, 14, ""}, AttributeCase{5, 1, 15, "00 00"}, AttributeCase{5, 1, 16, ""},
                      AttributeCase{5, 1, 17, "00 00"}, AttributeCase{5, 2, 1, "00"}, AttributeCase{5, 2, 2, "01"},
                      AttributeCase{5, 2, 3, "82"}, AttributeCase{5, 2, 4, "FF 03"}, AttributeCase{5, 2, 5, "FD 05"},
                      AttributeCase{5, 2, 6, "01"}, AttributeCase{5, 2, 7, "11 00"}, // produces 17 bytes
                      AttributeCase{5, 2, 8, "08 00"},                             // consumes 8 bytes
                      AttributeCase{5, 2, 9, "00 00"}, AttributeCase{5, 2, 12, "00"}, AttributeCase{5, 2, 13, "06 00"},
                      AttributeCase{5, 2, 14, "20 04 24 64 30 03"}, AttributeCase{5, 2, 15, "06 00"},
                      AttributeCase{5, 2, 16, "20 04 24 96 30 03"}, AttributeCase{5, 2, 17, "00 00"}),
    [](const auto& info) { return Name(info.param); });

INSTANTIATE_TEST_SUITE_P(
    Assembly, OutOfBox,
    ::testing::Values(AttributeCase{4, 0, 1, "02 00"}, AttributeCase{4, 0, 2, "96 00"},
                      AttributeCase{4, 100, 3, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
                      AttributeCase{4, 100, 4, "11 00"}, AttributeCase{4, 150, 3, "00 00 00 00 00 00 00 00"},
                      AttributeCase{4, 150, 4, "08 00"}),
    [](const auto& info) { return Name(info.param); });

INSTANTIATE_TEST_SUITE_P(
    SerialStream, OutOfBox,
    ::testing::Values(AttributeCase{64, 0, 1, "01 00"}, AttributeCase{64, 0, 2, "01 00"},
                      AttributeCase{64, 1, 3, "80 25 00 00"}, // 9600
                      AttributeCase{64, 1, 4, "08"}, AttributeCase{64, 1, 5, "00"}, AttributeCase{64, 1, 6, "01"},
                      AttributeCase{64, 1, 7, "00"}, AttributeCase{64, 1, 10, "03"}, // list and timeout
                      AttributeCase{64, 1, 11, "00"}, AttributeCase{64, 1, 12, "01 0D"}, // CR
                      AttributeCase{64, 1, 13, "32"},                                   // 500 ms
                      AttributeCase{64, 1, 14, "10"}, AttributeCase{64, 1, 15, "00"}, AttributeCase{64, 1, 20, "11 00"},
                      AttributeCase{64, 1, 21, "08 00"}),
    [](const auto& info) { return Name(info.param); });

INSTANTIATE_TEST_SUITE_P(
    SerialReceive, OutOfBox,
    ::testing::Values(AttributeCase{65, 0, 1, "01 00"}, AttributeCase{65, 0, 2, "08 00"},
                      AttributeCase{65, 1, 3, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
                      AttributeCase{65, 1, 4, "00"}, AttributeCase{65, 1, 5, "00"}, AttributeCase{65, 1, 6, "01"},
                      AttributeCase{65, 1, 7, "00"}, AttributeCase{65, 1, 8, "00"}, AttributeCase{65, 1, 9, "DA"},
                      AttributeCase{65, 1, 10, "10"}, AttributeCase{65, 1, 11, "00"}, AttributeCase{65, 1, 13, "44"},
                      AttributeCase{65, 1, 14, "20"}, AttributeCase{65, 1, 15, "01"}, AttributeCase{65, 1, 16, "01"},
                      AttributeCase{65, 1, 17, "00"}, AttributeCase{65, 8, 3, "00 00 00 00 00 00 00 00"},
                      AttributeCase{65, 8, 10, "08"}, AttributeCase{65, 8, 15, "00"}, AttributeCase{65, 8, 16, "00"}),
    [](const auto& info) { return Name(info.param); });

INSTANTIATE_TEST_SUITE_P(
    SerialTransmit, OutOfBox,
    ::testing::Values(AttributeCase{66, 0, 1, "01 00"}, AttributeCase{66, 0, 2, "08 00"},
                      AttributeCase{66, 1, 3, "00 00 00 00 00 00 00 00"}, AttributeCase{66, 1, 4, "00"},
                      AttributeCase{66, 1, 5, "00"}, AttributeCase{66, 1, 6, "09"}, // data, string 1 after
                      AttributeCase{66, 1, 7, "02 0D 0A"}, AttributeCase{66, 1, 8, "00"}, AttributeCase{66, 1, 9, "DA"},
                      AttributeCase{66, 1, 10, "08"}, AttributeCase{66, 1, 11, "00"}, AttributeCase{66, 1, 12, "02"},
                      AttributeCase{66, 1, 13, "00"}, AttributeCase{66, 1, 15, "01"}, AttributeCase{66, 8, 6, "01"},
                      AttributeCase{66, 8, 7, "00"}, AttributeCase{66, 8, 15, "00"}),
    [](const auto& info) { return Name(info.param); });

struct WriteCase {
    std::uint8_t cls;
    std::uint8_t instance;
    std::uint8_t attribute;
    const char* value;    // hex written
    const char* readBack; // hex read back; null: the value written
};

class Writes : public DeviceTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(Writes, AreKept)
{
    OpenPoll(1000);
    const WriteCase& c = GetParam();
    const Bytes reply = Set(c.cls, c.instance, c.attribute, ParseHex(c.value));
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], 0x90) << Hex(reply);
    EXPECT_EQ(Hex(Value(c.cls, c.instance, c.attribute)), c.readBack ? c.readBack : Hex(ParseHex(c.value)));
}

INSTANTIATE_TEST_SUITE_P(
    Settable, Writes,
    ::testing::Values(WriteCase{3, 1, 1, "0A", nullptr}, WriteCase{3, 1, 2, "02", nullptr},
                      WriteCase{3, 1, 3, "01", nullptr}, WriteCase{3, 1, 4, "00", nullptr},
                      WriteCase{5, 1, 9, "10 27", nullptr}, WriteCase{5, 1, 12, "03", nullptr},
                      WriteCase{5, 1, 17, "0A 00", nullptr}, WriteCase{5, 2, 9, "F4 01", nullptr},
                      WriteCase{5, 2, 12, "02", nullptr}, WriteCase{5, 2, 17, "E8 03", nullptr},
                      WriteCase{64, 1, 3, "00 E1 00 00", nullptr}, WriteCase{64, 1, 3, "2C 01 00 00", nullptr},
                      WriteCase{64, 1, 4, "07", nullptr}, WriteCase{64, 1, 5, "04", nullptr},
                      WriteCase{64, 1, 6, "02", nullptr}, WriteCase{64, 1, 7, "02", nullptr},
                      WriteCase{64, 1, 10, "07", nullptr}, WriteCase{64, 1, 11, "03 61 62 63", nullptr},
                      WriteCase{64, 1, 12, "08 31 32 33 34 35 36 37 38", nullptr}, WriteCase{64, 1, 12, "00", nullptr},
                      WriteCase{64, 1, 13, "0A", nullptr}, WriteCase{64, 1, 14, "40", nullptr},
                      WriteCase{64, 1, 15, "00", nullptr}, WriteCase{65, 3, 5, "01", nullptr},
                      WriteCase{65, 3, 6, "07", nullptr}, WriteCase{65, 3, 7, "02 3C 3C", nullptr},
                      WriteCase{65, 3, 8, "01 3E", nullptr}, WriteCase{65, 3, 9, "CA", nullptr},
                      WriteCase{65, 3, 10, "20", nullptr}, WriteCase{65, 3, 11, "05", nullptr},
                      WriteCase{65, 3, 13, "58", nullptr}, WriteCase{65, 3, 13, "64", nullptr},
                      WriteCase{65, 3, 14, "2A", nullptr}, WriteCase{65, 3, 15, "01", nullptr},
                      WriteCase{65, 3, 16, "01", nullptr}, WriteCase{65, 3, 17, "01", nullptr},
                      WriteCase{66, 2, 3, "41 42 43 00 00 00 00 00", nullptr}, WriteCase{66, 2, 4, "01", nullptr},
                      WriteCase{66, 2, 6, "1F", nullptr}, WriteCase{66, 2, 7, "01 3C", nullptr},
                      WriteCase{66, 2, 8, "01 3E", nullptr}, WriteCase{66, 2, 9, "C3", nullptr},
                      WriteCase{66, 2, 10, "01", nullptr}, WriteCase{66, 2, 11, "06", nullptr},
                      WriteCase{66, 2, 12, "03", nullptr}, WriteCase{66, 2, 13, "81", nullptr},
                      WriteCase{66, 2, 15, "01", nullptr}),
    [](const auto& info) {
        return "C" + std::to_string(info.param.cls) + "I" + std::to_string(info.param.instance) + "A" +
               std::to_string(info.param.attribute) + "_" + std::to_string(info.index);
    });

struct RefusalCase {
    const char* name;
    const char* request; // the request body in hex (service, class, instance, ...)
    std::uint8_t general;
};

class Refusals : public DeviceTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, AnswerWithAnErrorResponse)
{
    OpenPoll(1000);
    EXPECT_EQ(Hex(Request(ParseHex(GetParam().request))), Hex(Error(GetParam().general)));
}

INSTANTIATE_TEST_SUITE_P(
    InvalidValue, Refusals,
    ::testing::Values(RefusalCase{"MacIdAbove63", "10 03 01 01 40", 0x09},
                      RefusalCase{"BaudRate3", "10 03 01 02 03", 0x09},
                      RefusalCase{"BusOffInterrupt2", "10 03 01 03 02", 0x09},
                      RefusalCase{"BusOffCounterNotZero", "10 03 01 04 05", 0x09},
                      RefusalCase{"ExplicitWatchdogTimeout", "10 05 01 0C 00", 0x09},
                      RefusalCase{"ExplicitWatchdogAutoReset", "10 05 01 0C 02", 0x09},
                      RefusalCase{"PollWatchdogDeferredDelete", "10 05 02 0C 03", 0x09},
                      RefusalCase{"InhibitAboveThePacketRate", "10 05 02 11 E9 03", 0x09},
                      RefusalCase{"Baud10000", "10 40 01 03 10 27 00 00", 0x09},
                      RefusalCase{"DataBits6", "10 40 01 04 06", 0x09},
                      RefusalCase{"Parity5", "10 40 01 05 05", 0x09},
                      RefusalCase{"StopBits3", "10 40 01 06 03", 0x09},
                      RefusalCase{"FlowControl3", "10 40 01 07 03", 0x09},
                      RefusalCase{"DelimiterMode8", "10 40 01 0A 08", 0x09},
                      RefusalCase{"DelimiterOfNineCharacters", "10 40 01 0B 09 31 32 33 34 35 36 37 38 39", 0x09},
                      RefusalCase{"TimeoutZero", "10 40 01 0D 00", 0x09},
                      RefusalCase{"Length65", "10 40 01 0E 41", 0x09},
                      RefusalCase{"StatusNotZero", "10 40 01 0F 01", 0x09},
                      RefusalCase{"ReceiveAcknowledge2", "10 41 01 05 02", 0x09},
                      RefusalCase{"ReceiveMode8", "10 41 01 06 08", 0x09},
                      RefusalCase{"UnknownDataType", "10 41 01 09 C4", 0x09},
                      RefusalCase{"DataSize33", "10 41 01 0A 21", 0x09},
                      RefusalCase{"DataSize0", "10 41 01 0A 00", 0x09},
                      RefusalCase{"ReceiveWidth33", "10 41 01 0B 21", 0x09},
                      RefusalCase{"ConversionA", "10 41 01 0D 41", 0x09},
                      RefusalCase{"ReceiveInPoll2", "10 41 01 0F 02", 0x09},
                      RefusalCase{"Enabled2", "10 41 01 10 02", 0x09},
                      RefusalCase{"Sync2", "10 41 01 11 02", 0x09},
                      RefusalCase{"TransmitToggle2", "10 42 01 04 02", 0x09},
                      RefusalCase{"TransmitMode32", "10 42 01 06 20", 0x09},
                      RefusalCase{"Precision11", "10 42 01 0C 0B", 0x09},
                      RefusalCase{"FormatBit1", "10 42 01 0D 02", 0x09},
                      RefusalCase{"WrongPassword", "10 01 01 00 D3 04", 0x0F}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    NotSettable, Refusals,
    ::testing::Values(RefusalCase{"IdentityClassRevision", "10 01 00 01 02 00", 0x0E},
                      RefusalCase{"VendorIdWhileLocked", "10 01 01 01 01 00", 0x0E},
                      RefusalCase{"RevisionWhileLocked", "10 01 01 04 01 0A", 0x0E},
                      RefusalCase{"RevisionWhileLockedWrongLength", "10 01 01 04 01", 0x0E},
                      RefusalCase{"Status", "10 01 01 05 00 00", 0x0E},
                      RefusalCase{"State", "10 01 01 08 03", 0x0E},
                      RefusalCase{"AllocationInformation", "10 03 01 05 01 00", 0x0E},
                      RefusalCase{"MacIdSwitchValue", "10 03 01 08 01", 0x0E},
                      RefusalCase{"ConnectionState", "10 05 01 01 03", 0x0E},
                      RefusalCase{"ProducedConnectionSize", "10 05 02 07 08 00", 0x0E},
                      RefusalCase{"ConsumedPath", "10 05 02 10 00", 0x0E},
                      RefusalCase{"AssemblyData", "10 04 64 03 00", 0x0E},
                      RefusalCase{"PollProduceSize", "10 40 01 14 08 00", 0x0E},
                      RefusalCase{"ReceivedData", "10 41 01 03 00", 0x0E},
                      RefusalCase{"ReceiveToggle", "10 41 01 04 01", 0x0E},
                      RefusalCase{"TransmitAcknowledge", "10 42 01 05 01", 0x0E}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Unknown, Refusals,
    ::testing::Values(RefusalCase{"IdentityAttribute9", "0E 01 01 09", 0x14},
                      RefusalCase{"IdentityClassAttribute3", "0E 01 00 03", 0x14},
                      RefusalCase{"SetOfUnknownAttribute", "10 03 01 0A 00", 0x14},
                      RefusalCase{"ConnectionAttribute10", "0E 05 01 0A", 0x14},
                      RefusalCase{"StreamAttribute1", "0E 40 01 01", 0x14},
                      RefusalCase{"ReceiveAttribute12", "0E 41 01 0C", 0x14},
                      RefusalCase{"TransmitAttribute14", "0E 42 01 0E", 0x14},
                      RefusalCase{"PasswordNotGettable", "0E 01 01 00", 0x2C},
                      RefusalCase{"MessageRouterClass", "0E 02 01 01", 0x16},
                      RefusalCase{"Class67", "0E 43 01 01", 0x16},
                      RefusalCase{"IdentityInstance2", "0E 01 02 01", 0x16},
                      RefusalCase{"DeviceNetInstance2", "0E 03 02 01", 0x16},
                      RefusalCase{"ConnectionInstance3", "0E 05 03 01", 0x16},
                      RefusalCase{"AssemblyInstance101", "0E 04 65 03", 0x16},
                      RefusalCase{"StreamInstance2", "0E 40 02 03", 0x16},
                      RefusalCase{"ReceiveInstance9", "0E 41 09 03", 0x16},
                      RefusalCase{"TransmitInstance9", "0E 42 09 03", 0x16},
                      RefusalCase{"GetAttributesAll", "01 01 01", 0x08},
                      RefusalCase{"ResetOfTheSerialStream", "05 40 01", 0x08},
                      RefusalCase{"ResetOfTheIdentityClass", "05 01 00", 0x08},
                      RefusalCase{"AllocateOnIdentity", "4B 01 01 01 00", 0x08},
                      RefusalCase{"ResetType2", "05 01 01 02", 0x20},
                      RefusalCase{"ConnectionResetWithData", "05 05 01 00", 0x15}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Length, Refusals,
    ::testing::Values(RefusalCase{"UintOfOneByte", "10 05 01 09 0A", 0x13},
                      RefusalCase{"UintOfThreeBytes", "10 05 01 09 0A 00 00", 0x15},
                      RefusalCase{"UsintOfNoByte", "10 03 01 03", 0x13},
                      RefusalCase{"UsintOfTwoBytes", "10 03 01 03 01 00", 0x15},
                      RefusalCase{"UdintOfTwoBytes", "10 40 01 03 80 25", 0x13},
                      RefusalCase{"StringShorterThanItsLength", "10 40 01 0B 03 61 62", 0x13},
                      RefusalCase{"StringLongerThanItsLength", "10 40 01 0B 01 61 62", 0x15},
                      RefusalCase{"TransmitDataShort", "10 42 01 03 41 42", 0x13},
                      RefusalCase{"TransmitDataLong", "10 42 01 03 41 42 43 44 45 46 47 48 49", 0x15},
                      RefusalCase{"GetWithData", "0E 01 01 01 00", 0x15},
                      RefusalCase{"GetWithoutAttribute", "0E 01 01", 0x13},
                      RefusalCase{"SetWithoutAttribute", "10 01 01", 0x13},
                      RefusalCase{"NoInstance", "0E 01", 0x13},
                      RefusalCase{"ResetWithTwoBytes", "05 01 01 00 00", 0x15}),
    [](const auto& info) { return std::string(info.param.name); });

class ObjectModel : public DeviceTest {};

TEST_F(ObjectModel, RefusedWritesChangeNothing)
{
    Allocate(0x01);
    ASSERT_EQ(Set(64, 1, 3, {0x10, 0x27, 0x00, 0x00}), Error(0x09));
    ASSERT_EQ(Set(5, 1, 9, {0x0A}), Error(0x13));
    ASSERT_EQ(Set(1, 1, 1, {0x01, 0x00}), Error(0x0E));
    EXPECT_EQ(Value(64, 1, 3), (Bytes{0x80, 0x25, 0x00, 0x00}));
    EXPECT_EQ(Value(5, 1, 9), (Bytes{0xC4, 0x09}));
    EXPECT_EQ(Value(1, 1, 1), (Bytes{0xB7, 0x04}));
    EXPECT_EQ(Value(1, 1, 5), (Bytes{0x31, 0x00})) << "not configured";
    ASSERT_EQ(Set(64, 1, 4, {0x07}), Bytes{0x90});
    EXPECT_EQ(Value(1, 1, 5), (Bytes{0x35, 0x00})) << "configured";
}

TEST_F(ObjectModel, PacketRateAndInhibitTimeStayConsistent)
{
    OpenPoll(1000);
    ASSERT_EQ(Set(5, 2, 17, {0xF4, 0x01}), Bytes{0x90}) << "500 ms inhibit";
    EXPECT_EQ(Set(5, 2, 9, {0x90, 0x01}), Error(0x09)) << "a rate of 400 ms below the inhibit time";
    EXPECT_EQ(Set(5, 2, 9, {0x00, 0x00}), (Bytes{0x90, 0x00, 0x00})) << "no rate at all is allowed";
    EXPECT_EQ(Set(5, 2, 17, {0xE8, 0x03}), Bytes{0x90}) << "and then any inhibit time";
}

TEST_F(ObjectModel, ANumericDataTypeFixesTheDataSize)
{
    Allocate(0x01);
    ASSERT_EQ(Set(65, 1, 9, {0xC3}), Bytes{0x90});
    EXPECT_EQ(Value(65, 1, 10), Bytes{2});
    EXPECT_EQ(Value(65, 1, 3), (Bytes{0x00, 0x00}));
    EXPECT_EQ(Set(65, 1, 10, {0x03}), Error(0x0C)) << "a 16-bit integer has two bytes";
    EXPECT_EQ(Set(65, 1, 10, {0x02}), Bytes{0x90});
    ASSERT_EQ(Set(65, 1, 9, {0xDA}), Bytes{0x90});
    EXPECT_EQ(Set(65, 1, 10, {0x05}), Bytes{0x90}) << "a short string has any size";
    EXPECT_EQ(Value(65, 1, 3).size(), 5u);
}

TEST_F(ObjectModel, PollSizesFollowTheChannelsInThePoll)
{
    Allocate(0x01);
    ASSERT_EQ(Set(65, 2, 15, {0x01}), Bytes{0x90});
    ASSERT_EQ(Set(65, 2, 10, {0x04}), Bytes{0x90});
    ASSERT_EQ(Set(66, 1, 10, {0x10}), Bytes{0x90});
    EXPECT_EQ(Value(64, 1, 20), (Bytes{21, 0})) << "toggles, 16 + 4 received bytes";
    EXPECT_EQ(Value(64, 1, 21), (Bytes{16, 0}));
    EXPECT_EQ(Value(5, 2, 7), (Bytes{21, 0})) << "a poll connection would latch these sizes";
    EXPECT_EQ(Value(5, 2, 8), (Bytes{16, 0}));
}

TEST_F(ObjectModel, PollDataLargerThan128BytesIsRefused)
{
    Allocate(0x01);
    for (std::uint8_t channel = 1; channel <= 3; ++channel) {
        ASSERT_EQ(Set(65, channel, 15, {0x01}), Bytes{0x90});
        ASSERT_EQ(Set(65, channel, 10, {32}), Bytes{0x90});
    }
    ASSERT_EQ(Value(64, 1, 20), (Bytes{97, 0}));
    ASSERT_EQ(Set(65, 4, 10, {32}), Bytes{0x90});
    EXPECT_EQ(Set(65, 4, 15, {0x01}), Error(0x09)) << "97 + 32 bytes";
    ASSERT_EQ(Set(65, 4, 10, {31}), Bytes{0x90});
    EXPECT_EQ(Set(65, 4, 15, {0x01}), Bytes{0x90});
    EXPECT_EQ(Value(64, 1, 20), (Bytes{128, 0}));
    EXPECT_EQ(Set(65, 4, 10, {32}), Error(0x09));
    EXPECT_EQ(Value(65, 4, 10), Bytes{31}) << "unchanged";
}

} // namespace
} // namespace devsim::test
