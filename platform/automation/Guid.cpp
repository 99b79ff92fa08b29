#include "platform/automation/Guid.h"

namespace orv::com {

std::string GuidToString(const GUID& guid)
{
    constexpr bool kUpper = true;
    std::string text = "{" + platform::HexNumber(guid.Data1, 8, kUpper) + "-" +
                       platform::HexNumber(guid.Data2, 4, kUpper) + "-" + platform::HexNumber(guid.Data3, 4, kUpper) +
                       "-";
    for (int i = 0; i < 8; ++i) {
        if (i == 2) {
            text += '-';
        }
        platform::AppendHexByte(text, guid.Data4[i], kUpper);
    }
    text += '}';
    return text;
}

} // namespace orv::com
