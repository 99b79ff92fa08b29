// The VORA card's own DNService, frame by frame against a scripted library on a fake clock: source
// MAC ID 0 in every header, the waits before each look for frames, request fragmentation with
// acknowledgements, reassembly of fragmented answers up to 250 bytes, and only the asked node's
// frames taken as its acknowledgements and answers. The slave has MAC ID 12: requests on 0x464,
// answers on 0x463.

#include "driver/cards/VoraCard.h"
#include "tests/devicenet/ExplicitScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace orv::test {
namespace {

using cards::VoraCard;

constexpr std::int32_t kNothingReceived = cards::drv712::kNothingReceived;
constexpr std::int32_t kRefused = 3;

// The library's frame functions over the scripted peer (C function pointers cannot carry it).
ScriptedPeer* gPeer = nullptr;

std::int32_t LoadVXD(std::int32_t, std::int32_t, std::uint8_t*) { return 0; }
std::int32_t UnloadVXD() { return 0; }

std::int32_t CANXmit(std::int32_t identifier, std::int32_t length, const std::uint8_t* data)
{
    devicenet::CanFrame frame;
    frame.identifier = static_cast<std::uint16_t>(identifier);
    frame.length = static_cast<std::uint8_t>(length);
    std::memcpy(frame.data.data(), data, std::min<std::size_t>(static_cast<std::size_t>(length), 8));
    return gPeer->SendFrame(frame) ? 0 : kRefused;
}

// Like a library that writes as many bytes as its length field says (up to 15) from offset 6.
std::int32_t CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* buffer)
{
    devicenet::CanFrame frame;
    if (!gPeer->ReceiveFrame(frame)) {
        return kNothingReceived;
    }
    *identifier = frame.identifier;
    *length = frame.length;
    for (std::size_t i = 0; i < std::min<std::size_t>(frame.length, 15); ++i) {
        buffer[6 + i] = i < 8 ? frame.data[i] : kFiller;
    }
    return 0;
}

class VoraService : public testing::Test {
protected:
    VoraService()
    {
        gPeer = &peer;
        cards::VoraLibrary library;
        library.functions.LoadVXD = &LoadVXD;
        library.functions.UnloadVXD = &UnloadVXD;
        library.functions.CANXmit = &CANXmit;
        library.functions.CANRcv = &CANRcv;
        card = std::make_unique<VoraCard>(std::move(library), peer);
        std::uint8_t config[80] = {};
        EXPECT_EQ(card->LoadVXD(0, 0, config), 0);
    }
    ~VoraService() override
    {
        card.reset();
        gPeer = nullptr;
    }

    std::int32_t Service(int length, GuardedBuffer& buffer) { return card->DNService(kSlave, 0x40, 1, 0x32, length, buffer.data()); }

    ScriptedPeer peer; // first: it outlives the card and checks its script last
    std::unique_ptr<VoraCard> card;
};

// ---- the request ------------------------------------------------------------------------------

struct RequestCase {
    int length;
    std::vector<std::string> frames; // each acknowledged by the node when fragmented
    std::uint32_t elapsed;           // drain wait, its empty look, 100 per fragment, answer wait
};

class VoraRequest : public VoraService, public testing::WithParamInterface<RequestCase> {};

TEST_P(VoraRequest, GoesOutInTheseFramesWithSourceMacIdZero)
{
    const RequestCase& c = GetParam();
    for (std::size_t k = 0; k < c.frames.size(); ++k) {
        ScriptedPeer::Step& step = peer.Expect(c.frames[k]);
        if (c.frames.size() > 1) {
            step.Reply(FrameText(0x463, {0x81, static_cast<std::uint8_t>(0xC0 | k), 0x00}));
        }
        if (k + 1 == c.frames.size()) {
            step.Reply("463: 01 B2 00");
        }
    }
    GuardedBuffer buffer(400, Counting(static_cast<std::size_t>(c.length)));
    EXPECT_EQ(Service(c.length, buffer), 0);
    EXPECT_EQ(buffer.Hex(4, 5), "03 00 01 B2 00");
    EXPECT_EQ(peer.Elapsed(), c.elapsed);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, VoraRequest,
    testing::Values(RequestCase{0, {"464: 00 32 40 01"}, 1001},
                    RequestCase{4, {"464: 00 32 40 01 A0 A1 A2 A3"}, 1001},
                    RequestCase{5, {"464: 80 00 32 40 01 A0 A1 A2", "464: 80 81 A3 A4"}, 1201},
                    RequestCase{9, {"464: 80 00 32 40 01 A0 A1 A2", "464: 80 81 A3 A4 A5 A6 A7 A8"}, 1201},
                    RequestCase{10,
                                {"464: 80 00 32 40 01 A0 A1 A2", "464: 80 41 A3 A4 A5 A6 A7 A8", "464: 80 82 A9"},
                                1301}),
    [](const testing::TestParamInfo<RequestCase>& info) { return "Length" + std::to_string(info.param.length); });

