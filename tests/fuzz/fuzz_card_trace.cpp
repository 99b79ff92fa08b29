// dnet's reader of the card's trace text ("[454] 00 0E 01 01 07 " per frame), from which it
// writes its candump -L log: any text is taken apart without harm, and a line that reads as a
// frame reads back the same from the line written for it.

#include "tools/dnet/CanLog.h"
#include "tests/fuzz/FuzzInput.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    orv::dnet::CanLog log;
    log.Append(text, std::chrono::system_clock::time_point{});
    for (const orv::dnet::TracedFrame& frame : log.Frames()) {
        const auto again = orv::dnet::ParseTraceLine(orv::dnet::TraceLine(frame));
        if (!again || again->identifier != frame.identifier || again->data != frame.data) {
            __builtin_trap();
        }
    }
    return 0;
}
