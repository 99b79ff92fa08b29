// dnet end to end: the built program run as a child process against the driver library,
// registered in a temporary registry, on the in-process simulated bus with each card, and on a
// TCP bus served by a brelinsim process.

#include "ChildProcess.h"
#include "DnetFixture.h"
#include "MiniJson.h"
#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace orv::test {
namespace {

namespace fs = std::filesystem;

// The hexadecimal value at the start of a `get` line ("4B 01  (vendor id: 331)" -> "4B 01").
std::string ValueHex(const std::string& line)
{
    return line.substr(0, line.find("  ("));
}

// One session over the commands every card serves, on `node`; checks each answer against the
// others where they must agree.
void CheckCardSession(const ProgramResult& result, int node)
{
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto lines = Lines(result.out);
    ASSERT_GE(lines.size(), 10u) << Describe(result);
    const std::string n = std::to_string(node);
    EXPECT_EQ(lines[0], "node " + n + " open (explicit and poll connections)");
    // vendor id
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(([0-9A-F]{2}) ([0-9A-F]{2})  \(vendor id: \d+\))")))
        << lines[1];
    // product name
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(([0-9A-F]{2} ?)+  \(product name: ".*Brelin.*"\))")))
        << lines[2];
    // expected packet rate written, then read back
    EXPECT_EQ(lines[3], "ok: 10 27") << Describe(result); // the node answers with the rate it uses
    EXPECT_EQ(lines[4], "10 27  (expected packet rate: 10000 ms)");
    // Get_Attribute_Single as a free service answers the vendor id again
    EXPECT_EQ(lines[5], "ok: " + ValueHex(lines[1]));
    // one poll exchange: the answer comes from the node on its Group 1 poll response identifier
    char pollId[8];
    std::snprintf(pollId, sizeof pollId, "%03X", 0x3C0 + node);
    EXPECT_TRUE(lines[6].starts_with(std::string("poll response on ") + pollId)) << lines[6];
    // a raw explicit request on the node's connection, and its answer: the vendor id once more
    char requestId[8];
    char answerId[8];
    std::snprintf(requestId, sizeof requestId, "%03X", 0x404 + 8 * node);
    std::snprintf(answerId, sizeof answerId, "%03X", 0x403 + 8 * node);
    EXPECT_EQ(lines[7], std::string("sent ") + requestId + "  [5]  00 0E 01 01 01");
    EXPECT_EQ(lines[8], std::string(answerId) + "  [4]  00 8E " + ValueHex(lines[1]));
    // scan: the node alone answers, already open: read, and left open
    EXPECT_TRUE(std::regex_match(lines[9], std::regex("node " + n + R"(: vendor id \d+, .*, product name ".*Brelin.*", .*)"
                                                      R"(; allocated to this master before the scan, left allocated)")))
        << lines[9];
}

std::vector<std::string> CardSessionCommands(int node)
{
    const std::string n = std::to_string(node);
    char request[8];
    std::snprintf(request, sizeof request, "%03X", 0x404 + 8 * node);
    return {"open " + n + " poll",   "get " + n + " 1 1 1",          "get " + n + " 1 1 7",
            "set " + n + " 5 1 9 10 27", "get " + n + " 5 1 9",     "service " + n + " 1 1 0x0E 01",
            "poll " + n,             std::string("send ") + request + " 00 0E 01 01 01",
            "recv",                  "scan --wait 10"};
}

TEST_F(Dnet, SstCardServesEveryCommandOnTheSimulatedBus)
{
    const ProgramResult result = Run(Session({"--card", "sst"}, CardSessionCommands(63)));
    CheckCardSession(result, 63);
    EXPECT_EQ(Lines(result.out).size(), 10u) << Describe(result);
    EXPECT_EQ(result.err, "");
}

TEST_F(Dnet, VoraCardTakesTheBusFromTheDriverName)
{
    // Node 20 exists only on the bus the option names, so every answer proves the card got it.
    const ProgramResult result =
        Run(Session({"--card", "vora", "--bus", "sim:node=20", "--trace"}, CardSessionCommands(20)));
    CheckCardSession(result, 20);
    EXPECT_EQ(Lines(result.out).size(), 10u) << "this card keeps no trace: " << Describe(result);
    EXPECT_NE(result.err.find("the VORA card keeps no CAN trace"), std::string::npos) << result.err;
}

TEST_F(Dnet, SystecCardTakesTheBusFromTheEnvironmentDnetSets)
{
    // One run only: this card pauses after it opens.
    const ProgramResult result =
        Run(Session({"--card", "systec", "--bus", "sim:node=10", "--trace"}, CardSessionCommands(10)));
    CheckCardSession(result, 10);
    const auto lines = Lines(result.out);
    ASSERT_GT(lines.size(), 10u) << Describe(result);
    // The trace follows the command output, with the raw request dnet sent among it.
    EXPECT_NE(std::find(lines.begin() + 10, lines.end(), "[454] 00 0E 01 01 01"), lines.end()) << Describe(result);
    for (std::size_t i = 10; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(R"(\[[0-9A-F]{3}\]( [0-9A-F]{2}){0,8})"))) << lines[i];
    }
}

