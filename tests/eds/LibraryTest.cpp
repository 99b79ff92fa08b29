// The EDS library: where it looks, in which order, and which file describes a device.

#include "eds/Library.h"

#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace orv::eds {
namespace {

namespace fs = std::filesystem;

struct Environment {
    const char* name;
    std::optional<std::string> dataHome;
    std::optional<std::string> home;
    std::optional<std::string> dataDirs;
    std::vector<std::string> folders;
};

class LibraryFolders : public ::testing::TestWithParam<Environment> {};

TEST_P(LibraryFolders, FollowTheXdgBaseDirectories)
{
    const auto c = [](const std::optional<std::string>& value) { return value ? value->c_str() : nullptr; };
    const Environment& e = GetParam();
    std::vector<std::string> folders;
    for (const fs::path& folder : Library::Folders(c(e.dataHome), c(e.home), c(e.dataDirs))) {
        folders.push_back(folder.string());
    }
    EXPECT_EQ(folders, e.folders);
}

const Environment kEnvironments[] = {
    {"DataHomeThenTheDefaultDataDirs", "/x/data", "/home/u", std::nullopt,
     {"/x/data/orv/eds", "/usr/local/share/orv/eds", "/usr/share/orv/eds"}},
    {"HomeWhenNoDataHome", std::nullopt, "/home/u", "",
     {"/home/u/.local/share/orv/eds", "/usr/local/share/orv/eds", "/usr/share/orv/eds"}},
    {"RelativeFoldersIgnored", "relative", "/home/u", "/a::rel:/b/",
     {"/home/u/.local/share/orv/eds", "/a/orv/eds", "/b/orv/eds"}},
    {"NoHomeAtAll", std::nullopt, std::nullopt, "/only", {"/only/orv/eds"}},
};

INSTANTIATE_TEST_SUITE_P(Eds, LibraryFolders, ::testing::ValuesIn(kEnvironments),
                         [](const auto& info) { return std::string(info.param.name); });

std::string DeviceFile(int vendor, int productCode, int major, int minor, const std::string& name)
{
    return "[Device]\nVendCode = " + std::to_string(vendor) + "; ProdType = 12; ProdCode = " +
           std::to_string(productCode) + "; MajRev = " + std::to_string(major) + "; MinRev = " +
           std::to_string(minor) + "; ProdName = \"" + name + "\";\n";
}

void Write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

class EdsLibrary : public ::testing::Test {
protected:
    test::TempFolder root;
    fs::path user = root / "user";
    fs::path system = root / "system";
    Library Open() const { return Library({user, root / "missing", system}); }
};

TEST_F(EdsLibrary, MatchesVendorTypeProductAndMajorRevision)
{
    Write(system / "brelin.eds", DeviceFile(1207, 4201, 1, 4, "Brelin GW"));
    Write(system / "other.eds", DeviceFile(1207, 4202, 1, 0, "Other"));
    const Library library = Open();
    const LibraryFile* found = library.Find({1207, 12, 4201, 1});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->device.productName, "Brelin GW");
    EXPECT_EQ(library.Find({1207, 12, 4201, 2}), nullptr);
    EXPECT_EQ(library.Find({1208, 12, 4201, 1}), nullptr);
    EXPECT_EQ(library.Find({1207, 13, 4201, 1}), nullptr);
    EXPECT_EQ(library.Find({1207, 12, 4203, 1}), nullptr);
}

TEST_F(EdsLibrary, TheUsersFolderComesFirst)
{
    Write(system / "brelin.eds", DeviceFile(1207, 4201, 1, 9, "System"));
    Write(user / "mine.EDS", DeviceFile(1207, 4201, 1, 1, "Mine"));
    const Library library = Open();
    const LibraryFile* found = library.Find({1207, 12, 4201, 1});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->device.productName, "Mine");
}

TEST_F(EdsLibrary, InOneFolderTheHighestMinorRevisionThenTheFirstName)
{
    Write(system / "b.eds", DeviceFile(1207, 4201, 1, 2, "b"));
    Write(system / "c.eds", DeviceFile(1207, 4201, 1, 5, "c"));
    Write(system / "d.eds", DeviceFile(1207, 4201, 1, 5, "d"));
    const Library library = Open();
    const LibraryFile* found = library.Find({1207, 12, 4201, 1});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->device.productName, "c");
}

TEST_F(EdsLibrary, BrokenAndForeignFilesAreLeftOutAndSaidSo)
{
    Write(system / "broken.eds", "[Device]\nVendCode = 1207\n");
    Write(system / "notes.txt", DeviceFile(1207, 4201, 1, 4, "not an EDS name"));
    fs::create_directories(system / "folder.eds");
    Write(system / "good.eds", DeviceFile(1207, 4201, 1, 4, "good"));
    const Library library = Open();
    ASSERT_EQ(library.Files().size(), 1u);
    EXPECT_EQ(library.Files()[0].device.productName, "good");
    ASSERT_EQ(library.Problems().size(), 1u);
    EXPECT_NE(library.Problems()[0].find("broken.eds: line 3, column 1: expected ';' to end VendCode"),
              std::string::npos)
        << library.Problems()[0];
}

TEST_F(EdsLibrary, LoadsAFileWholeOnce)
{
    Write(user / "brelin.eds", DeviceFile(1207, 4201, 1, 4, "Brelin GW") +
                                   "[Params]\nParam1 = 0, , , 0, 0xC6, 1, \"Only\";\n");
    const Library library = Open();
    const LibraryFile* found = library.Find({1207, 12, 4201, 1});
    ASSERT_NE(found, nullptr);
    Error error;
    const auto eds = library.Load(*found, error);
    ASSERT_TRUE(eds) << error.Text();
    ASSERT_EQ(eds->params.size(), 1u);
    EXPECT_EQ(eds->params[0].name, "Only");
    EXPECT_EQ(library.Load(*found, error), eds);
    const LibraryFile stranger{user / "brelin.eds", found->device};
    EXPECT_FALSE(library.Load(stranger, error));
}

TEST(EdsFile, ALargerFileThanAnEdsCanBeIsNotRead)
{
    test::TempFolder folder;
    const fs::path path = folder / "huge.eds";
    std::ofstream(path).close();
    fs::resize_file(path, kMaxEdsFileBytes + 1);
    Eds eds;
    Error error;
    EXPECT_FALSE(LoadEds(path, eds, error));
    EXPECT_EQ(error.where.line, 0u);
    EXPECT_NE(error.Text().find("larger than an EDS can be"), std::string::npos) << error.Text();
    EXPECT_FALSE(LoadEds(folder / "missing.eds", eds, error));
    EXPECT_NE(error.Text().find("cannot read"), std::string::npos) << error.Text();
}

} // namespace
} // namespace orv::eds
