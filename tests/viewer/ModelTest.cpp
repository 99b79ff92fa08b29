// The device model against a scripted driver (no bus): value conversions, Encode, opening a module
// and sizing its poll item, attribute reads and writes with their buffer bounds, poll exchanges,
// and a raw explicit request with its one-second wait on a hand-driven clock.

#include "tests/viewer/ScriptedDriver.h"
#include "viewer/app/DriverClient.h"
#include "viewer/model/AttributeItem.h"
#include "viewer/model/Module.h"
#include "viewer/model/ServiceItem.h"
#include "viewer/model/ValueConversions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace orv::viewer {
namespace {

using test::PutReply;
using test::ScriptedDriver;
using Bytes = std::vector<std::uint8_t>;

constexpr int kNode = 63;

TEST(ValueConversions, ReadAndWriteLittleEndian)
{
    const std::uint8_t minusOne[] = {0xFF, 0xFF};
    const std::uint8_t x1234[] = {0x34, 0x12};
    const std::uint8_t one[] = {0x00, 0x00, 0x80, 0x3F};
    const std::uint8_t pattern[] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(ReadInt16(minusOne), -1);
    EXPECT_EQ(ReadInt16(x1234), 0x1234);
    EXPECT_EQ(ReadFloat(one), 1.0f);
    EXPECT_EQ(ReadInt32(pattern), 0x12345678u);
    std::uint8_t out[4] = {};
    WriteInt16(74565, out); // 0x12345: the low 16 bits
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{0x45, 0x23}));
    WriteInt32(0xA1B2C3D4u, out);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
}

TEST(ValueConversions, ScanNumbersAsTheCLibraryDoes)
{
    const struct {
        const char* text;
        std::optional<std::int32_t> value;
        std::size_t consumed; // characters the number took, leading blanks included
    } decimals[] = {
        {"7 apples", 7, 1}, {"  -12", -12, 5}, {"+5", 5, 2}, {"12abc", 12, 2}, {"x7", std::nullopt, 99},
        {"", std::nullopt, 99}, {"-", std::nullopt, 99}, {"4294967297", 1, 10}, {"99999999999999999999999", -1, 23},
        {" 1.10", 1, 2},
    };
    for (const auto& row : decimals) {
        std::int32_t value = 1234;
        std::size_t consumed = 99;
        EXPECT_EQ(ParseDecimal(row.text, value, &consumed), row.value.has_value()) << row.text;
        EXPECT_EQ(value, row.value.value_or(1234)) << row.text;
        EXPECT_EQ(consumed, row.consumed) << row.text;
    }
    const struct {
        const char* text;
        std::optional<float> value;
    } floats[] = {{" 1.5x", 1.5f}, {"-2e3", -2000.0f}, {".25", 0.25f}, {"e5", std::nullopt}, {"", std::nullopt}};
    for (const auto& row : floats) {
        float value = 99.0f;
        EXPECT_EQ(ParseFloat(row.text, value), row.value.has_value()) << row.text;
        EXPECT_EQ(value, row.value.value_or(99.0f)) << row.text;
    }
}

TEST(ValueConversions, ParseHexBytesStopsAtTheFirstNonDigit)
{
    const struct {
        const char* text;
        std::size_t count;
        bool ok;
        Bytes written; // the destination afterwards, from 0xEE 0xEE
    } rows[] = {
        {"0A1B", 2, true, {0x0A, 0x1B}},
        {"0a1b", 2, false, {0xEE, 0xEE}},
        {"0A1", 1, false, {0xEE, 0xEE}},
        {"0AZZ", 2, false, {0x0A, 0xEE}},
        {"", 0, true, {0xEE, 0xEE}},
    };
    for (const auto& row : rows) {
        std::uint8_t out[2] = {0xEE, 0xEE};
        EXPECT_EQ(ParseHexBytes(row.text, row.count, out), row.ok) << row.text;
        EXPECT_EQ(Bytes(out, out + 2), row.written) << row.text;
    }
    const std::uint8_t bytes[] = {0x0A, 0xFF};
    EXPECT_EQ(HexText(bytes, 2), "0AFF");
    EXPECT_EQ(HexText(bytes, 2, " "), "0A FF ");
    EXPECT_EQ(FloatText(1.5f, 4), "1.5000");
    EXPECT_EQ(FloatText(-0.25f, 6), "-0.250000");
}

