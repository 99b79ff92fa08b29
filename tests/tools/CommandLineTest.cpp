// dnet's command line: options, commands, numbers and hexadecimal bytes, and the usage errors
// that must stop a run before the driver is touched.

#include "tools/dnet/CommandLine.h"
#include "tools/dnet/CommandSyntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::dnet {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<Options> Parse(const std::vector<std::string>& args, std::string* errorOut = nullptr)
{
    std::string error;
    auto options = ParseCommandLine(args, error);
    if (errorOut != nullptr) {
        *errorOut = error;
    }
    EXPECT_EQ(options.has_value(), error.empty()) << error;
    return options;
}

std::optional<Command> One(const std::string& text, std::string* errorOut = nullptr)
{
    std::string error;
    auto command = ParseCommand(SplitWords(text), error);
    if (errorOut != nullptr) {
        *errorOut = error;
    }
    return command;
}

TEST(DnetHexBytes, AcceptsPairsGroupsAndSingleDigits)
{
    EXPECT_EQ(ParseHexBytes("0A 0b ff"), (Bytes{0x0A, 0x0B, 0xFF}));
    EXPECT_EQ(ParseHexBytes("000E0101"), (Bytes{0x00, 0x0E, 0x01, 0x01}));
    EXPECT_EQ(ParseHexBytes("0a:0b.0c,0d-0e"), (Bytes{0x0A, 0x0B, 0x0C, 0x0D, 0x0E}));
    EXPECT_EQ(ParseHexBytes("1 2 A"), (Bytes{0x01, 0x02, 0x0A}));
    EXPECT_EQ(ParseHexBytes("E803 1"), (Bytes{0xE8, 0x03, 0x01}));
    EXPECT_EQ(ParseHexBytes(""), Bytes{});
    EXPECT_EQ(ParseHexBytes("  "), Bytes{});
}

TEST(DnetHexBytes, RefusesOddGroupsAndOtherCharacters)
{
    EXPECT_FALSE(ParseHexBytes("ABC"));
    EXPECT_FALSE(ParseHexBytes("0G"));
    EXPECT_FALSE(ParseHexBytes("0x12"));
    EXPECT_FALSE(ParseHexBytes("12 3 456"));
}

TEST(DnetNumbers, DecimalAndHexadecimalWithinRange)
{
    EXPECT_EQ(ParseNumber("63", 0, 63), 63);
    EXPECT_EQ(ParseNumber("0x3F", 0, 63), 63);
    EXPECT_EQ(ParseNumber("0X0a", 0, 63), 10);
    EXPECT_FALSE(ParseNumber("64", 0, 63));
    EXPECT_FALSE(ParseNumber("-1", 0, 63));
    EXPECT_FALSE(ParseNumber("", 0, 63));
    EXPECT_FALSE(ParseNumber("0x", 0, 63));
    EXPECT_FALSE(ParseNumber("12a", 0, 63));
    EXPECT_FALSE(ParseNumber("99999999999999999999", 0, 63));
}

