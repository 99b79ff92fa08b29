#include "tools/dnet/CommandLine.h"

#include "tools/dnet/CommandSyntax.h"

#include "platform/Hex.h"


namespace orv::dnet {
namespace {

using platform::HexDigitValue;

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ':' || c == '.' || c == ',' || c == '-';
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

// How taking one argument went: a usage error is answered with the command's usage line, a bad
// value with its own message.
enum class Taken { Ok, Usage, Bad };

Taken BadNumber(const Argument& argument, const std::string& word, std::string& error)
{
    error = "bad " + std::string(argument.name) + " '" + word + "' (expected " + std::to_string(argument.low) +
            " to " + std::to_string(argument.high) + ")";
    return Taken::Bad;
}

Taken TakeNumber(const Argument& argument, const std::string& word, Command& command, std::string& error)
{
    const auto number = ParseNumber(word, argument.low, argument.high);
    if (!number) {
        return BadNumber(argument, word, error);
    }
    command.*argument.number = static_cast<int>(*number);
    return Taken::Ok;
}

Taken TakeBytes(const Argument& argument, const std::vector<std::string>& words, std::size_t from, Command& command,
                std::string& error)
{
    const std::string text = Join(words, from);
    const auto bytes = ParseHexBytes(text);
    if (!bytes) {
        error = "bad hexadecimal bytes '" + text + "'";
        return Taken::Bad;
    }
    const auto limit = static_cast<std::size_t>(argument.high);
    if (bytes->size() > limit) {
        error = "too many bytes: " + std::to_string(bytes->size()) + " (at most " + std::to_string(limit) + ")";
        return Taken::Bad;
    }
    command.data = *bytes;
    command.hasData = from < words.size();
    return Taken::Ok;
}

// ID or ID#DATA; DATA is put in front of the words that follow.
Taken TakeFrameId(const Argument& argument, std::vector<std::string>& words, std::size_t at, Command& command,
                  std::string& error)
{
    const std::string word = words[at];
    std::string id = word;
    if (const auto hash = id.find('#'); hash != std::string::npos) {
        words.insert(words.begin() + static_cast<std::ptrdiff_t>(at) + 1, id.substr(hash + 1));
        id.resize(hash);
    } else if (at + 1 >= words.size()) {
        return Taken::Usage;
    }
    if (id.size() > 2 && id[0] == '0' && (id[1] == 'x' || id[1] == 'X')) {
        id.erase(0, 2);
    }
    const auto value = ParseNumber("0x" + id, 0, argument.high);
    if (id.empty() || !value) {
        error = "bad identifier '" + word + "' (expected hexadecimal 0 to " +
                platform::HexNumber(static_cast<std::uint64_t>(argument.high), 3, true) + ")";
        return Taken::Bad;
    }
    command.*argument.number = static_cast<int>(*value);
    return Taken::Ok;
}

// Takes `argument` from words[at...]; advances `at` past what it took.
Taken TakeArgument(const Argument& argument, std::vector<std::string>& words, std::size_t& at, Command& command,
                   std::string& error)
{
    const bool present = at < words.size();
    if (!present) {
        return argument.required && argument.type != Argument::Type::Bytes ? Taken::Usage : Taken::Ok;
    }
    switch (argument.type) {
    case Argument::Type::Number: return TakeNumber(argument, words[at++], command, error);
    case Argument::Type::Keyword:
        if (words[at] != argument.word) {
            return Taken::Usage;
        }
        command.*argument.flag = true;
        ++at;
        return Taken::Ok;
    case Argument::Type::Option:
        if (words[at] != argument.word || at + 1 >= words.size()) {
            return Taken::Usage;
        }
        at += 2;
        if (argument.text != nullptr) {
            command.*argument.text = words[at - 1];
            return Taken::Ok;
        }
        return TakeNumber(argument, words[at - 1], command, error);
    case Argument::Type::Text: command.*argument.text = words[at++]; return Taken::Ok;
    case Argument::Type::FrameId: {
        const Taken taken = TakeFrameId(argument, words, at, command, error);
        ++at;
        return taken;
    }
    case Argument::Type::Bytes: {
        const Taken taken = TakeBytes(argument, words, at, command, error);
        at = words.size();
        return taken;
    }
    }
    return Taken::Usage;
}

// `head` padded to `column`, then `help`, whose further lines start at `column`.
std::string HelpRow(std::string head, std::size_t column, std::string_view help)
{
    head += head.size() < column ? std::string(column - head.size(), ' ') : "  ";
    for (const char c : help) {
        head += c;
        if (c == '\n') {
            head += std::string(column, ' ');
        }
    }
    return head + "\n";
}

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
        const int digit = HexDigitValue(c);
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
        if (group.size() == 1) {
            const int digit = HexDigitValue(group[0]);
            if (digit < 0) {
                return std::nullopt;
            }
            bytes.push_back(static_cast<std::uint8_t>(digit));
        } else {
            const auto pairs = platform::ParseHexPairs(group);
            if (!pairs) {
                return std::nullopt;
            }
            bytes.insert(bytes.end(), pairs->begin(), pairs->end());
        }
        i = end;
    }
    return bytes;
}

