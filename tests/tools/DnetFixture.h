#pragma once
// dnet run as a child process against the built driver library, registered in a registry of the
// test program's own: the fixture of the end-to-end tests of dnet.

#include "ChildProcess.h"
#include "MiniJson.h"
#include "platform/automation/Registration.h"
#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orv::test {

inline const std::string kDnet = ORV_DNET;
inline const std::string kDriverLibrary = ORV_DRIVER_LIBRARY;
inline const std::string kRegsvr = ORV_REGSVR;
inline const std::string kBrelinsim = ORV_BRELINSIM;

// Registers the driver library in `registry` with the build's own tool when there is one, else
// through the platform's registration call in this process.
inline bool RegisterDriver(std::string& why)
{
    if (!kRegsvr.empty() && std::filesystem::exists(kRegsvr)) {
        const ProgramResult result = RunProgram({kRegsvr, kDriverLibrary});
        why = "orvregsvr: " + result.err;
        return result.status == 0;
    }
    return platform::automation::RegisterServerLibrary(kDriverLibrary, &why) == platform::automation::S_OK;
}

class Dnet : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new TempFolder;
        setenv("XDG_CONFIG_HOME", folder_->Path().c_str(), 1);
        setenv("ORV_REGISTRY", (*folder_ / "registry.ini").c_str(), 1);
        unsetenv("ORV_CANBUS");
        // An EDS library of the test's own, empty until a test puts files in it.
        setenv("XDG_DATA_HOME", (*folder_ / "data").c_str(), 1);
        setenv("XDG_DATA_DIRS", (*folder_ / "system-data").c_str(), 1);
        libraryBuilt_ = std::filesystem::exists(kDriverLibrary);
        if (libraryBuilt_) {
            registered_ = RegisterDriver(registerError_);
        }
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }

    void SetUp() override
    {
        if (!libraryBuilt_) {
            GTEST_SKIP() << "the driver library is not built yet (" << kDriverLibrary << ")";
        }
        ASSERT_TRUE(registered_) << "registering " << kDriverLibrary << " failed: " << registerError_;
    }

    static ProgramResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), kDnet);
        return RunProgram(args);
    }

    // -e for each command.
    static std::vector<std::string> Session(std::vector<std::string> options, const std::vector<std::string>& commands)
    {
        for (const std::string& command : commands) {
            options.push_back("-e");
            options.push_back(command);
        }
        return options;
    }

    static std::vector<JsonValue> JsonLines(const std::string& out)
    {
        std::vector<JsonValue> values;
        for (const std::string& line : Lines(out)) {
            const auto value = JsonReader::Parse(line);
            EXPECT_TRUE(value && value->type == JsonValue::Type::Object) << "not a JSON object: " << line;
            if (value) {
                values.push_back(*value);
            }
        }
        return values;
    }

    static std::filesystem::path Folder() { return folder_->Path(); }
    // Where dnet looks for EDS files first.
    static std::filesystem::path EdsLibrary() { return folder_->Path() / "data" / "orv" / "eds"; }

private:
    static inline TempFolder* folder_ = nullptr;
    static inline bool libraryBuilt_ = false;
    static inline bool registered_ = false;
    static inline std::string registerError_;
};

// A tcp:// bus on a free port, for brelinsim processes the test starts.
class DnetOnTcp : public Dnet {
protected:
    void SetUp() override
    {
        Dnet::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        if (kBrelinsim.empty() || !std::filesystem::exists(kBrelinsim)) {
            GTEST_SKIP() << "brelinsim is not built yet (" << kBrelinsim << ")";
        }
        port = FreeTcpPort();
        ASSERT_GT(port, 0);
        bus = "tcp://127.0.0.1:" + std::to_string(port) + "/can0";
    }

    int port = -1;
    std::string bus;
};

inline std::string Describe(const ProgramResult& result)
{
    return "exit " + std::to_string(result.status) + "\n--- stdout:\n" + result.out + "--- stderr:\n" + result.err;
}

} // namespace orv::test