TEST(DnetOptions, DefaultsAreTheSstCardAtMasterZeroAnd125k)
{
    const auto options = Parse({"get", "63", "1", "1", "1"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->card, CardKind::Sst);
    EXPECT_EQ(options->master, 0);
    EXPECT_EQ(options->rateKbit, 125);
    EXPECT_FALSE(options->timeoutMs);
    EXPECT_TRUE(options->bus.empty());
    EXPECT_FALSE(options->trace || options->json);
    ASSERT_EQ(options->commands.size(), 1u);
    EXPECT_EQ(options->commands[0].kind, Command::Kind::Get);
    EXPECT_EQ(options->commands[0].text, "get 63 1 1 1");
}

TEST(DnetOptions, EveryOptionIsTaken)
{
    const auto options = Parse({"--card", "systec", "--bus", "tcp://127.0.0.1:4000/can1", "--master", "5", "--rate",
                                "500", "--timeout", "250", "--trace", "--log", "out.log", "--json", "scan"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->card, CardKind::Systec);
    EXPECT_EQ(options->bus, "tcp://127.0.0.1:4000/can1");
    EXPECT_EQ(options->master, 5);
    EXPECT_EQ(options->rateKbit, 500);
    EXPECT_EQ(options->timeoutMs, 250u);
    EXPECT_TRUE(options->trace);
    EXPECT_EQ(options->logFile, "out.log");
    EXPECT_TRUE(options->json);
    EXPECT_EQ(options->commands.at(0).kind, Command::Kind::Scan);
}

TEST(DnetOptions, ExpressionsRunInTheOrderGiven)
{
    const auto options = Parse({"--card", "vora", "-e", "open 63 poll", "-e", "get 63 1 1 7", "-e", "close 63"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->card, CardKind::Vora);
    ASSERT_EQ(options->commands.size(), 3u);
    EXPECT_EQ(options->commands[0].kind, Command::Kind::Open);
    EXPECT_TRUE(options->commands[0].withPoll);
    EXPECT_EQ(options->commands[1].attribute, 7);
    EXPECT_EQ(options->commands[2].kind, Command::Kind::Close);
}

TEST(DnetOptions, UsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {},                                        // no command
        {"--json"},                                // options only
        {"--card", "pci", "scan"},                 // unknown card
        {"--rate", "300", "scan"},                 // unknown rate
        {"--master", "64", "scan"},                // MAC ID out of range
        {"--timeout", "0", "scan"},                // no time-out of zero
        {"--timeout"},                             // value missing
        {"--bus", std::string(64, 's'), "scan"},   // longer than the driver name field holds
        {"--log", "", "scan"},                     // no file name
        {"--verbose", "scan"},                     // unknown option
        {"-e", "scan", "get", "63", "1", "1", "1"}, // a command and -e together
        {"-e", "get 63 1 1"},                      // bad -e command
        {"frobnicate"},                            // unknown command
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_FALSE(Parse(args, &error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
}

TEST(DnetOptions, HelpNeedsNoCommand)
{
    const auto options = Parse({"--help"});
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->help);
    EXPECT_NE(UsageText().find("bench NODE [--count N]"), std::string::npos);
}

TEST(DnetCommands, AddressesAreRangeChecked)
{
    const auto get = One("get 0x3F 5 2 0x08");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->node, 63);
    EXPECT_EQ(get->classId, 5);
    EXPECT_EQ(get->instance, 2);
    EXPECT_EQ(get->attribute, 8);

    std::string error;
    EXPECT_FALSE(One("get 64 1 1 1", &error));
    EXPECT_NE(error.find("node"), std::string::npos) << error;
    EXPECT_FALSE(One("get 63 256 1 1", &error)); // the request carries one byte of class
    EXPECT_NE(error.find("class"), std::string::npos) << error;
    EXPECT_FALSE(One("get 63 1 1 1 1", &error));
    EXPECT_FALSE(One("close", &error));
    EXPECT_FALSE(One("open 63 explicit", &error));
}

TEST(DnetCommands, SetAndServiceData)
{
    const auto set = One("set 63 5 1 9 E8 03");
    ASSERT_TRUE(set);
    EXPECT_EQ(set->data, (Bytes{0xE8, 0x03}));

    EXPECT_FALSE(One("set 63 5 1 9"));                          // the value is required
    EXPECT_FALSE(One("set 63 5 1 9 " + std::string(258, '0'))); // 129 bytes: more than a request holds
    EXPECT_TRUE(One("set 63 5 1 9 " + std::string(256, '0')));  // 128 bytes

    const auto service = One("service 63 1 1 0x0E");
    ASSERT_TRUE(service);
    EXPECT_EQ(service->service, 0x0E);
    EXPECT_TRUE(service->data.empty());
    EXPECT_FALSE(One("service 63 1 1 0x8E")); // a reply code, not a request
}

TEST(DnetCommands, PollDataIsOptional)
{
    const auto bare = One("poll 63");
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->hasData);
    const auto given = One("poll 63 41 42 43");
    ASSERT_TRUE(given);
    EXPECT_TRUE(given->hasData);
    EXPECT_EQ(given->data, (Bytes{0x41, 0x42, 0x43}));
    EXPECT_FALSE(One("poll 63 " + std::string(2 * 449, 'A')));
}

TEST(DnetCommands, SendTakesTheIdentifierInHexInEitherForm)
{
    const auto spaced = One("send 5FE 00 4B 03 01 01 00");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->canId, 0x5FE);
    EXPECT_EQ(spaced->data, (Bytes{0x00, 0x4B, 0x03, 0x01, 0x01, 0x00}));

    const auto cansend = One("send 5fe#004B03010100");
    ASSERT_TRUE(cansend);
    EXPECT_EQ(cansend->canId, 0x5FE);
    EXPECT_EQ(cansend->data, spaced->data);

    const auto empty = One("send 0x123#");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->canId, 0x123);
    EXPECT_TRUE(empty->data.empty());

    EXPECT_FALSE(One("send 800 00"));                        // beyond 11 bits
    EXPECT_FALSE(One("send 123 00 01 02 03 04 05 06 07 08")); // nine bytes
    EXPECT_FALSE(One("send 123"));                           // no data given at all
    EXPECT_FALSE(One("send #00"));
}

