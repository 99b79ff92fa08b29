// The monitor's decoder frame by frame: each row a short conversation as candump frames and the
// lines the decoder makes of it; then its bounds against a hostile bus and its clock.

#include "tools/dnet/monitor/Decoder.h"
#include "tools/dnet/monitor/JsonFormat.h"
#include "tools/dnet/monitor/TextFormat.h"
#include "MiniJson.h"

#include "canbus/CandumpFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::dnet::monitor {
namespace {

using test::JsonReader;

// "5FC#000E010107" at `timeUs`.
TimedFrame FrameOf(const std::string& text, std::uint64_t timeUs = 0)
{
    const auto entry = canbus::ParseCandumpLine("(0.000000) can0 " + text);
    EXPECT_TRUE(entry) << text;
    return TimedFrame{timeUs, entry ? entry->frame : canbus::Frame{}};
}

// What the decoder says of `frames` (one millisecond apart), as Describe lines.
std::vector<std::string> Decode(const std::vector<std::string>& frames, Decoder::Limits limits = {})
{
    Decoder decoder(limits);
    std::vector<Message> messages;
    std::uint64_t time = 0;
    for (const std::string& frame : frames) {
        decoder.Feed(FrameOf(frame, time += 1000), messages);
    }
    decoder.Finish(messages);
    std::vector<std::string> lines;
    for (const Message& message : messages) {
        lines.push_back(Describe(message));
    }
    return lines;
}

struct Conversation {
    const char* name;
    std::vector<std::string> frames;
    std::vector<std::string> lines;
};

// Master 0 (or 5) and slave 63 (or 10); 0x5FC = 0x404 + 8 x 63, 0x45x for MAC ID 10.
const Conversation kConversations[] = {
    {"duplicate MAC ID check request and a response that claims the same MAC ID",
     {"5FF#00B704C5E1B700", "5FF#80B704C5E1B700", "5FF#00B704C5E1"},
     {"duplicate MAC ID check request: port 0, vendor 1207, serial 0x00B7E1C5",
      "duplicate MAC ID check response: port 0, vendor 1207, serial 0x00B7E1C5",
      "malformed duplicate MAC ID check: duplicate MAC ID check of 5 bytes (7 are due); 5 bytes: 00 B7 04 C5 E1"}},
    {"allocation in 8/16 format: later paths carry 16-bit instances",
     {"456#054B03010305", "453#05CB01", "454#050E65020001", "453#058E0A00", "456#054C030101", "453#05CC",
      "454#050E650200"},
     {"Allocate explicit, poll (choice 0x03), allocator 5",
      "Allocate OK: explicit, poll (choice 0x03), message body format 8/16",
      "Get_Attribute_Single class 101 2/1", "Get_Attribute_Single reply class 101 2/1: 2 bytes: 0A 00",
      "Release explicit (choice 0x01)", "Release OK: explicit (choice 0x01)",
      "Get_Attribute_Single class 101 2/0"}},
    {"a refused allocation names the choice",
     {"5FE#004B03010400", "5FB#00942002"},
     {"Allocate bit-strobe (choice 0x04), allocator 0",
      "error response to Allocate bit-strobe (choice 0x04): invalid parameter (0x20), additional 0x02"}},
    {"request and answer with the XID bit, an error response without an additional code",
     {"5FC#400E010108", "5FB#408E03", "5FC#000E0101FF", "5FB#009414"},
     {"Get_Attribute_Single Identity(1) 1/8 state", "Get_Attribute_Single reply Identity(1) 1/8 state: 3 (operational)",
      "Get_Attribute_Single Identity(1) 1/255", "error response to Get_Attribute_Single Identity(1) 1/255: attribute not supported (0x14)"}},
    {"an answer with no request seen keeps no path",
     {"5FB#008E0100"},
     {"Get_Attribute_Single reply: 2 bytes: 01 00"}},
    {"a fragmented request whose fragment is refused by the slave",
     {"5FC#8000104201034142", "5FB#80C000", "5FC#80414344454647", "5FB#80C101"},
     {"broken explicit fragment series: fragment 1 refused (acknowledge status 1); 2 fragments, 2 acknowledged; "
      "11 bytes: 10 42 01 03 41 42 43 44 45 46 47"}},
    {"fragments with no first one, and an acknowledgement of nothing",
     {"5FB#8081696E204757", "5FC#80C100", "5FC#80C300"},
     {"broken explicit fragment series: no first fragment; 1 fragment, 1 acknowledged; 5 bytes: 69 6E 20 47 57",
      "acknowledgement of fragment 3, status 0 - no fragment series to acknowledge"}},
    {"a repeated fragment is kept once; an answer ends a request whose last fragment went unacknowledged",
     {"5FC#000E010107", "5FB#80008E094272656C", "5FB#80008E094272656C", "5FC#80C000", "5FB#8081696E204757",
      "5FC#80C100", "5FC#8000104201034142", "5FB#80C000", "5FC#80814344", "5FB#009000"},
     {"Get_Attribute_Single Identity(1) 1/7 product name",
      "Get_Attribute_Single reply Identity(1) 1/7 product name: \"Brelin GW\" [2 fragments, 2 acknowledged] - "
      "fragment 0 repeated",
      "Set_Attribute_Single Serial Transmit(66) 1/3: 4 bytes: 41 42 43 44 [2 fragments, 1 acknowledged] - "
      "last fragment not acknowledged",
      "Set_Attribute_Single reply Serial Transmit(66) 1/3: 1 byte: 00"}},
    {"explicit frames too short for their kind",
     {"5FC#", "5FC#00", "5FC#000E01", "5FC#00100101"},
     {"malformed explicit request: empty explicit message; no data",
      "malformed explicit request: explicit message without a service; 1 byte: 00",
      "malformed explicit request: request too short for its path; 1 byte: 01",
      "malformed explicit request: no attribute; no data"}},
    {"poll of a connection whose sizes are not known: 8-byte frames that only look like first fragments",
     {"5FD#0001020304050607", "3FF#0011121314151617", "5FD#0001020304050607", "3FF#41A1A2A3A4A5A6A7", "3FF#82BB"},
     {"poll command, 8 bytes: 00 01 02 03 04 05 06 07",
      "poll response, 15 bytes: 11 12 13 14 15 16 17 A1 A2 A3 A4 A5 A6 A7 BB [3 fragments]",
      "poll command, 8 bytes: 00 01 02 03 04 05 06 07"}},
    {"poll of a connection read as 10 bytes each way: fragments, a series with no first, one cut short",
     {"5FC#000E050208", "5FB#008E0A00", "5FC#000E050207", "5FB#008E0A00", "5FD#0001020304050607", "5FD#810809",
      "3FF#81AABBCC", "3FF#0011121314151617", "3FF#0011121314151617", "3FF#81AABB"},
     {"Get_Attribute_Single Connection(5) 2/8 consumed connection size",
      "Get_Attribute_Single reply Connection(5) 2/8 consumed connection size: 10 bytes",
      "Get_Attribute_Single Connection(5) 2/7 produced connection size",
      "Get_Attribute_Single reply Connection(5) 2/7 produced connection size: 10 bytes",
      "poll command, 9 bytes: 01 02 03 04 05 06 07 08 09 [2 fragments] - 9 bytes where the connection carries 10",
      "broken I/O fragment series: no first fragment; 1 fragment; 3 bytes: AA BB CC",
      "broken I/O fragment series: no last fragment; 1 fragment; 7 bytes: 11 12 13 14 15 16 17",
      "poll response, 9 bytes: 11 12 13 14 15 16 17 AA BB [2 fragments] - 9 bytes where the connection carries 10"}},
    {"other groups, and frames that are not DeviceNet",
     {"3BF#01", "7BE#0102", "7EC#", "7F5#00", "12345678#AA", "123#R"},
     {"bit-strobe response, 1 byte: 01", "unconnected request, 2 bytes: 01 02", "communication faulted response, no data",
      "not DeviceNet (identifier outside DeviceNet's groups): 7F5#00", "not DeviceNet (extended frame): 12345678#AA",
      "not DeviceNet (remote frame): 123#"}},
};

class Conversations : public ::testing::TestWithParam<Conversation> {};

TEST_P(Conversations, DecodeToTheirLines)
{
    EXPECT_EQ(Decode(GetParam().frames), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Decoder, Conversations, ::testing::ValuesIn(kConversations),
                         [](const auto& info) { return "Row" + std::to_string(info.index); });

TEST(DecoderAddresses, WhoSpeaksToWhom)
{
    Decoder decoder;
    std::vector<Message> messages;
    for (const char* frame : {"5FE#004B03010200", "5FB#00CB00", "5FD#01", "3FF#02", "5FF#00B704C5E1B700"}) {
        decoder.Feed(FrameOf(frame), messages);
    }
    ASSERT_EQ(messages.size(), 5u);
    const std::pair<int, int> expected[] = {{0, 63}, {63, 0}, {0, 63}, {63, 0}, {63, kEveryone}};
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].from, expected[i].first) << i;
        EXPECT_EQ(messages[i].to, expected[i].second) << i;
    }
    EXPECT_EQ(TextLine(messages[3], 0), "    0.000000   63 -> 0    G1/15  poll response, 1 byte: 02");
}

