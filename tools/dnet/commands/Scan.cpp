// scan: every node on the network with its identity, by one browse of all MAC IDs (Browse.h) over
// the card's raw frames.

#include "tools/dnet/Browse.h"
#include "tools/dnet/CardLink.h"
#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"

#include "eds/Library.h"
#include "platform/LittleEndian.h"

#include <algorithm>

namespace orv::dnet {
namespace {

// The identity attribute `attribute` as read, if it came whole (`size` bytes).
const Bytes* IdentityRead(const ScannedNode& node, int attribute, std::size_t size)
{
    const auto read = std::find_if(node.identity.begin(), node.identity.end(),
                                   [attribute](const IdentityValue& value) { return value.attribute == attribute; });
    return read != node.identity.end() && read->value.size() == size ? &read->value : nullptr;
}

// Names each node whose identity came whole from the EDS library's file for it.
void NameFromLibrary(const eds::Library& library, ScanResult& scan)
{
    for (ScannedNode& node : scan.nodes) {
        const Bytes* vendor = IdentityRead(node, 1, 2);
        const Bytes* type = IdentityRead(node, 2, 2);
        const Bytes* product = IdentityRead(node, 3, 2);
        const Bytes* revision = IdentityRead(node, 4, 2);
        if (vendor == nullptr || type == nullptr || product == nullptr || revision == nullptr) {
            continue;
        }
        const eds::DeviceKey key{platform::GetLe16(vendor->data()), platform::GetLe16(type->data()),
                                 platform::GetLe16(product->data()), (*revision)[0]};
        node.eds.lookedUp = true;
        if (const eds::LibraryFile* file = library.Find(key)) {
            node.eds.file = file->path.string();
            node.eds.vendorName = file->device.vendorName;
            node.eds.productName = file->device.productName;
        }
    }
}

} // namespace

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
    if (!scan.nodes.empty()) {
        const eds::Library& library = session.EdsLibrary();
        for (const std::string& problem : library.Problems()) {
            session.Note("EDS library: left out " + problem);
        }
        NameFromLibrary(library, scan);
    }
    if (!link.RestoreTimeout() && outcome.Ok()) {
        outcome = {kExitFailure, session.WithReason("the card refused the scan's time-out (SetTimeout failed)")};
    }
    return {{}, std::move(outcome), std::move(scan)};
}

} // namespace orv::dnet