// The longest short string a value buffer holds: 63 characters after the length byte.
Bytes Longest()
{
    Bytes bytes(64, 'x');
    bytes[0] = 63;
    return bytes;
}

// Encode of text (kind 4) by value type, as every page's write makes it.
TEST(ItemEncode, TextByValueType)
{
    const struct {
        int type;
        int size;
        std::string text;
        std::optional<Bytes> bytes; // nullopt: refused
    } rows[] = {
        {ValueType::kByte, 1, "12abc", Bytes{0x0C}},
        {ValueType::kByte, 1, "abc", std::nullopt},
        {ValueType::kByte, 1, "300", Bytes{0x2C}},
        {ValueType::kInt16, 2, "-2", Bytes{0xFE, 0xFF}},
        {ValueType::kUInt16, 2, "65535", Bytes{0xFF, 0xFF}},
        {ValueType::kInt32, 4, "19200", Bytes{0x00, 0x4B, 0x00, 0x00}},
        {ValueType::kFloat, 4, "1.5", Bytes{0x00, 0x00, 0xC0, 0x3F}},
        {ValueType::kShortString, -1, "abc", Bytes{0x03, 'a', 'b', 'c'}},
        {ValueType::kShortString, -1, "", Bytes{0x00}},
        {ValueType::kShortString, -1, std::string(63, 'x'), Longest()}, // 64 bytes with its length byte
        {ValueType::kShortString, -1, std::string(64, 'x'), std::nullopt}, // never past the value buffer
        {ValueType::kRaw, 2, "0A0B", Bytes{0x0A, 0x0B}},
        {ValueType::kRaw, 2, "0A", std::nullopt},     // shorter than the size
        {ValueType::kRaw, 2, "0A0B0C", std::nullopt}, // longer than the size
        {ValueType::kRaw, -1, "0A0B0C", Bytes{0x0A, 0x0B, 0x0C}},
        {ValueType::kRaw, -1, "0a", std::nullopt},
    };
    for (const auto& row : rows) {
        AttributeItem item;
        item.Setup(nullptr, 1, 1, 1, row.type, row.size, {}, 0);
        std::array<std::uint8_t, kValueBufferSize> destination{};
        int size = row.size;
        const bool ok = item.Encode(destination, row.text.c_str(), ValueKind::kText, size);
        ASSERT_EQ(ok, row.bytes.has_value()) << row.type << " " << row.text;
        if (ok) {
            EXPECT_EQ(Bytes(destination.begin(), destination.begin() + size), *row.bytes) << row.type << " " << row.text;
        }
    }
}

