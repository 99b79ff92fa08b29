#pragma once
// dnet monitor and dnet decode: the bus, or a candump -L log, shown as DeviceNet messages through
// the monitor's decoder (tools/dnet/monitor). Neither touches the driver: the monitor opens the bus
// itself as a listener.

#include "tools/dnet/CommandLine.h"

#include <cstdio>
#include <istream>

namespace orv::dnet {

// Runs `command` (monitor or decode) with the global options; the exit status.
int RunMonitorCommand(const Command& command, const Options& options, std::FILE* out, std::FILE* err);

// Decodes the candump -L lines of `log` to `out`, text or JSON; lines that are no frame are
// counted and reported on `err`. The exit status.
int DecodeLog(std::istream& log, bool json, std::FILE* out, std::FILE* err);

} // namespace orv::dnet
