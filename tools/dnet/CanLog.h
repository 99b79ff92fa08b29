#pragma once
// dnet's own record of the CAN traffic. The card keeps a short trace text ("[454] 00 0E 01 01 07 "
// per frame, at most about 1000 characters) that GetCANMessage hands out and empties; dnet
// fetches it after every exchange and keeps the frames here with the time they were fetched, to
// print them at exit or write them in candump -L format ("(SECONDS.MICROS) can0 454#000E010107").

#include "canbus/Frame.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::dnet {

struct TracedFrame {
    std::chrono::system_clock::time_point time;
    std::uint16_t identifier = 0;
    std::vector<std::uint8_t> data;
};

// One trace line ("[454] 00 0E 01 01 07 ", line end optional); nullopt when it is not one.
std::optional<TracedFrame> ParseTraceLine(std::string_view line);

// The frame as the buses carry it, and its time in microseconds since the epoch, for the log.
canbus::Frame AsCanFrame(const TracedFrame& frame);
std::uint64_t Microseconds(std::chrono::system_clock::time_point time);

// The frame as the card's trace writes it, without the line end: "[454] 00 0E 01 01 07".
std::string TraceLine(const TracedFrame& frame);

class CanLog {
public:
    // Appends the frames of one fetched trace text. Lines that are no frame are counted, not kept.
    void Append(std::string_view traceText, std::chrono::system_clock::time_point fetched);

    const std::vector<TracedFrame>& Frames() const { return frames_; }
    // True when a fetched text had reached the card's limit, so that frames may be missing.
    bool MayHaveLostFrames() const { return full_; }
    std::size_t UnreadableLines() const { return unreadable_; }

private:
    std::vector<TracedFrame> frames_;
    bool full_ = false;
    std::size_t unreadable_ = 0;
};

// The card stops appending to its trace at this many characters.
inline constexpr std::size_t kCardTraceLimit = 1000;

} // namespace orv::dnet
