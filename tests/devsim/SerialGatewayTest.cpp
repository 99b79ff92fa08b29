// The serial side: messages cut by the delimiters, routed to the receive channels and converted;
// transmit channels formatting their messages; line errors in the status.

#include "DeviceFixture.h"

#include "devsim/SerialGateway.h"

namespace devsim::test {
namespace {

class Gateway : public ::testing::Test {
protected:
    void In(const std::string& text, std::uint32_t at = 0)
    {
        gateway.Input(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), at);
    }

    std::string Data(std::size_t channel) const
    {
        const Bytes& data = gateway.receive[channel].data;
        return std::string(data.begin(), data.end());
    }

    SerialGateway gateway;
};

TEST_F(Gateway, PostDelimiterEndsEachMessage)
{
    In("ab\rcd\r");
    EXPECT_EQ(Data(0), "cd              ");
    EXPECT_EQ(gateway.receive[0].toggle, 0) << "two messages: toggled twice";
    In("e\r");
    EXPECT_EQ(Data(0), "e               ");
    EXPECT_EQ(gateway.receive[0].toggle, 1);
    In("\r");
    EXPECT_EQ(gateway.receive[0].toggle, 1) << "an empty message is no message";
}

TEST_F(Gateway, BytesBeforeThePreDelimiterAreDropped)
{
    gateway.stream.delimiterMode = kDelimitList;
    gateway.stream.preDelimiter = "<<";
    gateway.stream.postDelimiter = ">";
    In("noise<x<<ab>more<<cd");
    EXPECT_EQ(Data(0), "ab              ");
    In(">");
    EXPECT_EQ(Data(0), "cd              ");
}

TEST_F(Gateway, LengthDelimiter)
{
    gateway.stream.delimiterMode = kDelimitLength;
    gateway.stream.length = 3;
    In("abcdefg");
    EXPECT_EQ(Data(0).substr(0, 3), "def");
    In("hi");
    EXPECT_EQ(Data(0).substr(0, 3), "ghi");
}

TEST_F(Gateway, PauseDelimiterCountsTensOfMilliseconds)
{
    gateway.stream.delimiterMode = kDelimitTimeout;
    gateway.stream.timeout = 5;
    In("abc", 1000);
    In("d", 1040);
    gateway.Tick(1089);
    EXPECT_EQ(gateway.receive[0].toggle, 0);
    gateway.Tick(1090);
    EXPECT_EQ(Data(0).substr(0, 4), "abcd");
    EXPECT_EQ(gateway.receive[0].toggle, 1);
}

TEST_F(Gateway, WithoutADelimiterAMessageEndsWhenTheBufferIsFull)
{
    gateway.stream.delimiterMode = 0;
    In(std::string(63, 'x'));
    EXPECT_EQ(gateway.receive[0].toggle, 0);
    In("y");
    EXPECT_EQ(gateway.receive[0].toggle, 1);
    EXPECT_EQ(gateway.status, 0);
}

TEST_F(Gateway, AnOverlongMessageIsAnOverrun)
{
    In(std::string(70, 'x'));
    EXPECT_EQ(gateway.status, kStatusRxOverrun);
    EXPECT_EQ(gateway.receive[0].toggle, 0);
    In("ok\r");
    EXPECT_EQ(Data(0).substr(0, 8), "xxxxxxok") << "the rest of the long line starts the next message";
}

TEST_F(Gateway, MessagesGoToTheChannelWhoseStringsTheyCarry)
{
    ReceiveChannel& temperature = gateway.receive[2];
    temperature.enabled = true;
    temperature.mode = 0x07;
    temperature.preString = "T=";
    temperature.postString = "C";
    ReceiveChannel& disabled = gateway.receive[1];
    disabled.mode = 0x03;
    disabled.preString = "T=";
    In("T=21C\r");
    EXPECT_EQ(gateway.receive[2].toggle, 1);
    EXPECT_EQ(Data(2), "21      ");
    EXPECT_EQ(gateway.receive[0].toggle, 0);
    In("T=21F\r");
    EXPECT_EQ(gateway.receive[0].toggle, 1) << "not ending in C: the catch-all channel";
    EXPECT_EQ(Data(0), "T=21F           ");
}

TEST_F(Gateway, ASynchronisedChannelWaitsForTheAcknowledgement)
{
    gateway.receive[0].sync = true;
    In("one\r");
    In("two\r");
    EXPECT_EQ(Data(0).substr(0, 3), "one");
    EXPECT_EQ(gateway.status, kStatusRxOverrun);
    gateway.receive[0].acknowledge = 1;
    In("three\r");
    EXPECT_EQ(Data(0).substr(0, 5), "three");
    EXPECT_EQ(gateway.receive[0].toggle, 0);
}

TEST_F(Gateway, AChannelWithoutDataOnlyToggles)
{
    gateway.receive[0].mode = 0;
    In("ping\r");
    EXPECT_EQ(gateway.receive[0].toggle, 1);
    EXPECT_EQ(gateway.receive[0].data, Bytes(16, 0));
}

struct ReceiveCase {
    std::uint8_t type;
    std::uint8_t conversion;
    std::uint8_t width;
    const char* text;
    const char* data; // hex, or null when the text is refused
};

class ReceiveConversion : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(ReceiveConversion, ConvertsTheText)
{
    ReceiveChannel channel;
    channel.dataType = GetParam().type;
    channel.conversion = GetParam().conversion;
    channel.width = GetParam().width;
    channel.data.assign(DataTypeSize(channel.dataType), 0);
    const std::string text = GetParam().text;
    Bytes data;
    const bool converted = ConvertReceived(channel, Bytes(text.begin(), text.end()), data);
    if (GetParam().data) {
        ASSERT_TRUE(converted);
        EXPECT_EQ(Hex(data), GetParam().data);
    } else {
        EXPECT_FALSE(converted);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, ReceiveConversion,
    ::testing::Values(ReceiveCase{datatype::kSint, 'D', 0, "-5", "FB"}, ReceiveCase{datatype::kSint, 'D', 0, "-200", "80"},
                      ReceiveCase{datatype::kUsint, 'D', 0, " 300 ", "FF"}, ReceiveCase{datatype::kUsint, 'D', 0, "-1", "00"},
                      ReceiveCase{datatype::kInt, 'X', 0, "fffe", "FE FF"}, ReceiveCase{datatype::kUint, 'D', 0, "+4660", "34 12"},
                      ReceiveCase{datatype::kUint, 'd', 3, "12345", "7B 00"}, ReceiveCase{datatype::kSint, 'x', 0, "1FF", "FF"},
                      ReceiveCase{datatype::kReal, 'D', 0, "1.5", "00 00 C0 3F"},
                      ReceiveCase{datatype::kReal, 'X', 0, "3FC00000", "00 00 C0 3F"},
                      ReceiveCase{datatype::kUint, 'D', 0, "12a", nullptr}, ReceiveCase{datatype::kUint, 'D', 0, "", nullptr},
                      ReceiveCase{datatype::kUint, 'X', 0, "123456789", nullptr},
                      ReceiveCase{datatype::kReal, 'D', 0, "1e39", nullptr},
                      ReceiveCase{datatype::kReal, 'D', 0, "nan", nullptr}));

struct TransmitCase {
    std::uint8_t type;
    std::uint8_t format;
    std::uint8_t width;
    std::uint8_t precision;
    const char* data; // hex
    const char* text;
};

class TransmitFormat : public ::testing::TestWithParam<TransmitCase> {};

TEST_P(TransmitFormat, FormatsTheData)
{
    TransmitChannel channel;
    channel.dataType = GetParam().type;
    channel.format = GetParam().format;
    channel.width = GetParam().width;
    channel.precision = GetParam().precision;
    channel.data = ParseHex(GetParam().data);
    EXPECT_EQ(FormatTransmitData(channel), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Types, TransmitFormat,
    ::testing::Values(TransmitCase{datatype::kInt, 0x80, 5, 0, "FE FF", "-0002"},
                      TransmitCase{datatype::kInt, 0x00, 5, 0, "FE FF", "   -2"},
                      TransmitCase{datatype::kInt, 0x01, 0, 0, "FE FF", "FFFE"},
                      TransmitCase{datatype::kUint, 0x81, 4, 0, "1F 00", "001F"},
                      TransmitCase{datatype::kUsint, 0x00, 0, 0, "FF", "255"},
                      TransmitCase{datatype::kSint, 0x00, 0, 0, "FF", "-1"},
                      TransmitCase{datatype::kReal, 0x00, 0, 3, "00 00 C0 3F", "1.500"},
                      TransmitCase{datatype::kReal, 0x80, 8, 1, "00 00 C0 BF", "-00001.5"},
                      TransmitCase{datatype::kShortString, 0x00, 0, 0, "41 42 00 43", "AB"},
                      TransmitCase{datatype::kShortString, 0x00, 0, 0, "41 42 43 44", "ABCD"}));

TEST_F(Gateway, TransmitPutsTheStringsAroundTheData)
{
    TransmitChannel& channel = gateway.transmit[1];
    channel.string1 = "[";
    channel.string2 = "]";
    channel.data = {'x', 0};
    channel.mode = 0x1F;
    channel.toggle = 1;
    gateway.Transmit(1);
    const Bytes out = gateway.TakeOutput();
    EXPECT_EQ(std::string(out.begin(), out.end()), "[]x[]");
    EXPECT_EQ(channel.acknowledge, 1);
    channel.mode = 0x0C;
    gateway.Transmit(1);
    const Bytes second = gateway.TakeOutput();
    EXPECT_EQ(std::string(second.begin(), second.end()), "][");
}

class SerialLine : public DeviceTest {};

TEST_F(SerialLine, FlippingTheTransmitToggleSendsTheChannel)
{
    Allocate(0x01);
    ASSERT_EQ(Set(66, 1, 3, {'h', 'e', 'l', 'l', 'o', 0, 0, 0}), Bytes{0x90});
    EXPECT_EQ(serial, "") << "data alone sends nothing";
    ASSERT_EQ(Set(66, 1, 4, {0x01}), Bytes{0x90});
    EXPECT_EQ(serial, "hello\r\n");
    EXPECT_EQ(Value(66, 1, 5), Bytes{1}) << "acknowledged";
    ASSERT_EQ(Set(66, 1, 4, {0x01}), Bytes{0x90});
    EXPECT_EQ(serial, "hello\r\n") << "the same toggle sends nothing";
    ASSERT_EQ(Set(66, 1, 4, {0x00}), Bytes{0x90});
    EXPECT_EQ(serial, "hello\r\nhello\r\n");
    EXPECT_EQ(Value(66, 1, 5), Bytes{0});
}

TEST_F(SerialLine, ReceivedMessagesAndTheMastersAcknowledgement)
{
    Allocate(0x01);
    ASSERT_EQ(Set(65, 1, 17, {0x01}), Bytes{0x90});
    const std::string line = "first\rsecond\r";
    device->SerialInput(std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()), now);
    EXPECT_EQ(Value(65, 1, 4), Bytes{1});
    EXPECT_EQ(Value(65, 1, 3), ParseHex("66 69 72 73 74 20 20 20 20 20 20 20 20 20 20 20"));
    EXPECT_EQ(Value(64, 1, 15), Bytes{0x01}) << "'second' found the channel unacknowledged";
    ASSERT_EQ(Set(65, 1, 5, {0x01}), Bytes{0x90});
    ASSERT_EQ(Set(64, 1, 15, {0x00}), Bytes{0x90});
    EXPECT_EQ(Value(64, 1, 15), Bytes{0x00});
}

TEST_F(SerialLine, LineErrorsShowInTheStatusUntilReset)
{
    Allocate(0x01);
    device->InjectSerialErrors(true, false, true);
    EXPECT_EQ(Value(64, 1, 15), Bytes{0x12}) << "receive parity, transmit overrun";
    EXPECT_EQ(Value(1, 1, 5), (Bytes{0x31, 0x01})) << "a minor recoverable fault";
    ASSERT_EQ(Set(64, 1, 15, {0x00}), Bytes{0x90});
    EXPECT_EQ(Value(1, 1, 5), (Bytes{0x31, 0x00}));
}

TEST_F(SerialLine, ThePauseDelimiterRunsOnTheDevicesClock)
{
    Allocate(0x01);
    ASSERT_EQ(Set(64, 1, 10, {0x02}), Bytes{0x90});
    const std::string text = "typed";
    device->SerialInput(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), now);
    Wait(490);
    EXPECT_EQ(Value(65, 1, 4), Bytes{0});
    Wait(10);
    EXPECT_EQ(Value(65, 1, 4), Bytes{1}) << "500 ms without a byte";
}

} // namespace
} // namespace devsim::test
