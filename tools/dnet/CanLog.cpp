#include "tools/dnet/CanLog.h"

#include "tools/dnet/CommandLine.h"

#include <cstdio>

namespace orv::dnet {
namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

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
        const int digit = HexValue(line[i]);
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
        const int high = HexValue(line[i]);
        const int low = HexValue(line[i + 1]);
        if (high < 0 || low < 0 || frame.data.size() == 8) {
            return std::nullopt;
        }
        frame.data.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return frame;
}

std::string CandumpLine(const TracedFrame& frame, std::string_view interfaceName)
{
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(frame.time.time_since_epoch()).count();
    char head[64];
    std::snprintf(head, sizeof head, "(%lld.%06lld) ", static_cast<long long>(micros / 1000000),
                  static_cast<long long>(micros % 1000000));
    char id[8];
    std::snprintf(id, sizeof id, "%03X#", frame.identifier);
    return head + std::string(interfaceName) + " " + id + HexText(frame.data.data(), frame.data.size(), "");
}

std::string TraceLine(const TracedFrame& frame)
{
    char id[8];
    std::snprintf(id, sizeof id, "[%03X]", frame.identifier);
    std::string line = id;
    if (!frame.data.empty()) {
        line += " " + HexText(frame.data.data(), frame.data.size(), " ");
    }
    return line;
}

std::string InterfaceName(std::string_view bus)
{
    if (bus.starts_with("tcp://")) {
        const auto slash = bus.rfind('/');
        if (slash != std::string_view::npos && slash + 1 < bus.size() && bus.substr(slash + 1).starts_with("can")) {
            return std::string(bus.substr(slash + 1));
        }
    } else if (bus.starts_with("socketcan:") && bus.size() > 10) {
        return std::string(bus.substr(10));
    }
    return "can0";
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
