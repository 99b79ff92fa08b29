// eds: an EDS file checked, and what it describes; no bus and no driver.

#include "tools/dnet/commands/Commands.h"

#include "eds/Library.h"

#include <memory>

namespace orv::dnet {

CommandResult RunEds(Session&, const Command& command)
{
    CommandResult result{{}, {}, EdsResult{command.file, nullptr, std::nullopt}};
    auto eds = std::make_shared<eds::Eds>();
    eds::Error error;
    EdsResult& body = std::get<EdsResult>(result.body);
    if (!eds::LoadEds(command.file, *eds, error)) {
        result.outcome = {kExitFailure, error.Text()};
        body.error = std::move(error);
        return result;
    }
    body.eds = std::move(eds);
    return result;
}

} // namespace orv::dnet
