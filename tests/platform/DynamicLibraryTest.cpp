#include "platform/DynamicLibrary.h"
#include "tests/platform/TestEnvironment.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace orv::platform {
namespace {

using AnswerFn = int (*)();

// True while the library at `path` is mapped into the process.
bool IsMapped(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

TEST(DynamicLibrary, LoadsByPathFindsAndCallsAFunction)
{
    DynamicLibrary library = DynamicLibrary::Load(ORV_FIXTURE_ANSWER);
    ASSERT_TRUE(library.IsLoaded()) << LastLoadError();
    EXPECT_EQ(LastLoadError(), "");
    const auto answer = library.FindFunction<AnswerFn>("orv_fixture_answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(library.FindFunction<AnswerFn>("orv_fixture_answer_plus_dependency")(), 43);
    EXPECT_EQ(library.Find("orv_fixture_no_such_function"), nullptr);
}

TEST(DynamicLibrary, FindsOnlyTheLibrarysOwnExports)
{
    DynamicLibrary library = DynamicLibrary::Load(ORV_FIXTURE_ANSWER);
    ASSERT_TRUE(library);
    // The dependency is loaded with it and exports this name, but the library itself does not.
    EXPECT_EQ(library.Find("orv_fixture_dependency_function"), nullptr);
    EXPECT_EQ(library.Find("malloc"), nullptr);

    DynamicLibrary dependency = DynamicLibrary::Load(ORV_FIXTURE_DEPENDENCY);
    ASSERT_TRUE(dependency);
    EXPECT_NE(dependency.Find("orv_fixture_dependency_function"), nullptr);
}

TEST(DynamicLibrary, LoadsByBareFileNameThroughTheSearchPath)
{
    const std::filesystem::path path(ORV_FIXTURE_ANSWER);
    const char* searchPath = std::getenv("LD_LIBRARY_PATH");
    if (searchPath == nullptr || std::string(searchPath).find(path.parent_path().string()) == std::string::npos) {
        GTEST_SKIP() << "the fixture folder is not on LD_LIBRARY_PATH; run this test through ctest";
    }
    DynamicLibrary library = DynamicLibrary::Load(path.filename().string());
    ASSERT_TRUE(library) << LastLoadError();
    EXPECT_EQ(library.FindFunction<AnswerFn>("orv_fixture_answer")(), 42);
}

TEST(DynamicLibrary, FailureLeavesAnEmptyObjectAndAReason)
{
    test::TempFolder folder;
    const auto missing = (folder / "missing.dll").string();
    DynamicLibrary library = DynamicLibrary::Load(missing);
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_NE(LastLoadError().find("missing.dll"), std::string::npos) << LastLoadError();
    EXPECT_EQ(library.Find("orv_fixture_answer"), nullptr);

    const auto notElf = folder / "text.dll";
    test::WriteText(notElf, "not a shared object\n");
    EXPECT_EQ(LoadLibrary(notElf.string()), nullptr);
    EXPECT_NE(LastLoadError(), "");

    // The reason is cleared by the next successful load.
    DynamicLibrary good = DynamicLibrary::Load(ORV_FIXTURE_ANSWER);
    ASSERT_TRUE(good);
    EXPECT_EQ(LastLoadError(), "");
}

TEST(DynamicLibrary, EmptyNameIsRefusedRatherThanGivingTheMainProgram)
{
    EXPECT_EQ(LoadLibrary(""), nullptr);
    EXPECT_NE(LastLoadError(), "");
    EXPECT_EQ(LoadLibrary(std::string("a\0b", 3)), nullptr);
}

TEST(DynamicLibrary, RawOperationsRefuseNullHandles)
{
    EXPECT_EQ(GetProcAddress(nullptr, "orv_fixture_answer"), nullptr);
    EXPECT_FALSE(FreeLibrary(nullptr));

    LibraryHandle handle = LoadLibrary(ORV_FIXTURE_ANSWER);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GetProcAddress(handle, nullptr), nullptr);
    EXPECT_NE(GetProcAddress(handle, "orv_fixture_answer"), nullptr);
    EXPECT_TRUE(FreeLibrary(handle));
}

TEST(DynamicLibrary, ReleasesOnDestructionAndMovesOwnership)
{
    ASSERT_FALSE(IsMapped(ORV_FIXTURE_ANSWER));
    {
        DynamicLibrary first = DynamicLibrary::Load(ORV_FIXTURE_ANSWER);
        ASSERT_TRUE(first);
        DynamicLibrary second = std::move(first);
        EXPECT_FALSE(first.IsLoaded());
        EXPECT_TRUE(second.IsLoaded());
        DynamicLibrary third;
        third = std::move(second);
        EXPECT_FALSE(second.IsLoaded());
        EXPECT_TRUE(IsMapped(ORV_FIXTURE_ANSWER));
    }
    EXPECT_FALSE(IsMapped(ORV_FIXTURE_ANSWER));

    DynamicLibrary library = DynamicLibrary::Load(ORV_FIXTURE_ANSWER);
    library.Release();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(IsMapped(ORV_FIXTURE_ANSWER));
    library.Release();

    library = DynamicLibrary::Load(ORV_FIXTURE_ANSWER);
    LibraryHandle handle = library.Detach();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_TRUE(IsMapped(ORV_FIXTURE_ANSWER));
    EXPECT_TRUE(FreeLibrary(handle));
    EXPECT_FALSE(IsMapped(ORV_FIXTURE_ANSWER));
}

} // namespace
} // namespace orv::platform
