// The virtualcan line protocol as a hub reads it from a client connection: the byte stream cut
// into lines, each line taken apart as a client line and as a frame. A frame that parses must
// read back the same from the text written for it, since that text is what the hub relays.
// (The hub itself is reached only through sockets; its reading of a connection is this path.)

#include "canbus/VirtualCanLine.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool SameFrame(const canbus::Frame& a, const canbus::Frame& b)
{
    return a.id == b.id && a.length == b.length && a.extended == b.extended && a.remote == b.remote &&
           (a.remote || a.data == b.data);
}

void CheckLine(std::string_view line)
{
    const canbus::ClientLine client = canbus::ParseClientLine(line);
    if (client.kind == canbus::ClientLine::Kind::Frame && !canbus::IsWellFormed(client.frame)) {
        __builtin_trap(); // a malformed frame would be relayed
    }
    canbus::Frame frame;
    if (!canbus::ParseFrameText(line, frame)) {
        return;
    }
    canbus::Frame again;
    if (!canbus::IsWellFormed(frame) || !canbus::ParseFrameText(canbus::FrameText(frame), again) ||
        !SameFrame(frame, again)) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orv::fuzz::FuzzInput input(data, size);
    const std::size_t maxLine = 16 + input.Byte();
    const std::string_view stream = input.Text();
    canbus::LineReader reader(maxLine);
    reader.Feed(stream.data(), stream.size(), [](std::string_view line) { CheckLine(line); }, [] {});
    CheckLine(stream);
    return 0;
}
