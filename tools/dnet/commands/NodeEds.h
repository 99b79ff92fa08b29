#pragma once
// The EDS of a node on the bus: its identity read over its explicit connection (vendor id, device
// type, product code and revision of its Identity object), and the EDS library's file for it.

#include "tools/dnet/Results.h"

#include "eds/Library.h"

#include <string>

namespace orv::dnet {

class Session;

// Reads the identity of `node`, whose explicit connection is allocated.
Outcome ReadIdentity(Session& session, int node, NodeIdentity& identity);

struct NodeEds {
    NodeIdentity identity;
    const eds::LibraryFile* file = nullptr; // null: the EDS library has none for the node
};

// The node's identity and the library's EDS for it: what names a node that answered (its explicit
// connection allocated). The file's device names it: file->device.productName, vendorName.
Outcome IdentifyNode(Session& session, int node, NodeEds& found);

// "vendor 1207, device type 12, product code 4201, revision 1.4"
std::string IdentityText(const NodeIdentity& identity);

} // namespace orv::dnet
