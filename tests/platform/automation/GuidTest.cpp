#include "platform/automation/Guid.h"
#include "platform/automation/Result.h"

#include <gtest/gtest.h>

#include <string>

namespace orv::platform::automation {
namespace {

TEST(Guid, ParsesFieldsInTheirOrder)
{
    const auto guid = ParseGuid("{40140904-0DEF-4027-8512-0AD1B086D999}");
    ASSERT_TRUE(guid.has_value());
    EXPECT_EQ(guid->Data1, 0x40140904u);
    EXPECT_EQ(guid->Data2, 0x0DEFu);
    EXPECT_EQ(guid->Data3, 0x4027u);
    const std::uint8_t data4[8] = {0x85, 0x12, 0x0A, 0xD1, 0xB0, 0x86, 0xD9, 0x99};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(guid->Data4[i], data4[i]) << i;
    }
}

TEST(Guid, RoundTripsThroughTextInUpperCase)
{
    for (const char* text : {"{12F6DD73-229D-4CF6-ACB4-5F0EFC132684}", "{FDB652E4-A4AA-40EC-8824-5C44FBBFD39E}",
                             "{00000000-0000-0000-0000-000000000000}", "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"}) {
        const auto guid = ParseGuid(text);
        ASSERT_TRUE(guid.has_value()) << text;
        EXPECT_EQ(GuidToString(*guid), text);
    }
    const auto lower = ParseGuid("{12f6dd73-229d-4cf6-acb4-5f0efc132684}");
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(GuidToString(*lower), "{12F6DD73-229D-4CF6-ACB4-5F0EFC132684}");
}

TEST(Guid, RefusesAnythingButTheBracedForm)
{
    for (const char* text : {"", "12F6DD73-229D-4CF6-ACB4-5F0EFC132684", "{12F6DD73-229D-4CF6-ACB4-5F0EFC132684",
                             "{12F6DD73-229D-4CF6-ACB4-5F0EFC13268}", "{12F6DD73-229D-4CF6-ACB4-5F0EFC1326841}",
                             "{12F6DD73229D-4CF6-ACB4-5F0EFC132684-}", "{12F6DD73-229D-4CF6-ACB45-F0EFC132684}",
                             "{12F6DD7G-229D-4CF6-ACB4-5F0EFC132684}", "{12F6DD73-229D-4CF6-ACB4-5F0EFC13268X}",
                             " {12F6DD73-229D-4CF6-ACB4-5F0EFC132684}", "{12F6DD73-229D-4CF6-ACB4-5F0EFC132684} ",
                             "(12F6DD73-229D-4CF6-ACB4-5F0EFC132684)", "{+2F6DD73-229D-4CF6-ACB4-5F0EFC132684}"}) {
        EXPECT_FALSE(ParseGuid(text).has_value()) << '"' << text << '"';
    }
}

TEST(Guid, ComparesEveryByte)
{
    const GUID base = MakeGuid("{40140904-0DEF-4027-8512-0AD1B086D999}");
    EXPECT_EQ(base, MakeGuid("{40140904-0def-4027-8512-0ad1b086d999}"));
    for (int position = 1; position <= 36; ++position) {
        std::string text = "{40140904-0DEF-4027-8512-0AD1B086D999}";
        if (text[position] == '-') {
            continue;
        }
        text[position] = text[position] == '0' ? '1' : '0';
        EXPECT_FALSE(base == *ParseGuid(text)) << text;
    }
}

TEST(Guid, WellKnownInterfaceIdentifiers)
{
    EXPECT_EQ(GuidToString(IID_IUnknown), "{00000000-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidToString(IID_IClassFactory), "{00000001-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
}

TEST(Result, CodesHaveTheirAutomationValues)
{
    EXPECT_EQ(static_cast<std::uint32_t>(E_NOINTERFACE), 0x80004002u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_POINTER), 0x80004003u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_OUTOFMEMORY), 0x8007000Eu);
    EXPECT_EQ(static_cast<std::uint32_t>(CLASS_E_NOAGGREGATION), 0x80040110u);
    EXPECT_EQ(static_cast<std::uint32_t>(CLASS_E_CLASSNOTAVAILABLE), 0x80040111u);
    EXPECT_EQ(static_cast<std::uint32_t>(REGDB_E_CLASSNOTREG), 0x80040154u);
    EXPECT_EQ(static_cast<std::uint32_t>(CO_E_CLASSSTRING), 0x800401F3u);
    EXPECT_EQ(static_cast<std::uint32_t>(DISP_E_MEMBERNOTFOUND), 0x80020003u);
    EXPECT_EQ(static_cast<std::uint32_t>(DISP_E_TYPEMISMATCH), 0x80020005u);
    EXPECT_EQ(static_cast<std::uint32_t>(DISP_E_UNKNOWNNAME), 0x80020006u);
    EXPECT_EQ(static_cast<std::uint32_t>(DISP_E_BADPARAMCOUNT), 0x8002000Eu);
    EXPECT_EQ(static_cast<std::uint32_t>(DISP_E_PARAMNOTOPTIONAL), 0x8002000Fu);
    EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_MOD_NOT_FOUND), 0x8007007Eu);
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_EQ(ResultText(REGDB_E_CLASSNOTREG), "Class not registered");
    EXPECT_EQ(ResultText(MakeHresult(0x80041234)), "Error 0x80041234");
}

} // namespace
} // namespace orv::platform::automation