TEST(ItemEncode, NumbersAndRawBytesByKind)
{
    AttributeItem item;
    std::array<std::uint8_t, 8> destination{};
    const std::int16_t int16 = -2;
    const std::uint16_t uint16 = 0xBEEF;
    const float real = 1.0f;
    const std::int32_t int32 = -1;
    const std::uint8_t raw[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const struct {
        const void* value;
        int kind;
        int sizeIn;
        Bytes bytes;
    } rows[] = {
        {&int16, ValueKind::kInt16, 0, {0xFE, 0xFF}},
        {&uint16, ValueKind::kUInt16, 0, {0xEF, 0xBE}},
        {&real, ValueKind::kBits32, 0, {0x00, 0x00, 0x80, 0x3F}},
        {&int32, ValueKind::kInt32, 0, {0xFF, 0xFF, 0xFF, 0xFF}},
        {raw, ValueKind::kRaw, 3, {1, 2, 3}},
    };
    for (const auto& row : rows) {
        int size = row.sizeIn;
        ASSERT_TRUE(item.Encode(destination, row.value, row.kind, size)) << row.kind;
        EXPECT_EQ(Bytes(destination.begin(), destination.begin() + size), row.bytes) << row.kind;
    }
    int size = 9; // one byte more than the destination holds
    EXPECT_FALSE(item.Encode(destination, raw, ValueKind::kRaw, size));
}

class ModelTest : public ::testing::Test {
protected:
    ModelTest()
    {
        client_.Attach(&driver_);
        module_.SetAddress(kNode);
        module_.SetDriver(&client_);
    }

    // A Get_Attribute_Single answer for one attribute; any other attribute is an error response.
    void Answer(int cls, int inst, int attr, const Bytes& value)
    {
        answers_.push_back({cls, inst, attr, value});
        driver_.get = [this](int, int c, int i, int a, std::uint8_t* buffer) {
            for (const auto& answer : answers_) {
                if (answer.cls == c && answer.inst == i && answer.attr == a) {
                    PutReply(buffer, 0x8E, answer.value);
                    return 0;
                }
            }
            PutReply(buffer, 0x94, {0x14, 0xFF});
            return 0;
        };
    }

    struct Scripted {
        int cls;
        int inst;
        int attr;
        Bytes value;
    };
    ScriptedDriver driver_;
    DriverClient client_;
    Module module_;
    std::vector<Scripted> answers_;
};

TEST_F(ModelTest, OpenWithoutPollSendsTheExplicitConfigurationOnly)
{
    Bytes config;
    driver_.openModule = [&](int node, const std::uint8_t* record) {
        EXPECT_EQ(node, kNode);
        config.assign(record, record + 6);
        return 0;
    };
    module_.Poll().SetSizes(3, 5);
    ASSERT_TRUE(module_.Open(Allocation::kExplicit));
    EXPECT_EQ(config, (Bytes{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(driver_.Count(automation::dispid::kDNGetAttribute), 0u);
    EXPECT_EQ(module_.Poll().OutputSize(), 3) << "the poll item keeps its sizes";
    EXPECT_EQ(module_.Name(), "Module 63");
    EXPECT_EQ(module_.Poll().Name(), "Poll 63");

    EXPECT_FALSE(module_.Open(Allocation::kExplicit)) << "already open";
    EXPECT_EQ(driver_.Count(automation::dispid::kOpenModule), 1u);
    EXPECT_TRUE(module_.Close());
    EXPECT_FALSE(module_.Close()) << "nothing open any more";
    EXPECT_EQ(driver_.Count(automation::dispid::kCloseModule), 1u);
}

TEST_F(ModelTest, OpenWithPollSizesThePollItemFromTheConnection)
{
    Bytes config;
    driver_.openModule = [&](int, const std::uint8_t* record) {
        config.assign(record, record + 6);
        return 0;
    };
    Answer(5, 2, 7, {0x02, 0x00}); // produced: the master's input
    Answer(5, 2, 8, {0x04, 0x00}); // consumed: the master's output
    ASSERT_TRUE(module_.Open(Allocation::kExplicit | Allocation::kPoll));
    EXPECT_EQ(config, (Bytes{1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(module_.Poll().OutputSize(), 4);
    EXPECT_EQ(module_.Poll().InputSize(), 2);
    EXPECT_EQ(module_.Poll().Output(), (Bytes{0, 0, 0, 0}));
}

TEST_F(ModelTest, OpenSucceedsWhenThePollSizesCannotBeReadButPollsFail)
{
    Answer(5, 2, 7, {0x02}); // one byte where two are needed
    ASSERT_TRUE(module_.Open(Allocation::kPoll));
    EXPECT_EQ(module_.Poll().OutputSize(), -1);
    EXPECT_EQ(module_.Poll().InputSize(), -1);
    EXPECT_FALSE(module_.Poll().Read());
    EXPECT_EQ(driver_.Count(automation::dispid::kDNPoll), 0u);
}

TEST_F(ModelTest, AFailedOpenLeavesTheModuleClosed)
{
    driver_.openModule = [](int, const std::uint8_t*) { return -1; };
    EXPECT_FALSE(module_.Open(Allocation::kExplicit));
    EXPECT_FALSE(module_.IsOpen());
    AttributeItem item;
    item.Setup(&module_, 1, 1, 1, ValueType::kUInt16, 2, {}, 0);
    EXPECT_FALSE(item.Read());
    EXPECT_EQ(driver_.Count(automation::dispid::kDNGetAttribute), 0u) << "no item talks to a closed module";
}

TEST_F(ModelTest, AStringAttributeReadsAndFormats)
{
    Answer(1, 1, 7, {0x03, 'a', 'b', 'c'});
    ASSERT_TRUE(module_.Open(Allocation::kExplicit));
    AttributeItem item;
    item.Setup(&module_, 1, 1, 7, ValueType::kShortString, kVariableSize, {}, 0);
    EXPECT_EQ(item.Name(), "Attr 1,1,7");
    ASSERT_TRUE(item.Read());
    std::string text;
    item.Format(text, -1);
    EXPECT_EQ(text, "abc");
    item.Format(text, ValueType::kRaw);
    EXPECT_EQ(text, "03616263");
}

// Reads that must fail and leave the value buffer as the last good read left it.
TEST_F(ModelTest, AReadThatDoesNotFitOrDoesNotArriveWhole)
{
    ASSERT_TRUE(module_.Open(Allocation::kExplicit));
    Answer(1, 1, 1, {0xB7, 0x04});
    AttributeItem item;
    item.Setup(&module_, 1, 1, 1, ValueType::kUInt16, 2, {}, 0);
    ASSERT_TRUE(item.Read());

    Bytes longString(65, 'x');
    longString[0] = 64; // a length byte above 63: 65 bytes
    Answer(9, 1, 1, longString);
    Answer(9, 1, 2, {0x0A, 'a', 'b'}); // claims ten characters, carries two
    Answer(9, 1, 3, {0x01});           // one byte of a 16-bit value
    Answer(9, 1, 4, Bytes(65, 0x55));  // a fixed size above the buffer
    Answer(9, 1, 6, Bytes(100, 0x4C)); // a hundred bytes for a 16-bit value
    Answer(9, 1, 7, {0x01, 'a', 'b'}); // one character and a byte beyond the string
    const struct {
        int attr;
        int type;
        int size;
    } rows[] = {{1, ValueType::kShortString, -1}, {2, ValueType::kShortString, -1}, {3, ValueType::kUInt16, 2},
                {4, ValueType::kRaw, 65}, {5, ValueType::kUInt16, 2} /* error response */,
                {6, ValueType::kUInt16, 2}, {7, ValueType::kShortString, -1}};
    for (const auto& row : rows) {
        item.Setup(&module_, 9, 1, row.attr, row.type, row.size, {}, 0);
        EXPECT_FALSE(item.Read()) << row.attr;
        EXPECT_EQ(item.GetInt16(), 0x04B7) << "buffer unchanged after attribute " << row.attr;
    }

    // Only the first bytes of a value longer than the buffer, when they are all that is wanted.
    item.Setup(&module_, 9, 1, 6, ValueType::kRaw, 64, {}, 0);
    EXPECT_FALSE(item.Read());
    item.TakeFirstBytes(true);
    ASSERT_TRUE(item.Read());
    EXPECT_EQ(item.StoredLength(), 64u);
    item.Setup(&module_, 9, 1, 6, ValueType::kRaw, 64, {}, 0);
    EXPECT_FALSE(item.Read()) << "a new target wants the whole value again";
}

TEST_F(ModelTest, FormatNeverReadsPastTheBytesStored)
{
    driver_.set = [](int, int, int, int, int, std::uint8_t* buffer) {
        PutReply(buffer, 0x90, {});
        return 0;
    };
    ASSERT_TRUE(module_.Open(Allocation::kExplicit));
    AttributeItem item;
    // A one-byte value written into a variable-size raw item: its first byte, 0xC8, would claim
    // 201 bytes.
    item.Setup(&module_, 9, 1, 1, ValueType::kRaw, kVariableSize, {}, 0);
    const std::uint8_t value = 0xC8;
    ASSERT_TRUE(item.Write(&value, ValueKind::kByte, kVariableSize));
    std::string text;
    item.Format(text, -1);
    EXPECT_EQ(text, "C8");
    item.Format(text, ValueType::kShortString);
    EXPECT_EQ(text, "");
}

TEST_F(ModelTest, WritesSendTheEncodedValueAndReportRefusal)
{
    Bytes sent;
    std::uint8_t answer = 0x90;
    driver_.set = [&](int node, int cls, int inst, int attr, int length, std::uint8_t* buffer) {
        EXPECT_EQ(node, kNode);
        EXPECT_EQ(cls, 5);
        EXPECT_EQ(inst, 1);
        EXPECT_EQ(attr, 9);
        sent.assign(buffer, buffer + length);
        PutReply(buffer, answer, answer == 0x94 ? Bytes{0x09, 0xFF} : Bytes{});
        return 0;
    };
    AttributeItem item;
    item.Setup(&module_, 5, 1, 9, ValueType::kUInt16, 2, {}, 0);
    EXPECT_FALSE(item.Write("5000", ValueKind::kText, 2)) << "the module is closed";
    ASSERT_TRUE(module_.Open(Allocation::kExplicit));

    EXPECT_FALSE(item.Write("5000", ValueKind::kText, 1)) << "size differs from the item's";
    EXPECT_FALSE(item.Write("many", ValueKind::kText, 2)) << "not a number";
    EXPECT_EQ(driver_.Count(automation::dispid::kDNSetAttribute), 0u);

    EXPECT_TRUE(item.Write("5000", ValueKind::kText, 2));
    EXPECT_EQ(sent, (Bytes{0x88, 0x13}));
    answer = 0x94;
    EXPECT_FALSE(item.Write("7", ValueKind::kText, 2));
    EXPECT_EQ(item.GetInt16(), 7) << "the refused value stays in the buffer";
}

TEST_F(ModelTest, PollExchangesTheOutputAndKeepsTheResponse)
{
    Answer(5, 2, 7, {0x02, 0x00});
    Answer(5, 2, 8, {0x04, 0x00});
    ASSERT_TRUE(module_.Open(Allocation::kPoll));
    Bytes command;
    Bytes response{0x0A, 0xFF};
    driver_.poll = [&](int txid, int txLength, std::int16_t* rxid, std::int16_t* rxLength, std::uint8_t* buffer) {
        EXPECT_EQ(txid, 0x405 | kNode * 8);
        EXPECT_EQ(*rxLength, 2) << "the input size goes in";
        command.assign(buffer, buffer + txLength);
        std::copy(response.begin(), response.end(), buffer);
        *rxid = static_cast<std::int16_t>(0x3C0 + kNode);
        *rxLength = static_cast<std::int16_t>(response.size());
        return 0;
    };
    PollItem& poll = module_.Poll();
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(poll.Write(bytes, ValueKind::kRaw, 0));
    ASSERT_TRUE(poll.Read());
    EXPECT_EQ(command, (Bytes{1, 2, 3, 4})) << "exactly the output size";
    std::string text;
    poll.Format(text, 0);
    EXPECT_EQ(text, "0A FF ");

    response = {0x01, 0x02, 0x03}; // not the input size
    EXPECT_FALSE(poll.Read());
    EXPECT_EQ(poll.ResponseText(), "0A FF ");
    EXPECT_EQ(poll.Input(), (Bytes{0x0A, 0xFF}));

    const std::uint16_t wide = 0x0201;
    ASSERT_TRUE(poll.Write(&wide, ValueKind::kUInt16, 0));
    EXPECT_EQ(poll.Output(), (Bytes{0x01, 0x02, 3, 4})) << "a shorter value replaces the first bytes";
    EXPECT_EQ(poll.OutputSize(), 4) << "the output keeps the size the node consumes";
}

TEST_F(ModelTest, PollBuffersHoldTheLargestConnection)
{
    Answer(5, 2, 7, {0xC0, 0x01}); // 448 bytes each way
    Answer(5, 2, 8, {0xC0, 0x01});
    ASSERT_TRUE(module_.Open(Allocation::kPoll));
    driver_.poll = [](int, int txLength, std::int16_t*, std::int16_t* rxLength, std::uint8_t* buffer) {
        EXPECT_EQ(txLength, 448);
        std::memset(buffer, 0x5A, static_cast<std::size_t>(*rxLength)); // the sanitizers watch this write
        return 0;
    };
    EXPECT_TRUE(module_.Poll().Read());
    EXPECT_EQ(module_.Poll().Input().back(), 0x5A);

    module_.Poll().SetSizes(449, 2); // more than any connection carries
    EXPECT_FALSE(module_.Poll().Read());
    EXPECT_EQ(driver_.Count(automation::dispid::kDNPoll), 1u);
    const std::uint32_t bits = 0;
    module_.Poll().SetSizes(2, 2);
    EXPECT_FALSE(module_.Poll().Write(&bits, ValueKind::kBits32, 0)) << "four bytes do not fit an output of two";

    // A node that consumes more than a connection carries: Send (raw bytes of the largest output)
    // is refused, and nothing is written past the output or read past the value.
    const std::array<std::uint8_t, PollItem::kMaxSize> command{0x01, 0x02};
    for (const int consumed : {449, 0x7FFF, 0xFFFF}) {
        module_.Poll().SetSizes(consumed, 2);
        EXPECT_FALSE(module_.Poll().Write(command.data(), ValueKind::kRaw, 0)) << consumed;
        EXPECT_EQ(module_.Poll().Output().front(), 0) << consumed;
    }
}

// A clock that moves only when the model asks it to pause or the driver is asked for a frame.
class HandTicks final : public TickSource {
public:
    explicit HandTicks(std::uint32_t start) : now(start) {}
    std::uint32_t Now() override { return now; }
    void Pause(std::uint32_t milliseconds) override { now += milliseconds; }
    std::uint32_t now;
};

class ServiceItemTest : public ModelTest {
protected:
    ServiceItemTest()
    {
        module_.Open(Allocation::kExplicit);
        driver_.transmit = [this](int identifier, int length, const std::uint8_t* data) {
            sentId_ = identifier;
            sent_.assign(data, data + length);
            return 0;
        };
        item_.Setup(&module_, 0, 1, 1, 0x05, ValueType::kByte, 1);
    }

    // The driver answers CANRcv from `frames`, then "nothing received"; each answer costs `costMs`.
    void Receive(std::vector<std::pair<int, Bytes>> frames, std::uint32_t costMs = 0)
    {
        frames_ = std::move(frames);
        driver_.receive = [this, costMs](std::int16_t* identifier, std::int16_t* length, std::uint8_t* buffer) {
            ticks_.now += costMs;
            if (frames_.empty()) {
                return 0xFFFC;
            }
            const auto [id, data] = frames_.front();
            frames_.erase(frames_.begin());
            *identifier = static_cast<std::int16_t>(id);
            *length = static_cast<std::int16_t>(data.size());
            std::copy(data.begin(), data.end(), buffer + module_.FrameDataOffset());
            return 0;
        };
    }

    HandTicks ticks_{0xFFFFFF00u}; // the wait runs across the wrap of the tick count
    ServiceItem item_{ticks_};
    int sentId_ = 0;
    Bytes sent_;
    std::vector<std::pair<int, Bytes>> frames_;
};

TEST_F(ServiceItemTest, SendsTheRequestAndTakesTheNodesAnswerOnly)
{
    Receive({{0x100, {0x00, 0x94, 0x08, 0xFF}},         // another node's traffic
             {0x403 + 8 * kNode, {0x00, 0x85}}});        // the Reset answer
    const std::uint8_t type = 1;
    ASSERT_TRUE(item_.Execute(&type, ValueKind::kByte, 1));
    EXPECT_EQ(sentId_, 0x404 + 8 * kNode);
    EXPECT_EQ(sent_, (Bytes{0x00, 0x05, 0x01, 0x01, 0x01}));
    EXPECT_EQ(item_.FrameLength(), 2u);
    EXPECT_EQ(item_.Frame()[1], 0x85);
}

TEST_F(ServiceItemTest, AnErrorResponseFailsWhereverTheCardPutsTheData)
{
    for (const int offset : {Module::kFrameDataOffset, Module::kVoraFrameDataOffset}) {
        module_.SetFrameDataOffset(offset);
        Receive({{0x403 + 8 * kNode, {0x00, 0x94, 0x20, 0xFF}}});
        EXPECT_FALSE(item_.Execute(nullptr, ValueKind::kByte, 0)) << offset;
        EXPECT_EQ(sent_.size(), 4u) << "header only without data";
        EXPECT_EQ(item_.Frame()[1], 0x94) << offset;
    }
}

TEST_F(ServiceItemTest, GivesUpAfterOneSecondOfSilenceAcrossTheWrap)
{
    Receive({}, 10);
    const std::uint32_t start = ticks_.now;
    EXPECT_FALSE(item_.Execute(nullptr, ValueKind::kByte, 0));
    const std::uint32_t waited = ticks_.now - start;
    EXPECT_GE(waited, ServiceItem::kReplyTimeoutMs);
    EXPECT_LT(waited, ServiceItem::kReplyTimeoutMs + 20);
}

TEST_F(ServiceItemTest, AValueThatDoesNotEncodeSendsNothing)
{
    Receive({});
    EXPECT_FALSE(item_.Execute("abc", ValueKind::kText, 1));
    item_.Setup(&module_, 0, 1, 1, 0x10, ValueType::kRaw, 8);
    const std::uint8_t five[5] = {};
    EXPECT_FALSE(item_.Execute(five, ValueKind::kRaw, 5)) << "more than one frame holds after the header";
    EXPECT_TRUE(sent_.empty());
}

// A node behind the scripted driver that answers, or is silent: time runs on a hand-driven clock,
// and a call that gets no answer costs the receive time-out. A page reads three attributes on every
// tick, 100 ms after the last tick ended.
class SilentNodeTest : public ModelTest {
protected:
    static constexpr std::uint32_t kTimeoutMs = 1000;
    static constexpr std::uint32_t kAnswerMs = 2;
    static constexpr std::uint32_t kPeriodMs = 100;

    struct Call {
        std::uint32_t atMs; // from the start of the run
        platform::automation::DISPID dispId;
        bool operator==(const Call&) const = default;
    };

    SilentNodeTest()
    {
        module_.UseTicks(clock_);
        driver_.get = [this](int, int cls, int inst, int attr, std::uint8_t* buffer) {
            const bool answered = Exchange(automation::dispid::kDNGetAttribute);
            const bool pollSize = cls == 5 && inst == 2 && (attr == 7 || attr == 8);
            PutReply(buffer, 0x8E, pollSize ? Bytes{0x02, 0x00} : Bytes{0x2A, 0x00});
            return answered ? 0 : -1;
        };
        driver_.allocate = [this](int, int) { return Exchange(automation::dispid::kDNAllocate) ? 0 : -1; };
        driver_.openModule = [this](int, const std::uint8_t* record) {
            configs_.emplace_back(record, record + 6);
            return Exchange(automation::dispid::kOpenModule) ? 0 : -1;
        };
        EXPECT_TRUE(module_.Open(Allocation::kExplicit | Allocation::kPoll));
        module_.Poll().SetSizes(-1, -1);
        log_.clear();
        configs_.clear();
        startMs_ = clock_.now;
    }

    bool Exchange(platform::automation::DISPID dispId)
    {
        log_.push_back({clock_.now - startMs_, dispId});
        clock_.now += answering_ ? kAnswerMs : kTimeoutMs;
        return answering_;
    }

    // Ticks the page for `forMs`; the longest tick, and how many of its reads brought a value.
    std::uint32_t Run(std::uint32_t forMs, std::vector<int>* valuesPerTick = nullptr)
    {
        std::uint32_t longest = 0;
        for (const std::uint32_t end = clock_.now + forMs; static_cast<std::int32_t>(clock_.now - end) < 0;) {
            const std::uint32_t start = clock_.now;
            int values = 0;
            for (int attribute = 1; attribute <= 3; ++attribute) {
                item_.Setup(&module_, 1, 1, attribute, ValueType::kUInt16, 2, {}, 0);
                values += item_.Read() ? 1 : 0;
            }
            longest = std::max(longest, clock_.now - start);
            if (valuesPerTick != nullptr) {
                valuesPerTick->push_back(values);
            }
            clock_.now += kPeriodMs;
        }
        return longest;
    }

    HandTicks clock_{0xFFFFF000u}; // across the wrap
    std::uint32_t startMs_ = clock_.now;
    bool answering_ = true;
    std::vector<Call> log_;
    std::vector<Bytes> configs_;
    AttributeItem item_;
};

TEST_F(SilentNodeTest, OneWaitThenOneTryASecondAndNeverLongerThanATimeOut)
{
    answering_ = false;
    const std::uint32_t longest = Run(9500);
    // The first read waits; then a single allocation request after each second without a wait.
    const std::vector<Call> expected{{0, automation::dispid::kDNGetAttribute},
                                     {2000, automation::dispid::kDNAllocate},
                                     {4000, automation::dispid::kDNAllocate},
                                     {6000, automation::dispid::kDNAllocate},
                                     {8000, automation::dispid::kDNAllocate}};
    EXPECT_EQ(log_, expected);
    EXPECT_EQ(longest, kTimeoutMs);
    EXPECT_TRUE(module_.Silent());
    EXPECT_TRUE(module_.IsOpen()) << "the user's allocation stands";

    // A write between two tries is refused at once; an unparsable one never asks.
    item_.Setup(&module_, 1, 1, 1, ValueType::kUInt16, 2, {}, 0);
    EXPECT_FALSE(item_.Write("7", ValueKind::kText, 2));
    EXPECT_EQ(log_.size(), expected.size());
}

TEST_F(SilentNodeTest, TheNodeThatComesBackIsOpenedAgainWithTheUsersAllocation)
{
    answering_ = false;
    Run(8500); // the node comes back just after the try at 8000 gave up
    answering_ = true;
    const std::uint32_t back = clock_.now - startMs_;
    driver_.calls.clear();
    std::vector<int> values;
    Run(2500, &values);

    // The try at 10000 finds it: release, allocate as Select Node does, size the poll item, read.
    std::vector<platform::automation::DISPID> order;
    for (const auto& call : driver_.calls) {
        order.push_back(call.dispId);
    }
    namespace d = automation::dispid;
    ASSERT_GE(order.size(), 8u);
    EXPECT_EQ(std::vector<platform::automation::DISPID>(order.begin(), order.begin() + 8),
              (std::vector<platform::automation::DISPID>{d::kDNAllocate, d::kCloseModule, d::kOpenModule, d::kDNGetAttribute,
                                               d::kDNGetAttribute, d::kDNGetAttribute, d::kDNGetAttribute,
                                               d::kDNGetAttribute}));
    EXPECT_EQ(configs_, std::vector<Bytes>{(Bytes{1, 1, 0, 0, 0, 0})});
    EXPECT_EQ(module_.Poll().OutputSize(), 2);
    EXPECT_FALSE(module_.Silent());

    // Found by the next try, within a second of its return, and from then on every read of every
    // tick brings a value.
    const Call found = *std::find_if(log_.rbegin(), log_.rend(), [](const Call& call) {
        return call.dispId == automation::dispid::kDNAllocate;
    });
    EXPECT_EQ(found.atMs, 10000u);
    EXPECT_LE(found.atMs - back, Module::kRetryMs);
    const auto first = std::find(values.begin(), values.end(), 3);
    ASSERT_NE(first, values.end());
    EXPECT_TRUE(std::all_of(first, values.end(), [](int v) { return v == 3; }));
}

TEST_F(SilentNodeTest, OpeningOrClosingASilentNodeWaitsOnceAtMost)
{
    answering_ = false;
    Run(kPeriodMs); // the node is known to be silent
    EXPECT_TRUE(module_.Close());
    EXPECT_EQ(driver_.Count(automation::dispid::kCloseModule), 0u) << "nothing to release on a silent node";

    const std::uint32_t start = clock_.now;
    EXPECT_FALSE(module_.Open(Allocation::kExplicit | Allocation::kPoll));
    EXPECT_EQ(clock_.now - start, kTimeoutMs);
    EXPECT_EQ(log_.back().dispId, automation::dispid::kDNAllocate);
    EXPECT_TRUE(configs_.empty()) << "no OpenModule without an answer";
    EXPECT_FALSE(module_.IsOpen());
}

} // namespace
} // namespace orv::viewer
