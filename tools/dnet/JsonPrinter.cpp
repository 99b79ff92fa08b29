#include "tools/dnet/JsonPrinter.h"

#include "tools/dnet/EdsPrinter.h"
#include "tools/dnet/Json.h"
#include "tools/dnet/Reply.h"
#include "tools/dnet/monitor/JsonFormat.h"

#include "canbus/CandumpFormat.h"
#include "platform/Hex.h"
#include "platform/LittleEndian.h"

#include <algorithm>
#include <cctype>

namespace orv::dnet {
namespace {

std::string Hex(const Bytes& bytes)
{
    return platform::HexText(bytes, "", true);
}

long long Number(long long value)
{
    return value;
}

void Body(std::monostate, JsonObject&) {}

void Body(const OpenResult& open, JsonObject& json)
{
    json.Number("node", Number(open.node)).Bool("poll", open.withPoll);
}

void Body(const CloseResult& close, JsonObject& json)
{
    json.Number("node", Number(close.node));
}

void Body(const GetResult& get, JsonObject& json)
{
    json.Number("node", Number(get.node))
        .Number("class", Number(get.classId))
        .Number("instance", Number(get.instance))
        .Number("attribute", Number(get.attribute));
    if (get.value) {
        json.String("data", Hex(*get.value));
    }
    if (get.decoded) {
        JsonObject form;
        form.String("name", get.decoded->name).Raw("value", get.decoded->jsonValue);
        if (!get.decoded->meaning.empty()) {
            form.String("meaning", get.decoded->meaning);
        }
        form.String("text", get.decoded->text);
        json.Raw("decoded", form.Text());
    }
}

void Body(const WriteResult& write, JsonObject& json)
{
    json.Number("node", Number(write.node))
        .Number("class", Number(write.classId))
        .Number("instance", Number(write.instance));
    if (write.attribute) {
        json.Number("attribute", Number(*write.attribute));
    }
    if (write.service) {
        json.Number("service", Number(*write.service));
    }
    json.String("sent", Hex(write.sent));
    if (write.reply) {
        json.String("data", Hex(*write.reply));
    }
}

void Body(const PollResult& poll, JsonObject& json)
{
    json.Number("node", Number(poll.node));
    if (poll.produced && poll.consumed) {
        json.Number("produced", Number(*poll.produced)).Number("consumed", Number(*poll.consumed));
    }
    if (poll.sent) {
        json.String("sent", Hex(*poll.sent));
    }
    if (poll.rxId) {
        json.Number("rxId", Number(*poll.rxId)).String("data", Hex(poll.response));
    }
}

// "vendor id" -> "vendorId"
std::string CamelCase(std::string_view name)
{
    std::string key;
    bool upper = false;
    for (const char c : name) {
        if (c == ' ') {
            upper = true;
        } else {
            key += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
            upper = false;
        }
    }
    return key;
}

std::string_view AccessName(ScannedNode::Access access)
{
    switch (access) {
    case ScannedNode::Access::Allocated: return "allocated";
    case ScannedNode::Access::AlreadyAllocated: return "already-allocated";
    case ScannedNode::Access::Held: return "held";
    case ScannedNode::Access::Refused: return "refused";
    }
    return "?";
}

std::string_view ReleaseName(ScannedNode::Release release)
{
    switch (release) {
    case ScannedNode::Release::NotOurs: return "not-ours";
    case ScannedNode::Release::Released: return "released";
    case ScannedNode::Release::Refused: return "refused";
    case ScannedNode::Release::Unanswered: return "unanswered";
    case ScannedNode::Release::NotSent: return "not-sent";
    }
    return "?";
}

void Codes(const ScannedNode::Error& error, std::string_view prefix, JsonObject& json)
{
    json.String(std::string(prefix) + "Error", ErrorResponseText(error.generalCode, error.additionalCode));
    if (error.generalCode) {
        json.Number(std::string(prefix) + "GeneralCode", Number(*error.generalCode));
    }
    if (error.additionalCode) {
        json.Number(std::string(prefix) + "AdditionalCode", Number(*error.additionalCode));
    }
}

// Each identity attribute under its name (null when not read), with the name of its value where
// one is known ("stateName": "operational", "deviceTypeName": "communications adapter").
void Identity(const ScannedNode& node, JsonObject& json)
{
    for (const int attribute : kScanIdentityAttributes) {
        const std::string key = CamelCase(AttributeName(1, 1, attribute));
        const auto read = std::find_if(node.identity.begin(), node.identity.end(),
                                       [attribute](const IdentityValue& value) { return value.attribute == attribute; });
        const auto decoded =
            read != node.identity.end() ? DecodeAttribute(1, 1, attribute, read->value) : std::nullopt;
        if (!decoded) {
            json.Raw(key, "null");
            continue;
        }
        json.Raw(key, decoded->jsonValue);
        std::string_view name = decoded->meaning;
        if (attribute == 2) {
            name = DeviceTypeName(platform::GetLe16(read->value.data()));
        }
        if (!name.empty()) {
            json.String(key + "Name", name);
        }
    }
}

void Body(const ScanResult& scan, JsonObject& json)
{
    std::string list = "[";
    for (const ScannedNode& node : scan.nodes) {
        JsonObject entry;
        entry.Number("node", Number(node.node)).String("access", AccessName(node.access));
        if (node.access == ScannedNode::Access::Held || node.access == ScannedNode::Access::Refused) {
            Codes(node.allocationError, "allocation", entry);
        }
        Identity(node, entry);
        if (node.silentAt) {
            entry.Number("silentAt", Number(*node.silentAt));
        }
        if (node.eds.lookedUp && node.eds.file.empty()) {
            entry.Raw("eds", "null");
        } else if (node.eds.lookedUp) {
            JsonObject eds;
            eds.String("file", node.eds.file)
                .String("vendorName", node.eds.vendorName)
                .String("productName", node.eds.productName);
            entry.Raw("eds", eds.Text());
        }
        entry.String("release", ReleaseName(node.release));
        if (node.release == ScannedNode::Release::Refused) {
            Codes(node.releaseError, "release", entry);
        }
        list += (list.size() > 1 ? "," : "") + entry.Text();
    }
    json.Raw("nodes", list + "]");
}

void Body(const SendResult& send, JsonObject& json)
{
    json.Number("id", Number(send.id)).String("data", Hex(send.data));
}

void Body(const RecvResult& recv, JsonObject& json)
{
    if (recv.id) {
        json.Number("id", Number(*recv.id)).String("data", Hex(recv.data));
    }
}

void Body(const BenchResult& bench, JsonObject& json)
{
    json.Number("node", Number(bench.node));
    if (!bench.figures) {
        return;
    }
    const BenchFigures& figures = *bench.figures;
    json.Number("count", Number(figures.count))
        .Number("seconds", figures.seconds)
        .Number("perSecond", figures.perSecond)
        .Number("requestBytes", Number(static_cast<long long>(figures.requestBytes)))
        .Number("answerBytes", Number(static_cast<long long>(figures.answerBytes)))
        .Bool("wireTimed", figures.wireTimed);
    if (const auto& wire = figures.wire) {
        json.Number("bitsPerExchange", Number(wire->requestBits + wire->answerBits))
            .Number("wireLimit", wire->limit)
            .Number("ratio", wire->ratio);
    }
}

void Body(const MonitorResult& monitor, JsonObject& json)
{
    json.Number("messages", Number(static_cast<long long>(monitor.messages)))
        .Number("skippedLines", Number(static_cast<long long>(monitor.skippedLines)))
        .Number("dropped", Number(static_cast<long long>(monitor.dropped)));
}

// The EDS commands.
void Body(const EdsResult& eds, JsonObject& json) { EdsJson(eds, json); }
void Body(const ParamsResult& params, JsonObject& json) { EdsJson(params, json); }
void Body(const ParamWriteResult& write, JsonObject& json) { EdsJson(write, json); }

std::string_view Status(int exit)
{
    return exit == kExitOk ? "ok" : exit == kExitErrorResponse ? "error-response" : "failure";
}

std::string Print(const CommandResult& result)
{
    JsonObject json;
    json.String("command", result.command);
    std::visit([&json](const auto& body) { Body(body, json); }, result.body);
    const Outcome& outcome = result.outcome;
    if (outcome.generalCode) {
        json.Number("generalCode", Number(*outcome.generalCode));
    }
    if (outcome.additionalCode) {
        json.Number("additionalCode", Number(*outcome.additionalCode));
    }
    json.String("status", Status(outcome.exit)).Number("exit", Number(outcome.exit));
    if (!outcome.Ok()) {
        json.String("error", outcome.message);
    }
    return json.Text();
}

std::string Print(const TraceResult& trace)
{
    std::string frames = "[";
    for (const TracedFrame& frame : trace.frames) {
        JsonObject entry;
        entry.Raw("time", canbus::CandumpTime(Microseconds(frame.time)))
            .Number("id", Number(frame.identifier))
            .String("data", Hex(frame.data));
        frames += (frames.size() > 1 ? "," : "") + entry.Text();
    }
    JsonObject json;
    json.String("command", "trace")
        .Bool("available", trace.available)
        .Bool("complete", trace.complete)
        .Raw("frames", frames + "]");
    return json.Text();
}

std::string Print(const MessageRecord& record)
{
    return monitor::JsonLine(record.message);
}

} // namespace

std::string JsonLine(const Record& record)
{
    return std::visit([](const auto& item) { return Print(item); }, record);
}

} // namespace orv::dnet
