#include "tools/dnet/CommandLine.h"

#include <cerrno>
#include <cstdlib>

namespace orv::dnet {
namespace {

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ':' || c == '.' || c == ',' || c == '-';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string Join(const std::vector<std::string>& words, std::size_t from)
{
    std::string text;
    for (std::size_t i = from; i < words.size(); ++i) {
        if (!text.empty()) {
            text += ' ';
        }
        text += words[i];
    }
    return text;
}

// Reads words[index] as a number in [low, high] into `value`; on failure sets `error`.
bool Number(const std::vector<std::string>& words, std::size_t index, const char* what, long low, long high,
            int& value, std::string& error)
{
    const auto number = ParseNumber(words[index], low, high);
    if (!number) {
        error = std::string("bad ") + what + " '" + words[index] + "' (expected " + std::to_string(low) + " to " +
                std::to_string(high) + ")";
        return false;
    }
    value = static_cast<int>(*number);
    return true;
}

bool Bytes(const std::vector<std::string>& words, std::size_t from, std::size_t limit, Command& command,
           std::string& error)
{
    const std::string text = Join(words, from);
    const auto bytes = ParseHexBytes(text);
    if (!bytes) {
        error = "bad hexadecimal bytes '" + text + "'";
        return false;
    }
    if (bytes->size() > limit) {
        error = "too many bytes: " + std::to_string(bytes->size()) + " (at most " + std::to_string(limit) + ")";
        return false;
    }
    command.data = *bytes;
    command.hasData = from < words.size();
    return true;
}

struct Syntax {
    std::string_view name;
    Command::Kind kind;
    std::size_t minWords; // including the name
    std::size_t maxWords; // 0: any number
    std::string_view usage;
};

constexpr Syntax kSyntax[] = {
    {"open", Command::Kind::Open, 2, 3, "open NODE [poll]"},
    {"close", Command::Kind::Close, 2, 2, "close NODE"},
    {"get", Command::Kind::Get, 5, 5, "get NODE CLASS INSTANCE ATTRIBUTE"},
    {"set", Command::Kind::Set, 6, 0, "set NODE CLASS INSTANCE ATTRIBUTE HEXBYTES"},
    {"service", Command::Kind::Service, 5, 0, "service NODE CLASS INSTANCE SERVICE [HEXBYTES]"},
    {"poll", Command::Kind::Poll, 2, 0, "poll NODE [HEXBYTES]"},
    {"scan", Command::Kind::Scan, 1, 3, "scan [--wait MS]"},
    {"send", Command::Kind::Send, 2, 0, "send ID HEXBYTES"},
    {"recv", Command::Kind::Recv, 1, 1, "recv"},
    {"bench", Command::Kind::Bench, 2, 4, "bench NODE [--count N]"},
    {"monitor", Command::Kind::Monitor, 1, 4, "monitor [--bus BUSSTRING] [--json]"},
    {"decode", Command::Kind::Decode, 2, 3, "decode FILE [--json]"},
};

} // namespace

std::vector<std::string> SplitWords(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

std::optional<long> ParseNumber(std::string_view text, long low, long high)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    long value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !IsSeparator(text[end])) {
            ++end;
        }
        const std::string_view group = text.substr(i, end - i);
        if (group.size() > 1 && group.size() % 2 != 0) {
            return std::nullopt;
        }
        for (std::size_t k = 0; k < group.size(); k += 2) {
            const int high = group.size() == 1 ? 0 : HexDigit(group[k]);
            const int low = HexDigit(group[group.size() == 1 ? k : k + 1]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
        i = end;
    }
    return bytes;
}

std::string HexText(const std::uint8_t* bytes, std::size_t count, std::string_view separator)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            text += separator;
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::optional<Command> ParseCommand(const std::vector<std::string>& words, std::string& error)
{
    if (words.empty()) {
        error = "empty command";
        return std::nullopt;
    }
    const Syntax* syntax = nullptr;
    for (const Syntax& s : kSyntax) {
        if (words[0] == s.name) {
            syntax = &s;
        }
    }
    if (syntax == nullptr) {
        error = "unknown command '" + words[0] + "'";
        return std::nullopt;
    }
    if (words.size() < syntax->minWords || (syntax->maxWords != 0 && words.size() > syntax->maxWords)) {
        error = "usage: " + std::string(syntax->usage);
        return std::nullopt;
    }

    Command command;
    command.kind = syntax->kind;
    command.text = Join(words, 0);
    const auto prefixed = [&](bool ok) {
        if (!ok) {
            error = words[0] + ": " + error;
        }
        return ok;
    };
    const auto node = [&] { return prefixed(Number(words, 1, "node", 0, 63, command.node, error)); };
    const auto path = [&] {
        return prefixed(Number(words, 2, "class", 0, 255, command.classId, error) &&
                        Number(words, 3, "instance", 0, 255, command.instance, error));
    };

    switch (command.kind) {
    case Command::Kind::Open:
        if (!node()) {
            return std::nullopt;
        }
        if (words.size() == 3) {
            if (words[2] != "poll") {
                error = "usage: " + std::string(syntax->usage);
                return std::nullopt;
            }
            command.withPoll = true;
        }
        break;
    case Command::Kind::Close:
        if (!node()) {
            return std::nullopt;
        }
        break;
    case Command::Kind::Get:
    case Command::Kind::Set:
        if (!node() || !path() || !prefixed(Number(words, 4, "attribute", 0, 255, command.attribute, error))) {
            return std::nullopt;
        }
        if (command.kind == Command::Kind::Set && !prefixed(Bytes(words, 5, kMaxRequestData, command, error))) {
            return std::nullopt;
        }
        break;
    case Command::Kind::Service:
        // Bit 7 of a service code marks a reply; a request never carries it.
        if (!node() || !path() || !prefixed(Number(words, 4, "service", 0, 0x7F, command.service, error)) ||
            !prefixed(Bytes(words, 5, kMaxRequestData, command, error))) {
            return std::nullopt;
        }
        break;
    case Command::Kind::Poll:
        if (!node() || !prefixed(Bytes(words, 2, kMaxPollData, command, error))) {
            return std::nullopt;
        }
        break;
    case Command::Kind::Scan:
        if (words.size() > 1) {
            if (words.size() != 3 || words[1] != "--wait") {
                error = "usage: " + std::string(syntax->usage);
                return std::nullopt;
            }
            if (!prefixed(Number(words, 2, "wait", 1, kMaxScanWaitMs, command.waitMs, error))) {
                return std::nullopt;
            }
        }
        break;
    case Command::Kind::Recv:
        break;
    case Command::Kind::Send: {
        // ID and data as cansend writes them (ID#DATA), or ID followed by the bytes; the ID is
        // hexadecimal either way, as candump and the trace show it.
        std::string id = words[1];
        std::vector<std::string> rest(words.begin() + 2, words.end());
        if (const auto hash = id.find('#'); hash != std::string::npos) {
            rest.insert(rest.begin(), id.substr(hash + 1));
            id.resize(hash);
        } else if (rest.empty()) {
            error = "usage: " + std::string(syntax->usage);
            return std::nullopt;
        }
        if (id.size() > 2 && id[0] == '0' && (id[1] == 'x' || id[1] == 'X')) {
            id.erase(0, 2);
        }
        const auto value = ParseNumber("0x" + id, 0, 0x7FF);
        if (id.empty() || !value) {
            error = "send: bad identifier '" + words[1] + "' (expected hexadecimal 0 to 7FF)";
            return std::nullopt;
        }
        command.canId = static_cast<int>(*value);
        rest.insert(rest.begin(), "send");
        if (!prefixed(Bytes(rest, 1, kMaxFrameData, command, error))) {
            return std::nullopt;
        }
        break;
    }
    case Command::Kind::Monitor:
    case Command::Kind::Decode:
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (words[i] == "--json") {
                command.json = true;
            } else if (command.kind == Command::Kind::Monitor && words[i] == "--bus" && i + 1 < words.size()) {
                command.bus = words[++i];
            } else if (command.kind == Command::Kind::Decode && command.file.empty()) {
                command.file = words[i];
            } else {
                error = "usage: " + std::string(syntax->usage);
                return std::nullopt;
            }
        }
        if (command.kind == Command::Kind::Decode && command.file.empty()) {
            error = "usage: " + std::string(syntax->usage);
            return std::nullopt;
        }
        break;
    case Command::Kind::Bench:
        if (!node()) {
            return std::nullopt;
        }
        if (words.size() > 2) {
            if (words.size() != 4 || words[2] != "--count") {
                error = "usage: " + std::string(syntax->usage);
                return std::nullopt;
            }
            if (!prefixed(Number(words, 3, "count", 1, kMaxBenchCount, command.count, error))) {
                return std::nullopt;
            }
        }
        break;
    }
    return command;
}

