#include "platform/Profile.h"
#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

namespace orv::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::WriteText;

class ProfileTest : public ::testing::Test {
protected:
    test::TempFolder folder_;
    test::ScopedEnvironment configHome_{"XDG_CONFIG_HOME", (folder_ / "config").string()};
};

TEST_F(ProfileTest, FileIsNamedAfterTheModuleInTheConfigFolder)
{
    EXPECT_EQ(Profile("OrvDeviceNetDriver").FilePath(), folder_ / "config" / "OrvDeviceNetDriver.ini");
    EXPECT_EQ(Profile("brelinview").FilePath(), folder_ / "config" / "brelinview.ini");

    test::ScopedEnvironment home("HOME", folder_.Path().string());
    {
        test::ScopedEnvironment unset("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(ConfigDirectory(), folder_ / ".config");
    }
    {
        test::ScopedEnvironment empty("XDG_CONFIG_HOME", "");
        EXPECT_EQ(ConfigDirectory(), folder_ / ".config");
    }
    {
        // Relative values are not valid for this variable and are ignored.
        test::ScopedEnvironment relative("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(ConfigDirectory(), folder_ / ".config");
    }
}

TEST_F(ProfileTest, MissingFileReadsDefaults)
{
    Profile profile("OrvDeviceNetDriver");
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "VORA", "Drv712.dll"), "Drv712.dll");
    EXPECT_EQ(profile.GetProfileInt("NETWORK", "NODEADDRESS", -1), -1);
    EXPECT_FALSE(fs::exists(profile.FilePath()));
}

TEST_F(ProfileTest, WriteCreatesTheFolderAndTheFile)
{
    Profile profile("OrvDeviceNetDriver");
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "SST", "/opt/cards/ssc2a32.dll"));
    EXPECT_EQ(ReadText(profile.FilePath()), "[INTERFACEDRIVER]\nSST=/opt/cards/ssc2a32.dll\n");
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "SST", "ssc2a32.dll"), "/opt/cards/ssc2a32.dll");
    // A second object on the same module reads what the first wrote: nothing is cached.
    EXPECT_EQ(Profile("OrvDeviceNetDriver").GetProfileString("INTERFACEDRIVER", "SST", ""), "/opt/cards/ssc2a32.dll");
    // The viewer's profile is a different file.
    EXPECT_EQ(Profile("brelinview").GetProfileString("INTERFACEDRIVER", "SST", "none"), "none");
}

TEST_F(ProfileTest, LookupIgnoresCaseAndWriteKeepsTheFilesSpelling)
{
    Profile profile("brelinview");
    WriteText(profile.FilePath(), "[Dnet]\nDriverName=card0\n");
    EXPECT_EQ(profile.GetProfileString("DNET", "DRIVERNAME", ""), "card0");
    ASSERT_TRUE(profile.WriteProfileString("DNET", "DRIVERNAME", "card1"));
    ASSERT_TRUE(profile.WriteProfileString("DNET", "SCNID", "5"));
    EXPECT_EQ(ReadText(profile.FilePath()), "[Dnet]\nDriverName=card1\nSCNID=5\n");
}

TEST_F(ProfileTest, RewriteKeepsEverythingElseOfTheFile)
{
    Profile profile("OrvDeviceNetDriver");
    const std::string before = "# written by hand\n[INTERFACEDRIVER]\nVORA=old.dll\nUNKNOWN=kept\n"
                               "this line is broken\n\n[ELSEWHERE]\n; comment\nX=1\n";
    WriteText(profile.FilePath(), before);
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", "/new/Drv712.dll"));
    EXPECT_EQ(ReadText(profile.FilePath()), "# written by hand\n[INTERFACEDRIVER]\nVORA=/new/Drv712.dll\n"
                                            "UNKNOWN=kept\nthis line is broken\n\n[ELSEWHERE]\n; comment\nX=1\n");
}

TEST_F(ProfileTest, BrokenFileReadsWhatItCanAndDefaultsForTheRest)
{
    Profile profile("brelinview");
    const char text[] = "\x00\x01[[[\n[DNET\nPORT=1\n[DNET]\n===\nPORT=800\n";
    WriteText(profile.FilePath(), std::string(text, sizeof text - 1));
    EXPECT_EQ(profile.GetProfileInt("DNET", "PORT", 760), 800);
    EXPECT_EQ(profile.GetProfileInt("DNET", "INTERRUPT", 3), 3);
}

TEST_F(ProfileTest, UnreadableFileReadsDefaultsAndIsNotOverwritten)
{
    Profile profile("OrvDeviceNetDriver");
    // A folder in place of the file cannot be read, whoever runs the test.
    fs::create_directories(profile.FilePath() / "inside");
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "VORA", "Drv712.dll"), "Drv712.dll");
    EXPECT_FALSE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", "x.dll"));
    EXPECT_TRUE(fs::is_directory(profile.FilePath() / "inside"));
}

