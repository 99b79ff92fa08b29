#include "platform/automation/Registry.h"
#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orv::com {
namespace {

using test::ReadText;
using test::TempFolder;
using test::WriteText;

class RegistryFile : public ::testing::Test {
protected:
    TempFolder folder_;
    Registry registry_{folder_ / "registry.ini"};
};

TEST_F(RegistryFile, WritesKeysWithTheirParentsAndReadsValuesBack)
{
    ASSERT_TRUE(registry_.WriteKey("CLSID\\{A}\\InprocServer32", "/lib/x.so", {{"ThreadingModel", "Apartment"}}));
    EXPECT_EQ(registry_.GetValue("CLSID\\{A}\\InprocServer32"), "/lib/x.so");
    EXPECT_EQ(registry_.GetValue("clsid\\{a}\\inprocserver32", "threadingmodel"), "Apartment");
    EXPECT_EQ(registry_.GetValue("CLSID\\{A}\\InprocServer32", "Other"), std::nullopt);
    EXPECT_TRUE(registry_.KeyExists("CLSID"));
    EXPECT_TRUE(registry_.KeyExists("CLSID\\{A}"));
    EXPECT_FALSE(registry_.KeyExists("CLSID\\{B}"));
    EXPECT_EQ(registry_.Read().Keys(),
              (std::vector<std::string>{"CLSID", "CLSID\\{A}", "CLSID\\{A}\\InprocServer32"}));
    EXPECT_EQ(ReadText(registry_.FilePath()),
              "; Class registry of the automation runtime. Written by the servers' registration.\n"
              "\n[CLSID]\n"
              "\n[CLSID\\{A}]\n"
              "\n[CLSID\\{A}\\InprocServer32]\n"
              "@=\"/lib/x.so\"\n"
              "\"ThreadingModel\"=\"Apartment\"\n");
}

TEST_F(RegistryFile, KeepsValuesAndSpellingOfKeysAlreadyThere)
{
    ASSERT_TRUE(registry_.WriteKey("Maker.Class", "first", {{"Extra", "kept"}}));
    ASSERT_TRUE(registry_.WriteKey("MAKER.CLASS", "second"));
    ASSERT_TRUE(registry_.WriteKey("Maker.Class\\CLSID", "{A}"));
    const RegistryDocument document = registry_.Read();
    EXPECT_EQ(document.Keys(), (std::vector<std::string>{"Maker.Class", "Maker.Class\\CLSID"}));
    EXPECT_EQ(document.Values("Maker.Class"),
              (std::vector<std::pair<std::string, std::string>>{{"", "second"}, {"Extra", "kept"}}));
}

TEST_F(RegistryFile, PlacesANewKeyBesideItsSiblings)
{
    ASSERT_TRUE(registry_.WriteKey("CLSID\\{A}", "a"));
    ASSERT_TRUE(registry_.WriteKey("Maker.Class", "m"));
    ASSERT_TRUE(registry_.WriteKey("CLSID\\{B}\\ProgID", "b"));
    EXPECT_EQ(registry_.Read().Keys(), (std::vector<std::string>{"CLSID", "CLSID\\{A}", "CLSID\\{B}",
                                                                 "CLSID\\{B}\\ProgID", "Maker.Class"}));
    EXPECT_EQ(registry_.Read().SubKeys("clsid"), (std::vector<std::string>{"{A}", "{B}"}));
}

TEST_F(RegistryFile, RemovesAKeyTreeButNotItsParentOrSiblings)
{
    ASSERT_TRUE(registry_.WriteKey("CLSID\\{A}\\InprocServer32", "/a.so"));
    ASSERT_TRUE(registry_.WriteKey("CLSID\\{A}\\Programmable", std::nullopt));
    ASSERT_TRUE(registry_.WriteKey("CLSID\\{AB}", "prefix of another name, not a child"));
    ASSERT_TRUE(registry_.WriteKey("CLSID\\{B}", "b"));
    ASSERT_TRUE(registry_.RemoveKeyTree("clsid\\{a}"));
    EXPECT_EQ(registry_.Read().Keys(), (std::vector<std::string>{"CLSID", "CLSID\\{AB}", "CLSID\\{B}"}));
    EXPECT_TRUE(registry_.RemoveKeyTree("CLSID\\{A}")) << "removing what is gone succeeds";
}

TEST_F(RegistryFile, EscapesQuotesAndBackslashesInValues)
{
    const std::string awkward = R"(C:\dir "quoted" \\ end\)";
    ASSERT_TRUE(registry_.WriteKey("Key", awkward, {{"na\"me", "v"}}));
    EXPECT_EQ(registry_.GetValue("Key"), awkward);
    EXPECT_EQ(registry_.GetValue("Key", "na\"me"), "v");
    EXPECT_NE(ReadText(registry_.FilePath()).find(R"(@="C:\\dir \"quoted\" \\\\ end\\")"), std::string::npos);
}

TEST_F(RegistryFile, RefusesNamesAndValuesThatCannotBeStored)
{
    ASSERT_TRUE(registry_.WriteKey("Good", "1"));
    const std::string before = ReadText(registry_.FilePath());
    EXPECT_FALSE(registry_.WriteKey("", "x"));
    EXPECT_FALSE(registry_.WriteKey("\\Leading", "x"));
    EXPECT_FALSE(registry_.WriteKey("Trailing\\", "x"));
    EXPECT_FALSE(registry_.WriteKey("Double\\\\Slash", "x"));
    EXPECT_FALSE(registry_.WriteKey(" Blank", "x"));
    EXPECT_FALSE(registry_.WriteKey("Line\nBreak", "x"));
    EXPECT_FALSE(registry_.WriteKey("Good", "two\nlines"));
    EXPECT_FALSE(registry_.WriteKey("Good", "1", {{"na\rme", "x"}}));
    EXPECT_EQ(ReadText(registry_.FilePath()), before) << "a refused write changes nothing";
}

TEST_F(RegistryFile, ABrokenFileReadsAsEmptyAndIsNeverRewritten)
{
    const std::string validStart = "[Key]\n@=\"value\"\n";
    struct Case {
        std::string text;
        std::size_t badLine;
    };
    const Case cases[] = {
        {validStart + "junk line\n", 3},        {validStart + "@=unquoted\n", 3},
        {validStart + "@=\"open\n", 3},          {"@=\"before any key\"\n", 1},
        {validStart + "[Key]\n", 3},            {validStart + "@=\"twice\"\n", 3},
        {validStart + "\"x\"=\"bad \\escape\"\n", 3}, {validStart + "[\\Bad]\n", 3},
        {"; c\n\n" + validStart + "@=\"v\" trailing\n", 5},
    };
    for (const Case& c : cases) {
        WriteText(registry_.FilePath(), c.text);
        EXPECT_TRUE(registry_.Read().Keys().empty()) << c.text;
        EXPECT_EQ(registry_.GetValue("Key"), std::nullopt) << c.text;
        std::string why;
        EXPECT_EQ(registry_.Load(&why), std::nullopt) << c.text;
        EXPECT_EQ(why, registry_.FilePath().string() + " cannot be parsed (line " + std::to_string(c.badLine) + ")");

        EXPECT_FALSE(registry_.WriteKey("Fresh", "1")) << c.text;
        EXPECT_FALSE(registry_.RemoveKeyTree("Key")) << c.text;
        EXPECT_FALSE(registry_.Update([](RegistryDocument&) { return true; }, &why));
        EXPECT_EQ(why, "the class registry " + registry_.FilePath().string() + " cannot be parsed (line " +
                           std::to_string(c.badLine) + "); it was left unchanged");
        EXPECT_EQ(ReadText(registry_.FilePath()), c.text) << "a registry that cannot be parsed is never rewritten";
    }
}

TEST_F(RegistryFile, ARewriteKeepsEveryLineItDoesNotOwn)
{
    const std::string text = "; kept: the header of someone else\n"
                             "[Other.Thing]   \n"
                             "  @ = \"Other\"\n"
                             "; a comment between values\n"
                             "\"Name\"=\"x\"\n"
                             "\n"
                             "; about the class below\n"
                             "[CLSID\\{F}]\n"
                             "@=\"foreign\"\n"
                             "; the end\n";
    WriteText(registry_.FilePath(), text);
    ASSERT_TRUE(registry_.Load()) << text;
    ASSERT_TRUE(registry_.WriteKey("CLSID\\{A}", "ours"));
    ASSERT_TRUE(registry_.WriteKey("Other.Thing", "Other")) << "setting a value it has changes nothing";
    EXPECT_EQ(ReadText(registry_.FilePath()), "; kept: the header of someone else\n"
                                              "[Other.Thing]   \n"
                                              "  @ = \"Other\"\n"
                                              "; a comment between values\n"
                                              "\"Name\"=\"x\"\n"
                                              "\n"
                                              "; about the class below\n"
                                              "[CLSID\\{F}]\n"
                                              "@=\"foreign\"\n"
                                              "\n[CLSID]\n"
                                              "\n[CLSID\\{A}]\n"
                                              "@=\"ours\"\n"
                                              "; the end\n");
    ASSERT_TRUE(registry_.RemoveKeyTree("CLSID"));
    EXPECT_EQ(ReadText(registry_.FilePath()), "; kept: the header of someone else\n"
                                              "[Other.Thing]   \n"
                                              "  @ = \"Other\"\n"
                                              "; a comment between values\n"
                                              "\"Name\"=\"x\"\n"
                                              "; the end\n")
        << "a removed key takes the comments before it along";
}

TEST_F(RegistryFile, WhatIsNoRegularFileIsRefusedWithoutBlocking)
{
    ASSERT_EQ(mkfifo(registry_.FilePath().c_str(), 0644), 0);
    std::string why;
    EXPECT_EQ(registry_.Load(&why), std::nullopt);
    EXPECT_EQ(why, registry_.FilePath().string() + " cannot be read: is not a regular file");
    EXPECT_FALSE(registry_.WriteKey("K", "v"));
    EXPECT_TRUE(std::filesystem::is_fifo(registry_.FilePath())) << "left as it is";
}

TEST_F(RegistryFile, ReadsCommentsBlankLinesAndWindowsLineEnds)
{
    WriteText(registry_.FilePath(), "\xEF\xBB\xBF[K]\n@=\"v\"\n");
    EXPECT_EQ(registry_.GetValue("K"), "v") << "a byte-order mark is skipped";
    WriteText(registry_.FilePath(), "; comment\r\n\r\n  [A\\B]  \r\n  @ = \"x\"  \r\n\"n\"=\"y\"\r\n; end\r\n");
    EXPECT_EQ(registry_.GetValue("A\\B"), "x");
    EXPECT_EQ(registry_.GetValue("A\\B", "n"), "y");
    EXPECT_TRUE(registry_.KeyExists("A")) << "a parent is implied by its child";
}

TEST_F(RegistryFile, AMissingFileReadsAsEmptyAndItsFolderIsCreatedOnWrite)
{
    const Registry nested(folder_ / "deeper" / "orv" / "registry.ini");
    EXPECT_TRUE(nested.Read().Keys().empty());
    ASSERT_TRUE(nested.WriteKey("K", "v"));
    EXPECT_EQ(nested.GetValue("K"), "v");
}

TEST_F(RegistryFile, LeavesNoTemporaryFilesBehind)
{
    ASSERT_TRUE(registry_.WriteKey("K", "v"));
    ASSERT_TRUE(registry_.WriteKey("K", "w"));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"registry.ini", "registry.ini.lock"}));
}

