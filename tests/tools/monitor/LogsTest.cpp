// dnet decode on candump -L logs recorded from brelinsim sessions: each log's text beside it is
// what the decoder must say of it, line for line.

#include "tools/dnet/CommandLine.h"
#include "tools/dnet/Session.h"
#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>
#include <string>

namespace orv::dnet {
namespace {

namespace fs = std::filesystem;

const fs::path kLogs = MONITOR_LOGS;

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// dnet decode's standard output and error for the log `log`, run as a session of `arguments`.
std::pair<std::string, std::string> Decode(const fs::path& log, std::vector<std::string> arguments = {})
{
    arguments.insert(arguments.end(), {"decode", log.string()});
    std::string error;
    const auto options = ParseCommandLine(arguments, error);
    EXPECT_TRUE(options) << error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Session session(*options, out, err);
    EXPECT_EQ(session.Run(), kExitOk);
    const auto text = [](std::FILE* file) {
        std::string content;
        std::rewind(file);
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            content.append(buffer, got);
        }
        std::fclose(file);
        return content;
    };
    std::string outText = text(out);
    return {outText, text(err)};
}

class RecordedLog : public ::testing::TestWithParam<const char*> {};

TEST_P(RecordedLog, DecodesToTheExpectedText)
{
    const fs::path log = kLogs / (std::string(GetParam()) + ".log");
    ASSERT_TRUE(fs::exists(log)) << log;
    const auto [out, err] = Decode(log);
    EXPECT_EQ(out, ReadFile(kLogs / (std::string(GetParam()) + ".txt")));
    EXPECT_EQ(err, "");
}

INSTANTIATE_TEST_SUITE_P(Monitor, RecordedLog,
                         ::testing::Values("allocation", "fragmented-read", "fragmented-write", "error-response", "poll",
                                           "broken-fragments", "truncated-fragments"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

TEST(MonitorDecode, LinesThatAreNoFramesAreCountedAndSkipped)
{
    const fs::path log = fs::path(::testing::TempDir()) / "monitor-skipped.log";
    std::ofstream(log) << "(0.000000) can0 5FC#000E010107\n"
                          "garbage\n"
                          "\n"
                          "(0.000100) can0 5FB#008E03\n"
                          "(0.000200) can0 5FB#0102030405060708090A\n";
    const auto [out, err] = Decode(log, {"--json"});
    fs::remove(log);
    // Two messages, then the command's own record with its counts.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
    EXPECT_EQ(out.find("{\"time\":0.000000,\"id\":\"5FC\""), 0u) << out;
    EXPECT_NE(out.find("{\"command\":\"decode\",\"messages\":2,\"skippedLines\":2,\"dropped\":0,\"status\":\"ok\""),
              std::string::npos)
        << out;
    EXPECT_EQ(err, "dnet: decode: 2 lines were not candump -L frames and were skipped\n");
}

TEST(MonitorDecode, NamesAttributesFromTheEdsLibraryOnceTheIdentityWentBy)
{
    test::TempFolder library;
    fs::create_directories(library / "orv/eds");
    fs::copy_file(BRELIN_EDS, library / "orv/eds/brelin.eds");
    const test::ScopedEnvironment home("XDG_DATA_HOME", library.Path().string());
    const test::ScopedEnvironment dirs("XDG_DATA_DIRS", (library / "none").string());
    const auto [out, err] = Decode(kLogs / "eds-names.log");
    EXPECT_EQ(out, ReadFile(kLogs / "eds-names.txt"));
    EXPECT_EQ(err, "");
}

TEST(MonitorDecode, AnUnreadableLogFails)
{
    std::string error;
    const auto options = ParseCommandLine({"decode", "/nonexistent/bus.log"}, error);
    ASSERT_TRUE(options) << error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Session session(*options, out, err);
    EXPECT_EQ(session.Run(), kExitFailure);
    std::fclose(out);
    std::fclose(err);
}

TEST(MonitorCommandLine, MonitorAndDecodeRunAlone)
{
    std::string error;
    auto options = ParseCommandLine({"monitor", "--bus", "tcp://127.0.0.1:4000/can1"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->commands[0].kind, Command::Kind::Monitor);
    EXPECT_EQ(options->commands[0].bus, "tcp://127.0.0.1:4000/can1");

    options = ParseCommandLine({"--json", "decode", "bus.log"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->commands[0].file, "bus.log");

    const std::vector<std::vector<std::string>> refused = {
        {"decode"}, {"decode", "a.log", "b.log"}, {"monitor", "--bus"}, {"monitor", "now"}, {"monitor", "--json"},
        {"-e", "monitor", "-e", "get 63 1 1 7"}};
    for (const auto& args : refused) {
        EXPECT_FALSE(ParseCommandLine(args, error)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
}

} // namespace
} // namespace orv::dnet
