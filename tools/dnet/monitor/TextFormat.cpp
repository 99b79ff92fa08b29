#include "tools/dnet/monitor/TextFormat.h"

#include "platform/Hex.h"
#include "tools/dnet/Decoding.h"
#include "tools/dnet/monitor/Identifier.h"

#include <cstdio>

namespace orv::dnet::monitor {
namespace {

std::string Hex(const Message& message)
{
    std::string text = platform::HexText(message.data, " ", true);
    if (message.data.size() < message.length) {
        text += " ...";
    }
    return text;
}

std::string Bytes(const Message& message)
{
    if (message.length == 0) {
        return "no data";
    }
    return std::to_string(message.length) + (message.length == 1 ? " byte: " : " bytes: ") + Hex(message);
}

std::string Choice(int choice)
{
    const std::string text = AllocationChoiceNames(static_cast<unsigned>(choice));
    char code[24];
    std::snprintf(code, sizeof code, "choice 0x%02X", static_cast<unsigned>(choice));
    return text.empty() ? code : text + " (" + code + ")";
}

std::string Path(const Message& message)
{
    if (message.classId < 0) {
        return {};
    }
    const std::string_view name = ClassName(message.classId);
    std::string text = name.empty() ? "class " + std::to_string(message.classId)
                                    : std::string(name) + "(" + std::to_string(message.classId) + ")";
    text += " " + std::to_string(message.instance);
    if (message.attribute >= 0) {
        text += "/" + std::to_string(message.attribute);
        const std::string_view attribute = AttributeName(message.classId, message.instance, message.attribute);
        if (!attribute.empty()) {
            text += " " + std::string(attribute);
        } else if (!message.edsName.empty()) {
            text += " " + message.edsName;
        }
    }
    return text;
}

// The service data: an attribute value by its meaning where known, else the bytes.
std::string Value(const Message& message)
{
    if (message.attribute >= 0 && message.data.size() == message.length) {
        if (const auto decoded = DecodeAttribute(message.classId, message.instance, message.attribute, message.data)) {
            return decoded->text;
        }
    }
    if (!message.edsText.empty()) {
        return message.edsText;
    }
    return Bytes(message);
}

std::string MessageText(const Message& message)
{
    const std::string_view name = MessageName({message.group, message.messageId, -1});
    if (!name.empty()) {
        return std::string(name);
    }
    return "group " + std::to_string(message.group) + " message " + std::to_string(message.messageId);
}

std::string Explicit(const Message& message)
{
    std::string text;
    switch (message.kind) {
    case MessageKind::ExplicitRequest: {
        text = ServiceName(static_cast<std::uint8_t>(message.service));
        const std::string path = Path(message);
        text += path.empty() ? "" : " " + path;
        if (message.length > 0) {
            text += ": " + Value(message);
        }
        return text;
    }
    case MessageKind::ExplicitResponse: {
        text = ServiceName(static_cast<std::uint8_t>(message.service)) + " reply";
        const std::string path = Path(message);
        text += path.empty() ? "" : " " + path;
        if (message.length > 0) {
            text += ": " + Value(message);
        }
        return text;
    }
    case MessageKind::ErrorResponse: {
        text = "error response";
        if (message.choice >= 0) {
            text += message.requestService == 0x4B ? " to Allocate " : " to Release ";
            text += Choice(message.choice);
        } else if (message.requestService >= 0) {
            text += " to " + ServiceName(static_cast<std::uint8_t>(message.requestService));
            const std::string path = Path(message);
            text += path.empty() ? "" : " " + path;
        }
        text += ": " + GeneralErrorText(static_cast<std::uint8_t>(message.generalError));
        if (message.additionalError >= 0) {
            char additional[24];
            std::snprintf(additional, sizeof additional, ", additional 0x%02X",
                          static_cast<unsigned>(message.additionalError));
            text += additional;
        }
        return text;
    }
    default: return text;
    }
}

} // namespace

const char* KindName(MessageKind kind)
{
    switch (kind) {
    case MessageKind::DuplicateMacCheck: return "duplicate MAC ID check";
    case MessageKind::Allocate: return "allocate";
    case MessageKind::Release: return "release";
    case MessageKind::AllocateResponse: return "allocation reply";
    case MessageKind::ExplicitRequest: return "explicit request";
    case MessageKind::ExplicitResponse: return "explicit reply";
    case MessageKind::ErrorResponse: return "error response";
    case MessageKind::Acknowledgement: return "acknowledgement";
    case MessageKind::BrokenSeries: return "broken series";
    case MessageKind::Io: return "I/O";
    case MessageKind::Malformed: return "malformed";
    case MessageKind::Other: return "other";
    case MessageKind::NotDeviceNet: return "not DeviceNet";
    }
    return "other";
}

std::string Describe(const Message& message)
{
    char buffer[96];
    std::string text;
    switch (message.kind) {
    case MessageKind::DuplicateMacCheck:
        std::snprintf(buffer, sizeof buffer, "duplicate MAC ID check %s: port %d, vendor %u, serial 0x%08X",
                      message.response ? "response" : "request", message.port, static_cast<unsigned>(message.vendor),
                      static_cast<unsigned>(message.serial));
        text = buffer;
        break;
    case MessageKind::Allocate:
        text = "Allocate " + Choice(message.choice) + ", allocator " + std::to_string(message.allocator);
        break;
    case MessageKind::Release:
        text = "Release " + Choice(message.choice);
        break;
    case MessageKind::AllocateResponse:
        text = (message.service & 0x7F) == 0x4B ? "Allocate OK" : "Release OK";
        if (message.choice >= 0) {
            text += ": " + Choice(message.choice);
        }
        if (message.bodyFormat >= 0) {
            static constexpr const char* kFormats[] = {"8/8", "8/16", "16/16", "16/8"};
            text += message.bodyFormat < 4 ? std::string(", message body format ") + kFormats[message.bodyFormat]
                                           : ", message body format " + std::to_string(message.bodyFormat);
        }
        break;
    case MessageKind::ExplicitRequest:
    case MessageKind::ExplicitResponse:
    case MessageKind::ErrorResponse: text = Explicit(message); break;
    case MessageKind::Acknowledgement:
        text = "acknowledgement of fragment " + std::to_string(message.ackCount) +
               (message.ackStatus >= 0 ? ", status " + std::to_string(message.ackStatus) : std::string());
        break;
    case MessageKind::BrokenSeries:
        text = std::string("broken ") + (message.explicitSeries ? "explicit" : "I/O") + " fragment series: " +
               message.problem + "; " + std::to_string(message.fragments) +
               (message.fragments == 1 ? " fragment" : " fragments");
        if (message.explicitSeries) {
            text += ", " + std::to_string(message.acknowledged) + " acknowledged";
        }
        return text + "; " + Bytes(message);
    case MessageKind::Io: text = MessageText(message) + ", " + Bytes(message); break;
    case MessageKind::Malformed:
        return "malformed " + MessageText(message) + ": " + message.problem + "; " + Bytes(message);
    case MessageKind::Other: text = MessageText(message) + ", " + Bytes(message); break;
    case MessageKind::NotDeviceNet:
        std::snprintf(buffer, sizeof buffer, message.extended ? "%08X" : "%03X", static_cast<unsigned>(message.canId));
        return "not DeviceNet (" + message.problem + "): " + buffer + "#" + platform::HexText(message.data, "", true);
    }
    if (message.fragments > 0) {
        text += " [" + std::to_string(message.fragments) + " fragments";
        if (message.group == 2 && message.messageId != kG2PollCommand) {
            text += ", " + std::to_string(message.acknowledged) + " acknowledged";
        }
        text += "]";
    }
    if (!message.problem.empty()) {
        text += " - " + message.problem;
    }
    return text;
}

std::string TextLine(const Message& message, std::uint64_t originUs)
{
    const std::uint64_t since = message.timeUs >= originUs ? message.timeUs - originUs : 0;
    const auto mac = [](int value) {
        return value == kEveryone ? std::string("all") : value < 0 ? std::string("?") : std::to_string(value);
    };
    char head[64];
    std::snprintf(head, sizeof head, "%5llu.%06llu  %3s -> %-3s  ", static_cast<unsigned long long>(since / 1000000),
                  static_cast<unsigned long long>(since % 1000000), mac(message.from).c_str(), mac(message.to).c_str());
    std::string line = head;
    if (message.group > 0) {
        char group[32];
        std::snprintf(group, sizeof group, "G%d/%-2d  ", message.group, message.messageId);
        line += group;
    } else {
        line += "--     ";
    }
    return line + Describe(message);
}

} // namespace orv::dnet::monitor
