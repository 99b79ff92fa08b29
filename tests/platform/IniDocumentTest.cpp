#include "platform/IniDocument.h"

#include <gtest/gtest.h>

namespace orv::platform {
namespace {

TEST(IniDocument, ReadsEntriesWithTrimmingAndAnyCase)
{
    const auto document = IniDocument::Parse("[DNET]\r\n  Driver =  2 \r\nDRIVERNAME=sim:node=10\r\n"
                                             "[ Network ]\nNODEADDRESS=-1");
    EXPECT_EQ(document.Get("DNET", "DRIVER"), "2");
    EXPECT_EQ(document.Get("dnet", "driver"), "2");
    EXPECT_EQ(document.Get("DNET", "DRIVERNAME"), "sim:node=10");
    EXPECT_EQ(document.Get("NETWORK", "NODEADDRESS"), "-1");
    EXPECT_EQ(document.Get("NETWORK", "DRIVER"), std::nullopt);
    EXPECT_EQ(document.Get("OTHER", "DRIVER"), std::nullopt);
}

TEST(IniDocument, AValueReadsTheSameAfterARewrite)
{
    // A stray carriage return before a CR LF line end is lost when the file is written back with
    // LF line ends; the value must not change with it.
    IniDocument document = IniDocument::Parse("[INTERFACEDRIVER]\r\nSST=/opt/ssc2a32.dll \r\r\n[DNET]\r\n");
    EXPECT_EQ(document.Get("INTERFACEDRIVER", "SST"), "/opt/ssc2a32.dll");
    ASSERT_TRUE(document.Set("DNET", "PORT", "760"));
    EXPECT_EQ(IniDocument::Parse(document.Text()).Get("INTERFACEDRIVER", "SST"), "/opt/ssc2a32.dll");
}

TEST(IniDocument, SkipsWhatItCannotParse)
{
    const auto document = IniDocument::Parse("KEY=before any section\n"
                                             "[A\n"
                                             "[S] trailing words\n"
                                             "garbage line\n"
                                             "=no key\n"
                                             ";KEY=commented\n"
                                             "#KEY=commented\n"
                                             "\x01\x02\xff\n"
                                             "KEY=value\n"
                                             "EMPTY=\n");
    EXPECT_EQ(document.Get("S", "KEY"), "value");
    EXPECT_EQ(document.Get("S", "EMPTY"), "");
    EXPECT_EQ(document.Get("S", ";KEY"), std::nullopt);
    EXPECT_EQ(document.Get("A", "KEY"), std::nullopt);
    EXPECT_EQ(document.Get("", "KEY"), std::nullopt);
}

TEST(IniDocument, FirstSectionAndFirstKeyWin)
{
    const auto document = IniDocument::Parse("[S]\nK=1\nK=2\n[s]\nK=3\nL=4\n");
    EXPECT_EQ(document.Get("S", "K"), "1");
    EXPECT_EQ(document.Get("S", "L"), std::nullopt);
}

TEST(IniDocument, QuotedValuesLoseOnePairOfQuotes)
{
    const auto document = IniDocument::Parse("[S]\nA=\" padded \"\nB=\"\"x\"\"\nC=\"\nD=say \"hi\"\n");
    EXPECT_EQ(document.Get("S", "A"), " padded ");
    EXPECT_EQ(document.Get("S", "B"), "\"x\"");
    EXPECT_EQ(document.Get("S", "C"), "\"");
    EXPECT_EQ(document.Get("S", "D"), "say \"hi\"");
}

TEST(IniDocument, UnchangedDocumentKeepsItsText)
{
    const std::string text = "\xEF\xBB\xBF; settings\n[S]\n  k = v  \n\ngarbage\n[T]\n";
    EXPECT_EQ(IniDocument::Parse(text).Text(), text);
    EXPECT_EQ(IniDocument::Parse("[S]\r\nK=1\r\n").Text(), "[S]\nK=1\n");
    EXPECT_EQ(IniDocument::Parse("[S]\nK=1").Text(), "[S]\nK=1\n");
    EXPECT_EQ(IniDocument::Parse("").Text(), "");
}

TEST(IniDocument, SetReplacesTheValueKeepingTheFilesSpellingAndOtherLines)
{
    auto document = IniDocument::Parse("; top\n[Interfacedriver]\n; which files\nVora = old.dll ; old\n"
                                       "SST=a.dll\n\n[OTHER]\nVORA=untouched\n");
    ASSERT_TRUE(document.Set("INTERFACEDRIVER", "VORA", "/opt/new.dll"));
    EXPECT_EQ(document.Text(), "; top\n[Interfacedriver]\n; which files\nVora=/opt/new.dll\n"
                               "SST=a.dll\n\n[OTHER]\nVORA=untouched\n");
}

TEST(IniDocument, SetAddsKeysAtTheEndOfTheirSectionAndNewSectionsAtTheEnd)
{
    auto document = IniDocument::Parse("[A]\nX=1\n; note\n\n\n[B]\nY=2");
    ASSERT_TRUE(document.Set("a", "Z", "3"));
    EXPECT_EQ(document.Text(), "[A]\nX=1\n; note\nZ=3\n\n\n[B]\nY=2\n");
    ASSERT_TRUE(document.Set("C", "W", "4"));
    EXPECT_EQ(document.Text(), "[A]\nX=1\n; note\nZ=3\n\n\n[B]\nY=2\n\n[C]\nW=4\n");
    EXPECT_EQ(document.Get("C", "W"), "4");

    auto empty = IniDocument::Parse("");
    ASSERT_TRUE(empty.Set("INTERFACEDRIVER", "SST", "ssc2a32.dll"));
    EXPECT_EQ(empty.Text(), "[INTERFACEDRIVER]\nSST=ssc2a32.dll\n");

    auto headerOnly = IniDocument::Parse("[S]\n");
    ASSERT_TRUE(headerOnly.Set("S", "K", "v"));
    EXPECT_EQ(headerOnly.Text(), "[S]\nK=v\n");
}

TEST(IniDocument, ValuesThatWouldReadBackDifferentlyAreQuoted)
{
    auto document = IniDocument::Parse("");
    for (const std::string value : {" lead", "trail ", "\"quoted\"", "", "a=b;c", "\""}) {
        ASSERT_TRUE(document.Set("S", "K", value));
        EXPECT_EQ(IniDocument::Parse(document.Text()).Get("S", "K"), value) << document.Text();
    }
}

TEST(IniDocument, SetRefusesWhatCannotBeOneLine)
{
    const std::string text = "[S]\nK=1\n";
    auto document = IniDocument::Parse(text);
    EXPECT_FALSE(document.Set("S", "K", "two\nlines"));
    EXPECT_FALSE(document.Set("S", "K", "cr\r"));
    EXPECT_FALSE(document.Set("S", "", "v"));
    EXPECT_FALSE(document.Set("S", "A=B", "v"));
    EXPECT_FALSE(document.Set("S", ";K", "v"));
    EXPECT_FALSE(document.Set("S", "#K", "v"));
    EXPECT_FALSE(document.Set("S", "[K", "v"));
    EXPECT_FALSE(document.Set("S", " K", "v"));
    EXPECT_FALSE(document.Set("S", "K\n", "v"));
    EXPECT_FALSE(document.Set("", "K", "v"));
    EXPECT_FALSE(document.Set("S]", "K", "v"));
    EXPECT_FALSE(document.Set("S ", "K", "v"));
    EXPECT_EQ(document.Text(), text);
}

TEST(IniDocument, NamesCompareWithoutAsciiCase)
{
    EXPECT_TRUE(ProfileNamesEqual("SST_SPECIFIC", "sst_specific"));
    EXPECT_FALSE(ProfileNamesEqual("SST", "SST_SPECIFIC"));
    EXPECT_FALSE(ProfileNamesEqual("SST", "SS"));
    EXPECT_FALSE(ProfileNamesEqual("A[", "a{"));
}

} // namespace
} // namespace orv::platform
