#pragma once
// Text log of the CAN frames a back-end exchanged: one line per frame, "[ID] B0 B1 ...\r\n".

#include "driver/devicenet/CanFrame.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace orv::devicenet {

class CanTrace {
public:
    // A line is appended only while the text is shorter than this; the text then holds at most
    // kLineLimit - 1 + kLongestLine characters.
    static constexpr std::size_t kLineLimit = 1000;
    static constexpr std::size_t kLongestLine = 32; // "[7FF] " + 8 * "XX " + "\r\n"
    static constexpr std::size_t kCapacity = kLineLimit - 1 + kLongestLine + 1; // with the NUL
    static_assert(kCapacity == 1032);

    void Append(const CanFrame& frame);

    // Copies the text with its terminating NUL (at most kCapacity bytes) into `text` and empties
    // the trace. Returns 0.
    int GetCANMessage(char* text);

    std::string_view Text() const { return {text_.data(), size_}; }

private:
    std::array<char, kCapacity> text_{};
    std::size_t size_ = 0;
};

} // namespace orv::devicenet
