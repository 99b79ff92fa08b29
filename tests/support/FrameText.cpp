#include "support/FrameText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace orv::test {
namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    if (lower >= 'a' && lower <= 'f') {
        return lower - 'a' + 10;
    }
    return -1;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::vector<std::uint8_t> ParseBytes(std::string_view hex)
{
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < hex.size()) {
        if (std::isspace(static_cast<unsigned char>(hex[i]))) {
            ++i;
            continue;
        }
        const int high = HexDigit(hex[i]);
        const int low = i + 1 < hex.size() ? HexDigit(hex[i + 1]) : -1;
        if (high < 0 || low < 0) {
            ADD_FAILURE() << "malformed hex bytes \"" << hex << "\" at offset " << i;
            return bytes;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

devicenet::CanFrame ParseFrame(std::string_view text)
{
    devicenet::CanFrame frame;
    frame.data.fill(kFiller);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        ADD_FAILURE() << "frame text \"" << text << "\" lacks the ':' after the identifier";
        return frame;
    }
    std::string_view head = Trim(text.substr(0, colon));
    std::string_view lengthText;
    if (const std::size_t slash = head.find('/'); slash != std::string_view::npos) {
        lengthText = Trim(head.substr(slash + 1));
        head = Trim(head.substr(0, slash));
    }
    unsigned identifier = 0;
    for (char c : head) {
        const int digit = HexDigit(c);
        if (digit < 0 || identifier > 0xFFF) {
            ADD_FAILURE() << "malformed identifier in frame text \"" << text << "\"";
            return frame;
        }
        identifier = identifier * 16 + static_cast<unsigned>(digit);
    }
    frame.identifier = static_cast<std::uint16_t>(identifier);

    const std::vector<std::uint8_t> bytes = ParseBytes(text.substr(colon + 1));
    if (bytes.size() > devicenet::kMaxDataLength) {
        ADD_FAILURE() << "frame text \"" << text << "\" lists more than 8 data bytes";
    }
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), devicenet::kMaxDataLength),
                frame.data.begin());
    frame.length = static_cast<std::uint8_t>(std::min<std::size_t>(bytes.size(), devicenet::kMaxDataLength));
    if (!lengthText.empty()) {
        unsigned length = 0;
        for (char c : lengthText) {
            if (c < '0' || c > '9' || length > 255) {
                ADD_FAILURE() << "malformed length field in frame text \"" << text << "\"";
                return frame;
            }
            length = length * 10 + static_cast<unsigned>(c - '0');
        }
        if (length > 255) {
            ADD_FAILURE() << "length field above 255 in frame text \"" << text << "\"";
        }
        frame.length = static_cast<std::uint8_t>(length);
    }
    return frame;
}

std::string FormatBytes(const std::uint8_t* bytes, std::size_t count)
{
    std::string text;
    char item[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(item, sizeof item, "%02X", bytes[i]);
        if (i != 0) {
            text += ' ';
        }
        text += item;
    }
    return text;
}

std::string FormatBytes(const std::vector<std::uint8_t>& bytes)
{
    return FormatBytes(bytes.data(), bytes.size());
}

std::string FormatFrame(const devicenet::CanFrame& frame)
{
    char head[16];
    if (frame.length > devicenet::kMaxDataLength) {
        std::snprintf(head, sizeof head, "%03X/%u:", frame.identifier, frame.length);
    } else {
        std::snprintf(head, sizeof head, "%03X:", frame.identifier);
    }
    std::string text = head;
    if (frame.dataLength() > 0) {
        text += ' ';
        text += FormatBytes(frame.data.data(), frame.dataLength());
    }
    return text;
}

bool SameFrame(const devicenet::CanFrame& a, const devicenet::CanFrame& b)
{
    return a.identifier == b.identifier && a.length == b.length &&
           std::equal(a.data.begin(), a.data.begin() + a.dataLength(), b.data.begin());
}

} // namespace orv::test
