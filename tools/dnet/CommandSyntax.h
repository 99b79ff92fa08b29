#pragma once
// dnet's options and commands as data. A row names a command, its arguments in order and its line of help;
// the parser (CommandLine.cpp) walks the rows, the usage text lists them, and the session runs the
// family that commands/Commands.cpp names for the row's kind.
//
// A new command is one row here (and a Command::Kind), one entry in commands/Commands.cpp, and,
// when it reports something new, a record in Results.h with its two printers.

#include "tools/dnet/CommandLine.h"

#include <span>
#include <string_view>

namespace orv::dnet {

struct Argument {
    enum class Type {
        Number,  // a number in [low, high], decimal or 0x hexadecimal
        Keyword, // an optional word that must be `word`: "open NODE [poll]"
        Option,  // an optional pair `word` VALUE: a number in [low, high] ("scan [--wait MS]"), or a
                 // word taken as it is when the argument has a text member
        Text,    // a word taken as it is: a file name
        FrameId, // a CAN identifier in hexadecimal up to `high`, as ID or as cansend's ID#DATA, whose
                 // data then begins the bytes that follow
        Bytes,   // the rest of the words as hexadecimal bytes, at most `high` of them
    };
    Type type = Type::Number;
    std::string_view name; // as messages name it: "bad node '64'"
    std::string_view word; // Keyword, Option
    long low = 0;
    long high = 0;
    bool required = true; // Number, Text, FrameId, Bytes
    int Command::*number = nullptr;
    bool Command::*flag = nullptr;
    std::string Command::*text = nullptr;
};

constexpr Argument NumberArgument(std::string_view name, long low, long high, int Command::*target)
{
    Argument argument;
    argument.name = name;
    argument.low = low;
    argument.high = high;
    argument.number = target;
    return argument;
}
constexpr Argument KeywordArgument(std::string_view word, bool Command::*target)
{
    Argument argument;
    argument.type = Argument::Type::Keyword;
    argument.name = word;
    argument.word = word;
    argument.required = false;
    argument.flag = target;
    return argument;
}
constexpr Argument OptionArgument(std::string_view word, std::string_view name, long low, long high,
                                  int Command::*target)
{
    Argument argument = NumberArgument(name, low, high, target);
    argument.type = Argument::Type::Option;
    argument.word = word;
    argument.required = false;
    return argument;
}
constexpr Argument TextOptionArgument(std::string_view word, std::string_view name, std::string Command::*target)
{
    Argument argument = OptionArgument(word, name, 0, 0, nullptr);
    argument.text = target;
    return argument;
}
constexpr Argument TextArgument(std::string_view name, std::string Command::*target)
{
    Argument argument;
    argument.type = Argument::Type::Text;
    argument.name = name;
    argument.text = target;
    return argument;
}
constexpr Argument FrameIdArgument(long high, int Command::*target)
{
    Argument argument = NumberArgument("identifier", 0, high, target);
    argument.type = Argument::Type::FrameId;
    return argument;
}
constexpr Argument BytesArgument(std::size_t limit, bool required)
{
    Argument argument;
    argument.type = Argument::Type::Bytes;
    argument.name = "bytes";
    argument.high = static_cast<long>(limit);
    argument.required = required;
    return argument;
}

struct CommandSyntax {
    std::string_view name;
    Command::Kind kind;
    std::span<const Argument> arguments;
    std::string_view usage; // "get NODE CLASS INSTANCE ATTRIBUTE"
    std::string_view help;  // for the usage text; a line break continues it on the next line
};

// A global option. Options that take a value say what it is called in `value`.
struct OptionSyntax {
    std::string_view name;
    std::string_view alias;
    std::string_view value; // what follows the option; empty for a flag
    std::string_view help;  // for the usage text; empty: not listed among the options
    // Takes the option's value into `options`; false with a one-line `error` when it is wrong.
    bool (*apply)(Options& options, const std::string& value, std::string& error);
};

// dnet's options, in the order the usage text lists them.
std::span<const OptionSyntax> OptionTable();

// dnet's commands, in the order the usage text lists them.
std::span<const CommandSyntax> CommandTable();

// The name of a command of `kind` ("get").
std::string_view CommandName(Command::Kind kind);

// The fewest and the most words a command of `syntax` takes, its name included; most 0: any number.
struct WordCount {
    std::size_t least;
    std::size_t most;
};
WordCount CountWords(const CommandSyntax& syntax);

} // namespace orv::dnet
