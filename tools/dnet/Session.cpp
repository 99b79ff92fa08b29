#include "tools/dnet/Session.h"

#include "tools/dnet/Decoding.h"
#include "tools/dnet/Reply.h"
#include "tools/dnet/WireRate.h"

#include "driver/automation/DriverSettings.h"
#include "driver/automation/ModuleConfig.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace orv::dnet {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kGetAttributeSingle = 0x0E;
constexpr std::uint8_t kSetAttributeSingle = 0x10;
constexpr std::uint8_t kAllocate = 0x4B;
constexpr int kDeviceNetClass = 3;
constexpr int kExplicitConnection = 1;
// The VORA card's CANRcv result while nothing has been received, and where its data bytes land.
constexpr std::int32_t kVoraNothingReceived = 0xFFFC;
constexpr std::size_t kVoraReceiveDataOffset = 6;
constexpr std::size_t kFrameBufferSize = 64;

// Group 2 identifiers: 0x400 + 8 * MAC ID + message ID.
constexpr int Group2(int node, int messageId)
{
    return 0x400 + 8 * node + messageId;
}
constexpr int kSlaveExplicitResponse = 3;
constexpr int kUnconnectedRequest = 6;
constexpr int kPollCommand = 5;

std::string_view KindName(Command::Kind kind)
{
    switch (kind) {
    case Command::Kind::Open: return "open";
    case Command::Kind::Close: return "close";
    case Command::Kind::Get: return "get";
    case Command::Kind::Set: return "set";
    case Command::Kind::Service: return "service";
    case Command::Kind::Poll: return "poll";
    case Command::Kind::Scan: return "scan";
    case Command::Kind::Send: return "send";
    case Command::Kind::Recv: return "recv";
    case Command::Kind::Bench: return "bench";
    case Command::Kind::Monitor: return "monitor";
    case Command::Kind::Decode: return "decode";
    }
    return "?";
}

std::string_view CardName(CardKind card)
{
    switch (card) {
    case CardKind::Vora: return "VORA";
    case CardKind::Sst: return "SST";
    case CardKind::Systec: return "SYSTEC";
    }
    return "?";
}

int RateIndex(int rateKbit)
{
    return rateKbit == 250 ? 1 : rateKbit == 500 ? 2 : 0;
}

std::string Hex(const std::vector<std::uint8_t>& bytes, std::string_view separator = " ")
{
    return HexText(bytes.data(), bytes.size(), separator);
}

std::string Printf(const char* format, double a, double b = 0, double c = 0)
{
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string FrameText(int identifier, const std::vector<std::uint8_t>& data)
{
    char head[32];
    std::snprintf(head, sizeof head, "%03X  [%zu]", static_cast<unsigned>(identifier), data.size());
    return data.empty() ? head : head + std::string("  ") + Hex(data);
}

std::string WithReason(std::string message, const DriverClient& driver)
{
    if (!driver.InvokeError().empty()) {
        message += " (" + driver.InvokeError() + ")";
    }
    return message;
}

} // namespace

Session::Session(const Options& options, std::FILE* out, std::FILE* err) : options_(options), out_(out), err_(err) {}

int Session::Run()
{
    if (!options_.logFile.empty()) {
        logFile_.open(options_.logFile, std::ios::out | std::ios::trunc);
        if (!logFile_) {
            std::fprintf(err_, "dnet: cannot write the log file '%s'\n", options_.logFile.c_str());
            return kExitUsage;
        }
    }
    int status = kExitOk;
    for (const Command& command : options_.commands) {
        JsonObject json;
        json.String("command", KindName(command.kind));
        const Outcome outcome = Execute(command, json);
        FetchTrace();
        if (options_.json) {
            json.String("status", outcome.exit == kExitOk              ? "ok"
                                  : outcome.exit == kExitErrorResponse ? "error-response"
                                                                       : "failure");
            json.Number("exit", static_cast<long long>(outcome.exit));
            if (outcome.exit != kExitOk) {
                json.String("error", outcome.message);
            }
            Print(json.Text());
        }
        if (outcome.exit != kExitOk) {
            std::fprintf(err_, "dnet: %s: %s\n", command.text.c_str(), outcome.message.c_str());
            status = outcome.exit;
            break;
        }
    }
    Finish();
    std::fflush(out_);
    return status;
}