TEST_F(ProfileTest, AFifoInPlaceOfTheFileReadsDefaultsAtOnceAndStays)
{
    Profile profile("brelinview");
    fs::create_directories(profile.FilePath().parent_path());
    ASSERT_EQ(mkfifo(profile.FilePath().c_str(), 0644), 0);
    EXPECT_EQ(profile.GetProfileInt("DNET", "PORT", 760), 760);
    EXPECT_FALSE(profile.WriteProfileInt("DNET", "PORT", 800));
    EXPECT_TRUE(fs::is_fifo(profile.FilePath()));
}

TEST_F(ProfileTest, UnwritableFolderFailsTheWrite)
{
    WriteText(folder_ / "config", "a file where the folder should be\n");
    Profile profile("OrvDeviceNetDriver");
    EXPECT_FALSE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", "x.dll"));
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "VORA", "default"), "default");
}

TEST_F(ProfileTest, WriteReplacesTheFileInsteadOfEditingItInPlace)
{
    Profile profile("OrvDeviceNetDriver");
    ASSERT_TRUE(profile.WriteProfileString("S", "K", "1"));
    // A hard link keeps the old file: a rename leaves it alone where an in-place edit would not.
    const fs::path old = folder_ / "old.ini";
    fs::create_hard_link(profile.FilePath(), old);
    ASSERT_TRUE(profile.WriteProfileString("S", "K", "2"));
    EXPECT_EQ(ReadText(old), "[S]\nK=1\n");
    EXPECT_EQ(ReadText(profile.FilePath()), "[S]\nK=2\n");
    // No temporary file is left behind.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_ / "config")) {
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

TEST_F(ProfileTest, WriteKeepsTheFileModeAndASymbolicLink)
{
    Profile profile("brelinview");
    const fs::path real = folder_ / "elsewhere" / "real.ini";
    WriteText(real, "[DNET]\nPORT=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0600), 0);
    fs::create_directories(profile.FilePath().parent_path());
    fs::create_symlink(real, profile.FilePath());

    ASSERT_TRUE(profile.WriteProfileInt("DNET", "PORT", 2));
    EXPECT_TRUE(fs::is_symlink(profile.FilePath()));
    EXPECT_EQ(ReadText(real), "[DNET]\nPORT=2\n");
    struct stat info{};
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ProfileTest, IntegersAreDecimalText)
{
    Profile profile("brelinview");
    ASSERT_TRUE(profile.WriteProfileInt("NETWORK", "NODEADDRESS", -1));
    ASSERT_TRUE(profile.WriteProfileInt("DNET", "PORT", 760));
    EXPECT_EQ(ReadText(profile.FilePath()), "[NETWORK]\nNODEADDRESS=-1\n\n[DNET]\nPORT=760\n");
    EXPECT_EQ(profile.GetProfileInt("NETWORK", "NODEADDRESS", 0), -1);

    const std::pair<const char*, int> cases[] = {
        {"12", 12}, {"+5", 5}, {"-2147483648", -2147483648}, {"2147483647", 2147483647},
        {"12 ms", 12}, {"  7  ", 7}, {"0x10", 0},
        {"", 99}, {"abc", 99}, {"-", 99}, {"+-1", 99}, {"2147483648", 99}, {"99999999999", 99},
    };
    for (const auto& [text, expected] : cases) {
        ASSERT_TRUE(profile.WriteProfileString("DNET", "INSTALLED", text));
        EXPECT_EQ(profile.GetProfileInt("DNET", "INSTALLED", 99), expected) << "'" << text << "'";
    }
}

TEST_F(ProfileTest, ValueThatIsNotOneLineIsRefusedAndChangesNothing)
{
    Profile profile("OrvDeviceNetDriver");
    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", "a.dll"));
    EXPECT_FALSE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", "b.dll\n[EVIL]\nX=1"));
    EXPECT_EQ(ReadText(profile.FilePath()), "[INTERFACEDRIVER]\nVORA=a.dll\n");

    ASSERT_TRUE(profile.WriteProfileString("INTERFACEDRIVER", "VORA", " /path with spaces/x.dll "));
    EXPECT_EQ(profile.GetProfileString("INTERFACEDRIVER", "VORA", ""), " /path with spaces/x.dll ");
}

TEST_F(ProfileTest, ConcurrentWritersInOneProcessLoseNothing)
{
    Profile profile("OrvDeviceNetDriver");
    auto writer = [&profile](const char* prefix) {
        Profile own = Profile::AtPath(profile.FilePath());
        for (int i = 0; i < 20; ++i) {
            own.WriteProfileInt("S", prefix + std::to_string(i), i);
        }
    };
    std::thread first(writer, "A");
    std::thread second(writer, "B");
    first.join();
    second.join();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(profile.GetProfileInt("S", "A" + std::to_string(i), -1), i);
        EXPECT_EQ(profile.GetProfileInt("S", "B" + std::to_string(i), -1), i);
    }
}

} // namespace
} // namespace orv::platform
