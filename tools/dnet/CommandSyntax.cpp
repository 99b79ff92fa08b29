#include "tools/dnet/CommandSyntax.h"

#include "canbus/BusString.h"

#include <cstdlib>

namespace orv::dnet {
namespace {

constexpr Argument kNode = NumberArgument("node", 0, 63, &Command::node);
constexpr Argument kClass = NumberArgument("class", 0, 255, &Command::classId);
constexpr Argument kInstance = NumberArgument("instance", 0, 255, &Command::instance);
constexpr Argument kAttribute = NumberArgument("attribute", 0, 255, &Command::attribute);

constexpr Argument kOpen[] = {kNode, KeywordArgument("poll", &Command::withPoll)};
constexpr Argument kClose[] = {kNode};
constexpr Argument kGet[] = {kNode, kClass, kInstance, kAttribute};
constexpr Argument kSet[] = {kNode, kClass, kInstance, kAttribute, BytesArgument(kMaxRequestData, true)};
// Bit 7 of a service code marks a reply; a request never carries it.
constexpr Argument kService[] = {kNode, kClass, kInstance, NumberArgument("service", 0, 0x7F, &Command::service),
                                 BytesArgument(kMaxRequestData, false)};
constexpr Argument kPoll[] = {kNode, BytesArgument(kMaxPollData, false)};
constexpr Argument kScan[] = {OptionArgument("--wait", "wait", 1, kMaxScanWaitMs, &Command::waitMs)};
// ID and data as cansend writes them (ID#DATA), or ID followed by the bytes; the ID is
// hexadecimal either way, as candump and the trace show it.
constexpr Argument kSend[] = {FrameIdArgument(0x7FF, &Command::canId), BytesArgument(kMaxFrameData, false)};
constexpr Argument kBench[] = {kNode, OptionArgument("--count", "count", 1, kMaxBenchCount, &Command::count)};
constexpr Argument kMonitor[] = {TextOptionArgument("--bus", "bus", &Command::bus)};
constexpr Argument kDecode[] = {TextArgument("file", &Command::file)};
// The EDS commands.
constexpr Argument kEdsFile = TextOptionArgument("--eds", "file", &Command::edsFile);
constexpr Argument kEds[] = {TextArgument("file", &Command::file)};
constexpr Argument kParams[] = {kNode, kEdsFile};
constexpr Argument kParam[] = {kNode, TextArgument("parameter", &Command::parameter),
                               TextArgument("value", &Command::value), kEdsFile};

constexpr CommandSyntax kCommands[] = {
    {"open", Command::Kind::Open, kOpen, "open NODE [poll]", "allocate the explicit (and poll) connection"},
    {"close", Command::Kind::Close, kClose, "close NODE", "release the node's connections"},
    {"get", Command::Kind::Get, kGet, "get NODE CLASS INSTANCE ATTRIBUTE", "Get_Attribute_Single"},
    {"set", Command::Kind::Set, kSet, "set NODE CLASS INSTANCE ATTRIBUTE HEXBYTES", "Set_Attribute_Single"},
    {"service", Command::Kind::Service, kService, "service NODE CLASS INSTANCE SERVICE [HEXBYTES]",
     "any explicit service"},
    {"poll", Command::Kind::Poll, kPoll, "poll NODE [HEXBYTES]", "one polled I/O exchange"},
    {"scan", Command::Kind::Scan, kScan, "scan [--wait MS]",
     "every node with its identity: allocation requests\nto all MAC IDs at once, answers taken until MS after\nthe wire carried them (default 50)"},
    {"send", Command::Kind::Send, kSend, "send ID HEXBYTES", "one raw CAN frame (ID in hex; or ID#HEXBYTES)"},
    {"recv", Command::Kind::Recv, {}, "recv", "one raw CAN frame received"},
    {"bench", Command::Kind::Bench, kBench, "bench NODE [--count N]", "Get_Attribute_Single exchanges per second"},
    {"monitor", Command::Kind::Monitor, kMonitor, "monitor [--bus BUSSTRING]",
     "the traffic of a bus as DeviceNet messages, until\ninterrupted; joins a tcp:// bus, never its hub\n"
     "(default: --bus, $ORV_CANBUS, else\ntcp://127.0.0.1:35468/can0)"},
    {"decode", Command::Kind::Decode, kDecode, "decode FILE", "a candump -L log as DeviceNet messages"},
    {"eds", Command::Kind::Eds, kEds, "eds FILE", "check an EDS and show what it describes"},
    {"params", Command::Kind::Params, kParams, "params NODE [--eds FILE]",
     "read every parameter of the node's EDS (default:\nthe EDS library's for the node's identity)"},
    {"param", Command::Kind::Param, kParam, "param NODE NAME|NUMBER VALUE [--eds FILE]",
     "write one parameter, checked against its EDS first"},
};

const OptionSyntax kOptions[] = {
    {"--card", {}, "vora|sst|systec", "interface card (default sst)",
     [](Options& options, const std::string& card, std::string& error) {
         if (card == "vora") {
             options.card = CardKind::Vora;
         } else if (card == "sst") {
             options.card = CardKind::Sst;
         } else if (card == "systec") {
             options.card = CardKind::Systec;
         } else {
             error = "bad card '" + card + "' (expected vora, sst or systec)";
             return false;
         }
         return true;
     }},
    {"--bus", {}, "BUSSTRING",
     "CAN bus: sim, sim:node=N, sim:timing=wire, tcp://HOST:PORT/canN,\n"
     "socketcan:IFACE (default: $ORV_CANBUS, else sim)",
     [](Options& options, const std::string& bus, std::string& error) {
         // The bus travels in the 64-byte driver name, NUL included.
         if (bus.empty() || bus.size() > 63) {
             error = "bad bus '" + bus + "' (1 to 63 characters)";
             return false;
         }
         canbus::BusAddress address;
         if (!canbus::ParseBusString(bus, address, error)) {
             return false;
         }
         options.bus = bus;
         return true;
     }},
    {"--master", {}, "MAC", "the master's own MAC ID (default 0)",
     [](Options& options, const std::string& mac, std::string& error) {
         const auto number = ParseNumber(mac, 0, 63);
         if (!number) {
             error = "bad master MAC ID '" + mac + "' (expected 0 to 63)";
             return false;
         }
         options.master = static_cast<int>(*number);
         return true;
     }},
    {"--rate", {}, "125|250|500", "data rate in kbit/s (default 125)",
     [](Options& options, const std::string& rate, std::string& error) {
         if (rate != "125" && rate != "250" && rate != "500") {
             error = "bad rate '" + rate + "' (expected 125, 250 or 500)";
             return false;
         }
         options.rateKbit = std::atoi(rate.c_str());
         return true;
     }},
    {"--timeout", {}, "MS", "receive time-out of the card (SetTimeout; default the card's)",
     [](Options& options, const std::string& ms, std::string& error) {
         const auto number = ParseNumber(ms, 1, 600000);
         if (!number) {
             error = "bad time-out '" + ms + "' (expected 1 to 600000 ms)";
             return false;
         }
         options.timeoutMs = static_cast<std::uint32_t>(*number);
         return true;
     }},
    {"--trace", {}, {}, "print the CAN trace at exit",
     [](Options& options, const std::string&, std::string&) { return options.trace = true; }},
    {"--log", {}, "FILE", "write the CAN trace to FILE in candump -L format",
     [](Options& options, const std::string& file, std::string& error) {
         if (file.empty()) {
             error = "--log needs a file name";
             return false;
         }
         options.logFile = file;
         return true;
     }},
    {"--json", {}, {}, "one JSON object per command on standard output",
     [](Options& options, const std::string&, std::string&) { return options.json = true; }},
    {"--help", "-h", {}, {}, [](Options& options, const std::string&, std::string&) { return options.help = true; }},
    {"-e", {}, "\"COMMAND ARGS\"", {},
     [](Options& options, const std::string& text, std::string& error) {
         auto command = ParseCommand(SplitWords(text), error);
         if (!command) {
             return false;
         }
         options.commands.push_back(std::move(*command));
         return true;
     }},
};

} // namespace

std::span<const OptionSyntax> OptionTable()
{
    return kOptions;
}

std::span<const CommandSyntax> CommandTable()
{
    return kCommands;
}

std::string_view CommandName(Command::Kind kind)
{
    for (const CommandSyntax& syntax : kCommands) {
        if (syntax.kind == kind) {
            return syntax.name;
        }
    }
    return "?";
}

WordCount CountWords(const CommandSyntax& syntax)
{
    WordCount count{1, 1};
    bool open = false;
    for (const Argument& argument : syntax.arguments) {
        switch (argument.type) {
        case Argument::Type::Number:
        case Argument::Type::Text:
        case Argument::Type::FrameId:
            count.least += argument.required ? 1 : 0;
            count.most += 1;
            break;
        case Argument::Type::Keyword: count.most += 1; break;
        case Argument::Type::Option: count.most += 2; break;
        case Argument::Type::Bytes:
            count.least += argument.required ? 1 : 0;
            open = true;
            break;
        }
    }
    if (open) {
        count.most = 0;
    }
    return count;
}

} // namespace orv::dnet
