#include "platform/automation/Variant.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace orv::platform::automation {
namespace {

struct ValueCase {
    VARIANT source;
    VARTYPE target;
    HRESULT expected;
    std::int64_t value; // when converted
};

std::int64_t ValueOf(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I2: return v.iVal;
    case VT_UI2: return v.uiVal;
    case VT_I4: return v.lVal;
    case VT_INT: return v.intVal;
    case VT_UI4: return v.ulVal;
    case VT_UINT: return v.uintVal;
    default: ADD_FAILURE() << "not a value kind: " << v.vt; return 0;
    }
}

TEST(Variant, ConvertsIntegersByValueWhenTheTargetHoldsTheValue)
{
    const ValueCase cases[] = {
        {VARIANT::I4(-5), VT_INT, S_OK, -5},
        {VARIANT::Int(-5), VT_I4, S_OK, -5},
        {VARIANT::I2(-300), VT_I4, S_OK, -300},
        {VARIANT::I2(-1), VT_INT, S_OK, -1},
        {VARIANT::I4(32767), VT_I2, S_OK, 32767},
        {VARIANT::I4(-32768), VT_I2, S_OK, -32768},
        {VARIANT::I4(0), VT_UI4, S_OK, 0},
        {VARIANT::I4(std::numeric_limits<std::int32_t>::max()), VT_UI4, S_OK, 0x7FFFFFFF},
        {VARIANT::UI4(0x7FFFFFFF), VT_I4, S_OK, 0x7FFFFFFF},
        {VARIANT::UI2(65535), VT_I4, S_OK, 65535},
        {VARIANT::I2(5), VT_UI2, S_OK, 5},
        {VARIANT::UInt(0xFFFFFFFF), VT_UI4, S_OK, 0xFFFFFFFF},
        {VARIANT::UI4(65535), VT_UI2, S_OK, 65535},
        {VARIANT::I2(7), VT_UINT, S_OK, 7},
    };
    for (const ValueCase& c : cases) {
        VARIANT out = VARIANT::I2(99);
        EXPECT_EQ(VariantChangeType(out, c.source, c.target), c.expected) << c.source.vt << "->" << c.target;
        EXPECT_EQ(out.vt, c.target);
        EXPECT_EQ(ValueOf(out), c.value) << c.source.vt << "->" << c.target;
    }
}

TEST(Variant, RefusesValuesTheTargetCannotHold)
{
    const ValueCase cases[] = {
        {VARIANT::I4(-1), VT_UI4, DISP_E_OVERFLOW, 0},
        {VARIANT::Int(std::numeric_limits<std::int32_t>::min()), VT_UINT, DISP_E_OVERFLOW, 0},
        {VARIANT::I4(32768), VT_I2, DISP_E_OVERFLOW, 0},
        {VARIANT::I4(-32769), VT_I2, DISP_E_OVERFLOW, 0},
        {VARIANT::UI4(0x80000000), VT_I4, DISP_E_OVERFLOW, 0},
        {VARIANT::UI4(0x80000000), VT_INT, DISP_E_OVERFLOW, 0},
        {VARIANT::UI2(32768), VT_I2, DISP_E_OVERFLOW, 0},
        {VARIANT::I2(-1), VT_UI2, DISP_E_OVERFLOW, 0},
        {VARIANT::UI4(65536), VT_UI2, DISP_E_OVERFLOW, 0},
    };
    for (const ValueCase& c : cases) {
        VARIANT out = VARIANT::I2(99);
        EXPECT_EQ(VariantChangeType(out, c.source, c.target), c.expected) << c.source.vt << "->" << c.target;
        EXPECT_EQ(out.vt, VT_I2) << "destination changed on failure";
        EXPECT_EQ(out.iVal, 99);
    }
}

TEST(Variant, ReadsTheValueBehindAReferenceForAValueParameter)
{
    std::int16_t shortValue = -7;
    std::uint32_t unsignedValue = 40000;
    VARIANT out;
    ASSERT_EQ(VariantChangeType(out, VARIANT::Ref(&shortValue), VT_I4), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, -7);
    ASSERT_EQ(VariantChangeType(out, VARIANT::Ref(&unsignedValue), VT_I2), DISP_E_OVERFLOW);
    ASSERT_EQ(VariantChangeType(out, VARIANT::Ref(&unsignedValue), VT_UI2), S_OK);
    EXPECT_EQ(out.uiVal, 40000);
    std::int16_t* nowhere = nullptr;
    EXPECT_EQ(VariantChangeType(out, VARIANT::Ref(nowhere), VT_I4), E_POINTER);
}

