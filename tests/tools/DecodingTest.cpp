// Decoded forms of the attributes whose meaning is known, error names, and JSON text.

#include "tools/dnet/Decoding.h"
#include "tools/dnet/Json.h"
#include "tools/dnet/Reply.h"
#include "tools/dnet/WireRate.h"

#include <gtest/gtest.h>

#include <vector>

namespace orv::dnet {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<DecodedValue> Decode(int classId, int instance, int attribute, const Bytes& value)
{
    return DecodeAttribute(classId, instance, attribute, value);
}

TEST(DnetErrorNames, GeneralCodesByName)
{
    EXPECT_EQ(GeneralErrorText(0x14), "attribute not supported (0x14)");
    EXPECT_EQ(GeneralErrorText(0x08), "service not supported (0x08)");
    EXPECT_EQ(GeneralErrorText(0x0B), "already in requested mode/state (0x0B)");
    EXPECT_EQ(GeneralErrorText(0x0E), "attribute not settable (0x0E)");
    EXPECT_EQ(GeneralErrorText(0x16), "object does not exist (0x16)");
    EXPECT_EQ(GeneralErrorText(0x20), "invalid parameter (0x20)");
    EXPECT_EQ(GeneralErrorText(0x42), "error 0x42");
}

TEST(DnetDecoding, IdentityAttributes)
{
    auto vendor = Decode(1, 1, 1, {0x4B, 0x01});
    ASSERT_TRUE(vendor);
    EXPECT_EQ(vendor->name, "vendor id");
    EXPECT_EQ(vendor->text, "331");
    EXPECT_EQ(vendor->jsonValue, "331");

    auto revision = Decode(1, 1, 4, {0x02, 0x07});
    ASSERT_TRUE(revision);
    EXPECT_EQ(revision->text, "2.7");
    EXPECT_EQ(revision->jsonValue, R"({"major":2,"minor":7})");

    auto serial = Decode(1, 1, 6, {0x78, 0x56, 0x34, 0x12});
    ASSERT_TRUE(serial);
    EXPECT_EQ(serial->text, "305419896 (0x12345678)");
    EXPECT_EQ(serial->jsonValue, "305419896");

    auto status = Decode(1, 1, 5, {0x05, 0x01});
    ASSERT_TRUE(status);
    EXPECT_EQ(status->text, "0x0105 (owned, configured, minor recoverable fault)");

    auto state = Decode(1, 1, 8, {0x03});
    ASSERT_TRUE(state);
    EXPECT_EQ(state->text, "3 (operational)");
    EXPECT_EQ(state->meaning, "operational");
    auto unknownState = Decode(1, 1, 8, {0x09});
    ASSERT_TRUE(unknownState);
    EXPECT_EQ(unknownState->text, "9");
    EXPECT_TRUE(unknownState->meaning.empty());
}

TEST(DnetDecoding, ProductNameIsAShortStringBoundedByTheValue)
{
    auto name = Decode(1, 1, 7, {0x06, 'B', 'r', 'e', 'l', 'i', 'n'});
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "product name");
    EXPECT_EQ(name->text, "\"Brelin\"");
    EXPECT_EQ(name->jsonValue, "\"Brelin\"");
    // A length byte claiming more than arrived is not decoded (nor read past the value).
    EXPECT_FALSE(Decode(1, 1, 7, {0x09, 'B', 'r'}));
    EXPECT_FALSE(Decode(1, 1, 7, {}));
    // Control characters stay out of the text for people.
    auto odd = Decode(1, 1, 7, {0x02, 'A', 0x07});
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->text, "\"A.\"");
    EXPECT_EQ(odd->jsonValue, "\"A\\u0007\"");
}

TEST(DnetDecoding, DeviceNetAndConnectionAttributes)
{
    EXPECT_EQ(Decode(3, 1, 1, {0x3F})->text, "63");
    EXPECT_EQ(Decode(3, 1, 2, {0x01})->text, "1 (250K)");
    EXPECT_EQ(Decode(3, 1, 5, {0x03, 0x00})->text, "choice 0x03 (explicit, poll), master 0");
    EXPECT_EQ(Decode(3, 1, 5, {0x00, 0xFF})->text, "choice 0x00, no master");
    // The one table of choice bits the monitor uses too: bit 3 is the multicast poll.
    EXPECT_EQ(Decode(3, 1, 5, {0x0A, 0x01})->text, "choice 0x0A (poll, multicast poll), master 1");
    EXPECT_EQ(AllocationChoiceNames(0x7F),
              "explicit, poll, bit-strobe, multicast poll, change of state, cyclic, acknowledge suppression");

    EXPECT_EQ(Decode(5, 1, 1, {0x03})->text, "3 (established)");
    EXPECT_EQ(Decode(5, 2, 7, {0x08, 0x00})->text, "8 bytes");
    EXPECT_EQ(Decode(5, 2, 8, {0x10, 0x00})->name, "consumed connection size");
    EXPECT_EQ(Decode(5, 1, 9, {0xE8, 0x03})->text, "1000 ms");
    EXPECT_EQ(Decode(5, 1, 4, {0xFB, 0x05})->text, "0x05FB");
    EXPECT_EQ(Decode(5, 1, 12, {0x01})->text, "1 (auto delete)");
}

TEST(DnetDecoding, ClassAttributesOfAnyObject)
{
    auto revision = Decode(64, 0, 1, {0x02, 0x00});
    ASSERT_TRUE(revision);
    EXPECT_EQ(revision->name, "class revision");
    // Instance attribute 1 of the same object has no known meaning.
    EXPECT_FALSE(Decode(64, 1, 1, {0x02, 0x00}));
}

