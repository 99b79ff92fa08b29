#include "tools/dnet/Json.h"

#include <cmath>
#include <cstdio>

namespace orv::dnet {

std::string JsonString(std::string_view text)
{
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json)
{
    if (!fields_.empty()) {
        fields_ += ",";
    }
    fields_ += JsonString(key);
    fields_ += ":";
    fields_ += json;
    return *this;
}

JsonObject& JsonObject::String(std::string_view key, std::string_view text)
{
    return Raw(key, JsonString(text));
}

JsonObject& JsonObject::Number(std::string_view key, long long value)
{
    return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Number(std::string_view key, double value)
{
    if (!std::isfinite(value)) {
        return Raw(key, "null");
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return Raw(key, text);
}

JsonObject& JsonObject::Bool(std::string_view key, bool value)
{
    return Raw(key, value ? "true" : "false");
}

} // namespace orv::dnet
