#include "tools/dnet/EdsJson.h"

#include "tools/dnet/Json.h"

#include "eds/DataType.h"
#include "platform/Hex.h"

#include <cmath>
#include <cstdio>
#include <span>

namespace orv::dnet {

std::string ValueJson(const eds::Param& param, const eds::Value& value)
{
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*number);
    }
    if (const auto* number = std::get_if<std::uint64_t>(&value)) {
        return std::to_string(*number);
    }
    if (const auto* real = std::get_if<double>(&value)) {
        if (!std::isfinite(*real)) {
            return "null";
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", *real);
        return text;
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (eds::FindDataType(param.dataType).kind == eds::TypeKind::Other) {
            return JsonString(platform::HexText(
                std::span(reinterpret_cast<const std::uint8_t*>(text->data()), text->size()), "", true));
        }
        return JsonString(*text);
    }
    return "null";
}

} // namespace orv::dnet
