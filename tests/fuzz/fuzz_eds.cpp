// The EDS reader on any text: it accepts or refuses with a place in the text, and what it accepts
// holds together: parameters in number order, each value of the file shown and written back as
// the same bytes, typed text checked without harm.

#include "eds/DataType.h"
#include "eds/ParamValue.h"
#include "eds/Reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace orv::eds;

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// A value the file states comes back from its own bytes.
void RoundTrip(const Param& param, const Value& value)
{
    if (std::holds_alternative<std::monostate>(value)) {
        return;
    }
    (void)ValueText(param, value);
    const DataType type = FindDataType(param.dataType);
    const auto* text = std::get_if<std::string>(&value);
    if (type.kind == TypeKind::Other || (text != nullptr && text->size() > param.dataSize)) {
        return;
    }
    std::string why;
    const auto back = DecodeValue(param, EncodeValue(param, value), why);
    Check(back.has_value());
    if (type.kind != TypeKind::Real) {
        Check(*back == value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Eds eds;
    Error error;
    if (!ReadEds(text, eds, error)) {
        Check(error.where.line >= 1 && error.where.column >= 1 && !error.expected.empty());
        return 0;
    }
    Device device;
    Check(ReadDevice(text, device, error) && device.Key() == eds.device.Key());
    for (std::size_t i = 0; i < eds.params.size(); ++i) {
        const Param& param = eds.params[i];
        Check(i == 0 || eds.params[i - 1].number < param.number);
        Check(eds.FindParam(param.number) == &param);
        RoundTrip(param, param.minimum);
        RoundTrip(param, param.maximum);
        RoundTrip(param, param.defaultValue);
        for (const EnumEntry& entry : param.enumeration) {
            RoundTrip(param, entry.value);
        }
        (void)RangeText(param);
        for (const std::string_view typed : {std::string_view(param.name), std::string_view("-1.25"),
                                             std::string_view("0x7F+1"), std::string_view(param.units)}) {
            Value value;
            std::string why;
            if (ValueFromText(param, typed, value, why)) {
                RoundTrip(param, value);
            }
        }
    }
    return 0;
}
