// The browse behind `scan`, frame by frame against a scripted peer on its fake clock: the link is
// the driver's own CAN port and explicit messaging over the peer, so the raw frames and the reads
// cross the same code as on the SST card.
//
// Each row scripts the Allocate requests to every MAC ID but the master's (with the answers of the
// nodes that are there, `delay` fake ms after their request), the identity reads of the nodes the
// browse may read, and the Release requests; the peer fails the test on any frame the script does
// not name, so a Release to a node the browse did not allocate, or a read of a node it may not
// read, is caught there.

#include "tools/dnet/Browse.h"

#include "driver/devicenet/DeviceNetMaster.h"
#include "driver/devicenet/Identifiers.h"
#include "support/FrameText.h"
#include "support/ScriptedPeer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace orv::dnet {
namespace {

using devicenet::Group2Identifier;
using devicenet::Group2Message;
using test::ScriptedPeer;

constexpr std::uint32_t kReadTimeoutMs = 1000;

// The identity every node of the script answers, by attribute: small enough for single frames.
const std::map<int, std::string> kIdentity = {
    {1, "B7 04"}, {2, "0C 00"}, {3, "69 10"}, {4, "01 04"}, {5, "31 00"}, {6, "C5 E1 B7 00"}, {7, "04 4E 6F 64 65"},
    {8, "03"},
};

class PeerLink final : public BrowseLink {
public:
    PeerLink(ScriptedPeer& peer, int master) : peer_(peer), engine_(peer, peer, devicenet::MasterPolicy::Sst())
    {
        engine_.Port().Open(static_cast<std::uint8_t>(master));
    }

