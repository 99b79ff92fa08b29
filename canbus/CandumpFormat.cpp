#include "canbus/CandumpFormat.h"

#include "canbus/BusString.h"
#include "platform/Hex.h"

#include <algorithm>

namespace canbus {
namespace {

using orv::platform::AppendHexByte;
using orv::platform::HexDigitChar;
using orv::platform::HexNumber;
using orv::platform::ParseHexNumber;
using orv::platform::ParseHexPairs;

constexpr std::uint64_t kMicrosPerSecond = 1'000'000;
// Seconds beyond this many digits would overflow the microsecond count.
constexpr std::size_t kMaxSecondDigits = 12;
constexpr std::size_t kMaxInterfaceLength = 32;

bool AllDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::uint64_t Decimal(std::string_view digits)
{
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// "(SECONDS.FRACTION)" with one to six digits of fraction.
std::optional<std::uint64_t> ParseTime(std::string_view text)
{
    if (text.size() < 2 || text.front() != '(' || text.back() != ')') {
        return std::nullopt;
    }
    text = text.substr(1, text.size() - 2);
    const auto dot = text.find('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view seconds = text.substr(0, dot);
    const std::string_view fraction = text.substr(dot + 1);
    if (!AllDigits(seconds) || seconds.size() > kMaxSecondDigits || !AllDigits(fraction) || fraction.size() > 6) {
        return std::nullopt;
    }
    std::uint64_t micros = Decimal(fraction);
    for (std::size_t i = fraction.size(); i < 6; ++i) {
        micros *= 10;
    }
    return Decimal(seconds) * kMicrosPerSecond + micros;
}

std::optional<Frame> ParseFrame(std::string_view text)
{
    const auto hash = text.find('#');
    if (hash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view id = text.substr(0, hash);
    const std::string_view body = text.substr(hash + 1);
    const auto value = ParseHexNumber(id);
    Frame frame;
    frame.extended = id.size() == 8;
    if (!value || (id.size() != 3 && id.size() != 8) || *value > (frame.extended ? kMaxExtendedId : kMaxStandardId)) {
        return std::nullopt;
    }
    frame.id = static_cast<std::uint32_t>(*value);
    if (!body.empty() && (body[0] == 'R' || body[0] == 'r')) {
        frame.remote = true;
        if (body.size() > 2 || (body.size() == 2 && (body[1] < '0' || body[1] > '8'))) {
            return std::nullopt;
        }
        frame.length = body.size() == 2 ? static_cast<std::uint8_t>(body[1] - '0') : 0;
        return frame;
    }
    const auto bytes = ParseHexPairs(body);
    if (!bytes || bytes->size() > kMaxDataLength) {
        return std::nullopt;
    }
    frame.length = static_cast<std::uint8_t>(bytes->size());
    std::copy(bytes->begin(), bytes->end(), frame.data.begin());
    return frame;
}

} // namespace

std::string CandumpTime(std::uint64_t microseconds)
{
    std::string text = std::to_string(microseconds / kMicrosPerSecond);
    const std::string fraction = std::to_string(microseconds % kMicrosPerSecond);
    text += '.';
    text.append(6 - fraction.size(), '0');
    return text + fraction;
}

std::string CandumpLine(const Frame& frame, std::uint64_t microseconds, std::string_view interface)
{
    std::string line = "(" + CandumpTime(microseconds) + ") ";
    line += interface;
    line += ' ';
    line += HexNumber(frame.id, frame.extended ? 8 : 3, true);
    line += '#';
    if (frame.remote) {
        line += 'R';
        if (frame.length > 0 && frame.length <= kMaxDataLength) {
            line += HexDigitChar(frame.length, true);
        }
        return line;
    }
    for (std::size_t i = 0; i < frame.length && i < frame.data.size(); ++i) {
        AppendHexByte(line, frame.data[i], true);
    }
    return line;
}

std::optional<CandumpEntry> ParseCandumpLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    const auto firstBlank = line.find(' ');
    if (firstBlank == std::string_view::npos) {
        return std::nullopt;
    }
    const auto secondBlank = line.find(' ', firstBlank + 1);
    if (secondBlank == std::string_view::npos || line.find(' ', secondBlank + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const auto time = ParseTime(line.substr(0, firstBlank));
    const std::string_view interface = line.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    const auto frame = ParseFrame(line.substr(secondBlank + 1));
    if (!time || interface.empty() || interface.size() > kMaxInterfaceLength || !frame) {
        return std::nullopt;
    }
    return CandumpEntry{*time, std::string(interface), *frame};
}

std::string CandumpInterface(std::string_view busString)
{
    BusAddress address;
    std::string error;
    if (!ParseBusString(busString, address, error)) {
        return "can0";
    }
    switch (address.kind) {
    case BusAddress::Kind::Tcp: return "can" + std::to_string(address.channel);
    case BusAddress::Kind::SocketCan: return address.interface;
    case BusAddress::Kind::Sim: break;
    }
    return "can0";
}

} // namespace canbus
