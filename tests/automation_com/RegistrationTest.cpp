// Registration of the built library: exactly the keys of its class, type library and interface,
// removed again without the shared roots; and the orvregsvr program that runs it.

#include "tests/automation_com/ServerEnvironment.h"

#include "platform/automation/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace orv::comtest {
namespace {

using Values = std::map<std::string, std::string>;
using Tree = std::map<std::string, Values>;

const std::string kClsid = "{40140904-0DEF-4027-8512-0AD1B086D999}";
const std::string kLibId = "{FDB652E4-A4AA-40EC-8824-5C44FBBFD39E}";
const std::string kIid = "{12F6DD73-229D-4CF6-ACB4-5F0EFC132684}";
const std::string kForeignClass = "CLSID\\{7E1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}";

Tree Dump(const com::RegistryDocument& document)
{
    Tree tree;
    for (const std::string& key : document.Keys()) {
        Values& values = tree[key];
        for (const auto& [name, value] : document.Values(key)) {
            values[name] = value;
        }
    }
    return tree;
}

// The keys of a registry that held only a foreign class and a foreign ProgID.
Tree ForeignKeys()
{
    return {{"CLSID", {}},
            {kForeignClass, {}},
            {kForeignClass + "\\InprocServer32", {{"", "/opt/other/libother.so"}}},
            {"Other.Thing", {{"", "Other Class"}}}};
}

Tree RegisteredKeys(const std::string& path)
{
    const std::string classKey = "CLSID\\" + kClsid;
    const std::string version = "TypeLib\\" + kLibId + "\\1.0";
    const std::string progId = "OrvDeviceNetDriver.OrvDeviceNetCom.1";
    const std::string independent = "OrvDeviceNetDriver.OrvDeviceNetCom";
    Tree tree = ForeignKeys();
    tree.merge(Tree{
        {progId, {{"", "OrvDeviceNetCom Class"}}},
        {progId + "\\CLSID", {{"", kClsid}}},
        {independent, {{"", "OrvDeviceNetCom Class"}}},
        {independent + "\\CLSID", {{"", kClsid}}},
        {independent + "\\CurVer", {{"", progId}}},
        {classKey, {{"", "OrvDeviceNetCom Class"}}},
        {classKey + "\\ProgID", {{"", progId}}},
        {classKey + "\\VersionIndependentProgID", {{"", independent}}},
        {classKey + "\\Programmable", {}},
        {classKey + "\\InprocServer32", {{"", path}, {"ThreadingModel", "Apartment"}}},
        {classKey + "\\TypeLib", {{"", kLibId}}},
        {"TypeLib", {}},
        {"TypeLib\\" + kLibId, {}},
        {version, {{"", "OrvDeviceNetDriver 1.0 Type Library"}}},
        {version + "\\409", {}},
        {version + "\\409\\linux64", {{"", path}}},
        {version + "\\FLAGS", {{"", "0"}}},
        {version + "\\HELPDIR", {{"", std::filesystem::path(path).parent_path().string()}}},
        {"Interface", {}},
        {"Interface\\" + kIid, {{"", "IOrvDeviceNetCom"}}},
        {"Interface\\" + kIid + "\\TypeLib", {{"", kLibId}, {"Version", "1.0"}}},
    });
    return tree;
}

class Registration : public ServerTest {
protected:
    void SetUp() override
    {
        // Starts from a registry with someone else's class, not with ours.
        std::string why;
        ASSERT_EQ(com::UnregisterServerLibrary(kLibraryPath, &why), com::S_OK) << why;
        ASSERT_TRUE(registry_.Update([](com::RegistryDocument& document) {
            document.RemoveTree("CLSID");
            document.RemoveTree("TypeLib");
            document.RemoveTree("Interface");
            return document.SetValue(kForeignClass + "\\InprocServer32", {}, "/opt/other/libother.so") &&
                   document.SetValue("Other.Thing", {}, "Other Class");
        }));
        ASSERT_EQ(Dump(registry_.Read()), ForeignKeys());
    }