TEST(DecoderBounds, AnEndlessFragmentSeriesKeepsOnlyTheByteLimit)
{
    Decoder::Limits limits;
    limits.messageBytes = 32;
    Decoder decoder(limits);
    std::vector<Message> messages;
    const auto frame = [](std::uint32_t id, std::vector<std::uint8_t> bytes) {
        TimedFrame timed;
        timed.frame.id = id;
        timed.frame.length = static_cast<std::uint8_t>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), timed.frame.data.begin());
        return timed;
    };
    // A slave that never sends a last fragment, acknowledged each time by its master.
    for (int i = 0; i < 5000; ++i) {
        const auto count = static_cast<std::uint8_t>(i & 0x3F);
        decoder.Feed(frame(0x5FB, {0x80, static_cast<std::uint8_t>((i == 0 ? 0x00 : 0x40) | count), 1, 2, 3, 4, 5, 6}),
                     messages);
        decoder.Feed(frame(0x5FC, {0x80, static_cast<std::uint8_t>(0xC0 | count), 0x00}), messages);
    }
    EXPECT_TRUE(messages.empty());
    decoder.Finish(messages);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, MessageKind::BrokenSeries);
    EXPECT_EQ(messages[0].fragments, 5000);
    EXPECT_EQ(messages[0].length, 6u * 5000);
    EXPECT_EQ(messages[0].data.size(), 32u);
}

