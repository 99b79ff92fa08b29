#pragma once
// What the explicit commands share: the buffer every request is handed, and the judging of the
// answer the driver leaves in it.

#include "tools/dnet/Results.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace orv::dnet {

class Session;

// The buffer handed to every explicit request: request data, then the reply.
inline constexpr std::size_t kReplyBufferSize = 1024;

// The outcome of a request to `node` with service `service` whose driver result was `rval` and
// whose answer is in `buffer`: the service data in `data` on success; an error response's text
// and codes; or why there is no usable answer. `what` begins each message ("exchange 3: ").
Outcome JudgeReply(const Session& session, std::int32_t rval, const std::uint8_t* buffer, std::uint8_t service,
                   const std::string& what, int node, Bytes& data);

// Get_Attribute_Single of a value of exactly `size` bytes. The outcome carries no error response
// codes: the attribute is read for the command, not asked by it.
Outcome GetFixedSize(Session& session, int node, int classId, int instance, int attribute, std::size_t size,
                     Bytes& value);

// The same for a 16-bit value.
Outcome GetUInt16(Session& session, int node, int classId, int instance, int attribute, std::uint16_t& value);

} // namespace orv::dnet
