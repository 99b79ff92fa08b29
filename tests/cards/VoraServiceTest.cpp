// The VORA card's own DNService, frame by frame against a scripted library on a fake clock: source
// MAC ID 0 in every header, its waits, request fragmentation with acknowledgements, reassembly of
// fragmented answers up to 250 bytes, only the asked node's frames taken as its acknowledgements
// and only a fitting answer as its answer, and one deadline for the whole call. The slave has
// MAC ID 12: requests on 0x464, answers on 0x463. A look that finds nothing costs the scripted
// library 1 ms, and the card pauses kLookInterval before the next.

#include "driver/cards/VoraCard.h"
#include "tests/devicenet/ExplicitScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

    // Takes the frame the node sent after the call had ended.
    void TakeLateFrame()
    {
        std::uint16_t identifier = 0;
        std::uint16_t length = 0;
        std::array<std::uint8_t, 64> data{};
        EXPECT_EQ(card->CANRcv(&identifier, &length, data.data()), 0);
    }

    ScriptedPeer peer; // first: it outlives the card and checks its script last
    std::unique_ptr<VoraCard> card;
};

// ---- the request ------------------------------------------------------------------------------

struct RequestCase {
    int length;
    std::vector<std::string> frames; // each acknowledged by the node when fragmented
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
    EXPECT_EQ(peer.Elapsed(), VoraCard::kDrainWait + 1u) << "the drain's wait and look; the node's frames are there at once";
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, VoraRequest,
    testing::Values(RequestCase{0, {"464: 00 32 40 01"}}, RequestCase{4, {"464: 00 32 40 01 A0 A1 A2 A3"}},
                    RequestCase{5, {"464: 80 00 32 40 01 A0 A1 A2", "464: 80 81 A3 A4"}},
                    RequestCase{9, {"464: 80 00 32 40 01 A0 A1 A2", "464: 80 81 A3 A4 A5 A6 A7 A8"}},
                    RequestCase{10, {"464: 80 00 32 40 01 A0 A1 A2", "464: 80 41 A3 A4 A5 A6 A7 A8", "464: 80 82 A9"}}),
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
    // Due at 501 + 499; the looks every 6 ms end with a last one when the wait ends, at 1001.
    EXPECT_EQ(peer.Elapsed(), 1001u) << "the fragment is taken at the first look after it came";
}