Session::Outcome Session::Execute(const Command& command, JsonObject& json)
{
    if (Outcome ready = EnsureDriver(); ready.exit != kExitOk) {
        return ready;
    }
    switch (command.kind) {
    case Command::Kind::Open: return Open(command, json);
    case Command::Kind::Close: return Close(command, json);
    case Command::Kind::Get: return Get(command, json);
    case Command::Kind::Set: return Set(command, json);
    case Command::Kind::Service: return Service(command, json);
    case Command::Kind::Poll: return Poll(command, json);
    case Command::Kind::Scan: return Scan(command, json);
    case Command::Kind::Send: return Send(command, json);
    case Command::Kind::Recv: return Recv(json);
    case Command::Kind::Bench: return Bench(command, json);
    case Command::Kind::Monitor:
    case Command::Kind::Decode: break; // run without a driver session (Monitor.h)
    }
    return {kExitUsage, "unknown command"};
}

Session::Outcome Session::EnsureDriver()
{
    if (initialized_) {
        return {};
    }
    if (!created_) {
        std::string why;
        if (com::FAILED(driver_.Create(&why))) {
            return {kExitFailure, "cannot create the driver object " + std::string(DriverClient::kProgId) + ": " + why};
        }
        created_ = true;
    }
    if (!driver_.IsInitialized()) {
        automation::DriverSettings settings;
        settings.SetScnId(options_.master);
        settings.SetDataRate(RateIndex(options_.rateKbit));
        settings.SetDriverType(static_cast<int>(options_.card));
        settings.SetDriverName(options_.bus);
        if (!driver_.Init(settings.Data())) {
            return {kExitFailure, WithReason("the " + std::string(CardName(options_.card)) +
                                                 " card did not open (Init failed) on bus '" + BusString() + "'",
                                             driver_)};
        }
    }
    initialized_ = true;
    if (options_.timeoutMs && driver_.SetTimeout(*options_.timeoutMs) != 0) {
        if (options_.card != CardKind::Vora) {
            return {kExitFailure, WithReason("the card refused the time-out (SetTimeout failed)", driver_)};
        }
        if (!warnedTimeout_) {
            std::fprintf(err_, "dnet: note: the VORA card keeps its own receive time-out; --timeout applies to "
                               "recv only\n");
            warnedTimeout_ = true;
        }
    }
    return {};
}

Session::Outcome Session::OpenNode(int node, bool withPoll)
{
    automation::ModuleConfig config;
    config.SetExplicitEnabled(1);
    config.SetPollEnabled(withPoll ? 1 : 0);
    if (!driver_.OpenModule(node, config.Data())) {
        return {kExitFailure,
                WithReason("node " + std::to_string(node) + " did not open (no answer, or a connection was refused)",
                           driver_)};
    }
    nodes_[node] = NodeState{withPoll};
    return {};
}

Session::Outcome Session::EnsureNode(int node, bool withPoll)
{
    const auto found = nodes_.find(node);
    if (found != nodes_.end() && (!withPoll || found->second.withPoll)) {
        return {};
    }
    return OpenNode(node, withPoll || (found != nodes_.end() && found->second.withPoll));
}

