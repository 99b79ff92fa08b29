// Reading a settings file whole: whatever lies at the path, the read ends at once and takes
// bounded memory.

#include "platform/TextFile.h"
#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace orv::platform {
namespace {

namespace fs = std::filesystem;
using Status = TextFileRead::Status;

TEST(TextFile, ReadsRegularFilesAndRefusesEverythingElse)
{
    test::TempFolder folder;
    test::WriteText(folder / "small", "[A]\nB=1\n");
    test::WriteText(folder / "limit", std::string(64, 'x'));
    test::WriteText(folder / "large", std::string(65, 'x'));
    test::WriteText(folder / "file", "not a folder\n");
    fs::create_directory(folder / "folder");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", folder / "zero");
    fs::create_symlink(folder / "small", folder / "link");

    struct Case {
        const char* name;
        Status status;
        std::string textOrError;
    };
    const Case cases[] = {
        {"small", Status::Read, "[A]\nB=1\n"},
        {"link", Status::Read, "[A]\nB=1\n"},
        {"limit", Status::Read, std::string(64, 'x')},
        {"missing", Status::Missing, ""},
        {"file/below", Status::Missing, ""},
        {"large", Status::Refused, "is larger than 64 bytes"},
        {"folder", Status::Refused, "is a folder"},
        {"fifo", Status::Refused, "is not a regular file"}, // no writer: an open that blocked would hang here
        {"zero", Status::Refused, "is not a regular file"},
    };
    for (const Case& c : cases) {
        const TextFileRead read = ReadTextFile(folder / c.name, 64);
        EXPECT_EQ(read.status, c.status) << c.name;
        EXPECT_EQ(c.status == Status::Refused ? read.error : read.text, c.textOrError) << c.name;
    }
}

TEST(TextFile, AFileThatCannotBeOpenedSaysWhy)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads any file";
    }
    test::TempFolder folder;
    test::WriteText(folder / "secret", "x");
    fs::permissions(folder / "secret", fs::perms::none);
    const TextFileRead read = ReadTextFile(folder / "secret");
    EXPECT_EQ(read.status, Status::Refused);
    EXPECT_EQ(read.error, "Permission denied");
}

} // namespace
} // namespace orv::platform