TEST(DecoderBounds, ForgedMasterIdsCannotGrowTheConnectionTable)
{
    Decoder::Limits limits;
    limits.connections = 16;
    Decoder decoder(limits);
    std::vector<Message> messages;
    // First fragments from every MAC ID to every MAC ID: each opens a series on its own pair.
    for (int slave = 0; slave < 64; ++slave) {
        for (int master = 0; master < 64; ++master) {
            canbus::Frame frame;
            frame.id = static_cast<std::uint32_t>(0x404 + 8 * slave);
            frame.length = 8;
            frame.data = {static_cast<std::uint8_t>(0x80 | master), 0x00, 0x10, 0x01, 0x01, 0x01, 0x02, 0x03};
            decoder.Feed({0, frame}, messages);
            ASSERT_LE(decoder.Connections(), 16u);
        }
    }
    // Every pair that gave way reported its series as broken.
    ASSERT_EQ(messages.size(), 64u * 64 - 16);
    EXPECT_EQ(messages[0].problem, "dropped: too many connections to follow");
    decoder.Finish(messages);
    EXPECT_EQ(messages.size(), 64u * 64);
}

TEST(DecoderBounds, NothingIsReadPastEightDataBytes)
{
    canbus::Frame frame;
    frame.id = 0x5FD;
    frame.length = 200; // no bus hands this on; the decoder takes eight bytes all the same
    frame.data = {1, 2, 3, 4, 5, 6, 7, 8};
    Decoder decoder;
    std::vector<Message> messages;
    decoder.Feed({0, frame}, messages);
    decoder.Finish(messages);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].length, 8u);
}

TEST(DecoderClock, ASilentSeriesIsReportedAfterTheTimeOut)
{
    Decoder::Limits limits;
    limits.seriesTimeoutUs = 1'000'000;
    Decoder decoder(limits);
    std::vector<Message> messages;
    decoder.Feed(FrameOf("5FB#80008E094272656C", 5'000'000), messages);
    decoder.Feed(FrameOf("5FC#80C000", 5'000'100), messages);
    decoder.Advance(6'000'100, messages);
    EXPECT_TRUE(messages.empty()) << "reported at the time-out, not before";
    decoder.Advance(6'000'101, messages);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, MessageKind::BrokenSeries);
    EXPECT_EQ(messages[0].problem, "no fragment for longer than the time-out");
    EXPECT_EQ(messages[0].timeUs, 5'000'100u) << "at the time of its last frame";

    // A frame much later sweeps too, before it is decoded itself.
    decoder.Feed(FrameOf("3FF#0011121314151617", 7'000'000), messages);
    decoder.Feed(FrameOf("5FC#000E010101", 9'000'000), messages);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(Describe(messages[1]), "poll response, 8 bytes: 00 11 12 13 14 15 16 17");
}

TEST(MonitorJson, OneObjectPerMessageWithTheDecodedValue)
{
    Decoder decoder;
    std::vector<Message> messages;
    for (const char* frame : {"5FC#000E010107", "5FB#80008E094272656C", "5FC#80C000", "5FB#8081696E204757", "5FC#80C100"}) {
        decoder.Feed(FrameOf(frame, 1'700'000'000'123'456), messages);
    }
    ASSERT_EQ(messages.size(), 2u);
    const auto json = JsonReader::Parse(JsonLine(messages[1]));
    ASSERT_TRUE(json) << JsonLine(messages[1]);
    const auto& object = *json;
    EXPECT_EQ(object["time"].number, 1700000000.123456);
    EXPECT_EQ(object["id"].string, "5FB");
    EXPECT_EQ(object["from"].number, 63);
    EXPECT_EQ(object["to"].number, 0);
    EXPECT_EQ(object["kind"].string, "explicit reply");
    EXPECT_EQ(object["serviceName"].string, "Get_Attribute_Single");
    EXPECT_EQ(object["className"].string, "Identity");
    EXPECT_EQ(object["attributeName"].string, "product name");
    EXPECT_EQ(object["value"].string, "Brelin GW");
    EXPECT_EQ(object["data"].string, "094272656C696E204757");
    EXPECT_EQ(object["fragments"].number, 2);
    EXPECT_EQ(object["acknowledged"].number, 2);
    EXPECT_EQ(object["text"].string, Describe(messages[1]));
    EXPECT_FALSE(object.Has("problem"));
}

} // namespace
} // namespace orv::dnet::monitor