Session::Outcome Session::Explicit(std::int32_t rval, const std::uint8_t* buffer, std::uint8_t service,
                                   const std::string& what, int node, std::vector<std::uint8_t>& data,
                                   JsonObject& json)
{
    if (rval != 0) {
        return {kExitFailure, WithReason(what + "no answer from node " + std::to_string(node), driver_)};
    }
    const Reply reply = ReadReply(buffer, kReplyBufferSize, service);
    switch (reply.kind) {
    case Reply::Kind::Success:
        data = reply.data;
        return {};
    case Reply::Kind::ErrorResponse: {
        std::string message = what;
        if (reply.hasGeneralCode) {
            json.Number("generalCode", static_cast<long long>(reply.generalCode));
            message += GeneralErrorText(reply.generalCode);
        } else {
            message += "error response without an error code";
        }
        if (reply.additionalCode != kNoAdditionalCode) {
            json.Number("additionalCode", static_cast<long long>(reply.additionalCode));
            char additional[40];
            std::snprintf(additional, sizeof additional, ", additional code 0x%02X", reply.additionalCode);
            message += additional;
        }
        return {kExitErrorResponse, message};
    }
    case Reply::Kind::Unexpected: break;
    }
    const std::size_t shown = std::min<std::size_t>(reply.length, 16);
    return {kExitFailure, what + "unexpected reply from node " + std::to_string(node) + " (length " +
                              std::to_string(reply.length) + ": " +
                              HexText(buffer + kReplyHeaderOffset, reply.length <= kReplyBufferSize - 6 ? shown : 0) +
                              ")"};
}

Session::Outcome Session::Open(const Command& command, JsonObject& json)
{
    json.Number("node", static_cast<long long>(command.node)).Bool("poll", command.withPoll);
    Outcome outcome = OpenNode(command.node, command.withPoll);
    if (outcome.exit == kExitOk && !options_.json) {
        Print("node " + std::to_string(command.node) + " open (" +
              (command.withPoll ? "explicit and poll connections)" : "explicit connection)"));
    }
    return outcome;
}

Session::Outcome Session::Close(const Command& command, JsonObject& json)
{
    json.Number("node", static_cast<long long>(command.node));
    if (!driver_.CloseModule(command.node)) {
        return {kExitFailure, WithReason("node " + std::to_string(command.node) + " did not close", driver_)};
    }
    nodes_.erase(command.node);
    if (!options_.json) {
        Print("node " + std::to_string(command.node) + " closed");
    }
    return {};
}

Session::Outcome Session::Get(const Command& command, JsonObject& json)
{
    json.Number("node", static_cast<long long>(command.node))
        .Number("class", static_cast<long long>(command.classId))
        .Number("instance", static_cast<long long>(command.instance))
        .Number("attribute", static_cast<long long>(command.attribute));
    if (Outcome open = EnsureNode(command.node, false); open.exit != kExitOk) {
        return open;
    }
    std::uint8_t buffer[kReplyBufferSize] = {};
    const std::int32_t rval =
        driver_.DNGetAttribute(command.node, command.classId, command.instance, command.attribute, buffer);
    std::vector<std::uint8_t> value;
    Outcome outcome = Explicit(rval, buffer, kGetAttributeSingle, "", command.node, value, json);
    if (outcome.exit != kExitOk) {
        return outcome;
    }
    json.String("data", Hex(value, ""));
    const auto decoded = DecodeAttribute(command.classId, command.instance, command.attribute, value);
    if (decoded) {
        JsonObject form;
        form.String("name", decoded->name).Raw("value", decoded->jsonValue);
        if (!decoded->meaning.empty()) {
            form.String("meaning", decoded->meaning);
        }
        form.String("text", decoded->text);
        json.Raw("decoded", form.Text());
    }
    if (!options_.json) {
        std::string line = value.empty() ? "(no data)" : Hex(value);
        if (decoded) {
            line += "  (" + decoded->name + ": " + decoded->text + ")";
        }
        Print(line);
    }
    return {};
}

