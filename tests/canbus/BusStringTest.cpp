#include "canbus/Bus.h"
#include "canbus/BusString.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace canbus {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

BusAddress Parsed(std::string_view text)
{
    BusAddress address;
    std::string error;
    EXPECT_TRUE(ParseBusString(text, address, error)) << text << ": " << error;
    return address;
}

std::string Refusal(std::string_view text)
{
    BusAddress address;
    std::string error;
    EXPECT_FALSE(ParseBusString(text, address, error)) << text;
    return error;
}

TEST(BusString, SimTakesNodeAndWireTiming)
{
    BusAddress plain = Parsed("sim");
    EXPECT_EQ(plain.kind, BusAddress::Kind::Sim);
    EXPECT_EQ(plain.node, 63);
    EXPECT_FALSE(plain.wireTiming);

    EXPECT_EQ(Parsed("sim:node=10").node, 10);
    EXPECT_EQ(Parsed("sim:node=0").node, 0);
    EXPECT_EQ(Parsed("sim:node=63").node, 63);

    BusAddress both = Parsed("sim:timing=wire,node=5");
    EXPECT_TRUE(both.wireTiming);
    EXPECT_EQ(both.node, 5);
    both = Parsed("  sim:node=7,timing=wire\n");
    EXPECT_TRUE(both.wireTiming);
    EXPECT_EQ(both.node, 7);
}

TEST(BusString, TcpTakesHostPortAndChannel)
{
    BusAddress tcp = Parsed("tcp://127.0.0.1:4000/can1");
    EXPECT_EQ(tcp.kind, BusAddress::Kind::Tcp);
    EXPECT_EQ(tcp.host, "127.0.0.1");
    EXPECT_EQ(tcp.port, 4000);
    EXPECT_EQ(tcp.channel, 1u);

    tcp = Parsed("tcp://localhost/can0");
    EXPECT_EQ(tcp.host, "localhost");
    EXPECT_EQ(tcp.port, 35468);

    tcp = Parsed("tcp://[::1]:65535/can12");
    EXPECT_EQ(tcp.host, "::1");
    EXPECT_EQ(tcp.port, 65535);
    EXPECT_EQ(tcp.channel, 12u);
}

TEST(BusString, SocketCanTakesAnInterfaceName)
{
    BusAddress can = Parsed("socketcan:vcan0");
    EXPECT_EQ(can.kind, BusAddress::Kind::SocketCan);
    EXPECT_EQ(can.interface, "vcan0");
    EXPECT_EQ(Parsed("socketcan:a23456789012345").interface.size(), 15u);
}

TEST(BusString, RefusalsSayWhatIsWrongAndWhichFormsExist)
{
    const std::string forms = "expected sim[:node=N][,timing=wire], tcp://HOST:PORT/canN or socketcan:IFACE";
    EXPECT_EQ(Refusal("foo"), "unknown bus 'foo': " + forms);
    EXPECT_EQ(Refusal("simulator"), "unknown bus 'simulator': " + forms);
    EXPECT_EQ(Refusal("  "), "no bus given: " + forms);
    EXPECT_EQ(Refusal("sim:node=64"), "bad bus 'sim:node=64': node '64' is not a MAC ID 0..63; " + forms);

    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"sim:", "empty option"},
        {"sim:node=5,", "empty option"},
        {"sim:node=", "node '' is not a MAC ID 0..63"},
        {"sim:node=-1", "node '-1' is not a MAC ID 0..63"},
        {"sim:node=0x10", "node '0x10' is not a MAC ID 0..63"},
        {"sim:node=1,node=2", "option 'node' given twice"},
        {"sim:timing=fast", "timing 'fast' is unknown"},
        {"sim:timing=wire,timing=wire", "option 'timing' given twice"},
        {"sim:speed=3", "unknown option 'speed'"},
        {"tcp://host:1", "missing /canN"},
        {"tcp://:35468/can0", "missing host"},
        {"tcp://host:/can0", "empty port"},
        {"tcp://host:0/can0", "port '0' is not a number 1..65535"},
        {"tcp://host:65536/can0", "port '65536' is not a number 1..65535"},
        {"tcp://host:12ab/can0", "port '12ab'"},
        {"tcp://host:1/vcan0", "channel 'vcan0' is not canN"},
        {"tcp://host:1/can", "channel 'can' is not canN"},
        {"tcp://host:1/can0/x", "channel 'can0/x' is not canN"},
        {"tcp://[::1/can0", "unclosed '['"},
        {"socketcan:", "missing interface name"},
        {"socketcan:a234567890123456", "longer than 15 characters"},
        {"socketcan:can 0", "contains a blank"},
    };
    for (const auto& c : cases) {
        const std::string error = Refusal(c.text);
        EXPECT_THAT(error, StartsWith(std::string("bad bus '") + c.text + "': ")) << c.text;
        EXPECT_THAT(error, HasSubstr(c.problem)) << c.text;
        EXPECT_THAT(error, EndsWith("; " + forms)) << c.text;
    }
}

TEST(OpenBus, RefusesWhatItCannotOpenWithAMessage)
{
    std::string error;
    EXPECT_EQ(OpenBus("bogus", 125000, error), nullptr);
    EXPECT_THAT(error, StartsWith("unknown bus 'bogus'"));

    error.clear();
    EXPECT_EQ(OpenBus("sim:timing=wire", 0, error), nullptr);
    EXPECT_THAT(error, HasSubstr("needs a bit rate"));

    error.clear();
    EXPECT_EQ(OpenBus("tcp://no.such.host.invalid:1/can0", 125000, error), nullptr);
    EXPECT_THAT(error, HasSubstr("cannot resolve host 'no.such.host.invalid'"));
}

} // namespace
} // namespace canbus