std::optional<Options> ParseCommandLine(const std::vector<std::string>& args, std::string& error)
{
    Options options;
    std::size_t i = 0;
    bool sawExpression = false;
    const auto value = [&](std::string_view option) -> const std::string* {
        if (i + 1 >= args.size()) {
            error = "option " + std::string(option) + " needs a value";
            return nullptr;
        }
        return &args[++i];
    };
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty() || arg[0] != '-') {
            break; // the command
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--card") {
            const std::string* card = value(arg);
            if (card == nullptr) {
                return std::nullopt;
            }
            if (*card == "vora") {
                options.card = CardKind::Vora;
            } else if (*card == "sst") {
                options.card = CardKind::Sst;
            } else if (*card == "systec") {
                options.card = CardKind::Systec;
            } else {
                error = "bad card '" + *card + "' (expected vora, sst or systec)";
                return std::nullopt;
            }
        } else if (arg == "--bus") {
            const std::string* bus = value(arg);
            if (bus == nullptr) {
                return std::nullopt;
            }
            // The bus travels in the 64-byte driver name, NUL included.
            if (bus->empty() || bus->size() > 63) {
                error = "bad bus '" + *bus + "' (1 to 63 characters)";
                return std::nullopt;
            }
            options.bus = *bus;
        } else if (arg == "--master") {
            const std::string* mac = value(arg);
            if (mac == nullptr) {
                return std::nullopt;
            }
            const auto number = ParseNumber(*mac, 0, 63);
            if (!number) {
                error = "bad master MAC ID '" + *mac + "' (expected 0 to 63)";
                return std::nullopt;
            }
            options.master = static_cast<int>(*number);
        } else if (arg == "--rate") {
            const std::string* rate = value(arg);
            if (rate == nullptr) {
                return std::nullopt;
            }
            if (*rate != "125" && *rate != "250" && *rate != "500") {
                error = "bad rate '" + *rate + "' (expected 125, 250 or 500)";
                return std::nullopt;
            }
            options.rateKbit = std::atoi(rate->c_str());
        } else if (arg == "--timeout") {
            const std::string* ms = value(arg);
            if (ms == nullptr) {
                return std::nullopt;
            }
            const auto number = ParseNumber(*ms, 1, 600000);
            if (!number) {
                error = "bad time-out '" + *ms + "' (expected 1 to 600000 ms)";
                return std::nullopt;
            }
            options.timeoutMs = static_cast<std::uint32_t>(*number);
        } else if (arg == "--log") {
            const std::string* file = value(arg);
            if (file == nullptr) {
                return std::nullopt;
            }
            if (file->empty()) {
                error = "--log needs a file name";
                return std::nullopt;
            }
            options.logFile = *file;
        } else if (arg == "-e") {
            const std::string* text = value(arg);
            if (text == nullptr) {
                return std::nullopt;
            }
            auto command = ParseCommand(SplitWords(*text), error);
            if (!command) {
                return std::nullopt;
            }
            options.commands.push_back(std::move(*command));
            sawExpression = true;
        } else {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
    }
    if (i < args.size()) {
        if (sawExpression) {
            error = "give either a command or -e options, not both";
            return std::nullopt;
        }
        auto command = ParseCommand(std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(i), args.end()),
                                    error);
        if (!command) {
            return std::nullopt;
        }
        options.commands.push_back(std::move(*command));
    }
    for (const Command& command : options.commands) {
        if ((command.kind == Command::Kind::Monitor || command.kind == Command::Kind::Decode) &&
            options.commands.size() > 1) {
            error = command.text + ": runs alone, not in a session of commands";
            return std::nullopt;
        }
    }
    if (options.commands.empty() && !options.help) {
        error = "no command given";
        return std::nullopt;
    }
    return options;
}

