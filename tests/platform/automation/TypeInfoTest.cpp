#include "platform/automation/TypeInfo.h"
#include "tests/platform/automation/fixtures/Calculator.h"

#include <gtest/gtest.h>

#include <array>

namespace orv::test {
namespace {

using namespace orv::platform::automation;

class IOther : public IDispatch {
public:
    static constexpr IID kIid = MakeGuid("{9B0E4C2A-7D15-4E63-A8F2-1C5B3D7E9A60}");
    virtual HRESULT Ping(std::int32_t* rval) = 0;

protected:
    ~IOther() = default;
};

inline constexpr ParamInfo kPingParams[] = {{"rval", VT_I4 | VT_BYREF}};
// VT_INT by reference fits an int32_t* parameter as VT_I4 by reference does (else the use below
// would not compile).
inline constexpr ParamInfo kSubtractAgain[] = {{"rval", VT_INT | VT_BYREF}, {"x", VT_I2}, {"y", VT_I2}};

TEST(TypeInfo, TheCalculatorDescriptionIsConsistentAndMatchesItsVtable)
{
    static_assert(IsConsistent(kCalculatorInfo, ICalculator::kIid));
    EXPECT_TRUE(CheckVtableSlots(kCalculatorInfo));
    EXPECT_EQ(kCalculatorInfo.methods[0].implementationSlot(), 7u);
    EXPECT_EQ(kCalculatorInfo.methods[6].implementationSlot(), 13u);
}

TEST(TypeInfo, ASlotThatIsNotTheMembersIsFound)
{
    static constexpr MethodInfo methods[] = {
        Method<&ICalculator::Subtract>("Subtract", 1, 8, "method Subtract", kSubtractParams)};
    static constexpr InterfaceInfo info{"ICalculator", ICalculator::kIid, "", methods};
    EXPECT_FALSE(CheckVtableSlots(info));
}

TEST(TypeInfo, InconsistentDescriptionsAreRecognised)
{
    static constexpr MethodInfo duplicateDispid[] = {
        Method<&ICalculator::Subtract>("Subtract", 1, 7, "", kSubtractParams),
        Method<&ICalculator::Explode>("Explode", 1, 13, "", kExplodeParams)};
    static constexpr MethodInfo duplicateName[] = {
        Method<&ICalculator::Subtract>("Subtract", 1, 7, "", kSubtractParams),
        Method<&ICalculator::Explode>("SUBTRACT", 2, 13, "", kExplodeParams)};
    static constexpr MethodInfo foreignMember[] = {
        Method<&ICalculator::Subtract>("Subtract", 1, 7, "", kSubtractParams),
        Method<&IOther::Ping>("Ping", 2, 7, "", kPingParams)};
    static constexpr MethodInfo unknownDispid[] = {Method<&ICalculator::Subtract>("Subtract", -1, 7, "", kSubtractAgain)};

    static_assert(!IsConsistent(InterfaceInfo{"I", ICalculator::kIid, "", duplicateDispid}, ICalculator::kIid));
    static_assert(!IsConsistent(InterfaceInfo{"I", ICalculator::kIid, "", duplicateName}, ICalculator::kIid));
    static_assert(!IsConsistent(InterfaceInfo{"I", ICalculator::kIid, "", foreignMember}, ICalculator::kIid));
    static_assert(!IsConsistent(InterfaceInfo{"I", ICalculator::kIid, "", unknownDispid}, ICalculator::kIid));
    static_assert(!IsConsistent(kCalculatorInfo, IOther::kIid));
    SUCCEED();
}

TEST(TypeInfo, NamesResolveWithoutRegardToCase)
{
    const char* names[] = {"fill", "BUFFER", "Count", "rval"};
    std::array<DISPID, 4> ids{};
    ASSERT_EQ(DispatchGetIDsOfNames(kCalculatorInfo, names, 4, ids.data()), S_OK);
    EXPECT_EQ(ids, (std::array<DISPID, 4>{3, 2, 1, 0}));

    const char* unknownMember[] = {"Multiply", "a"};
    ASSERT_EQ(DispatchGetIDsOfNames(kCalculatorInfo, unknownMember, 2, ids.data()), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    const char* unknownParameter[] = {"Subtract", "c", "b"};
    ASSERT_EQ(DispatchGetIDsOfNames(kCalculatorInfo, unknownParameter, 3, ids.data()), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(ids[2], 2);

    EXPECT_EQ(DispatchGetIDsOfNames(kCalculatorInfo, names, 0, ids.data()), E_INVALIDARG);
    EXPECT_EQ(DispatchGetIDsOfNames(kCalculatorInfo, nullptr, 1, ids.data()), E_POINTER);
}

TEST(TypeInfo, DescribesMethodsWithTheirHelpStrings)
{
    const MethodInfo* fill = FindMethod(kCalculatorInfo, 3);
    ASSERT_NE(fill, nullptr);
    EXPECT_STREQ(fill->name, "Fill");
    EXPECT_STREQ(fill->helpString, "method Fill");
    ASSERT_EQ(fill->params.size(), 3u);
    EXPECT_EQ(fill->params[2].type, VT_I2 | VT_BYREF);
    EXPECT_EQ(FindMethod(kCalculatorInfo, 4), nullptr);

    const InterfaceInfo* described = nullptr;
    EXPECT_EQ(DispatchGetTypeInfo(kCalculatorInfo, 0, &described), S_OK);
    EXPECT_EQ(described, &kCalculatorInfo);
    EXPECT_EQ(DispatchGetTypeInfo(kCalculatorInfo, 1, &described), DISP_E_BADINDEX);
    EXPECT_EQ(described, nullptr);
}

} // namespace
} // namespace orv::test
