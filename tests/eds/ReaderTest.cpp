// The EDS reader: one small file per construct it reads, and one per way a file can be broken,
// with the line and column where it breaks and what was expected there.

#include "eds/Reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace orv::eds {
namespace {

// The least [Device] a file must have.
const std::string kDevice = "[Device]\n"
                            "VendCode = 1207; ProdType = 12; ProdCode = 4201;\n"
                            "MajRev = 1; MinRev = 4; ProdName = \"Brelin GW\";\n";

// A parameter entry with `fields` after the path (descriptor, type, size, name ...).
std::string ParamEntry(int number, const std::string& fields)
{
    return "Param" + std::to_string(number) + " = 0, 6, \"20 40 24 01 30 03\", " + fields + ";\n";
}

struct Construct {
    const char* name;
    std::string text;
    std::function<void(const Eds&)> check;
};

class ReaderConstruct : public ::testing::TestWithParam<Construct> {};

TEST_P(ReaderConstruct, IsRead)
{
    Eds eds;
    Error error;
    ASSERT_TRUE(ReadEds(GetParam().text, eds, error)) << error.Text();
    GetParam().check(eds);
}

const Construct kConstructs[] = {
    {"Identity",
     "[Device]\n VendCode = 1207;\n VendName = \"Orv\";\n ProdType = 12;\n ProdTypeStr = \"Communications Adapter\";\n"
     " ProdCode = 4201;\n MajRev = 1;\n MinRev = 4;\n ProdName = \"Brelin GW\";\n Catalog = \"BRELIN-GW\";\n",
     [](const Eds& eds) {
         const Device& d = eds.device;
         EXPECT_EQ(d.vendorId, 1207);
         EXPECT_EQ(d.vendorName, "Orv");
         EXPECT_EQ(d.productType, 12);
         EXPECT_EQ(d.productTypeName, "Communications Adapter");
         EXPECT_EQ(d.productCode, 4201);
         EXPECT_EQ(d.majorRevision, 1);
         EXPECT_EQ(d.minorRevision, 4);
         EXPECT_EQ(d.productName, "Brelin GW");
         EXPECT_EQ(d.catalog, "BRELIN-GW");
         EXPECT_EQ(d.Key(), (DeviceKey{1207, 12, 4201, 1}));
     }},
    {"HexadecimalNumbersAndKeywordsInAnyCase",
     "[device]\nvendcode = 0x4B7; PRODTYPE = 0x0C; ProdCode = 4201; MajRev = 0x01; MinRev = 4; ProdName = \"x\";\n",
     [](const Eds& eds) {
         EXPECT_EQ(eds.device.vendorId, 1207);
         EXPECT_EQ(eds.device.productType, 12);
     }},
    {"EntriesSpanLinesWithCommentsBetweenFields",
     "$ a comment before any section\n[Device] $ and after a section name\n"
     "VendCode =\n  1207 $ the vendor\n ; ProdType = 12; ProdCode\n =\n 4201; MajRev = 1; MinRev = 4;\n"
     "ProdName = \"a $ is no comment in a string\";\n",
     [](const Eds& eds) {
         EXPECT_EQ(eds.device.vendorId, 1207);
         EXPECT_EQ(eds.device.productCode, 4201);
         EXPECT_EQ(eds.device.productName, "a $ is no comment in a string");
     }},
    {"QuotedPiecesAreJoined",
     "[Device]\nVendCode = 1; ProdType = 2; ProdCode = 3; MajRev = 4; MinRev = 5;\n"
     "ProdName = \"Bre\" \"lin\" $ the rest on the next line\n           \" GW\";\n",
     [](const Eds& eds) { EXPECT_EQ(eds.device.productName, "Brelin GW"); }},
    {"EscapesInStrings",
     kDevice + "[File]\nDescText = \"tab\\there \\\"quoted\\\" \\x41\\102 C:\\dir\";\n",
     [](const Eds& eds) { EXPECT_EQ(eds.file.description, "tab\there \"quoted\" AB C:\\dir"); }},
    {"FileSection",
     kDevice + "[File]\nDescText = \"d\"; CreateDate = 04-15-2026; CreateTime = 12:00:00; ModDate = 05-01-2026;\n"
               "ModTime = 13:30:00; Revision = 1.2; HomeURL = \"http://example.org/brelin.eds\";\n",
     [](const Eds& eds) {
         EXPECT_EQ(eds.file.createDate, "04-15-2026");
         EXPECT_EQ(eds.file.modTime, "13:30:00");
         EXPECT_EQ(eds.file.revision, "1.2");
         EXPECT_EQ(eds.file.homeUrl, "http://example.org/brelin.eds");
     }},
    {"ClassificationAndParamClass",
     kDevice + "[Device Classification]\nClass1 = DeviceNet;\n[ParamClass]\nMaxInst = 3; Descriptor = 0x09; "
               "CfgAssembly = 0;\n",
     [](const Eds& eds) {
         ASSERT_EQ(eds.classification.size(), 1u);
         EXPECT_EQ(eds.classification[0], "DeviceNet");
         EXPECT_EQ(eds.paramClass.maxInstances, 3);
         EXPECT_EQ(eds.paramClass.descriptor, 9);
         EXPECT_EQ(eds.paramClass.configAssembly, 0);
     }},
    {"IoInfo",
     kDevice + "[IO_Info]\nDefault = 0x0001;\nPollInfo = 0x0001, 1, 1;\nCOSInfo = 0x0004, 2, 0;\n"
               "Input1 = 17, 0, 0x0001, \"Poll Response\", 6, \"20 04 24 64 30 03\", \"help\";\n"
               "Output1 = 8, 0, 0x0001, \"Poll Command\", , \"20 04 24 96 30 03\", \"\";\n",
     [](const Eds& eds) {
         EXPECT_EQ(eds.io.defaultConnections, connection::kPoll);
         ASSERT_TRUE(eds.io.poll);
         EXPECT_EQ(eds.io.poll->defaultInput, 1);
         ASSERT_TRUE(eds.io.changeOfState);
         EXPECT_EQ(eds.io.changeOfState->compatible, connection::kChangeOfState);
         EXPECT_FALSE(eds.io.strobe);
         ASSERT_EQ(eds.io.inputs.size(), 1u);
         EXPECT_EQ(eds.io.inputs[0].size, 17);
         EXPECT_EQ(eds.io.inputs[0].name, "Poll Response");
         EXPECT_EQ(eds.io.inputs[0].path.address, (AttributeAddress{4, 100, 3}));
         ASSERT_EQ(eds.io.outputs.size(), 1u);
         EXPECT_EQ(eds.io.outputs[0].path.bytes, (std::vector<std::uint8_t>{0x20, 4, 0x24, 0x96, 0x30, 3}));
     }},
    {"ParameterWithEveryField",
     kDevice + "[Params]\n" +
         ParamEntry(1, "0x0004, 0xC6, 1, \"Timeout\", \"ms\", \"A pause\", 1, 255, 50, 10, 1, 1, 0, 0, 0, 0, 0, 1"),
     [](const Eds& eds) {
         ASSERT_EQ(eds.params.size(), 1u);
         const Param& p = eds.params[0];
         EXPECT_EQ(p.number, 1);
         EXPECT_EQ(p.path.address, (AttributeAddress{64, 1, 3}));
         EXPECT_TRUE(p.Scaled());
         EXPECT_FALSE(p.ReadOnly());
         EXPECT_EQ(p.dataType, 0xC6);
         EXPECT_EQ(p.name, "Timeout");
         EXPECT_EQ(p.units, "ms");
         EXPECT_EQ(p.help, "A pause");
         EXPECT_EQ(p.minimum, Value(std::uint64_t{1}));
         EXPECT_EQ(p.maximum, Value(std::uint64_t{255}));
         EXPECT_EQ(p.defaultValue, Value(std::uint64_t{50}));
         EXPECT_EQ(p.scaling.multiplier, 10);
         EXPECT_EQ(p.decimalPlaces, 1);
     }},
    {"ParameterOfFewFieldsAndEmptyOnes",
     kDevice + "[Params]\nParam1 = 0, , , 0x0010, 0xC3, 2, \"Level\", , , -100, , ;\n"
               "Param2 = 0, , , 0, 0xCA, 4, \"Gain\", \"\", \"\", -1.5, 2.5e1, 1;\n"
               "Param3 = 0, , , 0, 0xDA, 8, \"Name\", \"\", \"\", , , \"\\r\";\n",
     [](const Eds& eds) {
         ASSERT_EQ(eds.params.size(), 3u);
         EXPECT_TRUE(eds.params[0].path.bytes.empty());
         EXPECT_FALSE(eds.params[0].path.address);
         EXPECT_TRUE(eds.params[0].ReadOnly());
         EXPECT_EQ(eds.params[0].minimum, Value(std::int64_t{-100}));
         EXPECT_EQ(eds.params[0].maximum, Value());
         EXPECT_EQ(eds.params[0].scaling.multiplier, 1);
         EXPECT_EQ(eds.params[1].minimum, Value(-1.5));
         EXPECT_EQ(eds.params[1].maximum, Value(25.0));
         EXPECT_EQ(eds.params[2].defaultValue, Value(std::string("\r")));
     }},
    {"PathsOfSixteenBitSegmentsAndOthers",
     kDevice + "[Params]\nParam1 = 0, 10, \"21 00 40 01 25 00 00 01 30 03\", 0, 0xC6, 1, \"p\";\n"
               "Param2 = 0, 2, \"2001\", 0, 0xC6, 1, \"q\";\n",
     [](const Eds& eds) {
         ASSERT_EQ(eds.params.size(), 2u);
         EXPECT_EQ(eds.params[0].path.address, (AttributeAddress{0x140, 0x100, 3}));
         // A class alone addresses no attribute; its bytes are kept.
         EXPECT_FALSE(eds.params[1].path.address);
         EXPECT_EQ(eds.params[1].path.bytes, (std::vector<std::uint8_t>{0x20, 0x01}));
     }},
    {"EnumerationsBelongToTheirParameter",
     kDevice + "[EnumPar]\nEnum1 = 0, \"None\", 1, \"Odd\",\n 2, \"Even\";\nEnum2 = 0, \"list\", 2, \"length\";\n"
               "[Params]\n" +
         ParamEntry(1, "0x0002, 0xC6, 1, \"Parity\"") + ParamEntry(2, "0x0002, 0xD1, 1, \"Mode\""),
     [](const Eds& eds) {
         ASSERT_EQ(eds.params.size(), 2u);
         ASSERT_EQ(eds.params[0].enumeration.size(), 3u);
         EXPECT_EQ(eds.params[0].enumeration[2].name, "Even");
         EXPECT_EQ(eds.params[0].enumeration[2].value, Value(std::uint64_t{2}));
         ASSERT_EQ(eds.params[1].enumeration.size(), 2u);
         EXPECT_EQ(eds.params[1].enumeration[1].value, Value(std::uint64_t{2})); // a bit number
     }},
    {"ParametersAndGroupsInNumberOrder",
     kDevice + "[Params]\n" + ParamEntry(9, "0, 0xC6, 1, \"nine\"") + ParamEntry(2, "0, 0xC6, 1, \"two\"") +
         "[Groups]\nGroup2 = \"Second\", 1, 9;\nGroup1 = \"First\", 2, 2, 9;\nGroup3 = \"None\", 0;\n",
     [](const Eds& eds) {
         ASSERT_EQ(eds.params.size(), 2u);
         EXPECT_EQ(eds.params[0].name, "two");
         EXPECT_EQ(eds.FindParam(9)->name, "nine");
         EXPECT_EQ(eds.FindParam(3), nullptr);
         ASSERT_EQ(eds.groups.size(), 3u);
         EXPECT_EQ(eds.groups[0].name, "First");
         EXPECT_EQ(eds.groups[0].members, (std::vector<std::uint16_t>{2, 9}));
         EXPECT_TRUE(eds.groups[2].members.empty());
     }},
    {"UnknownSectionsAndKeywordsAreKept",
     kDevice + "Icon = \"brelin.ico\";\n1207_Vendor = 1, 2;\n[1207_Setup]\nMode = fast;\nLevel = 3;\n"
               "[Params]\nRevision = 2;\n",
     [](const Eds& eds) {
         ASSERT_EQ(eds.otherSections.size(), 1u);
         EXPECT_EQ(eds.otherSections[0].name, "1207_Setup");
         EXPECT_EQ(eds.otherSections[0].entries.size(), 2u);
         EXPECT_EQ(eds.otherSections[0].where.line, 6u);
         ASSERT_EQ(eds.otherEntries.size(), 3u);
         EXPECT_EQ(eds.otherEntries[0].section, "Device");
         EXPECT_EQ(eds.otherEntries[0].entry.keyword, "Icon");
         EXPECT_EQ(eds.otherEntries[1].entry.fields.size(), 2u);
         EXPECT_EQ(eds.otherEntries[2].entry.keyword, "Revision");
     }},
    {"OddThingsThatDoNotStopTheReadingAreNoted",
     kDevice + "[Params]\n" + ParamEntry(1, "0, 0xC6, 1, \"p\", \"\", \"\", 1, 5, 9") +
         "[EnumPar]\nEnum4 = 0, \"x\";\n[Groups]\nGroup1 = \"g\", 1, 8;\n",
     [](const Eds& eds) {
         ASSERT_EQ(eds.notes.size(), 3u);
         EXPECT_NE(eds.notes[0].text.find("default is outside the range"), std::string::npos);
         EXPECT_NE(eds.notes[1].text.find("Enum4 belongs to no parameter"), std::string::npos);
         EXPECT_NE(eds.notes[2].text.find("parameter 8"), std::string::npos);
         EXPECT_EQ(eds.notes[2].where.line, 9u);
     }},
};

INSTANTIATE_TEST_SUITE_P(Eds, ReaderConstruct, ::testing::ValuesIn(kConstructs),
                         [](const auto& info) { return std::string(info.param.name); });

struct Broken {
    const char* name;
    std::string text;
    std::uint32_t line;
    std::uint32_t column;
    const char* expected; // a part of the message
};

class ReaderError : public ::testing::TestWithParam<Broken> {};

TEST_P(ReaderError, SaysWhereAndWhatWasExpected)
{
    Eds eds;
    Error error;
    ASSERT_FALSE(ReadEds(GetParam().text, eds, error));
    EXPECT_EQ(error.where.line, GetParam().line) << error.Text();
    EXPECT_EQ(error.where.column, GetParam().column) << error.Text();
    EXPECT_NE(error.expected.find(GetParam().expected), std::string::npos) << error.Text();
    EXPECT_EQ(error.Text().rfind("line " + std::to_string(GetParam().line) + ", column ", 0), 0u) << error.Text();
}

const Broken kBroken[] = {
    {"EntryBeforeAnySection", "VendCode = 1;\n", 1, 1, "a section such as [File] before the first entry"},
    {"SectionNotClosed", "[Device\nVendCode = 1;\n", 1, 8, "']' to close the section name"},
    {"EmptySectionName", "[  ]\n", 1, 4, "a section name"},
    {"KeywordWithoutEquals", "[Device]\nVendCode 1;\n", 2, 10, "'=' after the keyword VendCode"},
    {"NoKeyword", "[Device]\n= 1;\n", 2, 1, "a keyword or a section"},
    {"EntryNotEndedAtTheEnd", "[Device]\nVendCode = 1,\n 2", 3, 3, "';' to end VendCode (begun on line 2)"},
    {"EntryNotEndedBeforeTheNextSection", "[Device]\nVendCode = 1,\n[File]\n", 3, 1, "a field or ';' to end VendCode"},
    {"StringNotClosed", "[Device]\nProdName = \"Brelin\n;\n", 2, 19, "'\"' to close the string begun on line 2, column 12"},
    {"TwoWordsInOneField", "[Device]\nVendCode = 12 07;\n", 2, 15, "',' or ';' to end VendCode"},
    {"ControlCharacter", "[Device]\nVendCode = \x01;\n", 2, 12, "a field or ';' to end VendCode (begun on line 2), not byte 0x01"},
    {"NoDeviceSection", "[File]\nDescText = \"x\";\n", 1, 1, "a [Device] section"},
    {"IdentityIncomplete", "[File]\n[Device]\nVendCode = 1; ProdType = 2; ProdCode = 3; MajRev = 4;\n", 2, 1,
     "MinRev in [Device]"},
    {"NumberOutOfRange", "[Device]\nVendCode = 1; ProdType = 2; ProdCode = 3; MajRev = 256;\n", 2, 52,
     "a MajRev, a number from 0 to 255"},
    {"NotANumber", "[Device]\nVendCode = 12a;\n", 2, 12, "a VendCode, a number"},
    {"NameNotQuoted", kDevice + "Catalog = BRELIN;\n", 4, 11, "the Catalog as a quoted string"},
    {"TooManyFields", "[Device]\nVendCode = 1, 2;\n", 2, 15, "';' to end VendCode after 1 field"},
    {"KeywordTwice", kDevice + "VendCode = 1;\n", 4, 1, "VendCode once in [Device]; it is on line 2 already"},
    {"SectionTwice", kDevice + "[File]\n[device]\n", 5, 1, "[device] once; it begins on line 1 already"},
    {"ParameterNumberOutOfRange", kDevice + "[Params]\nParam70000 = 0;\n", 5, 1, "a parameter number from 1 to 65535"},
    {"ParameterTwice", kDevice + "[Params]\n" + ParamEntry(3, "0, 0xC6, 1, \"a\"") + ParamEntry(3, "0, 0xC6, 1, \"b\""), 6, 1,
     "Param3 once in [Params]; it is on line 5 already"},
    {"ParameterOfTooFewFields", kDevice + "[Params]\nParam1 = 0, 6, \"20 40 24 01 30 03\", 0, 0xC7, 2;\n", 5, 1,
     "7 fields in Param1 (up to the parameter name), found 6"},
    {"DataSizeNotTheType", kDevice + "[Params]\n" + ParamEntry(1, "0, 0xC7, 1, \"a\""), 5, 46, "the size of UINT, 2"},
    {"PathSizeNotThePath", kDevice + "[Params]\nParam1 = 0, 4, \"20 40 24 01 30 03\", 0, 0xC6, 1, \"a\";\n", 5, 16,
     "a path of 4 bytes, as its size says; found 6"},
    {"PathNotHexadecimal", kDevice + "[Params]\nParam1 = 0, , \"20 4G\", 0, 0xC6, 1, \"a\";\n", 5, 15,
     "the path as hexadecimal bytes"},
    {"ValueOutsideItsType", kDevice + "[Params]\n" + ParamEntry(1, "0, 0xC6, 1, \"a\", \"\", \"\", 0, 300, 1"), 5, 65,
     "the maximum (USINT), a number from 0 to 255"},
    {"NegativeValueOfAnUnsignedType", kDevice + "[Params]\n" + ParamEntry(1, "0, 0xC7, 2, \"a\", \"\", \"\", -1"), 5,
     62, "the minimum (UINT)"},
    {"RealNotANumber", kDevice + "[Params]\n" + ParamEntry(1, "0, 0xCA, 4, \"a\", \"\", \"\", 1.5.2"), 5, 62,
     "the minimum, a real number"},
    {"ScalingDivisorZero",
     kDevice + "[Params]\n" + ParamEntry(1, "0x0004, 0xC6, 1, \"a\", \"\", \"\", 0, 9, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0"), 5,
     79, "the scaling divisor, a number from 1 to 65535"},
    {"TooManyDecimalPlaces",
     kDevice + "[Params]\n" + ParamEntry(1, "0, 0xC6, 1, \"a\", \"\", \"\", 0, 9, 1, 1, 1, 1, 0, 0, 0, 0, 0, 16"), 5, 95,
     "the decimal places, a number from 0 to 15"},
    {"EnumerationWithoutTheLastName",
     kDevice + "[Params]\n" + ParamEntry(1, "0x0002, 0xC6, 1, \"a\"") + "[EnumPar]\nEnum1 = 0, \"x\", 1;\n", 7, 17,
     "a name after the last value of Enum1"},
    {"EnumerationValueNotANumber",
     kDevice + "[Params]\n" + ParamEntry(1, "0x0002, 0xC6, 1, \"a\"") + "[EnumPar]\nEnum1 = \"x\", \"y\";\n", 7, 9,
     "a value (USINT)"},
    {"EnumerationBitBeyondTheType",
     kDevice + "[Params]\n" + ParamEntry(1, "0x0002, 0xD1, 1, \"a\"") + "[EnumPar]\nEnum1 = 8, \"x\";\n", 7, 9,
     "a bit number, a number from 0 to 7"},
    {"GroupCountNotItsMembers", kDevice + "[Groups]\nGroup1 = \"g\", 3, 1, 2;\n", 5, 15,
     "as many members as the count says (3); found 2"},
    {"IoEntryOfTooFewFields", kDevice + "[IO_Info]\nInput1 = 17, 0, 1, \"x\";\n", 5, 1, "6 fields in Input1"},
};

INSTANTIATE_TEST_SUITE_P(Eds, ReaderError, ::testing::ValuesIn(kBroken),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EdsReader, DeviceAloneIsReadForTheLibrary)
{
    Device device;
    Error error;
    ASSERT_TRUE(ReadDevice(kDevice + "[Params]\nParam1 = nonsense, \"the library\", does-not-read;\n", device, error))
        << error.Text();
    EXPECT_EQ(device.Key(), (DeviceKey{1207, 12, 4201, 1}));
    // The syntax of the whole file still counts.
    EXPECT_FALSE(ReadDevice(kDevice + "[Params]\nParam1 = \"open;\n", device, error));
    EXPECT_EQ(error.where.line, 5u);
}

} // namespace
} // namespace orv::eds
