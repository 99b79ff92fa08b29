#pragma once
// Reading `candump -L` logs: one frame per line, "(SECONDS.MICROS) IFACE ID#DATA", with ID of 3
// (standard) or 8 (extended) hexadecimal digits and DATA pairs of digits, or R and an optional
// length for a remote frame.

#include "tools/dnet/monitor/Message.h"

#include <optional>
#include <string_view>

namespace orv::dnet::monitor {

// The frame of one line (line end optional); nullopt when the line is not a classic CAN frame in
// that form (CAN FD lines, "##", more than 8 data bytes ...).
std::optional<TimedFrame> ParseCandumpLine(std::string_view line);

} // namespace orv::dnet::monitor