TEST_F(Dnet, ExitStatusZeroForSuccess)
{
    const ProgramResult result = Run({"get", "63", "1", "1", "1"});
    EXPECT_EQ(result.status, 0) << Describe(result);
    EXPECT_EQ(Lines(result.out).size(), 1u);
    EXPECT_EQ(result.err, "");
}

TEST_F(Dnet, ExitStatusOneForAnErrorResponse)
{
    const ProgramResult result = Run({"get", "63", "1", "1", "99"});
    EXPECT_EQ(result.status, 1) << Describe(result);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(Lines(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("get 63 1 1 99: attribute not supported (0x14)"), std::string::npos) << result.err;
}

TEST_F(Dnet, ExitStatusTwoForAUsageError)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"get", "63", "1", "1"},
          {"--card", "pci", "scan"},
          {"-e", "set 63 5 1 9 XYZ"},
          {},
          {"--log", (Folder() / "no-such-folder" / "x.log").string(), "scan"},
          {"--bus", "nowhere", "get", "63", "1", "1", "1"}}) {
        const ProgramResult result = Run(args);
        EXPECT_EQ(result.status, 2) << Describe(result);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(Lines(result.err).size(), 1u) << result.err;
    }
}

TEST_F(Dnet, ExitStatusThreeWhenNothingAnswersOrTheDriverFails)
{
    // No node 12 on the bus.
    ProgramResult result = Run({"--timeout", "30", "get", "12", "1", "1", "1"});
    EXPECT_EQ(result.status, 3) << Describe(result);
    EXPECT_NE(result.err.find("node 12 did not open"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");

    // A bus that cannot be opened: the card does not open.
    result = Run({"--bus", "socketcan:nosuch0", "get", "63", "1", "1", "1"});
    EXPECT_EQ(result.status, 3) << Describe(result);
    EXPECT_NE(result.err.find("did not open (Init failed)"), std::string::npos) << result.err;

    // Nothing to receive.
    result = Run({"--timeout", "30", "recv"});
    EXPECT_EQ(result.status, 3) << Describe(result);
    EXPECT_NE(result.err.find("no frame received within 30 ms"), std::string::npos) << result.err;
}

TEST_F(Dnet, ALogItCannotWriteFailsTheRun)
{
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const ProgramResult result = Run({"--log", "/dev/full", "get", "63", "1", "1", "1"});
    EXPECT_EQ(result.status, 3) << Describe(result);
    EXPECT_EQ(Lines(result.out).size(), 1u) << "the command itself succeeded: " << Describe(result);
    const std::regex lost(R"(dnet: the log file '/dev/full' is incomplete: (\d+) of (\d+) frames were not written )"
                          R"(\(No space left on device\)\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(result.err, match, lost)) << result.err;
    EXPECT_EQ(match[1], match[2]);
    EXPECT_GE(std::stoi(match[1]), 2) << "the request and its answer at least";
}

TEST_F(Dnet, ASessionStopsAtTheFirstFailure)
{
    const ProgramResult result = Run(Session({}, {"get 63 1 1 1", "get 63 1 1 99", "get 63 1 1 7"}));
    EXPECT_EQ(result.status, 1) << Describe(result);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 1u) << Describe(result);
    EXPECT_NE(lines[0].find("vendor id"), std::string::npos);
    EXPECT_EQ(Lines(result.err).size(), 1u) << result.err;
}

TEST_F(Dnet, JsonOutputHasOneObjectPerCommand)
{
    const ProgramResult result =
        Run(Session({"--json", "--trace"}, {"open 63", "get 63 1 1 1", "get 63 1 1 7", "get 63 5 1 1",
                                            "set 63 1 1 1 00 00", "get 63 1 1 99"}));
    EXPECT_EQ(result.status, 1) << Describe(result);
    const auto objects = JsonLines(result.out);
    // Five commands (the session stops at the failing set) and the trace.
    ASSERT_EQ(objects.size(), 6u) << Describe(result);

    EXPECT_EQ(objects[0]["command"].string, "open");
    EXPECT_EQ(objects[0]["status"].string, "ok");
    EXPECT_EQ(objects[0]["exit"].number, 0);
    EXPECT_FALSE(objects[0]["poll"].boolean);

    const JsonValue& vendor = objects[1];
    EXPECT_EQ(vendor["command"].string, "get");
    EXPECT_EQ(vendor["node"].number, 63);
    EXPECT_EQ(vendor["attribute"].number, 1);
    ASSERT_EQ(vendor["data"].string.size(), 4u);
    const long vendorId = std::stol(vendor["data"].string.substr(2, 2) + vendor["data"].string.substr(0, 2), nullptr, 16);
    EXPECT_EQ(vendor["decoded"]["name"].string, "vendor id");
    EXPECT_EQ(vendor["decoded"]["value"].number, vendorId);

    const JsonValue& name = objects[2]["decoded"];
    EXPECT_EQ(name["name"].string, "product name");
    EXPECT_EQ(name["value"].type, JsonValue::Type::String);
    EXPECT_NE(name["value"].string.find("Brelin"), std::string::npos);
    // The decoded string is the short string in the data: length byte, then the characters.
    const std::string data = objects[2]["data"].string;
    EXPECT_EQ(std::stoul(data.substr(0, 2), nullptr, 16), name["value"].string.size());

    const JsonValue& state = objects[3]["decoded"];
    EXPECT_EQ(state["name"].string, "state");
    EXPECT_EQ(state["value"].number, 3);
    EXPECT_EQ(state["meaning"].string, "established");

    // The vendor id is not settable.
    const JsonValue& refused = objects[4];
    EXPECT_EQ(refused["command"].string, "set");
    EXPECT_EQ(refused["status"].string, "error-response");
    EXPECT_EQ(refused["exit"].number, 1);
    EXPECT_EQ(refused["generalCode"].number, 0x0E);
    EXPECT_TRUE(refused["error"].string.starts_with("attribute not settable (0x0E)")) << refused["error"].string;

    const JsonValue& trace = objects[5];
    EXPECT_EQ(trace["command"].string, "trace");
    EXPECT_TRUE(trace["available"].boolean);
    EXPECT_TRUE(trace["complete"].boolean);
    bool sawRequest = false;
    for (const JsonValue& frame : trace["frames"].array) {
        EXPECT_GT(frame["time"].number, 1e9);
        sawRequest = sawRequest || (frame["id"].number == 0x5FC && frame["data"].string == "000E010101");
    }
    EXPECT_TRUE(sawRequest) << result.out;
}

TEST_F(Dnet, TraceAndCandumpLog)
{
    const fs::path log = Folder() / "trace.log";
    const ProgramResult result = Run({"--trace", "--log", log.string(), "get", "63", "1", "1", "1"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto lines = Lines(result.out);
    ASSERT_GT(lines.size(), 2u);
    const std::vector<std::string> trace(lines.begin() + 1, lines.end());
    // The request and its answer are among the frames: the node's explicit request identifier is
    // 0x404 + 8 * 63, the answer's 0x403 + 8 * 63.
    EXPECT_NE(std::find(trace.begin(), trace.end(), "[5FC] 00 0E 01 01 01"), trace.end()) << result.out;
    EXPECT_NE(std::find(trace.begin(), trace.end(), "[5FB] 00 8E " + ValueHex(lines[0])), trace.end()) << result.out;

    const auto logged = Lines(ReadText(log));
    ASSERT_EQ(logged.size(), trace.size()) << "every traced frame is logged";
    const std::regex candump(R"(\((\d+)\.(\d{6})\) can0 ([0-9A-F]{3})#((?:[0-9A-F]{2}){0,8}))");
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    double previous = 0;
    for (std::size_t i = 0; i < logged.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(logged[i], match, candump)) << logged[i];
        // The same frame as the trace line, in the other notation.
        std::string spaced = "[" + match[3].str() + "]";
        for (std::size_t k = 0; k < match[4].str().size(); k += 2) {
            spaced += " " + match[4].str().substr(k, 2);
        }
        EXPECT_EQ(spaced, trace[i]);
        const double seconds = std::stod(match[1].str() + "." + match[2].str());
        EXPECT_NEAR(seconds, static_cast<double>(now), 60.0);
        EXPECT_GE(seconds, previous);
        previous = seconds;
    }
}

TEST_F(Dnet, CandumpLogReadsWithLog2asc)
{
    const char* candidates[] = {"/usr/bin/log2asc", "/usr/local/bin/log2asc"};
    std::string log2asc;
    for (const char* candidate : candidates) {
        if (fs::exists(candidate)) {
            log2asc = candidate;
        }
    }
    if (log2asc.empty()) {
        GTEST_SKIP() << "log2asc (can-utils) is not installed";
    }
    const fs::path log = Folder() / "log2asc.log";
    const fs::path asc = Folder() / "log2asc.asc";
    ASSERT_EQ(Run({"--log", log.string(), "get", "63", "1", "1", "1"}).status, 0);
    const ProgramResult converted = RunProgram({log2asc, "-I", log.string(), "-O", asc.string(), "can0"});
    ASSERT_EQ(converted.status, 0) << Describe(converted);
    const std::string text = ReadText(asc);
    EXPECT_NE(text.find("5FC             Rx   d 5 00 0E 01 01 01"), std::string::npos) << text;
    EXPECT_NE(text.find("5FB             Rx   d 4 00 8E"), std::string::npos) << text;
}

TEST_F(Dnet, ScanFindsTheNodesOnTheBus)
{
    ProgramResult result = Run({"scan", "--wait", "10"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 1u) << Describe(result);
    EXPECT_TRUE(lines[0].starts_with("node 63: vendor id ")) << lines[0];

    result = Run({"--json", "--bus", "sim:node=5", "--master", "7", "scan", "--wait", "10"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto objects = JsonLines(result.out);
    ASSERT_EQ(objects.size(), 1u);
    const JsonValue& nodes = objects[0]["nodes"];
    ASSERT_EQ(nodes.array.size(), 1u) << result.out;
    EXPECT_EQ(nodes.array[0]["node"].number, 5);
    EXPECT_EQ(nodes.array[0]["vendorId"].type, JsonValue::Type::Number);
    EXPECT_NE(nodes.array[0]["productName"].string.find("Brelin"), std::string::npos);

    // The master's own MAC ID is not scanned, so a node there is not found.
    result = Run({"--json", "--bus", "sim:node=5", "--master", "5", "scan", "--wait", "10"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    EXPECT_EQ(JsonLines(result.out).at(0)["nodes"].array.size(), 0u) << result.out;
}

TEST_F(Dnet, ScanLogsEveryFrameItExchanged)
{
    // Far more frames than the card's trace holds at once: dnet moves it out as the browse goes.
    const fs::path log = Folder() / "scan.log";
    const ProgramResult result = Run({"--log", log.string(), "scan", "--wait", "10"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    std::size_t requests = 0;
    std::size_t releases = 0;
    for (const std::string& line : Lines(ReadText(log))) {
        requests += std::regex_search(line, std::regex(R"( can0 [4-5][0-9A-F][6E]#004B03010100$)")) ? 1 : 0;
        releases += line.ends_with(" can0 5FE#004C030101") ? 1 : 0;
    }
    EXPECT_EQ(requests, 63u);
    EXPECT_EQ(releases, 1u);
}

TEST_F(DnetOnTcp, ScanListsFourNodesAndLeavesAHeldOneToItsMaster)
{
    std::vector<std::unique_ptr<BackgroundProgram>> simulators;
    // Node 42 last: a device is off line for its first half second, so once 42 answers, all are on.
    for (const int node : {10, 21, 63, 42}) {
        const std::string log = (Folder() / ("four-" + std::to_string(node) + ".log")).string();
        simulators.push_back(std::make_unique<BackgroundProgram>(
            std::vector<std::string>{kBrelinsim, "--bus", bus, "--node", std::to_string(node), "--no-mac-check"}, log));
        ASSERT_TRUE(simulators.back()->Started());
        // The first one is the bus's hub; each announces itself once it is on the bus.
        ASSERT_TRUE(WaitForText(log, "brelinsim: MAC ID " + std::to_string(node) + " on", std::chrono::seconds(10)))
            << ReadText(log);
    }

    // A second master, MAC ID 7, allocates node 42's explicit connection with a raw frame: on
    // node 42's unconnected request identifier 0x406 + 8 * 42, answered on 0x403 + 8 * 42.
    const std::vector<std::string> secondMaster{"--bus", bus, "--master", "7"};
    const std::vector<std::string> allocate42{"send 556 07 4B 03 01 01 07", "recv"};
    ProgramResult result;
    for (int attempt = 0; attempt < 30 && result.status != 0; ++attempt) {
        auto options = secondMaster;
        options.insert(options.end(), {"--timeout", "100"});
        result = Run(Session(options, allocate42));
    }
    ASSERT_EQ(result.status, 0) << Describe(result);
    ASSERT_EQ(Lines(result.out).at(1), "553  [3]  07 CB 00") << Describe(result);

    result = Run({"--json", "--bus", bus, "scan"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto objects = JsonLines(result.out);
    ASSERT_EQ(objects.size(), 1u) << Describe(result);
    const auto& nodes = objects[0]["nodes"].array;
    ASSERT_EQ(nodes.size(), 4u) << result.out;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const JsonValue& node = nodes[i];
        SCOPED_TRACE(node["node"].number);
        EXPECT_EQ(node["node"].number, (std::vector<double>{10, 21, 42, 63})[i]);
        if (node["node"].number == 42) {
            EXPECT_EQ(node["access"].string, "held");
            EXPECT_EQ(node["allocationGeneralCode"].number, 0x0C);
            EXPECT_EQ(node["vendorId"].type, JsonValue::Type::Null);
            EXPECT_EQ(node["release"].string, "not-ours");
            continue;
        }
        EXPECT_EQ(node["access"].string, "allocated");
        EXPECT_EQ(node["vendorId"].number, 1207);
        EXPECT_EQ(node["deviceTypeName"].string, "communications adapter");
        EXPECT_EQ(node["productName"].string, "Brelin GW");
        EXPECT_EQ(node["stateName"].string, "operational");
        EXPECT_EQ(node["release"].string, "released");
    }

    // The second master still holds node 42: its own Allocate is "already in requested mode/state".
    result = Run(Session(secondMaster, allocate42));
    ASSERT_EQ(result.status, 0) << Describe(result);
    EXPECT_EQ(Lines(result.out).at(1), "553  [4]  07 94 0B 02") << Describe(result);
    // And the scan gave back what it took: node 10 is free for the second master.
    result = Run(Session(secondMaster, {"send 456 07 4B 03 01 01 07", "recv"}));
    ASSERT_EQ(result.status, 0) << Describe(result);
    EXPECT_EQ(Lines(result.out).at(1), "453  [3]  07 CB 00") << Describe(result);
    for (const auto& simulator : simulators) {
        EXPECT_TRUE(simulator->Running()) << "a brelinsim ended early";
    }
}

TEST_F(Dnet, BenchOnAWireTimedBusComparesWithTheWireLimit)
{
    const ProgramResult result =
        Run({"--json", "--bus", "sim:timing=wire", "--rate", "500", "bench", "63", "--count", "40"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto objects = JsonLines(result.out);
    ASSERT_EQ(objects.size(), 1u);
    const JsonValue& bench = objects[0];
    EXPECT_EQ(bench["count"].number, 40);
    EXPECT_TRUE(bench["wireTimed"].boolean);
    const double answerBytes = bench["answerBytes"].number;
    EXPECT_EQ(answerBytes, 4); // header, service, two bytes of vendor id
    // 55 + 10n bits per frame: request of 5 bytes, answer of 4.
    EXPECT_EQ(bench["bitsPerExchange"].number, 105 + 95);
    EXPECT_NEAR(bench["wireLimit"].number, 500000.0 / 200, 0.01);
    EXPECT_GT(bench["perSecond"].number, 0);
    // The bus delivers no frame before its time on the wire, so the wire limit is never beaten.
    EXPECT_GT(bench["ratio"].number, 0);
    EXPECT_LE(bench["ratio"].number, 1.0);
    EXPECT_NEAR(bench["ratio"].number, bench["perSecond"].number / bench["wireLimit"].number, 1e-3);
}

TEST_F(Dnet, BenchOnAnUntimedBusStatesNoLimit)
{
    const ProgramResult result = Run({"bench", "63", "--count", "20"});
    ASSERT_EQ(result.status, 0) << Describe(result);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 1u) << Describe(result);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(node 63: 20 Get_Attribute_Single exchanges in \d+\.\d{3} s, \d+ per second)")))
        << lines[0];
}

TEST_F(DnetOnTcp, BusServedByBrelinsim)
{
    // On line at once, without the device's two-second duplicate MAC ID check.
    BackgroundProgram simulator({kBrelinsim, "--bus", bus, "--node", "63", "--no-mac-check"},
                                (Folder() / "brelinsim.log").string());
    ASSERT_TRUE(simulator.Started());
    ASSERT_TRUE(WaitForListener(port, std::chrono::seconds(10)))
        << "brelinsim does not listen on " << port << ": " << ReadText(Folder() / "brelinsim.log");

    // Every card kind opens on the shared bus and talks to the one device, in turn.
    for (const std::string card : {"sst", "vora", "systec"}) {
        SCOPED_TRACE(card);
        const fs::path log = Folder() / ("tcp-" + card + ".log");
        std::vector<std::string> commands{"open 63 poll", "get 63 1 1 7", "set 63 5 1 9 10 27", "get 63 5 1 9",
                                          "poll 63"};
        if (card == "sst") {
            commands.push_back("scan");
        }
        const ProgramResult result = Run(Session({"--json", "--card", card, "--bus", bus, "--log", log.string()},
                                                 commands));
        ASSERT_EQ(result.status, 0) << Describe(result) << ReadText(Folder() / "brelinsim.log");
        const auto objects = JsonLines(result.out);
        ASSERT_EQ(objects.size(), commands.size());
        EXPECT_NE(objects[1]["decoded"]["value"].string.find("Brelin"), std::string::npos);
        EXPECT_EQ(objects[3]["data"].string, "1027");
        EXPECT_EQ(objects[3]["decoded"]["value"].number, 10000);
        EXPECT_EQ(objects[4]["rxId"].number, 0x3C0 + 63);
        if (card == "sst") {
            ASSERT_EQ(objects[5]["nodes"].array.size(), 1u) << result.out;
            EXPECT_EQ(objects[5]["nodes"].array[0]["node"].number, 63);
        }
        if (card != "vora") { // the CAN712 card keeps no trace to log
            // The log names the bus's channel.
            const auto logged = Lines(ReadText(log));
            ASSERT_FALSE(logged.empty());
            EXPECT_NE(logged[0].find(") can0 "), std::string::npos) << logged[0];
        }
    }
    EXPECT_TRUE(simulator.Running()) << "brelinsim ended early";
}

} // namespace
} // namespace orv::test
