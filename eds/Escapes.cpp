#include "eds/Escapes.h"

#include "platform/Hex.h"

namespace orv::eds {
namespace {

int OctalDigit(char c)
{
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

char Simple(char c)
{
    switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'v': return '\v';
    case '\\':
    case '"':
    case '\'':
    case '?': return c;
    default: return '\0';
    }
}

} // namespace

std::string Unescape(std::string_view body)
{
    std::string text;
    text.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 == body.size()) {
            text += body[i];
            continue;
        }
        const char next = body[i + 1];
        if (const char simple = Simple(next); simple != '\0') {
            text += simple;
            ++i;
        } else if (next == 'x' && i + 2 < body.size() && platform::HexDigitValue(body[i + 2]) >= 0) {
            int value = platform::HexDigitValue(body[i + 2]);
            i += 2;
            if (i + 1 < body.size() && platform::HexDigitValue(body[i + 1]) >= 0) {
                value = value * 16 + platform::HexDigitValue(body[++i]);
            }
            text += static_cast<char>(value);
        } else if (OctalDigit(next) >= 0) {
            int value = 0;
            int digits = 0;
            while (digits < 3 && i + 1 < body.size() && OctalDigit(body[i + 1]) >= 0) {
                value = value * 8 + OctalDigit(body[++i]);
                ++digits;
            }
            text += static_cast<char>(value & 0xFF);
        } else {
            text += '\\';
        }
    }
    return text;
}

std::string Escape(std::string_view text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\n': shown += "\\n"; break;
        case '\r': shown += "\\r"; break;
        case '\t': shown += "\\t"; break;
        case '\\': shown += "\\\\"; break;
        case '"': shown += "\\\""; break;
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                shown += "\\x";
                platform::AppendHexByte(shown, byte, true);
            } else {
                shown += c;
            }
        }
    }
    return shown;
}

} // namespace orv::eds
