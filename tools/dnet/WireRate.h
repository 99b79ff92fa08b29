#pragma once
// The rate at which a bus can carry request/answer exchanges at most. A classic standard data
// frame with n data bytes takes at most 55 + 10n bits on the wire: 47 + 8n bits of fields
// (interframe space of 3 bits included) plus up to (34 + 8n - 1) / 4 stuff bits, which is
// 8 + 2n for every n from 0 to 8. The simulated bus with timing=wire delivers frames after
// exactly this time.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orv::dnet {

constexpr std::uint32_t WorstCaseFrameBits(std::size_t dataBytes)
{
    return 55 + 10 * static_cast<std::uint32_t>(dataBytes > 8 ? 8 : dataBytes);
}

// Exchanges per second the wire allows when every exchange is one request frame and one answer
// frame of the given data lengths.
constexpr double WireLimitedRate(std::uint32_t bitrate, std::size_t requestBytes, std::size_t answerBytes)
{
    return static_cast<double>(bitrate) / (WorstCaseFrameBits(requestBytes) + WorstCaseFrameBits(answerBytes));
}

// True when `bus` names the simulated bus with wire timing ("sim:timing=wire", "sim:node=5,timing=wire").
constexpr bool IsWireTimedBus(std::string_view bus)
{
    if (!bus.starts_with("sim:")) {
        return false;
    }
    std::string_view options = bus.substr(4);
    while (!options.empty()) {
        const auto comma = options.find(',');
        std::string_view option = options.substr(0, comma);
        while (!option.empty() && option.front() == ' ') {
            option.remove_prefix(1);
        }
        while (!option.empty() && option.back() == ' ') {
            option.remove_suffix(1);
        }
        if (option == "timing=wire") {
            return true;
        }
        options.remove_prefix(comma == std::string_view::npos ? options.size() : comma + 1);
    }
    return false;
}

static_assert(WorstCaseFrameBits(0) == 55 && WorstCaseFrameBits(8) == 135);

} // namespace orv::dnet
