#include "tools/dnet/monitor/JsonFormat.h"

#include "platform/Hex.h"
#include "tools/dnet/Decoding.h"
#include "tools/dnet/Json.h"
#include "tools/dnet/monitor/TextFormat.h"

#include <cstdio>

namespace orv::dnet::monitor {

std::string JsonLine(const Message& message)
{
    JsonObject json;
    char time[40];
    std::snprintf(time, sizeof time, "%llu.%06llu", static_cast<unsigned long long>(message.timeUs / 1000000),
                  static_cast<unsigned long long>(message.timeUs % 1000000));
    json.Raw("time", time);
    json.String("id", platform::HexNumber(message.canId, message.extended ? 8 : 3, true));
    if (message.group > 0) {
        json.Number("group", static_cast<long long>(message.group));
        json.Number("message", static_cast<long long>(message.messageId));
    }
    const auto mac = [&](const char* key, int value) {
        if (value == kEveryone) {
            json.String(key, "all");
        } else if (value >= 0) {
            json.Number(key, static_cast<long long>(value));
        } else {
            json.Raw(key, "null");
        }
    };
    mac("from", message.from);
    mac("to", message.to);
    json.String("kind", KindName(message.kind));
    json.String("text", Describe(message));
    if (message.service >= 0) {
        json.Number("service", static_cast<long long>(message.service));
        json.String("serviceName", ServiceName(static_cast<std::uint8_t>(message.service)));
    }
    if (message.requestService >= 0) {
        json.Number("requestService", static_cast<long long>(message.requestService));
    }
    if (message.classId >= 0) {
        json.Number("class", static_cast<long long>(message.classId));
        if (const std::string_view name = ClassName(message.classId); !name.empty()) {
            json.String("className", name);
        }
        json.Number("instance", static_cast<long long>(message.instance));
    }
    if (message.attribute >= 0) {
        json.Number("attribute", static_cast<long long>(message.attribute));
        if (const std::string_view name = AttributeName(message.classId, message.instance, message.attribute);
            !name.empty()) {
            json.String("attributeName", name);
        } else if (!message.edsName.empty()) {
            json.String("attributeName", message.edsName);
        }
        const bool carriesValue = message.kind == MessageKind::ExplicitRequest ||
                                  message.kind == MessageKind::ExplicitResponse;
        if (carriesValue && message.data.size() == message.length) {
            if (const auto decoded =
                    DecodeAttribute(message.classId, message.instance, message.attribute, message.data)) {
                json.Raw("value", decoded->jsonValue);
            } else if (!message.edsJson.empty()) {
                json.Raw("value", message.edsJson);
            }
        }
    }
    if (message.generalError >= 0) {
        json.Number("generalError", static_cast<long long>(message.generalError));
        json.String("error", GeneralErrorText(static_cast<std::uint8_t>(message.generalError)));
    }
    if (message.additionalError >= 0) {
        json.Number("additionalError", static_cast<long long>(message.additionalError));
    }
    if (message.choice >= 0) {
        json.Number("choice", static_cast<long long>(message.choice));
    }
    if (message.allocator >= 0) {
        json.Number("allocator", static_cast<long long>(message.allocator));
    }
    if (message.bodyFormat >= 0) {
        json.Number("bodyFormat", static_cast<long long>(message.bodyFormat));
    }
    if (message.kind == MessageKind::DuplicateMacCheck) {
        json.Bool("response", message.response);
        json.Number("port", static_cast<long long>(message.port));
        json.Number("vendor", static_cast<long long>(message.vendor));
        json.Number("serial", static_cast<long long>(message.serial));
    }
    if (message.ackCount >= 0) {
        json.Number("ackCount", static_cast<long long>(message.ackCount));
        json.Number("ackStatus", static_cast<long long>(message.ackStatus));
    }
    if (message.length > 0 || !message.data.empty()) {
        json.String("data", platform::HexText(message.data, "", true));
        json.Number("length", static_cast<long long>(message.length));
    }
    if (message.fragments > 0) {
        json.Number("fragments", static_cast<long long>(message.fragments));
        if (message.kind == MessageKind::BrokenSeries ? message.explicitSeries
                                                      : message.group == 2 && message.messageId != 5) {
            json.Number("acknowledged", static_cast<long long>(message.acknowledged));
        }
    }
    if (!message.problem.empty()) {
        json.String("problem", message.problem);
    }
    return json.Text();
}

} // namespace orv::dnet::monitor