    bool Send(const devicenet::CanFrame& frame) override
    {
        return engine_.Port().CANXmit(frame.identifier, frame.length, frame.data.data()) == 0;
    }
    bool Receive(devicenet::CanFrame& frame, std::uint32_t milliseconds) override
    {
        EXPECT_GT(milliseconds, 0u) << "a wait of nothing";
        engine_.Port().SetTimeout(static_cast<int>(milliseconds));
        std::uint16_t length = 0;
        const bool got = engine_.Port().CANRcv(&frame.identifier, &length, frame.data.data()) == 0;
        frame.length = static_cast<std::uint8_t>(length);
        return got;
    }
    std::uint32_t NowMs() override { return peer_.TickCount(); }
    std::optional<Reply> GetAttribute(int node, int classId, int instance, int attribute) override
    {
        engine_.Port().SetTimeout(kReadTimeoutMs);
        std::uint8_t buffer[devicenet::ReplyBuffer::kCallerSize] = {};
        if (engine_.DNGetAttribute(node, classId, instance, attribute, buffer) != 0) {
            return std::nullopt;
        }
        return ReadReply(buffer, sizeof buffer, devicenet::kServiceGetAttributeSingle);
    }

private:
    ScriptedPeer& peer_;
    devicenet::DeviceNetMaster engine_;
};

std::string FrameOf(int node, Group2Message message, const std::string& bytes)
{
    char id[8];
    std::snprintf(id, sizeof id, "%03X", Group2Identifier(static_cast<unsigned>(node), message));
    return std::string(id) + ": " + bytes;
}

std::string Answer(int node, const std::string& bytes)
{
    return FrameOf(node, Group2Message::ExplicitResponse, bytes);
}

struct Timed {
    int node;
    std::uint32_t delay; // fake ms after the request to the node
    std::string bytes;   // the answer's data bytes, header included; empty: no answer
};

struct Read {
    int node;
    int silentAt = 0;    // no answer to this attribute, and nothing asked after it
    int unsupported = 0; // an error response to this attribute
};

struct Row {
    const char* name;
    std::vector<Timed> allocation = {};
    std::vector<Read> reads = {};
    std::vector<Timed> release = {};
    std::vector<std::string> nodes = {}; // what the browse found (Summary)
    std::string failure = {};            // empty: the browse succeeds
    std::uint32_t bitrate = 125000;
    std::uint32_t waitMs = 20;
    int master = 0;
    std::map<int, int> refusals = {};                              // node: sends of its Allocate refused
    std::vector<std::pair<std::uint32_t, std::string>> stray = {}; // frames on the bus from the start
    std::vector<std::string> stale = {}; // frames waiting in the card before the browse
};

// "5 allocated read 8 released", "9 held 0C/01 read 0 not-ours".
std::string Summary(const ScannedNode& node)
{
    static const char* kAccess[] = {"allocated", "already", "held", "refused"};
    static const char* kRelease[] = {"not-ours", "released", "refused", "unanswered", "not-sent"};
    std::string text = std::to_string(node.node) + " " + kAccess[static_cast<int>(node.access)];
    if (node.access == ScannedNode::Access::Held || node.access == ScannedNode::Access::Refused) {
        const auto code = [](std::optional<std::uint8_t> c) { return c ? test::FormatBytes(&*c, 1) : "-"; };
        text += " " + code(node.allocationError.generalCode) + "/" + code(node.allocationError.additionalCode);
    }
    text += " read " + std::to_string(node.identity.size());
    if (node.silentAt) {
        text += " silent " + std::to_string(*node.silentAt);
    }
    return text + " " + kRelease[static_cast<int>(node.release)];
}

void ScriptAllocation(ScriptedPeer& peer, const Row& row)
{
    for (int node = 0; node < 64; ++node) {
        if (node == row.master) {
            continue;
        }
        char request[32];
        std::snprintf(request, sizeof request, "%02X 4B 03 01 01 %02X", row.master, row.master);
        const std::string frame = FrameOf(node, Group2Message::UnconnectedRequest, request);
        const auto refused = row.refusals.find(node);
        const int refusals = refused == row.refusals.end() ? 0 : refused->second;
        for (int i = 0; i < refusals; ++i) {
            peer.Expect(frame).Refuse();
        }
        if (refusals >= 3) {
            return; // the card gave up on it: no further request goes out
        }
        ScriptedPeer::Step& step = peer.Expect(frame);
        for (const Timed& answer : row.allocation) {
            if (answer.node == node) {
                step.ReplyAfter(answer.delay, Answer(node, answer.bytes));
            }
        }
    }
}

void ScriptReads(ScriptedPeer& peer, const Row& row)
{
    for (const Read& read : row.reads) {
        for (const int attribute : kScanIdentityAttributes) {
            char request[32];
            std::snprintf(request, sizeof request, "%02X 0E 01 01 %02X", row.master, attribute);
            ScriptedPeer::Step& step = peer.Expect(FrameOf(read.node, Group2Message::ExplicitRequest, request));
            char header[4];
            std::snprintf(header, sizeof header, "%02X", row.master);
            if (attribute == read.silentAt) {
                step.NoReply();
                break;
            }
            step.Reply(Answer(read.node, std::string(header) +
                                             (attribute == read.unsupported ? " 94 14 FF" : " 8E " + kIdentity.at(attribute))));
        }
    }
}

void ScriptRelease(ScriptedPeer& peer, const Row& row)
{
    for (const Timed& release : row.release) {
        char request[32];
        std::snprintf(request, sizeof request, "%02X 4C 03 01 01", row.master);
        ScriptedPeer::Step& step = peer.Expect(FrameOf(release.node, Group2Message::UnconnectedRequest, request));
        if (!release.bytes.empty()) {
            step.ReplyAfter(release.delay, Answer(release.node, release.bytes));
        }
    }
}

const Row kRows[] = {
    {"requests back to back, answers in any order",
     {{63, 1, "00 CB 00"}, {5, 9, "00 CB 00"}, {20, 4, "00 CB 00"}},
     {{5}, {20}, {63}},
     {{5, 3, "00 CC"}, {20, 1, "00 CC"}, {63, 2, "00 CC"}},
     {"5 allocated read 8 released", "20 allocated read 8 released", "63 allocated read 8 released"}},
    {"a node held by another master is listed and never sees a Release",
     {{9, 2, "00 94 0C 01"}, {12, 3, "00 CB 00"}},
     {{12}},
     {{12, 0, "00 CC"}},
     {"9 held 0C/01 read 0 not-ours", "12 allocated read 8 released"}},
    {"other refusals are left alone; a node already allocated to this master is read and kept",
     {{4, 1, "00 94 08 FF"}, {6, 1, "00 94 0B 02"}, {7, 1, "00 94"}},
     {{6}},
     {},
     {"4 refused 08/- read 0 not-ours", "6 already read 8 not-ours", "7 refused -/- read 0 not-ours"}},
    // 63 requests of 6 bytes take 7245 bits, 58 ms at 125 kbit/s: the window closes 20 ms later,
    // and node 7's own answer moves it on by its 85 bits (to 79 ms).
    {"a late answer within the window is found, one after it is not",
     {{7, 77, "00 CB 00"}, {8, 80, "00 CB 00"}},
     {{7}},
     {{7, 0, "00 CC"}},
     {"7 allocated read 8 released"}},
    // The same requests take 15 ms at 500 kbit/s.
    {"the window follows the data rate",
     {{7, 34, "00 CB 00"}, {8, 37, "00 CB 00"}},
     {{7}},
     {{7, 0, "00 CC"}},
     {"7 allocated read 8 released"},
     "",
     500000},
    {"a longer wait takes later answers",
     {{7, 120, "00 CB 00"}, {8, 150, "00 CB 00"}},
     {{7}},
     {{7, 0, "00 CC"}},
     {"7 allocated read 8 released"},
     "",
     125000,
     70},
    {"answers that are not this master's, duplicates and other services are passed over",
     {{3, 2, "00 4C 00"}, {3, 3, "00 CB 00"}, {3, 4, "00 94 0C 01"}, {11, 1, "00 CC"}},
     {{3}},
     {{3, 0, "00 CC"}},
     {"3 allocated read 8 released"},
     "",
     125000,
     20,
     0,
     {},
     {{0, "41B: 05 CB 00"}, {0, "41B: 80 CB 00"}, {1, "403: 00 CB 00"}, {1, "7FF: 00 CB 00"}, {2, "41B:"}}},
    {"an answer that waited in the card before the browse is no answer to it",
     {{5, 2, "00 94 0C 01"}},
     {},
     {},
     {"5 held 0C/01 read 0 not-ours"},
     "",
     125000,
     20,
     0,
     {},
     {},
     {"42B: 00 CB 00", "463: 00 CB 00"}},
    {"the master's own MAC ID is not asked",
     {{63, 1, "05 CB 00"}},
     {{63}},
     {{63, 0, "05 CC"}},
     {"63 allocated read 8 released"},
     "",
     125000,
     20,
     5},
    {"reads stop at the first silence; an unsupported attribute stays unknown",
     {{10, 1, "00 CB 00"}, {11, 1, "00 CB 00"}},
     {{10, 3}, {11, 0, 8}},
     {{10, 0, "00 CC"}, {11, 0, "00 CC"}},
     {"10 allocated read 2 silent 3 released", "11 allocated read 7 released"}},
    {"a refused or unanswered Release is reported",
     {{2, 1, "00 CB 00"}, {3, 1, "00 CB 00"}},
     {{2}, {3}},
     {{2, 1, "00 94 0C 01"}, {3, 0, ""}},
     {"2 allocated read 8 refused", "3 allocated read 8 unanswered"}},
    {"a request the card refuses goes out again after a pause",
     {{4, 1, "00 CB 00"}},
     {{4}},
     {{4, 0, "00 CC"}},
     {"4 allocated read 8 released"},
     "",
     125000,
     20,
     0,
     {{4, 2}}},
    {"a card that keeps refusing ends the browse, and what it allocated is released unread",
     {{3, 1, "00 CB 00"}},
     {},
     {{3, 0, "00 CC"}},
     {"3 allocated read 0 released"},
     "the card refused the allocation request to node 10",
     125000,
     20,
     0,
     {{10, 3}}},
};

TEST(Browse, FrameByFrame)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        ScriptedPeer peer;
        for (const std::string& frame : row.stale) {
            peer.Stale(frame);
        }
        for (const auto& [delay, frame] : row.stray) {
            peer.Deliver(frame, delay);
        }
        ScriptAllocation(peer, row);
        ScriptReads(peer, row);
        ScriptRelease(peer, row);
        PeerLink link(peer, row.master);
        ScanResult result;
        const Outcome outcome = Browse(link, {row.master, row.bitrate, row.waitMs}, result);

