// dnet's EDS commands end to end: eds on files, params and param on the simulated Brelin with its
// EDS named or found in the EDS library, and a refused value that sends nothing.

#include "DnetFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orv::test {
namespace {

namespace fs = std::filesystem;

const std::string kBrelinEds = BRELIN_EDS;

class DnetEds : public Dnet {
protected:
    void TearDown() override { fs::remove_all(EdsLibrary()); }

    static fs::path WriteFile(const std::string& name, const std::string& text)
    {
        const fs::path path = Folder() / name;
        std::ofstream(path) << text;
        return path;
    }
};

// The parameter `name` among the readings of a params object.
const JsonValue& Reading(const JsonValue& params, const std::string& name)
{
    for (const JsonValue& reading : params["parameters"].array) {
        if (reading["name"].string == name) {
            return reading;
        }
    }
    static const JsonValue none;
    ADD_FAILURE() << "no parameter " << name;
    return none;
}

TEST_F(DnetEds, EdsShowsWhatTheFileDescribes)
{
    ProgramResult result = Run({"eds", kBrelinEds});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto lines = Lines(result.out);
    ASSERT_GT(lines.size(), 180u);
    EXPECT_EQ(lines[0], "\"Brelin GW\" (catalog \"BRELIN-GW\") by \"OrvDeviceNet\": vendor 1207, device type 12, "
                        "product code 4201, revision 1.4 (Communications Adapter)");
    EXPECT_EQ(lines[3], "  input 1: \"Poll Response\", 17 bytes, poll, 4/100/3");
    EXPECT_EQ(lines[5], "173 parameters:");

    result = Run({"--json", "eds", kBrelinEds});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const JsonValue eds = JsonLines(result.out).at(0);
    EXPECT_EQ(eds["device"]["vendorId"].number, 1207);
    EXPECT_EQ(eds["io"]["outputs"].array.at(0)["size"].number, 8);
    ASSERT_EQ(eds["parameters"].array.size(), 173u);
    EXPECT_EQ(eds["parameters"].array[8]["name"].string, "Timeout");
    EXPECT_EQ(eds["parameters"].array[8]["range"].string, "10 to 2550 ms");
    EXPECT_EQ(eds["groups"].array.size(), 17u);
}

TEST_F(DnetEds, EdsExplainsABrokenFileAndListsWhatItDoesNotUse)
{
    const fs::path broken = WriteFile("broken.eds", "[Device]\nVendCode = 1207;\nProdName = Brelin;\n");
    ProgramResult result = Run({"eds", broken.string()});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "dnet: eds " + broken.string() +
                              ": line 3, column 12: expected the ProdName as a quoted string\n");
    result = Run({"--json", "eds", broken.string()});
    const JsonValue error = JsonLines(result.out).at(0);
    EXPECT_EQ(error["line"].number, 3);
    EXPECT_EQ(error["column"].number, 12);
    EXPECT_EQ(error["status"].string, "failure");

    const fs::path vendor = WriteFile(
        "vendor.eds", "[Device]\nVendCode = 1; ProdType = 2; ProdCode = 3; MajRev = 1; MinRev = 0; ProdName = \"x\";\n"
                      "Icon = \"x.ico\";\n[1_Private]\nSecret = 42;\n");
    result = Run({"eds", vendor.string()});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto lines = Lines(result.out);
    EXPECT_EQ(lines.at(lines.size() - 2), "not used: [1_Private] (line 4, 1 entry)");
    EXPECT_EQ(lines.back(), "not used: [Device] Icon (line 3)");
}

TEST_F(DnetEds, ParamsReadsEveryParameterOfTheSimulatedBrelin)
{
    const ProgramResult result = Run({"--json", "params", "63", "--eds", kBrelinEds});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const JsonValue params = JsonLines(result.out).at(0);
    EXPECT_EQ(params["identity"]["productCode"].number, 4201);
    ASSERT_EQ(params["parameters"].array.size(), 173u);
    for (const JsonValue& reading : params["parameters"].array) {
        EXPECT_EQ(reading["problem"].type, JsonValue::Type::Null) << reading["name"].string << ": " << reading["problem"].string;
    }
    EXPECT_EQ(Reading(params, "Baud Rate")["value"].number, 9600);
    EXPECT_EQ(Reading(params, "Timeout")["text"].string, "500 ms");
    EXPECT_EQ(Reading(params, "Parity")["meaning"].string, "None");
    EXPECT_EQ(Reading(params, "Transmit 1 String 1")["value"].string, "\r\n");
}

