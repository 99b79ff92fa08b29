#pragma once
// The log format of can-utils' `candump -L`, one frame per line, both ways:
//   (1700000000.123456) can0 5FC#000E010107
// Seconds and microseconds of wall-clock time, the interface, the identifier in upper-case hex
// (3 digits, or 8 for an extended frame), '#', the data bytes as upper-case pairs; a remote frame
// shows R and its length when it has one ("123#R2"). log2asc, canplayer and python-can read it.

#include "canbus/Frame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace canbus {

// "1700000000.123456": the timestamp as the log writes it, without the parentheses.
std::string CandumpTime(std::uint64_t microseconds);

// The frame as a log line, without the line end.
std::string CandumpLine(const Frame& frame, std::uint64_t microseconds, std::string_view interface);

struct CandumpEntry {
    std::uint64_t microseconds = 0;
    std::string interface;
    Frame frame;
};

// One log line (a trailing line end or blanks allowed); nothing when it is not one. CAN FD frames
// ("ID##...") and identifiers that fit neither format are not frames of ours.
std::optional<CandumpEntry> ParseCandumpLine(std::string_view line);

// The interface name a log of the bus `busString` names: canN of a tcp:// bus, IFACE of a
// socketcan: bus, can0 for the sim bus and anything that is no bus string.
std::string CandumpInterface(std::string_view busString);

} // namespace canbus