Session::Outcome Session::Set(const Command& command, JsonObject& json)
{
    json.Number("node", static_cast<long long>(command.node))
        .Number("class", static_cast<long long>(command.classId))
        .Number("instance", static_cast<long long>(command.instance))
        .Number("attribute", static_cast<long long>(command.attribute))
        .String("sent", Hex(command.data, ""));
    if (Outcome open = EnsureNode(command.node, false); open.exit != kExitOk) {
        return open;
    }
    std::uint8_t buffer[kReplyBufferSize] = {};
    std::copy(command.data.begin(), command.data.end(), buffer);
    const std::int32_t rval = driver_.DNSetAttribute(command.node, command.classId, command.instance,
                                                     command.attribute, static_cast<int>(command.data.size()), buffer);
    std::vector<std::uint8_t> reply;
    Outcome outcome = Explicit(rval, buffer, kSetAttributeSingle, "", command.node, reply, json);
    if (outcome.exit == kExitOk) {
        json.String("data", Hex(reply, ""));
        if (!options_.json) {
            Print(reply.empty() ? "ok" : "ok: " + Hex(reply));
        }
    }
    return outcome;
}

Session::Outcome Session::Service(const Command& command, JsonObject& json)
{
    json.Number("node", static_cast<long long>(command.node))
        .Number("class", static_cast<long long>(command.classId))
        .Number("instance", static_cast<long long>(command.instance))
        .Number("service", static_cast<long long>(command.service))
        .String("sent", Hex(command.data, ""));
    if (Outcome open = EnsureNode(command.node, false); open.exit != kExitOk) {
        return open;
    }
    std::uint8_t buffer[kReplyBufferSize] = {};
    std::copy(command.data.begin(), command.data.end(), buffer);
    const std::int32_t rval = driver_.DNService(command.node, command.classId, command.instance, command.service,
                                                static_cast<int>(command.data.size()), buffer);
    std::vector<std::uint8_t> reply;
    Outcome outcome =
        Explicit(rval, buffer, static_cast<std::uint8_t>(command.service), "", command.node, reply, json);
    if (outcome.exit == kExitOk) {
        json.String("data", Hex(reply, ""));
        if (!options_.json) {
            Print(reply.empty() ? "ok" : "ok: " + Hex(reply));
        }
    }
    return outcome;
}

Session::Outcome Session::GetUInt16(int node, int classId, int instance, int attribute, std::uint16_t& value)
{
    std::uint8_t buffer[kReplyBufferSize] = {};
    const std::int32_t rval = driver_.DNGetAttribute(node, classId, instance, attribute, buffer);
    std::vector<std::uint8_t> data;
    JsonObject ignored;
    const std::string what = "reading " + std::to_string(classId) + "/" + std::to_string(instance) + "/" +
                             std::to_string(attribute) + ": ";
    Outcome outcome = Explicit(rval, buffer, kGetAttributeSingle, what, node, data, ignored);
    if (outcome.exit != kExitOk) {
        return outcome;
    }
    if (data.size() != 2) {
        return {kExitFailure, what + "expected 2 bytes, got " + std::to_string(data.size())};
    }
    value = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
    return {};
}

