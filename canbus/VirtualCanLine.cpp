#include "canbus/VirtualCanLine.h"

#include "platform/Hex.h"

#include <charconv>

namespace canbus {
namespace {

constexpr std::string_view kConnect = "connect:";
constexpr std::string_view kDisconnect = "disconnect:";

bool Refuse(std::string_view* why, std::string_view reason)
{
    if (why != nullptr) {
        *why = reason;
    }
    return false;
}

bool IsChannelName(std::string_view name)
{
    return !name.empty() && name.find_first_of(" \t:#") == std::string_view::npos;
}

} // namespace

std::size_t FormatFrameText(const Frame& frame, char* out)
{
    char* p = out;
    p = std::to_chars(p, out + kMaxFrameText, frame.id).ptr;
    *p++ = '#';
    if (frame.remote) {
        *p++ = 'R';
    }
    if (frame.extended) {
        *p++ = 'X';
    }
    *p++ = '#';
    const std::uint8_t length = frame.length > kMaxDataLength ? kMaxDataLength : frame.length;
    for (std::uint8_t i = 0; i < length; ++i) {
        const std::uint8_t byte = frame.remote ? 0 : frame.data[i];
        *p++ = orv::platform::HexDigitChar(byte >> 4);
        *p++ = orv::platform::HexDigitChar(byte);
    }
    return static_cast<std::size_t>(p - out);
}

std::string FrameText(const Frame& frame)
{
    char text[kMaxFrameText];
    return std::string(text, FormatFrameText(frame, text));
}

bool ParseFrameText(std::string_view text, Frame& frame, std::string_view* why)
{
    const auto first = text.find('#');
    const auto second = first == std::string_view::npos ? first : text.find('#', first + 1);
    if (second == std::string_view::npos || text.find('#', second + 1) != std::string_view::npos) {
        return Refuse(why, "not three fields");
    }
    const std::string_view id = text.substr(0, first);
    const std::string_view flags = text.substr(first + 1, second - first - 1);
    const std::string_view data = text.substr(second + 1);

    Frame parsed;
    for (const char flag : flags) {
        switch (flag) {
        case 'R': parsed.remote = true; break;
        case 'X': parsed.extended = true; break;
        case 'L': break; // a local echo is an ordinary frame to everyone else
        case 'F':
        case 'B':
        case 'E': return Refuse(why, "CAN FD frame");
        default: return Refuse(why, "unknown flag");
        }
    }

    std::uint64_t value = 0;
    if (id.empty() || id.size() > 10) {
        return Refuse(why, "bad identifier");
    }
    const auto [end, ec] = std::from_chars(id.data(), id.data() + id.size(), value);
    if (ec != std::errc() || end != id.data() + id.size() ||
        value > (parsed.extended ? kMaxExtendedId : kMaxStandardId)) {
        return Refuse(why, "bad identifier");
    }
    parsed.id = static_cast<std::uint32_t>(value);

    if (data.size() % 2 != 0) {
        return Refuse(why, "odd number of hex digits");
    }
    if (data.size() / 2 > kMaxDataLength) {
        return Refuse(why, "more than 8 data bytes");
    }
    for (std::size_t i = 0; i < data.size(); i += 2) {
        const int high = orv::platform::HexDigitValue(data[i]);
        const int low = orv::platform::HexDigitValue(data[i + 1]);
        if (high < 0 || low < 0) {
            return Refuse(why, "bad hex digit");
        }
        parsed.data[i / 2] = parsed.remote ? 0 : static_cast<std::uint8_t>(high << 4 | low);
    }
    parsed.length = static_cast<std::uint8_t>(data.size() / 2);
    frame = parsed;
    return true;
}

ClientLine ParseClientLine(std::string_view line)
{
    ClientLine parsed;
    if (line.starts_with(kConnect) || line.starts_with(kDisconnect)) {
        const bool connect = line.starts_with(kConnect);
        const std::string_view channel = line.substr(connect ? kConnect.size() : kDisconnect.size());
        if (IsChannelName(channel)) {
            parsed.kind = connect ? ClientLine::Kind::Connect : ClientLine::Kind::Disconnect;
            parsed.channel = channel;
        }
        return parsed;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || !IsChannelName(line.substr(0, colon)) ||
        !ParseFrameText(line.substr(colon + 1), parsed.frame)) {
        return parsed;
    }
    parsed.kind = ClientLine::Kind::Frame;
    parsed.channel = line.substr(0, colon);
    return parsed;
}

HubLine ParseHubLine(std::string_view line)
{
    HubLine parsed;
    if (line.starts_with(kDisconnect)) {
        const std::string_view rest = line.substr(kDisconnect.size());
        const auto blank = rest.find(' ');
        const std::string_view channel = rest.substr(0, blank);
        if (IsChannelName(channel)) {
            parsed.kind = HubLine::Kind::Disconnect;
            parsed.channel = channel;
            if (blank != std::string_view::npos) {
                parsed.reason = rest.substr(blank + 1);
            }
        }
        return parsed;
    }
    if (ParseFrameText(line, parsed.frame)) {
        parsed.kind = HubLine::Kind::Frame;
    }
    return parsed;
}

std::string_view LineReader::Trimmed() const
{
    std::string_view line(pending_);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '\r')) {
        line.remove_prefix(1);
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace canbus
