#pragma once
// dnet's command line: the global options, and the commands (one given directly, or several as
// -e "COMMAND ARGS" in order). Everything is checked here, before the driver is touched, so a
// usage error never leaves a half-run session behind. The commands' syntax is data
// (CommandSyntax.h); the parser here walks it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orv::dnet {

struct CommandSyntax;

enum class CardKind { Vora = 0, Sst = 1, Systec = 2 };

// scan: how long answers may take once the wire has carried the requests.
inline constexpr int kDefaultScanWaitMs = 50;

struct Command {
    enum class Kind { Open, Close, Get, Set, Service, Poll, Scan, Send, Recv, Bench, Monitor, Decode, Eds, Params, Param };

    Kind kind = Kind::Scan;
    std::string text; // the command as typed, for messages

    int node = -1;
    bool withPoll = false; // open NODE poll
    int classId = 0;
    int instance = 0;
    int attribute = 0; // get, set
    int service = 0;
    std::vector<std::uint8_t> data; // set, service, poll, send
    bool hasData = false;           // a poll without bytes differs from one with bytes
    int canId = 0;                  // send
    int count = 1000;               // bench
    int waitMs = kDefaultScanWaitMs; // scan: the window for the answers after the wire time
    std::string file;               // a command that reads a file
    std::string bus;                // monitor: the bus to watch (else the global --bus)
    // params, param: the EDS to use (else the EDS library's); param: the parameter and its value.
    std::string edsFile;
    std::string parameter; // its number or its name
    std::string value;     // as typed
};

struct Options {
    CardKind card = CardKind::Sst;
    std::string bus;                        // empty: the cards' own default ($ORV_CANBUS, else sim)
    int master = 0;                         // the master's MAC ID
    int rateKbit = 125;                     // 125, 250 or 500
    std::optional<std::uint32_t> timeoutMs; // --timeout, handed to SetTimeout
    bool trace = false;
    std::string logFile; // --log
    bool json = false;
    bool help = false;
    std::vector<Command> commands;
};

// Parses argv[1..]. On a usage error returns nullopt and sets `error` to one line.
std::optional<Options> ParseCommandLine(const std::vector<std::string>& args, std::string& error);

// Parses one command from its words by dnet's command table. On a usage error returns nullopt and
// sets `error`.
std::optional<Command> ParseCommand(const std::vector<std::string>& words, std::string& error);
// The same by the rows of `table`.
std::optional<Command> ParseCommand(const std::vector<std::string>& words, std::span<const CommandSyntax> table,
                                    std::string& error);

// The usage text printed by --help.
std::string UsageText();

// Splits -e text at blanks.
std::vector<std::string> SplitWords(std::string_view text);

// A number in decimal or, with 0x, hexadecimal, within [low, high].
std::optional<long> ParseNumber(std::string_view text, long low, long high);

// Hexadecimal bytes. Groups separated by blanks, ':', '.', ',' or '-' each hold pairs of digits
// ("0A0B 0C"); a group of a single digit is one byte ("1 2 3"). Empty text is no bytes.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);

// Limits of the commands' data.
inline constexpr std::size_t kMaxRequestData = 128; // set, service
inline constexpr std::size_t kMaxPollData = 448;    // poll command bytes
inline constexpr std::size_t kMaxFrameData = 8;     // send
inline constexpr int kMaxBenchCount = 1000000;
inline constexpr int kMaxScanWaitMs = 10000;

} // namespace orv::dnet
