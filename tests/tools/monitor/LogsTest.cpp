// dnet decode on candump -L logs recorded from brelinsim sessions: each log's text beside it is
// what the decoder must say of it, line for line.

#include "tools/dnet/CommandLine.h"
#include "tools/dnet/Monitor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
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

// DecodeLog's output and error text for `log`.
std::pair<std::string, std::string> Decode(std::istream& log, bool json)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(DecodeLog(log, json, out, err), 0);
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
    std::ifstream file(log);
    ASSERT_TRUE(file) << log;
    const auto [out, err] = Decode(file, false);
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
    std::istringstream log("(0.000000) can0 5FC#000E010107\n"
                           "garbage\n"
                           "\n"
                           "(0.000100) can0 5FB#008E03\n"
                           "(0.000200) can0 5FB#0102030405060708090A\n");
    const auto [out, err] = Decode(log, true);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
    EXPECT_EQ(out.find("{\"time\":0.000000,\"id\":\"5FC\""), 0u) << out;
    EXPECT_EQ(err, "dnet: decode: 2 lines were not candump -L frames and were skipped\n");
}

TEST(MonitorCommandLine, MonitorAndDecodeRunAlone)
{
    std::string error;
    auto options = ParseCommandLine({"monitor", "--bus", "tcp://127.0.0.1:4000/can1", "--json"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->commands[0].kind, Command::Kind::Monitor);
    EXPECT_EQ(options->commands[0].bus, "tcp://127.0.0.1:4000/can1");
    EXPECT_TRUE(options->commands[0].json);

    options = ParseCommandLine({"--json", "decode", "bus.log"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->commands[0].file, "bus.log");

    const std::vector<std::vector<std::string>> refused = {
        {"decode"}, {"decode", "a.log", "b.log"}, {"monitor", "--bus"}, {"monitor", "now"},
        {"-e", "monitor", "-e", "get 63 1 1 7"}};
    for (const auto& args : refused) {
        EXPECT_FALSE(ParseCommandLine(args, error)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
}

} // namespace
} // namespace orv::dnet