Session::Outcome Session::Poll(const Command& command, JsonObject& json)
{
    json.Number("node", static_cast<long long>(command.node));
    if (Outcome open = EnsureNode(command.node, true); open.exit != kExitOk) {
        return open;
    }
    // The poll connection's sizes: what the node produces (the answer) and consumes (the command).
    std::uint16_t produced = 0;
    std::uint16_t consumed = 0;
    if (Outcome size = GetUInt16(command.node, 5, 2, 7, produced); size.exit != kExitOk) {
        return size;
    }
    if (Outcome size = GetUInt16(command.node, 5, 2, 8, consumed); size.exit != kExitOk) {
        return size;
    }
    json.Number("produced", static_cast<long long>(produced)).Number("consumed", static_cast<long long>(consumed));
    if (produced > kMaxPollData) {
        return {kExitFailure, "the node produces " + std::to_string(produced) + " bytes per poll; at most " +
                                  std::to_string(kMaxPollData) + " are supported"};
    }
    std::uint8_t buffer[kReplyBufferSize] = {};
    std::copy(command.data.begin(), command.data.end(), buffer);
    std::int16_t rxIdentifierField = 0;
    auto rxLengthField = static_cast<std::int16_t>(produced);
    const std::int32_t rval =
        driver_.DNPoll(static_cast<std::int16_t>(Group2(command.node, kPollCommand)),
                       static_cast<std::int16_t>(command.data.size()), &rxIdentifierField, &rxLengthField, buffer);
    const auto rxIdentifier = static_cast<std::uint16_t>(rxIdentifierField);
    const auto rxLength = static_cast<std::uint16_t>(rxLengthField);
    json.String("sent", Hex(command.data, ""));
    if (rval != 0) {
        std::string message = WithReason("no poll response from node " + std::to_string(command.node), driver_);
        if (!command.data.empty() && command.data.size() != consumed) {
            // A node discards a poll command of another size than its connection consumes.
            message += " (it consumes " + std::to_string(consumed) + " bytes per poll command; " +
                       std::to_string(command.data.size()) + " were sent)";
        }
        return {kExitFailure, message};
    }
    if (rxLength != produced) {
        return {kExitFailure, "poll response of " + std::to_string(rxLength) + " bytes, expected " +
                                  std::to_string(produced)};
    }
    const std::vector<std::uint8_t> input(buffer, buffer + produced);
    json.Number("rxId", static_cast<long long>(rxIdentifier)).String("data", Hex(input, ""));
    if (!options_.json) {
        char head[64];
        std::snprintf(head, sizeof head, "poll response on %03X, %u bytes", static_cast<unsigned>(rxIdentifier),
                      static_cast<unsigned>(produced));
        Print(input.empty() ? std::string(head) : head + (": " + Hex(input)));
    }
    return {};
}

void Session::ReportNode(int node, bool allocated, std::vector<std::string>& nodesJson)
{
    JsonObject entry;
    entry.Number("node", static_cast<long long>(node));
    std::string line = "node " + std::to_string(node) + ":";
    std::optional<std::uint16_t> vendor;
    std::optional<std::string> product;
    if (allocated) {
        std::uint8_t buffer[kReplyBufferSize] = {};
        JsonObject ignored;
        std::vector<std::uint8_t> data;
        if (Explicit(driver_.DNGetAttribute(node, 1, 1, 1, buffer), buffer, kGetAttributeSingle, "", node, data,
                     ignored)
                    .exit == kExitOk &&
            data.size() == 2) {
            vendor = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
        }
        std::fill(std::begin(buffer), std::end(buffer), std::uint8_t{0});
        if (Explicit(driver_.DNGetAttribute(node, 1, 1, 7, buffer), buffer, kGetAttributeSingle, "", node, data,
                     ignored)
                .exit == kExitOk) {
            product = ShortString(data);
        }
    }
    if (vendor) {
        entry.Number("vendorId", static_cast<long long>(*vendor));
        line += " vendor id " + std::to_string(*vendor);
    } else {
        entry.Raw("vendorId", "null");
        line += " vendor id unknown";
    }
    if (product) {
        entry.String("productName", *product);
        std::string shown;
        for (const char c : *product) {
            shown += static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F ? c : '.';
        }
        line += ", product name \"" + shown + "\"";
    } else {
        entry.Raw("productName", "null");
        line += ", product name unknown";
    }
    nodesJson.push_back(entry.Text());
    if (!options_.json) {
        Print(line);
    }
}

