// dnet's command line: options, commands, numbers and hexadecimal bytes, and the usage errors
// that must stop a run before the driver is touched.

#include "tools/dnet/CommandLine.h"

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

TEST(DnetHexBytes, TextIsUpperCasePairs)
{
    const std::uint8_t bytes[] = {0x00, 0xAB, 0x0F};
    EXPECT_EQ(HexText(bytes, 3), "00 AB 0F");
    EXPECT_EQ(HexText(bytes, 3, ""), "00AB0F");
    EXPECT_EQ(HexText(bytes, 0), "");
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

} // namespace
} // namespace orv::dnet
