// [Params] and [EnumPar]: each ParamN with its path, descriptor, data type and size, texts, limits,
// default, scaling and decimal places; each EnumN as the named values of ParamN.

#include "eds/ReaderParts.h"

#include <algorithm>

namespace orv::eds::detail {
namespace {

// Field positions of ParamN.
enum ParamField : std::size_t {
    kReserved,
    kPathSize,
    kPath,
    kDescriptor,
    kDataType,
    kDataSize,
    kName,
    kUnits,
    kHelp,
    kMinimum,
    kMaximum,
    kDefault,
    kMultiplier,
    kDivisor,
    kBase,
    kOffset,
    kMultiplierLink,
    kDivisorLink,
    kBaseLink,
    kOffsetLink,
    kDecimalPlaces,
};

// More would make 10^places overflow the arithmetic of scaled values; no device needs them.
constexpr std::uint64_t kMostDecimalPlaces = 15;

bool Below(const Value& a, const Value& b)
{
    if (const auto* x = std::get_if<std::int64_t>(&a)) {
        return *x < std::get<std::int64_t>(b);
    }
    if (const auto* x = std::get_if<std::uint64_t>(&a)) {
        return *x < std::get<std::uint64_t>(b);
    }
    if (const auto* x = std::get_if<double>(&a)) {
        return *x < std::get<double>(b);
    }
    return false;
}

bool Numeric(const Value& value)
{
    return std::holds_alternative<std::int64_t>(value) || std::holds_alternative<std::uint64_t>(value) ||
           std::holds_alternative<double>(value);
}

bool ReadScaling(Fields& fields, Param& param)
{
    // Without the scaling bit the fields are often zeros; they are read but not used.
    const std::uint64_t least = param.Scaled() ? 1 : 0;
    std::int64_t offset = 0;
    if (!fields.Number(kMultiplier, "the scaling multiplier", least, 0xFFFF, param.scaling.multiplier, 1) ||
        !fields.Number(kDivisor, "the scaling divisor", least, 0xFFFF, param.scaling.divisor, 1) ||
        !fields.Number(kBase, "the scaling base", least, 0xFFFF, param.scaling.base, 1) ||
        !fields.Signed(kOffset, "the scaling offset", INT32_MIN, INT32_MAX, offset, 0)) {
        return false;
    }
    param.scaling.offset = static_cast<std::int32_t>(offset);
    if (!param.Scaled()) {
        param.scaling = Scaling{};
    }
    for (std::size_t i = 0; i < param.scalingLinks.size(); ++i) {
        if (!fields.Number(kMultiplierLink + i, "a scaling link (a parameter number)", 0, 0xFFFF,
                           param.scalingLinks[i], 0)) {
            return false;
        }
    }
    return fields.Number(kDecimalPlaces, "the decimal places", 0, kMostDecimalPlaces, param.decimalPlaces, 0);
}

bool ReadParam(std::uint16_t number, Fields& fields, Eds& eds)
{
    Param param;
    param.number = number;
    param.where = fields.Of().where;
    std::uint64_t reserved = 0;
    if (!fields.AtLeast(kName + 1, "up to the parameter name") ||
        !fields.Unsigned(kReserved, "the first field", 0, 0xFFFFFFFF, reserved, 0) ||
        !fields.Path(kPathSize, kPath, param.path) ||
        !fields.Number(kDescriptor, "the descriptor", 0, 0xFFFF, param.descriptor) ||
        !fields.Number(kDataType, "the data type", 0, 0xFF, param.dataType) ||
        !fields.Number(kDataSize, "the data size", 0, 0xFF, param.dataSize)) {
        return false;
    }
    const DataType type = FindDataType(param.dataType);
    if (type.size != 0 && param.dataSize != type.size) {
        return fields.Fail(kDataSize, "expected the size of " + std::string(type.name) + ", " +
                                          std::to_string(type.size));
    }
    if (!fields.Text(kName, "the parameter name", param.name) || !fields.Text(kUnits, "the units", param.units) ||
        !fields.Text(kHelp, "the help text", param.help) ||
        !fields.TypedValue(kMinimum, "the minimum", type, param.minimum) ||
        !fields.TypedValue(kMaximum, "the maximum", type, param.maximum) ||
        !fields.TypedValue(kDefault, "the default", type, param.defaultValue) || !ReadScaling(fields, param)) {
        return false;
    }
    if (Numeric(param.minimum) && Numeric(param.maximum) && Below(param.maximum, param.minimum)) {
        eds.notes.push_back({fields.Where(kMaximum), param.name + ": the maximum is below the minimum"});
    }
    if (Numeric(param.defaultValue) && ((Numeric(param.minimum) && Below(param.defaultValue, param.minimum)) ||
                                        (Numeric(param.maximum) && Below(param.maximum, param.defaultValue)))) {
        eds.notes.push_back({fields.Where(kDefault), param.name + ": the default is outside the range"});
    }
    eds.params.push_back(std::move(param));
    return true;
}

// EnumN = value, "name", value, "name", ...; the values are of ParamN's type, for a bit string
// its bit numbers.
bool ReadEnum(std::uint16_t number, Fields& fields, Eds& eds)
{
    Param* param = eds.FindParam(number);
    if (param == nullptr) {
        eds.notes.push_back({fields.Of().where, fields.Of().keyword + " belongs to no parameter"});
        return true;
    }
    const DataType type = FindDataType(param->dataType);
    if (!IsInteger(type.kind)) {
        eds.notes.push_back({fields.Of().where, fields.Of().keyword + " names values of " + param->name +
                                                    ", which holds no integer"});
        return true;
    }
    if (fields.Count() % 2 != 0) {
        return fields.Fail(fields.Count(), "expected a name after the last value of " + fields.Of().keyword);
    }
    for (std::size_t i = 0; i + 1 < fields.Count(); i += 2) {
        EnumEntry entry;
        if (type.kind == TypeKind::BitString) {
            std::uint64_t position = 0;
            if (!fields.Unsigned(i, "a bit number", 0, 8u * type.size - 1, position)) {
                return false;
            }
            entry.value = position;
        } else if (!fields.TypedValue(i, "a value", type, entry.value)) {
            return false;
        }
        if (std::holds_alternative<std::monostate>(entry.value)) {
            return fields.Fail(i, "expected a value of " + param->name);
        }
        if (!fields.Text(i + 1, "the name of the value", entry.name)) {
            return false;
        }
        param->enumeration.push_back(std::move(entry));
    }
    return true;
}

} // namespace

bool ReadParams(const Section& section, Eds& eds, Error& error)
{
    if (!ReadNumbered(section, "Param", "a parameter", eds, error,
                      [&](std::uint16_t number, Fields& fields) { return ReadParam(number, fields, eds); })) {
        return false;
    }
    SortByNumber(eds.params);
    return true;
}

bool ReadEnums(const Section& section, Eds& eds, Error& error)
{
    return ReadNumbered(section, "Enum", "an enumeration", eds, error,
                        [&](std::uint16_t number, Fields& fields) { return ReadEnum(number, fields, eds); });
}

} // namespace orv::eds::detail