TEST(Variant, PassesReferencesOnToPointeesOfTheDeclaredSize)
{
    std::int16_t shortValue = 0;
    std::uint16_t unsignedShort = 0;
    std::int32_t longValue = 0;
    std::uint32_t unsignedLong = 0;
    std::uint8_t bytes[4] = {};
    struct Case {
        VARIANT source;
        VARTYPE target;
        void* address;
    };
    const Case accepted[] = {
        {VARIANT::Ref(&shortValue), VT_I2 | VT_BYREF, &shortValue},
        {VARIANT::Ref(&unsignedShort), VT_I2 | VT_BYREF, &unsignedShort},
        {VARIANT::Bytes(bytes), VT_I2 | VT_BYREF, bytes},
        {VARIANT::Ref(&shortValue), VT_UI1 | VT_BYREF, &shortValue},
        {VARIANT::Bytes(bytes), VT_UI1 | VT_BYREF, bytes},
        {VARIANT::Ref(&longValue), VT_I4 | VT_BYREF, &longValue},
        {VARIANT::RefInt(&longValue), VT_I4 | VT_BYREF, &longValue},
        {VARIANT::Ref(&longValue), VT_INT | VT_BYREF, &longValue},
        {VARIANT::Ref(&unsignedLong), VT_I4 | VT_BYREF, &unsignedLong},
        {VARIANT::RefUInt(&unsignedLong), VT_UI4 | VT_BYREF, &unsignedLong},
    };
    for (const Case& c : accepted) {
        VARIANT out;
        EXPECT_EQ(VariantChangeType(out, c.source, c.target), S_OK) << c.source.vt << "->" << c.target;
        EXPECT_EQ(out.vt, c.target);
        EXPECT_EQ(out.byref, c.address);
    }

    // The address travels, so a write reaches the caller.
    VARIANT out;
    ASSERT_EQ(VariantChangeType(out, VARIANT::Bytes(bytes), VT_I2 | VT_BYREF), S_OK);
    reinterpret_cast<std::uint8_t*>(out.piVal)[1] = 0x42;
    EXPECT_EQ(bytes[1], 0x42);
}

TEST(Variant, RefusesReferencesOfAnotherSizeAndValuesForReferences)
{
    std::int16_t shortValue = 0;
    std::int32_t longValue = 0;
    std::uint8_t bytes[4] = {};
    struct Case {
        VARIANT source;
        VARTYPE target;
        HRESULT expected;
    };
    const Case refused[] = {
        {VARIANT::I2(1), VT_I2 | VT_BYREF, DISP_E_TYPEMISMATCH},
        {VARIANT::I4(1), VT_I4 | VT_BYREF, DISP_E_TYPEMISMATCH},
        {VARIANT::I4(1), VT_UI1 | VT_BYREF, DISP_E_TYPEMISMATCH},
        {VARIANT::Ref(&shortValue), VT_I4 | VT_BYREF, DISP_E_TYPEMISMATCH},
        {VARIANT::Ref(&longValue), VT_I2 | VT_BYREF, DISP_E_TYPEMISMATCH},
        {VARIANT::Bytes(bytes), VT_I4 | VT_BYREF, DISP_E_TYPEMISMATCH},
        {VARIANT::Ref(&longValue), VT_UI1 | VT_BYREF, DISP_E_TYPEMISMATCH},
        {VARIANT::Bytes(bytes), VT_I2, DISP_E_TYPEMISMATCH},
        {VARIANT::Bytes(nullptr), VT_I2 | VT_BYREF, E_POINTER},
        {VARIANT{}, VT_I4, DISP_E_TYPEMISMATCH},
        {VARIANT::Missing(), VT_I4, DISP_E_TYPEMISMATCH},
        {VARIANT::I4(1), VT_UI1, DISP_E_BADVARTYPE},
        {VARIANT::I4(1), VT_I4 | 0x2000, DISP_E_BADVARTYPE},
    };
    for (const Case& c : refused) {
        VARIANT out = VARIANT::I4(77);
        EXPECT_EQ(VariantChangeType(out, c.source, c.target), c.expected) << c.source.vt << "->" << c.target;
        EXPECT_EQ(out.vt, VT_I4);
        EXPECT_EQ(out.lVal, 77);
    }
    VARIANT bogus;
    bogus.vt = 8; // a string kind this runtime does not have
    VARIANT out;
    EXPECT_EQ(VariantChangeType(out, bogus, VT_I4), DISP_E_BADVARTYPE);
}

TEST(Variant, ConvertsInPlace)
{
    VARIANT v = VARIANT::I2(-12);
    ASSERT_EQ(VariantChangeType(v, v, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, -12);
    std::int16_t target = 0;
    v = VARIANT::Ref(&target);
    ASSERT_EQ(VariantChangeType(v, v, VT_UI2 | VT_BYREF), S_OK);
    EXPECT_EQ(v.puiVal, reinterpret_cast<std::uint16_t*>(&target));
}

} // namespace
} // namespace orv::platform::automation
