// open and close: a node's connections, allocated and released.

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"

namespace orv::dnet {

CommandResult RunOpen(Session& session, const Command& command)
{
    return {{}, session.OpenNode(command.node, command.withPoll), OpenResult{command.node, command.withPoll}};
}

CommandResult RunClose(Session& session, const Command& command)
{
    CommandResult result{{}, {}, CloseResult{command.node}};
    if (!session.Driver().CloseModule(command.node)) {
        result.outcome = {kExitFailure, session.WithReason("node " + std::to_string(command.node) + " did not close")};
        return result;
    }
    session.ForgetNode(command.node);
    return result;
}

} // namespace orv::dnet
