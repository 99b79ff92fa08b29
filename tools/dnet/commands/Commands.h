#pragma once
// dnet's command families. Each runs its commands on a session and returns a record of what it
// found (Results.h), which the session prints. A family that reports as it goes (a bus monitor
// with one record per message) prints those through Session::Print and returns its last one.
//
// A new family: a file here with its run functions, a row per command in CommandSyntax.cpp, an
// entry per command in the table of Commands.cpp, and its records with their two printers.

#include "tools/dnet/CommandLine.h"
#include "tools/dnet/Results.h"

namespace orv::dnet {

class Session;

struct CommandFamily {
    Command::Kind kind;
    // The driver is created and initialised before the command runs; a command that reads a file
    // or listens on the bus by itself does without.
    bool needsDriver;
    CommandResult (*run)(Session& session, const Command& command);
};

// The family that runs commands of `kind`.
const CommandFamily& FamilyOf(Command::Kind kind);

// Node.cpp: open, close.
CommandResult RunOpen(Session& session, const Command& command);
CommandResult RunClose(Session& session, const Command& command);
// Attribute.cpp: get, set, service.
CommandResult RunGet(Session& session, const Command& command);
CommandResult RunSet(Session& session, const Command& command);
CommandResult RunService(Session& session, const Command& command);
// Poll.cpp
CommandResult RunPoll(Session& session, const Command& command);
// Scan.cpp
CommandResult RunScan(Session& session, const Command& command);
// Frames.cpp: send, recv.
CommandResult RunSend(Session& session, const Command& command);
CommandResult RunRecv(Session& session, const Command& command);
// Bench.cpp
CommandResult RunBench(Session& session, const Command& command);
// Monitor.cpp: monitor, decode; without the driver.
CommandResult RunMonitor(Session& session, const Command& command);
CommandResult RunDecode(Session& session, const Command& command);
// Eds.cpp: eds, without the driver. Params.cpp: params and param, which open the driver themselves
// once they have checked what they were given.
CommandResult RunEds(Session& session, const Command& command);
CommandResult RunParams(Session& session, const Command& command);
CommandResult RunParam(Session& session, const Command& command);

} // namespace orv::dnet
