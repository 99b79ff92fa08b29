#include "tools/dnet/CanLog.h"

#include "platform/Hex.h"

#include <algorithm>
#include <cstdio>

namespace orv::dnet {

using platform::HexDigitValue;

std::optional<TracedFrame> ParseTraceLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    if (line.size() < 3 || line[0] != '[') {
        return std::nullopt;
    }
    const auto close = line.find(']');
    if (close == std::string_view::npos || close < 2 || close > 4) {
        return std::nullopt;
    }
    TracedFrame frame;
    unsigned identifier = 0;
    for (std::size_t i = 1; i < close; ++i) {
        const int digit = HexDigitValue(line[i]);
        if (digit < 0) {
            return std::nullopt;
        }
        identifier = identifier * 16 + static_cast<unsigned>(digit);
    }
    if (identifier > 0x7FF) {
        return std::nullopt;
    }
    frame.identifier = static_cast<std::uint16_t>(identifier);
    std::size_t i = close + 1;
    while (i < line.size()) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= line.size() || (i + 2 < line.size() && line[i + 2] != ' ')) {
            return std::nullopt;
        }
        const int high = HexDigitValue(line[i]);
        const int low = HexDigitValue(line[i + 1]);
        if (high < 0 || low < 0 || frame.data.size() == 8) {
            return std::nullopt;
        }
        frame.data.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return frame;
}

canbus::Frame AsCanFrame(const TracedFrame& frame)
{
    canbus::Frame can;
    can.id = frame.identifier;
    can.length = static_cast<std::uint8_t>(std::min(frame.data.size(), can.data.size()));
    std::copy_n(frame.data.begin(), can.length, can.data.begin());
    return can;
}

std::uint64_t Microseconds(std::chrono::system_clock::time_point time)
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count());
}

std::string TraceLine(const TracedFrame& frame)
{
    char id[8];
    std::snprintf(id, sizeof id, "[%03X]", frame.identifier);
    std::string line = id;
    if (!frame.data.empty()) {
        line += " " + platform::HexText(frame.data, " ", true);
    }
    return line;
}

void CanLog::Append(std::string_view traceText, std::chrono::system_clock::time_point fetched)
{
    if (traceText.size() >= kCardTraceLimit) {
        full_ = true;
    }
    while (!traceText.empty()) {
        const auto end = traceText.find('\n');
        const std::string_view line = traceText.substr(0, end);
        traceText.remove_prefix(end == std::string_view::npos ? traceText.size() : end + 1);
        if (line.find_first_not_of("\r ") == std::string_view::npos) {
            continue;
        }
        auto frame = ParseTraceLine(line);
        if (!frame) {
            ++unreadable_;
            continue;
        }
        frame->time = fetched;
        frames_.push_back(std::move(*frame));
    }
}

} // namespace orv::dnet
