#include "tools/dnet/monitor/Decoder.h"

#include "platform/LittleEndian.h"
#include "tools/dnet/monitor/DecoderParts.h"
#include "tools/dnet/monitor/Identifier.h"

#include <algorithm>

namespace orv::dnet::monitor {

using namespace parts;
namespace {

constexpr std::uint8_t kFragBit = 0x80;
constexpr std::uint8_t kXidBit = 0x40;
constexpr std::uint8_t kMacMask = 0x3F;

constexpr std::uint8_t kResponseBit = 0x80;
constexpr std::uint8_t kGetAttributeSingle = 0x0E;
constexpr std::uint8_t kSetAttributeSingle = 0x10;
constexpr std::uint8_t kGetMember = 0x18;
constexpr std::uint8_t kSetMember = 0x19;
constexpr std::uint8_t kAllocate = 0x4B;
constexpr std::uint8_t kRelease = 0x4C;
constexpr std::uint8_t kErrorResponse = 0x94;
constexpr int kDeviceNetClass = 3;
constexpr int kConnectionClass = 5;
constexpr int kPollInstance = 2;
constexpr int kProducedSize = 7;
constexpr int kConsumedSize = 8;
// Allocation choices served by the poll connection's identifiers: poll, bit-strobe, change of
// state, cyclic.
constexpr int kIoChoices = 0x02 | 0x04 | 0x10 | 0x20;

} // namespace

Decoder::Decoder(Limits limits) : limits_(limits)
{
    limits_.connections = std::clamp<std::size_t>(limits_.connections, 1, 64 * 64);
    pairs_.reserve(limits_.connections);
    pairIndex_.fill(-1);
}

void Decoder::Feed(const TimedFrame& timed, std::vector<Message>& out)
{
    if (timed.timeUs >= nextSweepUs_) {
        Advance(timed.timeUs, out);
    }
    // Nothing past the eight data bytes of a frame is ever read, whatever its length says.
    canbus::Frame frame = timed.frame;
    frame.length = std::min(frame.length, canbus::kMaxDataLength);
    const std::size_t length = frame.length;
    Message base;
    base.timeUs = timed.timeUs;
    base.canId = frame.id;
    base.extended = frame.extended;

    const Identifier id = ClassifyIdentifier(frame.id);
    if (frame.extended || frame.remote || frame.id > canbus::kMaxStandardId || id.group == 0) {
        base.kind = MessageKind::NotDeviceNet;
        base.problem = frame.extended ? "extended frame"
                       : frame.remote ? "remote frame"
                                      : "identifier outside DeviceNet's groups";
        Keep(base, std::span(frame.data.data(), frame.remote ? 0 : length), frame.remote ? 0 : length);
        out.push_back(std::move(base));
        return;
    }
    base.group = id.group;
    base.messageId = id.messageId;
    if (CarriesSource(id)) {
        base.from = id.mac;
    } else {
        base.to = id.mac;
    }
    const std::span<const std::uint8_t> data(frame.data.data(), length);

    if (id.group == 2) {
        switch (id.messageId) {
        case kG2ExplicitResponse:
        case kG2ExplicitRequest:
        case kG2UnconnectedRequest: Explicit(frame, base, out); return;
        case kG2PollCommand: Io(id.mac, true, frame, base, out); return;
        case kG2DuplicateMacCheck:
            base.to = kEveryone;
            if (length != 7) {
                base.kind = MessageKind::Malformed;
                base.problem = "duplicate MAC ID check of " + std::to_string(length) + " bytes (7 are due)";
                Keep(base, data, length);
            } else {
                base.kind = MessageKind::DuplicateMacCheck;
                base.response = (data[0] & 0x80) != 0;
                base.port = data[0] & 0x7F;
                base.vendor = platform::GetLe16(&data[1]);
                base.serial = platform::GetLe32(&data[3]);
            }
            out.push_back(std::move(base));
            return;
        }
    }
    if (id.group == 1 && id.messageId == kG1PollResponse) {
        Io(id.mac, false, frame, base, out);
        return;
    }
    base.kind = (id.group <= 2 && !MessageName(id).empty()) ? MessageKind::Io : MessageKind::Other;
    if (id.group == 1 && base.kind == MessageKind::Io) {
        base.to = nodes_[static_cast<std::size_t>(id.mac)].pollMaster;
    }
    Keep(base, data, length);
    out.push_back(std::move(base));
}

void Decoder::Advance(std::uint64_t nowUs, std::vector<Message>& out)
{
    nextSweepUs_ = nowUs + limits_.seriesTimeoutUs / 4;
    const auto stale = [&](const Series& series) {
        return series.open && nowUs >= series.lastUs && nowUs - series.lastUs > limits_.seriesTimeoutUs;
    };
    for (Pair& pair : pairs_) {
        for (const bool request : {true, false}) {
            Series& series = request ? pair.request : pair.response;
            if (stale(series)) {
                if (!series.lastSeen) {
                    NoteProblem(series.problem, "no fragment for longer than the time-out");
                    series.broken = true;
                }
                CloseExplicit(pair, request, series.lastUs, out);
            }
        }
    }
    for (int slave = 0; slave < 64; ++slave) {
        for (const bool command : {true, false}) {
            Node& node = nodes_[static_cast<std::size_t>(slave)];
            if (stale(command ? node.command : node.answer)) {
                CloseIo(slave, command, out);
            }
        }
    }
}

void Decoder::Finish(std::vector<Message>& out)
{
    Advance(~std::uint64_t{0}, out);
}

Decoder::Pair& Decoder::PairFor(int slave, int master, std::vector<Message>& out)
{
    const std::size_t key = static_cast<std::size_t>(slave) * 64 + static_cast<std::size_t>(master);
    std::int16_t slot = pairIndex_[key];
    if (slot < 0) {
        if (pairs_.size() < limits_.connections) {
            slot = static_cast<std::int16_t>(pairs_.size());
            pairs_.emplace_back();
        } else {
            // The table is full: the pair heard from least recently gives way, its open series
            // reported as they stand.
            const auto oldest = std::min_element(pairs_.begin(), pairs_.end(),
                                                 [](const Pair& a, const Pair& b) { return a.used < b.used; });
            slot = static_cast<std::int16_t>(oldest - pairs_.begin());
            for (const bool request : {true, false}) {
                Series& series = request ? oldest->request : oldest->response;
                if (series.open && !series.lastSeen) {
                    series.broken = true;
                    NoteProblem(series.problem, "dropped: too many connections to follow");
                }
                CloseExplicit(*oldest, request, series.lastUs, out);
            }
            pairIndex_[static_cast<std::size_t>(oldest->slave) * 64 + static_cast<std::size_t>(oldest->master)] = -1;
            *oldest = Pair{};
        }
        pairIndex_[key] = slot;
        Pair& fresh = pairs_[static_cast<std::size_t>(slot)];
        fresh.slave = slave;
        fresh.master = master;
    }
    Pair& pair = pairs_[static_cast<std::size_t>(slot)];
    pair.used = ++useClock_;
    return pair;
}

void Decoder::Keep(Message& message, std::span<const std::uint8_t> bytes, std::size_t length) const
{
    const std::size_t kept = std::min({bytes.size(), length, limits_.messageBytes});
    message.data.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept));
    message.length = length;
}