std::string UsageText()
{
    return "usage: dnet [OPTIONS] COMMAND ARGS...\n"
           "       dnet [OPTIONS] -e \"COMMAND ARGS\" [-e \"COMMAND ARGS\"]...\n"
           "\n"
           "A DeviceNet master on one interface card, reached through the OrvDeviceNetDriver\n"
           "automation interface. Several -e commands run in order in one session (one open driver);\n"
           "the session stops at the first command that fails.\n"
           "\n"
           "Options:\n"
           "  --card vora|sst|systec   interface card (default sst)\n"
           "  --bus BUSSTRING          CAN bus: sim, sim:node=N, sim:timing=wire, tcp://HOST:PORT/canN,\n"
           "                           socketcan:IFACE (default: $ORV_CANBUS, else sim)\n"
           "  --master MAC             the master's own MAC ID (default 0)\n"
           "  --rate 125|250|500       data rate in kbit/s (default 125)\n"
           "  --timeout MS             receive time-out of the card (SetTimeout; default the card's)\n"
           "  --trace                  print the CAN trace at exit\n"
           "  --log FILE               write the CAN trace to FILE in candump -L format\n"
           "  --json                   one JSON object per command on standard output\n"
           "\n"
           "Commands (numbers in decimal or 0x hexadecimal; HEXBYTES as pairs of hex digits):\n"
           "  open NODE [poll]                           allocate the explicit (and poll) connection\n"
           "  close NODE                                 release the node's connections\n"
           "  get NODE CLASS INSTANCE ATTRIBUTE          Get_Attribute_Single\n"
           "  set NODE CLASS INSTANCE ATTRIBUTE HEXBYTES Set_Attribute_Single\n"
           "  service NODE CLASS INSTANCE SERVICE [HEXBYTES]  any explicit service\n"
           "  poll NODE [HEXBYTES]                       one polled I/O exchange\n"
           "  scan [--wait MS]                           the nodes that answer an allocation, waiting\n"
           "                                             MS for each (default 50)\n"
           "  send ID HEXBYTES                           one raw CAN frame (ID in hex; or ID#HEXBYTES)\n"
           "  recv                                       one raw CAN frame received\n"
           "  bench NODE [--count N]                     Get_Attribute_Single exchanges per second\n"
           "  monitor [--bus BUSSTRING] [--json]         the traffic of a bus as DeviceNet messages, until\n"
           "                                             interrupted; joins a tcp:// bus, never its hub\n"
           "                                             (default: $ORV_CANBUS, else tcp://127.0.0.1:35468/can0)\n"
           "  decode FILE [--json]                       a candump -L log as DeviceNet messages\n"
           "\n"
           "Exit status: 0 success, 1 the device answered with an error response, 2 usage error,\n"
           "3 no answer or driver failure.\n";
}

} // namespace orv::dnet