TEST_F(VoraService, RefusalsAndAMissingAcknowledgement)
{
    peer.Expect("464: 00 32 40 01").Refuse();
    peer.Expect("464: 80 00 32 40 01 A0 A1 A2").NoReply();
    peer.Expect("464: 80 00 32 40 01 A0 A1 A2").Reply("100: 01").Reply("453: 81 C0 00");
    GuardedBuffer buffer(400, Counting(5));
    EXPECT_EQ(Service(0, buffer), kRefused) << "the library's result, passed on";
    EXPECT_EQ(Service(5, buffer), -1) << "no acknowledgement";
    EXPECT_EQ(Service(5, buffer), -1) << "another node's acknowledgement is none";
    EXPECT_EQ(card->DNService(kSlave, 0x40, 1, 0x32, 129, buffer.data()), -1);
    EXPECT_EQ(buffer.WrittenFrom(5), "");
}

// ---- the answer -------------------------------------------------------------------------------

TEST_F(VoraService, StaleAndForeignFramesAreNotTheAnswer)
{
    peer.Stale("463: 01 B2 99");
    peer.Stale("100: 01");
    peer.Expect("464: 00 32 40 01").Reply("100: 02").Reply("4A3: 01 B2 98").Reply("3CC: 01").Reply("463: 01 B2 00");
    peer.Expect("464: 00 32 40 01").Reply("100: 02");
    GuardedBuffer buffer;
    EXPECT_EQ(Service(0, buffer), 0);
    EXPECT_EQ(buffer.Hex(4, 5), "03 00 01 B2 00");
    EXPECT_EQ(Service(0, buffer), kNothingReceived) << "nothing from the node: the library's result";
}

TEST_F(VoraService, HostileLengthFieldCopiesEightBytes)
{
    peer.Expect("464: 00 32 40 01").Reply("463/15: 01 B2 01 02 03 04 05 06");
    GuardedBuffer buffer;
    EXPECT_EQ(Service(0, buffer), 0);
    EXPECT_EQ(buffer.ReplyLength(), 8);
    EXPECT_EQ(buffer.Hex(6, 8), "01 B2 01 02 03 04 05 06");
    EXPECT_EQ(buffer.WrittenFrom(14), "");
}

TEST_F(VoraService, FragmentedAnswerIsAcknowledgedAndReassembled)
{
    peer.Expect("464: 00 32 40 01").Reply("463: 81 00 B2 01 02 03 04 05").Reply("100: 07");
    peer.Expect("464: 80 C0 00").ReplyAfter(499, "463: C1 81 06 07 08");
    peer.Expect("464: 80 C1 00").NoReply();
    GuardedBuffer buffer;
    EXPECT_EQ(Service(0, buffer), 0);
    EXPECT_EQ(buffer.ReplyLength(), 10);
    EXPECT_EQ(buffer.Hex(6, 10), "41 B2 01 02 03 04 05 06 07 08");
    EXPECT_EQ(buffer.WrittenFrom(16), "");
    EXPECT_EQ(peer.Elapsed(), 1501u) << "a wait of 500 ms before each answer frame";
}

TEST_F(VoraService, AnswerKeepsAt250Bytes)
{
    const std::vector<std::uint8_t> body =
        ScriptFragmentedAnswer(peer, "464: 00 32 40 01", std::vector<std::size_t>(50, 6), 0x81, 0x80);
    GuardedBuffer buffer;
    EXPECT_EQ(Service(0, buffer), 0);
    EXPECT_EQ(buffer.ReplyLength(), 247);
    EXPECT_EQ(buffer.Hex(7, 246), FormatBytes(body.data(), 246));
    EXPECT_EQ(buffer.WrittenFrom(7 + 246), "");
}

struct VoraBroken {
    const char* name;
    std::vector<std::string> fragments;
    std::size_t acknowledged;
};

class VoraSeriesEnd : public VoraService, public testing::WithParamInterface<VoraBroken> {};

TEST_P(VoraSeriesEnd, FailsWithoutAcknowledgingTheFragmentThatBreaksIt)
{
    const VoraBroken& c = GetParam();
    ScriptedPeer::Step* step = &peer.Expect("464: 00 32 40 01");
    for (std::size_t k = 0; k < c.fragments.size(); ++k) {
        step->Reply(c.fragments[k]);
        if (k < c.acknowledged) {
            const auto count = static_cast<std::uint8_t>(ParseFrame(c.fragments[k]).data[1] & 0x3F);
            step = &peer.Expect(FrameText(0x464, {0x80, static_cast<std::uint8_t>(0xC0 | count), 0x00}));
        }
    }
    GuardedBuffer buffer;
    EXPECT_EQ(Service(0, buffer), -1);
    EXPECT_EQ(buffer.WrittenFrom(0), "");
}

std::vector<std::string> Babble(std::size_t count)
{
    std::vector<std::string> frames;
    for (std::size_t k = 0; k < count; ++k) {
        frames.push_back(FrameText(0x463, {0x80, static_cast<std::uint8_t>(0x40 | (k & 0x3F)), 0x00, 0x00}));
    }
    return frames;
}

INSTANTIATE_TEST_SUITE_P(
    Fragments, VoraSeriesEnd,
    testing::Values(VoraBroken{"AcknowledgementFirst", {"463: 81 C0 00"}, 0},
                    VoraBroken{"CountSkips", {"463: 81 00 B2 01 02 03 04 05", "463: 81 82 06"}, 1},
                    VoraBroken{"NoFragmentationByte", {"463: 81 00 B2 01 02 03 04 05", "463: 81"}, 1},
                    VoraBroken{"NeverEnding", Babble(65), 64}),
    [](const testing::TestParamInfo<VoraBroken>& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv::test