Session::Outcome Session::ScanByAllocate(std::uint32_t waitMs, std::vector<std::string>& nodesJson)
{
    if (driver_.SetTimeout(waitMs) != 0) {
        return {kExitFailure, WithReason("the card refused the scan time-out (SetTimeout failed)", driver_)};
    }
    for (int node = 0; node < 64; ++node) {
        if (node == options_.master) {
            continue;
        }
        if (nodes_.contains(node)) {
            // Ours already: allocating again and releasing would take the session's connection away.
            ReportNode(node, true, nodesJson);
            continue;
        }
        std::uint8_t scratch[kReplyBufferSize] = {};
        if (driver_.DNAllocate(node, kExplicitConnection, scratch) == 0) {
            ReportNode(node, true, nodesJson);
            driver_.DNFree(node, kExplicitConnection, scratch);
        }
        FetchTrace();
    }
    if (driver_.SetTimeout(options_.timeoutMs.value_or(kCardDefaultTimeoutMs)) != 0) {
        return {kExitFailure, WithReason("the card refused to restore its time-out (SetTimeout failed)", driver_)};
    }
    return {};
}

Session::Outcome Session::ScanByFrames(std::uint32_t waitMs, std::vector<std::string>& nodesJson)
{
    // The VORA card has no time-out to shorten, so the allocation requests go out as raw frames
    // and dnet waits for each answer itself.
    for (int node = 0; node < 64; ++node) {
        if (node == options_.master) {
            continue;
        }
        if (nodes_.contains(node)) {
            ReportNode(node, true, nodesJson);
            continue;
        }
        const auto master = static_cast<std::uint8_t>(options_.master);
        std::uint8_t request[8] = {master, kAllocate, kDeviceNetClass, 1, kExplicitConnection, master};
        if (driver_.CANXmit(Group2(node, kUnconnectedRequest), 6, request) != 0) {
            return {kExitFailure, WithReason("the card refused the allocation request to node " +
                                                 std::to_string(node),
                                             driver_)};
        }
        bool answered = false;
        bool allocated = false;
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        while (!answered && Clock::now() < deadline) {
            std::int16_t identifier = 0;
            std::int16_t length = 0;
            std::uint8_t frame[kFrameBufferSize] = {};
            const std::int32_t rval = driver_.CANRcv(&identifier, &length, frame);
            if (rval == kVoraNothingReceived) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (rval != 0) {
                return {kExitFailure, WithReason("the card failed to receive (" + std::to_string(rval) + ")", driver_)};
            }
            if (identifier == Group2(node, kSlaveExplicitResponse) && length >= 2) {
                answered = true;
                allocated = frame[kVoraReceiveDataOffset + 1] == (kAllocate | kReplyBit);
            }
        }
        if (answered) {
            ReportNode(node, allocated, nodesJson);
            if (allocated) {
                std::uint8_t scratch[kReplyBufferSize] = {};
                driver_.DNFree(node, kExplicitConnection, scratch);
            }
        }
    }
    return {};
}

Session::Outcome Session::Scan(const Command& command, JsonObject& json)
{
    const auto waitMs = static_cast<std::uint32_t>(command.waitMs);
    std::vector<std::string> nodesJson;
    Outcome outcome =
        options_.card == CardKind::Vora ? ScanByFrames(waitMs, nodesJson) : ScanByAllocate(waitMs, nodesJson);
    std::string list = "[";
    for (std::size_t i = 0; i < nodesJson.size(); ++i) {
        list += (i > 0 ? "," : "") + nodesJson[i];
    }
    json.Raw("nodes", list + "]");
    if (outcome.exit == kExitOk && nodesJson.empty() && !options_.json) {
        Print("no node answered");
    }
    return outcome;
}

Session::Outcome Session::Send(const Command& command, JsonObject& json)
{
    json.Number("id", static_cast<long long>(command.canId)).String("data", Hex(command.data, ""));
    std::uint8_t data[kFrameBufferSize] = {};
    std::copy(command.data.begin(), command.data.end(), data);
    if (driver_.CANXmit(command.canId, static_cast<int>(command.data.size()), data) != 0) {
        return {kExitFailure, WithReason("the card refused the frame", driver_)};
    }
    if (!options_.json) {
        Print("sent " + FrameText(command.canId, command.data));
    }
    return {};
}

std::uint32_t Session::ReceiveTimeout() const
{
    return options_.timeoutMs.value_or(kCardDefaultTimeoutMs);
}

