// The Brelin's EDS held against the simulated Brelin: its identity and I/O sizes are the device's,
// every parameter's path reads with the stated type and size and starts at the default, and the
// device takes what the EDS allows (limits, each enumerated value) and refuses what it does not.

#include "eds/DataType.h"
#include "eds/Library.h"
#include "eds/ParamValue.h"

#include "devsim/Model.h"
#include "devsim/ObjectModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::eds {
namespace {

constexpr std::uint8_t kGetAttributeSingle = 0x0E;
constexpr std::uint8_t kSetAttributeSingle = 0x10;
constexpr std::uint8_t kAttributeNotSettable = 0x0E;

const Eds& BrelinEds()
{
    static const Eds eds = [] {
        Eds read;
        Error error;
        EXPECT_TRUE(LoadEds(BRELIN_EDS, read, error)) << error.Text();
        return read;
    }();
    return eds;
}

devsim::Outcome Get(devsim::Model& model, const AttributeAddress& at)
{
    const std::uint8_t attribute[] = {static_cast<std::uint8_t>(at.attribute)};
    return devsim::Execute(model, devsim::BrelinClasses(), kGetAttributeSingle, static_cast<std::uint8_t>(at.classId),
                           static_cast<std::uint8_t>(at.instance), attribute);
}

// Sets `value` on a device fresh out of the box.
devsim::Outcome SetOnFreshDevice(const Param& param, const Value& value)
{
    devsim::Model model;
    const AttributeAddress& at = *param.path.address;
    std::vector<std::uint8_t> request{static_cast<std::uint8_t>(at.attribute)};
    const std::vector<std::uint8_t> bytes = EncodeValue(param, value);
    request.insert(request.end(), bytes.begin(), bytes.end());
    return devsim::Execute(model, devsim::BrelinClasses(), kSetAttributeSingle, static_cast<std::uint8_t>(at.classId),
                           static_cast<std::uint8_t>(at.instance), request);
}

TEST(BrelinEds, IdentityAndIoAreTheDevice)
{
    const Eds& eds = BrelinEds();
    EXPECT_EQ(eds.device.Key(), (DeviceKey{devsim::identity::kVendorId, devsim::identity::kDeviceType,
                                           devsim::identity::kProductCode, devsim::identity::kMajorRevision}));
    EXPECT_EQ(eds.device.minorRevision, devsim::identity::kMinorRevision);
    EXPECT_EQ(eds.device.productName, devsim::identity::kProductName);
    EXPECT_TRUE(eds.otherSections.empty());
    EXPECT_TRUE(eds.otherEntries.empty());
    EXPECT_TRUE(eds.notes.empty());

    const devsim::Model model;
    ASSERT_TRUE(eds.io.poll);
    ASSERT_EQ(eds.io.inputs.size(), 1u);
    ASSERT_EQ(eds.io.outputs.size(), 1u);
    EXPECT_EQ(eds.io.inputs[0].size, model.PollProducedSize());
    EXPECT_EQ(eds.io.outputs[0].size, model.PollConsumedSize());
    // The poll connection's produced and consumed paths (Connection instance 2, attributes 14, 16).
    for (const auto& [entry, attribute] : {std::pair{&eds.io.inputs[0], 14u}, std::pair{&eds.io.outputs[0], 16u}}) {
        devsim::Model fresh;
        const devsim::Outcome path = Get(fresh, {5, 2, attribute});
        ASSERT_TRUE(path.Ok());
        EXPECT_EQ(path.data, entry->path.bytes) << entry->name;
    }
}

TEST(BrelinEds, EveryParameterReadsWithItsTypeAndSizeAndStartsAtItsDefault)
{
    const Eds& eds = BrelinEds();
    ASSERT_EQ(eds.params.size(), 13u + 8 * 11 + 8 * 9);
    for (const Param& param : eds.params) {
        SCOPED_TRACE(std::to_string(param.number) + " " + param.name);
        ASSERT_TRUE(param.path.address);
        devsim::Model model;
        const devsim::Outcome read = Get(model, *param.path.address);
        ASSERT_TRUE(read.Ok()) << "error 0x" << std::hex << int(read.general);
        std::string why;
        const auto value = DecodeValue(param, read.data, why);
        ASSERT_TRUE(value) << why;
        EXPECT_EQ(*value, param.defaultValue) << ValueText(param, *value) << " is not the default "
                                              << ValueText(param, param.defaultValue);
    }
}

TEST(BrelinEds, TheDeviceTakesWhatTheEdsAllowsAndRefusesTheRest)
{
    for (const Param& param : BrelinEds().params) {
        SCOPED_TRACE(std::to_string(param.number) + " " + param.name);
        const DataType type = FindDataType(param.dataType);
        if (param.ReadOnly()) {
            EXPECT_EQ(SetOnFreshDevice(param, param.defaultValue).general, kAttributeNotSettable);
            continue;
        }
        if (!IsInteger(type.kind)) {
            EXPECT_TRUE(SetOnFreshDevice(param, std::string(param.dataSize, 'x')).Ok());
            EXPECT_FALSE(SetOnFreshDevice(param, std::string(param.dataSize + 1u, 'x')).Ok());
            continue;
        }
        const auto low = std::get<std::uint64_t>(param.minimum);
        const auto high = std::get<std::uint64_t>(param.maximum);
        EXPECT_TRUE(SetOnFreshDevice(param, low).Ok()) << low;
        EXPECT_TRUE(SetOnFreshDevice(param, high).Ok()) << high;
        if (low > 0) {
            EXPECT_FALSE(SetOnFreshDevice(param, low - 1).Ok()) << low - 1;
        }
        if (high < RangeOf(type).unsignedHigh) {
            EXPECT_FALSE(SetOnFreshDevice(param, high + 1).Ok()) << high + 1;
        }
        // Within the range, exactly what the enumeration names (for a bit string: values of named bits).
        if (param.enumeration.empty()) {
            continue;
        }
        for (std::uint64_t v = low; v <= high && v - low < 70000; ++v) {
            const bool named = type.kind == TypeKind::BitString ? ValueText(param, v).find("bit ") == std::string::npos
                                                                : !EnumName(param, v).empty();
            EXPECT_EQ(SetOnFreshDevice(param, v).Ok(), named) << v << " " << ValueText(param, v);
        }
    }
}

} // namespace
} // namespace orv::eds
