#include "devsim/SerialGateway.h"

#include "devsim/Timers.h"
#include "platform/Hex.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace devsim {

namespace {

bool EndsWith(const Bytes& bytes, const std::string& tail)
{
    return !tail.empty() && bytes.size() >= tail.size() &&
           std::equal(tail.begin(), tail.end(), bytes.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

bool StartsWith(ByteView bytes, const std::string& head)
{
    return bytes.size() >= head.size() &&
           std::equal(head.begin(), head.end(), bytes.begin(),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

std::string Trim(std::string text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.back())) {
        text.pop_back();
    }
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    return std::string(first, text.end());
}

bool ParseHex(const std::string& text, std::uint32_t& value)
{
    const std::optional<std::uint64_t> number = text.size() <= 8 ? orv::platform::ParseHexNumber(text) : std::nullopt;
    if (!number) {
        return false;
    }
    value = static_cast<std::uint32_t>(*number);
    return true;
}

bool ParseDecimal(const std::string& text, long long& value)
{
    if (text.empty()) {
        return false;
    }
    const std::size_t digitsFrom = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (digitsFrom == text.size() || text.size() > 12 ||
        !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(digitsFrom), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        return false;
    }
    value = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

std::uint32_t FloatBits(float value)
{
    std::uint32_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float BitsFloat(std::uint32_t bits)
{
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::uint32_t Mask(std::uint8_t size) { return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1; }

} // namespace

bool IsDataType(std::uint8_t code)
{
    switch (code) {
    case datatype::kSint:
    case datatype::kInt:
    case datatype::kUsint:
    case datatype::kUint:
    case datatype::kReal:
    case datatype::kShortString: return true;
    default: return false;
    }
}

std::uint8_t DataTypeSize(std::uint8_t code)
{
    switch (code) {
    case datatype::kSint:
    case datatype::kUsint: return 1;
    case datatype::kInt:
    case datatype::kUint: return 2;
    case datatype::kReal: return 4;
    default: return 0;
    }
}

std::uint16_t PollLayout::Produced() const
{
    std::uint16_t total = 1; // the toggle byte
    for (const auto size : receiveSizes) {
        total = static_cast<std::uint16_t>(total + size);
    }
    return total;
}

std::uint16_t PollLayout::Consumed() const
{
    std::uint16_t total = 0;
    for (const auto size : transmitSizes) {
        total = static_cast<std::uint16_t>(total + size);
    }
    return total;
}

void SerialGateway::RestoreDefaults()
{
    stream = StreamSettings{};
    for (auto& channel : receive) {
        channel = ReceiveChannel{};
    }
    for (auto& channel : transmit) {
        channel = TransmitChannel{};
    }
    // Out of the box, channel 1 of each direction is in the poll: a line typed on the terminal
    // arrives in the poll response, a string in the poll command goes out with CR LF.
    receive[0].enabled = true;
    receive[0].inPoll = true;
    Resize(receive[0].data, 16);
    transmit[0].inPoll = true;
    transmit[0].mode = 0x01 | 0x08;
    transmit[0].string1 = "\r\n";
    ClearVolatile();
}

void SerialGateway::ClearVolatile()
{
    status = 0;
    for (auto& channel : receive) {
        std::fill(channel.data.begin(), channel.data.end(), 0);
        channel.toggle = 0;
        channel.acknowledge = 0;
    }
    for (auto& channel : transmit) {
        std::fill(channel.data.begin(), channel.data.end(), 0);
        channel.toggle = 0;
        channel.acknowledge = 0;
    }
    pending_.clear();
    hunt_.clear();
    inMessage_ = false;
    output_.clear();
}

bool SerialGateway::EndsMessageOnlyWhenFull() const
{
    const std::uint8_t mode = stream.delimiterMode;
    const bool list = (mode & kDelimitList) && !stream.postDelimiter.empty();
    return !list && !(mode & kDelimitLength) && !(mode & kDelimitTimeout);
}

void SerialGateway::Input(ByteView bytes, std::uint32_t nowMs)
{
    const bool list = stream.delimiterMode & kDelimitList;
    for (const std::uint8_t byte : bytes) {
        lastByteMs_ = nowMs;
        if (!inMessage_) {
            if (list && !stream.preDelimiter.empty()) {
                // Bytes before the pre-delimiter belong to no message.
                hunt_.push_back(byte);
                if (EndsWith(hunt_, stream.preDelimiter)) {
                    hunt_.clear();
                    inMessage_ = true;
                } else if (hunt_.size() >= stream.preDelimiter.size()) {
                    hunt_.erase(hunt_.begin());
                }
                continue;
            }
            inMessage_ = true;
        }
        pending_.push_back(byte);
        if (list && EndsWith(pending_, stream.postDelimiter)) {
            pending_.resize(pending_.size() - stream.postDelimiter.size());
            Complete();
        } else if ((stream.delimiterMode & kDelimitLength) && pending_.size() >= stream.length) {
            Complete();
        } else if (pending_.size() >= kMaxMessage) {
            if (EndsMessageOnlyWhenFull()) {
                Complete();
            } else {
                status |= kStatusRxOverrun;
                pending_.clear();
                inMessage_ = false;
            }
        }
    }
}

bool SerialGateway::TimingPause() const
{
    return (stream.delimiterMode & kDelimitTimeout) && inMessage_ && !pending_.empty();
}

void SerialGateway::Tick(std::uint32_t nowMs)
{
    if (TimingPause() && nowMs - lastByteMs_ >= kTimeoutUnitMs * stream.timeout) {
        Complete();
    }
}

std::optional<std::uint32_t> SerialGateway::NextTick(std::uint32_t nowMs) const
{
    if (!TimingPause()) {
        return std::nullopt;
    }
    return MillisecondsUntil(nowMs, lastByteMs_ + kTimeoutUnitMs * stream.timeout);
}

void SerialGateway::Complete()
{
    const Bytes message = std::move(pending_);
    pending_.clear();
    inMessage_ = false;
    if (!message.empty()) {
        Deliver(message);
    }
}

void SerialGateway::Deliver(const Bytes& message)
{
    // Channels that look for a pre- or post-string come first; the others take the rest.
    for (const bool filtered : {true, false}) {
        for (auto& channel : receive) {
            if (!channel.enabled || ((channel.mode & 0x06) != 0) != filtered) {
                continue;
            }
            ByteView payload(message);
            if (channel.mode & 0x02) {
                if (!StartsWith(payload, channel.preString)) {
                    continue;
                }
                payload = payload.subspan(channel.preString.size());
            }
            if (channel.mode & 0x04) {
                const Bytes rest(payload.begin(), payload.end());
                if (!channel.postString.empty() && !EndsWith(rest, channel.postString)) {
                    continue;
                }
                payload = payload.first(payload.size() - channel.postString.size());
            }
            Take(channel, payload);
            return;
        }
    }
}

void SerialGateway::Take(ReceiveChannel& channel, ByteView payload)
{
    if (channel.sync && channel.toggle != channel.acknowledge) {
        status |= kStatusRxOverrun; // the master has not taken the last message yet
        return;
    }
    if (channel.mode & 0x01) {
        Bytes data;
        if (!ConvertReceived(channel, payload, data)) {
            return; // not a number of the channel's type: dropped
        }
        channel.data = std::move(data);
    }
    channel.toggle ^= 1;
}

Bytes SerialGateway::TakeOutput()
{
    Bytes out = std::move(output_);
    output_.clear();
    return out;
}

void SerialGateway::Transmit(std::size_t index)
{
    TransmitChannel& channel = transmit[index];
    std::string message;
    if (channel.mode & 0x02) {
        message += channel.string1;
    }
    if (channel.mode & 0x04) {
        message += channel.string2;
    }
    if (channel.mode & 0x01) {
        message += FormatTransmitData(channel);
    }
    if (channel.mode & 0x08) {
        message += channel.string1;
    }
    if (channel.mode & 0x10) {
        message += channel.string2;
    }
    output_.insert(output_.end(), message.begin(), message.end());
    channel.acknowledge = channel.toggle;
}

PollLayout SerialGateway::CurrentLayout() const
{
    PollLayout layout;
    for (std::uint8_t i = 0; i < kChannelCount; ++i) {
        if (receive[i].inPoll) {
            layout.receive.push_back(i);
            layout.receiveSizes.push_back(static_cast<std::uint8_t>(receive[i].data.size()));
        }
        if (transmit[i].inPoll) {
            layout.transmit.push_back(i);
            layout.transmitSizes.push_back(static_cast<std::uint8_t>(transmit[i].data.size()));
        }
    }
    return layout;
}

bool SerialGateway::LayoutFits() const
{
    const PollLayout layout = CurrentLayout();
    return layout.Produced() <= kMaxPollData && layout.Consumed() <= kMaxPollData;
}

Bytes SerialGateway::Produce(const PollLayout& layout) const
{
    Bytes out;
    std::uint8_t toggles = 0;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        toggles |= static_cast<std::uint8_t>((receive[i].toggle & 1) << i);
    }
    out.push_back(toggles);
    for (std::size_t k = 0; k < layout.receive.size(); ++k) {
        const Bytes& data = receive[layout.receive[k]].data;
        const std::size_t size = layout.receiveSizes[k];
        for (std::size_t i = 0; i < size; ++i) {
            out.push_back(i < data.size() ? data[i] : 0);
        }
    }
    return out;
}

void SerialGateway::Consume(const PollLayout& layout, ByteView command)
{
    std::size_t offset = 0;
    for (std::size_t k = 0; k < layout.transmit.size(); ++k) {
        const std::size_t size = layout.transmitSizes[k];
        if (offset + size > command.size()) {
            return;
        }
        const ByteView part = command.subspan(offset, size);
        offset += size;
        TransmitChannel& channel = transmit[layout.transmit[k]];
        const std::size_t common = std::min(size, channel.data.size());
        if (!std::equal(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(common), channel.data.begin())) {
            std::copy_n(part.begin(), common, channel.data.begin());
            Transmit(layout.transmit[k]);
        }
    }
}

bool ConvertReceived(const ReceiveChannel& channel, ByteView payload, Bytes& data)
{
    const std::size_t size = channel.data.size();
    if (channel.dataType == datatype::kShortString) {
        data.assign(size, channel.padding);
        std::copy_n(payload.begin(), std::min(size, payload.size()), data.begin());
        return true;
    }
    std::string text(payload.begin(), payload.end());
    if (channel.width != 0 && text.size() > channel.width) {
        text.resize(channel.width);
    }
    text = Trim(text);
    const bool hex = channel.conversion == 'X' || channel.conversion == 'x';
    const std::uint8_t typeSize = DataTypeSize(channel.dataType);
    std::uint32_t raw = 0;
    if (hex) {
        if (!ParseHex(text, raw)) {
            return false;
        }
        raw &= Mask(typeSize);
    } else if (channel.dataType == datatype::kReal) {
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(number) ||
            std::fabs(number) > std::numeric_limits<float>::max()) {
            return false;
        }
        raw = FloatBits(static_cast<float>(number));
    } else {
        long long number = 0;
        if (!ParseDecimal(text, number)) {
            return false;
        }
        long long low = 0;
        long long high = 0;
        switch (channel.dataType) {
        case datatype::kSint: low = -128, high = 127; break;
        case datatype::kInt: low = -32768, high = 32767; break;
        case datatype::kUsint: high = 255; break;
        default: high = 65535; break;
        }
        raw = static_cast<std::uint32_t>(std::clamp(number, low, high)) & Mask(typeSize);
    }
    data.clear();
    for (std::uint8_t i = 0; i < typeSize; ++i) {
        data.push_back(static_cast<std::uint8_t>(raw >> (8 * i)));
    }
    data.resize(size, 0);
    return true;
}

std::string FormatTransmitData(const TransmitChannel& channel)
{
    if (channel.dataType == datatype::kShortString) {
        const auto end = std::find(channel.data.begin(), channel.data.end(), 0);
        return std::string(channel.data.begin(), end);
    }
    const std::uint8_t size = DataTypeSize(channel.dataType);
    const std::uint32_t raw = GetLe(ByteView(channel.data).first(std::min<std::size_t>(size, channel.data.size())));
    char text[64];
    if (channel.format & 0x01) {
        std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(raw & Mask(size)));
    } else {
        switch (channel.dataType) {
        case datatype::kSint: std::snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<std::int8_t>(raw))); break;
        case datatype::kInt: std::snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<std::int16_t>(raw))); break;
        case datatype::kReal:
            std::snprintf(text, sizeof text, "%.*f", std::min<int>(channel.precision, 10),
                          static_cast<double>(BitsFloat(raw)));
            break;
        default: std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(raw & Mask(size))); break;
        }
    }
    std::string out(text);
    if (out.size() < channel.width) {
        const std::size_t fill = channel.width - out.size();
        if (channel.format & 0x80) {
            const std::size_t at = (!out.empty() && out[0] == '-') ? 1 : 0;
            out.insert(at, fill, '0');
        } else {
            out.insert(0, fill, ' ');
        }
    }
    return out;
}

} // namespace devsim
