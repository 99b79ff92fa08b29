#include "tools/dnet/monitor/CandumpReader.h"

#include "platform/Hex.h"

#include <algorithm>

namespace orv::dnet::monitor {
namespace {

std::optional<std::uint64_t> Decimal(std::string_view text)
{
    if (text.empty() || text.size() > 12) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

} // namespace

std::optional<TimedFrame> ParseCandumpLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    if (line.size() < 2 || line[0] != '(') {
        return std::nullopt;
    }
    const auto close = line.find(')');
    const auto dot = line.find('.');
    if (close == std::string_view::npos || dot == std::string_view::npos || dot > close || close + 1 >= line.size() ||
        line[close + 1] != ' ') {
        return std::nullopt;
    }
    const auto seconds = Decimal(line.substr(1, dot - 1));
    const std::string_view fraction = line.substr(dot + 1, close - dot - 1);
    const auto micros = Decimal(fraction);
    if (!seconds || !micros || fraction.size() != 6) {
        return std::nullopt;
    }
    std::string_view rest = line.substr(close + 2);
    const auto blank = rest.find(' ');
    if (blank == std::string_view::npos || blank == 0) {
        return std::nullopt;
    }
    rest.remove_prefix(blank + 1);
    const auto hash = rest.find('#');
    if (hash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view id = rest.substr(0, hash);
    const std::string_view data = rest.substr(hash + 1);
    const auto value = platform::ParseHexNumber(id);
    if (!value || (id.size() != 3 && id.size() != 8)) {
        return std::nullopt;
    }

    TimedFrame timed;
    timed.timeUs = *seconds * 1000000 + *micros;
    canbus::Frame& frame = timed.frame;
    frame.extended = id.size() == 8;
    frame.id = static_cast<std::uint32_t>(*value);
    if (frame.id > (frame.extended ? canbus::kMaxExtendedId : canbus::kMaxStandardId)) {
        return std::nullopt;
    }
    if (!data.empty() && (data[0] == 'R' || data[0] == 'r')) {
        frame.remote = true;
        if (data.size() == 2 && data[1] >= '0' && data[1] <= '8') {
            frame.length = static_cast<std::uint8_t>(data[1] - '0');
        } else if (data.size() != 1) {
            return std::nullopt;
        }
        return timed;
    }
    const auto bytes = platform::ParseHexPairs(data);
    if (!bytes || bytes->size() > canbus::kMaxDataLength) {
        return std::nullopt;
    }
    frame.length = static_cast<std::uint8_t>(bytes->size());
    std::copy(bytes->begin(), bytes->end(), frame.data.begin());
    return timed;
}

} // namespace orv::dnet::monitor
