// dnet's command line: the input as arguments (separated by NUL bytes) and as the words of one
// command (as -e gives it).

#include "tools/dnet/CommandLine.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        arguments.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::string error;
    (void)orv::dnet::ParseCommandLine(arguments, error);
    (void)orv::dnet::ParseCommand(orv::dnet::SplitWords(text), error);
    return 0;
}
