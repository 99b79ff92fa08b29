#include "driver/devicenet/CanTrace.h"

#include <cstring>

namespace orv::devicenet {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

char* PutHex(char* out, unsigned value, int digits)
{
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        *out++ = kHexDigits[(value >> shift) & 0xF];
    }
    return out;
}

} // namespace

void CanTrace::Append(const CanFrame& frame)
{
    if (size_ >= kLineLimit) {
        return; // full until a client fetches the text: the oldest frames stay, the newest go
    }
    // "[%03X] " then "%02X " per data byte, then CR LF.
    char line[48];
    char* out = line;
    *out++ = '[';
    const unsigned identifier = frame.identifier;
    out = PutHex(out, identifier, identifier > 0xFFF ? 4 : 3);
    *out++ = ']';
    *out++ = ' ';
    const std::uint8_t count = static_cast<std::uint8_t>(frame.length & 0x0F) < kMaxDataLength
                                   ? static_cast<std::uint8_t>(frame.length & 0x0F)
                                   : kMaxDataLength;
    for (std::uint8_t i = 0; i < count; ++i) {
        out = PutHex(out, frame.data[i], 2);
        *out++ = ' ';
    }
    *out++ = '\r';
    *out++ = '\n';
    const auto length = static_cast<std::size_t>(out - line);
    if (size_ + length >= kCapacity) {
        return; // only an identifier beyond 11 bits can make a line this long
    }
    std::memcpy(text_.data() + size_, line, length);
    size_ += length;
    text_[size_] = '\0';
}

int CanTrace::GetCANMessage(char* text)
{
    if (text != nullptr) {
        std::memcpy(text, text_.data(), size_);
        text[size_] = '\0';
    }
    size_ = 0;
    text_[0] = '\0';
    return 0;
}

} // namespace orv::devicenet