TEST(DnetCommands, BenchAndScanOptions)
{
    const auto bench = One("bench 63 --count 50");
    ASSERT_TRUE(bench);
    EXPECT_EQ(bench->count, 50);
    EXPECT_EQ(One("bench 63")->count, 1000);
    EXPECT_FALSE(One("bench 63 --count 0"));
    EXPECT_FALSE(One("bench 63 50"));

    EXPECT_EQ(One("scan")->waitMs, 50);
    EXPECT_EQ(One("scan --wait 10")->waitMs, 10);
    EXPECT_FALSE(One("scan --wait"));
    EXPECT_FALSE(One("scan 10"));
}

TEST(DnetCommands, UsageErrorsSayWhatIsWrong)
{
    const std::pair<std::string, std::string> rows[] = {
        {"", "empty command"},
        {"frobnicate", "unknown command 'frobnicate'"},
        {"get 63 1 1", "usage: get NODE CLASS INSTANCE ATTRIBUTE"},
        {"get 64 1 1 1", "get: bad node '64' (expected 0 to 63)"},
        {"get 63 256 1 1", "get: bad class '256' (expected 0 to 255)"},
        {"get 63 1 x 1", "get: bad instance 'x' (expected 0 to 255)"},
        {"open 63 explicit", "usage: open NODE [poll]"},
        {"open 99 explicit", "open: bad node '99' (expected 0 to 63)"},
        {"set 63 5 1 9 XYZ", "set: bad hexadecimal bytes 'XYZ'"},
        {"set 63 5 1 9 " + std::string(258, '0'), "set: too many bytes: 129 (at most 128)"},
        {"service 63 1 1 0x8E", "service: bad service '0x8E' (expected 0 to 127)"},
        {"poll 63 ABC", "poll: bad hexadecimal bytes 'ABC'"},
        {"scan 10", "usage: scan [--wait MS]"},
        {"scan --wait", "usage: scan [--wait MS]"},
        {"scan --wait 0", "scan: bad wait '0' (expected 1 to 10000)"},
        {"bench 63 --count 0", "bench: bad count '0' (expected 1 to 1000000)"},
        {"bench 63 --wait 5", "usage: bench NODE [--count N]"},
        {"send 123", "usage: send ID HEXBYTES"},
        {"send 800 00", "send: bad identifier '800' (expected hexadecimal 0 to 7FF)"},
        {"send #00", "send: bad identifier '#00' (expected hexadecimal 0 to 7FF)"},
        {"send 123#0G 01", "send: bad hexadecimal bytes '0G 01'"},
        {"send 123# 00 01 02 03 04 05 06 07 08", "send: too many bytes: 9 (at most 8)"},
        {"recv 1", "usage: recv"},
    };
    for (const auto& [text, message] : rows) {
        std::string error;
        EXPECT_FALSE(One(text, &error)) << text;
        EXPECT_EQ(error, message) << text;
    }
}

TEST(DnetOptions, UsageErrorsSayWhatIsWrong)
{
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{}, "no command given"},
        {{"--card", "pci", "scan"}, "bad card 'pci' (expected vora, sst or systec)"},
        {{"--timeout"}, "option --timeout needs a value"},
        {{"--timeout", "0", "scan"}, "bad time-out '0' (expected 1 to 600000 ms)"},
        {{"--rate", "300", "scan"}, "bad rate '300' (expected 125, 250 or 500)"},
        {{"--master", "64", "scan"}, "bad master MAC ID '64' (expected 0 to 63)"},
        {{"--log", "", "scan"}, "--log needs a file name"},
        {{"--verbose", "scan"}, "unknown option '--verbose'"},
        {{"-e", "scan", "get", "63", "1", "1", "1"}, "give either a command or -e options, not both"},
        {{"-e", "get 63 1 1"}, "usage: get NODE CLASS INSTANCE ATTRIBUTE"},
    };
    for (const auto& [args, message] : rows) {
        std::string error;
        EXPECT_FALSE(Parse(args, &error)) << ::testing::PrintToString(args);
        EXPECT_EQ(error, message);
    }
}