void Decoder::Start(Series& series, const Message& base, std::uint8_t header)
{
    series = Series{};
    series.open = true;
    series.header = header;
    series.firstUs = base.timeUs;
    series.lastUs = base.timeUs;
    series.canId = base.canId;
}

void Decoder::Append(Series& series, std::span<const std::uint8_t> bytes)
{
    const std::size_t room = limits_.messageBytes - std::min(series.body.size(), limits_.messageBytes);
    series.body.insert(series.body.end(), bytes.begin(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
    series.length += bytes.size();
}

void Decoder::Explicit(const canbus::Frame& frame, Message& base, std::vector<Message>& out)
{
    const std::size_t length = frame.length;
    const bool request = base.messageId != kG2ExplicitResponse;
    const bool unconnected = base.messageId == kG2UnconnectedRequest;
    if (length < 2) {
        base.kind = MessageKind::Malformed;
        base.problem = length == 0 ? "empty explicit message" : "explicit message without a service";
        Keep(base, std::span(frame.data.data(), length), length);
        out.push_back(std::move(base));
        return;
    }
    const std::uint8_t header = frame.data[0];
    base.xid = (header & kXidBit) != 0;
    const int slave = request ? base.to : base.from;
    const int master = header & kMacMask;
    (request ? base.from : base.to) = master;
    Pair& pair = PairFor(slave, master, out);

    if ((header & kFragBit) != 0) {
        const int type = frame.data[1] >> 6;
        const int count = frame.data[1] & 0x3F;
        const std::span<const std::uint8_t> body(frame.data.data() + 2, length - 2);
        if (type == kAck) {
            // An acknowledgement travels against the series it acknowledges.
            Acknowledge(pair, !request, count, length >= 3 ? frame.data[2] : -1, base, out);
        } else {
            Fragment(pair, request, type, count, body, base, out);
        }
        return;
    }
    // A whole message ends what was open in its own direction, and a request ends an answer
    // still coming (the master has moved on) as an answer ends the request's fragments.
    CloseExplicit(pair, request, base.timeUs, out);
    CloseExplicit(pair, !request, base.timeUs, out);
    const std::span<const std::uint8_t> body(frame.data.data() + 1, length - 1);
    out.push_back(DecodeExplicit(pair, request, unconnected, header, body, body.size(), base));
}

void Decoder::Fragment(Pair& pair, bool request, int type, int count, std::span<const std::uint8_t> body,
                       const Message& base, std::vector<Message>& out)
{
    Series& series = request ? pair.request : pair.response;
    if (series.open && count == series.lastCount && (type != kFirst || series.fragments == 1)) {
        // The sender repeats a fragment whose acknowledgement it did not get.
        series.lastUs = base.timeUs;
        NoteProblem(series.problem, "fragment " + std::to_string(count) + " repeated");
        return;
    }
    if (type == kFirst) {
        CloseExplicit(pair, request, base.timeUs, out);
        CloseExplicit(pair, !request, base.timeUs, out);
        Start(series, base, base.xid ? kXidBit : 0);
        if (count != 0) {
            series.broken = true;
            NoteProblem(series.problem, CountText("first fragment with count", count, 0));
        }
    } else if (!series.open || series.lastSeen) {
        CloseExplicit(pair, request, base.timeUs, out);
        Start(series, base, base.xid ? kXidBit : 0);
        series.broken = true;
        NoteProblem(series.problem, "no first fragment");
    } else if (count != series.nextCount) {
        series.broken = true;
        NoteProblem(series.problem, CountText("fragment", count, series.nextCount));
    }
    series.fragments += 1;
    series.lastCount = count;
    series.nextCount = (count + 1) & 0x3F;
    series.sentMask |= std::uint64_t{1} << count;
    series.lastUs = base.timeUs;
    series.canId = base.canId;
    series.lastSeen = type == kLast;
    Append(series, body);
}

void Decoder::Acknowledge(Pair& pair, bool ofRequest, int count, int status, Message& base,
                          std::vector<Message>& out)
{
    Series& series = ofRequest ? pair.request : pair.response;
    if (!series.open || (series.sentMask & (std::uint64_t{1} << count)) == 0) {
        base.kind = MessageKind::Acknowledgement;
        base.ackCount = count;
        base.ackStatus = status;
        base.problem = series.open ? "acknowledges fragment " + std::to_string(count) + ", which was not sent"
                                   : "no fragment series to acknowledge";
        out.push_back(std::move(base));
        return;
    }
    series.lastUs = base.timeUs;
    if ((series.ackMask & (std::uint64_t{1} << count)) == 0) {
        series.ackMask |= std::uint64_t{1} << count;
        series.acknowledged += 1;
    }
    if (status != 0) {
        series.broken = true;
        NoteProblem(series.problem, status < 0 ? "acknowledgement of fragment " + std::to_string(count) + " without a status"
                                               : "fragment " + std::to_string(count) + " refused (acknowledge status " +
                                                     std::to_string(status) + ")");
        CloseExplicit(pair, ofRequest, base.timeUs, out);
        return;
    }
    if (series.lastSeen && count == series.lastCount) {
        CloseExplicit(pair, ofRequest, base.timeUs, out);
    }
}

void Decoder::CloseExplicit(Pair& pair, bool request, std::uint64_t timeUs, std::vector<Message>& out)
{
    Series& series = request ? pair.request : pair.response;
    if (!series.open) {
        return;
    }
    Message base;
    base.timeUs = timeUs;
    base.canId = series.canId;
    const Identifier id = ClassifyIdentifier(series.canId);
    base.group = id.group;
    base.messageId = id.messageId;
    base.from = request ? pair.master : pair.slave;
    base.to = request ? pair.slave : pair.master;
    base.fragments = series.fragments;
    base.acknowledged = series.acknowledged;
    if (!series.lastSeen) {
        series.broken = true;
        NoteProblem(series.problem, "no last fragment");
    }
    if (series.broken) {
        base.kind = MessageKind::BrokenSeries;
        base.problem = series.problem;
        Keep(base, series.body, series.length);
        if (request) {
            pair.pending = Pending{};
        }
        out.push_back(std::move(base));
    } else {
        Message message = DecodeExplicit(pair, request, base.messageId == kG2UnconnectedRequest,
                                         static_cast<std::uint8_t>(series.header | pair.master), series.body,
                                         series.length, base);
        if ((series.ackMask & (std::uint64_t{1} << series.lastCount)) == 0) {
            NoteProblem(series.problem, "last fragment not acknowledged");
        }
        if (!series.problem.empty() && message.problem.empty()) {
            message.problem = series.problem;
        }
        out.push_back(std::move(message));
    }
    series = Series{};
}

Message Decoder::DecodeExplicit(Pair& pair, bool request, bool unconnected, std::uint8_t header,
                                std::span<const std::uint8_t> body, std::size_t length, const Message& base)
{
    Message message = base;
    message.xid = (header & kXidBit) != 0;
    if (body.empty()) {
        message.kind = MessageKind::Malformed;
        message.problem = "explicit message without a service";
        return message;
    }
    message.service = body[0];
    if (request) {
        DecodeRequest(pair, unconnected, body, length, message);
    } else {
        DecodeAnswer(pair, body, length, message);
    }
    return message;
}

void Decoder::DecodeRequest(Pair& pair, bool unconnected, std::span<const std::uint8_t> body, std::size_t length,
                            Message& message)
{
    const std::uint8_t service = body[0];
    {
        message.kind = MessageKind::ExplicitRequest;
        pair.pending = Pending{};
        const int format = unconnected ? 0 : pair.bodyFormat;
        const std::size_t classWidth = (format == 2 || format == 3) ? 2 : 1;
        const std::size_t instanceWidth = (format == 1 || format == 2) ? 2 : 1;
        if (body.size() < 1 + classWidth + instanceWidth) {
            message.kind = MessageKind::Malformed;
            message.problem = "request too short for its path";
            Keep(message, body.subspan(1), length - 1);
            return;
        }
        message.classId = static_cast<int>(platform::GetLe(body.subspan(1, classWidth)));
        message.instance = static_cast<int>(platform::GetLe(body.subspan(1 + classWidth, instanceWidth)));
        std::span<const std::uint8_t> rest = body.subspan(1 + classWidth + instanceWidth);
        std::size_t restLength = length - (1 + classWidth + instanceWidth);
        if (service & kResponseBit) {
            message.problem = "a request with the response bit set";
        }
        if ((service == kAllocate || service == kRelease) && message.classId == kDeviceNetClass) {
            const std::size_t need = service == kAllocate ? 2 : 1;
            if (rest.size() < need) {
                message.kind = MessageKind::Malformed;
                message.problem = "no allocation choice";
            } else {
                message.kind = service == kAllocate ? MessageKind::Allocate : MessageKind::Release;
                message.choice = rest[0];
                message.allocator = service == kAllocate ? rest[1] : -1;
                rest = rest.subspan(need);
                restLength -= need;
            }
        } else if (service == kGetAttributeSingle || service == kSetAttributeSingle || service == kGetMember ||
                   service == kSetMember) {
            if (rest.empty()) {
                message.kind = MessageKind::Malformed;
                message.problem = "no attribute";
            } else {
                message.attribute = rest[0];
                rest = rest.subspan(1);
                restLength -= 1;
            }
        }
        Keep(message, rest, restLength);
        if (message.kind != MessageKind::Malformed) {
            pair.pending = {service, message.classId, message.instance, message.attribute, message.choice};
        }
    }
}

void Decoder::DecodeAnswer(Pair& pair, std::span<const std::uint8_t> body, std::size_t length, Message& message)
{
    const std::uint8_t service = body[0];
    Node& node = nodes_[static_cast<std::size_t>(pair.slave)];
    const Pending pending = pair.pending;
    pair.pending = Pending{};
    message.requestService = pending.service;
    const bool answersPending = pending.service >= 0 && (service == kErrorResponse || (service & 0x7F) == pending.service);
    if (answersPending) {
        message.classId = pending.classId;
        message.instance = pending.instance;
        message.attribute = pending.attribute;
        message.choice = pending.choice;
    } else {
        message.requestService = -1;
    }
    Keep(message, body.subspan(1), length - 1);
    if (service == kErrorResponse) {
        message.kind = MessageKind::ErrorResponse;
        if (body.size() < 2) {
            message.kind = MessageKind::Malformed;
            message.problem = "error response without an error code";
        } else {
            message.generalError = body[1];
            message.additionalError = body.size() >= 3 ? body[2] : -1;
        }
        return;
    }
    message.kind = MessageKind::ExplicitResponse;
    if ((service & kResponseBit) == 0) {
        message.problem = "an answer without the response bit";
        return;
    }
    if (service == (kAllocate | kResponseBit) || service == (kRelease | kResponseBit)) {
        message.kind = MessageKind::AllocateResponse;
        const int choice = answersPending ? pending.choice : -1;
        if (service == (kAllocate | kResponseBit)) {
            message.bodyFormat = body.size() >= 2 ? (body[1] & 0x0F) : -1;
            if (choice >= 0 && (choice & 0x01) != 0 && message.bodyFormat >= 0 && message.bodyFormat <= 3) {
                pair.bodyFormat = message.bodyFormat;
            }
            if (choice >= 0 && (choice & kIoChoices) != 0) {
                node.pollMaster = pair.master;
                node.consumedSize = -1;
                node.producedSize = -1;
            }
        } else if (choice >= 0) {
            if ((choice & 0x01) != 0) {
                pair.bodyFormat = 0;
            }
            if ((choice & kIoChoices) != 0 && node.pollMaster == pair.master) {
                node.pollMaster = kUnknownMac;
            }
        }
        return;
    }
    // The poll connection's sizes tell whether its I/O data comes in fragments.
    if (answersPending && pending.service == kGetAttributeSingle && pending.classId == kConnectionClass &&
        pending.instance == kPollInstance && body.size() == 3) {
        const int size = platform::GetLe16(&body[1]);
        if (pending.attribute == kProducedSize) {
            node.producedSize = size;
        } else if (pending.attribute == kConsumedSize) {
            node.consumedSize = size;
        }
    }
}

} // namespace orv::dnet::monitor