TEST_F(DnetEds, WithoutAnEdsTheLibraryGivesTheNodesOrSaysItHasNone)
{
    ProgramResult scan = Run({"scan"});
    ASSERT_EQ(scan.status, 0) << Describe(scan);
    EXPECT_TRUE(scan.out.ends_with("; no EDS in the library\n")) << scan.out;
    ProgramResult result = Run({"params", "63"});
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("node 63 (vendor 1207, device type 12, product code 4201, revision 1.4) has no EDS in "
                              "the EDS library (" + EdsLibrary().string()),
              std::string::npos)
        << result.err;

    fs::create_directories(EdsLibrary());
    fs::copy_file(kBrelinEds, EdsLibrary() / "brelin.eds");
    scan = Run({"scan"});
    ASSERT_EQ(scan.status, 0) << Describe(scan);
    EXPECT_TRUE(scan.out.ends_with("; EDS " + (EdsLibrary() / "brelin.eds").string() +
                                   ": \"Brelin GW\" by \"OrvDeviceNet\"\n"))
        << scan.out;
    result = Run({"params", "63"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 174u);
    EXPECT_EQ(lines[0], "node 63 (vendor 1207, device type 12, product code 4201, revision 1.4): \"Brelin GW\", EDS " +
                            (EdsLibrary() / "brelin.eds").string());
    EXPECT_TRUE(lines[9].starts_with("    9  Timeout")) << lines[9];
    EXPECT_NE(lines[9].find("500 ms"), std::string::npos) << lines[9];
}

TEST_F(DnetEds, ParamWritesAValueTheNodeThenHolds)
{
    fs::create_directories(EdsLibrary());
    fs::copy_file(kBrelinEds, EdsLibrary() / "brelin.eds");
    const ProgramResult result = Run(Session(
        {"--json"}, {"param 63 Timeout 300", "param 63 parity even", "param 63 Post-Delimiter \\r\\n", "params 63"}));
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto objects = JsonLines(result.out);
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(objects[0]["data"].string, "1E");
    EXPECT_EQ(objects[0]["text"].string, "300 ms");
    EXPECT_EQ(objects[1]["value"].number, 2);
    EXPECT_EQ(objects[2]["data"].string, "020D0A");
    EXPECT_EQ(Reading(objects[3], "Timeout")["text"].string, "300 ms");
    EXPECT_EQ(Reading(objects[3], "Parity")["meaning"].string, "Even");
    EXPECT_EQ(Reading(objects[3], "Post-Delimiter")["value"].string, "\r\n");
}

struct Refused {
    const char* name;
    std::vector<std::string> words; // after "param 63"
    const char* message;
};

class DnetParamRefused : public DnetEds, public ::testing::WithParamInterface<Refused> {};

TEST_P(DnetParamRefused, BeforeAnythingIsSent)
{
    std::vector<std::string> args{"--json", "--trace", "param", "63"};
    args.insert(args.end(), GetParam().words.begin(), GetParam().words.end());
    args.insert(args.end(), {"--eds", kBrelinEds});
    const ProgramResult result = Run(args);
    EXPECT_EQ(result.status, 2) << Describe(result);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    const auto objects = JsonLines(result.out);
    ASSERT_EQ(objects.size(), 2u) << result.out;
    EXPECT_EQ(objects[1]["command"].string, "trace");
    EXPECT_TRUE(objects[1]["frames"].array.empty()) << result.out;
}

const Refused kRefused[] = {
    {"OutOfRange", {"Length", "65"}, "'65' is outside the range of Length (1 to 64 bytes); nothing was written"},
    {"NotInTheEnumeration", {"1", "14400"}, "'14400' is not in the enumeration of Baud Rate"},
    {"NotAValueItCanHold", {"Timeout", "305"}, "the nearest is 310 ms"},
    {"ReadOnly", {"Poll Produce Size", "20"}, "Poll Produce Size is read-only"},
    {"NoSuchParameter", {"Speed", "1"}, "the EDS has no parameter 'Speed'"},
};

INSTANTIATE_TEST_SUITE_P(Eds, DnetParamRefused, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DnetEds, ARefusalWithTheLibrarysEdsWritesNothing)
{
    fs::create_directories(EdsLibrary());
    fs::copy_file(kBrelinEds, EdsLibrary() / "brelin.eds");
    const ProgramResult result = Run({"--json", "--trace", "param", "63", "Parity", "Purple"});
    EXPECT_EQ(result.status, 2) << Describe(result);
    const auto objects = JsonLines(result.out);
    ASSERT_EQ(objects.size(), 2u) << result.out;
    // The node was opened and its identity read to find the EDS; no Set_Attribute_Single went to
    // the Serial Stream object, where Parity lives.
    const auto& frames = objects[1]["frames"].array;
    bool identityRead = false;
    for (const JsonValue& frame : frames) {
        const std::string& data = frame["data"].string;
        identityRead = identityRead || data == "000E010104";
        EXPECT_FALSE(frame["id"].number == 0x404 + 8 * 63 && data.starts_with("001040")) << data;
    }
    EXPECT_TRUE(identityRead) << result.out;
}

} // namespace
} // namespace orv::test
