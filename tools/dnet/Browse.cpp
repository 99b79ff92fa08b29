#include "tools/dnet/Browse.h"

#include "tools/dnet/WireRate.h"

#include "driver/devicenet/Identifiers.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <functional>
#include <span>
#include <vector>

namespace orv::dnet {
namespace {

using devicenet::CanFrame;

constexpr std::uint8_t kExplicitChoice = 0x01;
constexpr int kIdentityClass = 1;
constexpr int kIdentityInstance = 1;
// General error codes that decide what an allocation's refusal means.
constexpr std::uint8_t kAlreadyInRequestedState = 0x0B;
constexpr std::uint8_t kObjectStateConflict = 0x0C;
// A card's transmit queue may fill when every request goes at once: a refused request is tried
// again after a pause in which answers are taken, this often at most.
constexpr int kSendAttempts = 3;
constexpr std::uint32_t kRetryPauseMs = 2;
// More frames than any card's receive queue holds: a drain ends even on a flooded bus.
constexpr int kDrainLimit = 8192;

// An answer to a connection request of this master: a Group 2 explicit response, not fragmented,
// whose header carries the master's MAC ID.
struct Answer {
    int node = 0;
    std::uint8_t service = 0;
    ScannedNode::Error error; // of an error response
};

std::optional<Answer> ReadAnswer(const CanFrame& frame, std::uint8_t master)
{
    if (!devicenet::IsExplicitResponse(frame.identifier) || frame.dataLength() < 2 ||
        (frame.data[0] & devicenet::kHeaderFragment) != 0 || (frame.data[0] & devicenet::kHeaderMacMask) != master) {
        return std::nullopt;
    }
    Answer answer{static_cast<int>(devicenet::MacIdOf(frame.identifier)), frame.data[1], {}};
    if (answer.service == devicenet::kServiceErrorResponse) {
        if (frame.dataLength() >= 3) {
            answer.error.generalCode = frame.data[2];
        }
        if (frame.dataLength() >= 4 && frame.data[3] != kNoAdditionalCode) {
            answer.error.additionalCode = frame.data[3];
        }
    }
    return answer;
}

CanFrame ConnectionRequest(int node, std::uint8_t service, std::uint8_t master)
{
    CanFrame frame;
    frame.identifier = devicenet::Group2Identifier(static_cast<unsigned>(node),
                                                   devicenet::Group2Message::UnconnectedRequest);
    frame.data = {master, service, devicenet::kDeviceNetClass, 0x01, kExplicitChoice, master};
    frame.length = service == devicenet::kServiceAllocate ? 6 : 5; // an Allocate names its allocator
    return frame;
}

// When a run of requests stops waiting for answers: `waitMs` after the wire can have carried every
// frame counted, or after the last send if the card took longer than that to take the requests.
class Window {
public:
    Window(const BrowseSettings& settings, std::uint32_t now)
        : bitrate_(std::max<std::uint32_t>(settings.bitrate, 1)), waitMs_(settings.waitMs), start_(now)
    {
    }

    void Sent(const CanFrame& frame, std::uint32_t now)
    {
        Count(frame);
        lastSend_ = now - start_;
    }
    void Count(const CanFrame& frame) { bits_ += WorstCaseFrameBits(frame.dataLength()); }

    // Milliseconds until it closes; 0 once closed.
    std::uint32_t Left(std::uint32_t now) const
    {
        const auto wireMs = static_cast<std::uint32_t>((bits_ * 1000 + bitrate_ - 1) / bitrate_);
        const std::uint64_t closes = std::uint64_t{std::max(lastSend_, wireMs)} + waitMs_;
        const std::uint32_t elapsed = now - start_;
        return elapsed >= closes ? 0 : static_cast<std::uint32_t>(closes - elapsed);
    }

private:
    std::uint64_t bitrate_;
    std::uint32_t waitMs_;
    std::uint32_t start_;
    std::uint32_t lastSend_ = 0;
    std::uint64_t bits_ = 0;
};

// One run of a connection request (Allocate or Release of the explicit connection) to many nodes
// at once, and the collection of their answers.
class Exchange {
public:
    using OnAnswer = std::function<void(const Answer&)>;

    Exchange(BrowseLink& link, const BrowseSettings& settings)
        : link_(link), settings_(settings), master_(static_cast<std::uint8_t>(settings.masterMacId & 0x3F))
    {
    }

    // Sends the connection request `service` to each of `nodes` back to back, then takes answers
    // until each node answered or the window closed; `onAnswer` sees each node's first answer to
    // this request (its success reply or an error response). Returns how many of `nodes` the card
    // took: all of them, unless it refused one even after pauses.
    std::size_t Run(std::span<const int> nodes, std::uint8_t service, const OnAnswer& onAnswer)
    {
        service_ = service;
        onAnswer_ = &onAnswer;
        asked_.reset();
        answered_.reset();
        Window window(settings_, link_.NowMs());
        std::size_t sent = 0;
        for (; sent < nodes.size(); ++sent) {
            const CanFrame request = ConnectionRequest(nodes[sent], service, master_);
            if (!SendWithRetry(request, window)) {
                break;
            }
            asked_.set(static_cast<std::size_t>(nodes[sent]));
            window.Sent(request, link_.NowMs());
        }
        while (answered_ != asked_) {
            const std::uint32_t left = window.Left(link_.NowMs());
            if (left == 0 || !TakeOne(window, left)) {
                break;
            }
        }
        return sent;
    }

private:
    bool SendWithRetry(const CanFrame& request, Window& window)
    {
        for (int attempt = 1;; ++attempt) {
            if (link_.Send(request)) {
                return true;
            }
            if (attempt == kSendAttempts) {
                return false;
            }
            const std::uint32_t pauseStart = link_.NowMs();
            for (;;) {
                const std::uint32_t paused = link_.NowMs() - pauseStart;
                if (paused >= kRetryPauseMs || !TakeOne(window, kRetryPauseMs - paused)) {
                    break;
                }
            }
        }
    }