Session::Outcome Session::Recv(JsonObject& json)
{
    std::int16_t identifier = 0;
    std::int16_t length = 0;
    std::uint8_t frame[kFrameBufferSize] = {};
    std::int32_t rval = -1;
    std::size_t offset = 0;
    if (options_.card == CardKind::Vora) {
        // This card's CANRcv never waits: dnet waits for it.
        offset = kVoraReceiveDataOffset;
        const auto deadline = Clock::now() + std::chrono::milliseconds(ReceiveTimeout());
        for (;;) {
            rval = driver_.CANRcv(&identifier, &length, frame);
            if (rval != kVoraNothingReceived || Clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } else {
        rval = driver_.CANRcv(&identifier, &length, frame);
    }
    if (rval != 0) {
        return {kExitFailure, WithReason("no frame received within " + std::to_string(ReceiveTimeout()) + " ms",
                                         driver_)};
    }
    const std::size_t count = std::min<std::size_t>(static_cast<std::uint16_t>(length), kMaxFrameData);
    const std::vector<std::uint8_t> data(frame + offset, frame + offset + count);
    json.Number("id", static_cast<long long>(identifier & 0x7FF)).String("data", Hex(data, ""));
    if (!options_.json) {
        Print(FrameText(identifier & 0x7FF, data));
    }
    return {};
}

Session::Outcome Session::Bench(const Command& command, JsonObject& json)
{
    json.Number("node", static_cast<long long>(command.node));
    if (Outcome open = EnsureNode(command.node, false); open.exit != kExitOk) {
        return open;
    }
    // Identity vendor id: a two-byte value, answered in one frame by every device.
    constexpr int kClass = 1;
    constexpr int kInstance = 1;
    constexpr int kAttribute = 1;
    constexpr std::size_t kRequestBytes = 5; // header, service, class, instance, attribute
    std::uint8_t buffer[kReplyBufferSize] = {};
    std::vector<std::uint8_t> value;
    // One exchange first: the node must answer, and the answer's size is needed for the limit.
    Outcome first = Explicit(driver_.DNGetAttribute(command.node, kClass, kInstance, kAttribute, buffer), buffer,
                             kGetAttributeSingle, "", command.node, value, json);
    if (first.exit != kExitOk) {
        return first;
    }
    const std::size_t answerBytes = buffer[kReplyLengthOffset] | (buffer[kReplyLengthOffset + 1] << 8);
    FetchTrace();

    const bool tracing = options_.trace || logFile_.is_open();
    const auto start = Clock::now();
    for (int i = 0; i < command.count; ++i) {
        const std::int32_t rval = driver_.DNGetAttribute(command.node, kClass, kInstance, kAttribute, buffer);
        if (rval != 0 || buffer[kReplyServiceOffset] != (kGetAttributeSingle | kReplyBit)) {
            Outcome failed = Explicit(rval, buffer, kGetAttributeSingle, "exchange " + std::to_string(i + 1) + ": ",
                                      command.node, value, json);
            if (failed.exit != kExitOk) {
                return failed;
            }
        }
        if (tracing) {
            FetchTrace(); // the card's trace holds only a few exchanges
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rate = seconds > 0 ? command.count / seconds : 0;
    json.Number("count", static_cast<long long>(command.count))
        .Number("seconds", seconds)
        .Number("perSecond", rate)
        .Number("requestBytes", static_cast<long long>(kRequestBytes))
        .Number("answerBytes", static_cast<long long>(answerBytes));
    if (!options_.json) {
        Print("node " + std::to_string(command.node) + ": " + std::to_string(command.count) +
              " Get_Attribute_Single exchanges in " + Printf("%.3f s, %.0f per second", seconds, rate));
    }
    const bool timed = IsWireTimedBus(BusString());
    json.Bool("wireTimed", timed);
    if (timed) {
        const std::uint32_t bitrate = static_cast<std::uint32_t>(options_.rateKbit) * 1000;
        const std::uint32_t requestBits = WorstCaseFrameBits(kRequestBytes);
        const std::uint32_t answerBits = WorstCaseFrameBits(answerBytes);
        const double limit = WireLimitedRate(bitrate, kRequestBytes, answerBytes);
        json.Number("bitsPerExchange", static_cast<long long>(requestBits + answerBits))
            .Number("wireLimit", limit)
            .Number("ratio", limit > 0 ? rate / limit : 0.0);
        if (!options_.json) {
            Print("wire limit at " + std::to_string(options_.rateKbit) + " kbit/s: " +
                  Printf("%.0f per second", limit) + " (a standard frame with n data bytes takes at most 55 + 10n "
                  "bits, interframe space included: request " + std::to_string(kRequestBytes) + " bytes = " +
                  std::to_string(requestBits) + " bits, answer " + std::to_string(answerBytes) + " bytes = " +
                  std::to_string(answerBits) + " bits)");
            Print(Printf("ratio to the wire limit: %.3f", limit > 0 ? rate / limit : 0.0));
        }
    }
    return {};
}

void Session::FetchTrace()
{
    if ((!options_.trace && !logFile_.is_open()) || !initialized_ || !cardKeepsTrace_) {
        return;
    }
    char text[DriverClient::kTraceTextSize] = {};
    if (driver_.GetCANMessage(text) != 0) {
        cardKeepsTrace_ = false;
        return;
    }
    text[sizeof text - 1] = '\0';
    log_.Append(text, std::chrono::system_clock::now());
    if (logFile_.is_open()) {
        const std::string interfaceName = InterfaceName(BusString());
        for (; loggedFrames_ < log_.Frames().size(); ++loggedFrames_) {
            logFile_ << CandumpLine(log_.Frames()[loggedFrames_], interfaceName) << '\n';
        }
        logFile_.flush();
    }
}

void Session::Finish()
{
    if (initialized_) {
        FetchTrace();
        for (const auto& [node, state] : nodes_) {
            driver_.CloseModule(node);
            FetchTrace();
        }
        nodes_.clear();
        driver_.Close(); // its result is -1 whatever happens
        initialized_ = false;
    }
    if (options_.trace) {
        PrintTrace();
    }
    if ((options_.trace || logFile_.is_open()) && created_) {
        if (!cardKeepsTrace_) {
            std::fprintf(err_, "dnet: note: the %s card keeps no CAN trace\n", CardName(options_.card).data());
        } else if (log_.MayHaveLostFrames()) {
            std::fprintf(err_, "dnet: note: the card's trace was full at times; some frames are missing\n");
        }
    }
}

void Session::PrintTrace()
{
    if (options_.json) {
        std::string frames = "[";
        for (std::size_t i = 0; i < log_.Frames().size(); ++i) {
            const TracedFrame& frame = log_.Frames()[i];
            const auto micros =
                std::chrono::duration_cast<std::chrono::microseconds>(frame.time.time_since_epoch()).count();
            char time[32];
            std::snprintf(time, sizeof time, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                          static_cast<long long>(micros % 1000000));
            JsonObject entry;
            entry.Raw("time", time)
                .Number("id", static_cast<long long>(frame.identifier))
                .String("data", Hex(frame.data, ""));
            frames += (i > 0 ? "," : "") + entry.Text();
        }
        JsonObject json;
        json.String("command", "trace")
            .Bool("available", cardKeepsTrace_)
            .Bool("complete", !log_.MayHaveLostFrames())
            .Raw("frames", frames + "]");
        Print(json.Text());
        return;
    }
    for (const TracedFrame& frame : log_.Frames()) {
        Print(TraceLine(frame));
    }
}

void Session::Print(const std::string& line)
{
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
}

std::string Session::BusString() const
{
    if (!options_.bus.empty()) {
        return options_.bus;
    }
    const char* fromEnvironment = std::getenv("ORV_CANBUS");
    return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : "sim";
}

} // namespace orv::dnet