std::optional<Command> ParseCommand(const std::vector<std::string>& words, std::string& error)
{
    return ParseCommand(words, CommandTable(), error);
}

std::optional<Command> ParseCommand(const std::vector<std::string>& words, std::span<const CommandSyntax> table,
                                    std::string& error)
{
    if (words.empty()) {
        error = "empty command";
        return std::nullopt;
    }
    const CommandSyntax* syntax = nullptr;
    for (const CommandSyntax& row : table) {
        if (words[0] == row.name) {
            syntax = &row;
            break;
        }
    }
    if (syntax == nullptr) {
        error = "unknown command '" + words[0] + "'";
        return std::nullopt;
    }
    const WordCount count = CountWords(*syntax);
    const auto usage = [&] {
        error = "usage: " + std::string(syntax->usage);
        return std::nullopt;
    };
    if (words.size() < count.least || (count.most != 0 && words.size() > count.most)) {
        return usage();
    }

    Command command;
    command.kind = syntax->kind;
    command.text = Join(words, 0);
    std::vector<std::string> rest(words.begin() + 1, words.end());
    std::size_t at = 0;
    for (const Argument& argument : syntax->arguments) {
        switch (TakeArgument(argument, rest, at, command, error)) {
        case Taken::Ok: break;
        case Taken::Usage: return usage();
        case Taken::Bad: error = words[0] + ": " + error; return std::nullopt;
        }
    }
    if (at < rest.size()) {
        return usage();
    }
    return command;
}

std::optional<Options> ParseCommandLine(const std::vector<std::string>& args, std::string& error)
{
    Options options;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty() || arg[0] != '-') {
            break; // the command
        }
        const OptionSyntax* option = nullptr;
        for (const OptionSyntax& row : OptionTable()) {
            if (arg == row.name || (!row.alias.empty() && arg == row.alias)) {
                option = &row;
                break;
            }
        }
        if (option == nullptr) {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
        std::string value;
        if (!option->value.empty()) {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        }
        if (!option->apply(options, value, error)) {
            return std::nullopt;
        }
    }
    if (i < args.size()) {
        if (!options.commands.empty()) {
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
    std::string text = "usage: dnet [OPTIONS] COMMAND ARGS...\n"
                       "       dnet [OPTIONS] -e \"COMMAND ARGS\" [-e \"COMMAND ARGS\"]...\n"
                       "\n"
                       "A DeviceNet master on one interface card, reached through the OrvDeviceNetDriver\n"
                       "automation interface. Several -e commands run in order in one session (one open driver);\n"
                       "the session stops at the first command that fails.\n"
                       "\n"
                       "Options:\n";
    for (const OptionSyntax& option : OptionTable()) {
        if (!option.help.empty()) {
            std::string head = "  " + std::string(option.name);
            if (!option.value.empty()) {
                head += " " + std::string(option.value);
            }
            text += HelpRow(head, 27, option.help);
        }
    }
    text += "\n"
            "Commands (numbers in decimal or 0x hexadecimal; HEXBYTES as pairs of hex digits):\n";
    for (const CommandSyntax& command : CommandTable()) {
        text += HelpRow("  " + std::string(command.usage), 45, command.help);
    }
    return text + "\n"
                  "Exit status: 0 success, 1 the device answered with an error response, 2 usage error or a\n"
                  "parameter value refused, 3 no answer, driver failure, a file dnet cannot use or frames the log\n"
                  "file could not take.\n";
}

} // namespace orv::dnet
