// The reader of candump -L logs: any line is taken apart without harm, and a line that reads as a
// frame reads back the same from the line written for it.

#include "canbus/CandumpFormat.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto entry = canbus::ParseCandumpLine(line);
    if (!entry) {
        return 0;
    }
    const auto again = canbus::ParseCandumpLine(canbus::CandumpLine(entry->frame, entry->microseconds, entry->interface));
    if (!canbus::IsWellFormed(entry->frame) || !again || again->frame.id != entry->frame.id ||
        again->frame.length != entry->frame.length || again->frame.extended != entry->frame.extended ||
        again->frame.remote != entry->frame.remote || (!entry->frame.remote && again->frame.data != entry->frame.data)) {
        __builtin_trap();
    }
    return 0;
}
