// The profile's INI reader. Whatever the file holds, a value set can be read back, and every
// other value reads as before.

#include "platform/IniDocument.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

using orv::platform::IniDocument;

constexpr std::string_view kNames[][2] = {
    {"DNET", "PORT"}, {"DNET", "NODEADDRESS"}, {"INTERFACEDRIVER", "SST"}, {"NETWORK", "DRIVERNAME"}};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orv::fuzz::FuzzInput input(data, size);
    const std::size_t which = input.Byte() % std::size(kNames);
    const std::string_view text = input.Text();
    IniDocument document = IniDocument::Parse(text);
    if (!document.Set(kNames[which][0], kNames[which][1], "42")) {
        __builtin_trap();
    }
    const IniDocument again = IniDocument::Parse(document.Text());
    const IniDocument original = IniDocument::Parse(text);
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        const auto expected = i == which ? std::optional<std::string>("42") : original.Get(kNames[i][0], kNames[i][1]);
        if (again.Get(kNames[i][0], kNames[i][1]) != expected) {
            __builtin_trap();
        }
    }
    return 0;
}