TEST_F(VoraService, AnswerKeepsAt250Bytes)
{
    const std::vector<std::uint8_t> body =
        ScriptFragmentedAnswer(peer, "464: 00 32 40 01", 0xB2, std::vector<std::size_t>(50, 6), 0x81, 0x80);
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

// A series that never ends: a first fragment, then middle fragments in order.
std::vector<std::string> Babble(std::size_t count)
{
    std::vector<std::string> frames;
    for (std::size_t k = 0; k < count; ++k) {
        const auto type = static_cast<std::uint8_t>(k == 0 ? 0x00 : 0x40);
        frames.push_back(FrameText(0x463, {0x80, static_cast<std::uint8_t>(type | (k & 0x3F)), 0xB2, 0x00}));
    }
    return frames;
}

INSTANTIATE_TEST_SUITE_P(
    Fragments, VoraSeriesEnd,
    testing::Values(VoraBroken{"CountSkips", {"463: 81 00 B2 01 02 03 04 05", "463: 81 82 06"}, 1},
                    VoraBroken{"NoFragmentationByte", {"463: 81 00 B2 01 02 03 04 05", "463: 81"}, 1},
                    VoraBroken{"NeverEnding", Babble(65), 64}),
    [](const testing::TestParamInfo<VoraBroken>& info) { return std::string(info.param.name); });

// ---- which frame is the answer ----------------------------------------------------------------

struct VoraFit {
    const char* name;
    std::vector<std::string> frames; // the node's, after the request
    std::int32_t result;
    std::string reply; // from byte 4, on success
};

void PrintTo(const VoraFit& c, std::ostream* os) { *os << c.name; }

class VoraAnswerFit : public VoraService, public testing::WithParamInterface<VoraFit> {};

TEST_P(VoraAnswerFit, OnlyAnAnswerThatFitsTheRequestIsTaken)
{
    const VoraFit& c = GetParam();
    ScriptedPeer::Step& step = peer.Expect("464: 00 32 40 01");
    for (const std::string& frame : c.frames) {
        step.Reply(frame);
    }
    GuardedBuffer buffer;
    EXPECT_EQ(Service(0, buffer), c.result);
    EXPECT_EQ(c.result == 0 ? buffer.Hex(4, 2u + buffer.ReplyLength()) : buffer.WrittenFrom(0), c.reply);
    // The drain until 501, then the answer at once, or the whole answer wait and its last look.
    EXPECT_EQ(peer.Elapsed(), 501u + (c.result == 0 ? 0u : VoraCard::kResponseWait + 1u))
        << "no frame ends the wait but the answer";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, VoraAnswerFit,
    testing::Values(VoraFit{"LateAnswerOfAnotherServiceFirst", {"463: 00 8E 01", "463: 00 B2 00"}, 0, "03 00 00 B2 00"},
                    VoraFit{"ErrorResponse", {"463: 00 94 08 00"}, 0, "04 00 00 94 08 00"},
                    VoraFit{"SeriesStartingWithAMiddleFragment", {"463: 80 41 B2 01", "463: 80 82 02"}, kNothingReceived, ""},
                    VoraFit{"LoneLastFragment", {"463: 80 80 B2 01"}, kNothingReceived, ""},
                    VoraFit{"Acknowledgement", {"463: 81 C0 00"}, kNothingReceived, ""},
                    VoraFit{"NoServiceCode", {"463: 00", "463: 80 00"}, kNothingReceived, ""}),
    [](const testing::TestParamInfo<VoraFit>& info) { return std::string(info.param.name); });

// ---- one deadline for the call ----------------------------------------------------------------

static_assert(VoraCard::kCallBound == 2000);

TEST_F(VoraService, AnAnswerDrippedJustInsideEachWaitEndsAtTheDeadline)
{
    // Each fragment 450 ms after the acknowledgement of the one before: 0.9 of the answer wait.
    // Drain until 501; fragments at 501, 951, 1401 and 1851; the one due at 2301 is past the call.
    ScriptedPeer::Step* step = &peer.Expect("464: 00 32 40 01");
    step->Reply("463: 80 00 B2 AA");
    for (unsigned k = 0; k < 4; ++k) {
        step = &peer.Expect(FrameText(0x464, {0x80, static_cast<std::uint8_t>(0xC0 | k), 0x00}));
        step->ReplyAfter(450, FrameText(0x463, {0x80, static_cast<std::uint8_t>(0x41 + k), 0xAA}));
    }
    GuardedBuffer buffer;
    EXPECT_EQ(Service(0, buffer), kNothingReceived);
    EXPECT_EQ(peer.Elapsed(), VoraCard::kCallBound + 1u) << "the deadline, and the look under way at it";
    EXPECT_EQ(buffer.WrittenFrom(0), "");
    EXPECT_EQ(peer.PendingFrames(), 1u);
    peer.Sleep(1000);
    TakeLateFrame();
}

TEST_F(VoraService, SlowAcknowledgementsOfALongRequestEndAtTheDeadline)
{
    // A request of 131 body bytes goes in 22 fragments; each acknowledgement comes after 90 ms.
    // Sixteen are acknowledged by 1941; the seventeenth acknowledgement, due at 2031, is too late.
    std::vector<std::uint8_t> body{0x32, 0x40, 0x01};
    const std::vector<std::uint8_t> data = Counting(128, 0x00);
    body.insert(body.end(), data.begin(), data.end());
    for (unsigned k = 0; k < 17; ++k) {
        const auto type = static_cast<std::uint8_t>(k == 0 ? 0x00 : 0x40);
        std::vector<std::uint8_t> frame(8, 0x80);
        frame[1] = static_cast<std::uint8_t>(type | k);
        std::copy_n(body.begin() + 6 * k, 6, frame.begin() + 2);
        peer.Expect(FrameText(0x464, frame)).ReplyAfter(90, FrameText(0x463, {0x80, static_cast<std::uint8_t>(0xC0 | k), 0}));
    }
    GuardedBuffer buffer(400, data);
    EXPECT_EQ(Service(128, buffer), -1) << "a missing acknowledgement";
    EXPECT_EQ(peer.Elapsed(), VoraCard::kCallBound + 1u);
    EXPECT_EQ(buffer.WrittenFrom(128), "");
    EXPECT_EQ(peer.PendingFrames(), 1u);
    peer.Sleep(1000);
    TakeLateFrame();
}

} // namespace
} // namespace orv::test