TEST(DnetOptions, TheBusIsCheckedBeforeTheDriverIsTouched)
{
    std::string error;
    EXPECT_FALSE(Parse({"--bus", "nowhere", "scan"}, &error));
    EXPECT_TRUE(error.starts_with("unknown bus 'nowhere': expected sim")) << error;
    EXPECT_FALSE(Parse({"--bus", "tcp://host:99999/can0", "scan"}, &error));
    EXPECT_FALSE(Parse({"--bus", "sim:node=64", "scan"}, &error));
    for (const char* bus : {"sim", "sim:node=5,timing=wire", "tcp://127.0.0.1:4000/can1", "socketcan:can0"}) {
        const auto options = Parse({"--bus", bus, "scan"});
        ASSERT_TRUE(options) << bus;
        EXPECT_EQ(options->bus, bus);
    }
}

TEST(DnetSyntax, EveryCommandAndOptionIsInTheUsage)
{
    const std::string usage = UsageText();
    for (const CommandSyntax& command : CommandTable()) {
        EXPECT_NE(usage.find("\n  " + std::string(command.usage) + " "), std::string::npos) << command.name;
        EXPECT_EQ(CommandName(command.kind), command.name);
    }
    for (const char* option : {"--card vora|sst|systec", "--bus BUSSTRING", "--master MAC", "--rate 125|250|500",
                               "--timeout MS", "--trace", "--log FILE", "--json"}) {
        EXPECT_NE(usage.find("\n  " + std::string(option) + " "), std::string::npos) << option;
    }
    // A help text of two lines goes on under its first.
    EXPECT_NE(usage.find("requests\n" + std::string(45, ' ') + "to all MAC IDs"), std::string::npos) << usage;
}

TEST(DnetSyntax, WordCountsFollowTheArguments)
{
    const std::pair<std::string_view, WordCount> rows[] = {
        {"open", {2, 3}}, {"close", {2, 2}}, {"get", {5, 5}}, {"set", {6, 0}}, {"service", {5, 0}},
        {"poll", {2, 0}}, {"scan", {1, 3}},  {"send", {2, 0}}, {"recv", {1, 1}}, {"bench", {2, 4}},
    };
    for (const auto& [name, count] : rows) {
        const CommandSyntax* syntax = nullptr;
        for (const CommandSyntax& row : CommandTable()) {
            syntax = row.name == name ? &row : syntax;
        }
        ASSERT_NE(syntax, nullptr) << name;
        EXPECT_EQ(CountWords(*syntax).least, count.least) << name;
        EXPECT_EQ(CountWords(*syntax).most, count.most) << name;
    }
}

TEST(DnetSyntax, AnotherTableParsesItsOwnCommands)
{
    // The parser knows no command of its own: a table with a file argument and optional options,
    // as a command reading a log or listening on a bus would have.
    static constexpr Argument kRead[] = {TextArgument("file", &Command::file),
                                         OptionArgument("--limit", "limit", 1, 99, &Command::count)};
    static constexpr Argument kListen[] = {TextOptionArgument("--from", "source", &Command::file)};
    static constexpr CommandSyntax kTable[] = {{"read", Command::Kind::Recv, kRead, "read FILE [--limit N]", "x"},
                                               {"listen", Command::Kind::Scan, kListen, "listen [--from X]", "y"}};
    std::string error;
    const auto read = ParseCommand({"read", "bus.log", "--limit", "7"}, kTable, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->kind, Command::Kind::Recv);
    EXPECT_EQ(read->file, "bus.log");
    EXPECT_EQ(read->count, 7);
    EXPECT_EQ(read->text, "read bus.log --limit 7");
    EXPECT_FALSE(ParseCommand({"read"}, kTable, error));
    EXPECT_EQ(error, "usage: read FILE [--limit N]");
    EXPECT_FALSE(ParseCommand({"read", "a", "--limit", "100"}, kTable, error));
    EXPECT_EQ(error, "read: bad limit '100' (expected 1 to 99)");
    const auto listen = ParseCommand({"listen", "--from", "tcp://h/can1"}, kTable, error);
    ASSERT_TRUE(listen) << error;
    EXPECT_EQ(listen->file, "tcp://h/can1");
    EXPECT_TRUE(ParseCommand({"listen"}, kTable, error));
    EXPECT_FALSE(ParseCommand({"listen", "--from"}, kTable, error));
    EXPECT_EQ(error, "usage: listen [--from X]");
    EXPECT_FALSE(ParseCommand({"get", "63", "1", "1", "1"}, kTable, error));
    EXPECT_EQ(error, "unknown command 'get'");
}

} // namespace
} // namespace orv::dnet
