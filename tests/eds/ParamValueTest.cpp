// Parameter values both ways: the bytes a device holds them in as people read them (scaled, with
// units, enumerations and named bits), and what people type as the bytes to write, refused when
// the parameter cannot take it.

#include "eds/ParamValue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::eds {
namespace {

using Bytes = std::vector<std::uint8_t>;

Param Make(std::uint8_t type, std::uint8_t size, std::string units = {}, Value low = {}, Value high = {})
{
    Param param;
    param.name = "P";
    param.dataType = type;
    param.dataSize = size;
    param.units = std::move(units);
    param.minimum = std::move(low);
    param.maximum = std::move(high);
    return param;
}

Param Scaled(Param param, std::uint16_t multiplier, std::uint16_t divisor, std::int32_t offset, std::uint8_t places)
{
    param.descriptor |= descriptor::kScaling;
    param.scaling = {multiplier, divisor, 1, offset};
    param.decimalPlaces = places;
    return param;
}

Param Enumerated(Param param, std::vector<std::pair<std::uint64_t, std::string>> entries)
{
    param.descriptor |= descriptor::kEnumerated;
    for (auto& [value, name] : entries) {
        param.enumeration.push_back({value, std::move(name)});
    }
    return param;
}

Param ReadOnly(Param param)
{
    param.descriptor |= descriptor::kReadOnly;
    return param;
}

const Param kBaud = Enumerated(Make(0xC8, 4, "bit/s", std::uint64_t{300}, std::uint64_t{57600}),
                               {{300, "300"}, {9600, "9600"}, {19200, "19200"}, {57600, "57600"}});
const Param kParity = Enumerated(Make(0xC6, 1, "", std::uint64_t{0}, std::uint64_t{4}),
                                 {{0, "None"}, {1, "Odd"}, {2, "Even"}, {3, "Mark"}, {4, "Space"}});
const Param kDataBits = Make(0xC6, 1, "bits", std::uint64_t{7}, std::uint64_t{8});
const Param kTimeout = Scaled(Make(0xC6, 1, "ms", std::uint64_t{1}, std::uint64_t{255}), 10, 1, 0, 0);
const Param kVolts = Scaled(Make(0xC7, 2, "V"), 1, 1, 0, 2);
const Param kThirds = Scaled(Make(0xC6, 1), 1, 3, 0, 1);
const Param kOffset = Scaled(Make(0xC3, 2, "degC"), 1, 1, -40, 0);
const Param kLevel = Make(0xC3, 2);
const Param kSmall = Make(0xC2, 1);
const Param kMode = Enumerated(Make(0xD1, 1, "", std::uint64_t{0}, std::uint64_t{7}),
                               {{0, "list"}, {1, "timeout"}, {2, "length"}});
const Param kText = Make(0xDA, 8);
const Param kLongText = Make(0xD0, 4);
const Param kGain = Make(0xCA, 4, "V", -10.0, 10.0);
const Param kRaw = Make(0x99, 3);
const Param kSize = ReadOnly(Make(0xC7, 2, "bytes"));

struct Shown {
    const char* name;
    Param param;
    Bytes bytes;
    const char* text;
};

class ParamShown : public ::testing::TestWithParam<Shown> {};

TEST_P(ParamShown, AsPeopleReadItAndBackToTheSameBytes)
{
    std::string why;
    const auto value = DecodeValue(GetParam().param, GetParam().bytes, why);
    ASSERT_TRUE(value) << why;
    EXPECT_EQ(ValueText(GetParam().param, *value), GetParam().text);
    EXPECT_EQ(EncodeValue(GetParam().param, *value), GetParam().bytes);
}

const Shown kShown[] = {
    {"UnsignedWithUnits", kDataBits, {0x08}, "8 bits"},
    {"EnumeratedByName", kParity, {0x02}, "Even"},
    {"OutsideTheEnumeration", kParity, {0x07}, "7 (not in the enumeration)"},
    {"FourBytesLittleEndian", kBaud, {0x80, 0x25, 0x00, 0x00}, "9600"},
    {"Scaled", kTimeout, {50}, "500 ms"},
    {"DecimalPlaces", kVolts, {0xD2, 0x04}, "12.34 V"},
    {"DecimalPlacesBelowOne", kVolts, {0x05, 0x00}, "0.05 V"},
    {"ScaledAndRounded", kThirds, {10}, "0.3"},
    {"Offset", kOffset, {0x0A, 0x00}, "-30 degC"},
    {"Signed", kLevel, {0x00, 0x80}, "-32768"},
    {"SignedByte", kSmall, {0xFF}, "-1"},
    {"NamedBits", kMode, {0x03}, "0x03 (list, timeout)"},
    {"UnnamedBit", kMode, {0x09}, "0x09 (list, bit 3)"},
    {"ShortStringEscaped", kText, {0x02, '\r', 'A'}, "\"\\rA\""},
    {"String", kLongText, {0x02, 0x00, 'o', 'k'}, "\"ok\""},
    {"Real", kGain, {0x00, 0x00, 0xC0, 0x3F}, "1.5 V"},
    {"RawBytes", kRaw, {0x01, 0xAB, 0xFF}, "01 AB FF"},
};

INSTANTIATE_TEST_SUITE_P(Eds, ParamShown, ::testing::ValuesIn(kShown),
                         [](const auto& info) { return std::string(info.param.name); });

struct Undecodable {
    const char* name;
    Param param;
    Bytes bytes;
    const char* why;
};

class ParamUndecodable : public ::testing::TestWithParam<Undecodable> {};

TEST_P(ParamUndecodable, SaysWhatWasExpected)
{
    std::string why;
    EXPECT_FALSE(DecodeValue(GetParam().param, GetParam().bytes, why));
    EXPECT_NE(why.find(GetParam().why), std::string::npos) << why;
}

const Undecodable kUndecodable[] = {
    {"TooFewBytes", kBaud, {0x80, 0x25}, "expected 4 bytes of UDINT, got 2 bytes"},
    {"TooManyBytes", kDataBits, {0x08, 0x00}, "expected 1 bytes of USINT, got 2 bytes"},
    {"LengthBeyondTheBytes", kText, {0x05, 'a'}, "(its length says 5)"},
    {"LongerThanTheEdsAllows", kText, {0x09, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'},
     "a SHORT_STRING of at most 8 characters"},
    {"NoLengthAtAll", kText, {}, "got 0 bytes"},
    {"RawOfAnotherSize", kRaw, {0x01}, "expected 3 bytes"},
};

INSTANTIATE_TEST_SUITE_P(Eds, ParamUndecodable, ::testing::ValuesIn(kUndecodable),
                         [](const auto& info) { return std::string(info.param.name); });

struct Typed {
    const char* name;
    Param param;
    const char* text;
    Bytes bytes;     // written when accepted
    const char* why; // a part of the refusal; null when accepted
};

class ParamTyped : public ::testing::TestWithParam<Typed> {};

TEST_P(ParamTyped, IsTakenOrRefused)
{
    Value value;
    std::string why;
    const bool taken = ValueFromText(GetParam().param, GetParam().text, value, why);
    if (GetParam().why == nullptr) {
        ASSERT_TRUE(taken) << why;
        EXPECT_EQ(EncodeValue(GetParam().param, value), GetParam().bytes);
    } else {
        ASSERT_FALSE(taken) << ValueText(GetParam().param, value);
        EXPECT_NE(why.find(GetParam().why), std::string::npos) << why;
    }
}

const Typed kTyped[] = {
    {"Number", kDataBits, "7", {0x07}, nullptr},
    {"Hexadecimal", kDataBits, "0x08", {0x08}, nullptr},
    {"BelowTheRange", kDataBits, "6", {}, "'6' is outside the range of P (7 to 8 bits)"},
    {"AboveTheRange", kDataBits, "9", {}, "outside the range"},
    {"NotANumber", kDataBits, "eight", {}, "'eight' is no value of P (a number)"},
    {"EnumerationName", kParity, "Even", {0x02}, nullptr},
    {"EnumerationNameInAnyCase", kParity, "mark", {0x03}, nullptr},
    {"EnumeratedNumber", kParity, "4", {0x04}, nullptr},
    {"NotInTheEnumeration", kBaud, "19201", {}, "'19201' is not in the enumeration of P (300, 9600, 19200, 57600)"},
    {"NoSuchName", kParity, "Purple", {}, "no value of P (a number or a name)"},
    {"ScaledBack", kTimeout, "300", {30}, nullptr},
    {"ScaledNotExactly", kTimeout, "305", {}, "'305' is not a value P can hold; the nearest is 310 ms"},
    {"ScaledAboveTheRange", kTimeout, "2560", {}, "outside the range of P (10 to 2550 ms)"},
    {"DecimalPlaces", kVolts, "12.34", {0xD2, 0x04}, nullptr},
    {"TrailingZeros", kVolts, "12.340", {0xD2, 0x04}, nullptr},
    {"TooManyDecimals", kVolts, "12.345", {}, "more decimals than the 2 of P"},
    {"NegativeOfAnUnsignedType", kVolts, "-1", {}, "outside the range of P (0.00 to 655.35 V)"},
    {"Offset", kOffset, "-30", {0x0A, 0x00}, nullptr},
    {"SignedLimit", kLevel, "-32768", {0x00, 0x80}, nullptr},
    {"BeyondTheSignedLimit", kLevel, "-32769", {}, "outside the range of P (-32768 to 32767)"},
    {"FarTooManyDigits", kLevel, "1234567890123456789012345", {}, "no value of P"},
    {"BitNames", kMode, "list+length", {0x05}, nullptr},
    {"BitsAsANumber", kMode, "6", {0x06}, nullptr},
    {"UnnamedBit", kMode, "8", {}, "bit 3 is not in the enumeration of P (0x00 to 0x07 (bits: 0 list, 1 timeout, 2 length))"},
    {"NoSuchBitName", kMode, "list+fast", {}, "no value of P"},
    {"StringWithEscapes", kText, "\\r\\n", {0x02, '\r', '\n'}, nullptr},
    {"StringKeepsItsBlanks", kText, " a ", {0x03, ' ', 'a', ' '}, nullptr},
    {"StringTooLong", kText, "123456789", {}, "\"123456789\" is longer than the 8 characters of P"},
    {"Real", kGain, "2.5", {0x00, 0x00, 0x20, 0x40}, nullptr},
    {"RealOutsideItsRange", kGain, "11", {}, "outside the range of P (-10 to 10 V)"},
    {"RawBytes", kRaw, "01 02 03", {0x01, 0x02, 0x03}, nullptr},
    {"RawBytesOfAnotherSize", kRaw, "01", {}, "expected 3 hexadecimal bytes"},
    {"ReadOnly", kSize, "17", {}, "P is read-only"},
};

INSTANTIATE_TEST_SUITE_P(Eds, ParamTyped, ::testing::ValuesIn(kTyped),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EdsParamRange, SaysWhatMayBeWritten)
{
    EXPECT_EQ(RangeText(kBaud), "300, 9600, 19200, 57600");
    EXPECT_EQ(RangeText(kTimeout), "10 to 2550 ms");
    EXPECT_EQ(RangeText(kLevel), "-32768 to 32767");
    EXPECT_EQ(RangeText(kMode), "0x00 to 0x07 (bits: 0 list, 1 timeout, 2 length)");
    EXPECT_EQ(RangeText(kText), "up to 8 characters");
    EXPECT_EQ(RangeText(kRaw), "3 bytes");
}

} // namespace
} // namespace orv::eds