        EXPECT_EQ(outcome.Ok() ? "" : outcome.message, row.failure);
        std::vector<std::string> found;
        for (const ScannedNode& node : result.nodes) {
            found.push_back(Summary(node));
        }
        EXPECT_EQ(found, row.nodes) << peer.Transcript();
        if (row.refusals.empty()) {
            // Back to back: from the first request to the last nothing is taken from the bus.
            const auto& log = peer.Log();
            std::size_t first = 0;
            while (first < log.size() && log[first].direction != ScriptedPeer::Direction::FromMaster) {
                ++first;
            }
            ASSERT_GE(log.size(), first + 63);
            for (std::size_t i = first; i < first + 63; ++i) {
                EXPECT_EQ(log[i].direction, ScriptedPeer::Direction::FromMaster) << i << "\n" << peer.Transcript();
            }
        }
    }
}

TEST(Browse, ReadsWhatTheNodesAnswer)
{
    ScriptedPeer peer;
    Row row{"one node", {{63, 1, "00 CB 00"}}, {{63}}, {{63, 0, "00 CC"}}, {}};
    ScriptAllocation(peer, row);
    ScriptReads(peer, row);
    ScriptRelease(peer, row);
    PeerLink link(peer, 0);
    ScanResult result;
    ASSERT_TRUE(Browse(link, {0, 125000, 20}, result).Ok());
    ASSERT_EQ(result.nodes.size(), 1u);
    std::vector<std::string> values;
    for (const IdentityValue& value : result.nodes[0].identity) {
        values.push_back(std::to_string(value.attribute) + ": " + test::FormatBytes(value.value));
    }
    EXPECT_EQ(values, (std::vector<std::string>{"1: B7 04", "2: 0C 00", "3: 69 10", "4: 01 04", "6: C5 E1 B7 00",
                                                "7: 04 4E 6F 64 65", "5: 31 00", "8: 03"}));
    // The drain before the requests (1 ms: the queue is empty); the window: the requests' 58 ms on
    // the wire, with the answer's 85 bits 59 ms, and 20 ms of wait; then eight reads of 1 ms each
    // (the driver's drain before each request), and the release, which ends as soon as its answer
    // is in.
    EXPECT_EQ(peer.Elapsed(), 1u + 59u + 20u + 8u);
}

} // namespace
} // namespace orv::dnet