TEST(DnetDecoding, UnknownOrMisSizedValuesAreNotDecoded)
{
    EXPECT_FALSE(Decode(1, 1, 1, {0x4B}));             // vendor id of one byte
    EXPECT_FALSE(Decode(1, 1, 1, {0x4B, 0x01, 0x00})); // or of three
    EXPECT_FALSE(Decode(1, 1, 99, {0x00}));
    EXPECT_FALSE(Decode(65, 1, 3, {0x00}));
}

TEST(DnetJson, StringsAreEscaped)
{
    EXPECT_EQ(JsonString("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(JsonString(std::string("\n\x01", 2)), R"("\u000a\u0001")");
    EXPECT_EQ(JsonString("\xC3\xA9"), R"("\u00c3\u00a9")");
    JsonObject object;
    object.String("s", "x").Number("n", 5LL).Bool("b", false).Raw("a", "[1]").Number("d", 0.5);
    EXPECT_EQ(object.Text(), R"({"s":"x","n":5,"b":false,"a":[1],"d":0.5})");
}

// The reply area: bytes 4-5 the length, 6 the header, 7 the service, data from 8.
Bytes ReplyBuffer(const Bytes& answer)
{
    Bytes buffer(64, 0xEE);
    buffer[4] = static_cast<std::uint8_t>(answer.size());
    buffer[5] = 0;
    std::copy(answer.begin(), answer.end(), buffer.begin() + 6);
    return buffer;
}

TEST(DnetReply, SuccessCarriesTheValue)
{
    const Bytes buffer = ReplyBuffer({0x3F, 0x8E, 0x4B, 0x01});
    const Reply reply = ReadReply(buffer.data(), buffer.size(), 0x0E);
    EXPECT_EQ(reply.kind, Reply::Kind::Success);
    EXPECT_EQ(reply.length, 4u);
    EXPECT_EQ(reply.data, (Bytes{0x4B, 0x01}));
}

TEST(DnetReply, ErrorResponseCarriesTheCodes)
{
    const Bytes full = ReplyBuffer({0x3F, 0x94, 0x14, 0xFF});
    Reply reply = ReadReply(full.data(), full.size(), 0x0E);
    EXPECT_EQ(reply.kind, Reply::Kind::ErrorResponse);
    EXPECT_TRUE(reply.hasGeneralCode);
    EXPECT_EQ(reply.generalCode, 0x14);
    EXPECT_EQ(reply.additionalCode, kNoAdditionalCode);

    const Bytes shortOne = ReplyBuffer({0x3F, 0x94, 0x08});
    reply = ReadReply(shortOne.data(), shortOne.size(), 0x10);
    EXPECT_EQ(reply.kind, Reply::Kind::ErrorResponse);
    EXPECT_EQ(reply.generalCode, 0x08);
    EXPECT_EQ(reply.additionalCode, kNoAdditionalCode); // not the 0xEE beyond the answer

    const Bytes bare = ReplyBuffer({0x3F, 0x94});
    reply = ReadReply(bare.data(), bare.size(), 0x10);
    EXPECT_EQ(reply.kind, Reply::Kind::ErrorResponse);
    EXPECT_FALSE(reply.hasGeneralCode);
}

TEST(DnetReply, OtherAnswersAreUnexpected)
{
    const Bytes otherService = ReplyBuffer({0x3F, 0x90, 0x00});
    EXPECT_EQ(ReadReply(otherService.data(), otherService.size(), 0x0E).kind, Reply::Kind::Unexpected);

    const Bytes tooShort = ReplyBuffer({0x3F});
    EXPECT_EQ(ReadReply(tooShort.data(), tooShort.size(), 0x0E).kind, Reply::Kind::Unexpected);

    // A length beyond the caller's buffer is never read.
    Bytes tooLong = ReplyBuffer({0x3F, 0x8E});
    tooLong[4] = 59; // 6 + 59 > 64
    EXPECT_EQ(ReadReply(tooLong.data(), tooLong.size(), 0x0E).kind, Reply::Kind::Unexpected);
    tooLong[4] = 58;
    EXPECT_EQ(ReadReply(tooLong.data(), tooLong.size(), 0x0E).kind, Reply::Kind::Success);
    tooLong[4] = 0x00;
    tooLong[5] = 0x01; // 256: the high byte counts
    EXPECT_EQ(ReadReply(tooLong.data(), tooLong.size(), 0x0E).kind, Reply::Kind::Unexpected);
}

TEST(DnetWireRate, WorstCaseBitsOfStandardFrames)
{
    EXPECT_EQ(WorstCaseFrameBits(0), 55u);
    EXPECT_EQ(WorstCaseFrameBits(5), 105u);
    EXPECT_EQ(WorstCaseFrameBits(8), 135u);
    // Request of 5 bytes and answer of 4 at 125 kbit/s: 125000 / (105 + 95) exchanges per second.
    EXPECT_DOUBLE_EQ(WireLimitedRate(125000, 5, 4), 625.0);
    EXPECT_DOUBLE_EQ(WireLimitedRate(500000, 5, 4), 2500.0);
}

TEST(DnetWireRate, OnlyTheSimulatedBusWithWireTimingIsTimed)
{
    EXPECT_TRUE(IsWireTimedBus("sim:timing=wire"));
    EXPECT_TRUE(IsWireTimedBus("sim:node=10,timing=wire"));
    EXPECT_TRUE(IsWireTimedBus("sim:timing=wire, node=10"));
    EXPECT_FALSE(IsWireTimedBus("sim"));
    EXPECT_FALSE(IsWireTimedBus("sim:node=10"));
    EXPECT_FALSE(IsWireTimedBus("tcp://127.0.0.1:35468/can0"));
    EXPECT_FALSE(IsWireTimedBus("sim:timing=wired"));
}

} // namespace
} // namespace orv::dnet
