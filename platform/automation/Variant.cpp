#include "platform/automation/Variant.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace orv::platform::automation {

namespace {

VARIANT Make(VARTYPE type)
{
    VARIANT variant;
    variant.vt = type;
    return variant;
}

bool IsIntegerKind(VARTYPE kind)
{
    switch (kind) {
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

// Bytes of the pointee a by-reference kind stands for; a byte buffer counts with the 16-bit kinds.
int ReferenceClass(VARTYPE kind)
{
    switch (kind) {
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return 4;
    default:
        return 0;
    }
}

// The integer a by-value or by-reference integer VARIANT holds; the caller has checked the kind
// and the address.
std::int64_t IntegerValue(const VARIANT& source)
{
    const bool byRef = (source.vt & VT_BYREF) != 0;
    switch (source.vt & VT_TYPEMASK) {
    case VT_I2: return byRef ? *source.piVal : source.iVal;
    case VT_UI2: return byRef ? *source.puiVal : source.uiVal;
    case VT_I4:
    case VT_INT: return byRef ? *source.plVal : source.lVal;
    default: return byRef ? *source.pulVal : source.ulVal;
    }
}

std::optional<VARIANT> IntegerAs(std::int64_t value, VARTYPE target)
{
    VARIANT result = Make(target);
    switch (target) {
    case VT_I2:
        if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max()) {
            return std::nullopt;
        }
        result.iVal = static_cast<std::int16_t>(value);
        return result;
    case VT_UI2:
        if (value < 0 || value > std::numeric_limits<std::uint16_t>::max()) {
            return std::nullopt;
        }
        result.uiVal = static_cast<std::uint16_t>(value);
        return result;
    case VT_I4:
    case VT_INT:
        if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
            return std::nullopt;
        }
        result.lVal = static_cast<std::int32_t>(value);
        return result;
    default:
        if (value < 0 || value > std::numeric_limits<std::uint32_t>::max()) {
            return std::nullopt;
        }
        result.ulVal = static_cast<std::uint32_t>(value);
        return result;
    }
}

} // namespace

VARIANT VARIANT::I2(std::int16_t value)
{
    VARIANT variant = Make(VT_I2);
    variant.iVal = value;
    return variant;
}

VARIANT VARIANT::UI2(std::uint16_t value)
{
    VARIANT variant = Make(VT_UI2);
    variant.uiVal = value;
    return variant;
}

VARIANT VARIANT::I4(std::int32_t value)
{
    VARIANT variant = Make(VT_I4);
    variant.lVal = value;
    return variant;
}

VARIANT VARIANT::UI4(std::uint32_t value)
{
    VARIANT variant = Make(VT_UI4);
    variant.ulVal = value;
    return variant;
}

VARIANT VARIANT::Int(std::int32_t value)
{
    VARIANT variant = Make(VT_INT);
    variant.intVal = value;
    return variant;
}

VARIANT VARIANT::UInt(std::uint32_t value)
{
    VARIANT variant = Make(VT_UINT);
    variant.uintVal = value;
    return variant;
}

VARIANT VARIANT::Ref(std::int16_t* pointer)
{
    VARIANT variant = Make(VT_I2 | VT_BYREF);
    variant.piVal = pointer;
    return variant;
}

VARIANT VARIANT::Ref(std::uint16_t* pointer)
{
    VARIANT variant = Make(VT_UI2 | VT_BYREF);
    variant.puiVal = pointer;
    return variant;
}

VARIANT VARIANT::Ref(std::int32_t* pointer)
{
    VARIANT variant = Make(VT_I4 | VT_BYREF);
    variant.plVal = pointer;
    return variant;
}

VARIANT VARIANT::Ref(std::uint32_t* pointer)
{
    VARIANT variant = Make(VT_UI4 | VT_BYREF);
    variant.pulVal = pointer;
    return variant;
}

VARIANT VARIANT::RefInt(std::int32_t* pointer)
{
    VARIANT variant = Make(VT_INT | VT_BYREF);
    variant.pintVal = pointer;
    return variant;
}

VARIANT VARIANT::RefUInt(std::uint32_t* pointer)
{
    VARIANT variant = Make(VT_UINT | VT_BYREF);
    variant.puintVal = pointer;
    return variant;
}

VARIANT VARIANT::Bytes(void* buffer)
{
    VARIANT variant = Make(VT_UI1 | VT_BYREF);
    variant.pbVal = static_cast<std::uint8_t*>(buffer);
    return variant;
}

VARIANT VARIANT::Missing()
{
    VARIANT variant = Make(VT_ERROR);
    variant.scode = DISP_E_PARAMNOTFOUND;
    return variant;
}

bool IsSupportedType(VARTYPE type)
{
    if ((type & VT_BYREF) != 0) {
        const VARTYPE kind = type & static_cast<VARTYPE>(~VT_BYREF);
        return kind == VT_UI1 || IsIntegerKind(kind);
    }
    return type == VT_EMPTY || type == VT_ERROR || IsIntegerKind(type);
}

HRESULT VariantChangeType(VARIANT& destination, const VARIANT& source, VARTYPE target)
{
    if (!IsSupportedType(source.vt) || !IsSupportedType(target)) {
        return DISP_E_BADVARTYPE;
    }
    if (source.vt == VT_EMPTY || source.vt == VT_ERROR || target == VT_EMPTY || target == VT_ERROR) {
        return DISP_E_TYPEMISMATCH;
    }
    const bool sourceByRef = (source.vt & VT_BYREF) != 0;
    const VARTYPE sourceKind = source.vt & VT_TYPEMASK;
    if (sourceByRef && source.byref == nullptr) {
        return E_POINTER;
    }

    if ((target & VT_BYREF) != 0) {
        if (!sourceByRef || ReferenceClass(sourceKind) != ReferenceClass(target & VT_TYPEMASK)) {
            return DISP_E_TYPEMISMATCH;
        }
        void* const address = source.byref;
        destination.vt = target;
        destination.byref = address;
        return S_OK;
    }

    if (sourceKind == VT_UI1) {
        return DISP_E_TYPEMISMATCH;
    }
    const std::optional<VARIANT> converted = IntegerAs(IntegerValue(source), target);
    if (!converted) {
        return DISP_E_OVERFLOW;
    }
    destination = *converted;
    return S_OK;
}

} // namespace orv::platform::automation
