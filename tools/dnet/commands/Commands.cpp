#include "tools/dnet/commands/Commands.h"

#include <stdexcept>

namespace orv::dnet {
namespace {

constexpr CommandFamily kFamilies[] = {
    {Command::Kind::Open, true, RunOpen},       {Command::Kind::Close, true, RunClose},
    {Command::Kind::Get, true, RunGet},         {Command::Kind::Set, true, RunSet},
    {Command::Kind::Service, true, RunService}, {Command::Kind::Poll, true, RunPoll},
    {Command::Kind::Scan, true, RunScan},       {Command::Kind::Send, true, RunSend},
    {Command::Kind::Recv, true, RunRecv},       {Command::Kind::Bench, true, RunBench},
    {Command::Kind::Monitor, false, RunMonitor}, {Command::Kind::Decode, false, RunDecode},
    {Command::Kind::Eds, false, RunEds},         {Command::Kind::Params, false, RunParams},
    {Command::Kind::Param, false, RunParam},
};

} // namespace

const CommandFamily& FamilyOf(Command::Kind kind)
{
    for (const CommandFamily& family : kFamilies) {
        if (family.kind == kind) {
            return family;
        }
    }
    throw std::logic_error("no command family for a command kind");
}

} // namespace orv::dnet