    // Waits up to `milliseconds` for a frame and takes it; false when none came.
    bool TakeOne(Window& window, std::uint32_t milliseconds)
    {
        CanFrame frame;
        if (!link_.Receive(frame, milliseconds)) {
            return false;
        }
        window.Count(frame); // every frame on the bus held the wire
        const auto answer = ReadAnswer(frame, master_);
        if (!answer || !asked_.test(static_cast<std::size_t>(answer->node)) ||
            answered_.test(static_cast<std::size_t>(answer->node))) {
            return true;
        }
        if (answer->service != (service_ | devicenet::kServiceReplyBit) &&
            answer->service != devicenet::kServiceErrorResponse) {
            return true; // the answer to some other request
        }
        answered_.set(static_cast<std::size_t>(answer->node));
        (*onAnswer_)(*answer);
        return true;
    }

    BrowseLink& link_;
    const BrowseSettings& settings_;
    const std::uint8_t master_;
    std::uint8_t service_ = 0;
    const OnAnswer* onAnswer_ = nullptr;
    std::bitset<64> asked_;
    std::bitset<64> answered_;
};

ScannedNode FromAllocationAnswer(const Answer& answer)
{
    ScannedNode node;
    node.node = answer.node;
    if (answer.service != devicenet::kServiceErrorResponse) {
        node.access = ScannedNode::Access::Allocated;
        return node;
    }
    if (answer.error.generalCode == kAlreadyInRequestedState) {
        node.access = ScannedNode::Access::AlreadyAllocated;
        return node;
    }
    node.access =
        answer.error.generalCode == kObjectStateConflict ? ScannedNode::Access::Held : ScannedNode::Access::Refused;
    node.allocationError = answer.error;
    return node;
}

// Reads the identity until the node stops answering; an attribute the node refuses stays unknown.
void ReadIdentity(BrowseLink& link, ScannedNode& node)
{
    for (const int attribute : kScanIdentityAttributes) {
        const auto reply = link.GetAttribute(node.node, kIdentityClass, kIdentityInstance, attribute);
        if (!reply) {
            node.silentAt = attribute;
            return;
        }
        if (reply->kind == Reply::Kind::Success) {
            node.identity.push_back({attribute, reply->data});
        }
    }
}

} // namespace

Outcome Browse(BrowseLink& link, const BrowseSettings& settings, ScanResult& result)
{
    std::vector<int> everyone;
    for (int mac = 0; mac <= devicenet::kMaxMacId; ++mac) {
        if (mac != (settings.masterMacId & 0x3F)) {
            everyone.push_back(mac);
        }
    }
    // What waited in the card before the browse answers none of its requests.
    CanFrame stale;
    for (int n = 0; n < kDrainLimit && link.Receive(stale, 1); ++n) {
    }
    std::array<std::optional<ScannedNode>, 64> found;
    Exchange exchange(link, settings);
    Outcome outcome;
    const std::size_t asked = exchange.Run(everyone, devicenet::kServiceAllocate, [&found](const Answer& answer) {
        found[static_cast<std::size_t>(answer.node)] = FromAllocationAnswer(answer);
    });
    if (asked < everyone.size()) {
        outcome = {kExitFailure, "the card refused the allocation request to node " + std::to_string(everyone[asked])};
    }

    std::vector<int> ours;
    for (auto& node : found) {
        if (!node) {
            continue;
        }
        const bool readable =
            node->access == ScannedNode::Access::Allocated || node->access == ScannedNode::Access::AlreadyAllocated;
        if (readable && outcome.Ok()) {
            ReadIdentity(link, *node);
        }
        if (node->access == ScannedNode::Access::Allocated) {
            node->release = ScannedNode::Release::Unanswered;
            ours.push_back(node->node);
        }
    }

    const std::size_t released = exchange.Run(ours, devicenet::kServiceRelease, [&found](const Answer& answer) {
        ScannedNode& node = *found[static_cast<std::size_t>(answer.node)];
        if (answer.service == devicenet::kServiceErrorResponse) {
            node.release = ScannedNode::Release::Refused;
            node.releaseError = answer.error;
        } else {
            node.release = ScannedNode::Release::Released;
        }
    });
    for (std::size_t i = released; i < ours.size(); ++i) {
        found[static_cast<std::size_t>(ours[i])]->release = ScannedNode::Release::NotSent;
    }
    if (released < ours.size() && outcome.Ok()) {
        outcome = {kExitFailure, "the card refused the release request to node " + std::to_string(ours[released])};
    }

    for (auto& node : found) {
        if (node) {
            result.nodes.push_back(std::move(*node));
        }
    }
    return outcome;
}

} // namespace orv::dnet
