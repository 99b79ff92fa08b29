#include "tools/dnet/TextPrinter.h"

#include "tools/dnet/EdsPrinter.h"
#include "tools/dnet/Reply.h"
#include "tools/dnet/monitor/TextFormat.h"

#include "eds/Escapes.h"
#include "platform/Hex.h"
#include "platform/LittleEndian.h"

#include <algorithm>
#include <cstdio>

namespace orv::dnet {
namespace {

std::string Hex(const Bytes& bytes)
{
    return platform::HexText(bytes, " ", true);
}

std::string Printf(const char* format, double a, double b = 0)
{
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

using Lines = std::vector<std::string>;

Lines Body(std::monostate) { return {}; }

Lines Body(const OpenResult& open)
{
    return {"node " + std::to_string(open.node) + " open (" +
            (open.withPoll ? "explicit and poll connections)" : "explicit connection)")};
}

Lines Body(const CloseResult& close)
{
    return {"node " + std::to_string(close.node) + " closed"};
}

Lines Body(const GetResult& get)
{
    const Bytes& value = get.value.value();
    std::string line = value.empty() ? "(no data)" : Hex(value);
    if (get.decoded) {
        line += "  (" + get.decoded->name + ": " + get.decoded->text + ")";
    }
    return {line};
}

Lines Body(const WriteResult& write)
{
    const Bytes& reply = write.reply.value();
    return {reply.empty() ? "ok" : "ok: " + Hex(reply)};
}

Lines Body(const PollResult& poll)
{
    char head[64];
    std::snprintf(head, sizeof head, "poll response on %03X, %zu bytes", static_cast<unsigned>(poll.rxId.value()),
                  poll.response.size());
    return {poll.response.empty() ? std::string(head) : head + (": " + Hex(poll.response))};
}

Lines Body(const ScanResult&) { return {}; } // shown whether or not the scan ended well: see ScanLines

// "vendor id 1207", "device type 12 (communications adapter)", "state unknown".
std::string IdentityText(const ScannedNode& node, int attribute)
{
    const std::string name(AttributeName(1, 1, attribute));
    const auto read = std::find_if(node.identity.begin(), node.identity.end(),
                                   [attribute](const IdentityValue& value) { return value.attribute == attribute; });
    if (read == node.identity.end()) {
        return name + " unknown";
    }
    const auto decoded = DecodeAttribute(1, 1, attribute, read->value);
    if (!decoded) {
        return name + " " + Hex(read->value);
    }
    std::string text = name + " " + decoded->text;
    if (attribute == 2) {
        const std::string_view profile = DeviceTypeName(platform::GetLe16(read->value.data()));
        text += profile.empty() ? "" : " (" + std::string(profile) + ")";
    }
    return text;
}

std::string NodeLine(const ScannedNode& node)
{
    std::string line = "node " + std::to_string(node.node) + ": ";
    switch (node.access) {
    case ScannedNode::Access::Held:
        return line + "held by another master (allocation refused: " +
               ErrorResponseText(node.allocationError.generalCode, node.allocationError.additionalCode) + ")";
    case ScannedNode::Access::Refused:
        return line + "allocation refused: " +
               ErrorResponseText(node.allocationError.generalCode, node.allocationError.additionalCode);
    case ScannedNode::Access::Allocated:
    case ScannedNode::Access::AlreadyAllocated: break;
    }
    for (const int attribute : kScanIdentityAttributes) {
        line += (attribute == kScanIdentityAttributes[0] ? "" : ", ") + IdentityText(node, attribute);
    }
    if (node.silentAt) {
        line += "; no answer from attribute " + std::to_string(*node.silentAt) + " on";
    }
    if (node.eds.lookedUp) {
        line += node.eds.file.empty() ? "; no EDS in the library"
                                      : "; EDS " + node.eds.file + ": \"" + eds::Escape(node.eds.productName) +
                                            "\" by \"" + eds::Escape(node.eds.vendorName) + "\"";
    }
    switch (node.release) {
    case ScannedNode::Release::NotOurs: line += "; allocated to this master before the scan, left allocated"; break;
    case ScannedNode::Release::Released: break;
    case ScannedNode::Release::Refused:
        line += "; release refused: " + ErrorResponseText(node.releaseError.generalCode, node.releaseError.additionalCode);
        break;
    case ScannedNode::Release::Unanswered: line += "; release not answered"; break;
    case ScannedNode::Release::NotSent: line += "; release not sent"; break;
    }
    return line;
}

Lines ScanLines(const ScanResult& scan, bool ok)
{
    Lines lines;
    for (const ScannedNode& node : scan.nodes) {
        lines.push_back(NodeLine(node));
    }
    if (ok && scan.nodes.empty()) {
        lines.push_back("no node answered");
    }
    return lines;
}

Lines Body(const SendResult& send)
{
    return {"sent " + FrameText(send.id, send.data)};
}

Lines Body(const RecvResult& recv)
{
    return {FrameText(recv.id.value(), recv.data)};
}

Lines Body(const BenchResult& bench)
{
    const BenchFigures& figures = bench.figures.value();
    Lines lines{"node " + std::to_string(bench.node) + ": " + std::to_string(figures.count) +
                " Get_Attribute_Single exchanges in " +
                Printf("%.3f s, %.0f per second", figures.seconds, figures.perSecond)};
    if (const auto& wire = figures.wire) {
        lines.push_back("wire limit at " + std::to_string(figures.rateKbit) + " kbit/s: " +
                        Printf("%.0f per second", wire->limit) +
                        " (a standard frame with n data bytes takes at most 55 + 10n bits, interframe space "
                        "included: request " +
                        std::to_string(figures.requestBytes) + " bytes = " + std::to_string(wire->requestBits) +
                        " bits, answer " + std::to_string(figures.answerBytes) + " bytes = " +
                        std::to_string(wire->answerBits) + " bits)");
        lines.push_back(Printf("ratio to the wire limit: %.3f", wire->ratio));
    }
    return lines;
}

Lines Body(const MonitorResult&) { return {}; } // its messages went out as they came

// The EDS commands.
Lines Body(const EdsResult& eds) { return EdsText(eds); }
Lines Body(const ParamsResult&) { return {}; } // shown whether or not all was read: see Print
Lines Body(const ParamWriteResult& write) { return EdsText(write); }

Lines Print(const CommandResult& result)
{
    if (const auto* scan = std::get_if<ScanResult>(&result.body)) {
        return ScanLines(*scan, result.outcome.Ok());
    }
    if (const auto* params = std::get_if<ParamsResult>(&result.body)) {
        return EdsText(*params);
    }
    if (!result.outcome.Ok()) {
        return {};
    }
    return std::visit([](const auto& body) { return Body(body); }, result.body);
}

Lines Print(const TraceResult& trace)
{
    Lines lines;
    for (const TracedFrame& frame : trace.frames) {
        lines.push_back(TraceLine(frame));
    }
    return lines;
}

Lines Print(const MessageRecord& record)
{
    return {monitor::TextLine(record.message, record.originUs)};
}

} // namespace

std::string FrameText(int identifier, const Bytes& data)
{
    char head[32];
    std::snprintf(head, sizeof head, "%03X  [%zu]", static_cast<unsigned>(identifier), data.size());
    return data.empty() ? head : head + std::string("  ") + Hex(data);
}

std::vector<std::string> TextLines(const Record& record)
{
    return std::visit([](const auto& item) { return Print(item); }, record);
}

} // namespace orv::dnet
