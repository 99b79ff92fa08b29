#pragma once
// The JSON dnet writes: one object per line, fields in the order they were added.

#include <cstdint>
#include <string>
#include <string_view>

namespace orv::dnet {

// `text` as a JSON string literal, quotes included. Control characters and bytes above ASCII are
// escaped (device texts are not promised to be UTF-8), so the output is always valid JSON.
std::string JsonString(std::string_view text);

class JsonObject {
public:
    // Adds a field whose value is already JSON text (a number, an object, an array ...).
    JsonObject& Raw(std::string_view key, std::string_view json);
    JsonObject& String(std::string_view key, std::string_view text);
    JsonObject& Number(std::string_view key, long long value);
    JsonObject& Number(std::string_view key, double value);
    JsonObject& Bool(std::string_view key, bool value);

    // The object on one line, without the line end.
    std::string Text() const { return "{" + fields_ + "}"; }

private:
    std::string fields_;
};

} // namespace orv::dnet
