#pragma once
// The monitor's text: one line per DeviceNet message,
//   "    1.234567   0 -> 63  G2/4  Get_Attribute_Single Identity(1) 1/7 product name"
// time in seconds since `originUs`, sender and receiver MAC IDs ("?" unknown, "all"), message
// group and ID, and what the message means.

#include "tools/dnet/monitor/Message.h"

#include <cstdint>
#include <string>

namespace orv::dnet::monitor {

// What the message means, without time and addresses.
std::string Describe(const Message& message);

// The whole line, without the line end.
std::string TextLine(const Message& message, std::uint64_t originUs);

// The kind as a short name ("explicit request"), the same in text and JSON.
const char* KindName(MessageKind kind);

} // namespace orv::dnet::monitor
