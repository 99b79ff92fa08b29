#pragma once
// The command line of brelinsim.

#include "devsim/FaultInjection.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace devsim {

struct SimCommandLine {
    std::string bus;
    int node = -1;
    std::string logPath;
    bool serialPty = false;
    std::uint32_t bitrate = 125000;
    bool macCheck = true;
    Faults faults;
    bool help = false;
};

// Parses the arguments after the program name. False with a one-line `error` when they are wrong
// or incomplete (--help needs nothing else).
bool ParseSimCommandLine(std::span<const std::string_view> arguments, SimCommandLine& line, std::string& error);

// The text of --help.
std::string SimUsage();

} // namespace devsim
