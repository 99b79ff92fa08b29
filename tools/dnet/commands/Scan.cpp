// scan: every node on the network with its identity, by one browse of all MAC IDs (Browse.h) over
// the card's raw frames.

#include "tools/dnet/Browse.h"
#include "tools/dnet/CardLink.h"
#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"

namespace orv::dnet {

CommandResult RunScan(Session& session, const Command& command)
{
    std::function<void()> keepTrace;
    if (session.Tracing()) {
        keepTrace = [&session] { session.FetchTrace(); };
    }
    CardLink link(session.Driver(), session.Settings().card, session.ReceiveTimeout(), std::move(keepTrace));
    BrowseSettings settings;
    settings.masterMacId = session.Settings().master;
    settings.bitrate = static_cast<std::uint32_t>(session.Settings().rateKbit) * 1000;
    settings.waitMs = static_cast<std::uint32_t>(command.waitMs);
    ScanResult scan;
    Outcome outcome = Browse(link, settings, scan);
    if (!outcome.Ok()) {
        outcome.message = session.WithReason(outcome.message);
    }
    if (!link.RestoreTimeout() && outcome.Ok()) {
        outcome = {kExitFailure, session.WithReason("the card refused the scan's time-out (SetTimeout failed)")};
    }
    return {{}, std::move(outcome), std::move(scan)};
}

} // namespace orv::dnet