TEST_F(RegistryFile, WritersOnSeveralThreadsLoseNoKey)
{
    constexpr int kPerThread = 12;
    auto writer = [this](char thread) {
        for (int i = 0; i < kPerThread; ++i) {
            EXPECT_TRUE(registry_.WriteKey(std::string("T") + thread + "\\" + std::to_string(i), "v"));
        }
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    first.join();
    second.join();
    EXPECT_EQ(registry_.Read().Keys().size(), 2u * (kPerThread + 1));
}

TEST_F(RegistryFile, DoesNotReplaceAFileItCannotRead)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads any file";
    }
    ASSERT_TRUE(registry_.WriteKey("Precious", "1"));
    std::filesystem::permissions(registry_.FilePath(), std::filesystem::perms::none);
    EXPECT_FALSE(registry_.WriteKey("Other", "2"));
    std::filesystem::permissions(registry_.FilePath(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(registry_.GetValue("Precious"), "1");
}

TEST(RegistryLocation, EnvironmentVariableThenConfigFolder)
{
    TempFolder folder;
    {
        test::ScopedEnvironment registry("ORV_REGISTRY", (folder / "mine.ini").string());
        test::ScopedEnvironment config("XDG_CONFIG_HOME", (folder / "config").string());
        EXPECT_EQ(Registry::DefaultPath(), folder / "mine.ini");
        EXPECT_EQ(Registry().FilePath(), folder / "mine.ini");
    }
    {
        test::ScopedEnvironment registry("ORV_REGISTRY", std::nullopt);
        test::ScopedEnvironment config("XDG_CONFIG_HOME", (folder / "config").string());
        EXPECT_EQ(Registry::DefaultPath(), folder / "config" / "orv" / "registry.ini");
    }
    {
        test::ScopedEnvironment registry("ORV_REGISTRY", "");
        test::ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
        test::ScopedEnvironment home("HOME", (folder / "home").string());
        EXPECT_EQ(Registry::DefaultPath(), folder / "home" / ".config" / "orv" / "registry.ini");
    }
}

TEST(RegistryLocation, LookupsReadTheUsersRegistryThenEachSystemFolder)
{
    TempFolder folder;
    test::ScopedEnvironment config("XDG_CONFIG_HOME", (folder / "config").string());
    const std::filesystem::path user = folder / "config" / "orv" / "registry.ini";
    struct Case {
        std::optional<std::string> orvRegistry;
        std::optional<std::string> configDirs;
        std::vector<std::filesystem::path> paths;
    };
    const Case cases[] = {
        {(folder / "mine.ini").string(), "/x", {folder / "mine.ini"}},
        {std::nullopt, std::nullopt, {user, "/etc/xdg/orv/registry.ini"}},
        {"", "", {user, "/etc/xdg/orv/registry.ini"}},
        {std::nullopt, "/a:relative::/b/", {user, "/a/orv/registry.ini", "/b/orv/registry.ini"}},
        {std::nullopt, "relative", {user, "/etc/xdg/orv/registry.ini"}},
    };
    for (const Case& c : cases) {
        test::ScopedEnvironment registry("ORV_REGISTRY", c.orvRegistry);
        test::ScopedEnvironment dirs("XDG_CONFIG_DIRS", c.configDirs);
        EXPECT_EQ(Registry::LookupPaths(), c.paths) << c.configDirs.value_or("(unset)");
        EXPECT_EQ(Registry::DefaultPath(), c.paths.front()) << "registration writes the first";
    }
}

TEST(RegistryLocation, TheUsersKeysHideTheSystemsAndABrokenFileFailsTheLookup)
{
    TempFolder folder;
    test::ScopedEnvironment registry("ORV_REGISTRY", std::nullopt);
    test::ScopedEnvironment config("XDG_CONFIG_HOME", (folder / "config").string());
    test::ScopedEnvironment dirs("XDG_CONFIG_DIRS", (folder / "site").string() + ":" + (folder / "vendor").string());
    const Registry user(folder / "config" / "orv" / "registry.ini");
    const Registry site(folder / "site" / "orv" / "registry.ini");
    const Registry vendor(folder / "vendor" / "orv" / "registry.ini");
    ASSERT_TRUE(vendor.WriteKey("CLSID\\{A}\\InprocServer32", "/usr/lib/a.so"));
    ASSERT_TRUE(vendor.WriteKey("Maker.Class\\CLSID", "{A}"));
    ASSERT_TRUE(site.WriteKey("Maker.Class\\CLSID", "{B}"));
    ASSERT_TRUE(user.WriteKey("CLSID\\{A}\\InprocServer32", "/home/me/a.so"));

    std::optional<RegistryDocument> root = ReadClassesRoot();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetValue("CLSID\\{A}\\InprocServer32"), "/home/me/a.so");
    EXPECT_EQ(root->GetValue("Maker.Class\\CLSID"), "{B}");

    WriteText(site.FilePath(), "[Maker.Class\\CLSID]\nstray\n");
    std::string why;
    EXPECT_EQ(ReadClassesRoot(&why), std::nullopt);
    EXPECT_EQ(why, site.FilePath().string() + " cannot be parsed (line 2)");
}

} // namespace
} // namespace orv::com
