// The monitor's names from EDS files: each row a conversation as candump frames and the lines the
// monitor makes of it once the node's identity went by; the EDS comes from a finder that knows one
// device.

#include "tools/dnet/monitor/Decoder.h"
#include "tools/dnet/monitor/EdsNames.h"
#include "tools/dnet/monitor/JsonFormat.h"
#include "tools/dnet/monitor/TextFormat.h"
#include "MiniJson.h"

#include "canbus/CandumpFormat.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace orv::dnet::monitor {
namespace {

const eds::DeviceKey kBrelin{1207, 12, 4201, 1};

eds::Param Parameter(std::uint16_t number, std::string name, eds::AttributeAddress at, std::uint8_t type,
                     std::uint8_t size)
{
    eds::Param param;
    param.number = number;
    param.name = std::move(name);
    param.path.address = at;
    param.dataType = type;
    param.dataSize = size;
    return param;
}

std::shared_ptr<const eds::Eds> BrelinEds()
{
    auto eds = std::make_shared<eds::Eds>();
    eds->device = {1207, "", 12, "", 4201, 1, 4, "Brelin GW", ""};
    eds->params.push_back(Parameter(1, "Baud Rate", {64, 1, 3}, 0xC8, 4));
    eds::Param timeout = Parameter(2, "Timeout", {64, 1, 13}, 0xC6, 1);
    timeout.units = "ms";
    timeout.descriptor = eds::descriptor::kScaling;
    timeout.scaling.multiplier = 10;
    eds->params.push_back(timeout);
    eds->params.push_back(Parameter(3, "Vendor", {1, 1, 1}, 0xC7, 2)); // a standard object's attribute
    return eds;
}

struct Finder {
    int asked = 0;
    std::shared_ptr<const eds::Eds> operator()(const eds::DeviceKey& key)
    {
        ++asked;
        return key == kBrelin ? BrelinEds() : nullptr;
    }
};

// The Brelin at 63 answering its identity, product code `code`.
std::vector<std::string> Identity(const char* code = "6910")
{
    return {"5FC#000E010101", "5FB#008EB704", "5FC#000E010102",         "5FB#008E0C00",
            "5FC#000E010103", std::string("5FB#008E") + code, "5FC#000E010104", "5FB#008E0104"};
}

std::vector<Message> Messages(const std::vector<std::string>& frames, EdsNames& names)
{
    Decoder decoder;
    std::vector<Message> messages;
    std::uint64_t time = 0;
    for (const std::string& text : frames) {
        const auto entry = canbus::ParseCandumpLine("(0.000000) can0 " + text);
        EXPECT_TRUE(entry) << text;
        decoder.Feed(TimedFrame{time += 1000, entry->frame}, messages);
    }
    decoder.Finish(messages);
    for (Message& message : messages) {
        names.Annotate(message);
    }
    return messages;
}

template <class... Parts>
std::vector<std::string> Join(const Parts&... parts)
{
    std::vector<std::string> all;
    (all.insert(all.end(), parts.begin(), parts.end()), ...);
    return all;
}

struct Named {
    const char* name;
    std::vector<std::string> frames;
    std::vector<std::string> lines; // the last lines the monitor shows
};

class EdsNamesConversation : public ::testing::TestWithParam<Named> {};

TEST_P(EdsNamesConversation, NamesWhatTheNodesEdsNames)
{
    Finder finder;
    EdsNames names(std::ref(finder));
    const std::vector<Message> messages = Messages(GetParam().frames, names);
    ASSERT_GE(messages.size(), GetParam().lines.size());
    std::vector<std::string> last;
    for (std::size_t i = messages.size() - GetParam().lines.size(); i < messages.size(); ++i) {
        last.push_back(Describe(messages[i]));
    }
    EXPECT_EQ(last, GetParam().lines);
}

const Named kNamed[] = {
    {"NothingBeforeTheIdentityIsKnown",
     {"5FC#000E400103", "5FB#008E80250000"},
     {"Get_Attribute_Single Serial Stream(64) 1/3", "Get_Attribute_Single reply Serial Stream(64) 1/3: 4 bytes: 80 25 00 00"}},
    {"ParametersNamedWithTheirValuesOnceTheIdentityWentBy",
     Join(Identity(), std::vector<std::string>{"5FC#000E400103", "5FB#008E80250000", "5FC#001040010D1E", "5FB#0090"}),
     {"Get_Attribute_Single reply Identity(1) 1/4 revision: 1.4", "Get_Attribute_Single Serial Stream(64) 1/3 Baud Rate",
      "Get_Attribute_Single reply Serial Stream(64) 1/3 Baud Rate: 9600",
      "Set_Attribute_Single Serial Stream(64) 1/13 Timeout: 300 ms", "Set_Attribute_Single reply Serial Stream(64) 1/13 Timeout"}},
    {"TheStandardObjectsKeepTheirOwnNames",
     Join(Identity(), std::vector<std::string>{"5FC#000E010101", "5FB#008EB704"}),
     {"Get_Attribute_Single Identity(1) 1/1 vendor id", "Get_Attribute_Single reply Identity(1) 1/1 vendor id: 1207"}},
    {"GetAttributesAllTeachesTheIdentity",
     {"5FC#00010101", "5FB#800081B7040C0069", "5FC#80C000", "5FB#8081100104", "5FC#000E40010D", "5FB#008E32"},
     {"Get_Attribute_Single reply Serial Stream(64) 1/13 Timeout: 500 ms"}},
    {"AnErrorResponseNamesTheAttribute",
     Join(Identity(), std::vector<std::string>{"5FC#000E40010D", "5FB#009414FF"}),
     {"error response to Get_Attribute_Single Serial Stream(64) 1/13 Timeout: attribute not supported (0x14), additional 0xFF"}},
    {"AValueOfAnotherSizeKeepsItsBytes",
     Join(Identity(), std::vector<std::string>{"5FC#000E400103", "5FB#008E8025"}),
     {"Get_Attribute_Single reply Serial Stream(64) 1/3 Baud Rate: 2 bytes: 80 25"}},
    {"AnotherNodeIsNotNamedFromThisOnesEds",
     Join(Identity(), std::vector<std::string>{"454#000E400103", "453#008E80250000"}),
     {"Get_Attribute_Single reply Serial Stream(64) 1/3: 4 bytes: 80 25 00 00"}},
    {"AnIdentityWithoutAnEdsNamesNothing",
     Join(Identity("6A10"), std::vector<std::string>{"5FC#000E400103", "5FB#008E80250000"}),
     {"Get_Attribute_Single reply Serial Stream(64) 1/3: 4 bytes: 80 25 00 00"}},
};

INSTANTIATE_TEST_SUITE_P(Monitor, EdsNamesConversation, ::testing::ValuesIn(kNamed),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MonitorEdsNames, AsksForTheEdsOnceForEachIdentity)
{
    Finder finder;
    EdsNames names(std::ref(finder));
    Messages(Join(Identity(), Identity()), names);
    EXPECT_EQ(finder.asked, 1);
    Messages(Join(Identity("6A10"), Identity()), names);
    EXPECT_EQ(finder.asked, 3);
}

TEST(MonitorEdsNames, JsonCarriesTheNameAndTheValue)
{
    Finder finder;
    EdsNames names(std::ref(finder));
    const auto messages = Messages(Join(Identity(), std::vector<std::string>{"5FC#000E40010D", "5FB#008E32"}), names);
    const auto json = test::JsonReader::Parse(JsonLine(messages.back()));
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["attributeName"].string, "Timeout");
    EXPECT_EQ((*json)["value"].number, 50);
}

} // namespace
} // namespace orv::dnet::monitor