    com::Registry registry_{RegistryFile()};
};

TEST_F(Registration, WritesExactlyTheKeysOfTheClassItsTypeLibraryAndItsInterface)
{
    std::string why;
    ASSERT_EQ(com::RegisterServerLibrary(kLibraryPath, &why), com::S_OK) << why;
    EXPECT_EQ(Dump(registry_.Read()), RegisteredKeys(kLibraryPath));
}

TEST_F(Registration, RewritesTheClassKeyWhole)
{
    std::string why;
    ASSERT_EQ(com::RegisterServerLibrary(kLibraryPath, &why), com::S_OK) << why;
    ASSERT_TRUE(registry_.WriteKey("CLSID\\" + kClsid + "\\Stale", "left over"));
    ASSERT_TRUE(registry_.WriteKey("CLSID\\" + kClsid + "\\InprocServer32", "/old/place.so", {{"Extra", "1"}}));
    ASSERT_EQ(com::RegisterServerLibrary(kLibraryPath, &why), com::S_OK) << why;
    EXPECT_EQ(Dump(registry_.Read()), RegisteredKeys(kLibraryPath));
}

TEST_F(Registration, UnregistrationRemovesItsKeysButNotTheSharedRoots)
{
    std::string why;
    ASSERT_EQ(com::RegisterServerLibrary(kLibraryPath, &why), com::S_OK) << why;
    ASSERT_EQ(com::UnregisterServerLibrary(kLibraryPath, &why), com::S_OK) << why;
    Tree expected = ForeignKeys();
    expected["TypeLib"] = {};
    expected["Interface"] = {};
    EXPECT_EQ(Dump(registry_.Read()), expected);

    // Alone in the registry, the CLSID root stays too.
    ASSERT_TRUE(registry_.RemoveKeyTree(kForeignClass));
    ASSERT_EQ(com::RegisterServerLibrary(kLibraryPath, &why), com::S_OK) << why;
    ASSERT_EQ(com::UnregisterServerLibrary(kLibraryPath, &why), com::S_OK) << why;
    EXPECT_TRUE(registry_.KeyExists("CLSID"));
    EXPECT_FALSE(registry_.KeyExists("CLSID\\" + kClsid));
}

struct ProgramRun {
    int status;
    std::string output;
};

// Runs orvregsvr with `arguments` (shell words) in `folder`; its output and error output together.
ProgramRun RunRegsvr(const std::string& arguments, const std::filesystem::path& folder = {})
{
    std::string command = std::string("'") + ORV_REGSVR + "' " + arguments + " 2>&1";
    if (!folder.empty()) {
        command = "cd '" + folder.string() + "' && " + command;
    }
    ProgramRun run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        run.output += chunk;
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST_F(Registration, OrvregsvrRegistersAndUnregistersALibrary)
{
    const std::string registered = "orvregsvr: DllRegisterServer in " + kLibraryPath + " succeeded (registry " +
                                   RegistryFile().string() + ").\n";
    ProgramRun run = RunRegsvr("'" + kLibraryPath + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, registered);
    EXPECT_EQ(Dump(registry_.Read()), RegisteredKeys(kLibraryPath));

    run = RunRegsvr("/u '" + kLibraryPath + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "orvregsvr: DllUnregisterServer in " + kLibraryPath + " succeeded (registry " +
                              RegistryFile().string() + ").\n");
    EXPECT_FALSE(registry_.KeyExists("CLSID\\" + kClsid));

    // A name relative to the current folder is registered by its full path.
    const std::filesystem::path folder = std::filesystem::path(kLibraryPath).parent_path();
    run = RunRegsvr(std::filesystem::path(kLibraryPath).filename().string(), folder);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(registry_.GetValue("CLSID\\" + kClsid + "\\InprocServer32"), kLibraryPath);
}

TEST_F(Registration, OrvregsvrLeavesARegistryItCannotParseAsItIs)
{
    const std::string text = test::ReadText(RegistryFile()) + "a stray line\n";
    test::WriteText(RegistryFile(), text);
    const std::size_t strayLine = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    for (const std::string& arguments : {"'" + kLibraryPath + "'", "/u '" + kLibraryPath + "'"}) {
        const ProgramRun run = RunRegsvr(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_EQ(run.output, "orvregsvr: the class registry " + RegistryFile().string() + " cannot be parsed (line " +
                                  std::to_string(strayLine) + "); it was left unchanged\n");
        EXPECT_EQ(test::ReadText(RegistryFile()), text) << "every other registration is still there";
    }
}

TEST_F(Registration, OrvregsvrWritesTheRegistryItIsGiven)
{
    const std::filesystem::path other = folder_ / "system" / "orv" / "registry.ini";
    const std::string before = test::ReadText(RegistryFile());
    ProgramRun run = RunRegsvr("--registry '" + other.string() + "' '" + kLibraryPath + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "orvregsvr: DllRegisterServer in " + kLibraryPath + " succeeded (registry " +
                              other.string() + ").\n");
    EXPECT_EQ(com::Registry(other).GetValue("CLSID\\" + kClsid + "\\InprocServer32"), kLibraryPath);
    EXPECT_EQ(test::ReadText(RegistryFile()), before) << "$ORV_REGISTRY is left alone";

    run = RunRegsvr("/u --registry '" + other.string() + "' '" + kLibraryPath + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(com::Registry(other).KeyExists("CLSID\\" + kClsid));

    for (const char* arguments : {"--registry", "--system --registry x.ini lib.so", "/v --system lib.so",
                                  "--registry '' lib.so"}) {
        run = RunRegsvr(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.output.find("orvregsvr [/u] (--system | --registry FILE) PATH\n"), std::string::npos) << run.output;
    }
}

TEST_F(Registration, OrvregsvrPrintsTheVersionRecord)
{
    const ProgramRun run = RunRegsvr("/v '" + kLibraryPath + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "FileDescription=OrvDeviceNetDriver Module\nFileVersion=2.0.0.7\nOLESelfRegister=\n");
    EXPECT_EQ(Dump(registry_.Read()), ForeignKeys()) << "reading the record registers nothing";
}

TEST_F(Registration, OrvregsvrSaysWhyItFailed)
{
    const std::string missing = (folder_ / "missing.so").string();
    ProgramRun run = RunRegsvr("'" + missing + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output.rfind("orvregsvr: Cannot load " + missing + ": ", 0), 0u) << run.output;
    EXPECT_NE(run.output.find("(0x8007007E)"), std::string::npos) << run.output;

    run = RunRegsvr("/u '" ORV_PLATFORM_LIBRARY "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "orvregsvr: " + std::filesystem::path(ORV_PLATFORM_LIBRARY).lexically_normal().string() +
                              " does not export DllUnregisterServer (0x800401F9)\n");

    // A registry that cannot be written: its folder is a file.
    test::WriteText(folder_ / "blocked", "a file\n");
    const std::string blocked = (folder_ / "blocked" / "registry.ini").string();
    {
        test::ScopedEnvironment unwritable("ORV_REGISTRY", blocked);
        run = RunRegsvr("'" + kLibraryPath + "'");
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "orvregsvr: DllRegisterServer of " + kLibraryPath +
                              " failed: Could not register the class (0x80040201)\n");

    // Neither a FIFO nor a device is opened: that would wait for a writer or read without end.
    ASSERT_EQ(mkfifo((folder_ / "fifo.so").c_str(), 0644), 0);
    for (const std::string& path : {(folder_ / "fifo.so").string(), std::string("/dev/zero")}) {
        for (const char* action : {"", "/v "}) {
            run = RunRegsvr(std::string(action) + "'" + path + "'");
            EXPECT_EQ(run.status, 1) << path;
            EXPECT_EQ(run.output, "orvregsvr: " + path + " is not a regular file\n");
        }
    }

    for (const char* arguments : {"", "/u", "/x '" ORV_PLATFORM_LIBRARY "'", "a.so b.so", "--help"}) {
        run = RunRegsvr(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.output.rfind("usage: orvregsvr [/u | /v] PATH\n", 0), 0u) << arguments << ": " << run.output;
    }
}

} // namespace
} // namespace orv::comtest
